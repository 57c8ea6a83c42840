#pragma once
// A TLS client session over the socket component's non-blocking socket. Its
// records travel through the socket calls of WinSock.h, so a step that finds
// no data answers "would block" as recv does, and the caller sleeps until the
// next socket event. The handshake checks the server's chain and name
// against the trusted authorities and accepts TLS 1.2 or later only.

#include <gnutls/gnutls.h>

#include <cstdint>
#include <string>
#include <vector>

namespace zel {

class TlsSession {
public:
    // Socket: the component's handle, read at every call (a close replaces it).
    TlsSession(const std::uint16_t& Socket, const std::string& Host);
    ~TlsSession();
    TlsSession(const TlsSession&) = delete;
    TlsSession& operator=(const TlsSession&) = delete;

    // True once the handshake is complete; false while it waits for the
    // socket, in the direction WantsWrite tells. Raises ECertificateError for
    // a server the authorities do not vouch for, ESockError for the rest.
    bool Handshake();
    bool WantsWrite() const;
    // Like recv and send: bytes; 0 when the server ended the session, or cut
    // the connection without its closing notice (CutShort: what arrived may
    // be truncated); SOCKET_ERROR with "would block" as the last socket
    // error. Every other failure raises ESockError.
    int Receive(char* To, int Room, bool Peek);
    int Send(const char* Bytes, int Length);
    // Decrypted or received bytes wait to be read.
    bool HasData() const;
    bool CutShort() const { return Cut; }

private:
    static ssize_t Pull(gnutls_transport_ptr_t Self, void* To, std::size_t Room);
    static ssize_t Push(gnutls_transport_ptr_t Self, const void* Bytes, std::size_t Length);
    ssize_t TransportFailed();
    static int PullTimeOut(gnutls_transport_ptr_t Self, unsigned int Ms);
    int Decrypt(char* To, int Room);
    [[noreturn]] void Fail(int Code, const std::string& Doing);
    bool Premature(int Code) const;
    bool Again(int Code) const;

    gnutls_session_t Session = nullptr;
    const std::uint16_t& Socket;
    std::string Host;
    std::string Plain; // decrypted bytes a peek left for the next receive
    // Raw bytes taken from the socket in large pieces, handed out per record.
    std::vector<char> Raw;
    std::size_t RawAt = 0;
    std::size_t RawEnd = 0;
    int TransportError = 0;  // the socket error behind a failed pull or push
    bool PeerClosed = false; // the socket reached its end
    bool Cut = false;
};

} // namespace zel
