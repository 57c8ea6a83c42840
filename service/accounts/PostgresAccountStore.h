#pragma once
// The accounts in a PostgreSQL database that several service machines share,
// and with them the counts of login requests, so a limit holds across all.
// A few connections (PostgresPool), each used by one request at a time; a
// lost connection is made again at the next use, and a store that cannot
// reach the server throws AccountStoreError until it can. A server that
// does not answer a statement within seconds counts as one that cannot be
// reached.

#include "AccountStore.h"
#include "PostgresPool.h"

#include <string>
#include <vector>

struct pg_conn;
struct pg_result;

namespace zel::service {

class PostgresAccountStore : public AccountStore {
public:
    // `url`: "postgresql://user@host:port/database?..." (libpq's forms);
    // `password`, when not empty, is used instead of any the URL or libpq's
    // password file holds. Connects and creates or updates the tables;
    // throws AccountStoreError when it cannot.
    explicit PostgresAccountStore(std::string url, std::string password = "");
    ~PostgresAccountStore() override;
    PostgresAccountStore(const PostgresAccountStore&) = delete;
    PostgresAccountStore& operator=(const PostgresAccountStore&) = delete;

    bool Exists(const std::string& login) override;
    bool Add(const Account& account) override;
    void Remove(const std::string& login) override;
    bool CountRequest(const std::string& key, int limit, long long windowSeconds,
                      long long nowSeconds) override;
    bool IsReachable() override;

private:
    class Result;
    // Runs one statement with text parameters. A statement not answered in
    // time drops its connection and throws.
    Result Run(const char* sql, const std::vector<std::string>& params);
    pg_conn* Connect() const;

    const std::string url_;
    const std::string password_;
    PostgresPool pool_;
};

} // namespace zel::service
