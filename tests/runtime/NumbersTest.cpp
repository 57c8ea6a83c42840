#include "Numbers.h"
#include "ConvertError.h"
#include "FailureOf.h"

#include <gtest/gtest.h>

using namespace zel;
using namespace zel::test;

TEST(StrToInt, AcceptsSignsBlanksAndHex) {
    EXPECT_EQ(StrToInt("500"), 500);
    EXPECT_EQ(StrToInt("  -12"), -12);
    EXPECT_EQ(StrToInt("+7"), 7);
    EXPECT_EQ(StrToInt("$1F"), 31);
    EXPECT_EQ(StrToInt("0x10"), 16);
    EXPECT_EQ(StrToInt("2147483647"), 2147483647);
    EXPECT_EQ(StrToInt("-2147483648"), -2147483647 - 1);
}

TEST(StrToInt, RejectsWithTheStandardText) {
    for (std::string bad : {"", "-", "12a", "1 ", "2147483648", "$", "1.5"})
        EXPECT_EQ(FailureOf<ConvertError>([&] { StrToInt(bad); }),
                  "'" + bad + "' is not a valid integer value");
}

TEST(Rounding, HalfEvenAndHalfAwayFromZero) {
    EXPECT_EQ(RoundHalfEven(2.5), 2);
    EXPECT_EQ(RoundHalfEven(3.5), 4);
    EXPECT_EQ(RoundHalfEven(-2.5), -2);
    EXPECT_EQ(RoundHalfEven(69.999), 70);
    EXPECT_EQ(RoundHalfAwayFromZero(2.5), 3);
    EXPECT_EQ(RoundHalfAwayFromZero(-2.5), -3);
}

TEST(FormatFixed2, TwoDecimalsWithAFullStop) {
    EXPECT_EQ(FormatFixed2(0), "0.00");
    EXPECT_EQ(FormatFixed2(0.125), "0.13");
    EXPECT_EQ(FormatFixed2(-0.125), "-0.13");
    EXPECT_EQ(FormatFixed2(1.5), "1.50");
    EXPECT_EQ(FormatFixed2(-0.001), "0.00");
    EXPECT_EQ(FormatFixed2(2047.999), "2048.00");
}
