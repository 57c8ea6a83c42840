// Form-data URL encoding.

#include "TQzURL.h"

#include <gtest/gtest.h>

using zel::TQzURL;

TEST(UrlEncoder, EncodesEverythingButLettersDigitsAndBlank) {
    TQzURL url;
    EXPECT_EQ(url.EncodeUrl(""), "");
    EXPECT_EQ(url.EncodeUrl(" "), "+");
    EXPECT_EQ(url.EncodeUrl("%"), "%25");
    EXPECT_EQ(url.EncodeUrl("\xFF"), "%FF");
    EXPECT_EQ(url.EncodeUrl(std::string(1, '\0')), "%00");
    EXPECT_EQ(url.EncodeUrl("Abc019"), "Abc019");
    EXPECT_EQ(url.EncodeUrl("-._*~/:=&+@[`{\x7F"), "%2D%2E%5F%2A%7E%2F%3A%3D%26%2B%40%5B%60%7B%7F");
    url.InputString = "a b&c=d";
    EXPECT_EQ(url.Encoded(), "a+b%26c%3Dd");
}

TEST(UrlEncoder, TextsBeyondSixteenBitLengthAreEncodedWhole) {
    TQzURL url;
    std::string text(70000, 'x');
    text += ' ';
    std::string encoded = url.EncodeUrl(text);
    ASSERT_EQ(encoded.size(), 70001u);
    EXPECT_EQ(encoded.back(), '+');
}
