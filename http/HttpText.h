#pragma once
// Text rules of the HTTP client that need no connection: the request target
// as it goes on the wire, the refusal of line breaks in request lines, and
// the values read from response lines.

#include <cstdint>
#include <string>

namespace zel {

// The text from 0-based position `pos` on; empty when the text is shorter.
std::string TextFrom(const std::string& text, std::size_t pos);

// The line without its LF and the CR before it, if any.
std::string WithoutLineEnd(const std::string& line);

// Raises "The <what> contains a line break or a zero byte" when the text has
// a CR, LF or NUL, which would end the line early or start a new one.
void RefuseLineBreaks(const std::string& text, const std::string& what);

// The request target for the request line: a blank, any other control
// character and every byte of 128 and above as "%XX" (upper-case hex); all
// other bytes, '%' included, as they are. A CR, LF or NUL is refused.
std::string RequestTarget(const std::string& target);

// Status code from the status line's second field: its integer value, or 0
// when it is not an integer of 16 bits.
std::int16_t StatusCodeOf(const std::string& field);

// Announced body size from the upper-case copy of a Content-Length line: the
// first run of digits after the key and its blank; 0 when there is none or
// it does not fit in 32 signed bits.
std::int32_t ContentLengthOf(const std::string& upperLine);

} // namespace zel
