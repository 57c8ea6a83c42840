#include "util.h"
#include "Exception.h"
#include "FailureOf.h"
#include "FileSystem.h"
#include "InOutError.h"
#include "MessageBoxRecorder.h"
#include "SavePageAs.h"
#include "TempWorkDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <vector>

using namespace zel;
using namespace zel::test;
namespace fs = std::filesystem;

namespace {
// A page as the unpacking tool leaves it: LF line ends, a last line without
// one, binary files and a dot-file in the folder.
const std::string PageText = "<img src=\"page.files/a.gif\"><img src=\"page.files/b.gif\">\n"
                             "page.filespage.files\n"
                             "<link href=\"Page.Files/x.css\">\r\n"
                             "end";
const std::string GifBytes("GIF\0\r\n\x01\xff", 8);

void MakePage() {
    WriteFile("page.htm", PageText);
    fs::create_directory("page.files");
    WriteFile("page.files/a.gif", GifBytes);
    WriteFile("page.files/b.gif", "bb");
    WriteFile("page.files/.hidden", "h");
    fs::create_directory("page.files/sub");
}

std::string Expected(const std::string& folder) {
    return "<img src=\"" + folder + "/a.gif\"><img src=\"" + folder + "/b.gif\">\r\n" + folder +
           folder + "\r\n<link href=\"Page.Files/x.css\">\r\nend\r\n";
}
} // namespace

TEST(SavePageFiles, CopiesThePageWithItsOwnFolderReferences) {
    TempWorkDir dir;
    MakePage();
    MessageBoxRecorder boxes;

    SavePageFiles("news.htm", dir.path(), true);
    EXPECT_EQ(ReadFile("news.htm"), Expected("news.files"));
    EXPECT_EQ(ReadFile("news.files/a.gif"), GifBytes);
    EXPECT_EQ(ReadFile("news.files/b.gif"), "bb");
    EXPECT_FALSE(Exists("news.files/.hidden"));
    EXPECT_FALSE(Exists("news.files/sub"));

    // The new folder name contains "page.files": each reference is replaced once.
    SavePageFiles("mypage.htm", dir.path(), true);
    EXPECT_EQ(ReadFile("mypage.htm"), Expected("mypage.files"));
    EXPECT_TRUE(boxes.calls().empty());
    EXPECT_EQ(ReadFile("page.htm"), PageText);
}

TEST(SavePageFiles, AsksBeforeOverwritingAndKeepsOtherFiles) {
    TempWorkDir dir;
    MakePage();
    WriteFile("news.htm", "old");
    fs::create_directory("news.files");
    WriteFile("news.files/a.gif", "stale");
    WriteFile("news.files/mine.txt", "mine");
    MessageBoxRecorder boxes;

    boxes.answerNext(MessageAnswer::No);
    SavePageFiles("news.htm", dir.path(), true);
    ASSERT_EQ(boxes.calls().size(), 1u);
    EXPECT_EQ(boxes.calls()[0].kind, MessageKind::Warning);
    EXPECT_EQ(boxes.calls()[0].buttons, MessageButtons::YesNo);
    EXPECT_EQ(boxes.calls()[0].text, "This file already exists. Overwrite?");
    EXPECT_EQ(ReadFile("news.htm"), "old");
    EXPECT_EQ(ReadFile("news.files/a.gif"), "stale");
    EXPECT_FALSE(Exists("news.files/b.gif"));

    boxes.answerNext(MessageAnswer::Yes);
    SavePageFiles("news.htm", dir.path(), true);
    EXPECT_EQ(boxes.calls().size(), 2u);
    EXPECT_EQ(ReadFile("news.htm"), Expected("news.files"));
    EXPECT_EQ(ReadFile("news.files/a.gif"), GifBytes);
    EXPECT_EQ(ReadFile("news.files/mine.txt"), "mine");

    // Program-made copies never ask.
    SavePageFiles("news.htm", dir.path(), false);
    EXPECT_EQ(boxes.calls().size(), 2u);
}

TEST(SavePageFiles, WorksFromItsOwnFolderWhateverTheCurrentDirectory) {
    TempWorkDir dir;
    MakePage();
    fs::create_directory("other");
    SetCurrentDirectory("other");

    SavePageFiles(dir.file("other/page.htm"), dir.path(), true);
    EXPECT_EQ(CurrentDirectory(), dir.path());
    EXPECT_EQ(ReadFile("other/page.htm"), Expected("page.files"));
    EXPECT_EQ(ReadFile("other/page.files/a.gif"), GifBytes);
    EXPECT_FALSE(Exists("other/page.files/.hidden"));
}

TEST(SavePageFiles, RefusesToSaveOverThePageOnShow) {
    TempWorkDir dir;
    MakePage();
    fs::create_directory("sub");
    fs::create_symlink(dir.file("page.htm"), "link.htm");
    MessageBoxRecorder boxes;

    for (const std::string& target :
         {dir.file("page.htm"), std::string("sub/../page.htm"), std::string("link.htm")}) {
        SCOPED_TRACE(target);
        SavePageFiles(target, dir.path(), true);
        ASSERT_FALSE(boxes.calls().empty());
        EXPECT_EQ(boxes.calls().back().kind, MessageKind::Warning);
        EXPECT_EQ(boxes.calls().back().text, OwnPageRefusal);
        EXPECT_EQ(ReadFile("page.htm"), PageText);
    }
    EXPECT_EQ(boxes.calls().size(), 3u) << "no overwrite question after the refusal";
    EXPECT_THROW(SavePageFiles("page.htm", dir.path(), false), Exception);
    EXPECT_EQ(ReadFile("page.htm"), PageText);
    EXPECT_EQ(ReadFile("page.files/a.gif"), GifBytes);
}

TEST(SavePageFiles, RefusesTargetsWhoseFilesFolderIsThePagesOwn) {
    TempWorkDir dir;
    MakePage();
    fs::create_directory("out");
    MessageBoxRecorder boxes;

    // Any "page.<ext>" beside the page has "page.files" as its folder.
    for (const std::string& target :
         {std::string("page.txt"), dir.file("page.html"), std::string("out/../page")}) {
        SCOPED_TRACE(target);
        SavePageFiles(target, dir.path(), true);
        ASSERT_FALSE(boxes.calls().empty());
        EXPECT_EQ(boxes.calls().back().text, OwnPageRefusal);
        EXPECT_FALSE(Exists(target));
    }
    EXPECT_EQ(boxes.calls().size(), 3u);
    EXPECT_THROW(SavePageFiles("page.txt", dir.path(), false), Exception);
    EXPECT_EQ(ReadFile("page.files/a.gif"), GifBytes);

    // In another folder the same name is an ordinary copy.
    SavePageFiles("out/page.txt", dir.path(), true);
    EXPECT_EQ(boxes.calls().size(), 3u);
    EXPECT_EQ(ReadFile("out/page.files/a.gif"), GifBytes);
}

TEST(SavePageFiles, MissingPageFailsAndLeavesTheTargetAlone) {
    TempWorkDir dir;
    WriteFile("news.htm", "keep");
    EXPECT_EQ(FailureOf<InOutError>([&] { SavePageFiles("news.htm", dir.path(), false); }),
              "File not found");
    EXPECT_EQ(ReadFile("news.htm"), "keep");

    // An empty or missing files folder is no failure.
    WriteFile("page.htm", "x");
    SavePageFiles("empty.htm", dir.path(), false);
    EXPECT_TRUE(Exists("empty.files"));
}

TEST(SavePageAs, RunsTheDialogAndSavesFromTheNotedFolder) {
    TempWorkDir dir;
    MakePage();
    fs::create_directory("out");
    MessageBoxRecorder boxes;
    std::optional<SaveDialogOptions> seen;
    struct Hook {
        SaveDialogHandler previous;
        ~Hook() { SetSaveDialogHandler(previous); }
    } hook{SetSaveDialogHandler([&](const SaveDialogOptions& o) {
        seen = o;
        SetCurrentDirectory("out"); // as a dialog may do
        return std::optional<std::string>(dir.file("out/saved.htm"));
    })};

    SavePageAs("News: today", "http://x.example/n");
    ASSERT_TRUE(seen);
    EXPECT_EQ(seen->fileName, "News today.htm");
    EXPECT_NE(seen->folder, dir.file("out"));
    EXPECT_EQ(seen->title, "Save Page As...");
    EXPECT_EQ(seen->defaultExtension, "htm");
    ASSERT_EQ(seen->filters.size(), 2u);
    EXPECT_EQ(seen->filters[0].display + "|" + seen->filters[0].pattern + "|" +
                  seen->filters[1].display + "|" + seen->filters[1].pattern,
              "*.htm|*.htm|*.*|*.*");
    EXPECT_EQ(seen->filterIndex, 0);
    EXPECT_EQ(ReadFile(dir.file("out/saved.htm")), Expected("saved.files"));
    EXPECT_TRUE(Exists(dir.file("out/saved.files/b.gif")));
    EXPECT_EQ(CurrentDirectory(), dir.path());
    EXPECT_TRUE(boxes.calls().empty());

    // The next save opens where the last one went (and asks before overwriting).
    SavePageAs("", "http://x.example/n");
    EXPECT_EQ(seen->folder, dir.file("out"));
    EXPECT_EQ(seen->fileName, "x.example.htm");
}

TEST(SavePageAs, TheFirstSaveOpensInTheUsersDocumentsElseDownloadsFolder) {
    TempWorkDir dir;
    // The user's folders as the desktop names them, in a home of the test's own.
    struct Variable {
        const char* name;
        std::optional<std::string> old;
        Variable(const char* n, const std::string& value) : name(n) {
            if (const char* was = std::getenv(n))
                old = was;
            setenv(n, value.c_str(), 1);
        }
        ~Variable() {
            if (old)
                setenv(name, old->c_str(), 1);
            else
                unsetenv(name);
        }
    } home{"HOME", dir.path()}, config{"XDG_CONFIG_HOME", dir.file("config")};
    fs::create_directory("config");
    WriteFile("config/user-dirs.dirs",
              "XDG_DOCUMENTS_DIR=\"$HOME/Docs\"\nXDG_DOWNLOAD_DIR=\"$HOME/Loads\"\n");
    std::vector<std::string> folders;
    struct Hook {
        SaveDialogHandler previous;
        ~Hook() { SetSaveDialogHandler(previous); }
    } hook{SetSaveDialogHandler([&](const SaveDialogOptions& o) {
        folders.push_back(o.folder);
        return std::optional<std::string>(); // cancelled: no folder to remember
    })};
    SavePageAs("t", "");
    fs::create_directory("Loads");
    SavePageAs("t", "");
    fs::create_directory("Docs");
    SavePageAs("t", "");
    EXPECT_EQ(folders, (std::vector<std::string>{dir.path(), dir.file("Loads"), dir.file("Docs")}));
}

TEST(SavePageAs, TheProposedNameIsTheTitleAsAFileNameMayCarryIt) {
    const struct {
        std::string title, address, name;
    } rows[] = {
        {"KiCad: Introduction", "", "KiCad Introduction.htm"},
        {"a/b\\c*?\"<>|d\te", "", "abcde.htm"},
        {"  two   blanks  ", "", "two blanks.htm"},
        {"...hidden. ", "", "hidden.htm"},
        {"", "http://docs.example.org/a/b", "docs.example.org.htm"},
        {"", "", "page.htm"},
        {"???", "", "page.htm"},
        {std::string(120, 'x'), "", std::string(100, 'x') + ".htm"},
        {std::string(99, 'x') + "\xC3\xA9\xC3\xA9", "", std::string(99, 'x') + "\xC3\xA9.htm"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(ProposedFileName(row.title, row.address), row.name) << row.title;
}

TEST(WebAddressOf, OnlyThePrefixBeforeAnotherSchemeGoes) {
    const struct {
        std::string requested, shown;
    } rows[] = {
        {"http://https://x.example/a", "https://x.example/a"},
        {"http://HTTPS://x.example/", "HTTPS://x.example/"},
        {"http://HTTP://x.example/", "HTTP://x.example/"},
        {"http://x.example/https://", "http://x.example/https://"},
        {"http://https:", "http://https:"},
        {"x.example", "x.example"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(WebAddressOf(row.requested), row.shown) << row.requested;
}

TEST(DecodeLinkAddress, PlusAndPercentSequences) {
    EXPECT_EQ(DecodeLinkAddress("a+b%2Bc%20d"), "a b+c d");
    EXPECT_EQ(DecodeLinkAddress("%41%62%e9"), "Ab\xe9");
    EXPECT_EQ(DecodeLinkAddress("x%00y"), "xy");
    EXPECT_EQ(DecodeLinkAddress("x%G1y"), "xy");
    EXPECT_EQ(DecodeLinkAddress("x%"), "x");
    EXPECT_EQ(DecodeLinkAddress("x% 4y"), "xy");
    EXPECT_EQ(DecodeLinkAddress("x%+4y"), "xy");
    EXPECT_EQ(DecodeLinkAddress("x%4"), std::string("x\x04"));
    EXPECT_EQ(DecodeLinkAddress("%01%fF"), std::string("\x01\xff")); // the first and last byte
    // The two characters after "%" are used up even when they hold a "%".
    EXPECT_EQ(DecodeLinkAddress("%%41"), "1");
    EXPECT_EQ(DecodeLinkAddress("http://h/p?q=1"), "http://h/p?q=1");
}
