// The service's protocol over HTTP, with a page maker double: reply shapes,
// page sizes adding up, jobs replacing each other, archives, refusals and
// connections that close after every reply.

#include "Replies.h"
#include "ServiceTestSupport.h"

#include <gtest/gtest.h>
#include <regex>

using namespace zel::service;
using namespace zel::service::test;
using namespace std::chrono_literals;

namespace {

const std::regex kOkShape(R"(OK,\d+;\d+:)");
const std::regex kNextShape(R"(NexT;\d+:)");

} // namespace

TEST(Protocol, QuickPageAnswersOkAndHandsOutItsArchive) {
    ScriptedRunner runner(SteppedJob(0, 700, 0ms, "zip bytes"));
    RunningService service(runner);
    const std::string login = service.AddLogin();

    const RawReply reply = Get(service.Port(), PageTarget(login, "http://example.org/"));
    EXPECT_TRUE(reply.closed);
    EXPECT_EQ(reply.status, 200);
    EXPECT_EQ(reply.body, "OK,9;700:");

    const RawReply archive = Get(service.Port(), "/zel/arch/" + login + "/1.dat");
    EXPECT_EQ(archive.status, 200);
    EXPECT_EQ(archive.body, "zip bytes");
    EXPECT_NE(archive.head.find("Content-Length: 9"), std::string::npos);

    EXPECT_EQ(Get(service.Port(), "/zel/arch/" + login + "/2.dat").status, 404);
    EXPECT_EQ(Get(service.Port(), "/zel/arch/" + service.AddLogin() + "/1.dat").status, 404);
    EXPECT_EQ(Get(service.Port(), "/zel/arch/../accounts.sqlite/1.dat").status, 404);

    // One access log line for the job: time, login's tag, address, sizes, time.
    const std::regex line(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ [0-9a-f]{32})"
                          R"( http://example.org/ 700 9 \d+ ok\n)");
    EXPECT_TRUE(std::regex_match(service.AccessLogText(), line)) << service.AccessLogText();
}

TEST(Protocol, SlowPageIsPolledAndTheNumbersAddUpToThePageSize) {
    ScriptedRunner runner(SteppedJob(8, 1000, 120ms));
    RunningService service(runner);
    const std::string login = service.AddLogin();

    const std::string first = Get(service.Port(), PageTarget(login, "http://example.org/")).body;
    EXPECT_TRUE(std::regex_match(first, kNextShape)) << first;
    std::int64_t total = 0;
    const std::string last = PollToEnd(service.Port(), login, first, total);
    EXPECT_TRUE(std::regex_match(last, kOkShape)) << last;
    EXPECT_EQ(total, 9000); // eight reported steps and the rest in the outcome

    // Asked again, the finished job owes nothing more.
    EXPECT_EQ(Get(service.Port(), PollTarget(login)).body, "OK,16;0:");
}

TEST(Protocol, NewerPageRequestReplacesTheOlderOne) {
    ScriptedRunner runner([](const PageRequest& request, const std::string& path,
                             const auto& onFetched, const std::atomic<bool>& cancelled) {
        const bool slow = request.url.find("slow") != std::string::npos;
        if (SleepUnlessCancelled(cancelled, slow ? 5000ms : 50ms))
            return PageOutcome::Failed(FailureKind::Replaced);
        onFetched(10);
        WriteFile(path, request.url);
        return PageOutcome::Made(10, static_cast<std::int64_t>(request.url.size()));
    });
    RunningService service(runner);
    const std::string login = service.AddLogin();

    Reply older;
    std::thread first(
        [&] { older = Get(service.Port(), PageTarget(login, "http://slow.example/")).AsReply(); });
    std::this_thread::sleep_for(100ms);
    const std::string newer = AskForPage(service.Port(), login, "http://new.example/");
    first.join();

    EXPECT_EQ(older, BadReply(FailureKind::Replaced));
    EXPECT_EQ(newer, "OK,19;10:");
    EXPECT_EQ(Get(service.Port(), "/zel/arch/" + login + "/1.dat").body, "http://new.example/");
    // Another login's job is not touched.
    const std::string other = service.AddLogin();
    EXPECT_EQ(Get(service.Port(), PageTarget(other, "http://new.example/")).body, "OK,19;10:");
}

TEST(Protocol, RefusalsAreBadRepliesOfTheirKind) {
    ScriptedRunner runner([](const PageRequest&, const std::string&, const auto&, const auto&) {
        return PageOutcome::Failed(FailureKind::OriginUnreachable, "refused");
    });
    RunningService service(runner);
    const std::string login = service.AddLogin();
    const int port = service.Port();

    const Reply unknown = BadReply(FailureKind::UnknownLogin);
    EXPECT_EQ(Get(port, PageTarget("abcdefghijkl", "http://example.org/")).AsReply(), unknown);
    EXPECT_EQ(Get(port, PageTarget("../../etc/passwd", "http://example.org/")).AsReply(), unknown);
    EXPECT_EQ(Get(port, PollTarget("nosuchlogin123")).AsReply(), unknown);

    // A poll no job waits for: behind a balancer, the node that had it died.
    EXPECT_EQ(Get(port, PollTarget(login)).AsReply(), BadReply(FailureKind::PageLost));
    EXPECT_EQ(Get(port, "/zel/health").status, 200);
    for (const char* url : {"ftp://example.org/", "file:///etc/passwd", "javascript:alert(1)",
                            "http:///nohost", "example.org"})
        EXPECT_EQ(Get(port, PageTarget(login, url)).AsReply(),
                  BadReply(FailureKind::AddressRefused))
            << url;
    EXPECT_EQ(
        Get(port, "/zel/page?image=1&login=" + login + "&quality=high&url=http://a.b/").AsReply(),
        BadReply(FailureKind::WrongRequest));

    // The page maker's kind reaches the user; its detail does not.
    EXPECT_EQ(Get(port, PageTarget(login, "http://example.org/")).AsReply(),
              BadReply(FailureKind::OriginUnreachable));
    EXPECT_EQ(runner.Urls().size(), 1u);
    EXPECT_NE(service.AccessLogText().find(" origin-unreachable\n"), std::string::npos);

    EXPECT_EQ(Get(port, "/index.html").AsReply(), BadReply(FailureKind::UnknownRequest));
    const RawReply post = SendRaw(port, "POST /zel/poll HTTP/1.0\r\nContent-Length: 0\r\n\r\n");
    EXPECT_EQ(post.AsReply(), BadReply(FailureKind::MethodNotAllowed));
    const RawReply huge =
        SendRaw(port, "GET " + PollTarget(login) + " HTTP/1.0\r\nX-A: " + std::string(6000, 'a') +
                          "\r\nX-B: " + std::string(6000, 'b') + "\r\n\r\n");
    EXPECT_EQ(huge.AsReply(), BadReply(FailureKind::HeadTooLarge));
    std::string endless = "GET " + PollTarget(login) + " HTTP/1.0\r\n";
    for (int i = 0; i < 200; ++i)
        endless += "X-" + std::to_string(i) + ": " + std::string(1000, 'x') + "\r\n";
    // Header lines that never end: cut off by the request's size limit.
    const RawReply cut = SendRaw(port, endless, 3s);
    EXPECT_TRUE(cut.closed);
    EXPECT_EQ(cut.body.find("Unknown login"), std::string::npos);
}

TEST(Protocol, AddressArrivesUnescapedAndAsTheBrowserMeantIt) {
    ScriptedRunner runner(SteppedJob(0, 1, 0ms));
    RunningService service(runner);
    const std::string login = service.AddLogin();
    const int port = service.Port();

    Get(port, PageTarget(login, "http://host/path^^^^^a=1|||||b=%20x|||||url=y"));
    // The absolute form, as a proxy passes it on.
    SendRaw(port, "GET http://127.0.0.1:" + std::to_string(port) +
                      PageTarget(login, "http://host/p^^^^^q=1") +
                      " HTTP/1.0\r\nProxy-Connection: Keep-Alive\r\nHost: 127.0.0.1\r\n\r\n");
    // The browser puts "http://" in front of an https address.
    Get(port, PageTarget(login, "http://https://secure.example/"));

    const std::vector<std::string> expected = {"http://host/path?a=1&b=%20x&url=y",
                                               "http://host/p?q=1", "https://secure.example/"};
    EXPECT_EQ(runner.Urls(), expected);
}

TEST(Protocol, EveryReplyClosesItsConnection) {
    ScriptedRunner runner(SteppedJob(0, 1, 0ms));
    RunningService service(runner);
    const std::string login = service.AddLogin();
    const int port = service.Port();
    Get(port, PageTarget(login, "http://example.org/"));

    for (const std::string& target :
         {PollTarget(login), "/zel/arch/" + login + "/1.dat", std::string("/nothing")}) {
        for (const std::string& extra : {std::string(), std::string("Connection: Keep-Alive\r\n"),
                                         std::string("Proxy-Connection: Keep-Alive\r\n")}) {
            const auto started = std::chrono::steady_clock::now();
            const RawReply reply = SendRaw(
                port, "GET " + target + " HTTP/1.0\r\nHost: 127.0.0.1\r\n" + extra + "\r\n", 3s);
            EXPECT_TRUE(reply.closed) << target << " " << extra;
            EXPECT_LT(std::chrono::steady_clock::now() - started, 2s) << target << " " << extra;
        }
    }
}
