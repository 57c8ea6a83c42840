#include "ReportColumns.h"
#include "StatReport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

using namespace zel;

namespace {
// A font of ten pixels per character; the header's bold one is wider.
double plainWidth(const std::string& text) {
    return 10.0 * text.size();
}
double boldWidth(const std::string& text) {
    return 13.0 * text.size();
}

// Lays a line out as a text box does: a tab goes to the next stop to the
// right. Returns where each column's text starts.
std::map<int, double> columnStarts(const std::string& line, const std::vector<double>& stops,
                                   double charWidth) {
    std::map<int, double> starts;
    std::vector<ColumnText> parts = SplitColumns(line);
    std::size_t next = 0;
    double x = 0;
    bool inText = false;
    for (char c : line) {
        if (c == '\t') {
            auto stop = std::upper_bound(stops.begin(), stops.end(), x);
            x = stop == stops.end() ? x + 80 : *stop;
            inText = false;
            continue;
        }
        if (!inText && next < parts.size())
            starts[parts[next++].column] = x;
        inText = true;
        x += charWidth;
    }
    return starts;
}
} // namespace

TEST(ReportColumns, TextsBetweenTabRunsKeepTheirColumns) {
    std::vector<ColumnText> record =
        SplitColumns("1.2.2003 12:34\t\t300\t\t999\t\t699\t\thttp://a/");
    ASSERT_EQ(record.size(), 5u);
    EXPECT_EQ(record[4].column, 4);
    EXPECT_EQ(record[4].text, "http://a/");
    std::vector<ColumnText> shares = SplitColumns("\t\t\t30%\t\t100%\t\t70%");
    ASSERT_EQ(shares.size(), 3u);
    EXPECT_EQ(shares[0].column, 1);
    EXPECT_EQ(shares[0].text, "30%");
    EXPECT_TRUE(SplitColumns("").empty());
}

// The header and every kind of report line (records, sums, shares) start
// their columns at the same places, whatever their runs of tabs and fonts;
// the dashed line does not widen the first column.
TEST(ReportColumns, HeaderAndEveryLineShareTheColumns) {
    StatReport report;
    std::vector<std::string> lines{
        report.addRecord({36558.5, 30000, 99999, "http://example.test/page"}),
        report.addRecord({36559.25, 1234567890, 7, "http://b.test/"})};
    for (const std::string& line : report.closingLines())
        lines.push_back(line);
    const std::vector<double> stops =
        ReportTabStops(StatReport::Header, boldWidth, lines, plainWidth, 20);

    std::map<int, double> header = columnStarts(StatReport::Header, stops, 13);
    ASSERT_EQ(header.size(), 5u);
    for (const std::string& line : lines) {
        if (line.find('\t') == std::string::npos)
            continue;
        for (auto [column, start] : columnStarts(line, stops, 10))
            EXPECT_NEAR(start, header[column], 1.0) << "column " << column << " of " << line;
    }
    // Each column begins after the widest text of the one before it.
    EXPECT_GE(header[2] - header[1], plainWidth("1234567890") + 20 - 1);
    EXPECT_LT(header[1], plainWidth(std::string(187, '-')));
}
