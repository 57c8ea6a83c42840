#pragma once
// Which forms of an image are worth trying with the user's settings, chosen
// by what the image is: photos get lossy encodings only, drawings and
// screenshots also undithered palettes, whose flat areas stay flat and small.

#include "ImageEncoding.h"
#include "ImageTraits.h"
#include "PageMaker.h"

#include <cstdint>
#include <vector>

namespace zel::service {

// The original image, as far as the choice depends on it.
struct ImageSource {
    ImageFormat format = ImageFormat::Unknown;
    bool lossyPhoto = false; // IsLossyPhotoFormat
    bool grey = false;       // one colour band
    bool animated = false;
};

struct CandidatePlan {
    bool originalCompetes = false; // it meets the settings as it is
    // Cheapest first: when an image's time runs out, the costly ones are left.
    std::vector<ImageEncoding> encodings;
};

// A lossy original at full quality that meets the settings: encoding it
// again only loses, so it is not even decoded.
bool OnlyTheOriginal(const ImageSource& source, const ImageSettings& settings);

// `pixels` is the prepared image's pixel count.
CandidatePlan PlanCandidates(const ImageSource& source, const ImageTraits& traits,
                             std::int64_t pixels, const ImageSettings& settings);

} // namespace zel::service
