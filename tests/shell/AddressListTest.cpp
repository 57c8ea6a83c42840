#include "AddressList.h"
#include "PinnedClock.h"
#include "PinnedLocale.h"
#include "Utf8.h"

#include <QDateTime>
#include <QLocale>
#include <gtest/gtest.h>

#include <cmath>

using namespace zel;
using namespace zel::test;

namespace {
DateTime At(int year, int month, int day, int hour) {
    return FromQDateTime(QDateTime(QDate(year, month, day), QTime(hour, 0)));
}

// What the address list makes, under the pinned locale, of a file holding an
// address added today and one added yesterday, kept for one day.
std::string RoundTripProblem(DateTime now) {
    const std::string today = AddressDate(now) + " today.example/a b";
    const std::string yesterday = AddressDate(now - 1) + " yesterday.example";
    const LoadedAddresses loaded = PurgeAddressLines({today, yesterday}, 1, now);
    std::string problem;
    if (loaded.items != std::vector<std::string>{"today.example/a b", "yesterday.example"})
        problem += " items wrong;";
    if (loaded.kept != std::vector<std::string>{today})
        problem += " kept " + std::to_string(loaded.kept.size()) + " lines;";
    return problem;
}
} // namespace

TEST(AddressList, TodaysDateRoundTripsUnderEveryLocale) {
    // A day of this century and a 29 February that 1900 did not have.
    for (DateTime now : {At(2026, 3, 10, 15), At(2000, 2, 29, 9)}) {
        PinnedClock clock(now);
        std::vector<std::string> failed;
        for (const QLocale& locale : QLocale::matchingLocales(
                 QLocale::AnyLanguage, QLocale::AnyScript, QLocale::AnyTerritory)) {
            PinnedLocale pinned(locale);
            const std::string problem = RoundTripProblem(now);
            if (!problem.empty())
                failed.push_back(locale.name().toStdString() + " (" + DateToStr(now) + ") " +
                                 problem);
        }
        EXPECT_TRUE(failed.empty()) << failed.size() << " locales, first: " << failed.front();
    }
}

TEST(AddressList, DatesAreCutOnCharactersNotBytes) {
    PinnedClock clock(At(2026, 3, 10, 15));
    {
        // Two bytes a digit: the date is longer than 15 bytes, not than 15 characters.
        PinnedLocale persian(QLocale(QLocale::Persian, QLocale::Iran));
        const std::string date = AddressDate(Now());
        EXPECT_GT(date.size(), 15u);
        EXPECT_EQ(date, DateToStr(Now()));
        const std::optional<DatedAddress> read =
            ReadDatedLine(date + " example.org", Utf8Length(date));
        ASSERT_TRUE(read);
        EXPECT_EQ(read->added, std::floor(Now()));
        EXPECT_EQ(read->address, "example.org");
    }
    {
        // A long format is cut after its 15th character, never inside one.
        PinnedLocale marathi(QLocale(QLocale::Marathi, QLocale::India), "dddd, d MMMM yyyy");
        const std::string whole = DateToStr(Now());
        const std::string date = AddressDate(Now());
        ASSERT_GT(Utf8Length(whole), 15u);
        EXPECT_EQ(Utf8Length(date), 15u);
        EXPECT_EQ(whole.substr(0, date.size()), date);
        EXPECT_EQ(QString::fromUtf8(date.data(), date.size()).toUtf8().toStdString(), date);
    }
}

TEST(AddressList, LinesWithoutAddressOrDate) {
    PinnedClock clock(At(2026, 3, 10, 0)); // midnight: the last line is two days old exactly
    const LoadedAddresses loaded = PurgeAddressLines(
        {"10.03.2026 ", "10.03.2026", "", "01.01.2026 ", "not a date", "08.03.2026 a.example"}, 2,
        Now());
    // A date without address shows an empty item; an empty line shows nothing.
    EXPECT_EQ(loaded.items, (std::vector<std::string>{"", "", "", "not a date", "a.example"}));
    EXPECT_EQ(loaded.kept, (std::vector<std::string>{"10.03.2026 ", "10.03.2026", "", "not a date",
                                                     "08.03.2026 a.example"}));
}

TEST(AddressList, LocalPathsAreNeitherShownNorKept) {
    PinnedClock clock(At(2026, 3, 10, 15));
    const LoadedAddresses loaded = PurgeAddressLines(
        {"10.03.2026 /home/u/zel/page.htm", "10.03.2026 file:///home/u/zel/zelhistory/1.htm",
         "/home/u/zel/page.files/page1.htm", "10.03.2026 example.org/a/page.htm"},
        2, Now());
    EXPECT_EQ(loaded.items, std::vector<std::string>{"example.org/a/page.htm"});
    EXPECT_EQ(loaded.kept, std::vector<std::string>{"10.03.2026 example.org/a/page.htm"});
}
