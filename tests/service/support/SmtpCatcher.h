#pragma once
// A loopback SMTP server for one test: accepts mail on a port of its own
// and keeps what it was given. It can also refuse every recipient.

#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace zel::service::test {

struct CaughtMail {
    std::string from;      // the MAIL FROM argument
    std::string recipient; // the RCPT TO argument
    std::string data;      // the message, without the final "."
};

class SmtpCatcher {
public:
    explicit SmtpCatcher(bool refuseRecipients = false);
    ~SmtpCatcher();
    SmtpCatcher(const SmtpCatcher&) = delete;
    SmtpCatcher& operator=(const SmtpCatcher&) = delete;

    std::string Url() const; // smtp://127.0.0.1:<port>
    std::vector<CaughtMail> Mails();

private:
    void Serve();
    void Converse(int connection);

    bool refuse_;
    int listener_ = -1;
    int port_ = 0;
    std::mutex mutex_;
    std::vector<CaughtMail> mails_;
    std::thread thread_;
};

} // namespace zel::service::test
