#include "Utf16Text.h"

#include "PageError.h"

namespace zel::service {
namespace {

bool IsMarkupAscii(unsigned char c) {
    return c == '<' || c == '\n' || c == '\r' || c == '\t' || c == ' ';
}

void AppendUtf8(std::string& out, char32_t code) {
    if (code < 0x80) {
        out += char(code);
    } else if (code < 0x800) {
        out += char(0xC0 | code >> 6);
        out += char(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += char(0xE0 | code >> 12);
        out += char(0x80 | (code >> 6 & 0x3F));
        out += char(0x80 | (code & 0x3F));
    } else {
        out += char(0xF0 | code >> 18);
        out += char(0x80 | (code >> 12 & 0x3F));
        out += char(0x80 | (code >> 6 & 0x3F));
        out += char(0x80 | (code & 0x3F));
    }
}

} // namespace

Utf16Order DetectUtf16(std::string_view bytes, const std::string& declaredCharset) {
    if (bytes.starts_with("\xFF\xFE"))
        return Utf16Order::LittleEndian;
    if (bytes.starts_with("\xFE\xFF"))
        return Utf16Order::BigEndian;
    if (bytes.size() >= 2 && bytes[0] == '\0' && IsMarkupAscii(bytes[1]))
        return Utf16Order::BigEndian;
    if (bytes.size() >= 2 && bytes[1] == '\0' && IsMarkupAscii(bytes[0]))
        return Utf16Order::LittleEndian;
    if (declaredCharset == "utf-16be")
        return Utf16Order::BigEndian;
    if (declaredCharset == "utf-16" || declaredCharset == "utf-16le")
        return Utf16Order::LittleEndian;
    return Utf16Order::None;
}

std::string Utf16ToUtf8(std::string_view bytes, Utf16Order order) {
    if (bytes.size() % 2 != 0)
        throw PageError(FailureKind::Undecodable, "text cannot be decoded");
    const bool big = order == Utf16Order::BigEndian;
    const auto unit = [&](std::size_t at) -> char32_t {
        const unsigned char first = bytes[at];
        const unsigned char second = bytes[at + 1];
        return big ? char32_t(first << 8 | second) : char32_t(second << 8 | first);
    };
    std::string out;
    out.reserve(bytes.size() / 2 * 3 / 2);
    std::size_t at = bytes.size() >= 2 && unit(0) == 0xFEFF ? 2 : 0;
    for (; at < bytes.size(); at += 2) {
        char32_t code = unit(at);
        if (code >= 0xDC00 && code < 0xE000)
            throw PageError(FailureKind::Undecodable, "text cannot be decoded");
        if (code >= 0xD800 && code < 0xDC00) {
            const char32_t low = at + 4 <= bytes.size() ? unit(at + 2) : 0;
            if (low < 0xDC00 || low >= 0xE000)
                throw PageError(FailureKind::Undecodable, "text cannot be decoded");
            code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
            at += 2;
        }
        AppendUtf8(out, code);
    }
    return out;
}

} // namespace zel::service
