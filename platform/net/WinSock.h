#pragma once
// The socket calls of the message-driven socket component, on POSIX sockets.
// Every failing call returns SOCKET_ERROR (or INVALID_SOCKET) and leaves a
// Windows Sockets error number (10035 would block, 10057 not connected,
// 10061 refused ...) for WSAGetLastError: the component's error handling and
// texts are written against those numbers. Handles are file descriptors.
//
// Event selection (WSAAsyncSelect) posts a message to a hidden window for
// each selected event, lParam = event code | error << 16. Like the original
// interface it does not repeat itself: a readable event is posted once and
// again only after the next receive call, an incoming connection once per
// accept call, so a waiting loop sleeps until something really happens.
// Everything here runs on the GUI thread.

#include "HiddenWindow.h"

#include <cstdint>

namespace zel {

using SOCKET = int;
constexpr SOCKET INVALID_SOCKET = -1;
constexpr int SOCKET_ERROR = -1;

// The numbers of the original interface (the POSIX names are macros here).
constexpr int AddressFamilyInet = 2;
constexpr int SocketTypeStream = 1;
constexpr int ProtocolTcp = 6;
constexpr int SocketLevel = 0xFFFF;
constexpr int OptionLinger = 128;
constexpr int MsgPeek = 2;
constexpr std::uint32_t NoAddress = 0xFFFFFFFF;

// Event codes of the selection.
constexpr long FD_READ = 1;
constexpr long FD_OOB = 4; // accepted in a mask, never reported
constexpr long FD_ACCEPT = 8;
constexpr long FD_CONNECT = 16;
constexpr long FD_CLOSE = 32;

constexpr int WSAEWOULDBLOCK = 10035;
constexpr int WSAENOTCONN = 10057;
constexpr int WSAECONNRESET = 10054;

// IPv4 socket address: family, port and address in network byte order.
struct SockAddrIn {
    std::uint16_t sin_family = 0;
    std::uint16_t sin_port = 0;
    std::uint32_t sin_addr = 0;
    char sin_zero[8] = {};
};
static_assert(sizeof(SockAddrIn) == 16);

struct LingerOption {
    std::uint16_t l_onoff;
    std::uint16_t l_linger; // seconds
};

struct WSAData {
    std::uint16_t wVersion = 0;
    std::uint16_t wHighVersion = 0;
    char szDescription[257] = {};
    char szSystemStatus[129] = {};
    std::uint16_t iMaxSockets = 0;
    std::uint16_t iMaxUdpDg = 0;
};

// 0, or a Windows Sockets error number.
int WSAStartup(std::uint16_t versionRequested, WSAData* data);
int WSACleanup();
int WSAGetLastError();
// The Windows Sockets number for an errno value; the one place that maps them.
int WSAErrorFromErrno(int err);

SOCKET socket(int family, int type, int protocol);
int setsockopt(SOCKET s, int level, int option, const void* value, int length);
int connect(SOCKET s, const SockAddrIn* address, int length);
int send(SOCKET s, const char* buffer, int length, int flags);
int recv(SOCKET s, char* buffer, int length, int flags);
SOCKET accept(SOCKET s, SockAddrIn* address, int* length);
int bind(SOCKET s, const SockAddrIn* address, int length);
int listen(SOCKET s, int backlog);
int getsockname(SOCKET s, SockAddrIn* address, int* length);
int closesocket(SOCKET s);
// Dotted IPv4 text to an address in network byte order; NoAddress when it is
// not one.
std::uint32_t inet_addr(const char* text);
std::uint16_t HostToNetworkPort(std::uint16_t value);
std::uint16_t NetworkToHostPort(std::uint16_t value);

// Makes the socket non-blocking and posts `message` to `window` for the
// events in `mask`; a mask of 0 ends the selection.
int WSAAsyncSelect(SOCKET s, WindowHandle window, std::uint32_t message, long mask);

// Sleeps until the socket can take more data, another event arrives, or
// `maxMs` pass; dispatches what arrived. For send loops that met "would block".
void WaitForWritable(SOCKET s, int maxMs);

} // namespace zel
