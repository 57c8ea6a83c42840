// The page job's last guard: what a browser's parse of the written page
// would run or load from outside goes; what the rewriter writes for a sound
// page stays byte for byte.

#include "OutputGuard.h"
#include "OutputRule.h"

#include <gtest/gtest.h>

namespace zel::service {
namespace {

bool OwnFile(std::string_view reference) {
    return reference == "page.files/1.png" || reference == "page.files/2.svg" ||
           reference == "page.files/page1.htm";
}

TEST(OutputGuardTest, WhatRunsOrLoadsFromOutsideGoes) {
    const struct {
        const char* html;
        const char* gone; // a text no longer in the output
    } cases[] = {
        {"<p>a<script>alert(1)</script>b", "alert"},
        {"<svg><script>alert(1)</script></svg>", "alert"},
        {"<img src=page.files/1.png onerror=alert(1)>", "alert"},
        {"<iframe src=\"javascript:alert(1)\"></iframe>", "alert"},
        {"<svg><a><frame src=\"data:text/html,<b>x</b>\"></svg>", "data:"},
        {"<iframe src=\"data:image/svg+xml,<svg onload=alert(1)>\"></iframe>", "data:"},
        {"<iframe srcdoc=\"&lt;b&gt;\"></iframe>", "&lt;b"},
        {"<html><svg><html manifest=http://o.test/m></svg>", "o.test"},
        {"<img src=\"http://o.test/x.png\">", "o.test"},
        {"<img src=\"page.files/../x.png\">", "x.png"},
        {"<svg><a href=\"javascript:alert(1)\">x</a></svg>", "alert"},
        {"<svg><rect fill=\"url(http://o.test/p#f)\"/></svg>", "o.test"},
        {"<style>@import url(http://o.test/s.css);</style>", "o.test"},
        {"<p style=\"background:url(x.png)\">", "x.png"},
        {"<meta http-equiv=refresh content=\"0; url=javascript:alert(1)\">", "alert"},
        {"<svg><set attributeName=href to=\"javascript:alert(1)\"/></svg>", "alert"},
    };
    for (const auto& c : cases) {
        const std::string guarded = GuardOutput(c.html, OwnFile);
        EXPECT_EQ(test::BreachInMarkup(guarded), "") << c.html << " -> " << guarded;
        EXPECT_EQ(guarded.find(c.gone), std::string::npos) << c.html << " -> " << guarded;
        EXPECT_FALSE(PassesGuard(c.html, OwnFile)) << c.html;
    }
}

TEST(OutputGuardTest, ARewrittenSoundPageStaysAsItIs) {
    const std::string page =
        "<!DOCTYPE html><html><head><meta charset=\"utf-8\">"
        "<meta http-equiv=refresh content=\"5; url=http://h.test/next\">"
        "<meta name=\"description\" content=\"d\"><meta http-equiv=\"content-language\" "
        "content=\"en; url=a.htm\">"
        "<link rel=stylesheet href=\"page.files/1.png\"><style>p{background:url(page.files/1.png)}"
        "b{background:url(data:image/png;base64,AA)}</style></head>"
        "<body onload=\"\" background=\"page.files/1.png\"><a href=\"https://h.test/a#b\">a</a>"
        "<div http-equiv=\"refresh\" content=\"0; url=a.htm\">d</div><a href=\"#top\">t</a><a "
        "href=\"mailto:a@h.test\">m</a><form action=\"http://h.test/f\">"
        "<button formaction=\"http://h.test/g\">g</button></form>"
        "<img src=\"page.files/1.png\" width=\"20\"><img src=\"data:,\"><img "
        "src=\"data:image/gif;base64,R0\"><iframe src=\"page.files/page1.htm\"></iframe>"
        "<svg><use href=\"page.files/2.svg#icon\"/><a href=\"http://h.test/s\"><rect "
        "filter=\"url(#f)\" fill=\"url(page.files/1.png)\"/></a></svg>"
        "<math><mi href=\"http://h.test/m\">x</mi></math><p "
        "style=\"color:red\">p</p></body></html>";
    EXPECT_TRUE(PassesGuard(page, OwnFile));
    EXPECT_EQ(GuardOutput(page, OwnFile), page);
}

} // namespace
} // namespace zel::service
