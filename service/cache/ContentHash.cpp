#include "ContentHash.h"

#include "CacheStore.h"

#include <gnutls/crypto.h>

namespace zel::service {

std::string ContentHash(std::string_view bytes) {
    unsigned char digest[32];
    if (gnutls_hash_fast(GNUTLS_DIG_SHA256, bytes.data(), bytes.size(), digest) < 0)
        throw CacheFailure("no SHA-256");
    static constexpr char kHex[] = "0123456789abcdef";
    std::string text;
    for (const unsigned char byte : digest) {
        text += kHex[byte >> 4];
        text += kHex[byte & 15];
    }
    return text;
}

} // namespace zel::service
