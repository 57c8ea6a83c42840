#pragma once
// Where the logins live. One SQLite file on one machine by default; a
// shared database serves several machines behind the same interface.

#include <string>

namespace zel::service {

struct Account {
    std::string login;
    std::string mail;
    std::string computer;     // the description the browser sent
    std::string client;       // the address the request came from
    long long createdSeconds; // Unix time
};

class AccountStore {
public:
    virtual ~AccountStore() = default;
    virtual bool Exists(const std::string& login) = 0;
    // False when the login is taken already. Throws on a storage failure.
    virtual bool Add(const Account& account) = 0;
    virtual void Remove(const std::string& login) = 0;
};

} // namespace zel::service
