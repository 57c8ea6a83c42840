#include "Url.h"

#include "AsciiText.h"

#include <curl/curl.h>

#include <memory>

namespace zel::service {
namespace {

struct UrlFree {
    void operator()(CURLU* url) const { curl_url_cleanup(url); }
};
struct TextFree {
    void operator()(char* text) const { curl_free(text); }
};

// Blanks and bytes outside ASCII are percent-encoded so that the URL parser
// accepts addresses that pages write carelessly.
std::string EncodeUnsafe(const std::string& text) {
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        if (c <= 0x20 || c >= 0x7f || c == '"' || c == '<' || c == '>') {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        } else {
            out += char(c);
        }
    }
    return out;
}

std::string Part(CURLU* url, CURLUPart part) {
    char* raw = nullptr;
    if (curl_url_get(url, part, &raw, 0) != CURLUE_OK || raw == nullptr)
        return {};
    std::unique_ptr<char, TextFree> text(raw);
    return std::string(raw);
}

} // namespace

std::string CleanReference(std::string_view reference) {
    std::size_t begin = 0;
    std::size_t end = reference.size();
    while (begin < end && IsAsciiSpace(reference[begin]))
        ++begin;
    while (end > begin && IsAsciiSpace(reference[end - 1]))
        --end;
    std::string out;
    for (char c : reference.substr(begin, end - begin))
        if (c != '\t' && c != '\n' && c != '\r')
            out += c;
    return out;
}

std::optional<std::string> ResolveUrl(const std::string& base, std::string_view reference,
                                      bool keepFragment) {
    const std::string cleaned = EncodeUnsafe(CleanReference(reference));
    std::unique_ptr<CURLU, UrlFree> url(curl_url());
    if (!url)
        return std::nullopt;
    if (!base.empty() && curl_url_set(url.get(), CURLUPART_URL, base.c_str(), 0) != CURLUE_OK)
        return std::nullopt;
    // A base's fragment (a script's route: "page.html#/guide/") plays no part,
    // but libcurl would take its slashes for folders.
    curl_url_set(url.get(), CURLUPART_FRAGMENT, nullptr, 0);
    // With a base in place, a relative reference is resolved against it.
    if (curl_url_set(url.get(), CURLUPART_URL, cleaned.c_str(), CURLU_NON_SUPPORT_SCHEME) !=
        CURLUE_OK)
        return std::nullopt;
    const std::string scheme = Part(url.get(), CURLUPART_SCHEME);
    if (scheme != "http" && scheme != "https")
        return std::nullopt;
    if (Part(url.get(), CURLUPART_HOST).empty())
        return std::nullopt;
    if (!keepFragment)
        curl_url_set(url.get(), CURLUPART_FRAGMENT, nullptr, 0);
    const std::string text = Part(url.get(), CURLUPART_URL);
    if (text.empty())
        return std::nullopt;
    return text;
}

} // namespace zel::service
