#pragma once
// An owned libvips image, and the chaining of operations on it.

#include <vips/vips.h>

#include <memory>

namespace zel::service {

struct VipsImageUnref {
    void operator()(VipsImage* image) const { g_object_unref(image); }
};
using VipsImageRef = std::unique_ptr<VipsImage, VipsImageUnref>;

// Chains one operation: `step` writes its result to `out` and returns 0. A
// failed step, or a missing input, gives no image.
template <typename Step> VipsImageRef Then(VipsImageRef in, Step step) {
    if (!in)
        return nullptr;
    VipsImage* out = nullptr;
    if (step(in.get(), &out) != 0) {
        vips_error_clear();
        return nullptr;
    }
    return VipsImageRef(out);
}

// A second owner of the same image.
inline VipsImageRef Share(VipsImage* image) {
    return VipsImageRef(static_cast<VipsImage*>(g_object_ref(image)));
}

// Once per process: no operation cache (every image is seen once), one worker
// thread per operation (candidates are encoded side by side instead), and
// every loader blocked but the buffer loaders of the formats read here.
void InitVipsOnce();

} // namespace zel::service
