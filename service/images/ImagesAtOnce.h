#pragma once
// Shrinks a page's images side by side, each on a thread of its own, so a
// page of many pictures is ready sooner than one picture after another. An
// image starts only while those running announce fewer pixels together than
// the largest image allowed (one image of any size always starts), so the
// memory they hold stays about what that one image would; the finished ones
// are handed back in the order they were started, which keeps the archive's
// names the same from make to make.

#include "ImageShrinker.h"

#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <future>

namespace zel::service {

class ImagesAtOnce {
public:
    struct Finished {
        int tag = -1;         // the caller's, given to Start
        ShrunkImage image;    // when `failure` is empty
        bool leftOut = false; // an encoding was left out for time
        std::exception_ptr failure;
    };
    // `work` shrinks one image, setting its flag when it left an encoding out.
    using Work = std::function<ShrunkImage(bool& leftOut)>;

    // At most `most` images at once, announcing at most `pixels` together.
    // Destroyed, it waits for every image still running (its futures, of
    // std::async, do).
    ImagesAtOnce(int most, std::int64_t pixels);

    // Whether an image announcing `pixels` may start now.
    bool HasRoomFor(std::int64_t pixels) const;
    void Start(int tag, std::int64_t pixels, Work work);
    bool Running() const { return !running_.empty(); }
    // Waits for the oldest image still running. Only while Running().
    Finished TakeOldest();

private:
    struct Running_ {
        std::int64_t pixels;
        std::future<Finished> done;
    };
    const int most_;
    const std::int64_t pixels_;
    std::int64_t pixelsRunning_ = 0;
    std::deque<Running_> running_;
};

// The pixels an image may hold while it is made: what its header announces
// (0 when it tells none), or `maxPixels` for a GIF or an animated WebP,
// whose header counts one frame of many.
std::int64_t PixelsHeld(const std::string& bytes, std::int64_t maxPixels);

} // namespace zel::service
