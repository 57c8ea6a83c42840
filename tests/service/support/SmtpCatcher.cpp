#include "SmtpCatcher.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace zel::service::test {

namespace {

// Reads one CR LF line; false when the peer closed or went quiet.
bool ReadLine(int fd, std::string& pending, std::string& line) {
    for (;;) {
        const std::size_t end = pending.find("\r\n");
        if (end != std::string::npos) {
            line = pending.substr(0, end);
            pending.erase(0, end + 2);
            return true;
        }
        pollfd watch{fd, POLLIN, 0};
        if (poll(&watch, 1, 10000) <= 0)
            return false;
        char buffer[4096];
        const ssize_t got = recv(fd, buffer, sizeof buffer, 0);
        if (got <= 0)
            return false;
        pending.append(buffer, static_cast<std::size_t>(got));
    }
}

void Say(int fd, const std::string& line) {
    const std::string text = line + "\r\n";
    send(fd, text.data(), text.size(), MSG_NOSIGNAL);
}

bool StartsWith(const std::string& text, const char* prefix) {
    return text.rfind(prefix, 0) == 0;
}

} // namespace

SmtpCatcher::SmtpCatcher(bool refuseRecipients) : refuse_(refuseRecipients) {
    listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener_, 4) != 0 ||
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        throw std::runtime_error("SMTP catcher cannot listen");
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Serve(); });
}

SmtpCatcher::~SmtpCatcher() {
    shutdown(listener_, SHUT_RDWR);
    close(listener_);
    thread_.join();
}

std::string SmtpCatcher::Url() const {
    return "smtp://127.0.0.1:" + std::to_string(port_);
}

std::vector<CaughtMail> SmtpCatcher::Mails() {
    std::lock_guard lock(mutex_);
    return mails_;
}

void SmtpCatcher::Serve() {
    for (;;) {
        const int connection = accept(listener_, nullptr, nullptr);
        if (connection < 0)
            return;
        Converse(connection);
        close(connection);
    }
}

void SmtpCatcher::Converse(int fd) {
    std::string pending, line;
    CaughtMail mail;
    Say(fd, "220 catcher ESMTP");
    while (ReadLine(fd, pending, line)) {
        if (StartsWith(line, "EHLO") || StartsWith(line, "HELO")) {
            Say(fd, "250 catcher");
        } else if (StartsWith(line, "MAIL FROM:")) {
            mail.from = line.substr(10);
            Say(fd, "250 OK");
        } else if (StartsWith(line, "RCPT TO:")) {
            mail.recipient = line.substr(8);
            Say(fd, refuse_ ? "550 No such user" : "250 OK");
        } else if (line == "DATA") {
            Say(fd, "354 Go ahead");
            while (ReadLine(fd, pending, line) && line != ".")
                mail.data += line + "\r\n";
            {
                std::lock_guard lock(mutex_);
                mails_.push_back(mail);
            }
            Say(fd, "250 Queued");
        } else if (line == "QUIT") {
            Say(fd, "221 Bye");
            return;
        } else {
            Say(fd, "250 OK");
        }
    }
}

} // namespace zel::service::test
