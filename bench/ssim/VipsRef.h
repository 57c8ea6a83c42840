#pragma once
// An owned libvips image: unreferenced when it goes out of scope.

#include <vips/vips.h>

#include <memory>

namespace zel::bench {

struct VipsUnref {
    void operator()(VipsImage* image) const { g_object_unref(image); }
};
using VipsRef = std::unique_ptr<VipsImage, VipsUnref>;

} // namespace zel::bench
