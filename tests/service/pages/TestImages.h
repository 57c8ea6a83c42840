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

// A screenshot: dark anti-aliased text on a light page beside a flat panel.
std::string MakeScreenshot(int width, int height, const char* format = ".png");

// A coloured disc whose edge fades into full transparency (RGBA PNG).
std::string MakeSoftEdged(int width, int height);

struct ImageFacts {
    int width = 0;
    int height = 0;
    bool grey = true; // every pixel has equal red, green and blue
    std::set<std::tuple<int, int, int>> colours;
    std::set<int> opacities; // of the alpha band; empty without one
};
// Throws std::runtime_error when the bytes do not decode.
ImageFacts ReadImage(const std::string& bytes);

} // namespace zel::service::test
