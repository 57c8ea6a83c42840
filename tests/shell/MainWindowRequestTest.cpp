// The main window's page request, web view events and page commands, with a
// scripted service on a loopback port and the real web view (offscreen).
#include "ConnectedState.h"
#include "Desktop.h"
#include "EventWait.h"
#include "MessageBoxRecorder.h"
#include "PageStore.h"
#include "PinnedClock.h"
#include "ProgramFolder.h"
#include "ProgramWindows.h"
#include "ScriptedService.h"
#include "ServiceEndpoints.h"
#include "SettingsRecord.h"
#include "StatStore.h"
#include "TForm2.h"
#include "TempWorkDir.h"
#include "WebBrowser.h"
#include "ZipWriter.h"

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QCompleter>
#include <QDateTime>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QLabel>
#include <QProgressBar>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

using namespace zel;
using namespace zel::test;
namespace fs = std::filesystem;

namespace {

const std::string Login = "abcdefghijkl";
const std::string PageText =
    "<html><body><p>fetched</p><img src=\"page.files/a.gif\"></body></html>";

// Three links stacked 60 pixels high each.
const std::string LinkPage =
    "<html><body style=\"margin:0\">"
    "<a href=\"http://x.example/a%20b\" style=\"display:block;height:60px\">blank</a>"
    "<a href=\"http://x.example/s?q=a+b%2Bc\" style=\"display:block;height:60px\">plus</a>"
    "<a href=\"http://x.example/new\" target=\"_blank\" style=\"display:block;height:60px\">new</a>"
    "</body></html>";

class MainWindowRequestTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetServiceBaseForTesting(service.base());
        LayOutProgramFolder(TestSettings(Login));
        previousDesktop = SetDesktopHandler(
            {[this](const std::string& path) { opened.push_back(path); }, [this] { ++started; }});
    }
    void TearDown() override {
        SetServiceBaseForTesting("");
        SetDesktopHandler(previousDesktop);
        SetConnectedState(false);
    }

    std::unique_ptr<TForm1> start() {
        auto form = CreateProgramWindows();
        form->show();
        return form;
    }
    void ScriptWholePage() {
        archive = ZipBytes({{"page.htm", PageText}, {"page.files/a.gif", "GIF89a"}});
        service.script("/zel/page", {{"OK," + std::to_string(archive.size()) + ";5000:"}});
        service.script("/zel/arch/", {{archive}});
    }
    // Moves the mouse to height `y` of the page until the status bar shows
    // what `shows` wants; the view may take a while to know what is under
    // the mouse after a load, so the move is repeated, a pixel apart.
    bool MoveMouse(TForm1& form, int y, const std::function<bool(const QString&)>& shows) {
        QWidget* view = form.WebBrowser1->focusProxy();
        EXPECT_NE(view, nullptr);
        auto shown = [&] { return shows(form.StatusBar1->currentMessage()); };
        QElapsedTimer clock;
        clock.start();
        for (int nudge = 0; !shown() && clock.elapsed() < 20000; ++nudge) {
            QTest::mouseMove(view, QPoint(20 + nudge % 2, y));
            WaitUntil(shown, 250);
        }
        return shown();
    }
    // Puts the mouse on the link at `y`; the status bar then shows its address.
    std::string Hover(TForm1& form, int y) {
        form.StatusBar1->clearMessage();
        MoveMouse(form, y, [](const QString& text) { return !text.isEmpty(); });
        return form.StatusBar1->currentMessage().toStdString();
    }
    void Click(TForm1& form, int y) {
        QTest::mouseClick(form.WebBrowser1->focusProxy(), Qt::LeftButton, {}, QPoint(20, y));
    }
    std::unique_ptr<TForm1> StartWithLinkPage() {
        WriteFile("page.htm", LinkPage);
        auto form = start();
        QSignalSpy loaded(form->WebBrowser1, &QWebEngineView::loadFinished);
        EXPECT_TRUE(loaded.wait(20000));
        return form;
    }

    TempWorkDir dir;
    MessageBoxRecorder boxes;
    PinnedClock clock{FromQDateTime(QDateTime(QDate(2026, 3, 10), QTime(15, 0)))};
    ScriptedService service;
    DesktopHandler previousDesktop;
    std::vector<std::string> opened;
    int started = 0;
    std::string archive;
};

} // namespace

TEST_F(MainWindowRequestTest, GoFetchesThePageAndShowsItWithItsSourceLink) {
    ScriptWholePage();
    auto form = start();
    QSignalSpy loaded(form->WebBrowser1, &QWebEngineView::loadFinished);
    form->ComboBox1->setEditText("x.example/page?a=1");
    QTest::mouseClick(form->ToolButton2, Qt::LeftButton);
    EXPECT_TRUE(boxes.calls().empty()) << boxes.texts().front();

    const int size = static_cast<int>(archive.size());
    EXPECT_EQ(form->Label5->text().toStdString(), std::to_string(size) + " bytes");
    EXPECT_EQ(form->ProgressBar1->maximum(), size);
    EXPECT_EQ(form->ProgressBar1->value(), size);
    EXPECT_EQ(ReadFile("page.htm"),
              PageText + "<BR><a href=\"http://x.example/page?a=1\">This page</a><BR>");
    EXPECT_EQ(ReadFile("inZel.dat"), std::string("\x88\x13\0\0", 4));
    const std::vector<StatRecord> records = StatRecords();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].WebPage, "http://x.example/page?a=1");
    EXPECT_EQ(records[0].Traffic, size);
    ASSERT_EQ(form->runState().historyList.size(), 1u);
    EXPECT_TRUE(Exists(form->runState().historyList[0]));
    EXPECT_EQ(form->ComboBox1->itemText(0).toStdString(), "x.example/page?a=1");
    EXPECT_EQ(ReadFile("links.txt"), "10.03.2026 x.example/page?a=1\r\n");

    auto shown = [&] {
        for (const QList<QVariant>& load : loaded)
            if (load.at(0).toBool())
                return true;
        return false;
    };
    EXPECT_TRUE(WaitUntil(shown, 20000));
    EXPECT_EQ(form->WebBrowser1->url().toLocalFile().toStdString(), dir.file("page.htm"));
    // The box shows where the page came from, never its local path.
    EXPECT_EQ(form->ComboBox1->currentText().toStdString(), "http://x.example/page?a=1");
    EXPECT_TRUE(form->WebBrowser1->hasFocus() || !QGuiApplication::focusWindow());
}

TEST_F(MainWindowRequestTest, EnterInTheAddressBoxRequestsAndInNewWindowStartsAnInstance) {
    ScriptWholePage();
    auto form = start();
    form->CheckBox2->setChecked(true);
    form->ComboBox1->setEditText("x.example");
    form->ComboBox1->setFocus();
    QTest::keyClick(form->ComboBox1, Qt::Key_Return);
    EXPECT_TRUE(boxes.calls().empty()) << boxes.texts().front();
    EXPECT_EQ(service.requests().size(), 2u);
    EXPECT_EQ(started, 1) << "the new instance shows the page";
    EXPECT_EQ(form->runState().historyList.size(), 1u);
}

TEST_F(MainWindowRequestTest, TheProgressTimerFollowsTheDownload) {
    archive = ZipBytes({{"page.htm", PageText}, {"page.files/big.bin", std::string(200000, 'b')}});
    service.script("/zel/page", {{"OK," + std::to_string(archive.size()) + ";5000:"}});
    service.script("/zel/arch/", {Answer::Slowly(archive, 1500)});
    auto form = start();
    int sampled = -1;
    bool timerOn = false;
    service.atRequest(
        2,
        [&] {
            sampled = form->ProgressBar1->value();
            timerOn = form->Timer1->isActive();
        },
        750);
    form->ComboBox1->setEditText("x.example");
    form->ToolButton2Click();
    EXPECT_TRUE(timerOn);
    EXPECT_GT(sampled, 0);
    EXPECT_LT(sampled, static_cast<int>(archive.size()));
    EXPECT_FALSE(form->Timer1->isActive());
    EXPECT_EQ(form->ProgressBar1->value(), static_cast<int>(archive.size()));
}

TEST_F(MainWindowRequestTest, ASecondRequestIsRefusedWhileOneRunsAndStopEndsIt) {
    service.script("/zel/page", {Answer::Held()});
    auto form = start();
    QGuiApplication::clipboard()->setText("pasted.example");
    std::string refusal;
    std::string boxWhileRunning;
    service.atRequest(1, [&] {
        QTest::mouseClick(form->ToolButton2, Qt::LeftButton);
        QTest::keyClick(form->ComboBox1, Qt::Key_Return);
        QTest::mouseClick(form->ToolButton1, Qt::LeftButton); // Paste
        refusal = form->StatusBar1->currentMessage().toStdString();
        boxWhileRunning = form->ComboBox1->currentText().toStdString();
        QTest::mouseClick(form->ToolButton7, Qt::LeftButton); // Stop
    });
    form->ComboBox1->setEditText("first.example");
    QTest::mouseClick(form->ToolButton2, Qt::LeftButton);
    EXPECT_EQ(refusal, "A page request is running; press Stop to end it first.");
    EXPECT_EQ(boxWhileRunning, "http://first.example");
    EXPECT_EQ(service.requests().size(), 1u);
    EXPECT_EQ(boxes.texts(), std::vector<std::string>{"Request aborted."});
    EXPECT_FALSE(form->RequestRunning());
}

TEST_F(MainWindowRequestTest, ClosingTheWindowStopsTheRequestThenClosesAndWritesTheSettings) {
    service.script("/zel/page", {{"NexT;10:"}});
    service.script("/zel/poll", {Answer::Held()});
    auto form = start();
    form->optionsDialog()->SpinEdit2->setValue(12);
    service.atRequest(2, [&] { form->close(); });
    form->ComboBox1->setEditText("x.example");
    QTest::mouseClick(form->ToolButton2, Qt::LeftButton);
    EXPECT_FALSE(form->isVisible());
    EXPECT_FALSE(form->RequestRunning());
    EXPECT_TRUE(form->runState().stopFlag);
    EXPECT_TRUE(boxes.calls().empty()) << boxes.texts().front();
    SettingsRecord written;
    const std::string bytes = ReadFile("nastr.dat");
    ASSERT_EQ(bytes.size(), SettingsRecord::Size);
    std::copy(bytes.begin(), bytes.end(), reinterpret_cast<char*>(written.bytes().data()));
    EXPECT_EQ(written.keepDays(), 12);
    EXPECT_EQ(written.login(), Login);
    // A later request of the same window works as usual.
    service.script("/zel/page", {{"Bad,later"}});
    form->ToolButton2Click();
    EXPECT_EQ(boxes.texts(), std::vector<std::string>{"later"});
}

TEST_F(MainWindowRequestTest, TheStartPageShowsTheAddressItCameFrom) {
    WriteFile("page.zip", std::string(321, 'z'));
    WriteFile("page.htm", "<p>last run</p><BR><a href=\"http://last.example/\">This page</a><BR>");
    auto form = start();
    QSignalSpy loaded(form->WebBrowser1, &QWebEngineView::loadFinished);
    EXPECT_TRUE(loaded.wait(20000));
    EXPECT_EQ(form->ComboBox1->currentText().toStdString(), "http://last.example/");
    EXPECT_EQ(form->Label5->text().toStdString(), "321 bytes");
    EXPECT_TRUE(service.requests().empty());
}

TEST_F(MainWindowRequestTest, AClickedLinkIsRequestedDecodedAndNotLoadedByTheView) {
    service.script("/zel/page", {{"Bad,seen"}});
    auto form = StartWithLinkPage();
    EXPECT_EQ(Hover(*form, 30), "http://x.example/a b");
    Click(*form, 30);
    ASSERT_TRUE(WaitUntil([&] { return !boxes.calls().empty(); }, 20000));
    EXPECT_EQ(boxes.texts(), std::vector<std::string>{"seen"});
    ASSERT_EQ(service.requestLines().size(), 1u);
    EXPECT_NE(service.requestLines()[0].find("&url=http://x.example/a%20b HTTP/1.0"),
              std::string::npos)
        << service.requestLines()[0];
    EXPECT_EQ(form->ComboBox1->currentText().toStdString(), "http://x.example/a b");
    EXPECT_EQ(form->WebBrowser1->url().toLocalFile().toStdString(), dir.file("page.htm"));

    // The view spells this link's "+" and "%2B" otherwise than the target:
    // still a click, requested with the decoded address.
    EXPECT_EQ(Hover(*form, 90), "http://x.example/s?q=a+b%2Bc");
    Click(*form, 90);
    ASSERT_TRUE(WaitUntil([&] { return boxes.calls().size() == 2; }, 20000));
    ASSERT_EQ(service.requestLines().size(), 2u);
    EXPECT_NE(service.requestLines()[1].find("&url=http://x.example/s^^^^^q=a%20b+c HTTP/1.0"),
              std::string::npos)
        << service.requestLines()[1];
}

TEST_F(MainWindowRequestTest, AScriptNavigationIsDroppedAndANewWindowLinkIsFetchedHere) {
    service.script("/zel/page", {{"Bad,seen"}});
    auto form = StartWithLinkPage();
    Hover(*form, 30);
    // The view runs no script of the page's: the test's own world navigates.
    form->WebBrowser1->page()->runJavaScript(
        QStringLiteral("location.href = 'http://x.example/script'"),
        QWebEngineScript::ApplicationWorld);
    // Dropped: the box keeps the page on show (which came from no address).
    Pause(500);
    EXPECT_EQ(form->ComboBox1->currentText().toStdString(), "");
    EXPECT_TRUE(service.requests().empty());
    EXPECT_TRUE(boxes.calls().empty());
    EXPECT_EQ(form->WebBrowser1->url().toLocalFile().toStdString(), dir.file("page.htm"));

    // A window opened by a script with no link under the mouse: dropped too.
    ASSERT_TRUE(MoveMouse(*form, 300, [](const QString& text) { return text.isEmpty(); }));
    form->WebBrowser1->page()->runJavaScript(
        QStringLiteral("window.open('http://x.example/popup')"),
        QWebEngineScript::ApplicationWorld);
    Pause(500);
    EXPECT_TRUE(service.requests().empty());
    EXPECT_TRUE(boxes.calls().empty());

    EXPECT_EQ(Hover(*form, 150), "http://x.example/new");
    Click(*form, 150);
    ASSERT_TRUE(WaitUntil([&] { return !boxes.calls().empty(); }, 20000));
    ASSERT_EQ(service.requestLines().size(), 1u);
    EXPECT_NE(service.requestLines()[0].find("&url=http://x.example/new HTTP/1.0"),
              std::string::npos);
    EXPECT_EQ(form->WebBrowser1->url().toLocalFile().toStdString(), dir.file("page.htm"));
}

TEST_F(MainWindowRequestTest, InfoReportsTheTrafficOfThePageOnShow) {
    auto form = start();
    QTest::mouseClick(form->ToolButton3, Qt::LeftButton);
    form->runState().trafficCounter = 100;
    form->runState().pageSizeTotal = 399;
    QTest::mouseClick(form->ToolButton3, Qt::LeftButton);
    ASSERT_EQ(boxes.calls().size(), 2u);
    EXPECT_EQ(boxes.calls()[0].text, "There were not loading yet.");
    EXPECT_EQ(boxes.calls()[1].text, "  Traffic: 100\r\r  Web-page size: 399\r\r"
                                     "  Compressed: 25 %\r\r  Economized: 299 bytes");
    for (const MessageBoxCall& call : boxes.calls())
        EXPECT_EQ(call.kind, MessageKind::Information);
}

TEST_F(MainWindowRequestTest, ToBrowserOnLineAndHelpActOnThePageOnShow) {
    auto form = start();
    form->CheckBox3->setChecked(true);
    QTest::mouseClick(form->ToolButton5, Qt::LeftButton);
    EXPECT_EQ(opened, std::vector<std::string>{dir.file("page.htm")});
    EXPECT_TRUE(IsOffLine()) << "Work Off Line goes off line before the page leaves";
    QTest::mouseClick(form->ToolButton4, Qt::LeftButton);
    EXPECT_FALSE(IsOffLine());
    EXPECT_TRUE(form->CheckBox3->isChecked());

    QSignalSpy loaded(form->WebBrowser1, &QWebEngineView::loadFinished);
    form->About1->trigger();
    EXPECT_EQ(ReadFile("page.htm"), "<h1>Help</h1>\r\n");
    EXPECT_TRUE(loaded.wait(20000));
    EXPECT_EQ(form->WebBrowser1->url().toLocalFile().toStdString(), dir.file("page.htm"));
    EXPECT_TRUE(boxes.calls().empty());
}

TEST_F(MainWindowRequestTest, TheAddressBoxFollowsThePageOnShowThroughHistoryAndReload) {
    const std::string one = ZipBytes({{"page.htm", "<p>one</p>"}});
    const std::string two =
        ZipBytes({{"page.htm", "<iframe src=\"page.files/page1.htm\"></iframe>"},
                  {"page.files/page1.htm", "<p>frame</p>"}});
    auto ready = [](const std::string& zip) {
        return Answer{"OK," + std::to_string(zip.size()) + ";9:"};
    };
    service.script("/zel/page", {ready(one), ready(two), ready(one)});
    service.script("/zel/arch/", {{one}, {two}, {one}});
    auto form = start();
    QSignalSpy loaded(form->WebBrowser1, &QWebEngineView::loadFinished);
    loaded.wait(20000); // the start page, missing here
    const std::string a = "http://a.example/one", b = "https://b.example/two";
    const struct {
        const char* typed;
        QAction* action;
        int copy; // the history copy shown, or -1 for "page.htm"
        const std::string& box;
        const std::string& archive;
    } steps[] = {
        {"a.example/one", nullptr, -1, a, one}, {"https://b.example/two", nullptr, -1, b, two},
        {nullptr, form->Back1, 0, a, one},      {nullptr, form->Forward1, 1, b, two},
        {nullptr, form->Back1, 0, a, one},      {nullptr, form->Reload1, -1, a, one}};
    for (const auto& step : steps) {
        loaded.clear();
        if (step.typed) {
            form->ComboBox1->clearEditText();
            QTest::keyClicks(form->ComboBox1, QString::fromUtf8(step.typed));
            QTest::keyClick(form->ComboBox1, Qt::Key_Return);
        } else {
            step.action->trigger();
        }
        const std::string file =
            dir.file(step.copy < 0 ? "page.htm" : form->runState().historyList.at(step.copy));
        auto shown = [&] {
            return !loaded.isEmpty() &&
                   form->WebBrowser1->url().toLocalFile().toStdString() == file;
        };
        ASSERT_TRUE(WaitUntil(shown, 20000)) << step.box;
        Pause(100); // a late frame would come now
        EXPECT_EQ(form->ComboBox1->currentText().toStdString(), step.box);
        EXPECT_EQ(form->Label5->text().toStdString(),
                  std::to_string(step.archive.size()) + " bytes");
        for (int item = 0; item < form->ComboBox1->count(); ++item)
            EXPECT_FALSE(form->ComboBox1->itemText(item).startsWith('/'));
    }
    EXPECT_TRUE(boxes.calls().empty());
    ASSERT_EQ(service.requestLines().size(), 6u);
    EXPECT_NE(service.requestLines()[4].find("&url=" + a + " HTTP"), std::string::npos) << "Reload";
}

TEST_F(MainWindowRequestTest, EnterRequestsWhatWasTypedNotACompletion) {
    service.script("/zel/page", {{"Bad,seen"}});
    WriteFile("links.txt", "10.03.2026 x.example/kicad/introduction.html\r\n");
    auto form = start();
    QApplication::setActiveWindow(form.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    form->ComboBox1->setFocus();
    QTest::keyClicks(form->ComboBox1, QStringLiteral("x.example/kicad/"));
    QWidget* list = form->ComboBox1->completer()->popup();
    QTest::keyClick(list && list->isVisible() ? list : static_cast<QWidget*>(form->ComboBox1),
                    Qt::Key_Return);
    ASSERT_EQ(service.requestLines().size(), 1u);
    EXPECT_NE(service.requestLines()[0].find("&url=http://x.example/kicad/ HTTP"),
              std::string::npos)
        << service.requestLines()[0];
}

TEST_F(MainWindowRequestTest, WhileTheServiceWorksTheWindowSaysWhatAndMarksTheOldPage) {
    service.script("/zel/page", {{"NexT;1000:"}});
    service.script("/zel/poll", {Answer::Held()});
    auto form = start();
    std::string status;
    bool marked = false;
    int maximum = -1;
    service.atRequest(2, [&] {
        form->WebBrowser1StatusTextChange("http://x.example/a.html"); // the mouse passes a link
        form->WebBrowser1StatusTextChange("");
        status = form->StatusBar1->currentMessage().toStdString();
        marked = form->OldPageLabel->isVisible();
        maximum = form->ProgressBar1->maximum();
        form->ToolButton7Click();
    });
    form->ComboBox1->setEditText("x.example");
    form->ToolButton2Click();
    EXPECT_EQ(status.rfind("The service is fetching the page: 1000 bytes so far (", 0), 0u)
        << status;
    EXPECT_TRUE(marked && maximum == 0) << "the old page is marked, the bar pulses";
    EXPECT_FALSE(form->OldPageLabel->isVisible());
    EXPECT_EQ(form->ProgressBar1->maximum(), 100);
}
