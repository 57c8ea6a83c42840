#include "FetchedBodies.h"

#include "Charset.h"
#include "ImageFormat.h"
#include "StatefulText.h"
#include "Utf16Text.h"

#include <algorithm>
#include <cctype>
#include <string_view>

namespace zel::service {
namespace {

bool IsHtmlType(const std::string& type) {
    return type == "text/html" || type == "application/xhtml+xml";
}

// An origin that names no type: markup is taken for HTML, as browsers do.
bool LooksLikeHtml(const std::string& body) {
    std::size_t at = body.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    while (at < body.size() && std::isspace(static_cast<unsigned char>(body[at])))
        ++at;
    return at < body.size() && body[at] == '<';
}

bool IsUntyped(const FetchResult& fetched) {
    return fetched.contentType.empty() || fetched.contentType == "application/octet-stream";
}

constexpr char kUtf8Mark[] = "\xEF\xBB\xBF";

// Text in an encoding whose bytes change meaning with what came before goes
// on as UTF-8, marked so that the browser reads it as such whatever it
// declares; an escape left in other text could make a browser guess such an
// encoding, so it becomes a space.
void DecodeStateful(FetchResult& fetched, const std::string& charset) {
    if (IsStatefulCharset(charset)) {
        fetched.body = kUtf8Mark + StatefulToUtf8(fetched.body, charset);
        fetched.charset = "utf-8";
    }
    std::replace(fetched.body.begin(), fetched.body.end(), '\x1B', ' ');
}

// The encoding a style sheet names at its start.
std::string CharsetRule(std::string_view css) {
    constexpr std::string_view kRule = "@charset \"";
    if (!css.starts_with(kRule))
        return {};
    const auto end = css.find('"', kRule.size());
    return end == std::string_view::npos
               ? std::string()
               : std::string(css.substr(kRule.size(), end - kRule.size()));
}

} // namespace

bool IsHtml(const FetchResult& fetched) {
    if (IsHtmlType(fetched.contentType))
        return true;
    return IsUntyped(fetched) && SniffImageFormat(fetched.body) == ImageFormat::Unknown &&
           LooksLikeHtml(fetched.body);
}

// A document in UTF-16 goes on as UTF-8: the rewriter and the encoding
// declaration it adds work on bytes of an ASCII-compatible encoding.
void DecodeDocument(FetchResult& fetched) {
    if (!IsHtmlType(fetched.contentType) && !IsUntyped(fetched))
        return;
    const Utf16Order order = DetectUtf16(fetched.body, fetched.charset);
    if (order != Utf16Order::None) {
        fetched.body = Utf16ToUtf8(fetched.body, order);
        fetched.charset = "utf-8";
    }
    if (IsHtml(fetched))
        DecodeStateful(fetched, ChooseCharset(fetched.body, fetched.charset));
}

// A style sheet goes on as UTF-8 when it is in UTF-16 or a stateful
// encoding, so its addresses can be read and rewritten.
void DecodeStyleSheet(FetchResult& fetched) {
    const std::string& body = fetched.body;
    Utf16Order order = DetectUtf16(body, fetched.charset);
    if (order == Utf16Order::None && body.size() >= 2 && (body[0] == '\0') != (body[1] == '\0'))
        order = body[0] == '\0' ? Utf16Order::BigEndian : Utf16Order::LittleEndian;
    if (order != Utf16Order::None) {
        fetched.body = kUtf8Mark + Utf16ToUtf8(body, order);
        fetched.charset = "utf-8";
    }
    DecodeStateful(fetched, fetched.charset.empty() ? CharsetRule(fetched.body) : fetched.charset);
}

} // namespace zel::service
