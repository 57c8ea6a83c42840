#pragma once
// The socket component: one TCP connection at a time on a non-blocking,
// message-driven socket. Host lookup, connect, transfers and their waits run
// on the GUI thread; every wait handles pending events (so Stop and the
// time-out reach it) and sleeps until the next event instead of spinning.
// Failures are raised as ESockError, aborted transfers as EAbortError.
// StartSecure turns the established connection into a TLS session; the
// transfers then carry their bytes through it.
//
// The owner (Qt parent) destroys the component at the latest.

#include "EAbortError.h"
#include "ESockError.h"
#include "Events.h"
#include "HiddenWindow.h"
#include "HostLookup.h"
#include "WinSock.h"

#include <QObject>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace zel {

class TThreadTimer;
class TlsSession;

using TOnStatus = std::function<void(QObject* Sender, const std::string& Status)>;
using TOnHostResolved = std::function<void(QObject* Sender)>;
using TOnSocketError =
    std::function<void(QObject* Sender, std::uint16_t Number, const std::string& Text)>;

class TBrumel : public QObject {
    Q_OBJECT
public:
    // Raises ESockError "Initializaton of windows sockets failed" when the
    // socket cannot be set up.
    explicit TBrumel(QObject* Owner = nullptr);
    ~TBrumel() override;

    // Published properties.
    std::string Host;
    std::int32_t Port = 0;
    std::int32_t TimeOut = 0; // ms for each armed wait; 0 = none
    std::int32_t ReportLevel = 0;
    TNotifyEvent OnDisconnect;
    TNotifyEvent OnConnect;
    THandlerEvent OnInvalidHost;
    TOnHostResolved OnHostResolved;
    TOnStatus OnStatus;
    TNotifyEvent OnConnectionFailed;

    // Published by the HTTP client.
    std::string Proxy;
    std::int32_t ProxyPort = 0;
    TNotifyEvent OnPacketRecvd;
    TNotifyEvent OnPacketSent;

    // Hooks for derived components.
    TNotifyEvent OnReadReady;
    TNotifyEvent OnAccept;
    TOnSocketError OnSocketError;

    // State.
    bool Connected = false;
    bool Canceled = false;
    bool TimedOut = false;
    bool LastEventOk = true;
    bool WaitEnded = false;
    std::string Status;
    std::vector<std::string> WinsockInfo;
    std::int32_t LastError = 0;
    std::int32_t BytesSent = 0;
    std::int32_t BytesReceived = 0;
    std::int32_t ExpectedSize = 0;
    std::int16_t ReplyNumber = 0;
    std::string LastReply;
    SockAddrIn RemoteAddress;

    // The private messages of the component's hidden window.
    static constexpr std::uint32_t SocketEventMessage = 1125;
    static constexpr std::uint32_t LookupReplyMessage = 1126;
    static constexpr std::uint16_t NoSocket = 0xFFFF;
    // Readable, out-of-band, incoming connection, connect completed, closed.
    static constexpr long SelectedEvents = FD_READ | FD_OOB | FD_ACCEPT | FD_CONNECT | FD_CLOSE;
    static constexpr int IOBufferSize = 65536;

    // Connection.
    virtual void Connect();
    virtual void Disconnect();
    virtual void Abort();
    // Makes the established connection a TLS session with Host, within the
    // time-out and until Abort. Raises ECertificateError when the trusted
    // authorities do not vouch for Host's certificate, ESockError
    // "Connection Timed out" or "Connection Canceled", or another ESockError.
    void StartSecure();
    void Cancel();
    bool DataAvailable();
    void StatusMessage(std::uint8_t Level, const std::string& Text);

    // Transfers on the established connection.
    void SendBuffer(const char* Bytes, std::uint16_t Length);
    void Write(const std::string& Text);
    void Writeln(const std::string& Text);
    void ReadLn(std::string& Line);
    virtual void Transaction(const std::string& Command, std::string& Reply);
    void SendFile(const std::string& FileName);
    void CaptureFile(const std::string& FileName);
    void CaptureString(std::string& Text, std::int32_t MaxLength);
    virtual std::uint16_t Accept();
    // Makes the component's socket listen on 127.0.0.1 (port 0: any free
    // one), announcing incoming connections as a lookup reply, which ends
    // Accept's wait. Returns the port. Nothing in the program listens.
    std::uint16_t Listen(std::uint16_t Port);

    // Entry of the hidden window's two private messages.
    void HandleSocketMessage(std::uint32_t Message, std::uintptr_t WParam, std::intptr_t LParam);
    std::uint16_t SocketHandle() const { return FSocket; }

protected:
    void TimerOn();
    void TimerOff();
    void TimerTriggered();
    void RequestCloseSocket();
    void ResolveHost();
    void CheckSocketError(std::uint16_t Tolerated, std::string& Text);
    void SocketErrorText(std::uint16_t Number, std::string& Text);

private:
    class ArmedTimeOut;
    struct alignas(HostEnt) HostEntryBlock {
        char bytes[1024];
    };

    void InitWinsock();
    // Handles pending events; when `Idle`, first sleeps until the next event
    // (otherwise at most every few ms while data keeps coming).
    // False when a handler destroyed this component meanwhile: the caller must
    // then leave without touching any member.
    bool HandleEvents(bool Idle);
    // The same for a send that met "would block": sleeps until the socket
    // takes data again (or another event comes).
    bool WaitUntilWritable();
    void WithdrawLookup();
    // The captures' loop: each packet goes to Store while WantMore allows and
    // until the peer closes or a cancel.
    void ReceiveUntilClosed(const std::function<void(const char*, int)>& Store,
                            const std::function<bool()>& WantMore);
    void EndCaptureIfCanceled();
    // Sends all Length bytes unless a cancel or a send of nothing ends it
    // first; `Sent` follows every partial send and is false when a handler
    // destroyed the component meanwhile.
    void SendAll(const char* Bytes, int Length, const std::function<bool(int)>& Sent);
    // After a failed receive: true when the peer's close ended the
    // connection; "would block" gives false, any other error raises.
    bool ReceiveEnded();
    // recv and send on the socket, or through the TLS session once there is one.
    int Receive(char* To, int Room, int Flags);
    int Transmit(const char* Bytes, int Length);
    // After a receive of nothing: a TLS session the server cut short, which
    // could hide a truncated body, raises ESockError unless the body is
    // complete by its announced size.
    void RefuseCutSession(bool BodyComplete);
    // "would block" tolerated; any other error raises ESockError.
    void CheckLastSocketError();

    std::uint16_t FSocket = NoSocket;
    WindowHandle SocketWindow = nullptr;
    std::unique_ptr<HostEntryBlock> HostEntryBuffer;
    std::unique_ptr<TlsSession> Tls;  // from StartSecure until the next Disconnect or Connect
    std::unique_ptr<char[]> IOBuffer; // IOBufferSize bytes and a terminating zero
    TThreadTimer* FTimer = nullptr;
    LookupHandle FLookup = 0;
    std::uint32_t LastDispatch = 0; // tick of the last HandleEvents dispatch
    bool ShuttingDown = false;
    bool Destroying = false;
    bool CountedInLibrary = false;
};

} // namespace zel
