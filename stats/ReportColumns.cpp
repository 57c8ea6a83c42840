#include "ReportColumns.h"

#include <algorithm>

namespace zel {

namespace {
// Two stops before the first column, so the line of shares, which begins
// with three tabs, also ends its leading run at that column.
constexpr double LeadingStops[] = {1.0, 2.0};

void widenColumns(std::vector<double>& widths, const std::string& line, const TextWidth& width) {
    if (line.find('\t') == std::string::npos)
        return;
    for (const ColumnText& part : SplitColumns(line)) {
        if (widths.size() <= static_cast<std::size_t>(part.column))
            widths.resize(part.column + 1, 0.0);
        widths[part.column] = std::max(widths[part.column], width(part.text));
    }
}
} // namespace

std::vector<ColumnText> SplitColumns(const std::string& line) {
    std::vector<ColumnText> parts;
    int column = 0;
    std::size_t pos = 0;
    if (line.starts_with('\t'))
        column = 1;
    while (pos < line.size()) {
        pos = line.find_first_not_of('\t', pos);
        if (pos == std::string::npos)
            break;
        std::size_t end = std::min(line.find('\t', pos), line.size());
        parts.push_back({column++, line.substr(pos, end - pos)});
        pos = end;
    }
    return parts;
}

std::vector<double> ReportTabStops(const std::string& header, const TextWidth& headerWidth,
                                   const std::vector<std::string>& lines,
                                   const TextWidth& lineWidth, double gap) {
    std::vector<double> widths;
    widenColumns(widths, header, headerWidth);
    for (const std::string& line : lines)
        widenColumns(widths, line, lineWidth);
    std::vector<double> stops(std::begin(LeadingStops), std::end(LeadingStops));
    double start = 0.0;
    for (std::size_t column = 0; column + 1 < widths.size(); ++column) {
        start += widths[column] + gap;
        stops.push_back(start - 1.0);
        stops.push_back(start);
    }
    return stops;
}

} // namespace zel
