#pragma once
// The escapes of the addresses the browser asks the service for.

#include <string>

namespace zel {

// Blanks, control bytes, "*", "#", "%", "<", ">" and bytes from 128 up become
// "%XX".
std::string EscapeRequestUrl(const std::string& text);
// Blanks and control bytes become "%XX", nothing else: what a request line
// cannot carry as it is.
std::string EscapeBlanksAndControls(const std::string& text);

} // namespace zel
