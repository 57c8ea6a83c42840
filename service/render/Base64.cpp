#include "Base64.h"

#include <algorithm>

namespace zel::service {

std::string EncodeBase64(std::string_view bytes) {
    static constexpr char kDigits[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string text;
    text.reserve((bytes.size() + 2) / 3 * 4);
    for (std::size_t at = 0; at < bytes.size(); at += 3) {
        const std::size_t count = std::min<std::size_t>(3, bytes.size() - at);
        unsigned value = 0;
        for (std::size_t i = 0; i < 3; ++i)
            value = value << 8 | (i < count ? static_cast<unsigned char>(bytes[at + i]) : 0u);
        for (std::size_t i = 0; i < 4; ++i)
            text.push_back(i <= count ? kDigits[(value >> (18 - 6 * i)) & 63] : '=');
    }
    return text;
}

} // namespace zel::service
