#pragma once
// The 120-byte settings record of "nastr.dat". The record keeps the bytes it
// was read with, so the unused byte 0 and the padding go back unchanged.

#include "RecordBytes.h"

#include <cstdint>
#include <string>

namespace zel {

class SettingsRecord {
public:
    static constexpr std::size_t Size = 120;
    static constexpr std::size_t LoginLength = 30;
    static constexpr std::size_t ProxyLength = 50;

    RecordBytes<Size>& bytes() { return bytes_; }
    const RecordBytes<Size>& bytes() const { return bytes_; }

    bool loadImages() const { return bytes_.boolAt(1); }
    void setLoadImages(bool v) { bytes_.setBool(1, v); }
    bool inNewWindow() const { return bytes_.boolAt(2); }
    void setInNewWindow(bool v) { bytes_.setBool(2, v); }
    bool workOffLine() const { return bytes_.boolAt(3); }
    void setWorkOffLine(bool v) { bytes_.setBool(3, v); }
    bool gray() const { return bytes_.boolAt(4); }
    void setGray(bool v) { bytes_.setBool(4, v); }

    std::int32_t keepDays() const { return bytes_.int32At(8); }
    void setKeepDays(std::int32_t v) { bytes_.setInt32(8, v); }
    // Longer texts are cut to the field's room.
    std::string login() const { return bytes_.shortStringAt(12, LoginLength); }
    void setLogin(const std::string& v) { bytes_.setShortString(12, LoginLength, v); }
    std::string proxy() const { return bytes_.shortStringAt(43, ProxyLength); }
    void setProxy(const std::string& v) { bytes_.setShortString(43, ProxyLength, v); }
    std::int32_t proxyPort() const { return bytes_.int32At(96); }
    void setProxyPort(std::int32_t v) { bytes_.setInt32(96, v); }

    std::int32_t top() const { return bytes_.int32At(100); }
    void setTop(std::int32_t v) { bytes_.setInt32(100, v); }
    std::int32_t left() const { return bytes_.int32At(104); }
    void setLeft(std::int32_t v) { bytes_.setInt32(104, v); }
    std::int32_t width() const { return bytes_.int32At(108); }
    void setWidth(std::int32_t v) { bytes_.setInt32(108, v); }
    std::int32_t height() const { return bytes_.int32At(112); }
    void setHeight(std::int32_t v) { bytes_.setInt32(112, v); }

    // Stored as the low byte of the track bar positions.
    std::uint8_t jpegQuality() const { return bytes_.byteAt(116); }
    void setJpegQuality(int v) { bytes_.setByte(116, static_cast<std::uint8_t>(v)); }
    std::uint8_t colorExponent() const { return bytes_.byteAt(117); }
    void setColorExponent(int v) { bytes_.setByte(117, static_cast<std::uint8_t>(v)); }

private:
    RecordBytes<Size> bytes_;
};

} // namespace zel
