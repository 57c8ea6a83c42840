#include "StatStore.h"
#include "FailureOf.h"
#include "InOutError.h"
#include "PinnedClock.h"
#include "TempWorkDir.h"

#include <gtest/gtest.h>

using namespace zel;
using namespace zel::test;

TEST(StatStore, AppendedRecordsAreLaidOutByteForByte) {
    TempWorkDir dir;
    WriteFile("stat.dat", "");
    PinnedClock clock(2.5); // 1 January 1900, noon: 0x4004000000000000
    const std::string address100 = "http://" + std::string(93, 'a');
    const std::string address101 = "http://" + std::string(93, 'b') + "c";
    AppendStatRecord(0x01020304, -2, address100);
    AppendStatRecord(7, 8, address101);
    AppendStatRecord(0, 0, "");

    const std::string file = ReadFile("stat.dat");
    ASSERT_EQ(file.size(), 360u);
    EXPECT_EQ(file.substr(0, 16),
              std::string("\0\0\0\0\0\0\x04\x40\x04\x03\x02\x01\xFE\xFF\xFF\xFF", 16));
    EXPECT_EQ(file[16], 100);
    EXPECT_EQ(file.substr(17, 103), address100 + std::string(3, '\0'));
    EXPECT_EQ(file.substr(128, 4), std::string("\x07\0\0\0", 4));
    EXPECT_EQ(file[136], 103);
    EXPECT_EQ(file.substr(137, 103), address101.substr(0, 100) + "...");
    EXPECT_EQ(file.substr(256, 104), std::string(104, '\0'));
}

TEST(StatStore, NewRecordOverwritesAPartialTail) {
    TempWorkDir dir;
    WriteFile("stat.dat", std::string(120, 'A') + std::string(50, 'B'));
    PinnedClock clock(2.5);
    AppendStatRecord(30000, 99999, "http://x");
    const std::string file = ReadFile("stat.dat");
    ASSERT_EQ(file.size(), 240u);
    EXPECT_EQ(file.substr(0, 120), std::string(120, 'A'));
    std::vector<StatRecord> records;
    ForEachStatRecord([&](const StatRecord& r) { records.push_back(r); });
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[1].Stamp, 2.5);
    EXPECT_EQ(records[1].Traffic, 30000);
    EXPECT_EQ(records[1].PageSize, 99999);
    EXPECT_EQ(records[1].WebPage, "http://x");
}

TEST(StatStore, MissingFileIsNotFoundAndNeverCreatedByWriterOrReader) {
    TempWorkDir dir;
    for (auto action : {+[] { AppendStatRecord(1, 2, "http://a"); },
                        +[] { ForEachStatRecord([](const StatRecord&) {}); }}) {
        EXPECT_EQ(FailureOf<InOutError>(action), "File not found");
        EXPECT_FALSE(Exists("stat.dat"));
    }
    ClearStatFile();
    EXPECT_EQ(ReadFile("stat.dat"), "");
}

TEST(StatStore, LongAddressIsNotCutInsideACharacter) {
    // A two-byte character at bytes 100 and 101 is left out whole.
    EXPECT_EQ(StatWebPageText(std::string(99, 'a') + "\xC3\xA9xyz"), std::string(99, 'a') + "...");
    EXPECT_EQ(StatWebPageText(std::string(98, 'a') + "\xC3\xA9xyz"),
              std::string(98, 'a') + "\xC3\xA9...");
}
