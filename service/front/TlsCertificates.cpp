#include "TlsCertificates.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace zel::service {

namespace {

// A chain longer than this is not a server's.
constexpr unsigned kMaxChain = 16;

// Guards which object serves and the pairs it has loaded.
std::mutex servedMutex;
TlsCertificates* served = nullptr;

void Check(int result, const std::string& what) {
    if (result < 0)
        throw std::runtime_error(what + ": " + gnutls_strerror(result));
}

// The whole file; a secret one must not be open to every user.
std::string ReadWhole(const std::string& path, bool secret) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        throw std::runtime_error("cannot read " + path + ": " + std::strerror(errno));
    struct stat info {};
    std::string bytes;
    char buffer[4096];
    ssize_t got = 0;
    if (fstat(fd, &info) == 0 && !(secret && (info.st_mode & S_IRWXO)))
        while ((got = read(fd, buffer, sizeof buffer)) > 0)
            bytes.append(buffer, static_cast<std::size_t>(got));
    close(fd);
    if (secret && (info.st_mode & S_IRWXO))
        throw std::runtime_error("the key " + path +
                                 " is open to every user: make it readable by the service only "
                                 "(chmod o-rwx)");
    if (got < 0)
        throw std::runtime_error("cannot read " + path);
    return bytes;
}

gnutls_datum_t Datum(std::string& bytes) {
    return {reinterpret_cast<unsigned char*>(bytes.data()), static_cast<unsigned>(bytes.size())};
}

std::string KeyId(gnutls_pubkey_t key) {
    unsigned char id[64];
    std::size_t size = sizeof id;
    if (gnutls_pubkey_get_key_id(key, 0, id, &size) < 0)
        return "";
    return std::string(reinterpret_cast<char*>(id), size);
}

} // namespace

struct TlsCertificates::Pair {
    Pair() = default;
    Pair(const Pair&) = delete;
    Pair& operator=(const Pair&) = delete;
    ~Pair() {
        for (gnutls_pcert_st& certificate : chain)
            gnutls_pcert_deinit(&certificate);
        if (key)
            gnutls_privkey_deinit(key);
    }

    // Throws when the key is not the one of the chain's first certificate.
    void CheckKeyMatches(const std::string& keyFile) const {
        gnutls_pubkey_t own = nullptr;
        Check(gnutls_pubkey_init(&own), "the key " + keyFile);
        const bool read = gnutls_pubkey_import_privkey(own, key, 0, 0) >= 0;
        const std::string id = read ? KeyId(own) : "";
        gnutls_pubkey_deinit(own);
        if (id.empty() || id != KeyId(chain.front().pubkey))
            throw std::runtime_error("the key " + keyFile + " is not that of the certificate");
    }

    static std::unique_ptr<Pair> Load(const std::string& certFile, const std::string& keyFile);

    std::vector<gnutls_pcert_st> chain;
    gnutls_privkey_t key = nullptr;
};

std::unique_ptr<TlsCertificates::Pair> TlsCertificates::Pair::Load(const std::string& certFile,
                                                                   const std::string& keyFile) {
    std::string certBytes = ReadWhole(certFile, false);
    std::string keyBytes = ReadWhole(keyFile, true);
    auto pair = std::make_unique<Pair>();
    gnutls_datum_t certs = Datum(certBytes);
    gnutls_datum_t key = Datum(keyBytes);
    pair->chain.resize(kMaxChain);
    unsigned length = kMaxChain;
    const int chainRead =
        gnutls_pcert_list_import_x509_raw(pair->chain.data(), &length, &certs, GNUTLS_X509_FMT_PEM,
                                          GNUTLS_X509_CRT_LIST_FAIL_IF_UNSORTED);
    pair->chain.resize(chainRead < 0 ? 0 : length);
    Check(chainRead, "the certificate " + certFile);
    Check(gnutls_privkey_init(&pair->key), "the key " + keyFile);
    const int keyRead =
        gnutls_privkey_import_x509_raw(pair->key, &key, GNUTLS_X509_FMT_PEM, nullptr, 0);
    gnutls_memset(keyBytes.data(), 0, keyBytes.size());
    Check(keyRead, "the key " + keyFile);
    pair->CheckKeyMatches(keyFile);
    return pair;
}

TlsCertificates::TlsCertificates(std::string certFile, std::string keyFile)
    : certFile_(std::move(certFile)), keyFile_(std::move(keyFile)) {
    loaded_.push_back(Pair::Load(certFile_, keyFile_));
    std::lock_guard lock(servedMutex);
    served = this;
}

TlsCertificates::~TlsCertificates() {
    std::lock_guard lock(servedMutex);
    if (served == this)
        served = nullptr;
}

void TlsCertificates::Reload() {
    std::unique_ptr<Pair> pair = Pair::Load(certFile_, keyFile_);
    std::lock_guard lock(servedMutex);
    loaded_.push_back(std::move(pair));
}

int TlsCertificates::Retrieve(gnutls_session_t, const gnutls_datum_t*, int,
                              const gnutls_pk_algorithm_t*, int, gnutls_pcert_st** chain,
                              unsigned* chainLength, gnutls_privkey_t* key) {
    std::lock_guard lock(servedMutex);
    if (!served)
        return -1;
    Pair& pair = *served->loaded_.back();
    *chain = pair.chain.data();
    *chainLength = static_cast<unsigned>(pair.chain.size());
    *key = pair.key;
    return 0;
}

} // namespace zel::service
