#include "Logins.h"

#include <algorithm>
#include <string_view>
#include <sys/random.h>

namespace zel::service {

namespace {

constexpr char kAlphabet[] = "abcdefghijklmnopqrstuvwxyz0123456789";
constexpr int kAlphabetSize = 36;
constexpr std::size_t kLoginLength = 16;

unsigned char RandomByte() {
    unsigned char byte = 0;
    while (getrandom(&byte, 1, 0) != 1) {
    }
    return byte;
}

bool IsLoginChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

} // namespace

std::string NewLogin() {
    std::string login;
    while (login.size() < kLoginLength) {
        // 252 is the largest multiple of 36 below 256: no letter is favoured.
        const unsigned char byte = RandomByte();
        if (byte < 252)
            login += kAlphabet[byte % kAlphabetSize];
    }
    return login;
}

bool IsWellFormedLogin(const std::string& login) {
    return login.size() >= 12 && login.size() <= 30 &&
           std::all_of(login.begin(), login.end(), IsLoginChar);
}

bool IsPlausibleEmail(const std::string& address) {
    const std::size_t at = address.find('@');
    if (address.size() < 7 || address.size() > 254 || at == std::string::npos || at < 2 ||
        address.find('.') == std::string::npos || address.find('@', at + 1) != std::string::npos)
        return false;
    return std::none_of(address.begin(), address.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte <= 0x20 || byte >= 0x7f ||
               std::string_view(",;:<>()[]\\\"").find(c) != std::string_view::npos;
    });
}

} // namespace zel::service
