#include "FontClaims.h"

#include "BigEndian.h"

#include "PageError.h"

#include <algorithm>
#include <optional>

namespace zel::service {
namespace {

constexpr std::size_t kDirectoryBytes = 12;
constexpr std::size_t kRecordBytes = 16;

[[noreturn]] void Damaged() {
    throw PageError(FailureKind::Undecodable, "font damaged");
}

class Tables {
public:
    explicit Tables(std::string_view sfnt) : sfnt_(sfnt) {
        if (sfnt.size() < kDirectoryBytes)
            Damaged();
        count_ = Read16(sfnt, 4);
        if (sfnt.size() < kDirectoryBytes + count_ * kRecordBytes)
            Damaged();
        for (std::size_t i = 0; i < count_; ++i) {
            const std::size_t at = kDirectoryBytes + i * kRecordBytes;
            if (std::uint64_t(Read32(sfnt, at + 8)) + Read32(sfnt, at + 12) > sfnt.size())
                Damaged();
        }
    }

    // The table's bytes; nothing when the font has none.
    std::optional<std::string_view> Find(std::string_view tag) const {
        for (std::size_t i = 0; i < count_; ++i) {
            const std::size_t at = kDirectoryBytes + i * kRecordBytes;
            if (sfnt_.substr(at, 4) == tag)
                return sfnt_.substr(Read32(sfnt_, at + 8), Read32(sfnt_, at + 12));
        }
        return std::nullopt;
    }

private:
    std::string_view sfnt_;
    std::size_t count_ = 0;
};

// Where glyph `i` begins in the glyph table, by the location table's format.
std::size_t GlyphOffset(std::string_view loca, bool longOffsets, std::size_t i) {
    return longOffsets ? Read32(loca, i * 4) : std::size_t(Read16(loca, i * 2)) * 2;
}

} // namespace

std::int64_t ClaimedGlyphPoints(std::string_view sfnt) {
    const Tables tables(sfnt);
    const auto head = tables.Find("head");
    const auto maxp = tables.Find("maxp");
    const auto loca = tables.Find("loca");
    const auto glyf = tables.Find("glyf");
    if (!head || !maxp || !loca || !glyf)
        return 0;
    if (head->size() < 54 || maxp->size() < 6)
        Damaged();
    const bool longOffsets = Read16(*head, 50) != 0;
    const std::size_t entry = longOffsets ? 4 : 2;
    const std::size_t glyphs = std::min<std::size_t>(
        Read16(*maxp, 4), loca->size() / entry > 0 ? loca->size() / entry - 1 : 0);
    std::int64_t points = 0;
    for (std::size_t i = 0; i < glyphs; ++i) {
        const std::size_t begin = GlyphOffset(*loca, longOffsets, i);
        const std::size_t end = GlyphOffset(*loca, longOffsets, i + 1);
        if (end <= begin || end > glyf->size() || end - begin < 10)
            continue;
        const auto contours = std::int16_t(Read16(*glyf, begin));
        if (contours <= 0)
            continue; // empty or made of other glyphs
        const std::size_t last = begin + 10 + 2 * (std::size_t(contours) - 1);
        if (last + 2 > end)
            Damaged();
        points += std::int64_t(Read16(*glyf, last)) + 1;
    }
    return points;
}

} // namespace zel::service
