#include "AddressList.h"

#include "ConvertError.h"
#include "Utf8.h"

namespace zel {

namespace {
constexpr std::size_t MaxDateChars = 15;

std::optional<DateTime> parseDate(const std::string& text) {
    try {
        return StrToDate(text);
    } catch (const ConvertError&) {
        return std::nullopt;
    }
}

// The date of the first `chars` characters of `line`, when a blank or the
// line's end follows them.
std::optional<DatedAddress> readWithDateLength(const std::string& line, std::size_t chars) {
    if (Utf8Length(line) < chars)
        return std::nullopt;
    const std::size_t bytes = Utf8PrefixBytes(line, chars);
    if (bytes < line.size() && line[bytes] != ' ')
        return std::nullopt;
    std::optional<DateTime> added = parseDate(line.substr(0, bytes));
    if (!added)
        return std::nullopt;
    return DatedAddress{*added, bytes < line.size() ? line.substr(bytes + 1) : std::string()};
}
bool IsLocalPath(const std::string& address) {
    return address.starts_with('/') || address.starts_with("file:");
}
} // namespace

std::string AddressDate(DateTime day) {
    return CutUtf8Chars(DateToStr(day), MaxDateChars);
}

std::optional<DatedAddress> ReadDatedLine(const std::string& line, std::size_t usualChars) {
    if (std::optional<DatedAddress> dated = readWithDateLength(line, usualChars))
        return dated;
    for (std::size_t chars = 1; chars <= MaxDateChars; ++chars)
        if (chars != usualChars)
            if (std::optional<DatedAddress> dated = readWithDateLength(line, chars))
                return dated;
    return std::nullopt;
}

LoadedAddresses PurgeAddressLines(const std::vector<std::string>& lines, std::int32_t keepDays,
                                  DateTime now) {
    const std::size_t usualChars = Utf8Length(AddressDate(now));
    LoadedAddresses loaded;
    for (const std::string& line : lines) {
        std::optional<DatedAddress> dated = ReadDatedLine(line, usualChars);
        if (IsLocalPath(dated ? dated->address : line))
            continue;
        if (!dated) {
            // Not written by this program in the current date format: kept as
            // it is, and shown as it is (an empty line shows nothing).
            loaded.kept.push_back(line);
            if (!line.empty())
                loaded.items.push_back(line);
            continue;
        }
        if (keepDays >= now - dated->added)
            loaded.kept.push_back(line);
        loaded.items.push_back(dated->address); // a date without address shows an empty item
    }
    return loaded;
}

} // namespace zel
