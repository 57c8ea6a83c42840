#include "HttpFreshness.h"

#include <algorithm>
#include <charconv>
#include <ctime>
#include <sstream>
#include <string>
#include <vector>

namespace zel::service {
namespace {

std::string_view Trim(std::string_view text) {
    const auto begin = text.find_first_not_of(" \t");
    if (begin == std::string_view::npos)
        return {};
    return text.substr(begin, text.find_last_not_of(" \t") - begin + 1);
}

// The comma-separated items of a header, trimmed.
std::vector<std::string_view> Items(std::string_view header) {
    std::vector<std::string_view> items;
    while (!header.empty()) {
        const auto comma = header.find(',');
        items.push_back(Trim(header.substr(0, comma)));
        header = comma == std::string_view::npos ? std::string_view() : header.substr(comma + 1);
    }
    return items;
}

std::string_view DirectiveName(std::string_view item) {
    return Trim(item.substr(0, item.find('=')));
}

bool HasDirective(std::string_view cacheControl, std::string_view name) {
    const auto items = Items(cacheControl);
    return std::any_of(items.begin(), items.end(),
                       [&](std::string_view item) { return DirectiveName(item) == name; });
}

std::optional<std::int64_t> Seconds(std::string_view text) {
    text = Trim(text);
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"')
        text = text.substr(1, text.size() - 2);
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < 0)
        return std::nullopt;
    return value;
}

std::optional<std::int64_t> DirectiveSeconds(std::string_view cacheControl, std::string_view name) {
    for (const std::string_view item : Items(cacheControl))
        if (DirectiveName(item) == name && item.find('=') != std::string_view::npos)
            return Seconds(item.substr(item.find('=') + 1));
    return std::nullopt;
}

// Headers the fetcher sends alike for every job; a response varying on any
// other might differ for another request.
bool VariesOnlyOnFixedHeaders(std::string_view vary) {
    const auto items = Items(vary);
    return std::all_of(items.begin(), items.end(), [](std::string_view name) {
        return name.empty() || name == "accept-encoding" || name == "user-agent";
    });
}

} // namespace

bool IsShareable(const FetchResult& response) {
    return response.status == 200 && IsForEveryUser(response);
}

bool IsForEveryUser(const FetchResult& response) {
    const ResponseCaching& caching = response.caching;
    return !caching.setsCookie && !caching.sentCredentials &&
           !HasDirective(caching.cacheControl, "private") &&
           !HasDirective(caching.cacheControl, "no-store") &&
           VariesOnlyOnFixedHeaders(caching.vary);
}

std::int64_t FreshUntil(const ResponseCaching& caching, std::int64_t now) {
    if (HasDirective(caching.cacheControl, "no-cache") || HasDirective(caching.pragma, "no-cache"))
        return now;
    std::optional<std::int64_t> lifetime = DirectiveSeconds(caching.cacheControl, "s-maxage");
    if (!lifetime)
        lifetime = DirectiveSeconds(caching.cacheControl, "max-age");
    if (!lifetime && !caching.expires.empty()) {
        const auto expires = ParseHttpDate(caching.expires);
        const auto date = ParseHttpDate(caching.date);
        lifetime = expires ? std::max<std::int64_t>(0, *expires - date.value_or(now)) : 0;
    }
    const std::int64_t age = Seconds(caching.age).value_or(0);
    return now + std::max<std::int64_t>(0, lifetime.value_or(0) - age);
}

std::optional<std::int64_t> ParseHttpDate(std::string_view text) {
    static constexpr std::string_view kMonths = "JanFebMarAprMayJunJulAugSepOctNovDec";
    std::istringstream in{std::string(Trim(text))};
    std::string weekday, month, zone;
    int day = 0, year = 0, hour = 0, minute = 0, second = 0;
    char colon1 = 0, colon2 = 0;
    if (!(in >> weekday >> day >> month >> year >> hour >> colon1 >> minute >> colon2 >> second >>
          zone) ||
        weekday.size() != 4 || weekday.back() != ',' || colon1 != ':' || colon2 != ':' ||
        zone != "GMT" || month.size() != 3)
        return std::nullopt;
    const auto monthAt = kMonths.find(month);
    if (monthAt == std::string_view::npos || monthAt % 3 != 0 || day < 1 || day > 31 || hour > 23 ||
        minute > 59 || second > 60 || year < 1970)
        return std::nullopt;
    std::tm time{};
    time.tm_year = year - 1900;
    time.tm_mon = int(monthAt / 3);
    time.tm_mday = day;
    time.tm_hour = hour;
    time.tm_min = minute;
    time.tm_sec = second;
    return std::int64_t(timegm(&time));
}

} // namespace zel::service
