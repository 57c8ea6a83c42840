// The whole service as a separate process under load and faults: many
// logins at once, kill -9 in the middle of jobs and login requests, and a
// full disk. Loopback only; every wait is bounded.

#include "OriginServer.h"
#include "Replies.h"
#include "ServiceProcess.h"
#include "ServiceTestSupport.h"
#include "SmallDisk.h"
#include "SqliteAccountStore.h"
#include "TestImages.h"

#include <gtest/gtest.h>
#include <zip.h>

#include <atomic>
#include <regex>
#include <set>

using namespace zel::service;
using namespace zel::service::test;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

class Origin : public OriginServer {
public:
    Origin() {
        Serve("/text.html", "<html><body><p>Just text.</p></body></html>", "text/html");
        Serve("/photo.html", "<html><body><img src=\"p.jpg\"></body></html>", "text/html");
        Serve("/p.jpg", MakePhoto(800, 600), "image/jpeg");
        Start();
    }
};

std::vector<std::string> StoredLogins(const fs::path& dataFolder, int count) {
    SqliteAccountStore accounts((dataFolder / "accounts.sqlite").string());
    std::vector<std::string> logins;
    for (int i = 0; i < count; ++i) {
        logins.push_back("load" + std::string(8 - std::to_string(i).size(), '0') +
                         std::to_string(i));
        accounts.Add({logins.back(), "user@example.org", "test", "127.0.0.1", 0});
    }
    return logins;
}

std::string LoginTarget(int n) {
    return "/zel/login?comp=?=?=C:%5CWINDOWS=37Gb=Some%20Adapter=512Mb=2000&mail=u" +
           std::to_string(n) + "@example.org";
}

// The login a reply without mail carries, or "" when it carries none.
std::string LoginOf(const std::string& reply) {
    static const std::regex login("^OK,Your login is ([a-z0-9]+) ");
    std::smatch match;
    return std::regex_search(reply, match, login) ? match[1].str() : "";
}

bool IsWholeZip(const std::string& bytes) {
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = zip_source_buffer_create(bytes.data(), bytes.size(), 0, &error);
    zip_t* archive =
        source ? zip_open_from_source(source, ZIP_CHECKCONS | ZIP_RDONLY, &error) : nullptr;
    if (archive)
        zip_discard(archive);
    else if (source)
        zip_source_free(source);
    zip_error_fini(&error);
    return archive != nullptr;
}

bool IsEmptyFolder(const fs::path& folder) {
    return fs::is_directory(folder) && fs::is_empty(folder);
}

// Runs `work(i)` for i in 0..count-1 on as many threads at once.
template <typename Work> void AllAtOnce(int count, Work work) {
    std::vector<std::thread> threads;
    for (int i = 0; i < count; ++i)
        threads.emplace_back([&work, i] { work(i); });
    for (std::thread& thread : threads)
        thread.join();
}

} // namespace

// Each answer comes within the long-poll wait (plus room for a loaded
// machine); a login turned away is told the service is busy and gets its
// page when it asks again. Every client here shares the loopback address,
// so the per-address connection cap is lifted.
TEST(ServiceUnderLoad, TwoHundredLoginsAtOnceGetTheirPageOrTheBusyText) {
    Origin origin;
    ServiceProcess service;
    const std::vector<std::string> logins = StoredLogins(service.DataFolder(), 200);
    ASSERT_TRUE(service.Start(ZELSERVICE_PROGRAM,
                              {"--allow-private-origins", "--jobs", "2", "--max-waiting-jobs", "40",
                               "--poll-wait-ms", "500", "--connections-per-client", "1000"}))
        << service.Output();

    std::vector<std::string> replies(logins.size());
    AllAtOnce(static_cast<int>(logins.size()), [&](int i) {
        replies[i] = AskForPage(service.Port(), logins[i], origin.Url("/text.html"));
    });
    int busy = 0;
    for (std::size_t i = 0; i < logins.size(); ++i) {
        if (replies[i] == BadReply(FailureKind::Busy).body) {
            ++busy;
            replies[i] = AskForPage(service.Port(), logins[i], origin.Url("/text.html"));
        }
        EXPECT_EQ(replies[i].substr(0, 3), "OK,") << logins[i] << ": " << replies[i];
    }
    EXPECT_GT(busy, 0) << "the queue bound was never reached";
    EXPECT_TRUE(service.Running()) << service.Output();
}

TEST(ServiceUnderLoad, AfterKillNineNoConfirmedLoginIsLostAndNothingHalfWrittenIsServed) {
    Origin origin;
    ServiceProcess service;
    const std::vector<std::string> pageLogins = StoredLogins(service.DataFolder(), 6);
    const std::vector<std::string> options = {
        "--allow-private-origins", "--poll-wait-ms", "100", "--logins-per-client", "100000",
        "--logins-per-mail",       "100000"};
    ASSERT_TRUE(service.Start(ZELSERVICE_PROGRAM, options)) << service.Output();

    std::mutex mutex;
    std::set<std::string> confirmed;
    std::atomic<bool> killed{false};
    std::thread logins([&] {
        for (int n = 0; !killed; ++n) {
            const std::string login = LoginOf(Get(service.Port(), LoginTarget(n)).body);
            if (!login.empty()) {
                std::lock_guard lock(mutex);
                confirmed.insert(login);
            }
        }
    });
    std::thread pages([&] {
        for (int round = 0; !killed; ++round)
            for (const std::string& login : pageLogins)
                Get(service.Port(),
                    PageTarget(login, origin.Url("/photo.html?" + std::to_string(round))));
    });
    // Long enough for jobs to be under way and replaced by newer ones.
    std::this_thread::sleep_for(1500ms);
    const auto deadline = std::chrono::steady_clock::now() + 30s;
    while (std::chrono::steady_clock::now() < deadline) {
        std::lock_guard lock(mutex);
        if (confirmed.size() >= 20)
            break;
        std::this_thread::sleep_for(100ms);
    }
    service.Kill();
    killed = true;
    logins.join();
    pages.join();
    ASSERT_FALSE(confirmed.empty());

    ASSERT_TRUE(service.Start(ZELSERVICE_PROGRAM, options)) << service.Output();
    EXPECT_TRUE(IsEmptyFolder(fs::path(service.DataFolder()) / "work"));
    for (const std::string& login : confirmed)
        EXPECT_NE(Get(service.Port(), PollTarget(login)).body,
                  BadReply(FailureKind::UnknownLogin).body)
            << login;
    for (const std::string& login : pageLogins) {
        const RawReply archive = Get(service.Port(), "/zel/arch/" + login + "/1.dat");
        if (archive.status == 200) {
            EXPECT_TRUE(IsWholeZip(archive.body)) << login;
        }
    }
}

TEST(ServiceUnderLoad, AFullDiskGivesClearTextsAndEverythingWorksAgainWithSpace) {
    SmallDisk disk(16 << 20);
    if (!disk.Mounted())
        GTEST_SKIP() << "cannot mount a small file system here (needs root)";
    Origin origin;
    const std::string login = StoredLogins(disk.Path(), 1).front();
    ServiceProcess service(disk.Path());
    ASSERT_TRUE(service.Start(ZELSERVICE_PROGRAM, {"--allow-private-origins"})) << service.Output();
    ASSERT_EQ(AskForPage(service.Port(), login, origin.Url("/photo.html")).substr(0, 3), "OK,");

    disk.Fill();
    // The job's log line, long enough to need a block of its own.
    const std::string longQuery = "?full=" + std::string(5000, 'f');
    EXPECT_EQ(AskForPage(service.Port(), login, origin.Url("/photo.html" + longQuery)).substr(0, 4),
              "Bad,");
    EXPECT_EQ(Get(service.Port(), LoginTarget(1)).AsReply(), BadReply(FailureKind::StoreFailed));
    EXPECT_TRUE(service.WaitForOutput("cannot write the access log")) << service.Output();

    disk.Free();
    EXPECT_EQ(AskForPage(service.Port(), login, origin.Url("/photo.html?again")).substr(0, 3),
              "OK,");
    const RawReply archive = Get(service.Port(), "/zel/arch/" + login + "/1.dat");
    EXPECT_TRUE(IsWholeZip(archive.body));
    EXPECT_FALSE(LoginOf(Get(service.Port(), LoginTarget(2)).body).empty());
    EXPECT_TRUE(IsEmptyFolder(disk.Path() / "work"));
    EXPECT_NE(ReadFile(disk.Path() / "access.log").find("photo.html?again"), std::string::npos);
    EXPECT_TRUE(service.Running()) << service.Output();
}
