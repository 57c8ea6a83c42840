#include "MarkupRules.h"

#include "AsciiText.h"
#include "GumboNodes.h"

#include <algorithm>
#include <cctype>

namespace zel::service {
namespace {

bool Contains(const char* value, std::string_view part) {
    return Lower(value).find(part) != std::string::npos;
}

} // namespace

bool IsHref(const GumboAttribute& attribute) {
    const std::string name = Lower(attribute.name);
    return name == "href" || name == "xlink:href";
}

bool HoldsAddress(const GumboAttribute& attribute) {
    static const char* const kNames[] = {
        "src",    "srcset",     "href",       "xlink:href", "data",     "poster",
        "action", "formaction", "background", "ping",       "manifest", "codebase",
        "lowsrc", "dynsrc",     "archive",    "classid",    "xml:base", "imagesrcset"};
    const std::string name = Lower(attribute.name);
    if (attribute.attr_namespace == GUMBO_ATTR_NAMESPACE_XML && name == "base")
        return true;
    return std::any_of(std::begin(kNames), std::end(kNames),
                       [&](const char* address) { return name == address; });
}

bool StaysInPage(std::string_view reference) {
    return reference.empty() || reference[0] == '#';
}

std::optional<Refresh> ParseRefresh(std::string_view content) {
    std::size_t at = SkipSpace(content, 0);
    const std::size_t delayStart = at;
    while (at < content.size() &&
           (std::isdigit(static_cast<unsigned char>(content[at])) || content[at] == '.'))
        ++at;
    Refresh refresh{std::string(content.substr(delayStart, at - delayStart)), {}};
    if (refresh.delay.empty() || !std::isdigit(static_cast<unsigned char>(refresh.delay[0])))
        return std::nullopt;
    at = SkipSpace(content, at);
    if (at < content.size() && (content[at] == ';' || content[at] == ','))
        at = SkipSpace(content, at + 1);
    if (at == content.size())
        return refresh;
    if (Lower(content.substr(at, 3)) == "url") {
        const std::size_t equals = SkipSpace(content, at + 3);
        if (equals < content.size() && content[equals] == '=')
            at = SkipSpace(content, equals + 1);
    }
    std::string_view url = content.substr(at);
    if (!url.empty() && (url[0] == '"' || url[0] == '\'')) {
        const auto close = url.find(url[0], 1);
        url = url.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1);
    }
    refresh.url = std::string(url);
    if (refresh.url.empty())
        return std::nullopt;
    return refresh;
}

bool AnimatesAddressOrCode(const GumboElement& element) {
    const std::string name = TagName(element);
    if (name != "set" && name != "animate" && name != "animatemotion" &&
        name != "animatetransform" && name != "animatecolor")
        return false;
    if (const auto* target = Attribute(element, "attributename")) {
        std::string_view value = target->value;
        value = value.substr(SkipSpace(value, 0));
        const std::string lower = Lower(value);
        if (lower.find("href") != std::string::npos || lower.rfind("on", 0) == 0 ||
            lower.find("style") != std::string::npos)
            return true;
    }
    for (const char* values : {"values", "from", "to", "by"})
        if (const auto* attribute = Attribute(element, values))
            if (Contains(attribute->value, "url(") || Contains(attribute->value, ":"))
                return true;
    return false;
}

ForeignLink ForeignLinkOf(const GumboElement& element) {
    if (element.tag_namespace == GUMBO_NAMESPACE_MATHML)
        return ForeignLink::Follow;
    const std::string name = TagName(element);
    if (name == "a")
        return ForeignLink::Follow;
    if (name == "image" || name == "feimage")
        return ForeignLink::Image;
    if (name == "use")
        return ForeignLink::Use;
    return ForeignLink::None;
}

} // namespace zel::service
