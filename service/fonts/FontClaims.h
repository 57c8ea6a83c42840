#pragma once
// What a TrueType or OpenType font's tables claim, read before any library
// works on the font: a small font may claim glyphs of millions of points,
// which the re-encoder would make room for.

#include <cstdint>
#include <string_view>

namespace zel::service {

// The points the font's simple glyphs claim in all; 0 for a font without
// TrueType outlines. Nothing is allocated. Throws PageError when a table
// lies outside the file.
std::int64_t ClaimedGlyphPoints(std::string_view sfnt);

} // namespace zel::service
