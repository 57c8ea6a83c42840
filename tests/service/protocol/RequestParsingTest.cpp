// Reading the browser's requests: targets in both forms, the page address
// as the last parameter, the escapes, and the checks of address and image
// settings.

#include "PageParameters.h"
#include "RequestTarget.h"

#include <gtest/gtest.h>

#include <utility>

using namespace zel::service;

TEST(RequestTarget, OriginAndAbsoluteFormsGiveTheSamePathAndQuery) {
    for (const std::string prefix : {"", "http://svc.example:8960", "HTTP://svc.example"}) {
        const RequestTarget target =
            SplitRequestTarget(prefix + "/zel/page?login=abc&url=http://x/y?z");
        EXPECT_EQ(target.path, "/zel/page") << prefix;
        EXPECT_EQ(target.query, "login=abc&url=http://x/y?z") << prefix;
    }
    EXPECT_EQ(SplitRequestTarget("http://svc.example").path, "/");
    EXPECT_EQ(SplitRequestTarget("/zel/poll").query, "");
}

TEST(RequestTarget, PageAddressIsTheWholeRestAndNotDecoded) {
    const QueryParams params = ParseQuery(
        "image=1&login=abc&quality=30&colors=32&gray=0&url=http://h/p^^^^^a=%20|||||login=x&y",
        "url");
    EXPECT_EQ(params.at("url"), "http://h/p^^^^^a=%20|||||login=x&y");
    EXPECT_EQ(params.at("login"), "abc");
    EXPECT_EQ(params.at("quality"), "30");
    EXPECT_EQ(params.size(), 6u);
    EXPECT_EQ(UnescapePageAddress(params.at("url")), "http://h/p?a=%20&login=x&y");

    // "url" inside another value, or a parameter that only ends in "url",
    // is not the address.
    const QueryParams tricky = ParseQuery("login=a&myurl=1&url=http://h/", "url");
    EXPECT_EQ(tricky.at("url"), "http://h/");
    EXPECT_EQ(tricky.at("myurl"), "1");
    EXPECT_EQ(ParseQuery("url=http://h/?login=b", "url").count("login"), 0u);
}

TEST(RequestTarget, LoginQueryKeepsSeparatorsOfTheBrowsersTexts) {
    const LoginQuery login =
        ParseLoginQuery("comp=?=?=C:%5CWINDOWS=37Gb=AT&T%20Card=512Mb=2000&mail=jo&an%20n@x.org");
    EXPECT_EQ(login.computer, "?=?=C:\\WINDOWS=37Gb=AT&T Card=512Mb=2000");
    EXPECT_EQ(login.mail, "jo&an n@x.org");
    EXPECT_EQ(ParseLoginQuery("mail=a@b.cd").mail, "a@b.cd");
    EXPECT_EQ(PercentDecode("100%+%4"), "100%+%4");
}

TEST(RequestTarget, EscapesNextToEachOtherAreAllTurnedBack) {
    const std::pair<const char*, const char*> cases[] = {
        {"a=|||||b=|||||c", "a=&b=&c"}, {"^^^^^|||||", "?&"},       {"||||||||||", "&&"},
        {"^^^^^^^^^^^", "??^"},         {"|||||^^^^^|||||", "&?&"}, {"||||", "||||"},
    };
    for (const auto& [escaped, address] : cases)
        EXPECT_EQ(UnescapePageAddress(escaped), address) << escaped;
}

TEST(PageParameters, OnlyHttpAndHttpsAddressesWithAHostAreTaken) {
    EXPECT_EQ(PageAddress("http://example.org/a^^^^^b=1"), "http://example.org/a?b=1");
    EXPECT_EQ(PageAddress("HTTP://Example.org"), "HTTP://Example.org");
    EXPECT_EQ(PageAddress("http://https://secure.example/x"), "https://secure.example/x");
    EXPECT_EQ(PageAddress("http://HTTPS://secure.example/"), "HTTPS://secure.example/");
    EXPECT_EQ(PageAddress("http://http://plain.example/"), "http://plain.example/");
    for (const char* refused :
         {"ftp://example.org/", "http://", "http:///path", "http://:80/", "https://@h/",
          "gopher://h/", "http://ftp://h/", "http://exa mple.org/", "http://h/\x7f",
          "http://h/\xc3\xa9", "data:text/html,x"})
        EXPECT_FALSE(PageAddress(refused)) << refused;
    EXPECT_FALSE(PageAddress("http://h/" + std::string(9000, 'a')));
}

TEST(PageParameters, ImageSettingsAreKeptWithinTheirRanges) {
    const auto settings =
        ImageSettingsFrom({{"image", "0"}, {"quality", "0"}, {"colors", "32"}, {"gray", "1"}});
    ASSERT_TRUE(settings);
    EXPECT_FALSE(settings->images);
    EXPECT_EQ(settings->quality, 0);
    EXPECT_EQ(settings->colors, 32);
    EXPECT_TRUE(settings->gray);

    const auto defaults = ImageSettingsFrom({});
    ASSERT_TRUE(defaults);
    EXPECT_TRUE(defaults->images);
    EXPECT_EQ(defaults->quality, 100);
    EXPECT_EQ(defaults->colors, 256);

    const auto odd = ImageSettingsFrom(
        {{"quality", "250"}, {"colors", "100"}, {"gray", "99999999999999999999"}});
    ASSERT_TRUE(odd);
    EXPECT_EQ(odd->quality, 100);
    EXPECT_EQ(odd->colors, 64);
    EXPECT_EQ(ImageSettingsFrom({{"colors", "1"}})->colors, 2);
    EXPECT_EQ(ImageSettingsFrom({{"colors", "4096"}})->colors, 256);
    EXPECT_EQ(ImageSettingsFrom({{"quality", "-5"}})->quality, 0);

    EXPECT_FALSE(ImageSettingsFrom({{"quality", "30x"}}));
    EXPECT_FALSE(ImageSettingsFrom({{"image", "yes"}}));
}
