#include "SmtpLoginMailer.h"

#include <cstring>
#include <curl/curl.h>
#include <memory>
#include <stdexcept>

namespace zel::service {

namespace {

struct Payload {
    std::string text;
    std::size_t sent = 0;
};

std::size_t ReadPayload(char* buffer, std::size_t size, std::size_t count, void* user) {
    auto* payload = static_cast<Payload*>(user);
    const std::size_t n = std::min(size * count, payload->text.size() - payload->sent);
    std::memcpy(buffer, payload->text.data() + payload->sent, n);
    payload->sent += n;
    return n;
}

} // namespace

std::string LoginMailText(const std::string& from, const std::string& to,
                          const std::string& login) {
    return "From: <" + from + ">\r\n" + "To: <" + to + ">\r\n" +
           "Subject: Your ZELbrowser login\r\n"
           "MIME-Version: 1.0\r\n"
           "Content-Type: text/plain; charset=us-ascii\r\n"
           "\r\n"
           "Your login is: " +
           login +
           "\r\n"
           "\r\n"
           "Type it in ZELbrowser's Options, page Login.\r\n";
}

SmtpLoginMailer::SmtpLoginMailer(SmtpSettings settings) : settings_(std::move(settings)) {}

void SmtpLoginMailer::Send(const std::string& address, const std::string& login) {
    std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> curl(curl_easy_init(), curl_easy_cleanup);
    if (!curl)
        throw std::runtime_error("mail: cannot start libcurl");
    Payload payload{LoginMailText(settings_.from, address, login)};
    curl_slist* recipients = curl_slist_append(nullptr, ("<" + address + ">").c_str());
    const std::string from = "<" + settings_.from + ">";
    CURL* c = curl.get();
    curl_easy_setopt(c, CURLOPT_URL, settings_.url.c_str());
    curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "smtp,smtps");
    curl_easy_setopt(c, CURLOPT_MAIL_FROM, from.c_str());
    curl_easy_setopt(c, CURLOPT_MAIL_RCPT, recipients);
    curl_easy_setopt(c, CURLOPT_READFUNCTION, ReadPayload);
    curl_easy_setopt(c, CURLOPT_READDATA, &payload);
    curl_easy_setopt(c, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(c, CURLOPT_TIMEOUT, settings_.timeoutSeconds);
    curl_easy_setopt(c, CURLOPT_NOPROXY, "*");
    if (settings_.requireTls)
        curl_easy_setopt(c, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_ALL));
    if (!settings_.user.empty()) {
        curl_easy_setopt(c, CURLOPT_USERNAME, settings_.user.c_str());
        curl_easy_setopt(c, CURLOPT_PASSWORD, settings_.password.c_str());
    }
    const CURLcode result = curl_easy_perform(c);
    curl_slist_free_all(recipients);
    if (result != CURLE_OK)
        throw std::runtime_error(std::string("mail: ") + curl_easy_strerror(result));
}

} // namespace zel::service
