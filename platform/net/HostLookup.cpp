#include "HostLookup.h"

#include "WinSock.h"

#include <QCoreApplication>
#include <QEvent>
#include <QPointer>

#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <thread>
#include <unordered_map>

namespace zel {

namespace {

struct Request {
    QPointer<HiddenWindow> window;
    std::uint32_t message = 0;
    char* buffer = nullptr;
    int bufferLength = 0;
};

// GUI thread only.
std::unordered_map<LookupHandle, Request> pending;
LookupHandle lastHandle = 0;

const QEvent::Type AnswerType = static_cast<QEvent::Type>(QEvent::registerEventType());

struct Answer : QEvent {
    Answer(LookupHandle handle, HostAddresses found)
        : QEvent(AnswerType), handle(handle), found(std::move(found)) {}
    LookupHandle handle;
    HostAddresses found;
};

void Deliver(LookupHandle handle, const HostAddresses& found);

// Receives the helper threads' answers on the GUI thread. It is a child of
// the application; helper threads post to it only under the lock, and only
// while it exists, so a thread finishing after the application has gone
// posts nothing.
class Postbox : public QObject {
public:
    using QObject::QObject;
    ~Postbox() override;

protected:
    bool event(QEvent* e) override {
        if (e->type() != AnswerType)
            return QObject::event(e);
        auto* answer = static_cast<Answer*>(e);
        Deliver(answer->handle, answer->found);
        return true;
    }
};

// Shared with the helper threads; never destroyed, since a thread may still
// be resolving when the process ends.
struct Shared {
    std::mutex lock;
    Postbox* postbox = nullptr;
    HostResolver resolver;
};
Shared& shared() {
    static auto* s = new Shared;
    return *s;
}

Postbox::~Postbox() {
    std::lock_guard guard(shared().lock);
    shared().postbox = nullptr;
}

void EnsurePostbox() {
    std::lock_guard guard(shared().lock);
    if (!shared().postbox)
        shared().postbox = new Postbox(QCoreApplication::instance());
}

int LookupError(int code) {
    switch (code) {
    case EAI_NONAME:
        return 11001;
    case EAI_AGAIN:
        return 11002;
    case EAI_FAIL:
        return 11003;
#ifdef EAI_NODATA
    case EAI_NODATA:
        return 11004;
#endif
#ifdef EAI_ADDRFAMILY
    case EAI_ADDRFAMILY:
        return 11004;
#endif
    case EAI_MEMORY:
        return 10055;
    case EAI_SYSTEM:
        return WSAErrorFromErrno(errno);
    default:
        return 11003;
    }
}

HostAddresses SystemResolve(const std::string& name) {
    HostAddresses found;
    found.name = name;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_CANONNAME;
    addrinfo* list = nullptr;
    int code = ::getaddrinfo(name.c_str(), nullptr, &hints, &list);
    if (code != 0) {
        found.error = LookupError(code);
        return found;
    }
    if (list->ai_canonname)
        found.name = list->ai_canonname;
    for (addrinfo* a = list; a; a = a->ai_next) {
        std::uint32_t address = reinterpret_cast<sockaddr_in*>(a->ai_addr)->sin_addr.s_addr;
        if (std::find(found.addresses.begin(), found.addresses.end(), address) ==
            found.addresses.end())
            found.addresses.push_back(address);
    }
    ::freeaddrinfo(list);
    if (found.addresses.empty())
        found.error = 11004;
    return found;
}

void Resolve(LookupHandle handle, std::string name) {
    HostResolver resolver;
    {
        std::lock_guard guard(shared().lock);
        resolver = shared().resolver;
    }
    HostAddresses found = resolver ? resolver(name) : SystemResolve(name);
    std::lock_guard guard(shared().lock);
    if (shared().postbox)
        QCoreApplication::postEvent(shared().postbox, new Answer(handle, std::move(found)));
}

// Lays the reply out in the buffer, with as many addresses as fit; the length
// used, or -1 when not even one fits.
int WriteHostEnt(const HostAddresses& found, char* buffer, int bufferLength) {
    const std::size_t fixed = sizeof(HostEnt) + 2 * sizeof(char*) + found.name.size() + 1;
    const std::size_t perAddress = sizeof(char*) + 4;
    if (fixed + perAddress > static_cast<std::size_t>(bufferLength))
        return -1;
    std::size_t count = std::min(found.addresses.size(),
                                 (static_cast<std::size_t>(bufferLength) - fixed) / perAddress);
    std::size_t need = fixed + perAddress * count;
    auto* entry = reinterpret_cast<HostEnt*>(buffer);
    auto** aliases = reinterpret_cast<char**>(buffer + sizeof(HostEnt));
    char** addressList = aliases + 1;
    char* addresses = reinterpret_cast<char*>(addressList + count + 1);
    char* name = addresses + 4 * count;
    aliases[0] = nullptr;
    for (std::size_t i = 0; i < count; ++i) {
        std::memcpy(addresses + 4 * i, &found.addresses[i], 4);
        addressList[i] = addresses + 4 * i;
    }
    addressList[count] = nullptr;
    std::memcpy(name, found.name.c_str(), found.name.size() + 1);
    entry->h_name = name;
    entry->h_aliases = aliases;
    entry->h_addrtype = 2;
    entry->h_length = 4;
    entry->h_addr_list = addressList;
    return static_cast<int>(need);
}

void Deliver(LookupHandle handle, const HostAddresses& found) {
    auto it = pending.find(handle);
    if (it == pending.end())
        return; // cancelled: nothing may be written any more
    Request request = it->second;
    pending.erase(it);
    if (!request.window)
        return;
    int error = found.error;
    int length = 0;
    if (error == 0) {
        length = WriteHostEnt(found, request.buffer, request.bufferLength);
        if (length < 0) {
            error = 10055;
            length = 0;
        }
    }
    std::intptr_t lParam = (length & 0xFFFF) | (static_cast<std::intptr_t>(error & 0xFFFF) << 16);
    SendWindowMessage(request.window, request.message, handle, lParam);
}

} // namespace

LookupHandle WSAAsyncGetHostByName(WindowHandle window, std::uint32_t message, const char* name,
                                   char* buffer, int bufferLength) {
    if (!window || !name || !buffer || bufferLength < static_cast<int>(sizeof(HostEnt)))
        return 0;
    EnsurePostbox();
    if (++lastHandle == 0)
        ++lastHandle;
    LookupHandle handle = lastHandle;
    pending[handle] = Request{window, message, buffer, bufferLength};
    try {
        std::thread(Resolve, handle, std::string(name)).detach();
    } catch (const std::system_error&) {
        // Still answered, so that nobody waits for a lookup that never ran.
        HostAddresses failed;
        failed.error = 10055;
        QCoreApplication::postEvent(shared().postbox, new Answer(handle, std::move(failed)));
    }
    return handle;
}

int WSACancelAsyncRequest(LookupHandle handle) {
    return pending.erase(handle) ? 0 : 10022;
}

void SetHostResolver(HostResolver resolver) {
    std::lock_guard guard(shared().lock);
    shared().resolver = std::move(resolver);
}

} // namespace zel
