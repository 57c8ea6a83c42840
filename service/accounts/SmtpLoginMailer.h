#pragma once
// Mails logins through an SMTP server with libcurl.

#include "LoginMailer.h"

#include <string>

namespace zel::service {

struct SmtpSettings {
    std::string url; // smtp://host:port or smtps://host:port; empty: no mail
    std::string from = "zelservice@localhost";
    std::string user;
    std::string password;
    bool requireTls = false; // STARTTLS required on smtp://
    long timeoutSeconds = 30;
};

class SmtpLoginMailer : public LoginMailer {
public:
    explicit SmtpLoginMailer(SmtpSettings settings);
    void Send(const std::string& address, const std::string& login) override;

private:
    SmtpSettings settings_;
};

// The mail text: header lines, a blank line and the body, with CR LF.
std::string LoginMailText(const std::string& from, const std::string& to, const std::string& login);

} // namespace zel::service
