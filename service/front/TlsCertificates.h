#pragma once
// The certificate and private key that HTTPS is served with, read from PEM
// files and read again on demand, so a renewed certificate needs no
// restart: each new handshake gets the pair read last. A pair that does not
// load (unreadable, not PEM, a key that is not the certificate's, a key file
// open to every user) is refused and the pair served stays. Every pair
// loaded stays in memory until this object goes, since a handshake begun
// with it may still use it.

#include <gnutls/abstract.h>
#include <memory>
#include <string>
#include <vector>

namespace zel::service {

class TlsCertificates {
public:
    // Loads the pair and serves it from now on; throws std::runtime_error
    // telling what is wrong with it.
    TlsCertificates(std::string certFile, std::string keyFile);
    ~TlsCertificates();
    TlsCertificates(const TlsCertificates&) = delete;
    TlsCertificates& operator=(const TlsCertificates&) = delete;

    // Reads both files again; throws, keeping the pair served, when they do
    // not load.
    void Reload();

    // The TLS library's certificate callback. It carries no context, so the
    // pair handed out is that of the TlsCertificates made last in this
    // process.
    static int Retrieve(gnutls_session_t, const gnutls_datum_t*, int, const gnutls_pk_algorithm_t*,
                        int, gnutls_pcert_st** chain, unsigned* chainLength, gnutls_privkey_t* key);

private:
    struct Pair;

    const std::string certFile_;
    const std::string keyFile_;
    std::vector<std::unique_ptr<Pair>> loaded_; // the last one is served
};

} // namespace zel::service
