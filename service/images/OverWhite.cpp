#include "OverWhite.h"

#include <stdexcept>
#include <string>

namespace zel::service {

VipsImageRef OverWhite(VipsImage* image) {
    if (!vips_image_hasalpha(image)) {
        g_object_ref(image);
        return VipsImageRef(image);
    }
    VipsArrayDouble* white = vips_array_double_newv(1, 255.0);
    VipsImage* out = nullptr;
    const int failed = vips_flatten(image, &out, "background", white, nullptr);
    vips_area_unref(VIPS_AREA(white));
    if (failed != 0) {
        const std::string detail = vips_error_buffer();
        vips_error_clear();
        throw std::runtime_error("cannot flatten: " + detail);
    }
    return VipsImageRef(out);
}

} // namespace zel::service
