// The service on HTTPS, checked with curl against a throwaway authority made
// with openssl: pages, a certificate renewed on SIGHUP, bad pairs refused
// (at start too), and an access log without logins.

#include "OriginServer.h"
#include "ServiceProcess.h"
#include "SqliteAccountStore.h"

#include <array>
#include <csignal>
#include <cstdio>
#include <gtest/gtest.h>

using namespace zel::service;
using namespace zel::service::test;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

// An authority of the test's own; Issue(n) writes n.pem, for 127.0.0.1 with
// serial n, and its key n.key.
class Authority {
public:
    Authority() { Run("-subj /CN=test-ca -keyout ca.key -out ca.pem"); }
    void Issue(int serial) {
        const std::string n = std::to_string(serial);
        Run("-subj /CN=127.0.0.1 -addext subjectAltName=IP:127.0.0.1 -addext "
            "basicConstraints=CA:FALSE -CA ca.pem -CAkey ca.key -set_serial " +
            n + " -keyout " + n + ".key -out " + n + ".pem");
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

// The status, the body and the serial of the certificate the service showed.
struct Fetched {
    int status = 0;
    std::string body, serial;
};

// A GET over HTTPS that trusts the test's authority only.
Fetched HttpsGet(const Authority& ca, int port, const std::string& target) {
    const std::string command =
        "curl -sS -g --path-as-is --max-time 20 --cacert " + ca.File("ca.pem") + " -o " +
        ca.File("body") +
        " -w '%{http_code}\\n%{certs}' 'https://127.0.0.1:" + std::to_string(port) + target + "'";
    FILE* out = popen(command.c_str(), "r");
    std::string text(1 << 16, '\0');
    text.resize(fread(text.data(), 1, text.size(), out));
    pclose(out);
    Fetched fetched{std::atoi(text.c_str()), ReadFile(ca.File("body")), ""};
    const std::size_t serial = text.find("Serial Number:");
    if (serial != std::string::npos)
        fetched.serial = text.substr(serial + 14, text.find('\n', serial) - serial - 14);
    fs::remove(ca.File("body"));
    return fetched;
}

std::vector<std::string> TlsOptions(const Authority& ca, const std::string& cert,
                                    const std::string& key) {
    return {"--allow-private-origins", "--tls-cert", ca.File(cert), "--tls-key", ca.File(key)};
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
    auto options = TlsOptions(ca, "7.pem", "7.key");
    auto page = [&] {
        Fetched reply = HttpsGet(ca, service.Port(), PageTarget(login, origin.Url("/text.html")));
        for (int polls = 0; reply.body.rfind("NexT", 0) == 0 && polls < 30; ++polls)
            reply = HttpsGet(ca, service.Port(), PollTarget(login));
        return reply;
    };
    for (int run = 0; run < 2; ++run) { // the second after a restart
        ASSERT_TRUE(service.Start(ZELSERVICE_PROGRAM, options));
        const Fetched reply = page();
        ASSERT_EQ(reply.body.substr(0, 3), "OK,") << reply.body;
        const Fetched archive = HttpsGet(ca, service.Port(), "/zel/arch/" + login + "/1.dat");
        EXPECT_EQ(std::to_string(archive.body.size()),
                  reply.body.substr(3, reply.body.find(';') - 3));
        EXPECT_EQ(archive.serial, "07");
        EXPECT_NE(Get(service.Port(), PollTarget(login), 5s).status, 200); // no plain HTTP
    }
    // Two lines with the same tag in place of the login, in files of the
    // service only.
    const std::string log = ReadFile(fs::path(service.DataFolder()) / "access.log");
    EXPECT_EQ(Count(log, "\n"), 2) << log;
    EXPECT_EQ(log.find(login), std::string::npos) << log;
    EXPECT_EQ(log.substr(21, 32), log.substr(log.find('\n') + 22, 32)) << log;
    for (const char* file : {"access.log", "access-log.key"})
        EXPECT_EQ(fs::status(fs::path(service.DataFolder()) / file).permissions(),
                  fs::perms::owner_read | fs::perms::owner_write);
    // --log-days 0 keeps no log, and the one before goes.
    options.insert(options.end(), {"--log-days", "0"});
    ASSERT_TRUE(service.Start(ZELSERVICE_PROGRAM, options));
    EXPECT_EQ(page().body.substr(0, 3), "OK,");
    EXPECT_FALSE(fs::exists(fs::path(service.DataFolder()) / "access.log"));
}

TEST(TlsService, BadPairsAreRefusedAndSighupServesARenewedOne) {
    Authority ca;
    for (const int serial : {1, 2, 3, 5})
        ca.Issue(serial);
    WriteFile(ca.File("bad.pem"), "not a certificate");
    fs::copy_file(ca.File("1.pem"), ca.File("server.pem"));
    fs::copy_file(ca.File("1.key"), ca.File("server.key"));
    ServiceProcess service;
    const auto options = TlsOptions(ca, "server.pem", "server.key");
    fs::permissions(ca.File("server.key"), fs::perms::others_read, fs::perm_options::add);
    EXPECT_FALSE(service.Start(ZELSERVICE_PROGRAM, options));
    service.Stop();
    EXPECT_TRUE(service.WaitForOutput("is open to every user"));
    fs::permissions(ca.File("server.key"), fs::perms::others_read, fs::perm_options::remove);
    ASSERT_TRUE(service.Start(ZELSERVICE_PROGRAM, options)) << service.Output();
    ASSERT_EQ(HttpsGet(ca, service.Port(), "/zel/health").serial, "01");
    // The pair given at each SIGHUP and the serial served after it.
    const std::vector<std::array<std::string, 3>> steps = {{"2.pem", "2.key", "02"},
                                                           {"bad.pem", "2.key", "02"},
                                                           {"3.pem", "2.key", "02"},
                                                           {"5.pem", "5.key", "05"}};
    for (std::size_t i = 0; i < steps.size(); ++i) {
        for (int file : {0, 1})
            fs::copy_file(ca.File(steps[i][file]), ca.File(file ? "server.key" : "server.pem"),
                          fs::copy_options::overwrite_existing);
        service.Signal(SIGHUP);
        for (int wait = 0; wait < 500 && Count(service.Output(), "SIGHUP:") <= int(i); ++wait)
            std::this_thread::sleep_for(20ms);
        EXPECT_EQ(HttpsGet(ca, service.Port(), "/zel/health").serial, steps[i][2]) << i;
    }
}
