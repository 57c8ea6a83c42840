#pragma once
// Little-endian field access inside a fixed-size record held as raw bytes.
// Records keep the bytes they were read with, so fields the program does not
// use (padding, unused flags) go back to disk unchanged.

#include "Utf8.h"

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <string>

namespace zel {

template <std::size_t N> class RecordBytes {
public:
    RecordBytes() { bytes_.fill(0); }

    std::uint8_t* data() { return bytes_.data(); }
    const std::uint8_t* data() const { return bytes_.data(); }
    static constexpr std::size_t size() { return N; }

    std::uint8_t byteAt(std::size_t offset) const { return bytes_.at(offset); }
    void setByte(std::size_t offset, std::uint8_t value) { bytes_.at(offset) = value; }

    bool boolAt(std::size_t offset) const { return byteAt(offset) != 0; }
    void setBool(std::size_t offset, bool value) { setByte(offset, value ? 1 : 0); }

    std::int32_t int32At(std::size_t offset) const {
        std::uint32_t v = 0;
        for (std::size_t i = 0; i < 4; ++i)
            v |= static_cast<std::uint32_t>(byteAt(offset + i)) << (8 * i);
        return static_cast<std::int32_t>(v);
    }
    void setInt32(std::size_t offset, std::int32_t value) {
        auto v = static_cast<std::uint32_t>(value);
        for (std::size_t i = 0; i < 4; ++i)
            setByte(offset + i, static_cast<std::uint8_t>(v >> (8 * i)));
    }

    double doubleAt(std::size_t offset) const {
        std::uint64_t v = 0;
        for (std::size_t i = 0; i < 8; ++i)
            v |= static_cast<std::uint64_t>(byteAt(offset + i)) << (8 * i);
        return std::bit_cast<double>(v);
    }
    void setDouble(std::size_t offset, double value) {
        auto v = std::bit_cast<std::uint64_t>(value);
        for (std::size_t i = 0; i < 8; ++i)
            setByte(offset + i, static_cast<std::uint8_t>(v >> (8 * i)));
    }

    // A length byte followed by room for `capacity` characters. A stored length
    // larger than the room is read as the room, never past it.
    std::string shortStringAt(std::size_t offset, std::size_t capacity) const {
        std::size_t length = byteAt(offset);
        if (length > capacity)
            length = capacity;
        return std::string(reinterpret_cast<const char*>(bytes_.data() + offset + 1), length);
    }
    // Stores at most `capacity` bytes of the text, never part of a character;
    // bytes after the text keep their content.
    void setShortString(std::size_t offset, std::size_t capacity, const std::string& text) {
        const std::string stored = CutUtf8(text, capacity);
        setByte(offset, static_cast<std::uint8_t>(stored.size()));
        for (std::size_t i = 0; i < stored.size(); ++i)
            setByte(offset + 1 + i, static_cast<std::uint8_t>(stored[i]));
    }

private:
    std::array<std::uint8_t, N> bytes_;
};

} // namespace zel
