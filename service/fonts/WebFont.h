#pragma once
// Web fonts made smaller without loss: TrueType, OpenType and WOFF fonts
// re-encoded as WOFF2 (a WOFF font is unpacked to its tables first).

#include <cstdint>
#include <string>
#include <string_view>

namespace zel::service {

// The file name extension a font's first bytes tell: "ttf", "otf", "woff",
// "woff2", or empty for what is no font.
std::string_view FontExtension(std::string_view bytes);

// The font as WOFF2 when that is smaller, else as it came. A WOFF font may
// unpack to at most `maxUnpackedBytes`; one that does not unpack stays as it
// came. Throws PageError for a font whose tables lie outside it or whose
// glyphs claim far more than its size holds.
std::string ShrinkFont(const std::string& font, std::int64_t maxUnpackedBytes);

// The tables of a WOFF font as a TrueType or OpenType file; empty when the
// WOFF is damaged or would unpack beyond `maxBytes`.
std::string UnpackWoff(std::string_view woff, std::int64_t maxBytes);

} // namespace zel::service
