#pragma once
// The logins this node has seen in the account store. Logins are never
// taken back once handed out, so a login found once need not be looked up
// again: a page's polls and a user's later pages go on while the store is
// slow or away. Holds at most a fixed number; past that, an arbitrary one
// is dropped and looked up again when next used.

#include <cstddef>
#include <mutex>
#include <string>
#include <unordered_set>

namespace zel::service {

class KnownLogins {
public:
    explicit KnownLogins(std::size_t capacity);

    bool Contains(const std::string& login);
    void Remember(const std::string& login);
    void Forget(const std::string& login);

private:
    const std::size_t capacity_;
    std::mutex mutex_;
    std::unordered_set<std::string> logins_;
};

} // namespace zel::service
