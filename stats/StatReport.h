#pragma once
// The statistics report as text: one line per record, then a dashed line, the
// sums in megabytes and the shares of the page sizes. Fed record by record, so
// a reader that fails half-way still has the lines of what it read.

#include "StatRecord.h"

#include <cstdint>
#include <string>
#include <vector>

namespace zel {

class StatReport {
public:
    // Column header shown above the report.
    static const std::string Header;

    // The line for one record; the record is added to the running totals.
    std::string addRecord(const StatRecord& record);
    // The three lines that end every report, also an empty one.
    std::vector<std::string> closingLines() const;

    // Totals are kept in 64 bits so sums beyond 2 GiB stay right.
    std::int64_t trafficTotal() const { return traffic_; }
    std::int64_t pageTotal() const { return pages_; }
    std::int64_t economyTotal() const { return economy_; }

    // Bytes as megabytes with two decimals, an exact half away from zero.
    static std::string megabytes(std::int64_t bytes);
    // total / (pageTotal + 1) * 100, an exact half to the even neighbour;
    // 0 when the divisor is 0 (only possible with negative page sizes).
    static std::int64_t share(std::int64_t total, std::int64_t pageTotal);
    // Date and time of a stamp; "?" for a value that is no date at all.
    static std::string stampText(double stamp);

private:
    std::int64_t traffic_ = 0;
    std::int64_t pages_ = 0;
    std::int64_t economy_ = 0;
};

} // namespace zel
