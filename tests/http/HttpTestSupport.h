#pragma once
// What the HTTP client's tests share: a client that lets them read its
// transaction state, the fixed lines every request carries, whole requests
// and responses, and the message of a failed operation.

#include "FailureOf.h"
#include "TQzHTTP.h"

#include <string>
#include <vector>

namespace zel::test {

class TestHttp : public TQzHTTP {
public:
    TestHttp() { TimeOut = 2000; } // no test may wait for ever
    using TQzHTTP::HeaderList;
    using TQzHTTP::ReceivedCookie;
    using TQzHTTP::RedirectLocation;
    using TQzHTTP::RequestPath;
    using TQzHTTP::RequestUrl;
    using TQzHTTP::SplitUrl;
};

inline const char AcceptLine1[] =
    "Accept: www/source, text/html, video/mpeg, image/jpeg, image/x-tiff";
inline const char AcceptLine2[] =
    "Accept: image/x-rgb, image/x-xbm, image/gif, */*, application/postscript";
inline const char ContentTypeLine[] = "Content-type: application/x-www-form-urlencoded";

// Lines joined with CR LF, then the empty line and the body: a request as the
// client sends it, or a response.
inline std::string HttpMessage(const std::vector<std::string>& lines,
                               const std::string& body = "") {
    std::string text;
    for (const std::string& line : lines)
        text += line + "\r\n";
    return text + "\r\n" + body;
}

inline std::string Response(const std::string& statusLine, std::vector<std::string> headerLines,
                            const std::string& body) {
    headerLines.insert(headerLines.begin(), statusLine);
    return HttpMessage(headerLines, body);
}

// A request sent straight to `host` (not through a proxy): the request line,
// the fixed lines with `optional` before the content type and `closing`
// after it, then the body.
inline std::string DirectRequest(const std::string& requestLine, const std::string& host,
                                 const std::vector<std::string>& optional = {},
                                 const std::vector<std::string>& closing = {},
                                 const std::string& body = "") {
    std::vector<std::string> lines = {requestLine, "Host: " + host, AcceptLine1, AcceptLine2};
    lines.insert(lines.end(), optional.begin(), optional.end());
    lines.push_back(ContentTypeLine);
    lines.insert(lines.end(), closing.begin(), closing.end());
    return HttpMessage(lines, body);
}

inline std::string FirstLine(const std::string& message) {
    return message.substr(0, message.find("\r\n"));
}

} // namespace zel::test
