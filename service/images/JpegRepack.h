#pragma once
// A JPEG written again without touching a pixel: the same coefficients,
// progressive, with Huffman tables made for the picture (libjpeg-turbo's
// lossless transform). Of its markers only the colour profile and the EXIF
// orientation stay: the picture shows as before, upright and in its colours.

#include <optional>
#include <string>

namespace zel::service {

// None when the bytes are no whole JPEG in YCbCr or grey (the colour
// transform of other kinds lives in a marker the transform would drop).
std::optional<std::string> RepackJpeg(const std::string& jpeg);

} // namespace zel::service
