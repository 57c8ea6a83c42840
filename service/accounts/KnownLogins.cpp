#include "KnownLogins.h"

#include <algorithm>

namespace zel::service {

KnownLogins::KnownLogins(std::size_t capacity) : capacity_(std::max<std::size_t>(1, capacity)) {}

bool KnownLogins::Contains(const std::string& login) {
    std::lock_guard lock(mutex_);
    return logins_.contains(login);
}

void KnownLogins::Remember(const std::string& login) {
    std::lock_guard lock(mutex_);
    if (logins_.size() >= capacity_ && !logins_.contains(login))
        logins_.erase(logins_.begin());
    logins_.insert(login);
}

void KnownLogins::Forget(const std::string& login) {
    std::lock_guard lock(mutex_);
    logins_.erase(login);
}

} // namespace zel::service
