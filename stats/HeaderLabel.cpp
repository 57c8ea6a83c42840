#include "HeaderLabel.h"

#include <QPainter>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextDocument>
#include <QTextLayout>

namespace zel {

HeaderLabel::HeaderLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {}

void HeaderLabel::FollowTextBox(QPlainTextEdit* box) {
    box_ = box;
    connect(box->horizontalScrollBar(), &QScrollBar::valueChanged, this,
            qOverload<>(&QWidget::update));
}

void HeaderLabel::SetTabStops(const QList<qreal>& stops) {
    stops_ = stops;
    update();
}

qreal HeaderLabel::textStart() const {
    if (!box_)
        return contentsRect().left();
    const QPoint viewport = box_->viewport()->mapTo(window(), QPoint(0, 0));
    const QPoint self = mapTo(window(), QPoint(0, 0));
    const qreal scrolled = box_->horizontalScrollBar()->value();
    return viewport.x() - self.x() + box_->document()->documentMargin() - scrolled;
}

void HeaderLabel::paintEvent(QPaintEvent*) {
    QTextOption option;
    option.setWrapMode(QTextOption::NoWrap);
    option.setTabArray(stops_);
    QTextLayout layout(text(), font());
    layout.setTextOption(option);
    layout.beginLayout();
    QTextLine line = layout.createLine();
    layout.endLayout();
    if (!line.isValid())
        return;
    QPainter painter(this);
    painter.setPen(palette().color(foregroundRole()));
    const qreal top = (height() - line.height()) / 2;
    layout.draw(&painter, QPointF(textStart(), top));
}

} // namespace zel
