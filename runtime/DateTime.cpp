#include "DateTime.h"

#include "ConvertError.h"

#include <QCalendar>
#include <QDateTime>
#include <QLocale>

#include <cmath>
#include <optional>

namespace zel {

namespace {
constexpr double MsPerDay = 86400000.0;

QDate epoch() {
    return QDate(1899, 12, 30);
}

std::function<DateTime()>& clockOverride() {
    static std::function<DateTime()> clock;
    return clock;
}

std::optional<DateFormats>& formatsStore() {
    static std::optional<DateFormats> formats;
    return formats;
}

// Qt's long time pattern may name the time zone ("t"); the program's times are
// plain local clock readings, so the zone is left out.
std::string withoutTimeZone(const QString& pattern) {
    QString out;
    bool quoted = false;
    for (QChar c : pattern) {
        if (c == u'\'')
            quoted = !quoted;
        if (!quoted && c == u't')
            continue;
        out += c;
    }
    return out.trimmed().toStdString();
}

struct Split {
    QDate date;
    QTime time;
};

Split split(DateTime value) {
    double days = std::floor(value);
    auto ms = static_cast<qint64>(std::llround((value - days) * MsPerDay));
    auto wholeDays = static_cast<qint64>(days);
    if (ms >= static_cast<qint64>(MsPerDay)) {
        ms -= static_cast<qint64>(MsPerDay);
        ++wholeDays;
    }
    return {epoch().addDays(wholeDays), QTime::fromMSecsSinceStartOfDay(static_cast<int>(ms))};
}

// The system's locale, unless a test pinned another as the default.
QLocale userLocale() {
    return QLocale();
}

// Whether the pattern writes the year with two digits ("yy") only.
bool hasTwoDigitYear(const QString& pattern) {
    bool quoted = false;
    bool twoDigits = false;
    for (qsizetype i = 0; i < pattern.size();) {
        if (pattern[i] == u'\'') {
            quoted = !quoted;
            ++i;
            continue;
        }
        qsizetype run = 1;
        while (i + run < pattern.size() && pattern[i + run] == pattern[i])
            ++run;
        if (!quoted && pattern[i] == u'y') {
            if (run >= 4)
                return false;
            twoDigits = twoDigits || run == 2;
        }
        i += run;
    }
    return twoDigits;
}

// The year ending in `twoDigits` that lies within 50 years of `today`'s year
// (of two such years, the earlier).
int yearNear(int twoDigits, int today) {
    const int first = today - 50;
    return first + ((twoDigits - first) % 100 + 100) % 100;
}

// Qt reads "yy" as 19yy. The date is read in the Julian calendar, whose leap
// years (every fourth) are those of every 20yy too, so that 29 February of a
// year "00" reads; day, month and year are then set in the right century.
QDate readTwoDigitYearDate(const QLocale& locale, const QString& text, const QString& format) {
    const QCalendar julian(QCalendar::System::Julian);
    QDate read = locale.toDate(text, format, julian);
    if (!read.isValid())
        return {};
    const int today = ToQDateTime(Now()).date().year();
    return QDate(yearNear(read.year(julian) % 100, today), read.month(julian), read.day(julian));
}

QDate readDate(const QLocale& locale, const QString& text, const QString& format) {
    if (hasTwoDigitYear(format))
        return readTwoDigitYearDate(locale, text, format);
    return locale.toDate(text, format);
}

// The locale's own digits (outside the basic plane, Qt writes but cannot read
// them) as the digits 0 to 9.
QString withLatinDigits(const QLocale& locale, const QString& text) {
    const QList<uint> zero = locale.zeroDigit().toUcs4();
    if (zero.size() != 1 || zero[0] == U'0')
        return text;
    QList<uint> chars = text.toUcs4();
    for (uint& c : chars)
        if (c >= zero[0] && c <= zero[0] + 9)
            c = U'0' + (c - zero[0]);
    return QString::fromUcs4(reinterpret_cast<const char32_t*>(chars.data()), chars.size());
}
} // namespace

DateTime Now() {
    if (clockOverride())
        return clockOverride()();
    return FromQDateTime(QDateTime::currentDateTime());
}

void SetClockForTesting(std::function<DateTime()> clock) {
    clockOverride() = std::move(clock);
}

DateTime FromQDateTime(const QDateTime& value) {
    double days = static_cast<double>(epoch().daysTo(value.date()));
    return days + value.time().msecsSinceStartOfDay() / MsPerDay;
}

QDateTime ToQDateTime(DateTime value) {
    Split s = split(value);
    return QDateTime(s.date, s.time);
}

const DateFormats& CurrentDateFormats() {
    auto& formats = formatsStore();
    if (!formats) {
        QLocale locale = userLocale();
        formats = DateFormats{locale.dateFormat(QLocale::ShortFormat).toStdString(),
                              withoutTimeZone(locale.timeFormat(QLocale::LongFormat))};
    }
    return *formats;
}

void SetDateFormats(const DateFormats& formats) {
    formatsStore() = formats;
}

std::string DateToStr(DateTime value) {
    return userLocale()
        .toString(split(value).date, QString::fromStdString(CurrentDateFormats().shortDate))
        .toStdString();
}

std::string TimeToStr(DateTime value) {
    QTime time = split(value).time;
    time = QTime(time.hour(), time.minute(), time.second());
    return userLocale()
        .toString(time, QString::fromStdString(CurrentDateFormats().longTime))
        .toStdString();
}

std::string DateTimeToStr(DateTime value) {
    QTime time = split(value).time;
    if (time.hour() == 0 && time.minute() == 0 && time.second() == 0)
        return DateToStr(value);
    return DateToStr(value) + " " + TimeToStr(value);
}

DateTime StrToDate(const std::string& text) {
    const QLocale locale = userLocale();
    const QString trimmed = QString::fromStdString(text).trimmed();
    const QString format = QString::fromStdString(CurrentDateFormats().shortDate);
    QDate date = readDate(locale, trimmed, format);
    const QString latin = withLatinDigits(locale, trimmed);
    if (!date.isValid() && latin != trimmed)
        date = readDate(QLocale::c(), latin, format);
    if (!date.isValid())
        throw ConvertError("'" + text + "' is not a valid date");
    return static_cast<double>(epoch().daysTo(date));
}

} // namespace zel
