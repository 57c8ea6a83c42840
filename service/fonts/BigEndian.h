#pragma once
// Big-endian numbers of font tables, read from bytes the caller has checked
// are there.

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace zel::service {

inline std::uint32_t Read32(std::string_view bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i)
        value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

inline std::uint16_t Read16(std::string_view bytes, std::size_t at) {
    return std::uint16_t(static_cast<unsigned char>(bytes[at]) << 8 |
                         static_cast<unsigned char>(bytes[at + 1]));
}

} // namespace zel::service
