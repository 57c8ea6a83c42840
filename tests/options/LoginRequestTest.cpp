#include "LoginRequest.h"
#include "ServiceEndpoints.h"

#include <gtest/gtest.h>

using namespace zel;

TEST(LoginRequest, EmailCheckNeedsLengthAtSignAndDot) {
    EXPECT_TRUE(IsPlausibleEmail("ab@c.de"));               // 7 characters, "@" at 3
    EXPECT_FALSE(IsPlausibleEmail("a@bc.de"));              // "@" at 2
    EXPECT_FALSE(IsPlausibleEmail("ab@c.d"));               // 6 characters
    EXPECT_FALSE(IsPlausibleEmail("abc.def"));              // no "@"
    EXPECT_FALSE(IsPlausibleEmail("abc@def"));              // no "."
    EXPECT_TRUE(IsPlausibleEmail("a.b@cdef"));              // the only "." before "@"
    EXPECT_TRUE(IsPlausibleEmail("ab@cd@."));               // only the first "@" counts
    EXPECT_TRUE(IsPlausibleEmail("\xC3\xA9\xC3\xA9@b.cd")); // characters, not bytes
    EXPECT_FALSE(IsPlausibleEmail("\xC3\xA9@bc.de"));
}

TEST(LoginRequest, AddressEscapesBlanksButNotTheQuerySeparators) {
    SetServiceBaseForTesting("http://127.0.0.1:7000");
    EXPECT_EQ(LoginRequestAddress("01/01/20=1.0=/usr=37Gb=Card X=512Mb=Debian 12",
                                  "my name&co@mail.example"),
              "http://127.0.0.1:7000/zel/login?comp=01/01/20=1.0=/usr=37Gb=Card%20X=512Mb="
              "Debian%2012&mail=my%20name&co@mail.example");
    EXPECT_EQ(LoginRequestAddress("?", "caf\xC3\xA9@x.y\r\n"),
              "http://127.0.0.1:7000/zel/login?comp=?&mail=caf%C3%A9@x.y%0D%0A");
    SetServiceBaseForTesting("");
}

TEST(LoginRequest, AnswerLosesItsPrefixAndTheMemoItsLineFeeds) {
    EXPECT_EQ(LoginAnswer("OK,Your login was sent."), "Your login was sent.");
    EXPECT_EQ(LoginAnswer("OK,"), "");
    EXPECT_EQ(LoginMemoLine("First line\nsecond line"), "First linesecond line");
    EXPECT_EQ(LoginMemoLine("a\r\nb"), "a\rb");
}
