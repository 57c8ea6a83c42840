#pragma once
// Certificates from certtool and `openssl s_server` on loopback for the tests
// of the client's TLS. Everything stays in the test's folder `dir`.

#include <QFile>
#include <QProcess>
#include <QStringList>

#include <gtest/gtest.h>

#include <fstream>
#include <string>

namespace zel::test {

inline void RunTool(const QString& dir, const QString& program, const QStringList& arguments) {
    QProcess p;
    p.setWorkingDirectory(dir);
    p.start(program, arguments);
    ASSERT_TRUE(p.waitForFinished(30000) && p.exitCode() == 0)
        << p.readAllStandardError().toStdString();
}

inline void WriteFile(const QString& dir, const std::string& name, const std::string& text) {
    std::ofstream(dir.toStdString() + "/" + name, std::ios::binary) << text;
}

// A throwaway authority: ca.pem and its key ca.key.
inline void MakeAuthority(const QString& dir) {
    RunTool(dir, "certtool", {"--generate-privkey", "--key-type=ecdsa", "--outfile", "ca.key"});
    WriteFile(dir, "ca.tmpl", "cn = Throwaway CA\nca\ncert_signing_key\n");
    RunTool(dir, "certtool",
            {"--generate-self-signed", "--load-privkey", "ca.key", "--template", "ca.tmpl",
             "--outfile", "ca.pem"});
}

// `name`.pem for localhost with the key key.pem (made when missing) and the
// template lines `tmpl`: self-signed, or signed by the authority ca.pem/ca.key.
inline void MakeCertificate(const QString& dir, const QString& name, const std::string& tmpl,
                            bool selfSigned) {
    if (!QFile::exists(dir + "/key.pem"))
        RunTool(dir, "certtool",
                {"--generate-privkey", "--key-type=ecdsa", "--outfile", "key.pem"});
    WriteFile(dir, "t.tmpl", "cn = localhost\ndns_name = localhost\ntls_www_server\n" + tmpl);
    QStringList args = {"--load-privkey", "key.pem",   "--template",
                        "t.tmpl",         "--outfile", name + ".pem"};
    if (selfSigned)
        RunTool(dir, "certtool", QStringList{"--generate-self-signed"} + args);
    else
        RunTool(dir, "certtool",
                QStringList{"--generate-certificate", "--load-ca-certificate", "ca.pem",
                            "--load-ca-privkey", "ca.key"} +
                    args);
}

// `openssl s_server` serving the files of `dir` with certificate `name`:
// with -WWW after a response header of its own, with -HTTP as they are;
// `options` may add others.
class TlsServer {
public:
    TlsServer(const QString& dir, const QString& name, const QStringList& options = {"-WWW"}) {
        server.setWorkingDirectory(dir);
        server.start("openssl", QStringList{"s_server", "-accept", "127.0.0.1:0", "-cert",
                                            name + ".pem", "-key", "key.pem"} +
                                    options);
        while (port.empty() && (server.canReadLine() || server.waitForReadyRead(10000))) {
            const QString line = QString::fromLatin1(server.readLine());
            if (line.startsWith("ACCEPT "))
                port = line.section(':', -1).trimmed().toStdString();
        }
    }
    ~TlsServer() {
        server.kill();
        server.waitForFinished(5000);
    }
    QProcess server;
    std::string port; // empty when the server did not start
};

} // namespace zel::test
