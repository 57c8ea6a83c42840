#include "ServiceExchange.h"

#include "TQzHTTP.h"

#include <memory>

namespace zel {

namespace {
constexpr std::int32_t TimeOutMs = 90000;
} // namespace

ServiceExchange::ServiceExchange(QObject* owner) : owner_(owner) {}

void ServiceExchange::Get(TQzHTTP& client, const std::string& url, const ProxySetting& proxy) {
    client.TimeOut = TimeOutMs;
    client.Proxy = proxy.host;
    client.ProxyPort = proxy.port;
    current_ = &client;
    try {
        client.Get(url);
    } catch (...) {
        current_ = nullptr;
        throw;
    }
    current_ = nullptr;
}

std::string ServiceExchange::GetText(const std::string& url, const ProxySetting& proxy) {
    auto client = std::make_unique<TQzHTTP>(owner_);
    client->InputFileMode = false;
    Get(*client, url, proxy);
    return client->Body;
}

void ServiceExchange::GetFile(const std::string& url, const ProxySetting& proxy,
                              const std::string& file) {
    auto client = std::make_unique<TQzHTTP>(owner_);
    client->InputFileMode = true;
    client->Body = file;
    Get(*client, url, proxy);
}

void ServiceExchange::Abort() {
    if (!current_)
        return;
    try {
        current_->Abort();
    } catch (const std::exception&) {
        // the exchange ends with its own failure all the same
    }
}

std::optional<std::int32_t> ServiceExchange::BytesReceived() const {
    if (!current_ || !current_->Connected)
        return std::nullopt;
    return current_->BytesReceived;
}

} // namespace zel
