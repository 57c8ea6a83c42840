#pragma once
// Images made for the tests with libvips, and what the tests read back from
// an image: its size, its colours.

#include <set>
#include <string>
#include <tuple>

namespace zel::service::test {

// A colourful, photo-like picture (smooth gradients with fine noise).
std::string MakePhoto(int width, int height, const char* format = ".jpg", int quality = 95);

// A flat drawing: eight vertical stripes of eight distinct colours.
std::string MakeDrawing(int width, int height, const char* format = ".png");

struct ImageFacts {
    int width = 0;
    int height = 0;
    bool grey = true; // every pixel has equal red, green and blue
    std::set<std::tuple<int, int, int>> colours;
};
// Throws std::runtime_error when the bytes do not decode.
ImageFacts ReadImage(const std::string& bytes);

} // namespace zel::service::test
