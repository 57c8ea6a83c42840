#include "NavigationPolicy.h"

#include <gtest/gtest.h>

using namespace zel;

TEST(NavigationPolicy, OnlyLocalPagesOfTheStoreLoadAsTheyAre) {
    EXPECT_TRUE(IsPageStoreTarget("/home/u/ZELbrowser/page.htm"));
    EXPECT_TRUE(IsPageStoreTarget("/home/u/ZELbrowser/page.files/page1.htm"));
    EXPECT_TRUE(IsPageStoreTarget("/home/u/ZELbrowser/zelhistory/812345678.htm"));
    EXPECT_FALSE(IsPageStoreTarget("/home/u/ZELbrowser/page.files/frame.htm"));
    EXPECT_FALSE(IsPageStoreTarget("/home/u/ZELbrowser/help.htm"));
    EXPECT_FALSE(IsPageStoreTarget("/home/u/ZELbrowser/Page.htm")) << "case-sensitive";
    // A remote address is never a page of the store, whatever its path.
    EXPECT_FALSE(IsPageStoreTarget("http://evil.example/page.htm"));
    EXPECT_FALSE(IsPageStoreTarget("http://evil.example/zelhistory/1.htm"));
    EXPECT_FALSE(IsPageStoreTarget("file:///tmp/page.htm"));
    EXPECT_FALSE(IsPageStoreTarget(""));
}

TEST(NavigationPolicy, AClickIsTheLinkUnderTheMouse) {
    // The status text shows the decoded address of the hovered link.
    EXPECT_TRUE(IsClickedLink("http://h/a%20b", "http://h/a b", false));
    EXPECT_TRUE(IsClickedLink("http://h/a%20b", "http://h/a b", true));
    // A script's navigation elsewhere while the mouse rests on another link, or on none.
    EXPECT_FALSE(IsClickedLink("http://h/script", "http://h/a b", true));
    EXPECT_FALSE(IsClickedLink("http://h/script", "", true));
    EXPECT_FALSE(IsClickedLink("", "", true));
}

TEST(NavigationPolicy, AClickCountsWhereTheViewSpellsTheHoveredLinkDifferently) {
    // The view keeps "+" and "%2B" in the hovered text but decodes "%20";
    // decoding the target turns "+" into a blank and "%2B" into "+".
    const std::string target = "http://h/x?q=a+b%2Bc&r=%20s";
    const std::string hovered = "http://h/x?q=a+b%2Bc&r= s";
    EXPECT_TRUE(IsClickedLink(target, hovered, true));
    // The same text when the view does not say a link is followed (a form,
    // a reload): the decoded test alone decides, and it differs.
    EXPECT_FALSE(IsClickedLink(target, hovered, false));
    EXPECT_FALSE(IsClickedLink("http://h/x?q=a+b%2Bd", hovered, true));
    // A relative or empty status text never matches an address.
    EXPECT_FALSE(IsClickedLink("http://h/x", "x", true));
}
