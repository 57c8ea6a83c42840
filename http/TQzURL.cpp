#include "TQzURL.h"

#include "PercentByte.h"

#include <exception>

namespace zel {

namespace {

bool IsAlphaNumeric(unsigned char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

} // namespace

std::string TQzURL::EncodeUrl(const std::string& text) {
    try {
        std::string result;
        result.reserve(text.size());
        for (char ch : text) {
            auto c = static_cast<unsigned char>(ch);
            if (IsAlphaNumeric(c))
                result += ch;
            else if (c == ' ')
                result += '+';
            else
                AppendPercentByte(result, c);
        }
        return result;
    } catch (const std::exception& failure) {
        if (OnError)
            OnError(this, "Error during encode", failure.what());
        return text;
    }
}

} // namespace zel
