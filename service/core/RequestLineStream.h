#pragma once
// One client connection as cpp-httplib reads it, with the request line
// mended on the way in. The browser sends its values as plain text, so a
// login request carries further "?" characters in its query (a computer
// description of "?" fields), which the library would refuse as a bad
// request. The stream keeps the raw target for the service and hands the
// library a line whose later "?" are "%3F"; it also accepts a request line
// ended by a lone LF. Reads and writes wait at most their time-outs, and the
// whole request must arrive within the read time-out and `maxRequestBytes`,
// so a client that trickles header lines for ever is cut off.

#include <httplib.h>

#include <chrono>
#include <string>

namespace zel::service {

class RequestLineStream : public httplib::Stream {
public:
    RequestLineStream(int socket, int readTimeoutSeconds, int writeTimeoutSeconds,
                      std::size_t maxLineBytes, std::size_t maxRequestBytes);

    // The request target exactly as the client sent it.
    const std::string& RawTarget() const { return rawTarget_; }

    bool is_readable() const override;
    bool is_writable() const override;
    ssize_t read(char* ptr, std::size_t size) override;
    ssize_t write(const char* ptr, std::size_t size) override;
    void get_remote_ip_and_port(std::string& ip, int& port) const override;
    void get_local_ip_and_port(std::string& ip, int& port) const override;
    int socket() const override { return socket_; }

private:
    bool Wait(short events, int timeoutSeconds) const;
    bool WaitToRead() const;
    void ReadRequestLine();

    int socket_;
    int readTimeoutSeconds_;
    int writeTimeoutSeconds_;
    std::size_t maxLineBytes_;
    std::size_t requestBytesLeft_;
    std::chrono::steady_clock::time_point readDeadline_;
    bool lineRead_ = false;
    std::string rawTarget_;
    std::string pending_; // bytes to hand out before reading the socket again
};

// The request line given to the library: later "?" of the target as "%3F",
// ended by CR LF. `rawTarget` receives the target as sent.
std::string MendRequestLine(const std::string& line, std::string& rawTarget);

} // namespace zel::service
