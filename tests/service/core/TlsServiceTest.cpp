// The service on HTTPS, checked with curl against a throwaway authority made
// with openssl: the page, poll and archive cycle, a renewed certificate
// taken on SIGHUP and a bad one refused, at start too, and an access log
// that holds no login.

#include "OriginServer.h"
#include "ServiceProcess.h"
#include "SqliteAccountStore.h"

#include <csignal>
#include <cstdio>
#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace zel::service;
using namespace zel::service::test;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

// An authority of the test's own and server pairs for 127.0.0.1 it signs.
class Authority {
public:
    Authority() { Run("-subj /CN=test-ca -keyout ca.key -out ca.pem"); }
    // Writes <name>.pem (the certificate, with `serial`) and <name>.key.
    void Issue(int serial, const std::string& name = "server") {
        Run("-subj /CN=127.0.0.1 -addext subjectAltName=IP:127.0.0.1 -addext "
            "basicConstraints=CA:FALSE -CA ca.pem -CAkey ca.key -set_serial " +
            std::to_string(serial) + " -keyout " + name + ".key -out " + name + ".pem");
    }
    std::string File(const std::string& name) const { return (folder_.Path() / name).string(); }

private:
    void Run(const std::string& arguments) {
        const std::string command = "cd " + folder_.Path().string() +
                                    " && openssl req -x509 -newkey ec -pkeyopt "
                                    "ec_paramgen_curve:P-256 -nodes -days 2 " +
                                    arguments + " 2>/dev/null";
        if (std::system(command.c_str()) != 0)
            throw std::runtime_error("openssl failed: " + command);
    }
    TempDir folder_;
};

struct Fetched {
    int status = 0;
    std::string body;
    std::string serial; // of the certificate the service showed
};

// A GET over HTTPS that trusts the test's authority only.
Fetched HttpsGet(const Authority& ca, int port, const std::string& target) {
    const std::string command =
        "curl -sS -g --path-as-is --max-time 20 --cacert " + ca.File("ca.pem") + " -o " +
        ca.File("body") +
        " -w '%{http_code}\\n%{certs}' 'https://127.0.0.1:" + std::to_string(port) + target + "'";
    FILE* out = popen(command.c_str(), "r");
    std::string text;
    char buffer[4096];
    for (std::size_t got; out && (got = fread(buffer, 1, sizeof buffer, out)) > 0;)
        text.append(buffer, got);
    if (out)
        pclose(out);
    Fetched fetched{std::atoi(text.c_str()), ReadFile(ca.File("body")), ""};
    const std::size_t serial = text.find("Serial Number:");
    if (serial != std::string::npos)
        fetched.serial = text.substr(serial + 14, text.find('\n', serial) - serial - 14);
    fs::remove(ca.File("body"));
    return fetched;
}

std::vector<std::string> TlsOptions(const Authority& ca, const std::string& key = "server.key") {
    return {"--allow-private-origins", "--tls-cert", ca.File("server.pem"), "--tls-key",
            ca.File(key)};
}

int Count(const std::string& text, const std::string& part) {
    int count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

} // namespace

TEST(TlsService, PagesComeOverHttpsAndTheAccessLogHoldsNoLogin) {
    OriginServer origin;
    origin.Serve("/text.html", "<html><body><p>Just text.</p></body></html>", "text/html");
    origin.Start();
    Authority ca;
    ca.Issue(7);
    ServiceProcess service;
    const std::string login = "tlsuser00001";
    SqliteAccountStore(service.DataFolder() + "/accounts.sqlite")
        .Add({login, "user@example.org", "test", "127.0.0.1", 0});
    for (int run = 0; run < 2; ++run) { // the second after a restart
        ASSERT_TRUE(service.Start(ZELSERVICE_PROGRAM, TlsOptions(ca))) << service.Output();
        Fetched reply = HttpsGet(ca, service.Port(), PageTarget(login, origin.Url("/text.html")));
        for (int polls = 0; reply.body.rfind("NexT", 0) == 0 && polls < 30; ++polls)
            reply = HttpsGet(ca, service.Port(), PollTarget(login));
        ASSERT_EQ(reply.body.substr(0, 3), "OK,") << reply.body;
        const Fetched archive = HttpsGet(ca, service.Port(), "/zel/arch/" + login + "/1.dat");
        EXPECT_EQ(archive.status, 200);
        EXPECT_EQ(static_cast<std::int64_t>(archive.body.size()),
                  NumberBetween(reply.body, ',', ';'));
        EXPECT_EQ(archive.serial, "07");
        EXPECT_NE(Get(service.Port(), PollTarget(login), 5s).status, 200); // no plain HTTP
    }
    // Two lines with the same tag in place of the login, in files of the
    // service only.
    const std::string log = ReadFile(fs::path(service.DataFolder()) / "access.log");
    EXPECT_EQ(Count(log, "\n"), 2) << log;
    EXPECT_EQ(log.find(login), std::string::npos) << log;
    EXPECT_EQ(Count(log, log.substr(21, 32)), 2) << log;
    for (const char* file : {"access.log", "access-log.key"}) {
        struct stat info {};
        stat((fs::path(service.DataFolder()) / file).c_str(), &info);
        EXPECT_EQ(info.st_mode & 0777, 0600u) << file;
    }
}

TEST(TlsService, SighupServesARenewedCertificateAndKeepsTheOldOneForABadOne) {
    Authority ca;
    ca.Issue(1);
    ServiceProcess service;
    ASSERT_TRUE(service.Start(ZELSERVICE_PROGRAM, TlsOptions(ca))) << service.Output();
    ASSERT_EQ(HttpsGet(ca, service.Port(), "/zel/health").serial, "01");
    const fs::path cert = ca.File("server.pem"), key = ca.File("server.key");
    const std::vector<std::pair<std::function<void()>, std::string>> steps = {
        {[&] { ca.Issue(2); }, "02"},
        {[&] { WriteFile(cert, "not a certificate"); }, "02"},
        {[&] { // the key of another certificate
             ca.Issue(3, "other");
             fs::copy_file(ca.File("other.pem"), cert, fs::copy_options::overwrite_existing);
         },
         "02"},
        {[&] {
             ca.Issue(4);
             fs::permissions(key, fs::perms::others_read, fs::perm_options::add);
         },
         "02"},
        {[&] {
             ca.Issue(5);
             fs::permissions(key, fs::perms::owner_read | fs::perms::owner_write);
         },
         "05"},
    };
    for (std::size_t i = 0; i < steps.size(); ++i) {
        steps[i].first();
        service.Signal(SIGHUP);
        for (int wait = 0; wait < 500 && Count(service.Output(), "SIGHUP:") <= int(i); ++wait)
            std::this_thread::sleep_for(20ms);
        const Fetched health = HttpsGet(ca, service.Port(), "/zel/health");
        EXPECT_EQ(health.status, 200) << i;
        EXPECT_EQ(health.serial, steps[i].second) << i << service.Output();
    }
    EXPECT_TRUE(service.Running());
}

TEST(TlsService, StartRefusesABadPairWithAClearText) {
    Authority ca;
    ca.Issue(1);
    ca.Issue(2, "other");
    fs::copy_file(ca.File("server.key"), ca.File("open.key"));
    fs::permissions(ca.File("open.key"), fs::perms::others_read, fs::perm_options::add);
    WriteFile(ca.File("empty.key"), "");
    for (const auto& [key, text] : std::vector<std::pair<std::string, std::string>>{
             {"other.key", "is not that of the certificate"},
             {"open.key", "is open to every user"},
             {"empty.key", "the key " + ca.File("empty.key")},
             {"missing.key", "cannot read " + ca.File("missing.key")}}) {
        ServiceProcess service;
        EXPECT_FALSE(service.Start(ZELSERVICE_PROGRAM, TlsOptions(ca, key))) << key;
        service.Stop();
        EXPECT_NE(service.Output().find(text), std::string::npos) << service.Output();
    }
}
