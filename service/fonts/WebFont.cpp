#include "WebFont.h"

#include "BigEndian.h"

#include "FontClaims.h"
#include "PageError.h"

#include <woff2/encode.h>
#include <zlib.h>

#include <vector>

namespace zel::service {
namespace {

constexpr std::size_t kWoffHeaderBytes = 44;
constexpr std::size_t kWoffEntryBytes = 20;
constexpr std::size_t kSfntEntryBytes = 16;
// Real outlines take at least a byte of coordinates per point, and a WOFF's
// deflated glyphs a few times less: more points than this for each byte sent
// are a font claiming what it does not hold.
constexpr std::int64_t kPointsPerFontByte = 8;
constexpr std::int64_t kSmallFontPoints = 4096;

void Write32(std::string& out, std::uint32_t value) {
    for (int shift : {24, 16, 8, 0})
        out += char(value >> shift & 0xFF);
}

void Write16(std::string& out, std::uint16_t value) {
    out += char(value >> 8);
    out += char(value & 0xFF);
}

struct WoffTable {
    std::uint32_t tag, offset, compressed, length, checksum;
};

// The table's bytes as the font has them, or nothing when damaged.
bool UnpackTable(std::string_view woff, const WoffTable& table, std::string& out) {
    const std::string_view packed = woff.substr(table.offset, table.compressed);
    if (table.compressed == table.length) {
        out.append(packed);
        return true;
    }
    const std::size_t at = out.size();
    out.resize(at + table.length);
    uLongf length = table.length;
    return uncompress(reinterpret_cast<Bytef*>(out.data() + at), &length,
                      reinterpret_cast<const Bytef*>(packed.data()),
                      uLong(packed.size())) == Z_OK &&
           length == table.length;
}

} // namespace

std::string_view FontExtension(std::string_view bytes) {
    const std::string_view tag = bytes.substr(0, 4);
    if (tag == std::string_view("\0\1\0\0", 4) || tag == "true")
        return "ttf";
    if (tag == "OTTO")
        return "otf";
    if (tag == "wOFF")
        return "woff";
    if (tag == "wOF2")
        return "woff2";
    return {};
}

std::string UnpackWoff(std::string_view woff, std::int64_t maxBytes) {
    if (woff.size() < kWoffHeaderBytes || FontExtension(woff) != "woff")
        return {};
    const std::uint16_t count = Read16(woff, 12);
    if (count == 0 || woff.size() < kWoffHeaderBytes + count * kWoffEntryBytes)
        return {};
    std::vector<WoffTable> tables;
    std::int64_t total = 12 + std::int64_t(count) * kSfntEntryBytes;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t at = kWoffHeaderBytes + i * kWoffEntryBytes;
        const WoffTable table{Read32(woff, at), Read32(woff, at + 4), Read32(woff, at + 8),
                              Read32(woff, at + 12), Read32(woff, at + 16)};
        if (std::uint64_t(table.offset) + table.compressed > woff.size() ||
            table.compressed > table.length)
            return {};
        total += (std::int64_t(table.length) + 3) / 4 * 4;
        if (total > maxBytes)
            return {};
        tables.push_back(table);
    }
    std::string sfnt;
    sfnt.reserve(std::size_t(total));
    Write32(sfnt, Read32(woff, 4)); // the flavour: TrueType or OpenType
    Write16(sfnt, count);
    std::uint16_t selector = 0;
    while ((2u << selector) <= count)
        ++selector;
    const std::uint16_t range = std::uint16_t((1u << selector) * kSfntEntryBytes);
    Write16(sfnt, range);
    Write16(sfnt, selector);
    Write16(sfnt, std::uint16_t(count * kSfntEntryBytes - range));
    std::uint32_t offset = std::uint32_t(12 + count * kSfntEntryBytes);
    for (const WoffTable& table : tables) {
        Write32(sfnt, table.tag);
        Write32(sfnt, table.checksum);
        Write32(sfnt, offset);
        Write32(sfnt, table.length);
        offset += (table.length + 3) / 4 * 4;
    }
    for (const WoffTable& table : tables) {
        if (!UnpackTable(woff, table, sfnt))
            return {};
        sfnt.resize((sfnt.size() + 3) / 4 * 4, '\0');
    }
    return sfnt;
}

std::string ShrinkFont(const std::string& font, std::int64_t maxUnpackedBytes) {
    const std::string_view extension = FontExtension(font);
    if (extension.empty() || extension == "woff2")
        return font;
    const std::string sfnt = extension == "woff" ? UnpackWoff(font, maxUnpackedBytes) : font;
    if (sfnt.empty())
        return font;
    if (ClaimedGlyphPoints(sfnt) >
        kSmallFontPoints + kPointsPerFontByte * std::int64_t(font.size()))
        throw PageError(FailureKind::Inflated, "font too big");
    const auto* data = reinterpret_cast<const std::uint8_t*>(sfnt.data());
    std::string woff2(woff2::MaxWOFF2CompressedSize(data, sfnt.size()), '\0');
    std::size_t length = woff2.size();
    // Brotli's best (11) takes 14 times as long for 8% less: 8 s instead of
    // 0.6 s on a 760 KB font, more than a page may wait.
    woff2::WOFF2Params params;
    params.brotli_quality = 9;
    if (!woff2::ConvertTTFToWOFF2(data, sfnt.size(), reinterpret_cast<std::uint8_t*>(woff2.data()),
                                  &length, params) ||
        length >= font.size())
        return font;
    woff2.resize(length);
    return woff2;
}

} // namespace zel::service
