#pragma once
// Number conversions and roundings with fixed, locale-independent rules.

#include <cstdint>
#include <string>

namespace zel {

// Decimal (or "$"/"0x" hexadecimal) 32-bit integer with optional sign and
// leading blanks; anything else raises "'<text>' is not a valid integer value".
std::int32_t StrToInt(const std::string& text);
// Nearest integer, an exact half to the even neighbour.
std::int64_t RoundHalfEven(double value);
// Nearest integer, an exact half away from zero.
std::int64_t RoundHalfAwayFromZero(double value);
// Fixed-point with two decimals and a full stop, rounded half away from zero.
std::string FormatFixed2(double value);

} // namespace zel
