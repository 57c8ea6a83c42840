#include "PageStore.h"
#include "DateTime.h"
#include "FailureOf.h"
#include "InOutError.h"
#include "MessageBoxRecorder.h"
#include "PinnedClock.h"
#include "TempWorkDir.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <gtest/gtest.h>

#include <filesystem>

using namespace zel;
using namespace zel::test;
namespace fs = std::filesystem;

namespace {
// 36000 + 1/64 days gives exactly 1562.5 units: a half that rounds to even.
constexpr DateTime HalfUnitTime = 36000.0 + 1.0 / 64.0;

void MakePage(const std::string& text) {
    WriteFile("page.htm", text);
    fs::create_directories("page.files");
    WriteFile("page.files/a.gif", "gif");
    WriteFile("page.files/.dot", "d");
}
} // namespace

TEST(Pause, WaitsWhileHandlingEvents) {
    QElapsedTimer clock;
    bool fired = false;
    QTimer::singleShot(10, [&] { fired = true; });
    clock.start();
    Pause(60);
    EXPECT_GE(clock.elapsed(), 59); // whole-millisecond ticks: up to 1 ms is lost at the start
    EXPECT_TRUE(fired);

    bool queued = false;
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [&] { queued = true; }, Qt::QueuedConnection);
    clock.restart();
    Pause(-5);
    EXPECT_TRUE(queued);
    EXPECT_LT(clock.elapsed(), 1000);
}

TEST(ClearCurrentPage, DeletesPlainFilesAndTheDocumentOnly) {
    TempWorkDir dir;
    MakePage("x");
    fs::create_directory("page.files/sub");
    WriteFile("page.files/sub/inner.gif", "i");
    ClearCurrentPage();
    EXPECT_FALSE(Exists("page.htm"));
    EXPECT_FALSE(Exists("page.files/a.gif"));
    EXPECT_TRUE(Exists("page.files/.dot"));
    EXPECT_TRUE(Exists("page.files/sub/inner.gif"));

    fs::remove_all("page.files");
    EXPECT_NO_THROW(ClearCurrentPage());
}

TEST(AppendSegment, AppendsToAnExistingArchiveOnly) {
    TempWorkDir dir;
    WriteFile("page.dat", std::string("C\0E", 3));
    EXPECT_EQ(FailureOf<InOutError>([] { AppendSegment(); }), "File not found");
    EXPECT_FALSE(Exists("page.zip"));

    WriteFile("page.zip", "AB");
    EXPECT_EQ(AppendSegment(), 3);
    EXPECT_EQ(ReadFile("page.zip"), std::string("ABC\0E", 5));
    EXPECT_EQ(ReadFile("page.dat"), std::string("C\0E", 3));

    fs::remove("page.dat");
    EXPECT_EQ(FailureOf<InOutError>([] { AppendSegment(); }), "File not found");
}

TEST(WaitForPage, FindsThePageOnceTheToolHasExitedOrEndsOnStop) {
    TempWorkDir dir;
    RunState state;
    QElapsedTimer clock;
    bool toolRunning = true;
    auto running = [&] { return toolRunning; };

    state.stopFlag = true;
    clock.start();
    EXPECT_FALSE(WaitForPage(state, running));
    EXPECT_LT(clock.elapsed(), 1000);

    // "Stop" pressed while the tool works.
    state.stopFlag = false;
    QTimer::singleShot(50, [&] { state.stopFlag = true; });
    clock.restart();
    EXPECT_FALSE(WaitForPage(state, running));
    EXPECT_LT(clock.elapsed(), 2000);

    // The tool has written part of the page: the wait goes on until it exits.
    state.stopFlag = false;
    WriteFile("page.htm", "<p>first half");
    QTimer::singleShot(300, [&] {
        WriteFile("page.htm", "<p>whole page</p>");
        toolRunning = false;
    });
    clock.restart();
    EXPECT_TRUE(WaitForPage(state, running));
    EXPECT_GE(clock.elapsed(), 250);
    EXPECT_EQ(ReadFile("page.htm"), "<p>whole page</p>");

    // The tool exited without a page (a folder of that name is none): no
    // reason to wait the ten seconds.
    fs::remove("page.htm");
    fs::create_directory("page.htm");
    clock.restart();
    EXPECT_FALSE(WaitForPage(state, running));
    EXPECT_LT(clock.elapsed(), 1000);
}

TEST(AppendSourceLink, AppendsTheLinkOrReportsAMissingPage) {
    TempWorkDir dir;
    MessageBoxRecorder boxes;
    EXPECT_FALSE(AppendSourceLink("http://h/"));
    EXPECT_FALSE(Exists("page.htm"));

    WriteFile("page.htm", "x\r\n");
    EXPECT_TRUE(AppendSourceLink("http://h/p?a=1&b=2"));
    EXPECT_EQ(ReadFile("page.htm"), "x\r\n<BR><a href=\"http://h/p?a=1&b=2\">This page</a><BR>");
    EXPECT_TRUE(boxes.calls().empty());
}

TEST(PageStoreLinks, TheSourceLinkAndClearingNeverFollowALink) {
    TempWorkDir dir;
    WriteFile("mine.txt", "the user's file");
    fs::create_directory("my folder");
    WriteFile("my folder/doc.txt", "the user's document");

    fs::create_symlink(dir.file("mine.txt"), "page.htm");
    EXPECT_FALSE(AppendSourceLink("http://h/"));
    EXPECT_EQ(ReadFile("mine.txt"), "the user's file");

    // Links in the folder go themselves; what they lead to stays.
    fs::create_directory("page.files");
    fs::create_symlink(dir.file("mine.txt"), "page.files/file-link");
    fs::create_directory_symlink(dir.file("my folder"), "page.files/folder-link");
    ClearCurrentPage();
    EXPECT_FALSE(fs::is_symlink("page.htm"));
    EXPECT_FALSE(fs::is_symlink("page.files/file-link"));
    EXPECT_FALSE(fs::is_symlink("page.files/folder-link"));
    EXPECT_EQ(ReadFile("mine.txt"), "the user's file");
    EXPECT_EQ(ReadFile("my folder/doc.txt"), "the user's document");

    // A link in place of the folder, and one that leads nowhere as the page.
    fs::remove_all("page.files");
    fs::create_directory_symlink(dir.file("my folder"), "page.files");
    fs::create_symlink(dir.file("gone.htm"), "page.htm");
    ClearCurrentPage();
    EXPECT_TRUE(fs::is_directory(fs::symlink_status("page.files")));
    EXPECT_TRUE(fs::is_empty("page.files"));
    EXPECT_FALSE(fs::is_symlink("page.htm"));
    EXPECT_EQ(ReadFile("my folder/doc.txt"), "the user's document");
}

TEST(PageStoreLinks, HistoryCopiesNeverReadThroughALink) {
    TempWorkDir dir;
    fs::create_directory("zelhistory");
    PinnedClock clock(HalfUnitTime);
    RunState state;
    WriteFile("mine.txt", "the user's file");
    MakePage("p");
    fs::create_symlink(dir.file("mine.txt"), "page.files/leak.txt");
    StoreInHistory(state);
    EXPECT_EQ(ReadFile("zelhistory/1562.files/a.gif"), "gif");
    EXPECT_FALSE(Exists("zelhistory/1562.files/leak.txt"));

    fs::remove("page.htm");
    fs::create_symlink(dir.file("mine.txt"), "page.htm");
    EXPECT_EQ(FailureOf<InOutError>([&] { StoreInHistory(state); }), "File access denied");
    EXPECT_EQ(state.historyList.size(), 1u);
    EXPECT_FALSE(Exists("zelhistory/1563.htm"));

    fs::remove("page.htm");
    WriteFile("page.htm", "p");
    fs::remove_all("page.files");
    fs::create_directory("elsewhere");
    WriteFile("elsewhere/other.gif", "other");
    fs::create_directory_symlink(dir.file("elsewhere"), "page.files");
    StoreInHistory(state);
    ASSERT_EQ(state.historyList.size(), 2u);
    EXPECT_TRUE(fs::is_empty("zelhistory/1563.files"));
}

TEST(HistoryName, NearestUnitWithHalvesToEven) {
    EXPECT_EQ(HistoryName(36000.0), "zelhistory/0.htm");
    EXPECT_EQ(HistoryName(HalfUnitTime), "zelhistory/1562.htm");
    EXPECT_EQ(HistoryName(36000.0 + 0.046875), "zelhistory/4688.htm"); // 4687.5
    EXPECT_EQ(HistoryName(45000.5), "zelhistory/900050000.htm");
    EXPECT_EQ(HistoryName(35999.0), "zelhistory/-100000.htm");
}

TEST(StoreInHistory, CopiesUnderFreeNamesThatReferToTheirOwnFolder) {
    TempWorkDir dir;
    fs::create_directory("zelhistory");
    PinnedClock clock(HalfUnitTime);
    RunState state;
    MessageBoxRecorder boxes;

    MakePage("<a href=\"page.files/a.gif\">page.files/b</a>");
    StoreInHistory(state);
    ASSERT_EQ(state.historyList, std::vector<std::string>{"zelhistory/1562.htm"});
    EXPECT_EQ(state.historyPosition, 1);
    EXPECT_EQ(ReadFile("zelhistory/1562.htm"), "<a href=\"1562.files/a.gif\">1562.files/b</a>\r\n");
    EXPECT_EQ(ReadFile("zelhistory/1562.files/a.gif"), "gif");
    EXPECT_FALSE(Exists("zelhistory/1562.files/.dot"));

    // Same clock unit, and a copy of another instance on disk at the next number.
    WriteFile("zelhistory/1563.htm", "foreign");
    MakePage("second");
    StoreInHistory(state);
    MakePage("third");
    StoreInHistory(state);
    EXPECT_EQ(state.historyList,
              (std::vector<std::string>{"zelhistory/1562.htm", "zelhistory/1564.htm",
                                        "zelhistory/1565.htm"}));
    EXPECT_EQ(state.historyPosition, 3);
    EXPECT_EQ(ReadFile("zelhistory/1562.htm"), "<a href=\"1562.files/a.gif\">1562.files/b</a>\r\n");
    EXPECT_EQ(ReadFile("zelhistory/1563.htm"), "foreign");
    EXPECT_EQ(ReadFile("zelhistory/1564.htm"), "second\r\n");
    EXPECT_EQ(ReadFile("zelhistory/1565.htm"), "third\r\n");
    EXPECT_TRUE(boxes.calls().empty());
}

TEST(SourceLinkAddress, OnlyTheLinkThatEndsThePage) {
    const struct {
        std::string text;
        std::string address;
    } rows[] = {
        {"<p>x</p><BR><a href=\"http://a.example/?q=1\">This page</a><BR>",
         "http://a.example/?q=1"},
        {"<BR><a href=\"http://a.example/\">This page</a><BR>\r\n", ""}, // not at the end
        {"<BR><a href=\">This page</a><BR>", ""},
        {"<BR><a href=\"http://a.example/ and no end of the link", ""},
        {"<BR><a href=\"a\"b\">This page</a><BR>", ""},
    };
    for (const auto& row : rows)
        EXPECT_EQ(SourceLinkAddress(row.text), row.address) << row.text;
}

TEST(StoreInHistory, MissingHistoryFolderFailsWithoutAnEntry) {
    TempWorkDir dir;
    PinnedClock clock(HalfUnitTime);
    RunState state;
    MakePage("p");
    EXPECT_THROW(StoreInHistory(state), InOutError);
    EXPECT_TRUE(state.historyList.empty());
    EXPECT_EQ(state.historyPosition, 0);
}

TEST(History, BackAndForwardStayInsideTheList) {
    RunState state;
    EXPECT_FALSE(HistoryBack(state));
    EXPECT_FALSE(HistoryForward(state));
    EXPECT_EQ(state.historyPosition, 0);

    state.historyList = {"zelhistory/1.htm"};
    state.historyPosition = 1;
    EXPECT_FALSE(HistoryBack(state));
    EXPECT_FALSE(HistoryForward(state));
    EXPECT_EQ(state.historyPosition, 1);

    state.historyList.push_back("zelhistory/2.htm");
    state.historyPosition = 2;
    EXPECT_EQ(HistoryBack(state), "zelhistory/1.htm");
    EXPECT_EQ(HistoryForward(state), "zelhistory/2.htm");
    EXPECT_FALSE(HistoryForward(state));
    EXPECT_EQ(state.historyPosition, 2);
}

TEST(History, ANewStoreGoesToTheEndWhereverThePositionIs) {
    TempWorkDir dir;
    fs::create_directory("zelhistory");
    PinnedClock clock(36000.0 + 0.001); // 100 units
    RunState state;
    MakePage("p");
    for (int i = 0; i < 5; ++i) {
        clock.set(36000.0 + 0.001 * (i + 1));
        StoreInHistory(state);
    }
    ASSERT_EQ(state.historyList.size(), 5u);
    EXPECT_EQ(state.historyList[4], "zelhistory/500.htm");
    EXPECT_EQ(HistoryBack(state), "zelhistory/400.htm");
    EXPECT_EQ(HistoryBack(state), "zelhistory/300.htm");
    EXPECT_EQ(state.historyPosition, 3);

    clock.set(36000.0 + 0.006);
    StoreInHistory(state);
    ASSERT_EQ(state.historyList.size(), 6u);
    EXPECT_EQ(state.historyList[5], "zelhistory/600.htm");
    EXPECT_EQ(state.historyPosition, 6);
    EXPECT_EQ(HistoryBack(state), "zelhistory/500.htm");
}

TEST(ClearRunHistory, DeletesOnlyThisRunsCopies) {
    TempWorkDir dir;
    fs::create_directory("zelhistory");
    PinnedClock clock(HalfUnitTime);
    RunState state;
    MakePage("p");
    StoreInHistory(state);
    StoreInHistory(state);
    WriteFile("zelhistory/1562.files/.keep", "k");
    WriteFile("zelhistory/999.htm", "foreign");
    fs::create_directory("zelhistory/999.files");
    WriteFile("zelhistory/999.files/f.gif", "f");

    ClearRunHistory(state);
    EXPECT_FALSE(Exists("zelhistory/1562.htm"));
    EXPECT_FALSE(Exists("zelhistory/1562.files/a.gif"));
    EXPECT_TRUE(Exists("zelhistory/1562.files/.keep"));
    EXPECT_FALSE(Exists("zelhistory/1563.htm"));
    EXPECT_FALSE(Exists("zelhistory/1563.files"));
    EXPECT_EQ(ReadFile("zelhistory/999.htm"), "foreign");
    EXPECT_TRUE(Exists("zelhistory/999.files/f.gif"));
    EXPECT_TRUE(Exists("page.htm"));
    EXPECT_TRUE(Exists("page.files/a.gif"));
}

TEST(PageSizeFile, RoundTripsOneLittleEndianRecord) {
    TempWorkDir dir;
    RunState state;
    state.pageSizeTotal = 7;
    EXPECT_EQ(FailureOf<InOutError>([&] { ReadPageSize(state); }), "File not found");
    EXPECT_EQ(state.pageSizeTotal, 7);

    state.pageSizeTotal = 0x01020304;
    WritePageSize(state);
    EXPECT_EQ(ReadFile("inZel.dat"), "\x04\x03\x02\x01");
    state.pageSizeTotal = -2;
    WritePageSize(state);
    EXPECT_EQ(ReadFile("inZel.dat"), "\xfe\xff\xff\xff");

    RunState later;
    ReadPageSize(later);
    EXPECT_EQ(later.pageSizeTotal, -2);
}
