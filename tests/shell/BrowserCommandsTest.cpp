#include "BrowserCommands.h"
#include "FailureOf.h"
#include "InOutError.h"
#include "TempWorkDir.h"

#include <gtest/gtest.h>

#include <limits>

using namespace zel;
using namespace zel::test;

TEST(TrafficInfo, ReportsShareAndSavingOnTheirOwnLines) {
    EXPECT_EQ(TrafficInfoText(100, 399), "  Traffic: 100\r\r  Web-page size: 399\r\r"
                                         "  Compressed: 25 %\r\r  Economized: 299 bytes");
    // Page size 0 divides by 1; an archive larger than the page saves nothing.
    EXPECT_EQ(
        TrafficInfoText(7, 0),
        "  Traffic: 7\r\r  Web-page size: 0\r\r  Compressed: 700 %\r\r  Economized: -7 bytes");
    // 1 * 100 / 8 = 12.5 rounds to the even 12; 3 * 100 / 8 = 37.5 to 38.
    EXPECT_NE(TrafficInfoText(1, 7).find("Compressed: 12 %"), std::string::npos);
    EXPECT_NE(TrafficInfoText(3, 7).find("Compressed: 38 %"), std::string::npos);
}

TEST(TrafficInfo, ExtremeFiguresNeitherOverflowNorDivideByZero) {
    const std::int32_t max = std::numeric_limits<std::int32_t>::max();
    EXPECT_NE(TrafficInfoText(max, max).find("Compressed: 100 %"), std::string::npos);
    EXPECT_NE(TrafficInfoText(max, std::numeric_limits<std::int32_t>::min())
                  .find("Economized: -4294967295 bytes"),
              std::string::npos);
    EXPECT_NE(TrafficInfoText(5, -1).find("Compressed: 500 %"), std::string::npos);
}

TEST(HelpPage, ReplacesThePageLineByLineAndKeepsItWhenHelpIsMissing) {
    TempWorkDir dir;
    WriteFile("page.htm", "<p>fetched</p>");
    EXPECT_EQ(FailureOf<InOutError>(CopyHelpPage), "File not found");
    EXPECT_EQ(ReadFile("page.htm"), "<p>fetched</p>");

    WriteFile("help.htm", "<h1>Help</h1>\n<p>one\r\ntwo");
    CopyHelpPage();
    EXPECT_EQ(ReadFile("page.htm"), "<h1>Help</h1>\r\n<p>one\r\ntwo\r\n");
    EXPECT_EQ(ReadFile("help.htm"), "<h1>Help</h1>\n<p>one\r\ntwo");
}
