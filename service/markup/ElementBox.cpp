#include "ElementBox.h"

#include "AsciiText.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <optional>
#include <string>

namespace zel::service {
namespace {

// The window width a page is laid out for when the viewer's is not known.
constexpr int kWindowWidth = 1280;
constexpr double kLargestLength = 100000;

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && IsAsciiSpace(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsAsciiSpace(text.back()))
        text.remove_suffix(1);
    return text;
}

// A plain non-negative number followed by `unit` (which may be empty).
double NumberWithUnit(std::string_view text, std::string_view unit) {
    text = Trimmed(text);
    const std::string lower = Lower(text);
    if (lower.size() <= unit.size() || !lower.ends_with(unit))
        return -1;
    const std::string number = lower.substr(0, lower.size() - unit.size());
    const bool digitsAndPoint = std::all_of(
        number.begin(), number.end(), [](char c) { return (c >= '0' && c <= '9') || c == '.'; });
    if (!digitsAndPoint || std::count(number.begin(), number.end(), '.') > 1 || number == ".")
        return -1;
    double value = 0;
    const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
    if (error == std::errc::result_out_of_range)
        return kLargestLength;
    return error == std::errc() && end == number.data() + number.size()
               ? std::min(value, kLargestLength)
               : -1;
}

// The value of the last declaration of `name` in a style attribute; none
// when it declares none.
std::optional<std::string_view> Declared(std::string_view style, std::string_view name) {
    std::optional<std::string_view> found;
    while (!style.empty()) {
        const auto end = style.find(';');
        const std::string_view declaration = style.substr(0, end);
        style = end == std::string_view::npos ? std::string_view() : style.substr(end + 1);
        const auto colon = declaration.find(':');
        if (colon == std::string_view::npos || Lower(Trimmed(declaration.substr(0, colon))) != name)
            continue;
        std::string_view value = Trimmed(declaration.substr(colon + 1));
        if (const auto bang = value.find('!'); bang != std::string_view::npos)
            value = Trimmed(value.substr(0, bang));
        found = value;
    }
    return found;
}

// The largest width `sizes` names, when each entry ends in pixels or a share
// of the window; 0 otherwise.
int WidestSize(std::string_view sizes) {
    int widest = 0;
    while (!Trimmed(sizes).empty()) {
        const auto end = sizes.find(',');
        const std::string_view entry = Trimmed(sizes.substr(0, end));
        sizes = end == std::string_view::npos ? std::string_view() : sizes.substr(end + 1);
        const auto space = entry.find_last_of(" \t\n\r\f");
        const std::string_view length =
            space == std::string_view::npos ? entry : entry.substr(space + 1);
        double width = NumberWithUnit(length, "px");
        if (const double share = NumberWithUnit(length, "vw"); share >= 0)
            width = share * kWindowWidth / 100;
        if (width < 0)
            return 0; // a calc(), a media condition alone, "auto": the layout decides
        widest = std::max(widest, int(std::lround(width)));
    }
    return widest;
}

// The style's pixel length when it declares the side, else the attribute's.
int Side(std::string_view attribute, std::string_view style, std::string_view name) {
    if (const auto declared = Declared(style, name))
        return int(std::lround(std::max(0.0, NumberWithUnit(*declared, "px"))));
    return PixelLength(attribute);
}

} // namespace

int PixelLength(std::string_view text) {
    const double px = NumberWithUnit(text, "px");
    return int(std::lround(px >= 0 ? px : std::max(0.0, NumberWithUnit(text, ""))));
}

bool GivesWidth(const BoxMarkup& markup) {
    return !Trimmed(markup.width).empty() || Declared(markup.style, "width");
}

ImageBox ReadElementBox(const BoxMarkup& markup) {
    ImageBox box{Side(markup.width, markup.style, "width"),
                 Side(markup.height, markup.style, "height")};
    if (box.width == 0 && !Declared(markup.style, "width") && Trimmed(markup.width).empty())
        box.width = WidestSize(markup.sizes);
    return box;
}

} // namespace zel::service
