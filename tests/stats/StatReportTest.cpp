#include "StatReport.h"

#include <QDateTime>
#include <gtest/gtest.h>

#include <limits>

using namespace zel;

namespace {
StatRecord record(DateTime stamp, std::int32_t traffic, std::int32_t pageSize,
                  const std::string& page = "") {
    return StatRecord{stamp, traffic, pageSize, page};
}
} // namespace

TEST(StatReport, LinesShowStampsAndSignedNumbersAsStored) {
    StatReport report;
    const DateTime midnight = FromQDateTime(QDateTime(QDate(2020, 12, 31), QTime(0, 0)));
    const std::string stored = std::string(100, 'w') + "...";
    EXPECT_EQ(report.addRecord(record(midnight, 5000, 1000, stored)),
              "31.12.2020\t\t5000\t\t1000\t\t-4000\t\t" + stored);
    EXPECT_EQ(report.addRecord(record(std::numeric_limits<double>::quiet_NaN(), 1, 2)),
              "?\t\t1\t\t2\t\t1\t\t");
}

TEST(StatReport, SharesDivideByPageTotalPlusOneAndRoundHalfToEven) {
    EXPECT_EQ(StatReport::share(1, 7), 12); // 12.5
    EXPECT_EQ(StatReport::share(3, 7), 38); // 37.5
    EXPECT_EQ(StatReport::share(7, 7), 88); // 87.5, never 100
    EXPECT_EQ(StatReport::share(5, -1), 0); // nothing to divide by
}

TEST(StatReport, TotalsBeyondTwoGigabytesStayRight) {
    StatReport report;
    const auto max = std::numeric_limits<std::int32_t>::max();
    report.addRecord(record(1.0, 0, max));
    report.addRecord(record(1.0, 0, max));
    report.addRecord(record(1.0, 2, 2));
    EXPECT_EQ(report.closingLines()[1], "Result (sum):\t\t0.00 Mb\t\t4096.00 Mb\t\t4096.00 Mb");
    EXPECT_EQ(report.closingLines()[2], "\t\t\t0%\t\t100%\t\t100%");
}
