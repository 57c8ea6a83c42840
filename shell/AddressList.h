#pragma once
// The lines of the address list "links.txt": the date an address was added
// in the user's short date format (at most 15 characters), one blank, the
// address. No windows here: the main window fills its address box from what
// these functions make of the file.

#include "DateTime.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zel {

// The date part of a line added on `day`.
std::string AddressDate(DateTime day);

struct DatedAddress {
    DateTime added; // start of that day
    std::string address;
};

// Splits a line into its date and address. `usualChars` is the length of
// today's date; dates whose days or months go unpadded are longer or shorter,
// so other lengths that end at a blank (or at the line's end) are tried too.
// Nothing when the line does not begin with a date.
std::optional<DatedAddress> ReadDatedLine(const std::string& line, std::size_t usualChars);

struct LoadedAddresses {
    std::vector<std::string> items; // the addresses of every line, for this run's box
    std::vector<std::string> kept;  // the lines the file keeps
};

// Sorts the file's lines into what the box shows and what the file keeps: a
// dated line stays while it is at most `keepDays` old (`now` counts the time
// of day); a line that is not dated stays as it is. A local path (one that an
// older version let in) is neither shown nor kept: it is no web address.
LoadedAddresses PurgeAddressLines(const std::vector<std::string>& lines, std::int32_t keepDays,
                                  DateTime now);

} // namespace zel
