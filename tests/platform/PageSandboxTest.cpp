#include "PageSandbox.h"
#include "TempWorkDir.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <filesystem>

using namespace zel;
using namespace zel::test;
namespace fs = std::filesystem;

TEST(StorePageOf, EachFileBelongsToOnePageOrToNone) {
    TempWorkDir dir;
    QTemporaryDir other;
    const QString program = QString::fromStdString(dir.path());
    const QString elsewhere = other.path();
    fs::create_directories("page.files/sub");
    fs::create_directories("zelhistory/812.files");
    WriteFile(other.path().toStdString() + "/secret.txt", "s");
    fs::create_symlink(other.path().toStdString() + "/secret.txt", "page.files/leak.txt");
    fs::create_symlink(other.path().toStdString(), "zelhistory/812.files/up");

    auto pageOf = [&](const QString& name) { return StorePageOf(program, program + "/" + name); };
    EXPECT_EQ(pageOf("page.htm"), "page");
    EXPECT_EQ(pageOf("page.files/a.gif"), "page");
    EXPECT_EQ(pageOf("page.files/sub/b.css"), "page");
    EXPECT_EQ(pageOf("help.htm"), "help");
    EXPECT_EQ(pageOf("zelhistory/812.htm"), "zelhistory/812");
    EXPECT_EQ(pageOf("zelhistory/812.files/a.gif"), "zelhistory/812");

    for (const char* name :
         {"nastr.dat", "links.txt", "page.files", "page.htm.bak", "zelhistory/812.txt",
          "zelhistory/812", "page.files/../nastr.dat", "page.files/leak.txt",
          "zelhistory/812.files/up/secret.txt", "", "other/page.htm"})
        EXPECT_EQ(pageOf(name), "") << name;
    EXPECT_EQ(StorePageOf(program, elsewhere + "/page.htm"), "");
    // A page's name that leads elsewhere is no page of the store.
    fs::create_symlink(other.path().toStdString() + "/secret.txt", "zelhistory/9.htm");
    EXPECT_EQ(StoreDocumentOf(program, program + "/zelhistory/9.htm"), StoreDocument::None);
    EXPECT_EQ(StorePageOf(program, ""), "");
    // The program folder named through a link is still the program folder.
    fs::create_directory_symlink(dir.path(), elsewhere.toStdString() + "/link");
    EXPECT_EQ(StorePageOf(elsewhere + "/link", program + "/page.htm"), "page");
}
