#pragma once
// A numeric field with up and down buttons whose value is read from its text.
// Only digits, signs, the decimal separator and control keys can be typed; a
// text that is not a whole number reads as the minimum. With a range (minimum
// different from maximum) a value outside it is brought to the nearest bound
// when it is set and when the field loses the focus; minimum equal to maximum
// means no limit.

#include <QAbstractSpinBox>

#include <string>

class QKeyEvent;

namespace zel {

class SpinEdit : public QAbstractSpinBox {
    Q_OBJECT
public:
    explicit SpinEdit(QWidget* parent = nullptr);

    int minValue() const { return min_; }
    int maxValue() const { return max_; }
    // Does not touch the current text.
    void setRange(int minValue, int maxValue);

    int value() const;
    void setValue(int value);

    // The field's text (hides the base class's QString text()).
    std::string text() const;
    void setText(const std::string& text);

    void stepBy(int steps) override;

protected:
    StepEnabled stepEnabled() const override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    bool hasRange() const { return min_ != max_; }
    int checkValue(int value) const;

    int min_ = 0;
    int max_ = 0;
};

// Whether a key pressed in a spin field may reach its text.
bool IsSpinEditKey(const QKeyEvent& event);

} // namespace zel
