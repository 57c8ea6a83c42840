#pragma once

#include <string>

// The pictures of the end-to-end test's origin, drawn by the test.

// A photo-like JPEG: smooth colour gradients under fine noise.
std::string Photo();

// A small flat drawing as PNG, the style sheet's background.
std::string Stripes();
