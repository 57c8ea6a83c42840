#pragma once
// Byte-wise text edits shared by the browser and the service (plain C++, no Qt).

#include <string>

namespace zel {

// Every occurrence of `from`, left to right and not overlapping, replaced by
// `to`; a replacement is never searched again. An empty `from` changes nothing.
std::string ReplaceAll(const std::string& text, const std::string& from, const std::string& to);

// The value of a hexadecimal digit of either case, or -1.
int HexDigit(char c);

// ASCII letters only; other bytes stay as they are.
std::string UpperCase(std::string text);
std::string LowerCase(std::string text);

} // namespace zel
