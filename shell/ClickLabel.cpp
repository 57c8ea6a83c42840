#include "ClickLabel.h"

#include <QMouseEvent>

namespace zel {

void ClickLabel::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        emit clicked();
    QLabel::mousePressEvent(event);
}

} // namespace zel
