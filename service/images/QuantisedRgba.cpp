#include "QuantisedRgba.h"

#include <libimagequant.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace zel::service {
namespace {

struct AttrFree {
    void operator()(liq_attr* attr) const { liq_attr_destroy(attr); }
};
struct ImageFree {
    void operator()(liq_image* image) const { liq_image_destroy(image); }
};
struct ResultFree {
    void operator()(liq_result* result) const { liq_result_destroy(result); }
};

// 8-bit sRGB with an alpha band, in memory.
VipsImageRef Rgba(VipsImage* image) {
    VipsImageRef rgba = Then(Share(image), [](VipsImage* in, VipsImage** out) {
        return vips_colourspace(in, out, VIPS_INTERPRETATION_sRGB, nullptr);
    });
    if (rgba && !vips_image_hasalpha(rgba.get()))
        rgba = Then(std::move(rgba),
                    [](VipsImage* in, VipsImage** out) { return vips_addalpha(in, out, nullptr); });
    rgba = Then(std::move(rgba),
                [](VipsImage* in, VipsImage** out) { return vips_cast_uchar(in, out, nullptr); });
    rgba = Then(std::move(rgba), [](VipsImage* in, VipsImage** out) {
        return (*out = vips_image_copy_memory(in)) ? 0 : -1;
    });
    return rgba && rgba->Bands == 4 ? std::move(rgba) : nullptr;
}

} // namespace

VipsImageRef QuantisedRgba(VipsImage* image, int colours) {
    const VipsImageRef rgba = Rgba(image);
    if (!rgba)
        return nullptr;
    const int width = vips_image_get_width(rgba.get());
    const int height = vips_image_get_height(rgba.get());
    const std::unique_ptr<liq_attr, AttrFree> attr(liq_attr_create());
    if (!attr || liq_set_max_colors(attr.get(), std::clamp(colours, 2, 256)) != LIQ_OK)
        return nullptr;
    void* pixels = VIPS_IMAGE_ADDR(rgba.get(), 0, 0);
    const std::unique_ptr<liq_image, ImageFree> input(
        liq_image_create_rgba(attr.get(), pixels, width, height, 0));
    liq_result* quantised = nullptr;
    if (!input || liq_image_quantize(input.get(), attr.get(), &quantised) != LIQ_OK)
        return nullptr;
    const std::unique_ptr<liq_result, ResultFree> result(quantised);
    liq_set_dithering_level(result.get(), 0);
    std::vector<unsigned char> indices(std::size_t(width) * height);
    if (liq_write_remapped_image(result.get(), input.get(), indices.data(), indices.size()) !=
        LIQ_OK)
        return nullptr;
    const liq_palette* palette = liq_get_palette(result.get());
    std::vector<unsigned char> out(indices.size() * 4);
    for (std::size_t i = 0; i < indices.size(); ++i) {
        const liq_color colour =
            palette->entries[std::min<unsigned>(indices[i], palette->count - 1)];
        out[4 * i] = colour.r;
        out[4 * i + 1] = colour.g;
        out[4 * i + 2] = colour.b;
        out[4 * i + 3] = colour.a;
    }
    VipsImage* made = vips_image_new_from_memory_copy(out.data(), out.size(), width, height, 4,
                                                      VIPS_FORMAT_UCHAR);
    if (!made) {
        vips_error_clear();
        return nullptr;
    }
    made->Type = VIPS_INTERPRETATION_sRGB;
    return VipsImageRef(made);
}

} // namespace zel::service
