// The edges of the command line's numbers, and the man page's escapes.

#include "ServiceOptions.h"

#include <gtest/gtest.h>

using namespace zel::service;

TEST(ServiceOptionsEdges, LimitsTakeTheirLastValueAndRefuseTheNext) {
    for (const auto& [word, taken] : {std::pair{"--max-header-bytes=1048576", true},
                                      {"--max-header-bytes=1048577", false},
                                      {"--archive-keep-seconds=31536000", true},
                                      {"--archive-keep-seconds=31536001", false}}) {
        const char* argv[] = {"zelservice", word};
        ServiceOptions options;
        bool refused = false;
        try {
            ParseOptions(2, argv, options);
        } catch (const std::invalid_argument&) {
            refused = true;
        }
        EXPECT_EQ(refused, !taken) << word;
    }
}

TEST(ServiceOptionsEdges, ManPageEscapesMinusSignsAndBackslashes) {
    const std::string page = ManPageText(DefaultOptions("/opt/zel"), "1.0-rc\\2");
    EXPECT_NE(page.find("\"zelservice 1.0\\-rc\\\\2\""), std::string::npos) << page;
    EXPECT_NE(page.find("\n.B \\-\\-port N\n"), std::string::npos) << page;
}
