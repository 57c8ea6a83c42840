#include "ClickLabel.h"
#include "ConnectedState.h"
#include "DateTime.h"
#include "ErrorGuard.h"
#include "MessageBoxRecorder.h"
#include "PageStore.h"
#include "PinnedClock.h"
#include "PinnedLocale.h"
#include "ProgramWindows.h"
#include "TForm2.h"
#include "TempWorkDir.h"
#include "TestEnvironment.h"
#include "WebBrowser.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QProgressBar>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>
#include <QWebEngineView>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>

using namespace zel;
using namespace zel::test;
namespace fs = std::filesystem;

namespace {

// 10 March 2026, 15:00 local time: away from midnight, so "today" is fixed.
const DateTime PinnedNow = FromQDateTime(QDateTime(QDate(2026, 3, 10), QTime(15, 0)));

void putInt(std::string& bytes, std::size_t offset, std::int32_t value) {
    std::memcpy(bytes.data() + offset, &value, 4); // the build machine is little-endian
}

void putShort(std::string& bytes, std::size_t offset, const std::string& text) {
    bytes[offset] = static_cast<char>(text.size());
    std::memcpy(bytes.data() + offset + 1, text.data(), text.size());
}

// A settings file whose every unused byte carries a value of its own.
std::string sampleSettings() {
    std::string bytes(120, '\0');
    bytes[0] = '\x5A';
    bytes[1] = 1; // Load images
    bytes[2] = 0; // In new window
    bytes[3] = 1; // Work Off Line
    bytes[4] = 1; // Gray
    bytes[5] = 'p', bytes[6] = 'a', bytes[7] = 'd';
    putInt(bytes, 8, 12); // keep days
    putShort(bytes, 12, "login1234567");
    putShort(bytes, 43, "proxy.example");
    bytes[94] = '\x11', bytes[95] = '\x22';
    putInt(bytes, 96, 3128);
    putInt(bytes, 100, -30); // Top
    putInt(bytes, 104, -50); // Left
    putInt(bytes, 108, 640);
    putInt(bytes, 112, 400);
    bytes[116] = 77;
    bytes[117] = 5;
    bytes[118] = '\x33', bytes[119] = '\x44';
    return bytes;
}

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override { WriteFile("inZel.dat", std::string(4, '\0')); }
    void TearDown() override {
        PinLocaleAndFormats();
        SetConnectedState(false);
    }

    std::unique_ptr<TForm1> start() {
        auto form = CreateProgramWindows();
        form->show();
        return form;
    }
    // Starts with the sample settings and `links` as the address list.
    std::unique_ptr<TForm1> startWith(const std::string& links = "") {
        WriteFile("nastr.dat", sampleSettings());
        WriteFile("links.txt", links);
        return start();
    }

    std::vector<std::string> items(TForm1& form) {
        std::vector<std::string> out;
        for (int i = 0; i < form.ComboBox1->count(); ++i)
            out.push_back(form.ComboBox1->itemText(i).toStdString());
        return out;
    }

    std::string dated(int daysAgo, const std::string& address) {
        return DateToStr(PinnedNow - daysAgo) + " " + address;
    }

    TempWorkDir dir;
    MessageBoxRecorder boxes;
    PinnedClock clock{PinnedNow};
};

} // namespace

TEST_F(MainWindowTest, TheArchiveSizeFitsBeforeTheCheckBoxesAndTheBarKeepsItsWidth) {
    auto form = startWith();
    const int emptyBar = form->ProgressBar1->width();
    form->Label5->setText(QStringLiteral("2147483647 bytes"));
    form->Label5->parentWidget()->layout()->activate(); // the row follows the text
    EXPECT_EQ(form->ProgressBar1->width(), emptyBar);
    const int textEnd =
        form->Label5->x() + form->Label5->fontMetrics().horizontalAdvance(form->Label5->text());
    EXPECT_GE(form->CheckBox1->x() - textEnd, 4) << "the size runs into the check box";
    // The tool buttons stay side by side at the left of a wide window.
    form->resize(2000, form->height());
    form->ToolButton4->parentWidget()->layout()->activate();
    EXPECT_LT(form->ToolButton4->geometry().right(), 1000);
}

TEST_F(MainWindowTest, SettingsComeBackByteForByteAfterARun) {
    auto form = startWith();
    EXPECT_TRUE(boxes.calls().empty()) << boxes.texts().front();
    EXPECT_TRUE(form->CheckBox1->isChecked());
    EXPECT_FALSE(form->CheckBox2->isChecked());
    EXPECT_TRUE(form->CheckBox3->isChecked());
    EXPECT_TRUE(IsOffLine()) << "Work Off Line sets the view off line at start";
    EXPECT_EQ(form->x(), -50);
    EXPECT_EQ(form->y(), -30);
    EXPECT_EQ(form->optionsDialog()->login(), "login1234567");
    EXPECT_EQ(form->optionsDialog()->proxyPort(), 3128);
    form->close();
    EXPECT_EQ(ReadFile("nastr.dat"), sampleSettings());
    EXPECT_FALSE(Exists("nastr.dat.new"));
}

TEST_F(MainWindowTest, ChangesOfTheRunAreSavedWithTheProxyCutTo50) {
    auto form = startWith();
    const std::string proxy60 = std::string(50, 'p') + "0123456789";
    form->optionsDialog()->Edit2->setText(QString::fromStdString(proxy60));
    form->CheckBox2->setChecked(true);
    form->Label4Click(); // unchecks "Work Off Line"
    form->move(-200, 15);
    form->close();

    std::string expected = sampleSettings();
    expected[2] = 1;
    expected[3] = 0;
    putShort(expected, 43, std::string(50, 'p'));
    putInt(expected, 100, 15);
    putInt(expected, 104, -200);
    EXPECT_EQ(ReadFile("nastr.dat"), expected);
}

TEST_F(MainWindowTest, MissingSettingsShowTheErrorAndTheDesignedWindow) {
    WriteFile("links.txt", dated(0, "kept.example"));
    WriteFile("page.zip", std::string(1234, 'z'));
    auto form = start();
    EXPECT_EQ(boxes.texts(), std::vector<std::string>{"File not found"});
    EXPECT_EQ(boxes.calls()[0].kind, MessageKind::Error);
    EXPECT_EQ(form->pos(), QPoint(316, 105));
    EXPECT_EQ(form->size(), QSize(700, 483));
    EXPECT_FALSE(form->CheckBox1->isChecked());
    EXPECT_FALSE(form->CheckBox2->isChecked());
    EXPECT_FALSE(form->CheckBox3->isChecked());
    EXPECT_EQ(form->ComboBox1->count(), 0) << "creation ended before the address list";
    EXPECT_EQ(form->runState().trafficCounter, 0);
    EXPECT_EQ(form->windowTitle(), " ZELbrowser 1.3.3.3");
}

TEST_F(MainWindowTest, CountersOfTheLastPageAreReadAtStart) {
    WriteFile("page.zip", std::string(1234, 'z'));
    WriteFile("inZel.dat", std::string("\xF4\x01\0\0", 4));
    auto form = startWith();
    EXPECT_EQ(form->runState().trafficCounter, 1234);
    EXPECT_EQ(form->runState().pageSizeTotal, 500);

    std::remove("inZel.dat");
    auto withoutSize = start();
    EXPECT_EQ(boxes.texts(), std::vector<std::string>{"File not found"});
    EXPECT_EQ(withoutSize->runState().trafficCounter, 1234);
    EXPECT_EQ(withoutSize->runState().pageSizeTotal, 0);
}

TEST_F(MainWindowTest, BrokenStartFilesAreReportedAndWhatWasReadStays) {
    WriteFile("nastr.dat", sampleSettings().substr(0, 119));
    auto shortFile = start();
    EXPECT_EQ(boxes.texts(), std::vector<std::string>{"Read beyond end of file"});
    shortFile.reset();

    WriteFile("nastr.dat", sampleSettings());
    auto noLinks = start();
    EXPECT_EQ(boxes.texts().back(), "Cannot open file links.txt");
    EXPECT_TRUE(noLinks->CheckBox1->isChecked()) << "applied before the failure";
    EXPECT_EQ(noLinks->x(), -50);
}

TEST_F(MainWindowTest, AddressListDropsExpiredLinesButShowsThemForThisRun) {
    std::string settings = sampleSettings();
    putInt(settings, 8, 2);
    WriteFile("nastr.dat", settings);
    WriteFile("links.txt", dated(0, "today.example/a") + "\r\n" + dated(1, "Yesterday.example") +
                               "\r\n" + dated(10, "old.example") + "\r\n");
    auto form = start();
    EXPECT_EQ(items(*form),
              (std::vector<std::string>{"old.example", "today.example/a", "Yesterday.example"}));
    EXPECT_EQ(form->ComboBox1->currentText(), "") << "loading the list selects nothing";
    EXPECT_EQ(ReadFile("links.txt"),
              dated(0, "today.example/a") + "\r\n" + dated(1, "Yesterday.example") + "\r\n");
}

TEST_F(MainWindowTest, AddressListKeepsLinesThatAreNotDates) {
    const std::string foreign = "2026-03-01 written.elsewhere";
    auto form = startWith(foreign + "\r\n\r\n" + dated(3, "fine.example") + "\n");
    EXPECT_TRUE(boxes.calls().empty());
    EXPECT_EQ(ReadFile("links.txt"), foreign + "\r\n\r\n" + dated(3, "fine.example") + "\r\n");
    EXPECT_EQ(items(*form), (std::vector<std::string>{foreign, "fine.example"}));
}

TEST_F(MainWindowTest, UnpaddedDatesOfOtherLengthsKeepTheirWholeAddress) {
    SetDateFormats({"d.M.yyyy", "HH:mm:ss"}); // today is "10.3.2026", nine characters
    auto form = startWith("9.3.2026 short.example\r\n28.12.2025 expired.example\r\n");
    EXPECT_EQ(items(*form), (std::vector<std::string>{"expired.example", "short.example"}));
    EXPECT_EQ(ReadFile("links.txt"), "9.3.2026 short.example\r\n");
}

TEST_F(MainWindowTest, TwoDigitYearDatesKeepTheListAcrossStarts) {
    PinnedLocale us(QLocale::c(), "M/d/yy");
    // The sample settings keep links for 12 days.
    auto form = startWith("3/10/26 today.example\r\n3/1/26 \r\n2/20/26 old.example\r\n");
    EXPECT_EQ(items(*form), (std::vector<std::string>{"", "old.example", "today.example"}));
    EXPECT_EQ(ReadFile("links.txt"), "3/10/26 today.example\r\n3/1/26 \r\n");
    form->ComboBox1->setEditText("http://new.example");
    form->AddToAddressList(form->ComboBox1->currentText().toStdString());
    form->close();

    auto again = start();
    EXPECT_EQ(items(*again), (std::vector<std::string>{"", "new.example", "today.example"}));
    EXPECT_EQ(ReadFile("links.txt"), "3/10/26 today.example\r\n3/1/26 \r\n3/10/26 new.example\r\n");
}

TEST_F(MainWindowTest, RewrittenFilesKeepTheirPermissions) {
    WriteFile("nastr.dat", sampleSettings());
    WriteFile("links.txt", dated(0, "kept.example") + "\r\n");
    fs::permissions("nastr.dat", fs::perms::owner_read | fs::perms::owner_write);
    fs::permissions("links.txt",
                    fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    auto form = start();
    form->close();
    EXPECT_EQ(fs::status("nastr.dat").permissions(),
              fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(fs::status("links.txt").permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(ReadFile("links.txt"), dated(0, "kept.example") + "\r\n");
}

TEST_F(MainWindowTest, EmptyAddressListStaysEmpty) {
    auto form = startWith();
    EXPECT_EQ(form->ComboBox1->count(), 0);
    EXPECT_EQ(ReadFile("links.txt"), "");
}

TEST_F(MainWindowTest, AddingAnAddressStripsLowerCasePrefixesOnly) {
    auto form = startWith(dated(0, "example.com/a") + "\r\n");
    const std::string before = ReadFile("links.txt");

    form->ComboBox1->setEditText("http://www.example.com/a");
    form->AddToAddressList(form->ComboBox1->currentText().toStdString());
    EXPECT_EQ(items(*form), std::vector<std::string>{"example.com/a"});
    EXPECT_EQ(ReadFile("links.txt"), before);

    form->ComboBox1->setEditText("HTTP://www.example.com/a");
    form->AddToAddressList(form->ComboBox1->currentText().toStdString());
    EXPECT_EQ(items(*form),
              (std::vector<std::string>{"example.com/a", "HTTP://www.example.com/a"}));
    EXPECT_EQ(form->ComboBox1->currentText(), "HTTP://www.example.com/a");
    EXPECT_EQ(ReadFile("links.txt"), before + "10.03.2026 HTTP://www.example.com/a\r\n");

    form->ComboBox1->setEditText("www.Alpha.org");
    form->AddToAddressList(form->ComboBox1->currentText().toStdString());
    EXPECT_EQ(items(*form).front(), "Alpha.org");
}

TEST_F(MainWindowTest, AddingWithoutLinksFileKeepsTheItemAndReports) {
    auto form = startWith();
    std::remove("links.txt");
    form->ComboBox1->setEditText("http://new.example");
    Guarded([&] { form->AddToAddressList(form->ComboBox1->currentText().toStdString()); });
    EXPECT_EQ(items(*form), std::vector<std::string>{"new.example"});
    EXPECT_EQ(boxes.texts(), std::vector<std::string>{"File not found"});
    EXPECT_FALSE(Exists("links.txt"));
}

TEST_F(MainWindowTest, LabelsToggleTheirCheckBoxes) {
    auto form = startWith();
    QTest::mouseClick(form->Label2, Qt::LeftButton);
    QTest::mouseClick(form->Label3, Qt::LeftButton);
    EXPECT_FALSE(form->CheckBox1->isChecked());
    EXPECT_TRUE(form->CheckBox2->isChecked());
    EXPECT_TRUE(IsOffLine()) << "unchecking Work Off Line does nothing by itself";
    QTest::mouseClick(form->Label4, Qt::LeftButton);
    EXPECT_FALSE(form->CheckBox3->isChecked());
    EXPECT_TRUE(IsOffLine());
}

TEST_F(MainWindowTest, UnwritableSettingsNeverKeepTheWindowOpen) {
    WriteFile("links.txt", "");
    std::filesystem::create_directory("nastr.dat");
    auto form = start();
    form->close();
    EXPECT_FALSE(form->isVisible());
    ASSERT_FALSE(boxes.calls().empty());
    EXPECT_EQ(boxes.calls().back().kind, MessageKind::Error);
    EXPECT_TRUE(std::filesystem::is_directory("nastr.dat"));
    EXPECT_FALSE(Exists("nastr.dat.new"));
}

TEST_F(MainWindowTest, BackAndForwardShowThisRunsCopiesAndCloseDeletesThem) {
    std::filesystem::create_directories("page.files");
    std::filesystem::create_directories("zelhistory");
    WriteFile("zelhistory/1.htm", "from another run");
    auto form = startWith();
    for (int i = 0; i < 3; ++i) {
        WriteFile("page.htm", "<p>page " + std::to_string(i) + "</p>");
        WriteFile("page.files/img.gif", "GIF" + std::to_string(i));
        clock.set(PinnedNow + i / 24.0);
        StoreInHistory(form->runState());
    }
    const std::vector<std::string> history = form->runState().historyList;
    ASSERT_EQ(history.size(), 3u);

    QSignalSpy loaded(form->WebBrowser1, &QWebEngineView::loadFinished);
    auto shownAfter = [&](QToolButton* button) {
        loaded.clear();
        QTest::mouseClick(button, Qt::LeftButton);
        if (loaded.isEmpty())
            loaded.wait(10000);
        return form->WebBrowser1->url().toLocalFile().toStdString();
    };
    EXPECT_EQ(shownAfter(form->ToolButton6), dir.file(history[1]));
    EXPECT_EQ(shownAfter(form->ToolButton6), dir.file(history[0]));
    EXPECT_EQ(form->runState().historyPosition, 1);
    EXPECT_EQ(shownAfter(form->ToolButton8), dir.file(history[1]));

    form->close();
    for (const std::string& name : history) {
        EXPECT_FALSE(Exists(name)) << name;
        EXPECT_FALSE(Exists(name.substr(0, name.size() - 4) + ".files")) << name;
    }
    EXPECT_EQ(ReadFile("zelhistory/1.htm"), "from another run");
}

TEST_F(MainWindowTest, DesktopKeysReachTheirCommandsFromAnywhereInTheWindow) {
    auto form = startWith();
    QApplication::setActiveWindow(form.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    const struct {
        QKeySequence keys;
        QAction* action;
    } rows[] = {
        {QKeySequence(Qt::CTRL | Qt::Key_L), form->Address1},
        {QKeySequence(Qt::ALT | Qt::Key_D), form->Address1},
        {QKeySequence(Qt::ALT | Qt::Key_Left), form->Back1},
        {QKeySequence(Qt::ALT | Qt::Key_Right), form->Forward1},
        {QKeySequence(Qt::Key_Escape), form->Stop1},
        {QKeySequence(Qt::CTRL | Qt::Key_S), form->SavePageAs1},
        {QKeySequence(Qt::Key_F1), form->About1},
        {QKeySequence(Qt::CTRL | Qt::Key_Q), form->Quit1},
        {QKeySequence(Qt::Key_F5), form->Reload1},
        {QKeySequence(Qt::CTRL | Qt::Key_R), form->Reload1},
    };
    EXPECT_EQ(form->Reload1->text(), QStringLiteral("Reload\tF5, Ctrl+R")) << "the menu shows both";
    for (const auto& row : rows) {
        // The commands themselves are tested on their own: here only the key counts.
        QObject::disconnect(row.action, &QAction::triggered, nullptr, nullptr);
        QSignalSpy triggered(row.action, &QAction::triggered);
        form->ComboBox1->setFocus();
        QTest::keySequence(form.get(), row.keys);
        EXPECT_EQ(triggered.count(), 1) << row.keys.toString().toStdString();
    }
}

TEST_F(MainWindowTest, TheAddressBoxSelectsItsAddressOnTheWayInOnly) {
    auto form = startWith();
    QApplication::setActiveWindow(form.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    QLineEdit* box = form->ComboBox1->lineEdit();
    auto click = [box] {
        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(5, box->height() / 2));
    };
    auto ctrlL = [&] { QTest::keySequence(form.get(), QKeySequence(Qt::CTRL | Qt::Key_L)); };
    const struct {
        const char* way;
        std::vector<std::function<void()>> steps;
        bool allSelected;
    } rows[] = {
        {"Ctrl+L", {ctrlL}, true},
        {"Ctrl+L, then a click places the cursor", {ctrlL, click}, false},
        {"a click from elsewhere", {click}, true},
        {"a click, then a click places the cursor", {click, click}, false},
        {"a click, then Ctrl+L", {click, click, ctrlL}, true},
        {"Ctrl+L twice, then a click", {ctrlL, ctrlL, click}, false},
    };
    for (const auto& row : rows) {
        form->ComboBox1->setEditText(QStringLiteral("http://shown.example/"));
        form->ToolButton2->setFocus();
        for (const auto& step : row.steps)
            step();
        EXPECT_TRUE(box->hasFocus()) << row.way;
        EXPECT_EQ(box->selectedText() == box->text(), row.allSelected) << row.way;
    }
}
