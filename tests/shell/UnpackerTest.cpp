#include "Unpacker.h"
#include "EventWait.h"
#include "TempWorkDir.h"
#include "ZipWriter.h"

#include <QElapsedTimer>
#include <gtest/gtest.h>

#include <filesystem>

using namespace zel;
using namespace zel::test;
namespace fs = std::filesystem;

namespace {
bool WaitForExit(const Unpacker& tool) {
    return WaitUntil([&] { return !tool.Running(); }, 10000);
}
} // namespace

TEST(Unpacker, OverwritesWithoutAskingAndNeverWaitsForAnAnswer) {
    TempWorkDir dir;
    WriteFile("page.htm", "<p>old page</p>");
    fs::create_directory("page.files");
    WriteFile("page.files/a.gif", "old");
    WriteZip("page.zip", {{"page.htm", "<p>new page</p>"}, {"page.files/a.gif", "GIF89a"}});
    Unpacker tool;
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(tool.Start());
    ASSERT_TRUE(WaitForExit(tool));
    EXPECT_LT(clock.elapsed(), 5000);
    EXPECT_EQ(ReadFile("page.htm"), "<p>new page</p>");
    EXPECT_EQ(ReadFile("page.files/a.gif"), "GIF89a");
}

TEST(Unpacker, EntriesWithAbsoluteNamesOrDotDotStayInsideTheFolder) {
    TempWorkDir dir;
    const fs::path outside = fs::path(dir.path()).parent_path();
    const std::string unique = fs::path(dir.path()).filename().string();
    const std::string absolute = (outside / (unique + "-absolute.txt")).string();
    const std::string dotDot = "../" + unique + "-dotdot.txt";
    WriteZip("page.zip", {{"page.htm", "<p>page</p>"},
                          {absolute, "absolute"},
                          {dotDot, "dotdot"},
                          {"page.files/../../" + unique + "-deep.txt", "deep"}});
    Unpacker tool;
    ASSERT_TRUE(tool.Start());
    ASSERT_TRUE(WaitForExit(tool));
    EXPECT_FALSE(Exists(absolute));
    EXPECT_FALSE(Exists((outside / (unique + "-dotdot.txt")).string()));
    EXPECT_FALSE(Exists((outside / (unique + "-deep.txt")).string()));
    EXPECT_EQ(ReadFile("page.htm"), "<p>page</p>");
    // Whatever the tool made of those names, it lies inside the folder.
    for (const auto& entry : fs::recursive_directory_iterator(dir.path()))
        EXPECT_EQ(entry.path().string().rfind(dir.path(), 0), 0u) << entry.path();
}

TEST(Unpacker, ABrokenArchiveEndsTheToolWithoutAPage) {
    TempWorkDir dir;
    WriteFile("page.zip", "this is no archive");
    Unpacker tool;
    ASSERT_TRUE(tool.Start());
    ASSERT_TRUE(WaitForExit(tool));
    EXPECT_FALSE(Exists("page.htm"));
    // Stopping a tool that has exited, and a second start, are harmless.
    tool.Stop();
    ASSERT_TRUE(tool.Start());
    EXPECT_TRUE(WaitForExit(tool));
}
