#pragma once
// A label that reports clicks; the main window's check boxes carry their
// captions in such labels, and clicking one toggles its box.

#include <QLabel>

namespace zel {

class ClickLabel : public QLabel {
    Q_OBJECT
public:
    explicit ClickLabel(const QString& text, QWidget* parent = nullptr) : QLabel(text, parent) {}

signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
};

} // namespace zel
