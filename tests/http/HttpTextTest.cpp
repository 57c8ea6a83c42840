// Values the client reads from response lines.

#include "HttpText.h"

#include <gtest/gtest.h>

using namespace zel;

TEST(HttpText, StatusCodeIsA16BitIntegerOrZero) {
    EXPECT_EQ(StatusCodeOf("200"), 200);
    EXPECT_EQ(StatusCodeOf("-5"), -5);
    EXPECT_EQ(StatusCodeOf(""), 0);
    EXPECT_EQ(StatusCodeOf("20x"), 0);
    EXPECT_EQ(StatusCodeOf("32767"), 32767);
    EXPECT_EQ(StatusCodeOf("70000"), 0); // never wraps into another status
    EXPECT_EQ(StatusCodeOf("99999999999"), 0);
}

TEST(HttpText, ContentLengthIsTheFirstRunOfDigitsAfterTheKey) {
    EXPECT_EQ(ContentLengthOf("CONTENT-LENGTH: 1234\r\n"), 1234);
    EXPECT_EQ(ContentLengthOf("CONTENT-LENGTH: ABC 12 34\r\n"), 12);
    EXPECT_EQ(ContentLengthOf("CONTENT-LENGTH: NONE\r\n"), 0);
    EXPECT_EQ(ContentLengthOf("CONTENT-LENGTH: 2147483647"), 2147483647);
    EXPECT_EQ(ContentLengthOf("CONTENT-LENGTH: 2147483648"), 0);
    EXPECT_EQ(ContentLengthOf("CONTENT-LENGTH:"), 0);
}
