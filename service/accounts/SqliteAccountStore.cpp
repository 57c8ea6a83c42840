#include "SqliteAccountStore.h"

#include <sqlite3.h>

namespace zel::service {

namespace {

// A prepared statement that finalises itself.
class Statement {
public:
    Statement(sqlite3* db, const char* sql) : db_(db) {
        if (sqlite3_prepare_v2(db, sql, -1, &statement_, nullptr) != SQLITE_OK)
            throw AccountStoreError(std::string("accounts: ") + sqlite3_errmsg(db));
    }
    ~Statement() { sqlite3_finalize(statement_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    Statement& Bind(int index, const std::string& text) {
        sqlite3_bind_text(statement_, index, text.data(), static_cast<int>(text.size()),
                          SQLITE_TRANSIENT);
        return *this;
    }
    Statement& Bind(int index, long long number) {
        sqlite3_bind_int64(statement_, index, number);
        return *this;
    }
    // SQLITE_ROW, SQLITE_DONE or SQLITE_CONSTRAINT; throws on anything else.
    int Step() {
        const int result = sqlite3_step(statement_);
        if (result != SQLITE_ROW && result != SQLITE_DONE && (result & 0xff) != SQLITE_CONSTRAINT)
            throw AccountStoreError(std::string("accounts: ") + sqlite3_errmsg(db_));
        return result & 0xff;
    }
    long long Number(int column) { return sqlite3_column_int64(statement_, column); }

private:
    sqlite3* db_;
    sqlite3_stmt* statement_ = nullptr;
};

} // namespace

SqliteAccountStore::SqliteAccountStore(const std::string& path) {
    if (sqlite3_open_v2(path.c_str(), &db_,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX,
                        nullptr) != SQLITE_OK) {
        const std::string message = db_ ? sqlite3_errmsg(db_) : "out of memory";
        sqlite3_close(db_);
        throw AccountStoreError("accounts: cannot open " + path + ": " + message);
    }
    sqlite3_busy_timeout(db_, 5000);
    Execute("PRAGMA journal_mode=WAL");
    Execute("PRAGMA synchronous=NORMAL");
    Execute("CREATE TABLE IF NOT EXISTS accounts ("
            " login TEXT PRIMARY KEY,"
            " mail TEXT NOT NULL,"
            " computer TEXT NOT NULL,"
            " client TEXT NOT NULL,"
            " created INTEGER NOT NULL)");
    Execute("CREATE TABLE IF NOT EXISTS login_requests ("
            " key TEXT NOT NULL,"
            " expires INTEGER NOT NULL)");
    Execute("CREATE INDEX IF NOT EXISTS login_requests_key ON login_requests (key)");
    Execute("CREATE INDEX IF NOT EXISTS login_requests_expires ON login_requests (expires)");
}

SqliteAccountStore::~SqliteAccountStore() {
    sqlite3_close(db_);
}

void SqliteAccountStore::Execute(const char* sql) {
    char* error = nullptr;
    if (sqlite3_exec(db_, sql, nullptr, nullptr, &error) != SQLITE_OK) {
        const std::string message = error ? error : "unknown error";
        sqlite3_free(error);
        throw AccountStoreError("accounts: " + message);
    }
}

bool SqliteAccountStore::Exists(const std::string& login) {
    std::lock_guard lock(mutex_);
    Statement statement(db_, "SELECT 1 FROM accounts WHERE login = ?");
    return statement.Bind(1, login).Step() == SQLITE_ROW;
}

bool SqliteAccountStore::Add(const Account& account) {
    std::lock_guard lock(mutex_);
    Statement statement(db_, "INSERT INTO accounts (login, mail, computer, client, created)"
                             " VALUES (?, ?, ?, ?, ?)");
    statement.Bind(1, account.login)
        .Bind(2, account.mail)
        .Bind(3, account.computer)
        .Bind(4, account.client)
        .Bind(5, account.createdSeconds);
    return statement.Step() == SQLITE_DONE;
}

void SqliteAccountStore::Remove(const std::string& login) {
    std::lock_guard lock(mutex_);
    Statement statement(db_, "DELETE FROM accounts WHERE login = ?");
    statement.Bind(1, login).Step();
}

bool SqliteAccountStore::CountRequest(const std::string& key, int limit, long long windowSeconds,
                                      long long nowSeconds) {
    std::lock_guard lock(mutex_);
    // Every key's old counts go, so keys never seen again leave nothing.
    Statement(db_, "DELETE FROM login_requests WHERE expires <= ?").Bind(1, nowSeconds).Step();
    Statement count(db_, "SELECT count(*) FROM login_requests WHERE key = ?");
    count.Bind(1, key).Step();
    if (count.Number(0) >= limit)
        return false;
    Statement(db_, "INSERT INTO login_requests (key, expires) VALUES (?, ?)")
        .Bind(1, key)
        .Bind(2, nowSeconds + windowSeconds)
        .Step();
    return true;
}

bool SqliteAccountStore::IsReachable() {
    return true;
}

} // namespace zel::service
