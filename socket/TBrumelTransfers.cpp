// The socket component's transfers on an established connection: sending a
// buffer, text, a line or a file, reading one line, a command-and-reply
// exchange, capturing everything up to the peer's close, accepting.

#include "TBrumel.h"

#include "ArmedTimeOut.h"
#include "RecordFile.h"
#include "TlsSession.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace zel {

namespace {

const char* const SendAborted = "Socket send aborted";
const char* const ReadlnAborted = "Socket readln aborted";
const char* const CaptureAborted = "Socket capture aborted";

// The transfer counters stop at their largest value instead of turning
// negative on a transfer of 2 GiB or more.
void Count(std::int32_t& Counter, int Bytes) {
    Counter =
        static_cast<std::int32_t>(std::min<std::int64_t>(std::int64_t{Counter} + Bytes, INT32_MAX));
}

// A text that does not fit the 16-bit length of one send.
[[noreturn]] void RefuseLongText() {
    throw ESockError("Text to write is too long: 65536 bytes or more");
}

} // namespace

void TBrumel::SendBuffer(const char* Bytes, std::uint16_t Length) {
    StatusMessage(4, "Sending Buffer");
    ArmedTimeOut armed(*this);
    if (!Canceled) {
        if (Length == 0) {
            std::size_t text = strnlen(Bytes, IOBufferSize);
            if (text >= IOBufferSize)
                RefuseLongText();
            Length = static_cast<std::uint16_t>(text);
        }
        SendAll(Bytes, Length, [](int) { return true; });
    }
    if (Canceled) {
        Canceled = false;
        throw EAbortError(SendAborted);
    }
}

void TBrumel::SendAll(const char* Bytes, int Length, const std::function<bool(int)>& Sent) {
    int Remaining = Length;
    do {
        int n = Transmit(Bytes + Length - Remaining, Remaining);
        if (n == 0)
            break;
        bool alive;
        if (n > 0) {
            Remaining -= n;
            alive = Sent(n);
        } else {
            CheckLastSocketError();
            // The peer takes no more for now: sleep until it does, so a
            // stalled peer costs no CPU and Stop or the time-out can end this.
            alive = WaitUntilWritable();
        }
        if (!alive)
            throw EAbortError(SendAborted);
    } while (Remaining > 0 && !Canceled);
}

void TBrumel::Write(const std::string& Text) {
    StatusMessage(8, "Write");
    // Only the bytes before a zero byte are sent.
    std::size_t length = std::min(Text.find('\0'), Text.size());
    if (length >= IOBufferSize)
        RefuseLongText();
    std::memcpy(IOBuffer.get(), Text.data(), length);
    IOBuffer[length] = 0;
    SendBuffer(IOBuffer.get(), 0);
}

void TBrumel::Writeln(const std::string& Text) {
    StatusMessage(8, "Writeln");
    Write(Text + "\r\n");
}

void TBrumel::ReadLn(std::string& Line) {
    StatusMessage(8, "ReadLn");
    Line.clear();
    int Taken = 0; // bytes of the line already removed from the socket
    ArmedTimeOut armed(*this);
    char* buffer = IOBuffer.get();
    const char* lineFeed = nullptr;
    for (;;) {
        int room = IOBufferSize - Taken;
        if (room == 0)
            throw ESockError("Received line is too long: no line end within 65536 bytes");
        // Look ahead without removing: the socket keeps what follows the line.
        int n = Receive(buffer + Taken, room, MsgPeek);
        if (n == 0) {
            RefuseCutSession(false);
            Line.clear(); // closed before the line ended
            return;
        }
        if (n < 0 && ReceiveEnded())
            break;
        if (n > 0) {
            lineFeed = static_cast<const char*>(std::memchr(buffer + Taken, '\n', n));
            if (lineFeed)
                break;
            Line.resize(Taken + n);
            int got = Receive(Line.data() + Taken, n, 0);
            Taken += std::max(got, 0);
            Line.resize(Taken);
        }
        if (!HandleEvents(n < 0))
            throw EAbortError(ReadlnAborted);
        if (Canceled)
            break;
    }
    if (Canceled) {
        Canceled = false;
        throw EAbortError(ReadlnAborted);
    }
    if (!lineFeed) {
        Line.clear(); // the connection ended before a line end
        return;
    }
    int end = static_cast<int>(lineFeed - buffer) + 1;
    Line.resize(end);
    int got = Receive(Line.data() + Taken, end - Taken, 0);
    Line.resize(Taken + std::max(got, 0));
}

void TBrumel::Transaction(const std::string& Command, std::string& Reply) {
    StatusMessage(8, "Transaction");
    ReplyNumber = 0;
    Writeln(Command);
    ReadLn(LastReply);
    if (!LastReply.empty()) {
        StatusMessage(1, LastReply);
        std::size_t digits = 0;
        while (digits < LastReply.size() && digits < 10 && LastReply[digits] >= '0' &&
               LastReply[digits] <= '9')
            ++digits;
        if (digits > 0) {
            std::int64_t value = std::stoll(LastReply.substr(0, digits));
            if (value > INT32_MAX)
                value = 0;
            if (value > INT16_MAX)
                throw ESockError("Reply number " + std::to_string(value) +
                                 " is out of range: the largest is 32767");
            ReplyNumber = static_cast<std::int16_t>(value);
        }
    }
    Reply = LastReply;
}

void TBrumel::SendFile(const std::string& FileName) {
    StatusMessage(8, "SendFile");
    RecordFile file(FileName, 1);
    file.reset(RecordFile::Access::ReadOnly);
    const std::int64_t size = file.size();
    std::int64_t position = 0;
    char* buffer = IOBuffer.get();
    while (position < size && !Canceled) {
        int c = static_cast<int>(std::min<std::int64_t>(size - position, IOBufferSize));
        file.read(buffer, c);
        position += c;
        SendAll(buffer, c, [this](int Bytes) {
            Count(BytesSent, Bytes);
            if (OnPacketSent)
                OnPacketSent(this);
            return HandleEvents(false);
        });
    }
    file.close();
    if (Canceled) {
        Canceled = false;
        throw EAbortError(SendAborted);
    }
}

void TBrumel::CaptureFile(const std::string& FileName) {
    StatusMessage(8, "CaptureFile");
    BytesReceived = 0;
    ArmedTimeOut armed(*this);
    RecordFile file(FileName, 1);
    file.rewrite();
    // On an abort the file is closed while the exception leaves: what
    // arrived is kept.
    ReceiveUntilClosed([&](const char* Bytes, int Count) { file.write(Bytes, Count); },
                       [] { return true; });
    file.close();
    EndCaptureIfCanceled();
}

void TBrumel::CaptureString(std::string& Text, std::int32_t MaxLength) {
    StatusMessage(8, "Capture String");
    Text.clear();
    BytesReceived = 0;
    ArmedTimeOut armed(*this);
    // The limit is checked before each receive; a packet is appended whole.
    ReceiveUntilClosed(
        [&](const char* Bytes, int Count) { Text.append(Bytes, Count); },
        [&] { return MaxLength == -1 || static_cast<std::int64_t>(Text.size()) < MaxLength; });
    EndCaptureIfCanceled();
}

void TBrumel::ReceiveUntilClosed(const std::function<void(const char*, int)>& Store,
                                 const std::function<bool()>& WantMore) {
    char* buffer = IOBuffer.get();
    while (!Canceled && WantMore()) {
        int n = Receive(buffer, IOBufferSize, 0);
        if (n == 0) {
            RefuseCutSession(ExpectedSize > 0 && BytesReceived >= ExpectedSize);
            break; // the peer closed
        }
        if (n < 0 && ReceiveEnded())
            break;
        if (n > 0) {
            Store(buffer, n);
            Count(BytesReceived, n);
            if (OnPacketRecvd)
                OnPacketRecvd(this);
            TimerOn(); // the time-out counts the silence since this packet
        }
        if (!HandleEvents(n < 0))
            throw EAbortError(CaptureAborted);
    }
}

int TBrumel::Receive(char* To, int Room, int Flags) {
    if (Tls)
        return Tls->Receive(To, Room, (Flags & MsgPeek) != 0);
    return recv(FSocket, To, Room, Flags);
}

int TBrumel::Transmit(const char* Bytes, int Length) {
    return Tls ? Tls->Send(Bytes, Length) : send(FSocket, Bytes, Length, 0);
}

void TBrumel::RefuseCutSession(bool BodyComplete) {
    if (Tls && Tls->CutShort() && !BodyComplete)
        throw ESockError("The server cut the secure connection short without ending the "
                         "session: what arrived may be incomplete");
}

bool TBrumel::ReceiveEnded() {
    LastError = WSAGetLastError();
    // Not connected: the component closed its socket on the peer's close.
    if (LastError == WSAENOTCONN)
        return true;
    CheckLastSocketError();
    return false;
}

void TBrumel::EndCaptureIfCanceled() {
    if (Canceled) {
        Canceled = false;
        throw EAbortError(CaptureAborted);
    }
}

std::uint16_t TBrumel::Accept() {
    StatusMessage(4, "Accepting");
    for (;;) {
        while (!WaitEnded && !Canceled)
            if (!HandleEvents(true))
                throw ESockError("Accepting Canceled");
        if (Canceled)
            throw ESockError("Accepting Canceled");
        if (!LastEventOk)
            throw ESockError("Error creating Data Connection");
        SockAddrIn peer;
        int length = sizeof peer;
        SOCKET accepted = accept(FSocket, &peer, &length);
        if (accepted != INVALID_SOCKET) {
            if (accepted >= NoSocket) {
                closesocket(accepted);
                throw ESockError("Error creating Data Connection");
            }
            WSAAsyncSelect(accepted, SocketWindow, SocketEventMessage, SelectedEvents);
            RemoteAddress = peer;
            return static_cast<std::uint16_t>(accepted);
        }
        CheckLastSocketError();
        // That was no incoming connection after all: wait for one.
        WaitEnded = false;
    }
}

std::uint16_t TBrumel::Listen(std::uint16_t Port) {
    SockAddrIn local;
    local.sin_family = AddressFamilyInet;
    local.sin_port = HostToNetworkPort(Port);
    local.sin_addr = inet_addr("127.0.0.1");
    int length = sizeof local;
    if (bind(FSocket, &local, sizeof local) == SOCKET_ERROR || listen(FSocket, 5) == SOCKET_ERROR ||
        WSAAsyncSelect(FSocket, SocketWindow, LookupReplyMessage, FD_ACCEPT) == SOCKET_ERROR ||
        getsockname(FSocket, &local, &length) == SOCKET_ERROR)
        CheckLastSocketError();
    WaitEnded = false;
    return NetworkToHostPort(local.sin_port);
}

} // namespace zel
