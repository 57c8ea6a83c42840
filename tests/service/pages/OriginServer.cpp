#include "OriginServer.h"

#include <zlib.h>

#include <chrono>
#include <stdexcept>

namespace zel::service::test {

std::string Gzip(const std::string& text) {
    z_stream stream{};
    deflateInit2(&stream, 9, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&stream, text.size()) + 32, '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    stream.avail_in = uInt(text.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = uInt(out.size());
    deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

OriginServer::OriginServer(std::string host) : host_(std::move(host)) {}

OriginServer::~OriginServer() {
    server_.stop();
    if (thread_.joinable())
        thread_.join();
}

void OriginServer::Start() {
    port_ = server_.bind_to_any_port(host_);
    if (port_ <= 0)
        throw std::runtime_error("cannot bind the test origin");
    thread_ = std::thread([this] { server_.listen_after_bind(); });
    // Stopping works only once the loop runs, so wait for it (briefly).
    for (int i = 0; i < 5000 && !server_.is_running(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

std::string OriginServer::Url(const std::string& path) const {
    return "http://" + host_ + ":" + std::to_string(port_) + path;
}

void OriginServer::Serve(const std::string& path, const std::string& body, const std::string& type,
                         const std::map<std::string, std::string>& headers) {
    server_.Get(path, [this, path, body, type, headers](const httplib::Request&,
                                                        httplib::Response& response) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            ++hits_[path];
        }
        for (const auto& [name, value] : headers)
            response.set_header(name, value);
        response.set_content(body, type);
    });
}

int OriginServer::Hits(const std::string& path) const {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto found = hits_.find(path);
    return found == hits_.end() ? 0 : found->second;
}

} // namespace zel::service::test
