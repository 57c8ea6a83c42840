#include "TestPostgres.h"

#include <csignal>
#include <filesystem>
#include <fstream>
#include <libpq-fe.h>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace zel::service::test {

namespace {

// The server's processes: each makes a session of its own, out of the
// server's process group.
std::vector<pid_t> ChildrenOf(pid_t parent) {
    std::vector<pid_t> children;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator("/proc", error)) {
        std::ifstream file(entry.path() / "stat");
        std::string stat;
        std::getline(file, stat);
        const std::size_t nameEnd = stat.rfind(')'); // the name may hold anything
        if (nameEnd == std::string::npos)
            continue;
        std::istringstream fields(stat.substr(nameEnd + 1));
        char state = 0;
        pid_t ppid = 0;
        if (fields >> state >> ppid && ppid == parent)
            children.push_back(std::stoi(entry.path().filename().string()));
    }
    return children;
}

void SignalEach(const std::vector<pid_t>& processes, int signal) {
    for (pid_t process : processes)
        kill(process, signal);
}

} // namespace

std::string TestPostgres::ServerFolder() {
    std::error_code error;
    std::string found;
    for (const auto& entry : fs::directory_iterator("/usr/lib/postgresql", error))
        if (fs::exists(entry.path() / "bin" / "postgres") && entry.path().string() > found)
            found = entry.path().string();
    return found.empty() ? found : found + "/bin";
}

TestPostgres::TestPostgres()
    : bin_(ServerFolder()), user_(UnprivilegedUser()), port_(FreeLoopbackPort()) {
    if (bin_.empty())
        throw std::runtime_error("no PostgreSQL server installed");
    if (user_ && chown(folder_.Path().c_str(), *user_, static_cast<gid_t>(-1)) != 0)
        throw std::runtime_error("cannot hand the database folder to the server's user");
    ChildProcess initdb(Program("initdb", {"-D", (folder_.Path() / "data").string(), "-U", "zel",
                                           "--auth=trust", "--no-sync", "--no-instructions"}));
    if (!initdb.WaitForExit(120s))
        throw std::runtime_error("initdb did not end");
    if (!fs::exists(folder_.Path() / "data" / "PG_VERSION"))
        throw std::runtime_error("initdb failed: see " + (folder_.Path() / "log").string());
    Start();
}

TestPostgres::~TestPostgres() {
    Stop();
}

ChildSettings TestPostgres::Program(const std::string& name,
                                    std::vector<std::string> arguments) const {
    arguments.insert(arguments.begin(), bin_ + "/" + name);
    return {arguments, {"LC_ALL=C"}, (folder_.Path() / "log").string(), user_};
}

std::string TestPostgres::Url() const {
    return "postgresql://zel@127.0.0.1:" + std::to_string(port_) + "/postgres";
}

void TestPostgres::Start() {
    server_ = std::make_unique<ChildProcess>(
        Program("postgres", {"-D", (folder_.Path() / "data").string(), "-p", std::to_string(port_),
                             "-h", "127.0.0.1", "-k", folder_.Path().string(), "-c", "fsync=off",
                             "-c", "max_connections=50"}));
    const auto deadline = std::chrono::steady_clock::now() + 60s;
    while (PQping(Url().c_str()) != PQPING_OK) {
        if (!server_->Running() || std::chrono::steady_clock::now() > deadline)
            throw std::runtime_error("PostgreSQL did not start: see " +
                                     (folder_.Path() / "log").string());
        std::this_thread::sleep_for(50ms);
    }
}

// The server first, so it starts no process meanwhile.
void TestPostgres::Pause() {
    if (!server_)
        return;
    server_->Signal(SIGSTOP);
    SignalEach(ChildrenOf(server_->Pid()), SIGSTOP);
}

void TestPostgres::Resume() {
    if (!server_)
        return;
    SignalEach(ChildrenOf(server_->Pid()), SIGCONT);
    server_->Signal(SIGCONT);
}

void TestPostgres::Stop() {
    if (!server_)
        return;
    Resume();                     // a stalled server would not end
    kill(server_->Pid(), SIGINT); // the server itself: it ends its own processes
    if (!server_->WaitForExit(60s))
        server_->Kill();
    server_.reset();
}

} // namespace zel::service::test
