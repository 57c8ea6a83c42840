#include "SpinEdit.h"

#include "ConvertError.h"
#include "Numbers.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLocale>

#include <algorithm>
#include <cstdint>
#include <limits>

namespace zel {

SpinEdit::SpinEdit(QWidget* parent) : QAbstractSpinBox(parent) {
    // The value lives in the text alone; the base class must not interpret it.
    setKeyboardTracking(false);
    setAccelerated(false);
    setText("0");
}

void SpinEdit::setRange(int minValue, int maxValue) {
    min_ = minValue;
    max_ = maxValue;
}

int SpinEdit::value() const {
    try {
        return StrToInt(text());
    } catch (const ConvertError&) {
        return min_;
    }
}

void SpinEdit::setValue(int value) {
    setText(std::to_string(checkValue(value)));
}

std::string SpinEdit::text() const {
    return lineEdit()->text().toStdString();
}

void SpinEdit::setText(const std::string& text) {
    lineEdit()->setText(QString::fromStdString(text));
}

int SpinEdit::checkValue(int value) const {
    if (!hasRange())
        return value;
    return std::clamp(value, min_, max_);
}

void SpinEdit::stepBy(int steps) {
    // Stops at the ends of the 32-bit range instead of wrapping round.
    std::int64_t next = static_cast<std::int64_t>(value()) + steps;
    next = std::clamp<std::int64_t>(next, std::numeric_limits<int>::min(),
                                    std::numeric_limits<int>::max());
    setValue(static_cast<int>(next));
}

QAbstractSpinBox::StepEnabled SpinEdit::stepEnabled() const {
    if (isReadOnly())
        return StepNone;
    return StepUpEnabled | StepDownEnabled;
}

void SpinEdit::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Up:
    case Qt::Key_Down:
        if (!isReadOnly())
            stepBy(event->key() == Qt::Key_Up ? 1 : -1);
        event->accept();
        return;
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
        event->ignore();
        return;
    default:
        break;
    }
    if (!IsSpinEditKey(*event)) {
        QApplication::beep();
        event->accept();
        return;
    }
    QAbstractSpinBox::keyPressEvent(event);
}

void SpinEdit::focusOutEvent(QFocusEvent* event) {
    QAbstractSpinBox::focusOutEvent(event);
    int current = value();
    if (checkValue(current) != current)
        setValue(current);
}

void SpinEdit::wheelEvent(QWheelEvent* event) {
    event->ignore();
}

bool IsSpinEditKey(const QKeyEvent& event) {
    if (event.key() == Qt::Key_Return || event.key() == Qt::Key_Enter)
        return false;
    const QString typed = event.text();
    if (typed.isEmpty())
        return true; // no character: cursor keys, Delete, function keys
    const Qt::KeyboardModifiers modifiers = event.modifiers();
    if ((modifiers & Qt::ControlModifier) && !(modifiers & Qt::AltModifier))
        return true; // Ctrl combinations are control keys (copy, paste, undo)
    const char16_t first = typed.at(0).unicode();
    if (typed.size() == 1 && (first < 0x20 || first == 0x7f))
        return true;
    if (typed == QLocale().decimalPoint())
        return true;
    return std::all_of(typed.begin(), typed.end(),
                       [](QChar c) { return (c >= u'0' && c <= u'9') || c == u'+' || c == u'-'; });
}

} // namespace zel
