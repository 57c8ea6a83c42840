#include "RequestEscapes.h"

#include <gtest/gtest.h>

using namespace zel;

TEST(EscapeRequestUrl, EscapesUnsafeBytesOnly) {
    EXPECT_EQ(EscapeRequestUrl("a b"), "a%20b");
    EXPECT_EQ(EscapeRequestUrl("*#%<>"), "%2A%23%25%3C%3E");
    EXPECT_EQ(EscapeRequestUrl("caf\xe9\x80\xff\x7f"), "caf%E9%80%FF\x7f");
    EXPECT_EQ(EscapeRequestUrl("http://h/p?a=1&b=2+3:4"), "http://h/p?a=1&b=2+3:4");
    EXPECT_EQ(EscapeRequestUrl(""), "");
    // A line end or a zero byte would break the request line.
    EXPECT_EQ(EscapeRequestUrl(std::string("a\r\nb\tc\0d", 8)), "a%0D%0Ab%09c%00d");
    EXPECT_EQ(EscapeBlanksAndControls(std::string("a b\r\n%?&*\0\x7f\xe9", 12)),
              std::string("a%20b%0D%0A%?&*%00\x7f\xe9"));
}
