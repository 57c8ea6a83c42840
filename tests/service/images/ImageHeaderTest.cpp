// The size a header announces, read before any pixel is decoded.

#include "ImageFormat.h"

#include <gtest/gtest.h>

#include <string>

using namespace zel::service;

TEST(ImageHeader, SizeIsReadFromTheFrameMarkerAndTheLosslessWebpBits) {
    // An APP0 segment, a fill byte, then a start of frame of 300x200.
    const std::string jpeg("\xFF\xD8\xFF\xE0\x00\x04\x00\x00\xFF\xFF\xC0\x00\x11\x08\x00\xC8"
                           "\x01\x2C\x03\x00\x00",
                           21);
    // Width and height less one, 14 bits each, after the signature byte.
    const std::string webp("RIFF\x11\x00\x00\x00WEBPVP8L\x05\x00\x00\x00\x2F\x2B\xC1\x31\x00", 25);
    for (const auto& [bytes, format] :
         {std::pair{jpeg, ImageFormat::Jpeg}, {webp, ImageFormat::Webp}}) {
        const HeaderSize size = SizeFromHeader(bytes, format);
        EXPECT_EQ(size.width, 300) << int(format);
        EXPECT_EQ(size.height, 200) << int(format);
    }
}
