#include "DateTime.h"
#include "ConvertError.h"

#include <QDateTime>
#include <gtest/gtest.h>

using namespace zel;

TEST(DateTime, DayCountSinceEndOf1899) {
    EXPECT_EQ(FromQDateTime(QDateTime(QDate(1899, 12, 30), QTime(0, 0))), 0.0);
    EXPECT_EQ(FromQDateTime(QDateTime(QDate(1900, 1, 1), QTime(12, 0))), 2.5);
    EXPECT_EQ(ToQDateTime(2.5), QDateTime(QDate(1900, 1, 1), QTime(12, 0)));
    // 23:59:59.9996 rounds to the next midnight rather than to an invalid time.
    EXPECT_EQ(ToQDateTime(10.0 - 0.0004 / 86400), QDateTime(QDate(1900, 1, 9), QTime(0, 0)));
}

TEST(DateTime, TextsInThePinnedFormats) {
    DateTime noonish = FromQDateTime(QDateTime(QDate(2026, 3, 4), QTime(13, 5, 9, 700)));
    EXPECT_EQ(DateToStr(noonish), "04.03.2026");
    EXPECT_EQ(TimeToStr(noonish), "13:05:09");
    EXPECT_EQ(DateTimeToStr(noonish), "04.03.2026 13:05:09");
    DateTime midnight = FromQDateTime(QDateTime(QDate(2026, 3, 4), QTime(0, 0, 0, 400)));
    EXPECT_EQ(DateTimeToStr(midnight), "04.03.2026");
}

TEST(DateTime, ParsesShortDatesAndRejectsOthers) {
    EXPECT_EQ(StrToDate("04.03.2026"), FromQDateTime(QDateTime(QDate(2026, 3, 4), QTime(0, 0))));
    EXPECT_THROW(StrToDate("2026-03-04"), ConvertError);
    EXPECT_THROW(StrToDate(""), ConvertError);
    try {
        StrToDate("soon");
    } catch (const ConvertError& e) {
        EXPECT_STREQ(e.what(), "'soon' is not a valid date");
    }
}

TEST(DateTime, ClockCanBePinned) {
    SetClockForTesting([] { return 40000.25; });
    EXPECT_EQ(Now(), 40000.25);
    SetClockForTesting({});
    EXPECT_GT(Now(), 46000.0);
}
