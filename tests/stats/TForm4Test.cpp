#include "TForm4.h"
#include "HeaderLabel.h"
#include "MessageBoxRecorder.h"
#include "PinnedClock.h"
#include "SavingChart.h"
#include "StatReport.h"
#include "StatStore.h"
#include "TempWorkDir.h"

#include <QDateTime>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <filesystem>
#include <gtest/gtest.h>

using namespace zel;
using namespace zel::test;

namespace {
const std::string Header = "Date,Time\t\tTraffic\t\tPage size\tEconomy\tWeb-page";
const std::string Dashes(187, '-');

std::vector<std::string> memoLines(const TForm4& form) {
    std::vector<std::string> out;
    for (const QString& line : form.Memo1->toPlainText().split(u'\n', Qt::SkipEmptyParts))
        out.push_back(line.toStdString());
    return out;
}

std::string label(const TForm4& form) {
    return form.Label1->text().toStdString();
}

class StatWindow : public ::testing::Test {
protected:
    void writeOneRecord() {
        WriteFile("stat.dat", "");
        PinnedClock clock(FromQDateTime(QDateTime(QDate(2003, 2, 1), QTime(12, 34, 56))));
        AppendStatRecord(30000, 99999, "http://example.test/");
    }
    void reshow() {
        form.hide();
        form.show();
    }

    TempWorkDir dir;
    MessageBoxRecorder boxes;
    TForm4 form;
    const std::vector<std::string> oneRecordReport{
        "01.02.2003 12:34:56\t\t30000\t\t99999\t\t69999\t\thttp://example.test/", Dashes,
        "Result (sum):\t\t0.03 Mb\t\t0.10 Mb\t\t0.07 Mb", "\t\t\t30%\t\t100%\t\t70%"};
};
} // namespace

TEST_F(StatWindow, EveryShowingRebuildsTheSameReport) {
    writeOneRecord();
    form.show();
    EXPECT_TRUE(boxes.calls().empty());
    EXPECT_EQ(label(form), Header);
    EXPECT_EQ(memoLines(form), oneRecordReport);
    EXPECT_EQ(form.Chart1->recordCount(), 1);
    reshow();
    EXPECT_EQ(memoLines(form), oneRecordReport);
    EXPECT_EQ(form.Chart1->recordCount(), 1);
}

TEST_F(StatWindow, EmptyFileGivesOnlyTheClosingLines) {
    WriteFile("stat.dat", "");
    form.show();
    EXPECT_EQ(memoLines(form),
              (std::vector<std::string>{Dashes, "Result (sum):\t\t0.00 Mb\t\t0.00 Mb\t\t0.00 Mb",
                                        "\t\t\t0%\t\t100%\t\t0%"}));
}

TEST_F(StatWindow, MissingFileIsReportedAndTheWindowStillOpens) {
    form.show();
    EXPECT_EQ(boxes.texts(), std::vector<std::string>{"File not found"});
    EXPECT_EQ(boxes.calls()[0].kind, MessageKind::Error);
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(label(form), Header);
    EXPECT_TRUE(memoLines(form).empty());
    EXPECT_FALSE(Exists("stat.dat"));
}

TEST_F(StatWindow, ClearAsksAndEmptiesFileAndMemoOnlyOnOk) {
    writeOneRecord();
    const std::string before = ReadFile("stat.dat");
    form.show();
    boxes.answerNext(MessageAnswer::Cancel);
    form.Button2->click();
    EXPECT_EQ(ReadFile("stat.dat"), before);
    EXPECT_EQ(memoLines(form), oneRecordReport);

    form.Button2->click();
    ASSERT_EQ(boxes.calls().size(), 2u);
    for (const auto& call : boxes.calls()) {
        EXPECT_EQ(call.kind, MessageKind::Information);
        EXPECT_EQ(call.text, "All this statistic will be deleted.\rAre you sure?");
        EXPECT_EQ(call.buttons, MessageButtons::OkCancel);
    }
    EXPECT_EQ(ReadFile("stat.dat"), "");
    EXPECT_TRUE(memoLines(form).empty());
    EXPECT_EQ(form.Chart1->recordCount(), 0);
    EXPECT_EQ(label(form), Header);
    reshow();
    EXPECT_EQ(memoLines(form).size(), 3u);
}

TEST_F(StatWindow, ClearThatCannotCreateTheFileKeepsTheReport) {
    writeOneRecord();
    form.show();
    std::filesystem::remove("stat.dat");
    std::filesystem::create_directory("stat.dat");
    form.Button2->click();
    ASSERT_EQ(boxes.calls().size(), 2u);
    EXPECT_EQ(boxes.calls()[1].kind, MessageKind::Error);
    EXPECT_EQ(boxes.calls()[1].text, "File access denied");
    EXPECT_EQ(memoLines(form), oneRecordReport);
}
