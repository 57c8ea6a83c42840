#include "RequestProgress.h"

#include <gtest/gtest.h>

using namespace zel;

TEST(ProgressText, SaysWhatGoesOnAndForHowLong) {
    using S = RequestStage;
    const struct {
        S stage;
        std::int64_t pageBytes, received, archive, seconds;
        std::string text;
    } rows[] = {
        {S::Idle, 5, 5, 5, 5, ""},
        {S::Asking, 0, 0, 0, 0, "Waiting for the service (0 s)"},
        {S::Fetching, 1, 0, 0, 3, "The service is fetching the page: 1 byte so far (3 s)"},
        {S::Fetching, 123456, 0, 0, 7,
         "The service is fetching the page: 123456 bytes so far (7 s)"},
        {S::Making, 123456, 0, 0, 8, "The service is making the page from 123456 bytes (8 s)"},
        {S::Downloading, 123456, 2000, 48000, 9,
         "Downloading the archive: 2000 of 48000 bytes (9 s)"},
        {S::Unpacking, 123456, 48000, 48000, 12, "Unpacking the page (12 s)"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(ProgressText(row.stage, row.pageBytes, row.received, row.archive, row.seconds),
                  row.text);
}
