#include "LoginTag.h"

#include "WriteAll.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <gnutls/crypto.h>
#include <stdexcept>
#include <unistd.h>

namespace zel::service {

namespace {

constexpr std::size_t kKeyBytes = 32;

std::runtime_error KeyFailure(const std::filesystem::path& file, const std::string& what) {
    return std::runtime_error("the access log key " + file.string() + ": " + what);
}

// Written beside and linked into place, so the key is whole or not there.
void MakeKey(const std::filesystem::path& file) {
    std::string key(kKeyBytes, '\0');
    if (gnutls_rnd(GNUTLS_RND_KEY, key.data(), key.size()) < 0)
        throw KeyFailure(file, "no random bytes");
    const std::string fresh = file.string() + ".new";
    const int fd = open(fresh.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    const bool written = fd >= 0 && WriteAll(fd, key) && fsync(fd) == 0;
    const int error = errno;
    if (fd >= 0)
        close(fd);
    // Another process that made it first wins: both then read its key.
    const bool placed = written && (link(fresh.c_str(), file.c_str()) == 0 || errno == EEXIST);
    unlink(fresh.c_str());
    if (!placed)
        throw KeyFailure(file, std::strerror(written ? errno : error));
}

} // namespace

std::string LoadOrMakeLogKey(const std::filesystem::path& file) {
    int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 && errno == ENOENT) {
        MakeKey(file);
        fd = open(file.c_str(), O_RDONLY | O_CLOEXEC);
    }
    if (fd < 0)
        throw KeyFailure(file, std::strerror(errno));
    std::string key(kKeyBytes + 1, '\0');
    const ssize_t got = read(fd, key.data(), key.size());
    close(fd);
    if (got != static_cast<ssize_t>(kKeyBytes))
        throw KeyFailure(file, "damaged; remove it to make a new one (the log's earlier lines "
                               "then no longer match their users)");
    key.resize(kKeyBytes);
    return key;
}

std::string LoginTag(const std::string& key, const std::string& login) {
    unsigned char digest[32];
    gnutls_hmac_fast(GNUTLS_MAC_SHA256, key.data(), key.size(), login.data(), login.size(), digest);
    static const char kHex[] = "0123456789abcdef";
    std::string tag;
    for (std::size_t i = 0; i < sizeof digest / 2; ++i) {
        tag += kHex[digest[i] >> 4];
        tag += kHex[digest[i] & 15];
    }
    return tag;
}

} // namespace zel::service
