#pragma once
// A picture with its alpha laid over white, as a page's background most often
// is; a picture without alpha comes back as it is (a new reference).

#include "VipsRef.h"

namespace zel::bench {

// Throws std::runtime_error when libvips fails.
VipsRef OverWhite(VipsImage* image);

} // namespace zel::bench
