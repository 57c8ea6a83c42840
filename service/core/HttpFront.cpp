#include "HttpFront.h"

#include "Replies.h"
#include "RequestLineStream.h"

#include <charconv>
#include <httplib.h>
#include <sys/socket.h>
#include <unistd.h>

namespace zel::service {

namespace {

constexpr const char* kTextType = "text/plain; charset=us-ascii";

std::size_t HeaderBytes(const httplib::Request& request) {
    std::size_t bytes = request.method.size() + request.target.size() + request.version.size();
    for (const auto& [name, value] : request.headers)
        bytes += name.size() + value.size() + 4;
    return bytes;
}

void Text(httplib::Response& response, int status, const std::string& text) {
    response.status = status;
    response.set_content(text, kTextType);
}

// "<login>/<segment>.dat" after "/zel/arch/".
bool SplitArchivePath(const std::string& rest, std::string& login, int& segment) {
    const std::size_t slash = rest.find('/');
    const std::string suffix = ".dat";
    if (slash == std::string::npos || rest.size() < slash + 1 + suffix.size() ||
        rest.compare(rest.size() - suffix.size(), suffix.size(), suffix) != 0)
        return false;
    login = rest.substr(0, slash);
    const char* first = rest.data() + slash + 1;
    const char* last = rest.data() + rest.size() - suffix.size();
    const auto [end, error] = std::from_chars(first, last, segment);
    return error == std::errc() && end == last;
}

void SendArchive(const StoredArchive& archive, httplib::Response& response) {
    response.status = 200;
    auto data = archive.data;
    response.set_content_provider(
        static_cast<std::size_t>(archive.size), "application/zip",
        [data](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
            char buffer[65536];
            data->seekg(static_cast<std::streamoff>(offset));
            data->read(buffer, static_cast<std::streamsize>(std::min(length, sizeof buffer)));
            const std::streamsize got = data->gcount();
            return got > 0 && sink.write(buffer, static_cast<std::size_t>(got));
        });
}

// cpp-httplib with one request a connection, read through a
// RequestLineStream so the handlers see the raw target of every request.
class OneRequestServer : public httplib::Server {
public:
    explicit OneRequestServer(const HttpSettings& settings) : settings_(settings) {}

private:
    bool process_and_close_socket(int socket) override {
        RequestLineStream stream(socket, settings_.readTimeoutSeconds,
                                 settings_.writeTimeoutSeconds, settings_.maxHeaderBytes,
                                 2 * settings_.maxHeaderBytes + settings_.maxBodyBytes);
        bool closed = false;
        const bool ok = process_request(stream, true, closed, [&](httplib::Request& request) {
            request.target = stream.RawTarget();
        });
        shutdown(socket, SHUT_RDWR);
        close(socket);
        return ok;
    }

    const HttpSettings& settings_;
};

} // namespace

HttpFront::HttpFront(ZelService& service, HttpSettings settings)
    : service_(service), settings_(std::move(settings)),
      server_(std::make_unique<OneRequestServer>(settings_)) {
    const int threads = std::max(2, settings_.threads);
    server_->new_task_queue = [threads] { return new httplib::ThreadPool(threads); };
    server_->set_payload_max_length(settings_.maxBodyBytes);
    server_->set_error_handler([](const httplib::Request&, httplib::Response& response) {
        if (response.body.empty())
            Text(response, response.status, BadReply(texts::kUnknownRequest));
    });
    server_->set_exception_handler(
        [](const httplib::Request&, httplib::Response& response, std::exception_ptr) {
            Text(response, 500, BadReply(texts::kServiceBusy));
        });
    // Every request is answered here, before the library's own routing,
    // which would see an absolute-form target as an unknown path.
    server_->set_pre_routing_handler(
        [this](const httplib::Request& request, httplib::Response& response) {
            if (HeaderBytes(request) > settings_.maxHeaderBytes) {
                Text(response, 431, BadReply(texts::kUnknownRequest));
                return httplib::Server::HandlerResponse::Handled;
            }
            if (request.method != "GET") {
                Text(response, 405, BadReply(texts::kUnknownRequest));
                return httplib::Server::HandlerResponse::Handled;
            }
            const RequestTarget target = SplitRequestTarget(request.target);
            const std::string archivePrefix = "/zel/arch/";
            if (target.path == "/zel/page") {
                Text(response, 200, service_.Page(ParseQuery(target.query, "url")));
            } else if (target.path == "/zel/poll") {
                Text(response, 200, service_.Poll(ParseQuery(target.query, "url")));
            } else if (target.path == "/zel/health") {
                if (service_.Healthy())
                    Text(response, 200, "OK");
                else
                    Text(response, 503, BadReply(texts::kServiceBusy));
            } else if (target.path == "/zel/login") {
                std::string client = request.remote_addr;
                if (settings_.trustRealIp && request.has_header("X-Real-IP"))
                    client = request.get_header_value("X-Real-IP");
                Text(response, 200, service_.Login(ParseLoginQuery(target.query), client));
            } else if (target.path.rfind(archivePrefix, 0) == 0) {
                std::string login;
                int segment = 0;
                StoredArchive archive;
                if (SplitArchivePath(target.path.substr(archivePrefix.size()), login, segment))
                    archive = service_.Archive(login, segment);
                if (archive.data)
                    SendArchive(archive, response);
                else
                    Text(response, 404, BadReply("No archive."));
            } else {
                Text(response, 404, BadReply(texts::kUnknownRequest));
            }
            return httplib::Server::HandlerResponse::Handled;
        });
}

HttpFront::~HttpFront() {
    Stop();
}

int HttpFront::Bind() {
    if (settings_.port == 0)
        return server_->bind_to_any_port(settings_.host);
    return server_->bind_to_port(settings_.host, settings_.port) ? settings_.port : -1;
}

bool HttpFront::Serve() {
    return server_->listen_after_bind();
}

void HttpFront::Stop() {
    server_->stop();
}

bool HttpFront::IsServing() const {
    return server_->is_running();
}

} // namespace zel::service
