#pragma once
// A scripted compressing service on a loopback port for the tests of the page
// and login requests. It lives on the test's thread: the program's client
// handles events while it waits, so the service reads and answers in
// between. Every request head is recorded; the answer comes from the script
// for the longest path prefix that matches the request's path (also when the
// request line carries a whole address, as through a proxy).

#include <QObject>

#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

class QTcpServer;
class QTcpSocket;

namespace zel::test {

struct Answer {
    std::string body;
    // Hold the connection open without a word until release() (a slow service).
    bool hold = false;
    // > 0: the first half of the body goes at once, the rest after this pause.
    int pauseMs = 0;
    // Close the connection without any answer.
    bool hangUp = false;

    static Answer Held() {
        Answer a;
        a.hold = true;
        return a;
    }
    static Answer HungUp() {
        Answer a;
        a.hangUp = true;
        return a;
    }
    static Answer Slowly(std::string body, int pauseMs) {
        Answer a;
        a.body = std::move(body);
        a.pauseMs = pauseMs;
        return a;
    }
};

class ScriptedService : public QObject {
    Q_OBJECT
public:
    ScriptedService();
    ~ScriptedService() override;

    // "http://127.0.0.1:<port>"
    std::string base() const;
    int port() const;

    // Requests whose path begins with `pathPrefix` get these answers in turn;
    // the last one repeats. Paths without a script get a 404 with no body.
    void script(const std::string& pathPrefix, std::vector<Answer> answers);

    // The first line of every request head, in arrival order.
    std::vector<std::string> requestLines() const;
    // Every request head (request line and header lines, CR LF each).
    const std::vector<std::string>& requests() const { return requests_; }
    // Connections held open now; release() closes them without an answer.
    int held() const;
    void release();
    // Stops listening: later connections are refused.
    void close();
    // Runs `action` `delayMs` after the request number `n` (from 1) has
    // arrived, while the program waits for its answer.
    void atRequest(std::size_t n, std::function<void()> action, int delayMs = 50);

signals:
    void requestArrived();

private:
    void accept();
    void read(QTcpSocket* peer);
    void answer(QTcpSocket* peer, const std::string& target);

    QTcpServer* server_;
    std::map<std::string, std::vector<Answer>> scripts_;
    std::map<std::string, std::size_t> served_;
    std::vector<std::string> requests_;
    std::vector<QTcpSocket*> held_;
};

// The path of a request target: "/p?q" gives "/p", and so does
// "http://host:port/p?q".
std::string TargetPath(const std::string& target);

} // namespace zel::test
