#pragma once
// Reads the service's requests from the raw request target, exactly as the
// browser builds them: values are plain text (no percent-decoding), and the
// page address is the last parameter, taken whole, since it may itself hold
// "&" and "=" characters.

#include <map>
#include <string>

namespace zel::service {

using QueryParams = std::map<std::string, std::string>;

struct RequestTarget {
    std::string path;  // "/zel/page", also when the request came in absolute form
    std::string query; // the text after the first "?", empty without one
};

// Splits "/path?query" or "http://host:port/path?query" (the form a proxy
// receives) into path and query.
RequestTarget SplitRequestTarget(const std::string& target);

// Parses "a=1&b=2&tail=rest...": when `tailKey` appears as a parameter, its
// value is everything after "tailKey=" and nothing after it is split. A
// parameter named twice keeps its first value.
QueryParams ParseQuery(const std::string& query, const std::string& tailKey);

// Turns the browser's escapes of a page address back: "^^^^^" into "?" and
// "|||||" into "&".
std::string UnescapePageAddress(const std::string& escaped);

// Decodes %XX escapes; a "%" not followed by two hexadecimal digits stays.
std::string PercentDecode(const std::string& text);

// Reads "?comp=<description>&mail=<address>": the address is everything after
// the first "&mail=" and the description everything between "comp=" and it,
// both percent-decoded (the browser escapes blanks, "%" and bytes of 128 and
// above, and nothing else).
struct LoginQuery {
    std::string computer;
    std::string mail;
};
LoginQuery ParseLoginQuery(const std::string& query);

} // namespace zel::service
