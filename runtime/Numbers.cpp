#include "Numbers.h"

#include "ConvertError.h"

#include <cmath>
#include <cstdlib>
#include <limits>

namespace zel {

std::int32_t StrToInt(const std::string& text) {
    auto fail = [&]() -> std::int32_t {
        throw ConvertError("'" + text + "' is not a valid integer value");
    };
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    int base = 10;
    if (i < text.size() && text[i] == '$') {
        base = 16;
        ++i;
    } else if (i + 1 < text.size() && text[i] == '0' &&
               (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    if (i == text.size())
        return fail();
    std::int64_t value = 0;
    const std::int64_t limit =
        static_cast<std::int64_t>(std::numeric_limits<std::int32_t>::max()) + (negative ? 1 : 0);
    for (; i < text.size(); ++i) {
        char c = text[i];
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            return fail();
        value = value * base + digit;
        if (value > limit)
            return fail();
    }
    return static_cast<std::int32_t>(negative ? -value : value);
}

std::int64_t RoundHalfEven(double value) {
    return static_cast<std::int64_t>(std::nearbyint(value));
}

std::int64_t RoundHalfAwayFromZero(double value) {
    return static_cast<std::int64_t>(std::round(value));
}

std::string FormatFixed2(double value) {
    std::int64_t hundredths = RoundHalfAwayFromZero(value * 100.0);
    std::string sign = hundredths < 0 ? "-" : "";
    std::int64_t magnitude = std::llabs(hundredths);
    std::string cents = std::to_string(magnitude % 100);
    if (cents.size() < 2)
        cents = "0" + cents;
    return sign + std::to_string(magnitude / 100) + "." + cents;
}

} // namespace zel
