#include "ClientConnections.h"

namespace zel::service {

bool ClientConnections::Opened(const std::string& client) {
    std::lock_guard lock(mutex_);
    return ++open_[client] <= limit_;
}

void ClientConnections::Closed(const std::string& client) {
    std::lock_guard lock(mutex_);
    const auto found = open_.find(client);
    if (found != open_.end() && --found->second == 0)
        open_.erase(found);
}

} // namespace zel::service
