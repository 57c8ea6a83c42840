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
        {S::Fetching, 1, 0, 0, 3, "The service is fetching the page: 1 byte so far (3 s)"},
        {S::Making, 1234, 0, 0, 8, "The service is making the page from 1234 bytes (8 s)"},
        {S::Downloading, 1234, 20, 480, 9, "Downloading the archive: 20 of 480 bytes (9 s)"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(ProgressText(row.stage, row.pageBytes, row.received, row.archive, row.seconds),
                  row.text);
}
