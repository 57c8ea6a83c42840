#include "JobOrder.h"

#include <charconv>
#include <map>
#include <sstream>
#include <type_traits>

namespace zel::service {

namespace {

// Every field of an order with its key: the one list that writing and reading
// share.
template <typename Order, typename Visit> void VisitFields(Order& s, Visit&& visit) {
    visit("url", s.request.url);
    visit("archive", s.archivePath);
    visit("images", s.request.image.images);
    visit("quality", s.request.image.quality);
    visit("colors", s.request.image.colors);
    visit("gray", s.request.image.gray);
    visit("allowPrivateOrigins", s.limits.allowPrivateOrigins);
    visit("keepScripts", s.limits.keepScripts);
    visit("maxPageBytes", s.limits.maxPageBytes);
    visit("maxStyleSheetBytes", s.limits.maxStyleSheetBytes);
    visit("maxResources", s.limits.maxResources);
    visit("maxJobBytes", s.limits.maxJobBytes);
    visit("maxImagePixels", s.limits.maxImagePixels);
    visit("maxDecodedRatio", s.limits.maxDecodedRatio);
    visit("maxFontBytes", s.limits.maxFontBytes);
    visit("fetchTimeoutSeconds", s.limits.fetchTimeoutSeconds);
    visit("connectTimeoutSeconds", s.limits.connectTimeoutSeconds);
    visit("maxNestingDepth", s.limits.maxNestingDepth);
    visit("maxFrameDepth", s.limits.maxFrameDepth);
    visit("maxImportDepth", s.limits.maxImportDepth);
    visit("resourceSeconds", s.limits.resourceSeconds);
    visit("render", s.limits.render);
    visit("renderSeconds", s.limits.renderSeconds);
    visit("renderQuietMilliseconds", s.limits.renderQuietMilliseconds);
    visit("cacheServer", s.limits.cache.server);
    visit("cacheFolder", s.limits.cache.folder);
    visit("cacheBytes", s.limits.cache.bytes);
    visit("cacheMaxEntryBytes", s.limits.cache.maxEntryBytes);
    visit("rendererCommands", s.request.renderer.commands);
    visit("rendererEvents", s.request.renderer.events);
    visit("memoryBytes", s.process.memoryBytes);
    visit("cpuSeconds", s.process.cpuSeconds);
    visit("fileBytes", s.process.fileBytes);
}

std::string ToText(const std::string& value) {
    return value;
}
std::string ToText(bool value) {
    return value ? "1" : "0";
}
template <typename T> std::string ToText(T value) {
    if constexpr (std::is_enum_v<T>)
        return std::to_string(static_cast<int>(value));
    else
        return std::to_string(value);
}

bool FromText(const std::string& text, std::string& value) {
    value = text;
    return true;
}

template <typename T> bool FromText(const std::string& text, T& value) {
    long long number = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (error != std::errc() || end != text.data() + text.size())
        return false;
    value = static_cast<T>(number);
    return true;
}

} // namespace

std::string EncodeJobOrder(const JobOrder& order) {
    std::string text;
    VisitFields(order, [&](const char* key, const auto& value) {
        text += key;
        text += ' ';
        text += ToText(value);
        text += '\n';
    });
    return text;
}

std::optional<JobOrder> DecodeJobOrder(const std::string& text) {
    std::map<std::string, std::string> values;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        const std::size_t blank = line.find(' ');
        if (blank != std::string::npos)
            values.emplace(line.substr(0, blank), line.substr(blank + 1));
    }
    JobOrder order;
    bool complete = true;
    VisitFields(order, [&](const char* key, auto& value) {
        const auto found = values.find(key);
        complete = complete && found != values.end() && FromText(found->second, value);
    });
    if (!complete)
        return std::nullopt;
    return order;
}

} // namespace zel::service
