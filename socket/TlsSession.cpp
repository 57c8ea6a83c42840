#include "TlsSession.h"

#include "ECertificateError.h"
#include "SocketErrorTable.h"
#include "TrustedAuthorities.h"
#include "WinSock.h"

#include <gnutls/x509.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace zel {

namespace {

constexpr std::size_t RawPiece = 256 * 1024;
const char* const Versions = "NORMAL:-VERS-ALL:+VERS-TLS1.3:+VERS-TLS1.2";

// The authorities' credentials, loaded once and again when a test names
// another file.
class Authorities {
public:
    ~Authorities() { Release(); }
    gnutls_certificate_credentials_t Get() {
        const std::string& wanted = TrustedAuthoritiesFile();
        if (Credentials && Loaded == wanted)
            return Credentials;
        Release();
        if (gnutls_certificate_allocate_credentials(&Credentials) < 0)
            throw ESockError("The secure connection could not be prepared: out of memory");
        int count = wanted.empty() ? gnutls_certificate_set_x509_system_trust(Credentials)
                                   : gnutls_certificate_set_x509_trust_file(
                                         Credentials, wanted.c_str(), GNUTLS_X509_FMT_PEM);
        if (count <= 0) {
            Release();
            throw ESockError("No trusted certificate authorities were found (" +
                             (wanted.empty() ? std::string("system store") : wanted) +
                             "): no secure connection can be verified");
        }
        Loaded = wanted;
        return Credentials;
    }

private:
    void Release() {
        if (Credentials)
            gnutls_certificate_free_credentials(Credentials);
        Credentials = nullptr;
    }
    gnutls_certificate_credentials_t Credentials = nullptr;
    std::string Loaded;
};

ECertificateError::Fault FaultOf(unsigned Status) {
    using Fault = ECertificateError::Fault;
    if (Status & (GNUTLS_CERT_SIGNER_NOT_FOUND | GNUTLS_CERT_SIGNER_NOT_CA))
        return Fault::UnknownIssuer;
    if (Status & (GNUTLS_CERT_EXPIRED | GNUTLS_CERT_NOT_ACTIVATED))
        return Fault::Expired;
    if (Status & GNUTLS_CERT_UNEXPECTED_OWNER)
        return Fault::WrongHost;
    return Fault::Unverified;
}

} // namespace

TlsSession::TlsSession(const std::uint16_t& Socket, const std::string& Host)
    : Socket(Socket), Host(Host), Raw(RawPiece) {
    static Authorities authorities;
    gnutls_certificate_credentials_t credentials = authorities.Get();
    if (gnutls_init(&Session, GNUTLS_CLIENT | GNUTLS_NONBLOCK) < 0)
        throw ESockError("The secure connection could not be prepared: out of memory");
    int rc = gnutls_priority_set_direct(Session, Versions, nullptr);
    if (rc >= 0)
        rc = gnutls_credentials_set(Session, GNUTLS_CRD_CERTIFICATE, credentials);
    // A name, not an address, is announced to the server.
    if (rc >= 0 && inet_addr(Host.c_str()) == NoAddress)
        rc = gnutls_server_name_set(Session, GNUTLS_NAME_DNS, Host.data(), Host.size());
    if (rc < 0) {
        gnutls_deinit(Session);
        throw ESockError("The secure connection could not be prepared: " +
                         std::string(gnutls_strerror(rc)));
    }
    gnutls_session_set_verify_cert(Session, this->Host.c_str(), 0);
    // The component's own time-out bounds the handshake.
    gnutls_handshake_set_timeout(Session, 0);
    gnutls_transport_set_ptr(Session, this);
    gnutls_transport_set_pull_function(Session, Pull);
    gnutls_transport_set_pull_timeout_function(Session, PullTimeOut);
    gnutls_transport_set_push_function(Session, Push);
}

TlsSession::~TlsSession() {
    gnutls_deinit(Session);
}

bool TlsSession::Again(int Code) const {
    return Code == GNUTLS_E_AGAIN || Code == GNUTLS_E_INTERRUPTED;
}

bool TlsSession::Handshake() {
    int rc;
    do
        rc = gnutls_handshake(Session);
    while (rc < 0 && !Again(rc) && !gnutls_error_is_fatal(rc)); // warnings go on
    if (rc == GNUTLS_E_SUCCESS)
        return true;
    if (Again(rc))
        return false;
    if (rc == GNUTLS_E_CERTIFICATE_VERIFICATION_ERROR)
        throw ECertificateError(FaultOf(gnutls_session_get_verify_cert_status(Session)), Host);
    Fail(rc, "The secure connection to " + Host + " could not be set up");
}

bool TlsSession::WantsWrite() const {
    return gnutls_record_get_direction(Session) == 1;
}

int TlsSession::Receive(char* To, int Room, bool Peek) {
    if (Plain.empty()) {
        if (!Peek)
            return Decrypt(To, Room);
        Plain.resize(static_cast<std::size_t>(Room));
        int n = Decrypt(Plain.data(), Room);
        Plain.resize(static_cast<std::size_t>(std::max(n, 0)));
        if (n <= 0)
            return n;
    }
    int n = static_cast<int>(std::min<std::size_t>(static_cast<std::size_t>(Room), Plain.size()));
    std::memcpy(To, Plain.data(), static_cast<std::size_t>(n));
    if (!Peek)
        Plain.erase(0, static_cast<std::size_t>(n));
    return n;
}

int TlsSession::Decrypt(char* To, int Room) {
    // As many records as are there, so a large read costs one caller's round.
    int got = 0;
    while (got < Room && !Cut) {
        const auto n = static_cast<int>(
            gnutls_record_recv(Session, To + got, static_cast<std::size_t>(Room - got)));
        if (n > 0) {
            got += n;
            continue;
        }
        if (n == 0 || Again(n))
            return got > 0 || n == 0 ? got : SOCKET_ERROR;
        if (!gnutls_error_is_fatal(n))
            continue; // a warning
        if (!Premature(n))
            Fail(n, "The secure connection to " + Host + " failed");
        Cut = true;
    }
    return got;
}

int TlsSession::Send(const char* Bytes, int Length) {
    ssize_t n = gnutls_record_send(Session, Bytes, static_cast<std::size_t>(Length));
    if (n >= 0)
        return static_cast<int>(n);
    if (!Again(static_cast<int>(n)))
        Fail(static_cast<int>(n), "The secure connection to " + Host + " failed");
    return SOCKET_ERROR;
}

bool TlsSession::HasData() const {
    return !Plain.empty() || RawAt < RawEnd || gnutls_record_check_pending(Session) > 0;
}

bool TlsSession::Premature(int Code) const {
    // The peer's close, seen by the session or by the component's socket.
    // A peer that ends in the middle of a record makes the session report a
    // damaged record rather than an early end; it is a cut all the same.
    return Code == GNUTLS_E_PREMATURE_TERMINATION || PeerClosed || TransportError == WSAENOTCONN ||
           TransportError == WSAECONNRESET;
}

void TlsSession::Fail(int Code, const std::string& Doing) {
    if (Premature(Code))
        throw ESockError(Doing + ": the server closed the connection without ending the secure "
                                 "session, so what arrived may be incomplete");
    if (TransportError != 0) {
        const char* known = FindSocketErrorText(static_cast<std::uint16_t>(TransportError));
        throw ESockError(Doing + ": " + std::to_string(TransportError) + ":" +
                         (known ? known : "Unknown Error"));
    }
    throw ESockError(Doing + ": " + gnutls_strerror(Code));
}

ssize_t TlsSession::Pull(gnutls_transport_ptr_t Self, void* To, std::size_t Room) {
    auto* self = static_cast<TlsSession*>(Self);
    if (self->RawAt == self->RawEnd) {
        int n = recv(self->Socket, self->Raw.data(), static_cast<int>(self->Raw.size()), 0);
        if (n == 0) {
            self->PeerClosed = true;
            return 0;
        }
        if (n < 0) {
            return self->TransportFailed();
        }
        self->RawAt = 0;
        self->RawEnd = static_cast<std::size_t>(n);
    }
    std::size_t n = std::min(Room, self->RawEnd - self->RawAt);
    std::memcpy(To, self->Raw.data() + self->RawAt, n);
    self->RawAt += n;
    return static_cast<ssize_t>(n);
}

ssize_t TlsSession::Push(gnutls_transport_ptr_t Self, const void* Bytes, std::size_t Length) {
    auto* self = static_cast<TlsSession*>(Self);
    int n = send(self->Socket, static_cast<const char*>(Bytes),
                 static_cast<int>(std::min<std::size_t>(Length, 1u << 30)), 0);
    if (n >= 0)
        return n;
    return self->TransportFailed();
}

// A would-block tells GnuTLS to come back; anything else is kept for the
// failure the caller raises.
ssize_t TlsSession::TransportFailed() {
    int error = WSAGetLastError();
    bool again = error == WSAEWOULDBLOCK;
    if (!again)
        TransportError = error;
    gnutls_transport_set_errno(Session, again ? EAGAIN : EIO);
    return -1;
}

int TlsSession::PullTimeOut(gnutls_transport_ptr_t, unsigned int) {
    // Never waits here: the pull answers "would block" and the component
    // sleeps until the next socket event.
    return 1;
}

} // namespace zel
