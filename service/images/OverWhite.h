#pragma once
// A picture with its alpha laid over white, as a page's background most often
// is; a picture without alpha comes back as it is (a new reference).

#include "VipsImageRef.h"

namespace zel::service {

// Throws std::runtime_error when libvips fails.
VipsImageRef OverWhite(VipsImage* image);

} // namespace zel::service
