// The client over TLS against `openssl s_server` on loopback, trusting only a
// throwaway authority that certtool makes in the test's folder.

#include "ECertificateError.h"
#include "HttpTestSupport.h"
#include "LoopbackServer.h"
#include "TlsTestServer.h"
#include "TrustedAuthorities.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <ctime>
#include <optional>

using namespace zel;
using namespace zel::test;
using Fault = ECertificateError::Fault;

namespace {

QTemporaryDir* Folder = nullptr;

class Https : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        Folder = new QTemporaryDir;
        const QString dir = Folder->path();
        MakeAuthority(dir);
        MakeCertificate(dir, "good", "", false);
        MakeCertificate(dir, "old",
                        "activation_date = \"2001-01-01 00:00:00 UTC\"\n"
                        "expiration_date = \"2002-01-01 00:00:00 UTC\"\n",
                        false);
        MakeCertificate(dir, "self", "", true);
        WriteFile(dir, "page.htm", "over TLS");
        SetTrustedAuthoritiesForTesting(Folder->filePath("ca.pem").toStdString());
    }
    static void TearDownTestSuite() {
        SetTrustedAuthoritiesForTesting("");
        delete Folder;
    }
};

} // namespace

TEST_F(Https, OnlyAServerTheAuthorityVouchesForDeliversAPage) {
    struct Case {
        const char* certificate;
        const char* host;
        bool redirected; // reached through a plain server's redirection
        std::optional<Fault> fault;
    };
    const Case cases[] = {
        {"good", "localhost", false, std::nullopt},
        {"good", "localhost", true, std::nullopt},
        {"good", "127.0.0.1", false, Fault::WrongHost},
        {"old", "localhost", false, Fault::Expired},
        {"self", "localhost", false, Fault::UnknownIssuer},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.certificate) + " " + c.host);
        TlsServer tls(Folder->path(), c.certificate);
        ASSERT_FALSE(tls.port.empty());
        const std::string url = std::string("https://") + c.host + ":" + tls.port + "/page.htm";
        LoopbackServer plain({Response("HTTP/1.0 302 Found", {"Location: " + url}, "")});
        TestHttp http;
        http.TimeOut = 10000;
        std::optional<Fault> fault;
        try {
            http.Get(c.redirected ? plain.url("/") : url);
        } catch (const ECertificateError& e) {
            fault = e.Kind;
        }
        EXPECT_EQ(fault, c.fault);
        EXPECT_EQ(http.Body, c.fault ? "Default.htm" : "over TLS");
    }
}

// The authorities are read once, not again for each connection.
TEST_F(Https, TheAuthoritiesAreReadOnce) {
    const QString trust = Folder->filePath("trust.pem");
    ASSERT_TRUE(QFile::copy(Folder->filePath("ca.pem"), trust));
    SetTrustedAuthoritiesForTesting(trust.toStdString());
    TlsServer tls(Folder->path(), "good");
    for (int connection = 0; connection < 2; ++connection) {
        TestHttp http;
        http.Get("https://localhost:" + tls.port + "/page.htm");
        EXPECT_EQ(http.Body, "over TLS");
        QFile::remove(trust);
    }
    SetTrustedAuthoritiesForTesting(Folder->filePath("ca.pem").toStdString());
}

TEST_F(Https, AConnectionCutWithoutTheClosingNoticeFailsUnlessTheBodyIsComplete) {
    const std::string bytes(16 << 20, 'x');
    WriteFile(Folder->path(), "big.dat", bytes); // -WWW announces no length
    WriteFile(Folder->path(), "big.http", "HTTP/1.0 200 OK\r\nContent-Length: 5\r\n\r\n" + bytes);
    for (bool announced : {false, true}) {
        TlsServer tls(Folder->path(), "good", QStringList{announced ? "-HTTP" : "-WWW"});
        TestHttp http;
        http.OnPacketRecvd = [&](QObject*) { tls.server.kill(); }; // no closing notice
        const std::string failure = FailureOf<ESockError>([&] {
            http.Get("https://localhost:" + tls.port + (announced ? "/big.http" : "/big.dat"));
        });
        EXPECT_EQ(failure == "no failure", announced) << failure;
    }
}

TEST_F(Https, AConnectionCutBeforeTheStatusLineEndsFails) {
    TlsServer tls(Folder->path(), "good", {}); // sends nothing by itself
    TestHttp http;
    http.ReportLevel = 8;
    http.OnStatus = [&](QObject*, const std::string& status) {
        if (status == "ReadLn")
            tls.server.kill(); // no closing notice
    };
    const std::string failure =
        FailureOf<ESockError>([&] { http.Get("https://localhost:" + tls.port + "/"); });
    EXPECT_NE(failure.find("cut the secure connection short"), std::string::npos) << failure;
}

TEST_F(Https, AServerOfTls11OnlyIsRefused) {
    TlsServer tls(Folder->path(), "good", {"-WWW", "-tls1_1", "-cipher", "DEFAULT@SECLEVEL=0"});
    ASSERT_FALSE(tls.port.empty());
    TestHttp http;
    const std::string failure =
        FailureOf<ESockError>([&] { http.Get("https://localhost:" + tls.port + "/page.htm"); });
    EXPECT_NE(failure.find("could not be set up"), std::string::npos) << failure;
    EXPECT_EQ(http.Body, "Default.htm");
}

TEST_F(Https, AStalledHandshakeEndsByTimeOutOrStopWhileEventsGoOn) {
    for (bool stop : {false, true}) {
        LoopbackServer silent;
        silent.silent();
        silent.start();
        TestHttp http;
        http.TimeOut = stop ? 0 : 300;
        int ticks = 0;
        QTimer ticker;
        QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
        ticker.start(20);
        if (stop)
            QTimer::singleShot(300, [&] { http.Abort(); });
        timespec cpu{}, after{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpu);
        EXPECT_EQ(
            FailureOf([&] { http.Get("https://127.0.0.1:" + std::to_string(silent.port())); }),
            stop ? "Connection Canceled" : "Connection Timed out");
        EXPECT_GT(ticks, 0);
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &after);
        // The wait sleeps: a third of a second spent spinning would cost far more.
        EXPECT_LT(after.tv_sec - cpu.tv_sec + (after.tv_nsec - cpu.tv_nsec) / 1e9, 0.05);
    }
}

TEST_F(Https, ThroughAProxyTheRequestAsksForATunnelFirst) {
    LoopbackServer proxy({std::string("HTTP/1.0 403 Forbidden\r\n\r\n")});
    TestHttp http;
    http.Proxy = proxy.address();
    http.ProxyPort = proxy.port();
    EXPECT_EQ(FailureOf([&] { http.Get("https://secure.example/x"); }),
              "The proxy 127.0.0.1 did not open a tunnel to secure.example:443: HTTP/1.0 403 "
              "Forbidden");
    ASSERT_EQ(proxy.requests().size(), 1u);
    EXPECT_EQ(proxy.requests()[0],
              "CONNECT secure.example:443 HTTP/1.0\r\nHost: secure.example:443\r\n\r\n");
}

// A secure server on the usual port, reached through a proxy's tunnels,
// redirects to a bare name: the next request goes to the same server.
TEST_F(Https, ABareNameRedirectionStaysOnTheSecureServer) {
    WriteFile(Folder->path(), "moved.http", "HTTP/1.0 302 Found\r\nLocation: page.http\r\n\r\n");
    WriteFile(Folder->path(), "page.http", "HTTP/1.0 200 OK\r\n\r\nover TLS");
    TlsServer tls(Folder->path(), "good", {"-HTTP"});
    QTcpServer proxy; // every tunnel leads to the server, whatever it names
    ASSERT_TRUE(proxy.listen(QHostAddress::LocalHost));
    std::vector<std::string> asked;
    QObject::connect(&proxy, &QTcpServer::newConnection, [&] {
        QTcpSocket* client = proxy.nextPendingConnection();
        auto* server = new QTcpSocket(client);
        QObject::connect(client, &QTcpSocket::readyRead, [&asked, &tls, client, server] {
            if (server->state() != QAbstractSocket::UnconnectedState)
                return void(server->write(client->readAll()));
            if (!client->peek(4096).contains("\r\n\r\n"))
                return;
            asked.push_back(client->readLine().trimmed().toStdString());
            while (client->readLine().trimmed().size() > 0) {
            }
            client->write("HTTP/1.0 200 OK\r\n\r\n");
            server->connectToHost(QHostAddress::LocalHost, std::stoi(tls.port));
        });
        QObject::connect(server, &QTcpSocket::readyRead,
                         [client, server] { client->write(server->readAll()); });
        QObject::connect(server, &QTcpSocket::disconnected, client,
                         &QTcpSocket::disconnectFromHost);
    });
    TestHttp http;
    http.Proxy = "127.0.0.1";
    http.ProxyPort = proxy.serverPort();
    http.Get("https://localhost/moved.http");
    EXPECT_EQ(http.Body, "over TLS");
    EXPECT_EQ(http.RequestUrl, "https://localhost/page.http");
    EXPECT_EQ(asked, std::vector<std::string>(2, "CONNECT localhost:443 HTTP/1.0"));
}

TEST_F(Https, OnlyATwoHundredStatusOpensTheTunnel) {
    for (const int status : {199, 200, 299, 300}) {
        LoopbackServer proxy({"HTTP/1.0 " + std::to_string(status) + " X\r\n\r\n"});
        TestHttp http;
        http.Proxy = proxy.address();
        http.ProxyPort = proxy.port();
        const std::string failure = FailureOf([&] { http.Get("https://secure.example/x"); });
        // Through an open tunnel the handshake meets the proxy's close.
        EXPECT_EQ(failure.rfind("The proxy ", 0) == 0, status < 200 || status > 299)
            << status << ": " << failure;
    }
}
