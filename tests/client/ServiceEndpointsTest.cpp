#include "ServiceEndpoints.h"
#include "ScrambledEndpoints.h"

#include <gtest/gtest.h>

using namespace zel;

TEST(ServiceEndpoints, TheBuiltAddressesComeBackFromTheirStoredForm) {
    const std::string base = ZEL_BUILT_SERVICE_URL;
    EXPECT_EQ(PageRequestEndpoint(), base + "/zel/page");
    EXPECT_EQ(LoginCheckEndpoint(), base + "/zel/poll");
    EXPECT_EQ(ArchiveEndpoint(), base + "/zel/arch/");
    EXPECT_EQ(LoginRequestEndpoint(), base + "/zel/login");
    // Not as plain text in the executable (which hides nothing from a determined reader).
    const std::string stored(scrambled::Base, sizeof scrambled::Base - 1);
    EXPECT_EQ(stored.size(), base.size());
    EXPECT_EQ(stored.find("127.0.0.1"), std::string::npos);
    EXPECT_EQ(std::string(scrambled::PagePath).find("zel"), std::string::npos);
}

TEST(ServiceEndpoints, UnscrambleIsAnExclusiveOrWithTheKey) {
    EXPECT_EQ(UnscrambleText("", 0x5A), "");
    EXPECT_EQ(UnscrambleText(std::string("\x32\x2e\0", 3), 0x5A), "htZ");
    EXPECT_EQ(UnscrambleText(UnscrambleText("any text", 0xC3), 0xC3), "any text");
}

TEST(ServiceEndpoints, TestsPointThemAtTheirOwnService) {
    SetServiceBaseForTesting("http://127.0.0.1:5555");
    EXPECT_EQ(PageRequestEndpoint(), "http://127.0.0.1:5555/zel/page");
    EXPECT_EQ(ArchiveEndpoint(), "http://127.0.0.1:5555/zel/arch/");
    SetServiceBaseForTesting("");
    EXPECT_EQ(LoginRequestEndpoint(), std::string(ZEL_BUILT_SERVICE_URL) + "/zel/login");
}
