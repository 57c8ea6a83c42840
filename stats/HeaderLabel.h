#pragma once
// A one-line label whose tabs stop where the text box below it has its stops,
// and whose text starts where the box's text starts, also when the box is
// scrolled sideways, so a column header stays over its columns.

#include <QLabel>
#include <QList>

class QPlainTextEdit;

namespace zel {

class HeaderLabel : public QLabel {
    Q_OBJECT
public:
    explicit HeaderLabel(const QString& text, QWidget* parent = nullptr);

    // The box whose text the header stands over.
    void FollowTextBox(QPlainTextEdit* box);
    void SetTabStops(const QList<qreal>& stops);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    // Where the box's text begins, in this label's coordinates.
    qreal textStart() const;

    QPlainTextEdit* box_ = nullptr;
    QList<qreal> stops_;
};

} // namespace zel
