#pragma once
// Documents written in UTF-16, told by their byte order mark, by the encoding
// they are declared in or, failing both, by the zero bytes of ASCII markup;
// they are rewritten as UTF-8, which the rewriter works on.

#include <string>
#include <string_view>

namespace zel::service {

enum class Utf16Order { None, LittleEndian, BigEndian };

Utf16Order DetectUtf16(std::string_view bytes, const std::string& declaredCharset);

// The text as UTF-8, without a byte order mark. Throws PageError when the
// bytes are no UTF-16 (an odd count, a lone surrogate).
std::string Utf16ToUtf8(std::string_view bytes, Utf16Order order);

} // namespace zel::service
