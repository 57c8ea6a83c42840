#pragma once
// Pins the locale (its digits and names) and the short date format for one
// test; the test environment's own pins come back afterwards.

#include "DateTime.h"
#include "TestEnvironment.h"

#include <QLocale>

#include <string>

namespace zel::test {

class PinnedLocale {
public:
    PinnedLocale(const QLocale& locale, const std::string& shortDate) {
        QLocale::setDefault(locale);
        SetDateFormats({shortDate, "HH:mm:ss"});
    }
    // With the locale's own short date format.
    explicit PinnedLocale(const QLocale& locale)
        : PinnedLocale(locale, locale.dateFormat(QLocale::ShortFormat).toStdString()) {}
    ~PinnedLocale() { PinLocaleAndFormats(); }
    PinnedLocale(const PinnedLocale&) = delete;
    PinnedLocale& operator=(const PinnedLocale&) = delete;
};

} // namespace zel::test
