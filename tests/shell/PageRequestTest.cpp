#include "PageRequest.h"
#include "EventWait.h"
#include "MessageBoxRecorder.h"
#include "PinnedClock.h"
#include "ProgramFolder.h"
#include "ScriptedService.h"
#include "ServiceEndpoints.h"
#include "StatStore.h"
#include "TempWorkDir.h"
#include "TlsTestServer.h"
#include "ZipWriter.h"

#include <QObject>
#include <QTcpServer>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <filesystem>

using namespace zel;
using namespace zel::test;
namespace fs = std::filesystem;

namespace {

const std::string Login = "abcdefghijkl";
const std::string PageText = "<html><body><img src=\"page.files/a.gif\">fetched</body></html>";

// The main window as far as the request sees it.
class FakeWindow : public PageRequestHost {
public:
    std::string AddressText() const override { return address; }
    void SetAddressText(const std::string& text) override { address = text; }
    RequestSettings CurrentSettings() const override { return settings; }
    void SetArchiveSizeText(const std::string& text) override { archiveSizeText = text; }
    void SetProgressPosition(int value) override { position = value; }
    void SetProgressMaximum(int value) override { maximum = value; }
    int ProgressMaximum() const override { return maximum; }
    void SetProgressTimer(bool on) override { timer.push_back(on); }
    void ShowStage(RequestStage stage, std::int64_t pageBytes) override {
        stages.push_back({stage, pageBytes});
    }
    void ShowFetchedPage() override { ++shown; }
    void AddToAddressList(const std::string& fetched) override {
        addedAddresses.push_back(fetched);
    }

    std::string address;
    RequestSettings settings;
    std::string archiveSizeText = std::string(20, ' ');
    int position = -1;
    int maximum = 100;
    std::vector<bool> timer;
    int shown = 0;
    std::vector<std::string> addedAddresses;
    std::vector<std::pair<RequestStage, std::int64_t>> stages;
};

std::string PageArchive() {
    return ZipBytes({{"page.htm", PageText}, {"page.files/a.gif", "GIF89a-image"}});
}

class PageRequestTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetServiceBaseForTesting(service.base());
        WriteFile("stat.dat", "");
        fs::create_directory("zelhistory");
        fs::create_directory("page.files");
        window.address = "host/path?a=1&b=2";
        window.settings.login = Login;
        window.settings.loadImages = false;
        window.settings.jpegQuality = 100;
        window.settings.colorExponent = 8;
        window.settings.gray = true;
    }
    void TearDown() override { SetServiceBaseForTesting(""); }

    // A page left by an earlier request, to see what a failure leaves alone.
    void PutEarlierPage() {
        WriteFile("page.htm", "<p>earlier</p>");
        WriteFile("page.zip", "earlier archive");
        WriteFile("page.files/old.gif", "old");
        state.trafficCounter = 15;
        state.pageSizeTotal = 77;
        state.currentPage = {"http://earlier.example/", "15 bytes"};
    }
    void ExpectEarlierPage() {
        EXPECT_EQ(ReadFile("page.htm"), "<p>earlier</p>");
        EXPECT_EQ(ReadFile("page.zip"), "earlier archive");
        EXPECT_TRUE(Exists("page.files/old.gif"));
        EXPECT_EQ(state.trafficCounter, 15);
        EXPECT_EQ(state.currentPage.address, "http://earlier.example/");
        EXPECT_EQ(window.shown, 0);
        EXPECT_TRUE(state.historyList.empty());
        EXPECT_TRUE(StatRecords().empty());
    }
    // The service makes the page's archive: its first reply is `firstReply`,
    // by default that the archive is ready; a poll finds it ready.
    void ScriptWholePage(const std::string& firstReply = "") {
        archive = PageArchive();
        const std::string ready = "OK," + std::to_string(archive.size()) + ";500:";
        service.script("/zel/page", {{firstReply.empty() ? ready : firstReply}});
        service.script("/zel/poll", {{ready}});
        service.script("/zel/arch/", {{archive}});
    }

    TempWorkDir dir;
    MessageBoxRecorder boxes;
    PinnedClock clock{45000.5};
    ScriptedService service;
    RunState state;
    FakeWindow window;
    QObject owner;
    PageRequest request{state, window, &owner};
    std::string archive;
};

} // namespace

TEST_F(PageRequestTest, RequestLinesCarryEveryParameterInOrder) {
    ScriptWholePage("NexT;20:");
    request.Execute();
    EXPECT_TRUE(boxes.calls().empty()) << boxes.texts().front();
    EXPECT_EQ(service.requestLines(),
              (std::vector<std::string>{
                  "GET /zel/page?image=0&login=abcdefghijkl&quality=100&colors=256&gray=1"
                  "&url=http://host/path^^^^^a=1|||||b=2 HTTP/1.0",
                  "GET /zel/poll?login=abcdefghijkl&quality=100&colors=256&gray=1 HTTP/1.0",
                  "GET /zel/arch/abcdefghijkl/1.dat HTTP/1.0"}));
    // The source link and the statistics keep the address as asked for.
    EXPECT_EQ(window.address, "http://host/path?a=1&b=2");
    ASSERT_EQ(StatRecords().size(), 1u);
    EXPECT_EQ(StatRecords()[0].WebPage, "http://host/path?a=1&b=2");
    EXPECT_EQ(ReadFile("page.htm"),
              PageText + "<BR><a href=\"http://host/path?a=1&b=2\">This page</a><BR>");
}

TEST_F(PageRequestTest, TheSameRequestsGoThroughAProxy) {
    SetServiceBaseForTesting("http://zel-service.invalid:8960"); // only the proxy knows it
    ScriptWholePage("NexT;20:");
    window.address = "https://x.example/a b";
    window.settings.loadImages = true;
    window.settings.jpegQuality = 0;
    window.settings.colorExponent = 1;
    window.settings.gray = false;
    window.settings.proxy = {"127.0.0.1", service.port()};
    request.Execute();
    EXPECT_TRUE(boxes.calls().empty()) << boxes.texts().front();
    EXPECT_EQ(service.requestLines(),
              (std::vector<std::string>{
                  "GET http://zel-service.invalid:8960/zel/page?image=1&login=abcdefghijkl"
                  "&quality=0&colors=2&gray=0&url=http://https://x.example/a%20b HTTP/1.0",
                  "GET http://zel-service.invalid:8960/zel/poll?login=abcdefghijkl&quality=0"
                  "&colors=2&gray=0 HTTP/1.0",
                  "GET http://zel-service.invalid:8960/zel/arch/abcdefghijkl/1.dat HTTP/1.0"}));
    for (const std::string& head : service.requests())
        EXPECT_NE(head.find("\r\nProxy-Connection: Keep-Alive\r\nHost: zel-service.invalid\r\n"),
                  std::string::npos)
            << head;
    EXPECT_EQ(window.shown, 1);
}

TEST_F(PageRequestTest, AWholePageIsUnpackedCountedStoredAndShown) {
    ScriptWholePage();
    request.Execute();
    EXPECT_TRUE(boxes.calls().empty()) << boxes.texts().front();
    const int size = static_cast<int>(archive.size());
    EXPECT_EQ(window.archiveSizeText, std::to_string(size) + " bytes");
    EXPECT_EQ(window.maximum, size);
    EXPECT_EQ(window.position, size);
    EXPECT_EQ(window.timer, (std::vector<bool>{true, false}));
    EXPECT_EQ(state.trafficCounter, size);
    EXPECT_EQ(state.pageSizeTotal, 500);
    EXPECT_EQ(ReadFile("page.zip"), archive);
    EXPECT_EQ(ReadFile("page.dat"), archive);
    EXPECT_EQ(ReadFile("page.files/a.gif"), "GIF89a-image");
    EXPECT_EQ(ReadFile("page.htm"),
              PageText + "<BR><a href=\"http://host/path?a=1&b=2\">This page</a><BR>");
    EXPECT_EQ(ReadFile("inZel.dat"), std::string("\xF4\x01\0\0", 4));
    const std::vector<StatRecord> records = StatRecords();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].Traffic, size);
    EXPECT_EQ(records[0].PageSize, 500);
    EXPECT_DOUBLE_EQ(records[0].Stamp, 45000.5);
    ASSERT_EQ(state.historyList.size(), 1u);
    EXPECT_EQ(state.historyPosition, 1);
    const std::string copy = state.historyList[0];
    EXPECT_NE(ReadFile(copy).find(fs::path(copy).stem().string() + ".files/a.gif"),
              std::string::npos);
    EXPECT_EQ(window.shown, 1);
    EXPECT_EQ(window.addedAddresses, std::vector<std::string>{"http://host/path?a=1&b=2"});
}

TEST_F(PageRequestTest, PollsAddEveryPageSizeToTheTotal) {
    archive = PageArchive();
    service.script("/zel/page", {{"NexT;20:"}});
    service.script("/zel/poll", {{"NexT;20:"}, {"NexT;0:"}, {"OK,100;500:"}});
    service.script("/zel/arch/", {{archive}});
    state.pageSizeTotal = 9999;
    request.Execute();
    EXPECT_TRUE(boxes.calls().empty()) << boxes.texts().front();
    EXPECT_EQ(service.requestLines().size(), 5u);
    EXPECT_EQ(state.pageSizeTotal, 540);
    using S = RequestStage;
    EXPECT_EQ(window.stages, (std::vector<std::pair<S, std::int64_t>>{{S::Asking, 0},
                                                                      {S::Fetching, 20},
                                                                      {S::Fetching, 40},
                                                                      {S::Making, 40},
                                                                      {S::Downloading, 540},
                                                                      {S::Unpacking, 540},
                                                                      {S::Idle, 0}}));
    EXPECT_EQ(state.currentPage.address, "http://host/path?a=1&b=2");
    EXPECT_EQ(state.historyOrigins.at(state.historyList.at(0)).archiveSizeText, "100 bytes");
    EXPECT_EQ(ReadFile("inZel.dat"), std::string("\x1C\x02\0\0", 4));
    EXPECT_EQ(window.archiveSizeText, "100 bytes") << "as the service wrote it";
    EXPECT_EQ(window.maximum, 100);
}

TEST_F(PageRequestTest, ChecksEndTheRequestBeforeAnythingIsSent) {
    PutEarlierPage();
    window.address = "";
    request.Execute();
    window.address = "HTTP://x.example";
    window.settings.login = "abcdefghijk"; // 11 characters
    request.Execute();
    EXPECT_EQ(boxes.texts(), (std::vector<std::string>{"Not entered the Address.",
                                                       "Not entered or wrong Login."}));
    EXPECT_EQ(boxes.calls()[1].kind, MessageKind::Warning);
    EXPECT_TRUE(service.requests().empty());
    EXPECT_EQ(window.address, "http://HTTP://x.example")
        << "the prefix (lower case only) goes in before the login check";
    ExpectEarlierPage();
    EXPECT_EQ(state.pageSizeTotal, 77);

    window.settings.login = "abcdefghijkl"; // 12 characters
    service.script("/zel/page", {{""}});
    request.Execute();
    EXPECT_EQ(service.requests().size(), 1u);
}

TEST_F(PageRequestTest, RepliesThatEndTheRequestLeaveThePageFilesAlone) {
    struct Case {
        std::vector<Answer> replies;
        std::string message;
        std::int32_t total;
    };
    const std::vector<Case> cases{
        {{{""}}, "Program server not respond.", 77},
        {{Answer::HungUp()}, "Program server not respond.", 77},
        {{{"NexT;30:"}, {""}}, "Program server not respond.", 30},
        {{{"Bad,Unknown login."}}, "Unknown login.", 0},
        // The service node died during the job; the next Go starts afresh.
        {{{"NexT;30:"}, {"Bad,The page was lost on the way - press Go again."}},
         "The page was lost on the way - press Go again.",
         30},
        {{{"NexT;30:"}, {"Sorry"}}, "Impossible open the page", 30},
        {{{"NexT"}}, "Program server sent an unreadable reply:\rNexT", 0},
        {{{"OK,12"}}, "Program server sent an unreadable reply:\rOK,12", 0},
    };
    for (const Case& c : cases) {
        PutEarlierPage();
        service.script("/zel/page", {c.replies.front()});
        service.script("/zel/poll", {c.replies.begin() + 1, c.replies.end()});
        request.Execute();
        ASSERT_EQ(boxes.texts().size(), 1u) << c.message;
        EXPECT_EQ(boxes.texts()[0], c.message);
        EXPECT_EQ(boxes.calls()[0].kind, MessageKind::Warning);
        EXPECT_EQ(state.pageSizeTotal, c.total) << c.message;
        ExpectEarlierPage();
        EXPECT_FALSE(request.Running());
        ASSERT_FALSE(window.stages.empty());
        EXPECT_EQ(window.stages.back().first, RequestStage::Idle) << c.message;
        window.stages.clear();
        boxes.clear();
    }
}

TEST_F(PageRequestTest, ARefusedConnectionCannotOpenTheAddress) {
    QTcpServer closed;
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost));
    const int port = closed.serverPort();
    closed.close();
    SetServiceBaseForTesting("http://127.0.0.1:" + std::to_string(port));
    PutEarlierPage();
    request.Execute();
    EXPECT_EQ(boxes.texts(), std::vector<std::string>{"Can not open the Address."});
    EXPECT_EQ(boxes.calls()[0].kind, MessageKind::Warning);
    ExpectEarlierPage();
}

TEST_F(PageRequestTest, AServiceWithAnUntrustedCertificateIsRefusedWithTheReason) {
    QTemporaryDir dir;
    zel::test::MakeCertificate(dir.path(), "self", "", true);
    zel::test::TlsServer tls(dir.path(), "self");
    ASSERT_FALSE(tls.port.empty());
    SetServiceBaseForTesting("https://localhost:" + tls.port);
    PutEarlierPage();
    request.Execute();
    ASSERT_EQ(boxes.texts().size(), 1u);
    EXPECT_NE(boxes.texts()[0].find("not signed by an authority this system trusts"),
              std::string::npos);
    ExpectEarlierPage();
}

TEST_F(PageRequestTest, StopDuringThePageRequestAbortsIt) {
    PutEarlierPage();
    service.script("/zel/page", {{"NexT;10:"}});
    service.script("/zel/poll", {Answer::Held()});
    service.atRequest(2, [this] { request.Stop(); });
    request.Execute();
    EXPECT_EQ(boxes.texts(), std::vector<std::string>{"Request aborted."});
    EXPECT_EQ(boxes.calls()[0].kind, MessageKind::Information);
    EXPECT_TRUE(state.stopFlag);
    EXPECT_EQ(state.pageSizeTotal, 10);
    ExpectEarlierPage();
}

TEST_F(PageRequestTest, StopDuringTheDownloadAbortsTheLoad) {
    PutEarlierPage();
    service.script("/zel/page", {{"OK,100;500:"}});
    service.script("/zel/arch/", {Answer::Held()});
    service.atRequest(2, [this] { request.Stop(); });
    request.Execute();
    EXPECT_EQ(boxes.texts(), std::vector<std::string>{"Load is aborted."});
    EXPECT_EQ(boxes.calls()[0].kind, MessageKind::Information);
    // From the download on, the page files are gone or empty; nothing is recorded.
    EXPECT_EQ(ReadFile("page.zip"), "");
    EXPECT_FALSE(Exists("page.htm"));
    EXPECT_FALSE(Exists("page.files/old.gif"));
    EXPECT_EQ(state.trafficCounter, 0);
    EXPECT_EQ(window.timer, (std::vector<bool>{true, false}));
    EXPECT_FALSE(Exists("inZel.dat"));
    EXPECT_TRUE(StatRecords().empty());
    EXPECT_TRUE(state.historyList.empty());
    EXPECT_EQ(window.shown, 0);
    EXPECT_TRUE(state.currentPage.address.empty()) << "the earlier page's files are gone";
}

TEST_F(PageRequestTest, AFailedDownloadCannotDownloadTheArchive) {
    service.script("/zel/page", {{"OK,100;500:"}});
    // The service goes away after its reply: the archive's connection is refused.
    QObject::connect(&service, &ScriptedService::requestArrived, [this] { service.close(); });
    request.Execute();
    EXPECT_EQ(boxes.texts(), std::vector<std::string>{"Can not download the archive."});
    EXPECT_EQ(boxes.calls()[0].kind, MessageKind::Warning);
    EXPECT_EQ(window.shown, 0);
}

TEST_F(PageRequestTest, AnArchiveWithoutItsPageAsksAndCancelEndsTheRequest) {
    archive = ZipBytes({{"page.files/a.gif", "GIF89a"}});
    service.script("/zel/page", {{"OK,18;500:"}});
    service.script("/zel/arch/", {{archive}});
    boxes.answerNext(MessageAnswer::Ok); // unpack again
    boxes.answerNext(MessageAnswer::Cancel);
    request.Execute();
    ASSERT_EQ(boxes.calls().size(), 2u);
    for (const MessageBoxCall& call : boxes.calls()) {
        EXPECT_EQ(call.text, "OK - continue, Cancel - abort.");
        EXPECT_EQ(call.kind, MessageKind::Information);
        EXPECT_EQ(call.buttons, MessageButtons::OkCancel);
    }
    EXPECT_EQ(ReadFile("page.zip"), archive);
    EXPECT_EQ(state.trafficCounter, static_cast<std::int32_t>(archive.size()));
    EXPECT_EQ(ReadFile("page.files/a.gif"), "GIF89a");
    EXPECT_FALSE(Exists("page.htm"));
    EXPECT_FALSE(Exists("inZel.dat"));
    EXPECT_TRUE(StatRecords().empty());
    EXPECT_TRUE(state.historyList.empty());
    EXPECT_EQ(window.shown, 0);
}

TEST_F(PageRequestTest, ArchivesWithEntriesOutsideThePageOrUnreadableAreNotUnpacked) {
    const fs::path outside = fs::path(dir.path()).parent_path();
    const std::string unique = fs::path(dir.path()).filename().string();
    const std::vector<std::string> archives{
        ZipBytes({{"page.htm", PageText}, {"../" + unique + "-up.txt", "up"}}),
        ZipBytes({{"page.htm", PageText}, {(outside / (unique + "-abs.txt")).string(), "abs"}}),
        ZipBytes({{"page.htm", PageText}, ZipEntry::Link("page.files/a.gif", "/etc/passwd")}),
        "this is no archive",
    };
    for (const std::string& crafted : archives) {
        service.script("/zel/page", {{"OK," + std::to_string(crafted.size()) + ";500:"}});
        service.script("/zel/arch/", {{crafted}});
        request.Execute();
        ASSERT_EQ(boxes.calls().size(), 1u);
        EXPECT_EQ(boxes.calls()[0].kind, MessageKind::Warning);
        EXPECT_EQ(boxes.texts()[0].rfind("The page archive cannot be shown: ", 0), 0u)
            << boxes.texts()[0];
        boxes.clear();
        EXPECT_FALSE(Exists("page.htm")) << "nothing is unpacked";
        EXPECT_FALSE(Exists("page.files/a.gif"));
        EXPECT_TRUE(StatRecords().empty());
        EXPECT_EQ(window.shown, 0);
    }
    EXPECT_FALSE(Exists((outside / (unique + "-up.txt")).string()));
    EXPECT_FALSE(Exists((outside / (unique + "-abs.txt")).string()));
}
