#include "ImagesAtOnce.h"
#include "PageError.h"

#include <gtest/gtest.h>

#include <future>
#include <tuple>

namespace zel::service {
namespace {

// Two images at most, 100 pixels together: the room each row asks for
// while the images of `running` (their pixels) are made.
TEST(ImagesAtOnceTest, ImagesStartWhileThereIsRoomAndEndInTheirOrder) {
    const struct {
        std::vector<std::int64_t> running;
        std::int64_t asked;
        bool room;
    } rows[] = {{{}, 1000, true}, // one of any size starts alone
                {{60}, 40, true},
                {{60}, 41, false},
                {{10, 10}, 1, false}}; // two at most
    for (const auto& row : rows) {
        ImagesAtOnce images(2, 100);
        std::promise<void> go;
        std::shared_future<void> started = go.get_future().share();
        for (std::int64_t pixels : row.running)
            images.Start(0, pixels, [started](bool&) {
                started.wait();
                return ShrunkImage{};
            });
        EXPECT_EQ(images.HasRoomFor(row.asked), row.room) << row.asked;
        go.set_value();
    }
    // The first ends last, yet comes back first; a failure comes back as it was.
    ImagesAtOnce images(2, 100);
    std::promise<void> firstMayEnd;
    images.Start(1, 10, [ends = firstMayEnd.get_future().share()](bool& leftOut) {
        ends.wait();
        leftOut = true;
        return ShrunkImage{"first", ImageFormat::Png};
    });
    images.Start(2, 10, [](bool&) -> ShrunkImage { throw PageError(FailureKind::TooBig, "big"); });
    firstMayEnd.set_value();
    const ImagesAtOnce::Finished first = images.TakeOldest(), second = images.TakeOldest();
    EXPECT_EQ(std::tie(first.tag, first.image.bytes, first.leftOut, second.tag),
              std::make_tuple(1, std::string("first"), true, 2));
    EXPECT_THROW(std::rethrow_exception(second.failure), PageError);
}

// A WebP header of 1000x500 pixels, still or animated; a GIF's counts one frame.
TEST(ImagesAtOnceTest, AnAnimationIsCountedAsLargeAsAnyImage) {
    for (const char flags : {'\x10', '\x12'}) { // alpha, alpha and animation
        const std::string webp = std::string("RIFF\0\0\0\0WEBPVP8X\x0A\0\0\0", 20) + flags +
                                 std::string("\0\0\0\xE7\x03\0\xF3\x01\0", 10);
        EXPECT_EQ(PixelsHeld(webp, 1'000'000), flags == '\x10' ? 500'000 : 1'000'000);
    }
    EXPECT_EQ(PixelsHeld("GIF89a\x0A\0\x0A\0", 1'000'000), 1'000'000);
}

} // namespace
} // namespace zel::service
