#pragma once
// One 120-byte record of "stat.dat": when a page was fetched, the bytes that
// came over the wire, the page's size and its address.

#include "DateTime.h"
#include "RecordBytes.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace zel {

struct StatRecord {
    static constexpr std::size_t Size = 120;
    // Room for the address: a length byte and 103 characters.
    static constexpr std::size_t WebPageCapacity = 103;

    DateTime Stamp = 0;
    std::int32_t Traffic = 0;
    std::int32_t PageSize = 0;
    std::string WebPage;

    // Bytes saved; negative when more came over the wire than the page has.
    std::int64_t economy() const {
        return static_cast<std::int64_t>(PageSize) - static_cast<std::int64_t>(Traffic);
    }

    // Unused address bytes are written as zeros; a longer text is cut to the room.
    RecordBytes<Size> toBytes() const;
    // Bytes beyond the stored address length are ignored.
    static StatRecord fromBytes(const RecordBytes<Size>& bytes);
};

} // namespace zel
