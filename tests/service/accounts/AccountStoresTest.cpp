// What every account store does, on SQLite and on a throwaway PostgreSQL
// server (skipped where none is installed), and how the PostgreSQL store
// lives through its server going away.

#include "PostgresAccountStore.h"
#include "SqliteAccountStore.h"
#include "TestPostgres.h"

#include <gtest/gtest.h>
#include <libpq-fe.h>
#include <sqlite3.h>

using namespace zel::service;
using namespace zel::service::test;

namespace {

void ExpectAccountsAndCounts(AccountStore& store) {
    EXPECT_TRUE(store.Add({"aaaaaaaaaaaa", "a@b.cd", "x'); DROP TABLE accounts;--", "1", 5}));
    EXPECT_FALSE(store.Add({"aaaaaaaaaaaa", "other@b.cd", "", "", 6}));
    EXPECT_TRUE(store.Add({"bbbbbbbbbbbb", "b@b.cd", "", "", 7}));
    store.Remove("bbbbbbbbbbbb");
    EXPECT_TRUE(store.Exists("aaaaaaaaaaaa"));
    EXPECT_FALSE(store.Exists("bbbbbbbbbbbb"));
    EXPECT_FALSE(store.Exists("' OR '1'='1"));

    // At most 2 a key within 10 s; refused ones do not count.
    struct Count {
        const char* key;
        long long now;
        bool counted;
    };
    for (const Count& c : {Count{"a", 100, true},
                           {"a", 101, true},
                           {"a", 102, false},
                           {"b", 102, true},
                           {"a", 110, true},
                           {"a", 110, false},
                           {"a", 130, true}})
        EXPECT_EQ(store.CountRequest(c.key, 2, 10, c.now), c.counted) << c.key << " " << c.now;
    EXPECT_TRUE(store.IsReachable());
}

} // namespace

TEST(AccountStores, SqliteKeepsAccountsAndCountsRequests) {
    TempDir folder;
    const std::string path = (folder.Path() / "accounts.sqlite").string();
    SqliteAccountStore store(path);
    ExpectAccountsAndCounts(store);

    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    sqlite3_stmt* statement = nullptr;
    sqlite3_prepare_v2(db, "SELECT count(*) FROM login_requests", -1, &statement, nullptr);
    ASSERT_EQ(sqlite3_step(statement), SQLITE_ROW);
    EXPECT_EQ(sqlite3_column_int(statement, 0), 1) << "only the count still in its window";
    sqlite3_finalize(statement);
    sqlite3_close(db);
}

TEST(AccountStores, PostgresKeepsAccountsCountsRequestsAndOutlivesItsServer) {
    if (TestPostgres::ServerFolder().empty())
        GTEST_SKIP() << "no PostgreSQL server installed";
    TestPostgres server;
    {
        PostgresAccountStore store(server.Url());
        ExpectAccountsAndCounts(store);
        PostgresAccountStore second(server.Url()); // the tables are there already
        EXPECT_TRUE(second.Exists("aaaaaaaaaaaa"));
        EXPECT_FALSE(second.CountRequest("a", 1, 1000, 131));

        server.Stop();
        EXPECT_FALSE(store.IsReachable());
        EXPECT_THROW(store.Exists("aaaaaaaaaaaa"), AccountStoreError);
        server.Start();
        EXPECT_TRUE(store.Exists("aaaaaaaaaaaa"));
        EXPECT_TRUE(store.IsReachable());
    }
    PGconn* connection = PQconnectdb(server.Url().c_str());
    PGresult* facts = PQexec(connection, "SELECT version, (SELECT count(*) FROM login_requests)"
                                         " FROM schema_version");
    ASSERT_EQ(PQntuples(facts), 1);
    EXPECT_STREQ(PQgetvalue(facts, 0, 0), "1");
    EXPECT_STREQ(PQgetvalue(facts, 0, 1), "1") << "only the count still in its window";
    PQclear(facts);
    PQfinish(connection);
}

TEST(AccountStores, PostgresStoreWithoutItsServerFailsAsTheStoreFailing) {
    const std::string url =
        "postgresql://zel@127.0.0.1:" + std::to_string(FreeLoopbackPort()) + "/postgres";
    EXPECT_THROW(PostgresAccountStore store(url), AccountStoreError);
}

TEST(AccountStores, PostgresStatementAfterARestartGoesThroughOnANewConnection) {
    if (TestPostgres::ServerFolder().empty())
        GTEST_SKIP() << "no PostgreSQL server installed";
    TestPostgres server;
    PostgresAccountStore store(server.Url());
    ASSERT_TRUE(store.Add({"cccccccccccc", "c@b.cd", "", "", 8}));
    // The pooled connection is gone with the old server; nothing noticed it yet.
    server.Stop();
    server.Start();
    EXPECT_TRUE(store.Exists("cccccccccccc"));
}
