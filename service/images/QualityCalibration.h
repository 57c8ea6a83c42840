#pragma once
// The quality number each lossy encoder is given so that its result looks as
// good as JPEG's at the user's quality: the formats read the same number
// differently, and picking the smallest file at equal numbers would pick the
// ugliest.

namespace zel::service {

enum class LossyEncoder { Jpeg, Webp, Avif };

// `jpegQuality` is the user's quality (1..100); the result is the encoder's
// own quality number (1..100).
int CalibratedQuality(LossyEncoder encoder, int jpegQuality);

} // namespace zel::service
