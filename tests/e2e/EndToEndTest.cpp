// The browser against the real compressing service: the zelservice program
// runs as a child process on a loopback port with a fresh data folder, a
// local origin of the test's own serves the pages, and the program's windows
// (offscreen) ask for a login and fetch pages as a user would, through the
// options dialog and the main window's Go.

#include "EventWait.h"
#include "MessageBoxRecorder.h"
#include "OriginServer.h"
#include "PageReferences.h"
#include "PinnedClock.h"
#include "ProgramFolder.h"
#include "ProgramWindows.h"
#include "RecordBytes.h"
#include "RecordingRelay.h"
#include "ServiceEndpoints.h"
#include "ServiceProcess.h"
#include "SpinEdit.h"
#include "TForm2.h"
#include "TempWorkDir.h"
#include "TestImages.h"
#include "TlsTestServer.h"
#include "TrustedAuthorities.h"
#include "WebBrowser.h"

#include <QAction>
#include <QComboBox>
#include <QDateTime>
#include <QElapsedTimer>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <thread>

using namespace zel;
using namespace zel::test;
using zel::service::test::ServiceProcess;
namespace fs = std::filesystem;

namespace {

const std::string Mail = "reader@example.org";
const std::string FirstText = "The first page of the round trip";
const std::string SecondText = "The second page of the round trip";
// Long enough for a job on a busy machine, short of the test's own limit.
constexpr int RequestLimitMs = 60000;
constexpr int ViewLimitMs = 30000;
// The service waits this long before it answers "NexT"; the origin is slower.
constexpr int PollWaitMs = 100;
constexpr int PhotoDelayMs = 600;

// The web: a page with a photo, a style sheet (with an image of its own) and
// a link; a second page; an address that redirects to a local file.
class Origin : public zel::service::test::OriginServer {
public:
    Origin() {
        Serve("/index.html",
              "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>First</title>"
              "<link rel=\"stylesheet\" href=\"css/site.css\"></head><body>"
              "<h1>" +
                  FirstText +
                  "</h1>"
                  "<img id=\"photo\" src=\"img/photo.jpg\" alt=\"A photo\" width=\"480\">"
                  "<p><a href=\"/second.html\">The second page</a></p></body></html>",
              "text/html");
        Serve("/css/site.css",
              "body { background-color: rgb(10, 20, 30); color: rgb(250, 250, 250) }\n"
              "h1 { background-image: url(\"../img/stripes.png\") }\n",
              "text/css");
        // The photo comes late, so the service answers "NexT" first.
        Http().Get("/img/photo.jpg",
                   [photo = Photo()](const httplib::Request&, httplib::Response& response) {
                       std::this_thread::sleep_for(std::chrono::milliseconds(PhotoDelayMs));
                       response.set_content(photo, "image/jpeg");
                   });
        Serve("/img/stripes.png", Stripes(), "image/png");
        Serve("/second.html",
              "<!DOCTYPE html><html><head><title>Second</title></head><body><p>" + SecondText +
                  "</p></body></html>",
              "text/html");
        Http().Get("/escape", [](const httplib::Request&, httplib::Response& response) {
            response.set_redirect("file:///etc/passwd");
        });
        Start();
    }
};

// The number between `first` and `second` of a reply ("OK,<a>;<b>:").
std::int64_t NumberBetween(const std::string& reply, char first, char second) {
    const std::size_t from = reply.find(first);
    const std::size_t to = reply.find(second);
    if (from == std::string::npos || to == std::string::npos || to <= from + 1)
        throw std::runtime_error("no number between the marks of '" + reply + "'");
    return std::stoll(reply.substr(from + 1, to - from - 1));
}

// JPEG, PNG, GIF or WebP, whichever the service found smallest.
bool IsImage(const std::string& bytes) {
    return bytes.starts_with("\xFF\xD8\xFF") || bytes.starts_with("\x89PNG") ||
           bytes.starts_with("GIF8") || (bytes.starts_with("RIFF") && bytes.find("WEBP") == 8);
}

// Every regular file under the current folder with its bytes.
std::map<std::string, std::string> FolderSnapshot() {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator("."))
        if (entry.is_regular_file())
            files[fs::relative(entry.path(), ".").string()] = ReadFile(entry.path().string());
    return files;
}

// The local references of a document and of the style sheets and frames in
// its files folder that do not resolve; `checked` counts them all.
std::vector<std::string> UnresolvedReferences(const std::string& document,
                                              const std::string& filesFolder,
                                              std::size_t& checked) {
    const std::string documentFolder = fs::path(document).parent_path().string();
    std::vector<std::string> references =
        LocalReferences(ReadFile(document), documentFolder.empty() ? "" : documentFolder + "/");
    for (const auto& entry : fs::directory_iterator(filesFolder)) {
        const std::string name = entry.path().string();
        if (name.ends_with(".css") || name.ends_with(".htm"))
            for (const std::string& reference : LocalReferences(ReadFile(name), filesFolder + "/"))
                references.push_back(reference);
    }
    checked = references.size();
    std::vector<std::string> unresolved;
    for (const std::string& reference : references)
        if (!fs::is_regular_file(reference))
            unresolved.push_back(reference);
    return unresolved;
}

class EndToEndTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(service.Start(ZELSERVICE_PROGRAM, ServiceOptions())) << service.Output();
        SetServiceBaseForTesting(service.Base());
        relay = std::make_unique<RecordingRelay>(service.Port());
        LayOutProgramFolder(TestSettings("")); // no login yet
    }
    static std::vector<std::string> ServiceOptions() {
        return {"--allow-private-origins",
                "--job-seconds",
                "40",
                "--fetch-timeout-seconds",
                "15",
                "--poll-wait-ms",
                std::to_string(PollWaitMs)};
    }
    void TearDown() override {
        SetServiceBaseForTesting("");
        SetTrustedAuthoritiesForTesting("");
        EXPECT_TRUE(service.Running()) << "the service ended during the test:\n"
                                       << service.Output();
        EXPECT_TRUE(service.Stop()) << "the service did not stop cleanly:\n" << service.Output();
    }

    std::unique_ptr<TForm1> StartProgram() {
        auto form = CreateProgramWindows();
        form->show();
        return form;
    }

    // The options dialog's proxy: the recording relay, or none.
    void UseRelay(TForm1& form, bool on) {
        TForm2* options = form.optionsDialog();
        options->Edit2->setText(on ? QStringLiteral("127.0.0.1") : QString());
        options->SpinEdit1->setValue(on ? relay->Port() : 0);
    }

    // Runs `action`; should it not have ended after `limitMs`, `stop` is
    // pressed (the way a user ends a request) and the result is false.
    static bool WithinTime(int limitMs, const std::function<void()>& stop,
                           const std::function<void()>& action) {
        bool late = false;
        QTimer watchdog;
        watchdog.setSingleShot(true);
        QObject::connect(&watchdog, &QTimer::timeout, [&] {
            late = true;
            stop();
        });
        watchdog.start(limitMs);
        action();
        watchdog.stop();
        return !late;
    }

    // Options, page Get Login: the e-mail, "Get Login", and the login from the
    // answer taken into the Login page as the dialog offers. Returns the
    // login, empty on failure.
    std::string GetLogin(TForm1& form) {
        TForm2* options = form.optionsDialog();
        options->Edit3->setText(QString::fromStdString(Mail));
        EXPECT_TRUE(WithinTime(
            RequestLimitMs, [options] { options->Button3Click(); },
            [options] { QTest::mouseClick(options->Button2, Qt::LeftButton); }));
        if (boxes.calls().size() != 2) {
            ADD_FAILURE() << "expected the answer and the offer, got " << boxes.calls().size();
            return "";
        }
        const MessageBoxCall answer = boxes.calls().front();
        const MessageBoxCall offer = boxes.calls().back();
        boxes.clear();
        EXPECT_EQ(answer.kind, MessageKind::Information);
        const std::string opening = "Your login is ";
        const std::size_t end = answer.text.find(" - ");
        if (!answer.text.starts_with(opening) || end == std::string::npos) {
            ADD_FAILURE() << "no login in the answer: " << answer.text;
            return "";
        }
        const std::string login = answer.text.substr(opening.size(), end - opening.size());
        EXPECT_EQ(options->Memo1->toPlainText().toStdString(), answer.text);
        EXPECT_EQ(offer.buttons, MessageButtons::YesNo); // answered Yes
        EXPECT_EQ(options->login(), login);
        return login;
    }

    // The service's replies to the page request, then to its polls.
    std::vector<std::string> PageAndPollReplies() const {
        std::vector<std::string> replies = relay->Replies("/zel/page?");
        for (const std::string& poll : relay->Replies("/zel/poll?"))
            replies.push_back(poll);
        return replies;
    }

    // The service again, over HTTPS only, with a certificate for localhost
    // from an authority of the test's own, the only one the program trusts.
    void RestartOverHttps(const QString& folder) {
        MakeAuthority(folder);
        MakeCertificate(folder, "good", "", false);
        std::vector<std::string> options = ServiceOptions();
        options.insert(options.end(), {"--tls-cert", (folder + "/good.pem").toStdString(),
                                       "--tls-key", (folder + "/key.pem").toStdString()});
        ASSERT_TRUE(service.Stop());
        ASSERT_TRUE(service.Start(ZELSERVICE_PROGRAM, options)) << service.Output();
        SetServiceBaseForTesting("https://localhost:" + std::to_string(service.Port()));
        SetTrustedAuthoritiesForTesting((folder + "/ca.pem").toStdString());
    }

    // Types `address` and presses Go; false when the request had to be stopped.
    bool Go(TForm1& form, const std::string& address) {
        form.ComboBox1->setEditText(QString::fromStdString(address));
        return WithinTime(
            RequestLimitMs, [&form] { form.ToolButton7Click(); },
            [&form] { QTest::mouseClick(form.ToolButton2, Qt::LeftButton); });
    }

    // Runs `script` in the page on show; its result, or an invalid value
    // after `limitMs`.
    static QVariant Evaluate(TForm1& form, const QString& script, int limitMs = 10000) {
        auto result = std::make_shared<std::optional<QVariant>>();
        // The view runs no script of the page's: the test reads it from its own world.
        form.WebBrowser1->page()->runJavaScript(
            script, QWebEngineScript::ApplicationWorld,
            [result](const QVariant& value) { *result = value; });
        WaitUntil([&] { return result->has_value(); }, limitMs);
        return result->value_or(QVariant());
    }

    // Waits until the view shows the local file `path`, fully loaded, and
    // `condition` (a script) holds there.
    static bool Shows(TForm1& form, const std::string& path, const QString& condition) {
        const QString script = QStringLiteral("document.readyState === 'complete' && (") +
                               condition + QStringLiteral(")");
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < ViewLimitMs) {
            if (form.WebBrowser1->url().toLocalFile().toStdString() == path &&
                Evaluate(form, script).toBool())
                return true;
            WaitForEvents(100);
        }
        return false;
    }

    static QString HasText(const std::string& text) {
        return QStringLiteral("document.body.innerText.includes('") + QString::fromStdString(text) +
               QStringLiteral("')");
    }

    TempWorkDir dir; // the program folder
    MessageBoxRecorder boxes;
    PinnedClock clock{FromQDateTime(QDateTime(QDate(2026, 3, 10), QTime(15, 0)))};
    ServiceProcess service;
    Origin origin;
    std::unique_ptr<RecordingRelay> relay;
};

} // namespace

TEST_F(EndToEndTest,
       ALoginThenAPageShownWithItsFilesAndTrafficThenAnotherPageBackForwardAndReload) {
    auto form = StartProgram();
    UseRelay(*form, true);
    const std::string login = GetLogin(*form);
    ASSERT_FALSE(login.empty());
    EXPECT_GE(login.size(), 12u);
    EXPECT_LE(login.size(), 30u);
    EXPECT_EQ(login.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789"), std::string::npos)
        << login;
    ASSERT_EQ(relay->Replies("/zel/login?").size(), 1u);

    // The first page, through the relay, which sees what the service says.
    const std::string first = origin.Url("/index.html");
    ASSERT_TRUE(Go(*form, first)) << "the request did not end in time";
    EXPECT_TRUE(boxes.calls().empty()) << boxes.texts().front();

    ASSERT_EQ(relay->Replies("/zel/page?").size(), 1u);
    const std::vector<std::string> replies = PageAndPollReplies();
    EXPECT_TRUE(replies[0].starts_with("NexT;")) << "the photo is late: " << replies[0];
    std::int64_t pageSize = 0;
    for (std::size_t i = 0; i < replies.size(); ++i) {
        const bool last = i + 1 == replies.size();
        EXPECT_TRUE(replies[i].starts_with(last ? "OK," : "NexT;")) << replies[i];
        pageSize += NumberBetween(replies[i], ';', ':');
    }
    ASSERT_TRUE(replies.back().starts_with("OK,")) << replies.back();
    const std::int64_t archiveSize = NumberBetween(replies.back(), ',', ';');
    const std::vector<std::string> archives = relay->Replies("/zel/arch/" + login + "/1.dat");
    ASSERT_EQ(archives.size(), 1u);
    EXPECT_EQ(static_cast<std::int64_t>(archives[0].size()), archiveSize);
    EXPECT_EQ(static_cast<std::int64_t>(fs::file_size("page.zip")), archiveSize);
    EXPECT_EQ(form->Label5->text().toStdString(), std::to_string(archiveSize) + " bytes");
    EXPECT_EQ(form->ComboBox1->currentText().toStdString(), first);

    // Shown from page.htm: its text, its photo decoded, its style applied.
    EXPECT_TRUE(Shows(*form, dir.file("page.htm"), HasText(FirstText)));
    EXPECT_TRUE(Evaluate(*form, "document.getElementById('photo').complete && "
                                "document.getElementById('photo').naturalWidth > 0")
                    .toBool());
    EXPECT_EQ(Evaluate(*form, "getComputedStyle(document.body).backgroundColor").toString(),
              QStringLiteral("rgb(10, 20, 30)"));

    // The page's files: the photo, the style sheet and its image; every
    // local reference resolves; the source link comes last.
    std::size_t images = 0, styleSheets = 0;
    for (const auto& entry : fs::directory_iterator("page.files")) {
        const std::string bytes = ReadFile(entry.path().string());
        images += IsImage(bytes);
        styleSheets += bytes.find("rgb(10, 20, 30)") != std::string::npos;
    }
    EXPECT_EQ(styleSheets, 1u);
    EXPECT_EQ(images, 2u) << "the photo and the style sheet's image";
    std::size_t checked = 0;
    EXPECT_TRUE(UnresolvedReferences("page.htm", "page.files", checked).empty());
    EXPECT_GE(checked, 3u);
    EXPECT_TRUE(ReadFile("page.htm").ends_with("<BR><a href=\"" + first + "\">This page</a><BR>"));

    // The traffic: the page size the service reported, the archive's bytes.
    ASSERT_GT(pageSize, 0);
    const std::string inZel = ReadFile("inZel.dat");
    ASSERT_EQ(inZel.size(), 4u);
    RecordBytes<4> stored;
    std::copy(inZel.begin(), inZel.end(), stored.data());
    EXPECT_EQ(stored.int32At(0), pageSize);
    std::vector<StatRecord> records = StatRecords();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].WebPage, first);
    EXPECT_EQ(records[0].Traffic, archiveSize);
    EXPECT_EQ(records[0].PageSize, pageSize);

    // A history copy whose own references resolve.
    ASSERT_EQ(form->runState().historyList.size(), 1u);
    const std::string copy = form->runState().historyList[0];
    ASSERT_TRUE(Exists(copy));
    EXPECT_NE(ReadFile(copy).find(FirstText), std::string::npos);
    EXPECT_TRUE(
        UnresolvedReferences(copy, fs::path(copy).replace_extension(".files").string(), checked)
            .empty());
    EXPECT_GE(checked, 3u);

    // A second page, straight to the service this time.
    UseRelay(*form, false);
    const std::size_t relayed = relay->Exchanges().size();
    const std::string second = origin.Url("/second.html");
    ASSERT_TRUE(Go(*form, second)) << "the request did not end in time";
    const std::string secondSize = form->Label5->text().toStdString();
    EXPECT_TRUE(boxes.calls().empty()) << boxes.texts().front();
    EXPECT_EQ(relay->Exchanges().size(), relayed);
    EXPECT_TRUE(Shows(*form, dir.file("page.htm"), HasText(SecondText)));
    records = StatRecords();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[1].WebPage, second);
    EXPECT_EQ(records[1].Traffic, static_cast<std::int32_t>(fs::file_size("page.zip")));
    ASSERT_EQ(form->runState().historyList.size(), 2u);

    // Back: the first page again, from its history copy, photo and all.
    QTest::mouseClick(form->ToolButton6, Qt::LeftButton);
    EXPECT_TRUE(
        Shows(*form, dir.file(copy),
              HasText(FirstText) + " && document.getElementById('photo').naturalWidth > 0"));
    EXPECT_EQ(StatRecords().size(), 2u) << "Back asks nothing of the service";
    EXPECT_TRUE(boxes.calls().empty()) << boxes.texts().front();
    // The box and "To load" name the page on show, not the last one fetched.
    EXPECT_EQ(form->ComboBox1->currentText().toStdString(), first);
    EXPECT_EQ(form->Label5->text().toStdString(), std::to_string(archiveSize) + " bytes");

    // Forward, then Reload asks the service for the second page again.
    form->Forward1->trigger();
    EXPECT_TRUE(Shows(*form, dir.file(form->runState().historyList[1]), HasText(SecondText)));
    EXPECT_EQ(form->ComboBox1->currentText().toStdString(), second);
    EXPECT_EQ(form->Label5->text().toStdString(), secondSize);
    ASSERT_TRUE(WithinTime(
        RequestLimitMs, [&form] { form->ToolButton7Click(); },
        [&form] { form->Reload1->trigger(); }))
        << "the request did not end in time";
    EXPECT_TRUE(Shows(*form, dir.file("page.htm"), HasText(SecondText)));
    EXPECT_EQ(form->ComboBox1->currentText().toStdString(), second);
    records = StatRecords();
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[2].WebPage, second);
    for (int item = 0; item < form->ComboBox1->count(); ++item)
        EXPECT_FALSE(form->ComboBox1->itemText(item).startsWith('/'))
            << form->ComboBox1->itemText(item).toStdString();
    EXPECT_TRUE(boxes.calls().empty()) << boxes.texts().front();
}

TEST_F(EndToEndTest, AnOriginTheServiceRefusesShowsItsTextAndLeavesThePageFilesAlone) {
    WriteFile("page.htm", "<html><body><p>The page before</p></body></html>");
    WriteFile("page.files/before.gif", "GIF89a");
    WriteFile("page.zip", "an earlier archive");
    WriteFile("inZel.dat", std::string("\x10\x27\0\0", 4));
    auto form = StartProgram();
    UseRelay(*form, true);
    ASSERT_FALSE(GetLogin(*form).empty());
    ASSERT_TRUE(Shows(*form, dir.file("page.htm"), HasText("The page before")));
    const std::map<std::string, std::string> before = FolderSnapshot();

    // The origin sends the service on to a local file of its machine.
    ASSERT_TRUE(Go(*form, origin.Url("/escape"))) << "the request did not end in time";
    const std::vector<std::string> replies = PageAndPollReplies();
    ASSERT_FALSE(replies.empty());
    ASSERT_TRUE(replies.back().starts_with("Bad,")) << replies.back();
    ASSERT_EQ(boxes.calls().size(), 1u);
    EXPECT_EQ(boxes.calls()[0].kind, MessageKind::Warning);
    EXPECT_EQ(boxes.calls()[0].text, replies.back().substr(4));
    EXPECT_FALSE(boxes.calls()[0].text.empty());

    EXPECT_EQ(FolderSnapshot(), before);
    EXPECT_TRUE(relay->Replies("/zel/arch/").empty());
    EXPECT_TRUE(form->runState().historyList.empty());
    EXPECT_EQ(form->WebBrowser1->url().toLocalFile().toStdString(), dir.file("page.htm"));
}

TEST_F(EndToEndTest, OverHttpsTheLoginAndAPageComeFromTheVerifiedService) {
    QTemporaryDir folder;
    ASSERT_NO_FATAL_FAILURE(RestartOverHttps(folder.path()));
    auto form = StartProgram();
    UseRelay(*form, false);
    const std::string login = GetLogin(*form);
    ASSERT_FALSE(login.empty());
    ASSERT_TRUE(Go(*form, origin.Url("/second.html"))) << "the request did not end in time";
    EXPECT_TRUE(boxes.calls().empty()) << boxes.texts().front();
    EXPECT_TRUE(Shows(*form, dir.file("page.htm"), HasText(SecondText)));
    ASSERT_EQ(StatRecords().size(), 1u);
    EXPECT_EQ(StatRecords()[0].Traffic, static_cast<std::int32_t>(fs::file_size("page.zip")));
    const std::string log = ReadFile(service.DataFolder() + "/access.log");
    EXPECT_NE(log.find("/second.html"), std::string::npos) << log;
    EXPECT_EQ(log.find(login), std::string::npos) << log;
}
