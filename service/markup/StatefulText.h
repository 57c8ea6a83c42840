#pragma once
// Encodings whose bytes change meaning with what came before (ISO-2022-*,
// UTF-7, HZ): a byte that looks like "<" or a quote may be part of another
// character, so markup and style sheets in them are decoded to UTF-8 before
// they are rewritten.

#include <string>
#include <string_view>

namespace zel::service {

bool IsStatefulCharset(const std::string& name);

// The text as UTF-8. Throws PageError when the encoding is unknown here or
// the bytes are not in it.
std::string StatefulToUtf8(std::string_view bytes, const std::string& charset);

} // namespace zel::service
