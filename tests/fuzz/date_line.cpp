// The date reading of the address list "links.txt": a line's date in the
// user's short date format, and the sorting of the file's lines by age. The
// locale, the date format and the clock are pinned; the first byte picks
// one of a few short date formats.

#include "AddressList.h"
#include "ConvertError.h"
#include "DateTime.h"

#include <QLocale>

#include <cstddef>
#include <cstdint>
#include <sstream>

using namespace zel;

namespace {

const char* const ShortDates[] = {"dd.MM.yyyy", "M/d/yy", "yyyy-MM-dd", "d.M.yy"};
constexpr DateTime PinnedNow = 46000.5; // 9 December 2025, noon

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    QLocale::setDefault(QLocale::c());
    SetClockForTesting([] { return PinnedNow; });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    SetDateFormats({ShortDates[data[0] % std::size(ShortDates)], "HH:mm:ss"});
    const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
    try {
        StrToDate(text);
    } catch (const ConvertError&) {
    }
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    const std::size_t usual = AddressDate(PinnedNow).size();
    for (const std::string& line : lines)
        ReadDatedLine(line, usual);
    PurgeAddressLines(lines, data[0] >> 2, PinnedNow);
    return 0;
}
