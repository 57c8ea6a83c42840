#include "DateTime.h"
#include "ConvertError.h"
#include "FailureOf.h"
#include "PinnedClock.h"
#include "PinnedLocale.h"

#include <QDateTime>
#include <gtest/gtest.h>

using namespace zel;
using namespace zel::test;

namespace {
DateTime Day(int year, int month, int day) {
    return FromQDateTime(QDateTime(QDate(year, month, day), QTime(0, 0)));
}
} // namespace

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
    EXPECT_EQ(FailureOf<ConvertError>([] { StrToDate("soon"); }), "'soon' is not a valid date");
}

TEST(DateTime, ClockCanBePinned) {
    SetClockForTesting([] { return 40000.25; });
    EXPECT_EQ(Now(), 40000.25);
    SetClockForTesting({});
    EXPECT_GT(Now(), 46000.0);
}

TEST(DateTime, TwoDigitYearsAreReadWithinFiftyYearsOfToday) {
    PinnedLocale locale(QLocale::c(), "dd.MM.yy");
    PinnedClock clock(Day(2026, 3, 10) + 0.625);
    EXPECT_EQ(DateToStr(Now()), "10.03.26");
    EXPECT_EQ(StrToDate("10.03.26"), Day(2026, 3, 10));
    EXPECT_EQ(StrToDate("01.01.76"), Day(1976, 1, 1));
    EXPECT_EQ(StrToDate("31.12.75"), Day(2075, 12, 31));
    // 1900 had no 29 February, 2000 had.
    EXPECT_EQ(StrToDate("29.02.00"), Day(2000, 2, 29));
    EXPECT_THROW(StrToDate("29.02.01"), ConvertError);

    clock.set(Day(2090, 6, 1));
    EXPECT_EQ(StrToDate("10.03.26"), Day(2126, 3, 10));
    EXPECT_EQ(StrToDate("01.01.40"), Day(2040, 1, 1));
}

TEST(DateTime, FourDigitYearsAreReadAsWritten) {
    PinnedLocale locale(QLocale::c(), "d/M/yyyy");
    PinnedClock clock(Day(2026, 3, 10));
    EXPECT_EQ(StrToDate("10/3/1926"), Day(1926, 3, 10));
    EXPECT_EQ(StrToDate("10/3/2126"), Day(2126, 3, 10));
}

TEST(DateTime, DigitsQtWritesButCannotReadStillReadBack) {
    // Adlam digits lie outside the basic plane.
    PinnedLocale locale(QLocale(QLocale::Fulah, QLocale::AdlamScript, QLocale::Senegal));
    PinnedClock clock(Day(2026, 3, 10) + 0.5);
    const std::string written = DateToStr(Now());
    ASSERT_EQ(written.find('1'), std::string::npos) << written;
    EXPECT_EQ(StrToDate(written), Day(2026, 3, 10));
}
