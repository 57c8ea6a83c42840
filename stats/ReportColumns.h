#pragma once
// Tab stops that line the statistics report up under its header whatever the
// fonts. The report separates its columns by runs of tabs, and the header
// (bold) uses runs of other lengths than the lines below it, so evenly spaced
// stops cannot line both up. Instead each column begins after the widest text
// of the column before it, and every column start is preceded by a stop one
// pixel before it, so a run of one, two or three tabs ends at the column.
// GUI-free: the caller measures the texts.

#include <functional>
#include <string>
#include <vector>

namespace zel {

// Width in pixels of a text in the font it is shown in.
using TextWidth = std::function<double(const std::string& text)>;

// The texts of a line between runs of tabs, with the column of each: the
// first text is in column 0, or in column 1 when the line begins with tabs.
struct ColumnText {
    int column;
    std::string text;
};
std::vector<ColumnText> SplitColumns(const std::string& line);

// Tab stops for the header and for the report lines. Lines without a tab
// (the dashed line) do not widen any column. `gap` is the room between the
// widest text of a column and the next column.
std::vector<double> ReportTabStops(const std::string& header, const TextWidth& headerWidth,
                                   const std::vector<std::string>& lines,
                                   const TextWidth& lineWidth, double gap);

} // namespace zel
