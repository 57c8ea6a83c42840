#include "TestImages.h"

#include <vips/vips.h>

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

// Three bands of any number type, saved as 8-bit sRGB.
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
    for (size_t i = 0; i + bands <= size; i += bands) {
        const int r = data.get()[i];
        const int g = colourBands == 3 ? data.get()[i + 1] : r;
        const int b = colourBands == 3 ? data.get()[i + 2] : r;
        facts.grey = facts.grey && r == g && g == b;
        facts.colours.insert({r, g, b});
    }
    return facts;
}

} // namespace zel::service::test
