#pragma once
// The accounts in one SQLite file (write-ahead log, so the many readers of
// page requests never wait for a login being added).

#include "AccountStore.h"

#include <mutex>
#include <string>

struct sqlite3;

namespace zel::service {

class SqliteAccountStore : public AccountStore {
public:
    // Opens or creates the file; throws AccountStoreError when it cannot.
    explicit SqliteAccountStore(const std::string& path);
    ~SqliteAccountStore() override;
    SqliteAccountStore(const SqliteAccountStore&) = delete;
    SqliteAccountStore& operator=(const SqliteAccountStore&) = delete;

    bool Exists(const std::string& login) override;
    bool Add(const Account& account) override;
    void Remove(const std::string& login) override;
    bool CountRequest(const std::string& key, int limit, long long windowSeconds,
                      long long nowSeconds) override;
    // A local file: reachable whenever it opened.
    bool IsReachable() override;

private:
    void Execute(const char* sql);

    std::mutex mutex_;
    sqlite3* db_ = nullptr;
};

} // namespace zel::service
