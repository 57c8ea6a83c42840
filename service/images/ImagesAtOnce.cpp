#include "ImagesAtOnce.h"

#include "VipsImageRef.h"

#include <vips/vips.h>

namespace zel::service {

ImagesAtOnce::ImagesAtOnce(int most, std::int64_t pixels) : most_(most), pixels_(pixels) {}

bool ImagesAtOnce::HasRoomFor(std::int64_t pixels) const {
    return running_.empty() || (int(running_.size()) < most_ && pixelsRunning_ + pixels <= pixels_);
}

void ImagesAtOnce::Start(int tag, std::int64_t pixels, Work work) {
    auto run = [tag, work = std::move(work)] {
        Finished finished;
        finished.tag = tag;
        try {
            finished.image = work(finished.leftOut);
        } catch (...) {
            finished.failure = std::current_exception();
        }
        // libvips' buffers for this thread are freed with it, not left behind
        // (the library is started first: an image refused by its header
        // never started it).
        InitVipsOnce();
        vips_thread_shutdown();
        return finished;
    };
    // Without a thread to be had it runs when taken, as one after another.
    running_.push_back(
        {pixels, std::async(std::launch::async | std::launch::deferred, std::move(run))});
    pixelsRunning_ += pixels;
}

ImagesAtOnce::Finished ImagesAtOnce::TakeOldest() {
    Running_ oldest = std::move(running_.front());
    running_.pop_front();
    pixelsRunning_ -= oldest.pixels;
    return oldest.done.get();
}

std::int64_t PixelsHeld(const std::string& bytes, std::int64_t maxPixels) {
    const ImageFormat format = SniffImageFormat(bytes);
    if (MayBeAnimated(bytes, format))
        return maxPixels;
    const HeaderSize size = SizeFromHeader(bytes, format);
    return size.width * size.height;
}

} // namespace zel::service
