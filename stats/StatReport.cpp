#include "StatReport.h"

#include "DateTime.h"
#include "Numbers.h"

#include <algorithm>
#include <cmath>

namespace zel {

namespace {
constexpr const char* Gap = "\t\t";
constexpr double BytesPerMegabyte = 1048576.0;
constexpr std::size_t DashCount = 187;
// Day numbers of 1 January 0001 and of the day after 31 December 9999.
constexpr double FirstDay = -693593.0;
constexpr double PastLastDay = 2958466.0;
// Keeps a share inside what a 64-bit integer holds.
constexpr double ShareLimit = 9.0e18;
} // namespace

const std::string StatReport::Header = "Date,Time\t\tTraffic\t\tPage size\tEconomy\tWeb-page";

std::string StatReport::stampText(double stamp) {
    if (!std::isfinite(stamp) || stamp < FirstDay || stamp >= PastLastDay)
        return "?";
    return DateTimeToStr(stamp);
}

std::string StatReport::addRecord(const StatRecord& record) {
    const std::int64_t economy = record.economy();
    std::string line = stampText(record.Stamp);
    line += Gap + std::to_string(record.Traffic);
    line += Gap + std::to_string(record.PageSize);
    line += Gap + std::to_string(economy);
    line += Gap + record.WebPage;
    // 64-bit sums of 32-bit values: overflow would take 2^32 records.
    traffic_ += record.Traffic;
    pages_ += record.PageSize;
    economy_ += economy;
    return line;
}

std::string StatReport::megabytes(std::int64_t bytes) {
    return FormatFixed2(static_cast<double>(bytes) / BytesPerMegabyte);
}

std::int64_t StatReport::share(std::int64_t total, std::int64_t pageTotal) {
    const std::int64_t divisor = pageTotal + 1;
    if (divisor == 0)
        return 0;
    double value = static_cast<double>(total) / static_cast<double>(divisor) * 100.0;
    value = std::clamp(value, -ShareLimit, ShareLimit);
    return RoundHalfEven(value);
}

std::vector<std::string> StatReport::closingLines() const {
    const std::string mb = " Mb";
    std::string sums = "Result (sum):";
    sums += Gap + megabytes(traffic_) + mb;
    sums += Gap + megabytes(pages_) + mb;
    sums += Gap + megabytes(economy_) + mb;
    std::string shares = "\t\t\t" + std::to_string(share(traffic_, pages_)) + "%";
    shares += Gap + std::string("100%");
    shares += Gap + std::to_string(share(economy_, pages_)) + "%";
    return {std::string(DashCount, '-'), sums, shares};
}

} // namespace zel
