#pragma once
// Helpers for the service's tests: a temporary folder, a raw HTTP/1.0
// client that reads until the server closes (as the browser does), a job
// runner double, and the service assembled on a loopback port.

#include "AccessLog.h"
#include "DiskArchiveStore.h"
#include "HttpFront.h"
#include "JobRunner.h"
#include "LocalJobQueue.h"
#include "SqliteAccountStore.h"
#include "ZelService.h"

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

namespace zel::service {
// For readable test failures.
inline void PrintTo(const Reply& reply, std::ostream* out) {
    *out << reply.status << " \"" << reply.body << '"';
}
inline void PrintTo(FailureKind kind, std::ostream* out) {
    *out << NameOf(kind);
}
} // namespace zel::service

namespace zel::service::test {

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& Path() const { return path_; }

private:
    std::filesystem::path path_;
};

struct RawReply {
    int status = 0;
    std::string head; // status line and header lines
    std::string body;
    bool closed = false; // the server closed the connection in time
    // As the service sent it, to compare with the reply a kind of failure makes.
    Reply AsReply() const { return {static_cast<unsigned>(status), body}; }
};

// A TCP connection to the loopback port from the local address `from`
// (any 127.x.y.z, so a test can play several clients); -1 when it fails.
int ConnectLoopback(int port, const char* from = "127.0.0.1");
// Sends `request` as it is and reads until the server closes or `limit`
// passes.
RawReply SendRaw(int port, const std::string& request,
                 std::chrono::milliseconds limit = std::chrono::seconds(20));
// "GET <target> HTTP/1.0" with a Host line.
RawReply Get(int port, const std::string& target,
             std::chrono::milliseconds limit = std::chrono::seconds(20));

// "/zel/page?..." and "/zel/poll?..." as the browser builds them.
std::string PageTarget(const std::string& login, const std::string& url);
std::string PollTarget(const std::string& login);
// The number between `first` and `second` of a reply ("OK,<a>;<b>:").
std::int64_t NumberBetween(const std::string& reply, char first, char second);
// Polls as the browser does while the reply says "NexT"; returns the last
// reply and adds every page size number, the last OK's too, to `total`.
std::string PollToEnd(int port, const std::string& login, std::string reply, std::int64_t& total);
// Asks for the page at `url` and polls to the end, as above.
std::string AskForPage(int port, const std::string& login, const std::string& url,
                       std::int64_t& total);
std::string AskForPage(int port, const std::string& login, const std::string& url);

// A runner double: `script` plays the page maker.
class ScriptedRunner : public JobRunner {
public:
    using Script = std::function<PageOutcome(const PageRequest&, const std::string& archivePath,
                                             const std::function<void(std::int64_t)>& onFetched,
                                             const std::atomic<bool>& cancelled)>;
    explicit ScriptedRunner(Script script) : script_(std::move(script)) {}
    PageOutcome Run(const PageRequest& request, const std::string& archivePath,
                    const std::function<void(std::int64_t bytes)>& onFetched,
                    const std::atomic<bool>& cancelled) override;
    std::vector<std::string> Urls(); // every address run, in order

private:
    Script script_;
    std::mutex mutex_;
    std::vector<std::string> urls_;
};

// A job that reports `chunks` progress steps of `chunk` bytes, `pause`
// apart, then writes `archive` and reports one more `chunk` bytes only in
// its outcome (the page maker's total may exceed what it reported).
ScriptedRunner::Script SteppedJob(int chunks, std::int64_t chunk, std::chrono::milliseconds pause,
                                  std::string archive = "PK-archive-bytes");

// Writes `bytes` bytes to `path` (a stand-in archive).
void WriteFile(const std::string& path, const std::string& bytes);
std::string ReadFile(const std::filesystem::path& path);

// Waits while `cancelled` is not set, up to `limit`; true when cancelled.
bool SleepUnlessCancelled(const std::atomic<bool>& cancelled, std::chrono::milliseconds limit);

// The service on a loopback port with accounts, archives and an access log
// in a temporary folder.
class RunningService {
public:
    explicit RunningService(JobRunner& runner, LoginMailer* mailer = nullptr,
                            ProtocolSettings protocol = ShortWaits(),
                            HttpSettings http = AnyLoopbackPort(),
                            std::size_t maxWaitingJobs = 100);
    ~RunningService();

    static ProtocolSettings ShortWaits();
    static HttpSettings AnyLoopbackPort();
    int Port() const { return port_; }
    // A login stored in the accounts.
    std::string AddLogin();
    const TempDir& Folder() const { return folder_; }
    std::string AccessLogText();

private:
    TempDir folder_;
    SqliteAccountStore accounts_;
    DiskArchiveStore archives_;
    AccessLog log_;
    LocalJobQueue jobs_;
    ZelService service_;
    HttpFront front_;
    int port_ = -1;
    std::thread serving_;
};

} // namespace zel::service::test
