#pragma once
// One HTTP exchange with the compressing service, as the page and login
// requests make it: a fresh client for each exchange, owned by the window
// that asks, a 90 s time-out and the options' proxy; the client is released
// as soon as the exchange is over, after a failure too. Stop and Cancel reach
// the exchange in progress through Abort, and the progress timer reads its
// bytes. While a client waits it handles events, so all of this happens in
// the middle of an exchange. GUI-free.

#include <cstdint>
#include <optional>
#include <string>

class QObject;

namespace zel {

class TQzHTTP;

struct ProxySetting {
    std::string host; // empty: a direct connection
    int port = 0;
};

class ServiceExchange {
public:
    explicit ServiceExchange(QObject* owner);
    ServiceExchange(const ServiceExchange&) = delete;
    ServiceExchange& operator=(const ServiceExchange&) = delete;

    // GET `url`; the response body as text. Every failure (no connection,
    // time-out, Abort) is raised as the client raises it.
    std::string GetText(const std::string& url, const ProxySetting& proxy);
    // GET `url` with the response body written to the file `file`.
    void GetFile(const std::string& url, const ProxySetting& proxy, const std::string& file);

    bool Running() const { return current_ != nullptr; }
    // Makes the running exchange fail; a failure of the call itself is ignored.
    void Abort();
    // The body bytes received so far while the exchange is connected.
    std::optional<std::int32_t> BytesReceived() const;

private:
    void Get(TQzHTTP& client, const std::string& url, const ProxySetting& proxy);

    QObject* owner_;
    TQzHTTP* current_ = nullptr;
};

} // namespace zel
