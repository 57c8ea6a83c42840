#include "QualityCalibration.h"

#include <gtest/gtest.h>

using namespace zel::service;

TEST(QualityCalibration, EachEncodersNumberRisesWithTheUsersQualityAndStaysIn1To100) {
    for (const LossyEncoder encoder :
         {LossyEncoder::Jpeg, LossyEncoder::Webp, LossyEncoder::Avif}) {
        int previous = 1;
        for (int quality = 1; quality <= 100; ++quality) {
            const int own = CalibratedQuality(encoder, quality);
            EXPECT_GE(own, previous) << int(encoder) << " at " << quality;
            EXPECT_LE(own, 100) << int(encoder) << " at " << quality;
            previous = own;
        }
    }
}
