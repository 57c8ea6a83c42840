#include "HttpFreshness.h"

#include <gtest/gtest.h>

namespace zel::service {
namespace {

constexpr std::int64_t kNow = 1'000'000'000; // 2001-09-09 01:46:40 GMT

struct Case {
    const char* name;
    ResponseCaching caching;
    bool shareable;
    std::int64_t freshFor; // seconds from kNow
};

ResponseCaching WithControl(const char* cacheControl) {
    ResponseCaching caching;
    caching.cacheControl = cacheControl;
    return caching;
}

TEST(HttpFreshness, WhatIsSharedAndForHowLong) {
    ResponseCaching cookie = WithControl("public, max-age=60");
    cookie.setsCookie = true;
    ResponseCaching credentials = WithControl("max-age=60");
    credentials.sentCredentials = true;
    ResponseCaching varies = WithControl("max-age=60");
    varies.vary = "accept-encoding, cookie";
    ResponseCaching encoding = WithControl("max-age=60");
    encoding.vary = "accept-encoding";
    ResponseCaching expires;
    expires.date = "Sun, 09 Sep 2001 01:46:40 GMT";
    expires.expires = "Sun, 09 Sep 2001 01:56:40 GMT";
    ResponseCaching badExpires;
    badExpires.expires = "0";
    ResponseCaching aged = WithControl("max-age=100");
    aged.age = "30";
    ResponseCaching pragma = WithControl("max-age=100");
    pragma.pragma = "no-cache";
    const Case cases[] = {
        {"max-age", WithControl("public, max-age=60"), true, 60},
        {"s-maxage wins", WithControl("max-age=60, s-maxage=5"), true, 5},
        {"s-maxage=0 wins too", WithControl("max-age=60, s-maxage=0"), true, 0},
        {"private", WithControl("private, max-age=60"), false, 60},
        {"private with fields", WithControl("max-age=60, private=\"x\""), false, 60},
        {"no-store", WithControl("no-store"), false, 0},
        {"no-cache", WithControl("no-cache, max-age=60"), true, 0},
        {"nothing said", {}, true, 0},
        {"sets a cookie", cookie, false, 60},
        {"sent credentials", credentials, false, 60},
        {"varies on cookie", varies, false, 60},
        {"varies on encoding", encoding, true, 60},
        {"expires", expires, true, 600},
        {"bad expires", badExpires, true, 0},
        {"age", aged, true, 70},
        {"pragma no-cache", pragma, true, 0},
    };
    for (const Case& c : cases) {
        FetchResult response;
        response.status = 200;
        response.caching = c.caching;
        EXPECT_EQ(IsShareable(response), c.shareable) << c.name;
        EXPECT_EQ(FreshUntil(c.caching, kNow), kNow + c.freshFor) << c.name;
    }
    FetchResult partial;
    partial.status = 206;
    EXPECT_FALSE(IsShareable(partial));
}

TEST(HttpFreshness, ReadsOnlyHttpDates) {
    EXPECT_EQ(ParseHttpDate("Sun, 06 Nov 1994 08:49:37 GMT"), 784111777);
    for (const char* bad : {"Sunday, 06-Nov-94 08:49:37 GMT", "Sun, 06 Nov 1994 08:49:37 CET",
                            "Sun, 06 Noz 1994 08:49:37 GMT", "0", ""})
        EXPECT_FALSE(ParseHttpDate(bad)) << bad;
}

TEST(HttpFreshness, DatesAtTheEdgesOfEachField) {
    const std::pair<const char*, std::optional<std::int64_t>> dates[] = {
        {"Thu, 01 Jan 1970 00:00:00 GMT", 0},
        {"Thu, 31 Dec 1998 23:59:60 GMT", 915148800}, // a leap second
        {"Wed, 31 Dec 1969 23:59:59 GMT", std::nullopt},
        {"Thu, 00 Jan 1970 00:00:00 GMT", std::nullopt},
        {"Thu, 32 Dec 1998 00:00:00 GMT", std::nullopt},
        {"Thu, 31 Dec 1998 24:00:00 GMT", std::nullopt},
        {"Thu, 31 Dec 1998 23:60:00 GMT", std::nullopt},
        {"Thu, 31 Dec 1998 23:59:61 GMT", std::nullopt}};
    for (const auto& [text, seconds] : dates)
        EXPECT_EQ(ParseHttpDate(text), seconds) << text;
}

} // namespace
} // namespace zel::service
