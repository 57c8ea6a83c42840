#include "WinSock.h"

#include "EventWait.h"

#include <QPointer>
#include <QSocketNotifier>

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <string>
#include <unordered_map>

namespace zel {

namespace {

thread_local int lastError = 0;
int startups = 0;

int Fail(int wsaError) {
    lastError = wsaError;
    return SOCKET_ERROR;
}

int FailFromErrno() {
    return Fail(WSAErrorFromErrno(errno));
}

sockaddr_in ToPosix(const SockAddrIn& a) {
    sockaddr_in p{};
    p.sin_family = a.sin_family;
    p.sin_port = a.sin_port;
    p.sin_addr.s_addr = a.sin_addr;
    return p;
}

SockAddrIn FromPosix(const sockaddr_in& p) {
    SockAddrIn a;
    a.sin_family = p.sin_family;
    a.sin_port = p.sin_port;
    a.sin_addr = p.sin_addr.s_addr;
    return a;
}

// One socket's event selection. Posted events carry it as their sender, so
// events still queued when it ends (socket closed or selected anew) are dropped.
struct Selection {
    enum class State { Idle, Connecting, Connected, Listening, Ended };

    SOCKET s = INVALID_SOCKET;
    QPointer<HiddenWindow> window; // a socket may outlive its window
    std::uint32_t message = 0;
    long mask = 0;
    State state = State::Idle;
    std::unique_ptr<QSocketNotifier> readable;
    std::unique_ptr<QSocketNotifier> writable;
};

// Never destroyed: notifiers must not outlive the event dispatcher at exit.
auto& Selections() {
    static auto* selections = new std::unordered_map<SOCKET, std::shared_ptr<Selection>>;
    return *selections;
}

Selection* FindSelection(SOCKET s) {
    auto it = Selections().find(s);
    return it == Selections().end() ? nullptr : it->second.get();
}

void Post(Selection& sel, long event, int error) {
    if (!(sel.mask & event) || !sel.window)
        return;
    auto it = Selections().find(sel.s);
    if (it == Selections().end())
        return;
    std::intptr_t lParam = event | (static_cast<std::intptr_t>(error & 0xFFFF) << 16);
    PostWindowMessage(sel.window, sel.message, static_cast<std::uintptr_t>(sel.s), lParam,
                      it->second);
}

void ArmReadable(Selection& sel) {
    if (sel.state == Selection::State::Connected || sel.state == Selection::State::Listening)
        sel.readable->setEnabled(true);
}

// Readiness is level-triggered; the notifier stays off after reporting until
// the caller receives (or accepts) again.
void OnReadable(Selection& sel) {
    sel.readable->setEnabled(false);
    if (sel.state == Selection::State::Listening) {
        Post(sel, FD_ACCEPT, 0);
        return;
    }
    char byte;
    ssize_t n = ::recv(sel.s, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
    if (n > 0) {
        Post(sel, FD_READ, 0);
    } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
        sel.readable->setEnabled(true);
    } else {
        sel.state = Selection::State::Ended;
        Post(sel, FD_CLOSE, n == 0 ? 0 : WSAErrorFromErrno(errno));
    }
}

void CompleteConnect(Selection& sel, int err) {
    sel.writable->setEnabled(false);
    sel.state = err == 0 ? Selection::State::Connected : Selection::State::Ended;
    ArmReadable(sel);
    Post(sel, FD_CONNECT, err == 0 ? 0 : WSAErrorFromErrno(err));
}

void OnWritable(Selection& sel) {
    int err = 0;
    socklen_t len = sizeof(err);
    if (::getsockopt(sel.s, SOL_SOCKET, SO_ERROR, &err, &len) != 0)
        err = errno;
    CompleteConnect(sel, err);
}

Selection::State StateOf(SOCKET s) {
    int listening = 0;
    socklen_t len = sizeof(listening);
    if (::getsockopt(s, SOL_SOCKET, SO_ACCEPTCONN, &listening, &len) == 0 && listening)
        return Selection::State::Listening;
    sockaddr_in peer{};
    len = sizeof(peer);
    if (::getpeername(s, reinterpret_cast<sockaddr*>(&peer), &len) == 0)
        return Selection::State::Connected;
    return Selection::State::Idle;
}

// Errors a non-blocking connect reports later, through FD_CONNECT.
bool IsConnectOutcome(int err) {
    return err == ECONNREFUSED || err == ETIMEDOUT || err == ENETUNREACH || err == EHOSTUNREACH ||
           err == ECONNRESET;
}

} // namespace

int WSAErrorFromErrno(int err) {
    switch (err) {
    case EINTR:
        return 10004;
    case EBADF:
        return 10009;
    case EACCES:
    case EPERM:
        return 10013;
    case EFAULT:
        return 10014;
    case EINVAL:
        return 10022;
    case EMFILE:
    case ENFILE:
        return 10024;
#if EAGAIN != EWOULDBLOCK
    case EWOULDBLOCK:
#endif
    case EAGAIN:
        return WSAEWOULDBLOCK;
    case EINPROGRESS:
        return 10036;
    case EALREADY:
        return 10037;
    case ENOTSOCK:
        return 10038;
    case EDESTADDRREQ:
        return 10039;
    case EMSGSIZE:
        return 10040;
    case EPROTOTYPE:
        return 10041;
    case ENOPROTOOPT:
        return 10042;
    case EPROTONOSUPPORT:
        return 10043;
    case ESOCKTNOSUPPORT:
        return 10044;
    case EOPNOTSUPP:
        return 10045;
    case EPFNOSUPPORT:
        return 10046;
    case EAFNOSUPPORT:
        return 10047;
    case EADDRINUSE:
        return 10048;
    case EADDRNOTAVAIL:
        return 10049;
    case ENETDOWN:
        return 10050;
    case ENETUNREACH:
        return 10051;
    case ENETRESET:
        return 10052;
    case ECONNABORTED:
        return 10053;
    case ECONNRESET:
        return 10054;
    case ENOBUFS:
    case ENOMEM:
        return 10055;
    case EISCONN:
        return 10056;
    case ENOTCONN:
    case EPIPE:
        return WSAENOTCONN; // sending on a socket never or no longer connected
    case ESHUTDOWN:
        return 10058;
    case ETOOMANYREFS:
        return 10059;
    case ETIMEDOUT:
        return 10060;
    case ECONNREFUSED:
        return 10061;
    case ELOOP:
        return 10062;
    case ENAMETOOLONG:
        return 10063;
    case EHOSTDOWN:
        return 10064;
    case EHOSTUNREACH:
        return 10065;
    case ENOTEMPTY:
        return 10066;
    case EUSERS:
        return 10068;
    case EDQUOT:
        return 10069;
    case ESTALE:
        return 10070;
    case EREMOTE:
        return 10071;
    default:
        // Kept apart from every listed number, and still telling the errno.
        return 20000 + err;
    }
}

int WSAStartup(std::uint16_t versionRequested, WSAData* data) {
    // This layer offers version 1.1 and nothing older.
    if ((versionRequested & 0xFF) < 1 || versionRequested == 0x0001)
        return 10092;
    if (!data)
        return 10014;
    *data = WSAData{};
    data->wVersion = 0x0101;
    data->wHighVersion = 0x0101;
    std::string description = "POSIX sockets";
    utsname system{};
    if (::uname(&system) == 0)
        description += std::string(" on ") + system.sysname + " " + system.release;
    std::strncpy(data->szDescription, description.c_str(), sizeof(data->szDescription) - 1);
    std::strncpy(data->szSystemStatus, "Running", sizeof(data->szSystemStatus) - 1);
    rlimit files{};
    rlim_t maxSockets = ::getrlimit(RLIMIT_NOFILE, &files) == 0 ? files.rlim_cur : 1024;
    // Handles are 16-bit and 65535 means none.
    data->iMaxSockets = static_cast<std::uint16_t>(std::min<rlim_t>(maxSockets, 65535));
    data->iMaxUdpDg = 65507; // largest IPv4 datagram payload
    ++startups;
    return 0;
}

int WSACleanup() {
    if (startups == 0)
        return Fail(10093);
    --startups;
    return 0;
}

int WSAGetLastError() {
    return lastError;
}

SOCKET socket(int family, int type, int protocol) {
    int s = ::socket(family, type | SOCK_CLOEXEC, protocol);
    if (s < 0) {
        FailFromErrno();
        return INVALID_SOCKET;
    }
    return s;
}

int setsockopt(SOCKET s, int level, int option, const void* value, int length) {
    if (level != SocketLevel || option != OptionLinger)
        return Fail(10042);
    if (!value || length < static_cast<int>(sizeof(LingerOption)))
        return Fail(10014);
    LingerOption given;
    std::memcpy(&given, value, sizeof(given));
    linger posix{given.l_onoff != 0, given.l_linger};
    if (::setsockopt(s, SOL_SOCKET, SO_LINGER, &posix, sizeof(posix)) != 0)
        return FailFromErrno();
    return 0;
}

int connect(SOCKET s, const SockAddrIn* address, int length) {
    if (!address || length < static_cast<int>(sizeof(SockAddrIn)))
        return Fail(10014);
    sockaddr_in p = ToPosix(*address);
    int result = ::connect(s, reinterpret_cast<const sockaddr*>(&p), sizeof(p));
    int err = result == 0 ? 0 : errno;
    Selection* sel = FindSelection(s);
    if (!sel)
        return result == 0 ? 0 : FailFromErrno();
    // A selected socket always answers "would block" and reports the outcome
    // through FD_CONNECT, as the component expects.
    if (err == EINPROGRESS) {
        sel->state = Selection::State::Connecting;
        sel->writable->setEnabled(true);
    } else if (err == 0 || IsConnectOutcome(err)) {
        CompleteConnect(*sel, err);
    } else {
        return Fail(WSAErrorFromErrno(err));
    }
    return Fail(WSAEWOULDBLOCK);
}

int send(SOCKET s, const char* buffer, int length, int flags) {
    ssize_t n = ::send(s, buffer, static_cast<size_t>(length), flags | MSG_NOSIGNAL);
    return n < 0 ? FailFromErrno() : static_cast<int>(n);
}

int recv(SOCKET s, char* buffer, int length, int flags) {
    int posixFlags = (flags & MsgPeek) ? MSG_PEEK : 0;
    ssize_t n = ::recv(s, buffer, static_cast<size_t>(length), posixFlags | MSG_DONTWAIT);
    int err = errno;
    // Receiving re-enables the readable event.
    if (Selection* sel = FindSelection(s))
        ArmReadable(*sel);
    if (n < 0)
        return Fail(WSAErrorFromErrno(err));
    return static_cast<int>(n);
}

SOCKET accept(SOCKET s, SockAddrIn* address, int* length) {
    sockaddr_in peer{};
    socklen_t len = sizeof(peer);
    int a = ::accept4(s, reinterpret_cast<sockaddr*>(&peer), &len, SOCK_CLOEXEC);
    int err = errno;
    if (Selection* sel = FindSelection(s))
        ArmReadable(*sel);
    if (a < 0) {
        Fail(WSAErrorFromErrno(err));
        return INVALID_SOCKET;
    }
    if (address && length && *length >= static_cast<int>(sizeof(SockAddrIn))) {
        *address = FromPosix(peer);
        *length = sizeof(SockAddrIn);
    }
    return a;
}

int bind(SOCKET s, const SockAddrIn* address, int length) {
    if (!address || length < static_cast<int>(sizeof(SockAddrIn)))
        return Fail(10014);
    sockaddr_in p = ToPosix(*address);
    if (::bind(s, reinterpret_cast<const sockaddr*>(&p), sizeof(p)) != 0)
        return FailFromErrno();
    return 0;
}

int listen(SOCKET s, int backlog) {
    if (::listen(s, backlog) != 0)
        return FailFromErrno();
    if (Selection* sel = FindSelection(s)) {
        sel->state = Selection::State::Listening;
        ArmReadable(*sel);
    }
    return 0;
}

int getsockname(SOCKET s, SockAddrIn* address, int* length) {
    if (!address || !length || *length < static_cast<int>(sizeof(SockAddrIn)))
        return Fail(10014);
    sockaddr_in p{};
    socklen_t len = sizeof(p);
    if (::getsockname(s, reinterpret_cast<sockaddr*>(&p), &len) != 0)
        return FailFromErrno();
    *address = FromPosix(p);
    *length = sizeof(SockAddrIn);
    return 0;
}

int closesocket(SOCKET s) {
    Selections().erase(s);
    if (::close(s) != 0)
        return FailFromErrno();
    return 0;
}

std::uint32_t inet_addr(const char* text) {
    in_addr parsed{};
    if (!text || ::inet_aton(text, &parsed) == 0)
        return NoAddress;
    return parsed.s_addr;
}

std::uint16_t HostToNetworkPort(std::uint16_t value) {
    return ::htons(value);
}

std::uint16_t NetworkToHostPort(std::uint16_t value) {
    return ::ntohs(value);
}

int WSAAsyncSelect(SOCKET s, WindowHandle window, std::uint32_t message, long mask) {
    Selections().erase(s);
    if (mask == 0)
        return 0;
    if (!window)
        return Fail(10022);
    int flags = ::fcntl(s, F_GETFL);
    if (flags < 0 || ::fcntl(s, F_SETFL, flags | O_NONBLOCK) != 0)
        return FailFromErrno();
    auto sel = std::make_shared<Selection>();
    sel->s = s;
    sel->window = window;
    sel->message = message;
    sel->mask = mask;
    sel->state = StateOf(s);
    Selection* raw = sel.get();
    sel->readable = std::make_unique<QSocketNotifier>(s, QSocketNotifier::Read);
    sel->readable->setEnabled(false);
    QObject::connect(sel->readable.get(), &QSocketNotifier::activated, [raw] { OnReadable(*raw); });
    sel->writable = std::make_unique<QSocketNotifier>(s, QSocketNotifier::Write);
    sel->writable->setEnabled(false);
    QObject::connect(sel->writable.get(), &QSocketNotifier::activated, [raw] { OnWritable(*raw); });
    ArmReadable(*sel);
    Selections()[s] = std::move(sel);
    return 0;
}

void WaitForWritable(SOCKET s, int maxMs) {
    // Only there to wake the wait: the socket taking data again is an event.
    QSocketNotifier writable(s, QSocketNotifier::Write);
    WaitForEvents(maxMs);
}

} // namespace zel
