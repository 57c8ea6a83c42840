#pragma once
// Where the logins and the counts of login requests live. One SQLite file on
// one machine by default; a shared database serves several machines behind
// the same interface, so a limit holds across them. Every method throws
// AccountStoreError when the store fails.

#include "AccountStoreError.h"

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
    // False when the login is taken already.
    virtual bool Add(const Account& account) = 0;
    virtual void Remove(const std::string& login) = 0;
    // Counts a request under `key` unless `limit` requests were counted in
    // the `windowSeconds` before `nowSeconds` (Unix time); refused requests
    // are not counted. True when counted. A key keeps its window; counts
    // older than their window are forgotten, of every key.
    virtual bool CountRequest(const std::string& key, int limit, long long windowSeconds,
                              long long nowSeconds) = 0;
    // Whether the store answers now; cheap enough for every health check.
    virtual bool IsReachable() = 0;
};

} // namespace zel::service
