#pragma once
// '%' and the byte as two upper-case hex digits, the escape shared by the
// form-data encoder and the request target.

#include <string>

namespace zel {

inline void AppendPercentByte(std::string& out, unsigned char c) {
    static const char Digits[] = "0123456789ABCDEF";
    out += '%';
    out += Digits[c >> 4];
    out += Digits[c & 15];
}

} // namespace zel
