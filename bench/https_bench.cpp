// The HTTP client over TLS: throughput against curl and the processor time
// of a wait.
//
// `openssl s_server -WWW` serves a 512 MiB file on loopback with a
// certificate from a throwaway authority (certtool) that both clients trust.
// TQzHTTP::Get in InputFileMode and `curl -s -o` fetch it, each timed as the
// best of a few alternating runs; then the client waits on a TLS server that
// completes the handshake and never answers, and the CPU time of that wait
// is printed per wall second. The last line holds the throughput ratio.

#include "CpuSeconds.h"
#include "EAbortError.h"
#include "TQzHTTP.h"
#include "TrustedAuthorities.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

namespace {

constexpr std::size_t MiB = 1u << 20;
constexpr std::size_t Size = 512 * MiB;
constexpr int Runs = 3;

void Must(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "%s failed\n", what);
        std::exit(1);
    }
}

void Shell(const std::string& dir, const std::string& command) {
    Must(std::system(("cd '" + dir + "' && " + command + " >/dev/null 2>&1").c_str()) == 0,
         command.c_str());
}

// A throwaway authority and a certificate for localhost signed by it.
void MakeCertificates(const std::string& dir) {
    std::ofstream(dir + "/ca.tmpl") << "cn = Bench CA\nca\ncert_signing_key\n";
    std::ofstream(dir + "/srv.tmpl") << "cn = localhost\ndns_name = localhost\ntls_www_server\n";
    Shell(dir, "certtool --generate-privkey --key-type=ecdsa --outfile ca.key");
    Shell(dir, "certtool --generate-privkey --key-type=ecdsa --outfile key.pem");
    Shell(dir, "certtool --generate-self-signed --load-privkey ca.key --template ca.tmpl "
               "--outfile ca.pem");
    Shell(dir, "certtool --generate-certificate --load-privkey key.pem --load-ca-certificate "
               "ca.pem --load-ca-privkey ca.key --template srv.tmpl --outfile srv.pem");
}

// `openssl s_server` in `dir`: with -WWW it serves files, without it it
// completes the handshake and then says nothing.
class TlsServer {
public:
    TlsServer(const QString& dir, bool files) {
        server.setWorkingDirectory(dir);
        QStringList args = {"s_server", "-accept", "127.0.0.1:0", "-cert",
                            "srv.pem",  "-key",    "key.pem"};
        if (files)
            args << "-WWW";
        server.start("openssl", args);
        while (port.empty() && (server.canReadLine() || server.waitForReadyRead(10000))) {
            const QString line = QString::fromLatin1(server.readLine());
            if (line.startsWith("ACCEPT "))
                port = line.section(':', -1).trimmed().toStdString();
        }
        Must(!port.empty(), "openssl s_server");
    }
    ~TlsServer() {
        server.kill();
        server.waitForFinished(5000);
    }
    std::string url(const std::string& path) const {
        return "https://localhost:" + port + "/" + path;
    }

private:
    QProcess server;
    std::string port;
};

double SecondsOf(const std::function<void()>& run) {
    auto start = std::chrono::steady_clock::now();
    run();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir temp;
    const std::string dir = temp.path().toStdString();
    MakeCertificates(dir);
    zel::SetTrustedAuthoritiesForTesting(dir + "/ca.pem");
    {
        std::string block(MiB, 'x');
        for (std::size_t i = 0; i < block.size(); ++i)
            block[i] = static_cast<char>('a' + i % 26);
        std::ofstream body(dir + "/body.dat", std::ios::binary);
        for (std::size_t i = 0; i < Size / MiB; ++i)
            body.write(block.data(), static_cast<std::streamsize>(block.size()));
    }

    TlsServer files(temp.path(), true);
    const std::string curlFile = dir + "/curl.dat";
    const std::string clientFile = dir + "/page.dat";
    zel::TQzHTTP http;
    http.TimeOut = 90000;
    http.InputFileMode = true;
    http.Body = clientFile;
    auto runClient = [&] {
        std::filesystem::remove(clientFile);
        http.Get(files.url("body.dat"));
        Must(std::filesystem::file_size(clientFile) == Size, "the client's body");
    };
    const std::string command =
        "curl -s --cacert '" + dir + "/ca.pem' -o '" + curlFile + "' " + files.url("body.dat");
    auto runCurl = [&] {
        std::filesystem::remove(curlFile);
        Must(std::system(command.c_str()) == 0 && std::filesystem::file_size(curlFile) == Size,
             "curl");
    };
    double client = 1e9, curl = 1e9;
    for (int round = 0; round < Runs; ++round) {
        // Alternating, so neither side always meets the other's disk writeback.
        if (round % 2 == 0)
            curl = std::min(curl, SecondsOf(runCurl));
        client = std::min(client, SecondsOf(runClient));
        if (round % 2 == 1)
            curl = std::min(curl, SecondsOf(runCurl));
    }
    std::filesystem::remove(curlFile);
    std::filesystem::remove(clientFile);

    TlsServer silent(temp.path(), false);
    zel::TQzHTTP waiting;
    waiting.TimeOut = 3000;
    const double cpu = CpuSeconds(RUSAGE_THREAD);
    const double wall = SecondsOf([&] {
        try {
            waiting.Get(silent.url(""));
        } catch (const zel::EAbortError&) {
            // the time-out ends the wait, as intended
        }
    });
    std::printf("waiting %.2f s on a silent TLS server: %.4f CPU s per wall s (goal < 0.02)\n",
                wall, (CpuSeconds(RUSAGE_THREAD) - cpu) / wall);
    std::printf("TLS, %zu MiB: TQzHTTP %.0f MiB/s, curl -s -o %.0f MiB/s\n", Size / MiB,
                Size / MiB / client, Size / MiB / curl);
    std::printf("ratio against curl over TLS (goal 0.90): %.3f\n", curl / client);
    return 0;
}
