#include "HttpText.h"

#include "ConvertError.h"
#include "Exception.h"
#include "Numbers.h"
#include "PercentByte.h"

#include <limits>

namespace zel {

std::string TextFrom(const std::string& text, std::size_t pos) {
    return pos < text.size() ? text.substr(pos) : std::string();
}

std::string WithoutLineEnd(const std::string& line) {
    std::size_t end = line.size();
    if (end > 0 && line[end - 1] == '\n')
        --end;
    if (end > 0 && line[end - 1] == '\r')
        --end;
    return line.substr(0, end);
}

void RefuseLineBreaks(const std::string& text, const std::string& what) {
    if (text.find_first_of(std::string("\r\n\0", 3)) != std::string::npos)
        throw Exception("The " + what + " contains a line break or a zero byte");
}

std::string RequestTarget(const std::string& target) {
    RefuseLineBreaks(target, "request address");
    std::string wire;
    wire.reserve(target.size());
    for (char ch : target) {
        auto c = static_cast<unsigned char>(ch);
        if (c <= ' ' || c >= 127)
            AppendPercentByte(wire, c);
        else
            wire += ch;
    }
    return wire;
}

std::int16_t StatusCodeOf(const std::string& field) {
    try {
        std::int32_t code = StrToInt(field);
        if (code < std::numeric_limits<std::int16_t>::min() ||
            code > std::numeric_limits<std::int16_t>::max())
            return 0;
        return static_cast<std::int16_t>(code);
    } catch (const ConvertError&) {
        return 0;
    }
}

std::int32_t ContentLengthOf(const std::string& upperLine) {
    const std::string key = "ENGTH:";
    std::size_t pos = upperLine.find(key);
    if (pos == std::string::npos)
        return 0;
    pos += key.size() + 1; // the key and the character after it
    while (pos < upperLine.size() && (upperLine[pos] < '0' || upperLine[pos] > '9'))
        ++pos;
    std::int64_t value = 0;
    bool digits = false;
    for (; pos < upperLine.size() && upperLine[pos] >= '0' && upperLine[pos] <= '9'; ++pos) {
        digits = true;
        value = value * 10 + (upperLine[pos] - '0');
        if (value > std::numeric_limits<std::int32_t>::max())
            return 0;
    }
    return digits ? static_cast<std::int32_t>(value) : 0;
}

} // namespace zel
