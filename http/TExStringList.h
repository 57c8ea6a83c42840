#pragma once
// A list of header lines "name: value": finds a line by its header name (the
// text before the first ':', letter case ignored) and sets, replaces or
// removes the line of a header. The HTTP client keeps its request header in one.

#include "TStringList.h"

#include <string>

namespace zel {

class TExStringList : public TStringList {
public:
    // Index of a line whose header name equals `name`, or -1. An unsorted
    // list is searched from the top (the first match wins; lines without ':'
    // are skipped); a sorted one by binary search (any of several equal
    // names may be found).
    int IndexOfHeader(const std::string& name) const;
    // A non-empty value replaces the header's line in place with
    // "name: value", or appends that line when there is none; an empty value
    // deletes the header's line, if any. Setting a value on a sorted list
    // raises "Operation not allowed on sorted list".
    void SetHeader(const std::string& name, const std::string& value);

    // The header name of a line; empty for a line without ':'.
    static std::string HeaderName(const std::string& line);
};

} // namespace zel
