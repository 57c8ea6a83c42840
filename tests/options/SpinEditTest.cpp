#include "SpinEdit.h"

#include <QLineEdit>
#include <QLocale>
#include <QTest>
#include <gtest/gtest.h>

#include <limits>
#include <vector>

using namespace zel;

namespace {

// A shown, active window holding the field and a second widget to move the
// focus to.
struct FocusHost {
    QWidget window;
    SpinEdit* field = new SpinEdit(&window);
    QLineEdit* other = new QLineEdit(&window);

    FocusHost() {
        other->move(0, 40);
        window.show();
        window.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
        field->setFocus();
    }
    void type(const QString& keys) {
        QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier); // select all
        QTest::keyClicks(field, keys);
    }
    void leave() {
        other->setFocus();
        QCoreApplication::processEvents();
    }
};

std::string DecimalSeparator() {
    return QLocale().decimalPoint().toStdString();
}

} // namespace

TEST(SpinEdit, ValueComesFromTheTextAndNonNumbersReadAsTheMinimum) {
    SpinEdit field;
    field.setRange(0, 365);
    field.setText("  42");
    EXPECT_EQ(field.value(), 42);
    for (const std::string& bad :
         std::vector<std::string>{"", "-", "4-2", "1" + DecimalSeparator() + "5", "99999999999"}) {
        field.setText(bad);
        EXPECT_EQ(field.value(), 0) << bad;
    }
    field.setRange(-10, 10);
    field.setText("x");
    EXPECT_EQ(field.value(), -10);
}

TEST(SpinEdit, RangeClampsSetValuesButNoRangeKeepsAny32BitValue) {
    SpinEdit field;
    field.setRange(0, 365);
    field.setValue(400);
    EXPECT_EQ(field.text(), "365");
    field.setValue(-1);
    EXPECT_EQ(field.text(), "0");

    SpinEdit port;
    port.setRange(0, 0);
    port.setValue(std::numeric_limits<int>::min());
    EXPECT_EQ(port.value(), std::numeric_limits<int>::min());
    port.setValue(-7);
    EXPECT_EQ(port.text(), "-7");
}

TEST(SpinEdit, ArrowKeysAndButtonsStepByOneWithinTheRange) {
    SpinEdit field;
    field.setRange(0, 365);
    field.setValue(364);
    QTest::keyClick(&field, Qt::Key_Up);
    EXPECT_EQ(field.value(), 365);
    QTest::keyClick(&field, Qt::Key_Up);
    EXPECT_EQ(field.value(), 365);
    QTest::keyClick(&field, Qt::Key_Down);
    EXPECT_EQ(field.value(), 364);
    QTest::keyClick(&field, Qt::Key_PageDown);
    EXPECT_EQ(field.value(), 364);
    field.stepBy(-1000);
    EXPECT_EQ(field.value(), 0);

    // A text that is no number steps from the minimum.
    field.setText("1" + DecimalSeparator() + "5");
    field.stepBy(1);
    EXPECT_EQ(field.text(), "1");

    SpinEdit port;
    port.setValue(std::numeric_limits<int>::max());
    port.stepBy(1);
    EXPECT_EQ(port.value(), std::numeric_limits<int>::max());
}

TEST(SpinEdit, OnlyDigitsSignsAndTheDecimalSeparatorCanBeTyped) {
    FocusHost host;
    const QString separator = QLocale().decimalPoint();
    host.type(QStringLiteral("1a2 b-") + separator + QStringLiteral("+x3e"));
    EXPECT_EQ(host.field->text(), ("12-" + separator + "+3").toStdString());

    host.type(QStringLiteral("80"));
    QTest::keyClick(host.field, Qt::Key_Return);
    QTest::keyClick(host.field, Qt::Key_Enter);
    QTest::keyClick(host.field, Qt::Key_X, Qt::AltModifier);
    EXPECT_EQ(host.field->text(), "80");
    QTest::keyClick(host.field, Qt::Key_Backspace);
    EXPECT_EQ(host.field->text(), "8");
    QTest::keyClick(host.field, Qt::Key_Backspace);
    EXPECT_EQ(host.field->text(), "");
    EXPECT_EQ(host.field->value(), 0);
}

TEST(SpinEdit, LeavingTheFieldBringsATypedValueIntoTheRange) {
    FocusHost host;
    host.field->setRange(0, 365);
    host.type(QStringLiteral("400"));
    EXPECT_EQ(host.field->value(), 400); // not yet left
    host.leave();
    EXPECT_EQ(host.field->text(), "365");

    host.field->setFocus();
    host.type(QStringLiteral("-5"));
    host.leave();
    EXPECT_EQ(host.field->text(), "0");

    // A text that is no number already reads inside the range: left as typed.
    host.field->setFocus();
    host.type(QStringLiteral("--"));
    host.leave();
    EXPECT_EQ(host.field->text(), "--");
    EXPECT_EQ(host.field->value(), 0);
}
