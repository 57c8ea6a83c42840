#pragma once
// Date and time as a real number of days since 30 December 1899, 00:00 local
// time (0.5 is noon), the form the data files store, and the user's date and
// time texts.

#include <functional>
#include <string>

class QDateTime;

namespace zel {

using DateTime = double;

// Current local date and time with millisecond resolution.
DateTime Now();
// Replaces the clock; an empty function restores the system clock. For tests.
void SetClockForTesting(std::function<DateTime()> clock);

DateTime FromQDateTime(const QDateTime& value);
QDateTime ToQDateTime(DateTime value);

// The user's short date and long time formats, as Qt format patterns.
struct DateFormats {
    std::string shortDate;
    std::string longTime;
};
// Read from the system locale on first use, unless set before.
const DateFormats& CurrentDateFormats();
void SetDateFormats(const DateFormats& formats);

std::string DateToStr(DateTime value);
std::string TimeToStr(DateTime value);
// Date, a blank and the time; only the date when the time is 00:00:00 to the second.
std::string DateTimeToStr(DateTime value);
// Parses a date in the short date format; raises ConvertError when it is not one.
DateTime StrToDate(const std::string& text);

} // namespace zel
