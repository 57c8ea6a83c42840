#pragma once
// A small bar chart of the saving per page: for each record a wide bar of the
// page size with a narrow bar of the traffic in front of it, newest on the
// right, scaled to the largest value shown. When there are more records than
// fit the width, only the newest are shown.

#include <QColor>
#include <QRect>
#include <QWidget>

#include <cstdint>
#include <deque>
#include <vector>

class QPainter;

namespace zel {

class SavingChart : public QWidget {
public:
    // A bar pair narrower than this is unreadable; wider than the maximum looks empty.
    static constexpr int MinSlotWidth = 6;
    static constexpr int MaxSlotWidth = 32;
    // More records than any screen can show are not kept.
    static constexpr std::size_t MaxKept = 4096;

    struct Bars {
        QRect page;
        QRect traffic;
    };

    explicit SavingChart(QWidget* parent = nullptr);

    void clear();
    void addRecord(std::int32_t traffic, std::int32_t pageSize);
    // Records added since the last clear, also those no longer kept.
    std::int64_t recordCount() const { return count_; }

    // Where the bars go below the legend.
    QRect plotArea() const;
    // The bars of the newest records that fit, oldest first.
    std::vector<Bars> layoutBars() const;
    // The value the full plot height stands for (0 when nothing is positive).
    std::int64_t scaleTop() const;

    static QColor pageColor() { return QColor(150, 190, 230); }
    static QColor trafficColor() { return QColor(225, 115, 30); }

    QSize sizeHint() const override { return QSize(400, 90); }
    QSize minimumSizeHint() const override { return QSize(120, 50); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    struct Entry {
        std::int32_t traffic;
        std::int32_t pageSize;
    };

    std::size_t visibleCount() const;
    int legendHeight() const;
    void paintLegend(QPainter& painter) const;

    std::deque<Entry> entries_;
    std::int64_t count_ = 0;
};

} // namespace zel
