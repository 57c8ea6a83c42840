// The SQLite account store, the archive store, the access log and the
// command line.

#include "AccessLog.h"
#include "DiskArchiveStore.h"
#include "ServiceOptions.h"
#include "ServiceTestSupport.h"
#include "SmallDisk.h"
#include "SqliteAccountStore.h"

#include <gtest/gtest.h>
#include <set>
#include <sqlite3.h>
#include <sstream>

using namespace zel::service;
using namespace zel::service::test;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

TEST(SqliteAccountStore, KeepsAccountsAcrossRunsInWriteAheadMode) {
    TempDir folder;
    const std::string path = (folder.Path() / "accounts.sqlite").string();
    {
        SqliteAccountStore store(path);
        EXPECT_TRUE(store.Add({"aaaaaaaaaaaa", "a@b.cd", "x='; DROP TABLE accounts;--", "1", 5}));
        EXPECT_FALSE(store.Add({"aaaaaaaaaaaa", "other@b.cd", "", "", 6}));
        EXPECT_TRUE(store.Add({"bbbbbbbbbbbb", "b@b.cd", "", "", 7}));
        store.Remove("bbbbbbbbbbbb");
    }
    SqliteAccountStore again(path);
    EXPECT_TRUE(again.Exists("aaaaaaaaaaaa"));
    EXPECT_FALSE(again.Exists("bbbbbbbbbbbb"));
    EXPECT_FALSE(again.Exists("' OR '1'='1"));

    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    sqlite3_stmt* statement = nullptr;
    sqlite3_prepare_v2(db, "PRAGMA journal_mode", -1, &statement, nullptr);
    ASSERT_EQ(sqlite3_step(statement), SQLITE_ROW);
    EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(statement, 0)), "wal");
    sqlite3_finalize(statement);
    sqlite3_close(db);
}

TEST(SqliteAccountStore, UnusableFileIsReportedNotIgnored) {
    TempDir folder;
    EXPECT_THROW(SqliteAccountStore((folder.Path() / "no" / "such" / "a.sqlite").string()),
                 std::runtime_error);
}

TEST(DiskArchiveStore, PublishedArchiveReplacesTheOlderAndOldOnesGo) {
    TempDir folder;
    fs::create_directories(folder.Path() / "work");
    WriteFile((folder.Path() / "work" / "left.zip").string(), "from an earlier run");
    DiskArchiveStore store(folder.Path());
    EXPECT_FALSE(fs::exists(folder.Path() / "work" / "left.zip"));
    EXPECT_FALSE(store.Open("aaaaaaaaaaaa").data);

    const std::string first = store.WorkPath("aaaaaaaaaaaa", 1);
    const std::string second = store.WorkPath("aaaaaaaaaaaa", 2);
    EXPECT_NE(first, second);
    WriteFile(first, "first");
    WriteFile(second, "second!");
    EXPECT_EQ(store.Publish("aaaaaaaaaaaa", first), 5);
    const StoredArchive open = store.Open("aaaaaaaaaaaa");
    EXPECT_EQ(store.Publish("aaaaaaaaaaaa", second), 7);
    // A download already under way keeps reading the archive it opened.
    std::string read(5, '\0');
    open.data->read(read.data(), 5);
    EXPECT_EQ(read, "first");
    EXPECT_EQ(store.Open("aaaaaaaaaaaa").size, 7);
    // A failure's text, logged for whoever runs the service, names no login.
    try {
        store.Publish("aaaaaaaaaaaa", store.WorkPath("aaaaaaaaaaaa", 3)); // never written
        ADD_FAILURE() << "published a missing archive";
    } catch (const std::exception& failure) {
        EXPECT_EQ(std::string(failure.what()).find("aaaa"), std::string::npos) << failure.what();
    }

    store.RemoveOlderThan(1h);
    EXPECT_TRUE(store.Open("aaaaaaaaaaaa").data);
    std::this_thread::sleep_for(1100ms);
    store.RemoveOlderThan(1s);
    EXPECT_FALSE(store.Open("aaaaaaaaaaaa").data);
}

// A job killed while its archive is written leaves the writer's temporary
// file beside the work file; nothing of a job that no longer runs stays.
TEST(DiskArchiveStore, NothingOfAnEndedJobStaysInTheWorkFolder) {
    TempDir folder;
    DiskArchiveStore store(folder.Path());
    const fs::path work = folder.Path() / "work";
    const std::string running = store.WorkPath("aaaaaaaaaaaa", 1);
    const std::string ended = store.WorkPath("aaaaaaaaaaaa", 2);
    for (const std::string& path : {running, running + ".part1", ended, ended + ".partXy"})
        WriteFile(path, "x");
    WriteFile((work / "bbbbbbbbbbbb.3.zip.part9").string(), "of a job killed before");
    WriteFile((work / "aaaaaaaaaaaa.10.zip").string(), "not of job 1");

    store.Discard(ended);
    store.RemoveOlderThan(1h);
    std::set<std::string> left;
    for (const auto& entry : fs::directory_iterator(work))
        left.insert(entry.path().filename().string());
    EXPECT_EQ(left, (std::set<std::string>{"aaaaaaaaaaaa.1.zip", "aaaaaaaaaaaa.1.zip.part1"}));

    const std::string published = store.WorkPath("aaaaaaaaaaaa", 4);
    WriteFile(published, "x");
    store.Publish("aaaaaaaaaaaa", published);
    store.Discard(running);
    EXPECT_TRUE(fs::is_empty(work));
}

TEST(AccessLog, OneLineOfBlankSeparatedFieldsPerJob) {
    EXPECT_EQ(AccessLine({"abcdefghijkl", "http://h/a b\nc", 1000, 300, 42, std::nullopt, {}}, 0),
              "1970-01-01T00:00:00Z abcdefghijkl http://h/a%20b%0Ac 1000 300 42 ok");
    EXPECT_EQ(AccessLine({"", "", 0, 0, 7, FailureKind::Inflated, {}}, 86400),
              "1970-01-02T00:00:00Z - - 0 0 7 inflated");
    // A made page's line goes on with where its processor time went.
    AccessRecord made{"abcdefghijkl", "http://h/", 1000, 300, 42, std::nullopt, {}};
    made.stages.cpuSeconds[int(Stage::Fetch)] = 0.1;
    made.stages.runs[int(Stage::Fetch)] = 2;
    made.stages.runs[int(Stage::Jpeg)] = 1;
    EXPECT_EQ(AccessLine(made, 0), "1970-01-01T00:00:00Z abcdefghijkl http://h/ 1000 300 42 ok "
                                   "cpu=0.100 fetch=0.100/2 jpeg=0.000/1");
}

// A full disk cuts no line in half and stops the log only while it lasts;
// the failure is reported once, the recovery once.
TEST(AccessLog, AFullDiskLeavesOnlyWholeLinesAndTheLogGoesOnAfter) {
    SmallDisk disk(64 << 10);
    if (!disk.Mounted())
        GTEST_SKIP() << "cannot mount a small file system here (needs root)";
    std::vector<std::string> reports;
    const fs::path path = disk.Path() / "access.log";
    AccessLog log(path.string(), "key", [&](const std::string& text) { reports.push_back(text); });
    // A login as long as its tag in the log.
    const AccessRecord record{
        std::string(32, 'a'), "http://h/" + std::string(3000, 'p'), 1, 2, 3, std::nullopt, {}};

    log.Write(record);
    disk.Fill();
    for (int i = 0; i < 5; ++i)
        log.Write(record);
    EXPECT_EQ(reports.size(), 1u);
    disk.Free();
    log.Write(record);
    log.Write(record);
    EXPECT_EQ(reports.size(), 2u);

    std::istringstream lines(ReadFile(path));
    int count = 0;
    for (std::string line; std::getline(lines, line); ++count)
        EXPECT_EQ(line.size(), AccessLine(record, 0).size()); // the time has a fixed width
    EXPECT_EQ(count, 3);
}

// The sweep keeps the young lines and the log goes on in the new file; a
// disk too full for the copy leaves the log whole.
TEST(AccessLog, SweepDropsOldLinesButNeverTheFile) {
    SmallDisk disk(64 << 10);
    if (!disk.Mounted())
        GTEST_SKIP() << "cannot mount a small file system here (needs root)";
    const fs::path path = disk.Path() / "access.log";
    const std::string old =
        AccessLine({"a", "http://old/", 1, 2, 3, std::nullopt, {}}, 1000) + "\n";
    const std::string young =
        AccessLine({"b", "http://young/", 1, 2, 3, std::nullopt, {}}, 9000) + "\n";
    for (const bool full : {false, true}) {
        WriteFile(path.string(), old + young + young);
        std::vector<std::string> reports;
        AccessLog log(path.string(), "key",
                      [&](const std::string& text) { reports.push_back(text); });
        if (full)
            disk.Fill();
        log.RemoveLinesBefore(5000);
        disk.Free();
        log.Write({"c", "http://after/", 1, 2, 3, std::nullopt, {}});
        const std::string text = ReadFile(path);
        EXPECT_EQ(text.rfind(full ? old + young + young : young + young, 0), 0u) << text;
        EXPECT_NE(text.find("http://after/"), std::string::npos) << full;
        EXPECT_EQ(reports.size(), full ? 1u : 0u) << full;
    }
}

TEST(ServiceOptions, CommandLineOverridesDefaultsAndRefusesNonsense) {
    ServiceOptions options = DefaultOptions("/opt/zel");
    EXPECT_EQ(options.http.host, "127.0.0.1");
    EXPECT_EQ(options.http.port, 8960);
    EXPECT_EQ(options.dataFolder, fs::path("/opt/zel/data"));
    EXPECT_FALSE(options.job.limits.allowPrivateOrigins);
    EXPECT_TRUE(options.smtp.url.empty());

    const char* argv[] = {"zelservice",
                          "--port=9000",
                          "--allow-private-origins",
                          "--max-image-pixels",
                          "1000",
                          "--poll-wait-ms=150",
                          "--job-seconds",
                          "5",
                          "--smtp-url",
                          "smtp://127.0.0.1:25",
                          "--data=/var/zel",
                          "--trusted-proxy=10.0.0.0/8",
                          "--trusted-proxy",
                          "::1",
                          "--accounts=postgresql://zel:secret@db/zel",
                          "--render=never"};
    ParseOptions(std::size(argv), argv, options);
    EXPECT_EQ(options.http.trustedProxies.Text(), "10.0.0.0/8 ::1");
    // Shown back without its password.
    EXPECT_NE(UsageText(options).find("[postgresql://zel:***@db/zel]"), std::string::npos);
    EXPECT_EQ(UsageText(options).find("secret"), std::string::npos);
    EXPECT_EQ(options.http.port, 9000);
    EXPECT_TRUE(options.job.limits.allowPrivateOrigins);
    EXPECT_EQ(options.job.limits.maxImagePixels, 1000);
    EXPECT_EQ(options.protocol.pollWait, 150ms);
    EXPECT_EQ(options.job.wallTime, 5s);
    EXPECT_EQ(options.smtp.url, "smtp://127.0.0.1:25");
    EXPECT_EQ(options.dataFolder, fs::path("/var/zel"));
    EXPECT_EQ(options.job.limits.render, RenderMode::Never);

    for (std::vector<const char*> wrong : {std::vector<const char*>{"z", "--port=70000"},
                                           {"z", "--port"},
                                           {"z", "--prot=1"},
                                           {"z", "--jobs=two"},
                                           {"z", "--keep-scripts=1"},
                                           {"z", "--tls-cert=/c"},
                                           {"z", "--log-days=-1"},
                                           {"z", "--trusted-proxy=proxy.example"},
                                           {"z", "--trust-real-ip"},
                                           {"z", "--render=sometimes"},
                                           {"z", "stray"}}) {
        ServiceOptions scratch;
        EXPECT_THROW(ParseOptions(static_cast<int>(wrong.size()), wrong.data(), scratch),
                     std::invalid_argument)
            << wrong[1];
    }
}

TEST(ServiceOptions, HelpNamesEveryPageLimitAndTheSettingsOfMail) {
    const std::string help = UsageText(DefaultOptions("/opt/zel"));
    for (const char* name : {"--listen ADDRESS",
                             "--port N",
                             "--data FOLDER",
                             "--allow-private-origins",
                             "--keep-scripts",
                             "--max-page-bytes",
                             "--max-style-sheet-bytes",
                             "--max-resources",
                             "--max-job-bytes",
                             "--max-image-pixels",
                             "--max-decoded-ratio",
                             "--fetch-timeout-seconds",
                             "--job-seconds",
                             "--job-memory-bytes",
                             "--job-cpu-seconds",
                             "--archive-keep-seconds",
                             "--smtp-url",
                             "--smtp-from",
                             "--smtp-user",
                             "--smtp-password-file",
                             "--accounts URL",
                             "--help"})
        EXPECT_NE(help.find(name), std::string::npos) << name;
    EXPECT_NE(help.find("[8960]"), std::string::npos);
    EXPECT_NE(help.find("[/opt/zel/data]"), std::string::npos);
}
