#include "PageParameters.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace zel::service {

namespace {

bool StartsWithNoCase(const std::string& text, const std::string& prefix) {
    if (text.size() < prefix.size())
        return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i])
            return false;
    return true;
}

// Drops the "http://" that the browser put in front of an address that
// already had a scheme of its own.
std::string WithoutDoubledScheme(const std::string& url) {
    const std::string added = "http://";
    if (StartsWithNoCase(url, added)) {
        const std::string rest = url.substr(added.size());
        if (StartsWithNoCase(rest, "http://") || StartsWithNoCase(rest, "https://"))
            return rest;
    }
    return url;
}

std::optional<int> Number(const QueryParams& params, const std::string& key, int fallback) {
    const auto found = params.find(key);
    if (found == params.end() || found->second.empty())
        return fallback;
    const std::string& text = found->second;
    long value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error == std::errc::result_out_of_range)
        return text[0] == '-' ? -1 : 1 << 20;
    if (error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return static_cast<int>(std::clamp(value, -1L, 1L << 20));
}

int PowerOfTwoBelow(int value) {
    int power = 2;
    while (power * 2 <= value && power < 256)
        power *= 2;
    return power;
}

} // namespace

std::optional<std::string> PageAddress(const std::string& escapedUrl) {
    if (escapedUrl.size() > kMaxAddressLength)
        return std::nullopt;
    const std::string url = WithoutDoubledScheme(UnescapePageAddress(escapedUrl));
    for (unsigned char c : url)
        if (c <= 0x20 || c >= 0x7f)
            return std::nullopt;
    std::size_t hostStart = 0;
    if (StartsWithNoCase(url, "http://"))
        hostStart = 7;
    else if (StartsWithNoCase(url, "https://"))
        hostStart = 8;
    else
        return std::nullopt;
    const std::size_t hostEnd = url.find_first_of("/?#", hostStart);
    const std::string authority = url.substr(hostStart, hostEnd - hostStart);
    // "http://ftp://h/" is what the browser makes of another scheme.
    if (authority.empty() || authority.front() == ':' || authority.front() == '@')
        return std::nullopt;
    if (authority.back() == ':' && hostEnd != std::string::npos &&
        url.compare(hostEnd, 2, "//") == 0)
        return std::nullopt;
    return url;
}

std::optional<ImageSettings> ImageSettingsFrom(const QueryParams& params) {
    const auto image = Number(params, "image", 1);
    const auto quality = Number(params, "quality", 100);
    const auto colors = Number(params, "colors", 256);
    const auto gray = Number(params, "gray", 0);
    if (!image || !quality || !colors || !gray)
        return std::nullopt;
    ImageSettings settings;
    settings.images = *image != 0;
    settings.quality = std::clamp(*quality, 0, 100);
    settings.colors = PowerOfTwoBelow(*colors);
    settings.gray = *gray != 0;
    return settings;
}

} // namespace zel::service
