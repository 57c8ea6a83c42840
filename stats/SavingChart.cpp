#include "SavingChart.h"

#include "Numbers.h"

#include <QPaintEvent>
#include <QPainter>

#include <algorithm>

namespace zel {

namespace {
constexpr int Margin = 4;
constexpr int Swatch = 10;

int barHeight(std::int32_t value, std::int64_t top, int plotHeight) {
    if (value <= 0 || top <= 0)
        return 0;
    double share = static_cast<double>(value) / static_cast<double>(top);
    return std::max(1, static_cast<int>(share * plotHeight + 0.5));
}

QString kilobytes(std::int64_t bytes) {
    return QString::fromStdString(FormatFixed2(static_cast<double>(bytes) / 1024.0)) +
           QStringLiteral(" KB");
}
} // namespace

SavingChart::SavingChart(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setToolTip(QStringLiteral("Page size and traffic of the newest pages, newest on the right"));
}

void SavingChart::clear() {
    entries_.clear();
    count_ = 0;
    update();
}

void SavingChart::addRecord(std::int32_t traffic, std::int32_t pageSize) {
    entries_.push_back({traffic, pageSize});
    if (entries_.size() > MaxKept)
        entries_.pop_front();
    ++count_;
    update();
}

int SavingChart::legendHeight() const {
    return fontMetrics().height() + Margin;
}

QRect SavingChart::plotArea() const {
    QRect area = rect().adjusted(Margin, Margin + legendHeight(), -Margin, -Margin);
    return area.isValid() ? area : QRect();
}

std::size_t SavingChart::visibleCount() const {
    const int width = plotArea().width();
    if (width < MinSlotWidth)
        return 0;
    return std::min(entries_.size(), static_cast<std::size_t>(width / MinSlotWidth));
}

std::int64_t SavingChart::scaleTop() const {
    std::int64_t top = 0;
    for (std::size_t i = entries_.size() - visibleCount(); i < entries_.size(); ++i)
        top = std::max<std::int64_t>({top, entries_[i].traffic, entries_[i].pageSize});
    return top;
}

std::vector<SavingChart::Bars> SavingChart::layoutBars() const {
    const std::size_t shown = visibleCount();
    std::vector<Bars> bars;
    if (shown == 0)
        return bars;
    const QRect plot = plotArea();
    const int slot = std::min(MaxSlotWidth, plot.width() / static_cast<int>(shown));
    const int pageWidth = slot - 2;
    const int trafficWidth = std::max(2, pageWidth / 2);
    const std::int64_t top = scaleTop();
    const std::size_t first = entries_.size() - shown;
    for (std::size_t i = 0; i < shown; ++i) {
        const Entry& e = entries_[first + i];
        const int x = plot.left() + static_cast<int>(i) * slot + 1;
        const int pageH = barHeight(e.pageSize, top, plot.height());
        const int trafficH = barHeight(e.traffic, top, plot.height());
        const int bottom = plot.bottom() + 1;
        bars.push_back(
            {QRect(x, bottom - pageH, pageWidth, pageH),
             QRect(x + (pageWidth - trafficWidth) / 2, bottom - trafficH, trafficWidth, trafficH)});
    }
    return bars;
}

void SavingChart::paintLegend(QPainter& painter) const {
    const QFontMetrics fm = fontMetrics();
    const int textY = Margin + fm.ascent();
    const int swatchY = Margin + (fm.height() - Swatch) / 2;
    int x = Margin;
    auto item = [&](const QColor& color, const QString& text) {
        painter.fillRect(QRect(x, swatchY, Swatch, Swatch), color);
        x += Swatch + 3;
        painter.drawText(x, textY, text);
        x += fm.horizontalAdvance(text) + 3 * Margin;
    };
    item(pageColor(), QStringLiteral("Page size"));
    item(trafficColor(), QStringLiteral("Traffic"));

    QString info;
    if (count_ == 0)
        info = QStringLiteral("No pages");
    else
        info = QStringLiteral("%1 of %2 pages, top %3")
                   .arg(layoutBars().size())
                   .arg(count_)
                   .arg(kilobytes(scaleTop()));
    const int infoX = std::max(x, width() - Margin - fm.horizontalAdvance(info));
    painter.drawText(infoX, textY, info);
}

void SavingChart::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Base));
    painter.setPen(palette().color(QPalette::Text));
    paintLegend(painter);
    const QRect plot = plotArea();
    if (plot.isEmpty())
        return;
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawLine(plot.bottomLeft(), plot.bottomRight());
    for (const Bars& bars : layoutBars()) {
        painter.fillRect(bars.page, pageColor());
        painter.fillRect(bars.traffic, trafficColor());
    }
}

} // namespace zel
