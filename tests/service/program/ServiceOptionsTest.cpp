// The edges of the command line's numbers, and the man page's escapes.

#include "ServiceOptions.h"

#include <gtest/gtest.h>

using namespace zel::service;

TEST(ServiceOptionsEdges, EachLimitTakesItsLastValueAndRefusesTheNext) {
    const struct {
        const char* name;
        const char* last;
        const char* next;
    } edges[] = {{"--max-header-bytes", "1048576", "1048577"},
                 {"--archive-keep-seconds", "31536000", "31536001"}};
    for (const auto& edge : edges) {
        for (const char* value : {edge.last, edge.next}) {
            const std::string word = std::string(edge.name) + "=" + value;
            const char* argv[] = {"zelservice", word.c_str()};
            ServiceOptions options = DefaultOptions("/opt/zel");
            if (value == edge.last)
                EXPECT_NO_THROW(ParseOptions(2, argv, options)) << word;
            else
                EXPECT_THROW(ParseOptions(2, argv, options), std::invalid_argument) << word;
        }
    }
}

TEST(ServiceOptionsEdges, ManPageEscapesMinusSignsAndBackslashes) {
    const std::string page = ManPageText(DefaultOptions("/opt/zel"), "1.0-rc\\2");
    EXPECT_NE(page.find("\"zelservice 1.0\\-rc\\\\2\""), std::string::npos) << page;
    EXPECT_NE(page.find("\n.B \\-\\-port N\n"), std::string::npos) << page;
    EXPECT_EQ(page.find("\n.B --"), std::string::npos) << page;
}
