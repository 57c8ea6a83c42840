#pragma once
// A forwarding HTTP proxy on a loopback port that records what passes: the
// browser is pointed at it through its proxy setting, sends the request in
// absolute form as to any proxy, and the relay passes the bytes on to the
// service unchanged, both ways. The test then knows the service's replies
// exactly as the browser got them. It lives on the test's thread: the
// browser handles events while it waits, so the relay runs in between.

#include <QObject>

#include <string>
#include <vector>

class QTcpServer;

namespace zel::test {

class RecordingRelay : public QObject {
public:
    explicit RecordingRelay(int servicePort);
    ~RecordingRelay() override;

    int Port() const;

    struct Exchange {
        std::string requestLine; // "GET http://127.0.0.1:<port>/zel/page?... HTTP/1.0"
        std::string replyHead;   // status line and header lines
        std::string replyBody;
    };
    // The finished exchanges, in the order the service ended them.
    const std::vector<Exchange>& Exchanges() const { return exchanges_; }
    // The reply bodies of the exchanges whose request line holds `part`.
    std::vector<std::string> Replies(const std::string& part) const;

private:
    void Relay();

    QTcpServer* server_;
    int servicePort_;
    std::vector<Exchange> exchanges_;
};

} // namespace zel::test
