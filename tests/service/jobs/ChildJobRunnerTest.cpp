// Page jobs in child processes: progress and outcome over the pipe, and a
// crash, a limit or a wall time that ends only the job, with a clear text.

#include "ChildJobRunner.h"
#include "JobOrder.h"
#include "Replies.h"
#include "ServiceTestSupport.h"

#include <gtest/gtest.h>

using namespace zel::service;
using namespace zel::service::test;
using namespace std::chrono_literals;

namespace {

// Each limit a hostile job may hit is set far below or far above what the
// job needs, so which one ends it does not depend on the machine's speed.
struct DoubleLimits {
    std::int64_t memoryBytes = 512LL << 20;
    int cpuSeconds = 1;
    std::chrono::seconds wallTime = 3s;
};

ChildJobSettings DoubleSettings(const DoubleLimits& limits = {}) {
    ChildJobSettings settings;
    settings.executable = ZEL_JOB_CHILD_DOUBLE;
    settings.process.memoryBytes = limits.memoryBytes;
    settings.process.cpuSeconds = limits.cpuSeconds;
    settings.process.fileBytes = 4LL << 20;
    settings.wallTime = limits.wallTime;
    return settings;
}

struct RunResult {
    PageOutcome outcome;
    std::int64_t reported = 0;
    std::chrono::steady_clock::duration took{};
};

RunResult RunDouble(const std::string& url, const std::string& archive,
                    const std::atomic<bool>& cancelled, const DoubleLimits& limits = {}) {
    ChildJobRunner runner(DoubleSettings(limits));
    RunResult result;
    const auto started = std::chrono::steady_clock::now();
    result.outcome = runner.Run(
        {url, {}, {}}, archive, [&](std::int64_t bytes) { result.reported += bytes; }, cancelled);
    result.took = std::chrono::steady_clock::now() - started;
    return result;
}

} // namespace

TEST(ChildJobRunner, ReportsProgressAndOutcomeOfAJob) {
    TempDir folder;
    const std::string archive = (folder.Path() / "a.zip").string();
    std::atomic<bool> cancelled{false};
    const RunResult result = RunDouble("http://ok/", archive, cancelled);
    EXPECT_TRUE(result.outcome.ok) << result.outcome.detail;
    EXPECT_EQ(result.outcome.pageBytes, 300);
    EXPECT_EQ(result.reported, 300);
    EXPECT_EQ(ReadFile(archive), "archive of http://ok/");
}

TEST(ChildJobRunner, HostileJobsEndInTheirKindOfFailure) {
    TempDir folder;
    std::atomic<bool> cancelled{false};
    struct Case {
        const char* url;
        FailureKind failure;
        DoubleLimits limits; // ample but for the one the case is about
    };
    const std::int64_t ampleMemory = 512LL << 20;
    const DoubleLimits ample{ampleMemory, 30, 30s};
    std::vector<Case> cases = {{"http://crash/", FailureKind::JobFailed, ample},
                               {"http://throw/", FailureKind::JobFailed, ample},
                               {"http://refused/", FailureKind::AddressRefused, ample},
                               {"http://garbled/", FailureKind::GarbledReport, ample},
                               {"http://endless/", FailureKind::GarbledReport, ample},
                               {"http://spin/", FailureKind::CpuTime, {ampleMemory, 1, 30s}},
                               {"http://big/", FailureKind::TooBig, ample},
                               {"http://sleep/", FailureKind::WallTime, {ampleMemory, 30, 2s}}};
#if !defined(__SANITIZE_ADDRESS__)
    // A small address space fills after a few blocks, long before the
    // processing time runs out on any machine.
    cases.push_back({"http://hog/", FailureKind::OutOfMemory, {96LL << 20, 30, 30s}});
#endif
    for (const Case& c : cases) {
        const RunResult result =
            RunDouble(c.url, (folder.Path() / "a.zip").string(), cancelled, c.limits);
        EXPECT_FALSE(result.outcome.ok) << c.url;
        EXPECT_EQ(result.outcome.failure, c.failure) << c.url;
    }
}

TEST(ChildJobRunner, CancellingKillsTheChildAtOnce) {
    TempDir folder;
    std::atomic<bool> cancelled{false};
    std::thread canceller([&] {
        std::this_thread::sleep_for(200ms);
        cancelled = true;
    });
    const RunResult result =
        RunDouble("http://sleep/", (folder.Path() / "a.zip").string(), cancelled);
    canceller.join();
    EXPECT_EQ(result.outcome.failure, FailureKind::Replaced);
    EXPECT_LT(result.took, 2s);
}

TEST(ChildJobRunner, ServiceAnswersOnAfterACrashAndNeverHoldsAConnectionForAJob) {
    ChildJobRunner runner(DoubleSettings());
    RunningService service(runner);
    const std::string login = service.AddLogin();

    EXPECT_EQ(AskForPage(service.Port(), login, "http://crash/"),
              BadReply(FailureKind::JobFailed).body);

    // The job runs on in its child while the reply's connection closes.
    const auto started = std::chrono::steady_clock::now();
    const RawReply waiting = SendRaw(
        service.Port(), "GET " + PageTarget(login, "http://sleep/") + " HTTP/1.0\r\n\r\n", 2500ms);
    EXPECT_TRUE(waiting.closed);
    EXPECT_EQ(waiting.body, "NexT;0:");
    EXPECT_LT(std::chrono::steady_clock::now() - started, 1500ms);

    std::int64_t total = 0;
    const std::string done = AskForPage(service.Port(), login, "http://ok/", total);
    EXPECT_EQ(done.substr(0, 6), "OK,21;");
    EXPECT_EQ(total, 300);
}

TEST(JobOrder, EveryFieldSurvivesTheTripToTheChild) {
    JobOrder order;
    order.request = {"http://host/a?b=1&c=2", {false, 7, 16, true}, {4, 5}};
    order.limits.allowPrivateOrigins = true;
    order.limits.keepScripts = true;
    order.limits.maxPageBytes = 1;
    order.limits.maxStyleSheetBytes = 2;
    order.limits.maxResources = 3;
    order.limits.maxJobBytes = 4;
    order.limits.maxImagePixels = 5;
    order.limits.maxDecodedRatio = 6;
    order.limits.fetchTimeoutSeconds = 7;
    order.limits.connectTimeoutSeconds = 11;
    order.limits.maxNestingDepth = 12;
    order.limits.maxFrameDepth = 13;
    order.limits.maxImportDepth = 14;
    order.limits.resourceSeconds = 15;
    order.limits.render = RenderMode::Always;
    order.limits.renderSeconds = 17;
    order.limits.cache = {"redis://cache:1", "/a b", 18, 19};
    order.process = {8, 9, 10};
    order.archivePath = "/tmp/x y.zip";

    const std::string text = EncodeJobOrder(order);
    const auto back = DecodeJobOrder(text);
    ASSERT_TRUE(back);
    EXPECT_EQ(EncodeJobOrder(*back), text);
    EXPECT_EQ(back->request.url, order.request.url);
    EXPECT_EQ(back->archivePath, order.archivePath);
    EXPECT_EQ(back->limits.maxImagePixels, 5);
    EXPECT_EQ(back->limits.resourceSeconds, 15);
    EXPECT_FALSE(back->request.image.images);
    EXPECT_EQ(back->limits.render, RenderMode::Always);
    EXPECT_EQ(back->request.renderer.events, 5);
    EXPECT_EQ(back->limits.cache.server, "redis://cache:1");

    // An order cut short (the service died while writing it) is not run.
    EXPECT_FALSE(DecodeJobOrder(text.substr(0, text.size() / 2)));
}
