#include "SavingChart.h"

#include <gtest/gtest.h>

using namespace zel;

TEST(SavingChart, BarsAreScaledToTheLargestShownValueNewestLast) {
    SavingChart chart;
    chart.resize(300, 100);
    chart.addRecord(500, 1000);
    chart.addRecord(4000, 2000); // more traffic than page: the traffic bar is the tallest
    chart.addRecord(-5, 1000);
    const QRect plot = chart.plotArea();
    auto bars = chart.layoutBars();
    ASSERT_EQ(bars.size(), 3u);
    EXPECT_EQ(bars[1].traffic.top(), plot.top());
    EXPECT_NEAR(bars[0].traffic.height() * 2, bars[0].page.height(), 1);
    EXPECT_EQ(bars[2].traffic.height(), 0);
    EXPECT_LT(bars[0].page.right(), bars[1].page.left());
    EXPECT_LT(bars[1].traffic.width(), bars[1].page.width()); // the page bar shows behind it

    // More records than fit: only the newest are shown, scaled among themselves.
    for (int i = 1; i <= 1000; ++i)
        chart.addRecord(i, 2 * i);
    bars = chart.layoutBars();
    ASSERT_EQ(bars.size(), static_cast<std::size_t>(plot.width() / SavingChart::MinSlotWidth));
    EXPECT_EQ(chart.scaleTop(), 2000);
    EXPECT_EQ(bars.back().page.height(), plot.height());
    EXPECT_LE(bars.back().page.right(), plot.right());
    EXPECT_GT(bars.front().page.height(), plot.height() / 2);
}
