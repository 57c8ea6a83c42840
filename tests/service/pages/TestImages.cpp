#include "TestImages.h"

#include <vips/vips.h>

#include <algorithm>
#include <memory>
#include <stdexcept>

namespace zel::service::test {
namespace {

struct Unref {
    void operator()(VipsImage* image) const { g_object_unref(image); }
};
using Image = std::unique_ptr<VipsImage, Unref>;

void Check(int failed) {
    if (failed != 0) {
        const std::string text = vips_error_buffer();
        vips_error_clear();
        throw std::runtime_error("vips: " + text);
    }
}

// The service blocks the AVIF decoder for what it reads; the tests read
// the AVIF it writes.
void Init() {
    static const bool ready = VIPS_INIT("tests") == 0;
    if (!ready)
        throw std::runtime_error("vips does not start");
    vips_operation_block_set("VipsForeignLoadHeif", FALSE);
}

// `step` writes one image to `out`; a failure throws.
template <typename Step> Image Make(Step step) {
    VipsImage* out = nullptr;
    Check(step(&out));
    return Image(out);
}

// Three or four bands of any number type, saved as 8-bit sRGB.
std::string Encode(Image colour, const char* format, int quality) {
    VipsImage* chars = nullptr;
    Check(vips_cast_uchar(colour.get(), &chars, nullptr));
    Image ready(chars);
    VipsImage* srgb = nullptr;
    Check(vips_copy(ready.get(), &srgb, "interpretation", VIPS_INTERPRETATION_sRGB, nullptr));
    Image out(srgb);
    void* buffer = nullptr;
    size_t length = 0;
    const bool lossy = std::string(format) == ".jpg" || std::string(format) == ".webp";
    Check(lossy ? vips_image_write_to_buffer(out.get(), format, &buffer, &length, "Q", quality,
                                             nullptr)
                : vips_image_write_to_buffer(out.get(), format, &buffer, &length, nullptr));
    std::string bytes(static_cast<char*>(buffer), length);
    g_free(buffer);
    return bytes;
}

} // namespace

std::string MakePhoto(int width, int height, const char* format, int quality) {
    Init();
    VipsImage* xyz = nullptr;
    Check(vips_xyz(&xyz, width, height, nullptr));
    Image coords(xyz);
    VipsImage* bands[3] = {};
    Check(vips_extract_band(coords.get(), &bands[0], 0, nullptr));
    Check(vips_extract_band(coords.get(), &bands[1], 1, nullptr));
    Image x(bands[0]), y(bands[1]);
    VipsImage* noise = nullptr;
    Check(vips_gaussnoise(&noise, width, height, "sigma", 40.0, "mean", 128.0, nullptr));
    Image grain(noise);
    // Red follows x, green follows y, blue is grain: colourful and hard to compress.
    VipsImage* red = nullptr;
    VipsImage* green = nullptr;
    Check(vips_linear1(x.get(), &red, 255.0 / width, 0.0, nullptr));
    Check(vips_linear1(y.get(), &green, 255.0 / height, 0.0, nullptr));
    Image r(red), g(green);
    VipsImage* joined[3] = {r.get(), g.get(), grain.get()};
    VipsImage* rgb = nullptr;
    Check(vips_bandjoin(joined, &rgb, 3, nullptr));
    return Encode(Image(rgb), format, quality);
}

std::string MakeDrawing(int width, int height, const char* format) {
    Init();
    VipsImage* xyz = nullptr;
    Check(vips_xyz(&xyz, width, height, nullptr));
    Image coords(xyz);
    VipsImage* x = nullptr;
    Check(vips_extract_band(coords.get(), &x, 0, nullptr));
    Image column(x);
    VipsImage* scaled = nullptr;
    Check(vips_linear1(column.get(), &scaled, 8.0 / width, 0.0, nullptr));
    Image fraction(scaled);
    VipsImage* floored = nullptr;
    Check(vips_floor(fraction.get(), &floored, nullptr));
    Image stripe(floored);
    double a[3] = {32, -32, 16};
    double b[3] = {0, 255, 40};
    VipsImage* rgb = nullptr;
    Check(vips_linear(stripe.get(), &rgb, a, b, 3, nullptr));
    return Encode(Image(rgb), format, 100);
}

std::string MakeScreenshot(int width, int height, const char* format) {
    Init();
    std::string text;
    for (int line = 0; line < height / 20; ++line)
        text += "The quick brown fox jumps over the lazy dog, 0123456789. File Edit View Go\n";
    Image ink = Make([&](VipsImage** out) {
        return vips_text(out, text.c_str(), "width", width * 3 / 4, "dpi", 96, nullptr);
    });
    // Ink 0..255 becomes dark grey text on white paper, beside a grey panel.
    Image paper = Make([&](VipsImage** out) {
        return vips_linear1(ink.get(), out, -200.0 / 255.0, 255.0, nullptr);
    });
    Image grey = Make([&](VipsImage** out) { return vips_cast_uchar(paper.get(), out, nullptr); });
    Image page = Make([&](VipsImage** out) {
        return vips_embed(grey.get(), out, width / 4, 4, width, height, "extend", VIPS_EXTEND_WHITE,
                          nullptr);
    });
    Image drawn =
        Make([&](VipsImage** out) { return (*out = vips_image_copy_memory(page.get())) ? 0 : -1; });
    Check(vips_draw_rect1(drawn.get(), 200.0, 0, 0, width / 4 - 8, height, "fill", TRUE, nullptr));
    double tint[3] = {0.9, 0.95, 1.0};
    double none[3] = {0, 0, 0};
    Image rgb = Make([&](VipsImage** out) {
        VipsImage* bands[3] = {drawn.get(), drawn.get(), drawn.get()};
        return vips_bandjoin(bands, out, 3, nullptr);
    });
    Image tinted =
        Make([&](VipsImage** out) { return vips_linear(rgb.get(), out, tint, none, 3, nullptr); });
    return Encode(std::move(tinted), format, 95);
}

std::string MakeSoftEdged(int width, int height) {
    Init();
    Image black = Make([&](VipsImage** out) { return vips_black(out, width, height, nullptr); });
    Image disc = Make(
        [&](VipsImage** out) { return (*out = vips_image_copy_memory(black.get())) ? 0 : -1; });
    Check(vips_draw_circle1(disc.get(), 255.0, width / 2, height / 2, std::min(width, height) / 3,
                            "fill", TRUE, nullptr));
    Image alpha =
        Make([&](VipsImage** out) { return vips_gaussblur(disc.get(), out, 3.0, nullptr); });
    Image colour = Make([&](VipsImage** out) { return vips_xyz(out, width, height, nullptr); });
    Image red =
        Make([&](VipsImage** out) { return vips_extract_band(colour.get(), out, 0, nullptr); });
    Image shade = Make([&](VipsImage** out) {
        return vips_linear1(red.get(), out, 200.0 / width, 40.0, nullptr);
    });
    Image rgba = Make([&](VipsImage** out) {
        VipsImage* bands[4] = {shade.get(), shade.get(), black.get(), alpha.get()};
        return vips_bandjoin(bands, out, 4, nullptr);
    });
    return Encode(std::move(rgba), ".png", 100);
}

ImageFacts ReadImage(const std::string& bytes) {
    Init();
    VipsImage* loaded = vips_image_new_from_buffer(bytes.data(), bytes.size(), "", nullptr);
    if (loaded == nullptr)
        Check(-1);
    Image image(loaded);
    ImageFacts facts;
    facts.width = vips_image_get_width(image.get());
    facts.height = vips_image_get_height(image.get());
    VipsImage* cast = nullptr;
    Check(vips_cast_uchar(image.get(), &cast, nullptr));
    Image pixels(cast);
    size_t size = 0;
    std::unique_ptr<unsigned char, decltype(&g_free)> data(
        static_cast<unsigned char*>(vips_image_write_to_memory(pixels.get(), &size)), g_free);
    const int bands = pixels->Bands;
    const int colourBands = bands >= 3 ? 3 : 1;
    const bool alpha = bands == 2 || bands == 4;
    for (size_t i = 0; i + bands <= size; i += bands) {
        const int r = data.get()[i];
        const int g = colourBands == 3 ? data.get()[i + 1] : r;
        const int b = colourBands == 3 ? data.get()[i + 2] : r;
        facts.grey = facts.grey && r == g && g == b;
        facts.colours.insert({r, g, b});
        if (alpha)
            facts.opacities.insert(data.get()[i + bands - 1]);
    }
    return facts;
}

} // namespace zel::service::test
