#include "DateTime.h"

#include "ConvertError.h"

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

QLocale userLocale() {
    return QLocale::system();
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
    QDate date = userLocale().toDate(QString::fromStdString(text).trimmed(),
                                     QString::fromStdString(CurrentDateFormats().shortDate));
    if (!date.isValid())
        throw ConvertError("'" + text + "' is not a valid date");
    return static_cast<double>(epoch().daysTo(date));
}

} // namespace zel
