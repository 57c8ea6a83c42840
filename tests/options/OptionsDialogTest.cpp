#include "ColorCount.h"
#include "MessageBoxRecorder.h"
#include "TForm2.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

using namespace zel;

namespace {

SettingsRecord Record(int quality, int exponent) {
    SettingsRecord record;
    record.setJpegQuality(quality);
    record.setColorExponent(exponent);
    return record;
}

void ShowActive(TForm2& dialog) {
    dialog.show();
    dialog.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
}

} // namespace

TEST(OptionsDialog, AllZeroRecordGivesEmptyFieldsAndTheLeftEnds) {
    TForm2 dialog{SettingsRecord()};
    EXPECT_EQ(dialog.size(), QSize(377, 238));
    QStringList captions;
    for (int i = 0; i < dialog.PageControl1->count(); ++i)
        captions << dialog.PageControl1->tabText(i);
    EXPECT_EQ(captions, QStringList({"Login", "Proxy", "Other", "Images", "Get Login"}));
    EXPECT_EQ(dialog.login(), "");
    EXPECT_EQ(dialog.proxyHost(), "");
    EXPECT_EQ(dialog.proxyPort(), 0);
    EXPECT_EQ(dialog.SpinEdit1->text(), "0");
    EXPECT_EQ(dialog.keepDays(), 0);
    EXPECT_EQ(dialog.jpegQuality(), 0);
    EXPECT_EQ(dialog.Label9->text(), "0%");
    EXPECT_EQ(dialog.colorExponent(), 1);
    EXPECT_EQ(dialog.Label11->text(), "2");
    EXPECT_FALSE(dialog.gray());
}

TEST(OptionsDialog, ValueLabelsMatchTheStoredPositionsAtOnce) {
    {
        TForm2 dialog{Record(100, 8)};
        EXPECT_EQ(dialog.Label9->text(), "100% (default)");
        EXPECT_EQ(dialog.Label11->text(), "256 (default)");
    }
    {
        // Both equal the design positions: no change fires.
        TForm2 dialog{Record(50, 1)};
        EXPECT_EQ(dialog.Label9->text(), "50%");
        EXPECT_EQ(dialog.Label11->text(), "2");
    }
    {
        // Out-of-range bytes land on the nearest end.
        TForm2 dialog{Record(200, 9)};
        EXPECT_EQ(dialog.jpegQuality(), 100);
        EXPECT_EQ(dialog.Label9->text(), "100% (default)");
        EXPECT_EQ(dialog.colorExponent(), 8);
        EXPECT_EQ(dialog.Label11->text(), "256 (default)");
    }
}

TEST(OptionsDialog, RecordFillsEveryControl) {
    SettingsRecord record = Record(75, 5);
    record.setLogin("user123456789");
    record.setProxy("proxy.example.net");
    record.setProxyPort(-3128);
    record.setKeepDays(400);
    record.setGray(true);
    TForm2 dialog{record};
    EXPECT_EQ(dialog.login(), "user123456789");
    EXPECT_EQ(dialog.proxyHost(), "proxy.example.net");
    EXPECT_EQ(dialog.proxyPort(), -3128);
    EXPECT_EQ(dialog.keepDays(), 365);
    EXPECT_EQ(dialog.Label9->text(), "75%");
    EXPECT_EQ(dialog.Label11->text(), "32");
    EXPECT_TRUE(dialog.gray());

    record.setKeepDays(-1);
    EXPECT_EQ(TForm2{record}.keepDays(), 0);
}

TEST(OptionsDialog, TrackBarsKeepTheirLabelsUpToDate) {
    TForm2 dialog{Record(100, 8)};
    dialog.TrackBar2->setValue(7);
    EXPECT_EQ(dialog.Label11->text(), "128");
    const char* counts[] = {"2", "4", "8", "16", "32", "64", "128"};
    for (int n = 1; n <= 7; ++n) {
        dialog.TrackBar2->setValue(n);
        EXPECT_EQ(dialog.Label11->text(), counts[n - 1]);
        EXPECT_EQ(GifColorCount(n), std::stoi(counts[n - 1]));
    }
    EXPECT_EQ(GifColorCount(8), 256);
    dialog.TrackBar1->setValue(99);
    EXPECT_EQ(dialog.Label9->text(), "99%");
    QTest::keyClick(dialog.TrackBar1, Qt::Key_Right);
    EXPECT_EQ(dialog.Label9->text(), "100% (default)");
}

TEST(OptionsDialog, TypedValuesFollowTheFieldRules) {
    TForm2 dialog{SettingsRecord()};
    ShowActive(dialog);

    dialog.PageControl1->setCurrentWidget(dialog.TabSheet3);
    dialog.SpinEdit2->setFocus();
    QTest::keyClick(dialog.SpinEdit2, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(dialog.SpinEdit2, "400");
    dialog.Button1->setFocus();
    EXPECT_EQ(dialog.keepDays(), 365);

    dialog.PageControl1->setCurrentWidget(dialog.TabSheet2);
    dialog.SpinEdit1->setFocus();
    QTest::keyClicks(dialog.SpinEdit1, "port");
    EXPECT_EQ(dialog.SpinEdit1->text(), "0");
    QTest::keyClick(dialog.SpinEdit1, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(dialog.SpinEdit1, Qt::Key_Delete);
    dialog.Button1->setFocus();
    EXPECT_EQ(dialog.SpinEdit1->text(), "");
    EXPECT_EQ(dialog.proxyPort(), 0);

    dialog.PageControl1->setCurrentWidget(dialog.TabSheet1);
    dialog.Edit1->setFocus();
    QTest::keyClicks(dialog.Edit1, QString(40, u'x'));
    EXPECT_EQ(dialog.login(), std::string(30, 'x'));

    // Enter in a field neither closes the dialog nor presses a button.
    QSignalSpy ok(dialog.Button1, &QPushButton::clicked);
    QSignalSpy getLogin(dialog.Button2, &QPushButton::clicked);
    QTest::keyClick(dialog.Edit1, Qt::Key_Return);
    dialog.PageControl1->setCurrentWidget(dialog.TabSheet4);
    dialog.Edit3->setFocus();
    QTest::keyClick(dialog.Edit3, Qt::Key_Return);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(ok.count() + getLogin.count(), 0);
    zel::test::MessageBoxRecorder boxes; // the empty e-mail is refused
    dialog.Button2->setFocus();
    QTest::keyClick(dialog.Button2, Qt::Key_Return);
    EXPECT_EQ(getLogin.count(), 1);
    EXPECT_EQ(boxes.texts(), std::vector<std::string>{"Wrong E-mail."});
}

TEST(OptionsDialog, LoginInTheRecordIsCutTo30) {
    SettingsRecord record;
    record.setLogin(std::string(40, 'L'));
    EXPECT_EQ(TForm2{record}.login(), std::string(30, 'L'));
}

TEST(OptionsDialog, OkEndsTheShowingAndKeepsSettingsAndPage) {
    TForm2 dialog{Record(50, 1)};
    QTimer::singleShot(0, [&] {
        dialog.PageControl1->setCurrentWidget(dialog.Images);
        dialog.TrackBar1->setValue(80);
        QTest::mouseClick(dialog.Button1, Qt::LeftButton);
    });
    EXPECT_EQ(dialog.exec(), QDialog::Accepted);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.jpegQuality(), 80);

    QTimer::singleShot(0, [&] { dialog.close(); });
    dialog.exec();
    EXPECT_EQ(dialog.jpegQuality(), 80);
    EXPECT_EQ(dialog.PageControl1->currentWidget(), dialog.Images);
}
