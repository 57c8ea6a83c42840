#include "HttpFront.h"

#include "HttpResponses.h"
#include "Replies.h"

#include <arpa/inet.h>
#include <charconv>
#include <cstring>
#include <microhttpd.h>
#include <netdb.h>
#include <set>
#include <sys/resource.h>
#include <sys/socket.h>
#include <utility>
#include <vector>

namespace zel::service {

namespace {

// File descriptors kept for what is not a connection: job children,
// archives being sent, the stores and the log.
constexpr rlim_t kOtherFiles = 256;

// A health check answers within this time, unhealthy when the node has not
// found out by then: well within the balancer's own limit on a check.
constexpr auto kHealthWait = std::chrono::seconds(2);

// TLS 1.2 and newer only.
constexpr const char* kTlsPriorities = "NORMAL:-VERS-ALL:+VERS-TLS1.3:+VERS-TLS1.2";

// Page requests and polls of logins not known yet wait on the account store
// here, as many at once as the store has connections.
constexpr int kStoreThreads = 4;

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

MHD_Result AddHeaderBytes(void* total, MHD_ValueKind, const char* name, const char* value) {
    *static_cast<std::size_t*>(total) += std::strlen(name) + (value ? std::strlen(value) : 0) + 4;
    return MHD_YES;
}

std::size_t HeaderBytes(MHD_Connection* connection) {
    std::size_t total = 0;
    MHD_get_connection_values(connection, MHD_HEADER_KIND, &AddHeaderBytes, &total);
    return total;
}

std::string AddressText(const sockaddr* address) {
    char text[INET6_ADDRSTRLEN] = "";
    if (address && address->sa_family == AF_INET)
        inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(address)->sin_addr, text,
                  sizeof text);
    else if (address && address->sa_family == AF_INET6)
        inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr, text,
                  sizeof text);
    return text;
}

const sockaddr* PeerOf(MHD_Connection* connection) {
    const MHD_ConnectionInfo* info =
        MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
    return info ? info->client_addr : nullptr;
}

} // namespace

// One request, from its request line to the close of its connection.
struct HttpFront::Exchange {
    explicit Exchange(std::string target) : rawTarget(std::move(target)) {}

    const std::string rawTarget; // exactly as the client sent it
    bool asked = false;          // handled once; a later call brings the reply
    // Guarded by Waits::mutex.
    std::optional<Reply> reply;
    MHD_Connection* suspended = nullptr;
};

// The suspended connections; shared with the service's answers, which may
// come after the front is gone.
struct HttpFront::Waits {
    std::mutex mutex;
    bool stopping = false;
    std::set<std::shared_ptr<Exchange>> suspended;

    void Settle(const std::shared_ptr<Exchange>& exchange, const Reply& reply) {
        std::lock_guard lock(mutex);
        if (exchange->reply)
            return;
        exchange->reply = reply;
        if (MHD_Connection* connection = std::exchange(exchange->suspended, nullptr)) {
            suspended.erase(exchange);
            MHD_resume_connection(connection);
        }
    }

    // Answers every waiting request with `reply`; no request waits after.
    void SettleAll(const Reply& reply) {
        std::lock_guard lock(mutex);
        stopping = true;
        for (const auto& exchange : suspended) {
            exchange->reply = reply;
            MHD_resume_connection(std::exchange(exchange->suspended, nullptr));
        }
        suspended.clear();
    }
};

// A connection whose request head has not fully arrived; cut off at its
// deadline. The library reports a connection closed before it closes the
// socket, so a cut never reaches a socket that was reused.
struct HttpFront::Head {
    Head(int socket, std::string counted) : socket(socket), counted(std::move(counted)) {}

    void Cut() {
        std::lock_guard lock(mutex);
        if (!arrived)
            shutdown(socket, SHUT_RDWR);
        arrived = true;
    }

    void Arrived() {
        std::lock_guard lock(mutex);
        arrived = true;
    }

    std::mutex mutex;
    const int socket;
    const std::string counted; // the client address whose cap counts it
    bool arrived = false;
};

struct HttpFront::Callbacks {
    static void OnConnection(void* front, MHD_Connection* connection, void** context,
                             MHD_ConnectionNotificationCode code) {
        if (code == MHD_CONNECTION_NOTIFY_STARTED) {
            const MHD_ConnectionInfo* info =
                MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD);
            auto& self = *static_cast<HttpFront*>(front);
            bool overLimit = false;
            auto head = std::make_shared<Head>(info ? info->connect_fd : -1,
                                               self.CountConnection(connection, overLimit));
            if (overLimit)
                head->Cut();
            self.deadlines_.At(DeadlineTimer::Clock::now() +
                                   std::chrono::seconds(self.settings_.headSeconds),
                               [head] { head->Cut(); });
            *context = new std::shared_ptr<Head>(std::move(head));
        } else if (auto* head = static_cast<std::shared_ptr<Head>*>(*context)) {
            (*head)->Arrived();
            if (!(*head)->counted.empty())
                static_cast<HttpFront*>(front)->perClient_.Closed((*head)->counted);
            delete head;
            *context = nullptr;
        }
    }

    static void HeadArrived(MHD_Connection* connection) {
        const MHD_ConnectionInfo* info =
            MHD_get_connection_info(connection, MHD_CONNECTION_INFO_SOCKET_CONTEXT);
        if (info && info->socket_context)
            (*static_cast<std::shared_ptr<Head>*>(info->socket_context))->Arrived();
    }

    static void* OnRequestLine(void*, const char* target, MHD_Connection*) {
        return new std::shared_ptr<Exchange>(std::make_shared<Exchange>(target));
    }

    static void OnCompleted(void*, MHD_Connection*, void** context, MHD_RequestTerminationCode) {
        delete static_cast<std::shared_ptr<Exchange>*>(*context);
        *context = nullptr;
    }

    static MHD_Result OnRequest(void* front, MHD_Connection* connection, const char*,
                                const char* method, const char* version, const char*, std::size_t*,
                                void** context) {
        auto* holder = static_cast<std::shared_ptr<Exchange>*>(*context);
        if (!holder)
            return MHD_NO;
        const std::shared_ptr<Exchange> exchange = *holder;
        auto& self = *static_cast<HttpFront*>(front);
        if (!exchange->asked) {
            exchange->asked = true;
            HeadArrived(connection);
            self.Handle(connection, exchange, std::strlen(method) + std::strlen(version) + 2,
                        method);
            return MHD_YES;
        }
        std::optional<Reply> reply;
        {
            std::lock_guard lock(self.waits_->mutex);
            reply = exchange->reply;
        }
        if (!reply)
            return MHD_NO;
        QueueReply(connection, *reply);
        return MHD_YES;
    }
};

HttpFront::HttpFront(ZelService& service, HttpSettings settings)
    : service_(service), settings_(std::move(settings)), waits_(std::make_shared<Waits>()),
      logins_(settings_.loginThreads), stores_(kStoreThreads),
      perClient_(static_cast<unsigned>(settings_.connectionsPerClient)),
      health_([&service] { return service.Healthy(); }) {}

HttpFront::~HttpFront() {
    Stop();
}

void HttpFront::Handle(MHD_Connection* connection, const std::shared_ptr<Exchange>& exchange,
                       std::size_t lineBytesBesideTarget, const std::string& method) {
    // The head is in; from here the connection only waits for its reply.
    MHD_set_connection_option(connection, MHD_CONNECTION_OPTION_TIMEOUT,
                              static_cast<unsigned>(settings_.writeTimeoutSeconds));
    if (lineBytesBesideTarget + exchange->rawTarget.size() > settings_.maxRequestLineBytes)
        return QueueReply(connection, BadReply(FailureKind::RequestTooLong));
    if (HeaderBytes(connection) > settings_.maxHeaderBytes)
        return QueueReply(connection, BadReply(FailureKind::HeadTooLarge));
    if (method != "GET")
        return QueueReply(connection, BadReply(FailureKind::MethodNotAllowed));
    const RequestTarget target = SplitRequestTarget(exchange->rawTarget);
    const std::string archivePrefix = "/zel/arch/";
    if (target.path == "/zel/page" || target.path == "/zel/poll" || target.path == "/zel/login")
        return AskService(connection, exchange, target.path, target.query);
    if (target.path == "/zel/health")
        return CheckHealth(connection, exchange);
    if (target.path.rfind(archivePrefix, 0) != 0)
        return QueueReply(connection, BadReply(FailureKind::UnknownRequest));
    std::string login;
    int segment = 0;
    StoredArchive archive;
    if (SplitArchivePath(target.path.substr(archivePrefix.size()), login, segment))
        archive = service_.Archive(login, segment);
    if (archive.data)
        QueueArchive(connection, archive);
    else
        QueueReply(connection, BadReply(FailureKind::NoArchive));
}

void HttpFront::AskService(MHD_Connection* connection, const std::shared_ptr<Exchange>& exchange,
                           const std::string& path, const std::string& query) {
    ZelService::Answer answer = [waits = waits_, exchange](const Reply& reply) {
        waits->Settle(exchange, reply);
    };
    if (path == "/zel/login")
        return AskAndHold(connection, exchange, &logins_,
                          [&service = service_, answer, query, client = ClientOf(connection)] {
                              answer(service.Login(ParseLoginQuery(query), client));
                          });
    const QueryParams params = ParseQuery(query, "url");
    const bool page = path == "/zel/page";
    AskAndHold(connection, exchange, service_.AsksAccounts(params) ? &stores_ : nullptr,
               [&service = service_, params, answer, page] {
                   page ? service.Page(params, answer) : service.Poll(params, answer);
               });
}

void HttpFront::AskAndHold(MHD_Connection* connection, const std::shared_ptr<Exchange>& exchange,
                           TaskPool* pool, std::function<void()> ask) {
    if (pool)
        pool->Run(std::move(ask));
    else
        ask();
    SuspendUnlessAnswered(connection, exchange);
}

void HttpFront::CheckHealth(MHD_Connection* connection, const std::shared_ptr<Exchange>& exchange) {
    auto settle = [waits = waits_, exchange](bool healthy) {
        waits->Settle(exchange, healthy ? Reply{MHD_HTTP_OK, "OK"} : BadReply(FailureKind::Busy));
    };
    deadlines_.At(DeadlineTimer::Clock::now() + kHealthWait, [settle] { settle(false); });
    health_.Check(settle);
    SuspendUnlessAnswered(connection, exchange);
}

void HttpFront::SuspendUnlessAnswered(MHD_Connection* connection,
                                      const std::shared_ptr<Exchange>& exchange) {
    std::unique_lock lock(waits_->mutex);
    if (!exchange->reply && waits_->stopping)
        exchange->reply = BadReply(FailureKind::Busy);
    if (exchange->reply) {
        const Reply reply = *exchange->reply;
        lock.unlock();
        return QueueReply(connection, reply);
    }
    exchange->suspended = connection;
    waits_->suspended.insert(exchange);
    MHD_suspend_connection(connection);
}

std::string HttpFront::ClientOf(MHD_Connection* connection) const {
    const sockaddr* peer = PeerOf(connection);
    if (settings_.trustedProxies.Contains(peer))
        if (const char* real =
                MHD_lookup_connection_value(connection, MHD_HEADER_KIND, "X-Real-IP"))
            return real;
    return AddressText(peer);
}

std::string HttpFront::CountConnection(MHD_Connection* connection, bool& overLimit) {
    const sockaddr* peer = PeerOf(connection);
    if (settings_.trustedProxies.Contains(peer))
        return "";
    const std::string client = AddressText(peer);
    overLimit = !perClient_.Opened(client);
    return client;
}

unsigned HttpFront::ConnectionLimit() const {
    rlimit files{};
    getrlimit(RLIMIT_NOFILE, &files);
    return static_cast<unsigned>(
        std::max<rlim_t>(16, files.rlim_cur - std::min(files.rlim_cur, kOtherFiles)));
}

int HttpFront::Bind() {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    if (getaddrinfo(settings_.host.c_str(), std::to_string(settings_.port).c_str(), &hints,
                    &found) != 0)
        return -1;
    const bool v6 = found->ai_family == AF_INET6;
    sockaddr_storage address{};
    std::memcpy(&address, found->ai_addr, found->ai_addrlen);
    freeaddrinfo(found);

    const std::size_t headBytes = settings_.maxRequestLineBytes + settings_.maxHeaderBytes;
    std::vector<MHD_OptionItem> tlsOptions;
    if (!settings_.tlsCertFile.empty()) {
        tls_ = std::make_unique<TlsCertificates>(settings_.tlsCertFile, settings_.tlsKeyFile);
        tlsOptions = {{MHD_OPTION_HTTPS_CERT_CALLBACK, 0,
                       reinterpret_cast<void*>(&TlsCertificates::Retrieve)},
                      {MHD_OPTION_HTTPS_PRIORITIES, 0, const_cast<char*>(kTlsPriorities)}};
    }
    tlsOptions.push_back({MHD_OPTION_END, 0, nullptr});
    std::lock_guard lock(mutex_);
    daemon_ = MHD_start_daemon(
        MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_EPOLL | MHD_ALLOW_SUSPEND_RESUME |
            (v6 ? MHD_USE_IPv6 : 0) | (tls_ ? MHD_USE_TLS : 0),
        0, nullptr, nullptr, &Callbacks::OnRequest, this, MHD_OPTION_SOCK_ADDR, &address,
        MHD_OPTION_NOTIFY_CONNECTION, &Callbacks::OnConnection, this, MHD_OPTION_URI_LOG_CALLBACK,
        &Callbacks::OnRequestLine, this, MHD_OPTION_NOTIFY_COMPLETED, &Callbacks::OnCompleted, this,
        MHD_OPTION_CONNECTION_TIMEOUT, static_cast<unsigned>(settings_.headSeconds),
        MHD_OPTION_CONNECTION_LIMIT, ConnectionLimit(), MHD_OPTION_CONNECTION_MEMORY_LIMIT,
        2 * headBytes + 16384, MHD_OPTION_ARRAY, tlsOptions.data(), MHD_OPTION_END);
    if (!daemon_)
        return -1;
    const MHD_DaemonInfo* info = MHD_get_daemon_info(daemon_, MHD_DAEMON_INFO_BIND_PORT);
    return info ? info->port : -1;
}

void HttpFront::ReloadCertificate() {
    if (tls_)
        tls_->Reload();
}

bool HttpFront::Serve() {
    std::unique_lock lock(mutex_);
    if (!daemon_)
        return false;
    stopped_.wait(lock, [this] { return stopping_; });
    return true;
}

void HttpFront::Stop() {
    MHD_Daemon* daemon = nullptr;
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        daemon = std::exchange(daemon_, nullptr);
    }
    stopped_.notify_all();
    if (!daemon)
        return;
    // The library must not hold a suspended connection when it stops.
    waits_->SettleAll(BadReply(FailureKind::Busy));
    MHD_stop_daemon(daemon);
}

bool HttpFront::IsServing() const {
    std::lock_guard lock(mutex_);
    return daemon_ && !stopping_;
}

} // namespace zel::service
