#include "SafeReplace.h"
#include "BinaryFiles.h"
#include "InOutError.h"
#include "TempWorkDir.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace zel;
using namespace zel::test;
namespace fs = std::filesystem;

namespace {
void Replace(const std::string& path, const std::string& bytes) {
    ReplaceFile(path, [&](const std::string& temp) { WriteWholeFile(temp, bytes); });
}

fs::perms PermissionsOf(const std::string& path) {
    return fs::status(path).permissions();
}
} // namespace

TEST(ReplaceFile, KeepsPermissionsAndNeverTheHalfWrittenFile) {
    TempWorkDir dir;
    WriteFile("data.dat", "old");
    const fs::perms privateFile = fs::perms::owner_read | fs::perms::owner_write;
    fs::permissions("data.dat", privateFile);
    Replace("data.dat", "new");
    EXPECT_EQ(ReadFile("data.dat"), "new");
    EXPECT_EQ(PermissionsOf("data.dat"), privateFile);
    EXPECT_FALSE(Exists("data.dat.new"));

    const fs::perms shared = privateFile | fs::perms::group_read | fs::perms::group_write |
                             fs::perms::others_read | fs::perms::owner_exec;
    fs::permissions("data.dat", shared);
    Replace("data.dat", "newer");
    EXPECT_EQ(PermissionsOf("data.dat"), shared);

    EXPECT_THROW(ReplaceFile("data.dat",
                             [](const std::string& temp) {
                                 WriteWholeFile(temp, "half");
                                 throw InOutError(InOutError::DiskFull);
                             }),
                 InOutError);
    EXPECT_EQ(ReadFile("data.dat"), "newer");
    EXPECT_FALSE(Exists("data.dat.new"));

    Replace("fresh.dat", "first");
    EXPECT_EQ(ReadFile("fresh.dat"), "first");
}

TEST(ReplaceFile, ALeftoverTemporaryLinkLeadsNowhere) {
    TempWorkDir dir;
    WriteFile("data.dat", "old");
    WriteFile("other.txt", "other");
    fs::create_symlink(dir.file("other.txt"), "data.dat.new");
    Replace("data.dat", "new");
    EXPECT_EQ(ReadFile("data.dat"), "new");
    EXPECT_FALSE(fs::is_symlink("data.dat"));
    EXPECT_EQ(ReadFile("other.txt"), "other");
}
