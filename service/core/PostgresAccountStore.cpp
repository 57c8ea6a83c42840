#include "PostgresAccountStore.h"

#include "PostgresSchema.h"
#include "PostgresStatement.h"

#include <libpq-fe.h>
#include <utility>

namespace zel::service {

// A statement's result that clears itself.
class PostgresAccountStore::Result {
public:
    explicit Result(PGresult* result) : result_(result) {}
    ~Result() { PQclear(result_); }
    Result(Result&& other) noexcept : result_(std::exchange(other.result_, nullptr)) {}
    Result(const Result&) = delete;
    Result& operator=(const Result&) = delete;

    bool Ok() const {
        const ExecStatusType status = PQresultStatus(result_);
        return status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK;
    }
    bool HasRow() const { return PQntuples(result_) > 0; }
    std::string Text(int column = 0) const { return PQgetvalue(result_, 0, column); }
    std::string ChangedRows() const { return PQcmdTuples(result_); }

private:
    PGresult* result_;
};

namespace {

// Held by the transaction that brings the tables up to date, so machines
// starting at once update them one after the other.
constexpr const char* kSchemaLock = "SELECT pg_advisory_xact_lock(8960)";

// The server ends a statement that runs longer than this.
constexpr int kStatementMs = 10000;
// A server that has not answered a little after that is stalled, or the
// network drops packets: the statement fails here, costing seconds, not a
// request held for ever.
constexpr std::chrono::milliseconds kAnswerLimit(kStatementMs + 2000);

AccountStoreError Failure(const std::string& what, PGconn* connection) {
    return AccountStoreError("accounts: " + what + ": " + PQerrorMessage(connection));
}

void Execute(PGconn* connection, const char* sql) {
    PGresult* result = RunWithin(connection, sql, {}, kAnswerLimit);
    const ExecStatusType status = PQresultStatus(result);
    PQclear(result);
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK)
        throw Failure("database update", connection);
}

long long SchemaVersion(PGconn* connection) {
    PGresult* result = RunWithin(connection, "SELECT coalesce(max(version), 0) FROM schema_version",
                                 {}, kAnswerLimit);
    const bool ok = PQresultStatus(result) == PGRES_TUPLES_OK && PQntuples(result) == 1;
    const long long version = ok ? std::stoll(PQgetvalue(result, 0, 0)) : -1;
    PQclear(result);
    if (!ok)
        throw Failure("schema version", connection);
    return version;
}

// Runs the steps the database has not seen yet, all in one transaction.
void UpdateSchema(PGconn* connection) {
    Execute(connection, "BEGIN");
    Execute(connection, kSchemaLock);
    Execute(connection, "CREATE TABLE IF NOT EXISTS schema_version (version integer NOT NULL)");
    const auto steps = PostgresSchemaSteps();
    const long long version = SchemaVersion(connection);
    if (version > static_cast<long long>(steps.size())) {
        Execute(connection, "ROLLBACK");
        throw AccountStoreError("accounts: the database has schema version " +
                                std::to_string(version) + ", newer than this program's " +
                                std::to_string(steps.size()));
    }
    for (auto step = static_cast<std::size_t>(version); step < steps.size(); ++step)
        Execute(connection, steps[step]);
    if (static_cast<std::size_t>(version) < steps.size()) {
        Execute(connection, "DELETE FROM schema_version");
        Execute(
            connection,
            ("INSERT INTO schema_version VALUES (" + std::to_string(steps.size()) + ")").c_str());
    }
    Execute(connection, "COMMIT");
}

} // namespace

PostgresAccountStore::PostgresAccountStore(std::string url) : url_(std::move(url)) {
    std::lock_guard lock(mutex_);
    Connect();
}

PostgresAccountStore::~PostgresAccountStore() {
    Disconnect();
}

// A server that does not answer costs a request seconds, not for ever; the
// URL may set other limits.
void PostgresAccountStore::Connect() {
    const std::string options =
        "-c statement_timeout=" + std::to_string(kStatementMs) + " -c client_min_messages=warning";
    const char* keys[] = {"connect_timeout", "options", "dbname", nullptr};
    const char* values[] = {"5", options.c_str(), url_.c_str(), nullptr};
    connection_ = PQconnectdbParams(keys, values, 1);
    try {
        if (PQstatus(connection_) != CONNECTION_OK)
            throw Failure("cannot connect", connection_);
        UpdateSchema(connection_);
    } catch (const AccountStoreError&) {
        Disconnect();
        throw;
    }
}

void PostgresAccountStore::Disconnect() {
    PQfinish(connection_);
    connection_ = nullptr;
}

PGresult* PostgresAccountStore::RunOnce(const char* sql, const std::vector<std::string>& params) {
    try {
        return RunWithin(connection_, sql, params, kAnswerLimit);
    } catch (const AccountStoreError&) {
        Disconnect(); // left in the middle of a statement; the next use connects again
        throw;
    }
}

PostgresAccountStore::Result PostgresAccountStore::Run(const char* sql,
                                                       const std::vector<std::string>& params) {
    std::lock_guard lock(mutex_);
    for (int attempt = 1;; ++attempt) {
        if (!connection_)
            Connect();
        Result result(RunOnce(sql, params));
        if (result.Ok())
            return result;
        const AccountStoreError failure = Failure("statement", connection_);
        const bool lost = PQstatus(connection_) != CONNECTION_OK;
        if (lost)
            Disconnect();
        if (!lost || attempt == 2)
            throw failure;
    }
}

bool PostgresAccountStore::Exists(const std::string& login) {
    return Run("SELECT 1 FROM accounts WHERE login = $1", {login}).HasRow();
}

bool PostgresAccountStore::Add(const Account& account) {
    return Run("INSERT INTO accounts (login, mail, computer, client, created)"
               " VALUES ($1, $2, $3, $4, $5) ON CONFLICT (login) DO NOTHING",
               {account.login, account.mail, account.computer, account.client,
                std::to_string(account.createdSeconds)})
               .ChangedRows() == "1";
}

void PostgresAccountStore::Remove(const std::string& login) {
    Run("DELETE FROM accounts WHERE login = $1", {login});
}

bool PostgresAccountStore::CountRequest(const std::string& key, int limit, long long windowSeconds,
                                        long long nowSeconds) {
    return Run("SELECT count_login_request($1, $2, $3, $4)",
               {key, std::to_string(limit), std::to_string(nowSeconds),
                std::to_string(nowSeconds + windowSeconds)})
               .Text() == "t";
}

bool PostgresAccountStore::IsReachable() {
    try {
        Run("SELECT 1", {});
        return true;
    } catch (const AccountStoreError&) {
        return false;
    }
}

} // namespace zel::service
