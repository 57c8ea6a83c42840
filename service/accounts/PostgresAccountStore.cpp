#include "PostgresAccountStore.h"

#include "MaskedPassword.h"
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

// Connections to the server at most; as many as the front's threads that
// may ask the store at once, besides the login threads'.
constexpr std::size_t kConnections = 4;
// While the server counts as away, a request waits this long for the one
// attempt to reach it again: long enough for a server that is back, short
// enough that requests waiting in turn do not add up.
constexpr std::chrono::milliseconds kAwayWait(1000);

// libpq's text may quote the address it was given, password and all.
AccountStoreError Failure(const std::string& what, PGconn* connection) {
    return AccountStoreError("accounts: " + what + ": " + MaskPassword(PQerrorMessage(connection)));
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

PostgresAccountStore::PostgresAccountStore(std::string url, std::string password)
    : url_(std::move(url)), password_(std::move(password)),
      pool_(kConnections, [this] { return Connect(); }, {kAnswerLimit, kAwayWait}) {
    pg_conn* connection = pool_.Take();
    try {
        UpdateSchema(connection);
    } catch (const AccountStoreError&) {
        pool_.Drop(connection);
        throw;
    }
    pool_.GiveBack(connection);
}

PostgresAccountStore::~PostgresAccountStore() = default;

// A server that does not answer costs a request seconds, not for ever; the
// URL may set other limits. A password from a file comes after the URL, so
// it wins over one the URL holds.
pg_conn* PostgresAccountStore::Connect() const {
    const std::string options =
        "-c statement_timeout=" + std::to_string(kStatementMs) + " -c client_min_messages=warning";
    const char* keys[] = {"connect_timeout", "options", "dbname", "password", nullptr};
    const char* values[] = {"5", options.c_str(), url_.c_str(), password_.c_str(), nullptr};
    if (password_.empty())
        keys[3] = nullptr;
    PGconn* connection = PQconnectdbParams(keys, values, 1);
    if (PQstatus(connection) != CONNECTION_OK) {
        const AccountStoreError failure = Failure("cannot connect", connection);
        PQfinish(connection);
        throw failure;
    }
    return connection;
}

// Runs the statement on a connection of the pool; once more on a new one
// when the connection turns out to be gone (the server restarted).
PostgresAccountStore::Result PostgresAccountStore::Run(const char* sql,
                                                       const std::vector<std::string>& params) {
    for (int attempt = 1;; ++attempt) {
        pg_conn* connection = pool_.Take();
        PGresult* answer = nullptr;
        try {
            answer = RunWithin(connection, sql, params, kAnswerLimit);
        } catch (const AccountStoreError& failure) {
            pool_.Drop(connection, failure.what()); // left in the middle of a statement
            throw;
        }
        Result result(answer);
        if (result.Ok()) {
            pool_.GiveBack(connection);
            return result;
        }
        const AccountStoreError failure = Failure("statement", connection);
        const bool lost = PQstatus(connection) != CONNECTION_OK;
        if (lost)
            pool_.Drop(connection);
        else
            pool_.GiveBack(connection);
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
