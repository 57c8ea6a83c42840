// The socket component: construction, status, host lookup, connect, time-out,
// cancel, close and error texts. The transfers are in TBrumelTransfers.cpp.

#include "TBrumel.h"

#include "ArmedTimeOut.h"
#include "EventWait.h"
#include "MessageWindow.h"
#include "SocketErrorTable.h"
#include "TThreadTimer.h"
#include "TlsSession.h"

#include <QPointer>

#include <cstring>

namespace zel {

namespace {

// Live components that started the socket library; GUI thread only.
int LibraryUsers = 0;

// An idle wait wakes at the latest after this long to look at its flags again;
// socket events, the time-out and user input wake it earlier.
constexpr int IdleWaitMs = 1000;
// While data streams in without a pause, pending events are handled at most
// this often: a dispatch costs several system calls, a packet two. Stop, the
// time-out and progress displays still run within this time.
constexpr std::uint32_t BusyDispatchMs = 2;

const char* const InitFailed = "Initializaton of windows sockets failed";
// A lookup ended by a time-out or a cancel is an abort, which Connect passes on.
const char* const LookupTimedOut = "Host Lookup Timed Out";
const char* const LookupCanceled = "Host Lookup Canceled";

std::intptr_t SocketWindowProc(WindowHandle Window, std::uint32_t Message, std::uintptr_t WParam,
                               std::intptr_t LParam) {
    auto* owner = static_cast<TBrumel*>(GetWindowOwner(Window));
    if (owner && Message >= TBrumel::SocketEventMessage) {
        owner->HandleSocketMessage(Message, WParam, LParam);
        return 0;
    }
    return DefWindowProc(Window, Message, WParam, LParam);
}

// A handle the component can keep: it must fit in 16 bits and not be "none".
bool Storable(SOCKET s) {
    return s != INVALID_SOCKET && s >= 0 && s < TBrumel::NoSocket;
}

} // namespace

TBrumel::TBrumel(QObject* Owner) : QObject(Owner) {
    SocketWindow = AllocateHiddenWindow("BrumelWindowClass", SocketWindowProc, this);
    HostEntryBuffer = std::make_unique<HostEntryBlock>();
    IOBuffer = std::make_unique<char[]>(IOBufferSize + 1);
    FTimer = new TThreadTimer(this);
    FTimer->SetEnabled(false);
    FTimer->SetOnTimer([this](QObject*) { TimerTriggered(); });
    try {
        InitWinsock();
    } catch (...) {
        // No destructor runs for a failed construction: give back the window.
        DestroyHiddenWindow(SocketWindow);
        throw;
    }
}

TBrumel::~TBrumel() {
    // From here on no status text and no OnDisconnect reaches the owner. The
    // derived component is already gone, so this is the base's own Abort.
    Destroying = true;
    Abort();
    Cancel();
    WinsockInfo.clear();
    delete FTimer;
    FTimer = nullptr;
    WithdrawLookup();
    HostEntryBuffer.reset();
    DestroyHiddenWindow(SocketWindow);
    SocketWindow = nullptr;
    ShuttingDown = true;
    try {
        RequestCloseSocket();
    } catch (...) {
        // A close that failed cannot be reported from a destructor.
    }
    if (CountedInLibrary && --LibraryUsers == 0)
        WSACleanup();
}

void TBrumel::InitWinsock() {
    StatusMessage(8, "Initializing Winsock");
    if (++LibraryUsers == 1) {
        WSAData data;
        if (WSAStartup(0x0101, &data) != 0) {
            --LibraryUsers;
            throw ESockError(InitFailed);
        }
        auto version = [](std::uint16_t word) {
            return std::to_string(word >> 8) + "." + std::to_string(word & 0xFF);
        };
        WinsockInfo.push_back("Version= " + version(data.wVersion));
        WinsockInfo.push_back("High Version= " + version(data.wHighVersion));
        WinsockInfo.push_back("Description= " +
                              std::string(data.szDescription,
                                          strnlen(data.szDescription, sizeof data.szDescription)));
        WinsockInfo.push_back(
            "System= " + std::string(data.szSystemStatus,
                                     strnlen(data.szSystemStatus, sizeof data.szSystemStatus)));
        WinsockInfo.push_back("Max Sockets= " + std::to_string(data.iMaxSockets));
        WinsockInfo.push_back("Max Udp pack size= " + std::to_string(data.iMaxUdpDg));
    }
    SOCKET s = socket(AddressFamilyInet, SocketTypeStream, ProtocolTcp);
    // Closing this socket drops the connection at once.
    LingerOption dropAtOnce{1, 0};
    bool ready = Storable(s) &&
                 setsockopt(s, SocketLevel, OptionLinger, &dropAtOnce, sizeof dropAtOnce) == 0 &&
                 WSAAsyncSelect(s, SocketWindow, SocketEventMessage, SelectedEvents) == 0;
    if (!ready) {
        if (s != INVALID_SOCKET)
            closesocket(s);
        if (--LibraryUsers == 0)
            WSACleanup();
        throw ESockError(InitFailed);
    }
    FSocket = static_cast<std::uint16_t>(s);
    CountedInLibrary = true;
}

void TBrumel::StatusMessage(std::uint8_t Level, const std::string& Text) {
    if (Level > ReportLevel)
        return;
    Status = Text;
    if (Destroying || !OnStatus)
        return;
    try {
        OnStatus(this, Status);
    } catch (...) {
        // A status display must not change the course of an operation.
    }
}

void TBrumel::HandleSocketMessage(std::uint32_t Message, std::uintptr_t, std::intptr_t LParam) {
    try {
        LastEventOk = ((LParam >> 16) & 0xFFFF) == 0;
        if (Message == LookupReplyMessage) {
            WaitEnded = true;
            return;
        }
        if (Message != SocketEventMessage)
            return;
        switch (LParam & 0xFFFF) {
        case FD_READ:
            if (OnReadReady)
                OnReadReady(this);
            break;
        case FD_ACCEPT:
            Connected = true;
            if (OnAccept)
                OnAccept(this);
            break;
        case FD_CONNECT:
            if (LastEventOk) {
                Connected = true;
                if (OnConnect)
                    OnConnect(this);
            }
            break;
        case FD_CLOSE:
            // Unread data stays; the readers find the end themselves.
            if (!DataAvailable())
                RequestCloseSocket();
            break;
        default:
            break;
        }
    } catch (...) {
        // Nothing may leave the window procedure.
    }
}

bool TBrumel::HandleEvents(bool Idle) {
    std::uint32_t now = TickCount();
    if (!Idle && now - LastDispatch < BusyDispatchMs)
        return true;
    QPointer<TBrumel> alive(this);
    if (Idle)
        WaitForEvents(IdleWaitMs);
    else
        DispatchPendingEvents();
    if (!alive)
        return false;
    LastDispatch = TickCount();
    return true;
}

bool TBrumel::WaitUntilWritable() {
    QPointer<TBrumel> alive(this);
    WaitForWritable(FSocket, IdleWaitMs);
    return !alive.isNull();
}

bool TBrumel::DataAvailable() {
    StatusMessage(8, "Data Available");
    if (Tls && Tls->HasData())
        return true;
    char byte;
    return recv(FSocket, &byte, 1, MsgPeek) > 0;
}

void TBrumel::Cancel() {
    StatusMessage(8, "Canceling");
    Canceled = true;
}

void TBrumel::Abort() {
    StatusMessage(8, "Abort");
    Cancel();
}

void TBrumel::Disconnect() {
    StatusMessage(8, "Disconnecting");
    RequestCloseSocket();
    Tls.reset();
}

void TBrumel::Connect() {
    StatusMessage(8, "Connecting");
    Canceled = false;
    if (Connected)
        throw ESockError("Already connected");
    Tls.reset();
    int retries = 0;
    do {
        try {
            ResolveHost();
        } catch (const EAbortError&) {
            throw;
        } catch (const ESockError&) {
            // A lookup that failed leaves the address 0: the host was not found.
        }
        if (RemoteAddress.sin_addr == 0) {
            if (retries > 0 || !OnInvalidHost)
                throw ESockError("Null Remote Address");
            bool Handled = false;
            OnInvalidHost(Handled);
            if (!Handled)
                throw ESockError("Null Remote Address");
            ++retries;
        }
    } while (RemoteAddress.sin_addr == 0);

    RemoteAddress.sin_family = AddressFamilyInet;
    std::int32_t port = Proxy.empty() ? Port : ProxyPort;
    RemoteAddress.sin_port = HostToNetworkPort(static_cast<std::uint16_t>(port & 0xFFFF));
    WaitEnded = false;
    LastEventOk = true;
    if (zel::connect(FSocket, &RemoteAddress, sizeof RemoteAddress) == SOCKET_ERROR)
        CheckLastSocketError();
    {
        ArmedTimeOut armed(*this);
        while (!Connected && !TimedOut && !Canceled && LastEventOk)
            if (!HandleEvents(true))
                throw ESockError("Connection Canceled");
    }
    if (!TimedOut && !Canceled && LastEventOk)
        return;
    if (OnConnectionFailed)
        OnConnectionFailed(this);
    if (TimedOut)
        throw ESockError("Connection Timed out");
    if (Canceled)
        throw ESockError("Connection Canceled");
    throw ESockError("Connection Failed");
}

void TBrumel::StartSecure() {
    StatusMessage(4, "Securing Connection");
    Tls = std::make_unique<TlsSession>(FSocket, Host);
    ArmedTimeOut armed(*this);
    while (!Tls->Handshake()) {
        bool alive = Tls->WantsWrite() ? WaitUntilWritable() : HandleEvents(true);
        if (!alive)
            throw ESockError("Connection Canceled");
        if (TimedOut)
            throw ESockError("Connection Timed out");
        if (Canceled)
            throw ESockError("Connection Canceled");
    }
}

void TBrumel::ResolveHost() {
    StatusMessage(8, "Resolve Host");
    const std::string& name = Proxy.empty() ? Host : Proxy;
    std::size_t length = std::min<std::size_t>(std::strlen(name.c_str()), IOBufferSize);
    std::memcpy(IOBuffer.get(), name.data(), length);
    IOBuffer[length] = 0;
    std::uint32_t address = inet_addr(IOBuffer.get());
    if (address != NoAddress) {
        RemoteAddress.sin_addr = address;
        return;
    }
    RemoteAddress.sin_addr = 0;
    {
        ArmedTimeOut armed(*this);
        WaitEnded = false;
        FLookup = WSAAsyncGetHostByName(SocketWindow, LookupReplyMessage, IOBuffer.get(),
                                        HostEntryBuffer->bytes, sizeof HostEntryBuffer->bytes);
        while (!WaitEnded && !TimedOut && !Canceled)
            if (!HandleEvents(true))
                throw EAbortError(LookupCanceled);
    }
    // A reply that has not come by now is not wanted any more.
    WithdrawLookup();
    if (TimedOut)
        throw EAbortError(LookupTimedOut);
    if (Canceled)
        throw EAbortError(LookupCanceled);
    if (!LastEventOk)
        throw ESockError("Host Lookup Failed");
    const auto* entry = reinterpret_cast<const HostEnt*>(HostEntryBuffer->bytes);
    std::memcpy(&RemoteAddress.sin_addr, entry->h_addr_list[0], 4);
    if (OnHostResolved)
        OnHostResolved(this);
}

void TBrumel::WithdrawLookup() {
    if (FLookup != 0)
        WSACancelAsyncRequest(FLookup);
    FLookup = 0;
}

void TBrumel::RequestCloseSocket() {
    StatusMessage(4, "Request Close Socket");
    Connected = false;
    if (FSocket == NoSocket)
        return;
    if (closesocket(FSocket) == SOCKET_ERROR) {
        CheckLastSocketError();
        return;
    }
    FSocket = NoSocket;
    if (!Destroying && OnDisconnect) {
        QPointer<TBrumel> alive(this);
        OnDisconnect(this);
        if (!alive)
            return;
    }
    if (ShuttingDown)
        return;
    // The replacement closes gracefully: it gets no linger option.
    SOCKET s = socket(AddressFamilyInet, SocketTypeStream, 0);
    if (!Storable(s) || WSAAsyncSelect(s, SocketWindow, SocketEventMessage, SelectedEvents) != 0) {
        if (s != INVALID_SOCKET)
            closesocket(s);
        return; // the next Connect reports the missing socket
    }
    FSocket = static_cast<std::uint16_t>(s);
}

void TBrumel::TimerOn() {
    StatusMessage(8, "Timer On");
    TimedOut = false;
    if (TimeOut < 0)
        throw ESockError("TimeOut must not be negative");
    FTimer->SetInterval(static_cast<std::uint32_t>(TimeOut));
    // Off and on again, so a running countdown starts anew from the full time.
    FTimer->SetEnabled(false);
    FTimer->SetEnabled(true);
}

void TBrumel::TimerOff() {
    StatusMessage(8, "Timer Off");
    FTimer->SetEnabled(false);
}

void TBrumel::TimerTriggered() {
    StatusMessage(8, "Timer Triggered");
    TimerOff(); // fires once per arming
    TimedOut = true;
    WaitEnded = true;
    Abort();
}

void TBrumel::CheckLastSocketError() {
    std::string text;
    CheckSocketError(WSAEWOULDBLOCK, text);
}

void TBrumel::CheckSocketError(std::uint16_t Tolerated, std::string& Text) {
    LastError = WSAGetLastError();
    if (LastError != Tolerated && LastError > 10000) {
        auto number = static_cast<std::uint16_t>(LastError);
        SocketErrorText(number, Text);
        if (OnSocketError && !Destroying)
            OnSocketError(this, number, Text);
        throw ESockError(Text);
    }
    Text.clear();
}

void TBrumel::SocketErrorText(std::uint16_t Number, std::string& Text) {
    StatusMessage(8, "Looking Up Error Message" + Text);
    Text.clear();
    if (Number == 0)
        return;
    if (const char* known = FindSocketErrorText(Number))
        Text = std::to_string(Number) + ":" + known;
    else
        Text = "Unknown Error No. " + std::to_string(Number);
}

} // namespace zel
