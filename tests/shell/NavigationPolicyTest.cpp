#include "NavigationPolicy.h"

#include <gtest/gtest.h>

using namespace zel;

TEST(NavigationPolicy, OnlyTheStoresOwnPagesLoadAsTheyAre) {
    const std::string folder = "/home/u/ZELbrowser/";
    // The pages, and the frame documents the archive names "pageK.htm".
    for (const char* name : {"page.htm", "help.htm", "zelhistory/812345678.htm",
                             "page.files/page1.htm", "zelhistory/812.files/page12.htm"})
        EXPECT_TRUE(IsPageStoreTarget(folder + name, folder)) << name;
    // A stored file never shows as a page, whatever it holds.
    for (const char* name :
         {"page.files/5.htm", "page.files/page1.svg", "zelhistory/812.files/5.htm",
          "zelhistory/812.files/sub/page1.htm", "zelhistory/812.files/page1.htm\n",
          "zelhistory/x.htm", "zelhistory/812.html", "page.files/../nastr.dat", "Page.htm"})
        EXPECT_FALSE(IsPageStoreTarget(folder + name, folder)) << name;
    // Nor does another folder's file, or a remote address with the same path.
    for (const std::string& target :
         {std::string("/tmp/zelhistory/1.htm"), "http://evil.example" + folder + "page.htm",
          "file://" + folder + "page.htm", std::string()})
        EXPECT_FALSE(IsPageStoreTarget(target, folder)) << target;
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
