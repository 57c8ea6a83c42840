// Pages made twice, as for two users, with the cache the jobs share.
#include "ChildProcess.h"
#include "PageRun.h"
#include "TestImages.h"

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;

namespace zel::service::test {
namespace {

// A resource the test may change; it answers a request whose validator
// matches with 304 and counts full answers apart from those.
struct Changing {
    std::string body;
    std::string type;
    std::map<std::string, std::string> headers; // ETag or Last-Modified among them
    std::atomic<int> full{0};
    std::atomic<int> unchanged{0};
};

bool Matches(const httplib::Request& request, const Changing& resource) {
    for (const auto& [request_header, response_header] :
         {std::pair{"If-None-Match", "ETag"}, std::pair{"If-Modified-Since", "Last-Modified"}}) {
        const auto kept = resource.headers.find(response_header);
        if (request.has_header(request_header) && kept != resource.headers.end() &&
            request.get_header_value(request_header) == kept->second)
            return true;
    }
    return false;
}

std::string StyleSheet(const std::map<std::string, std::string>& files) {
    for (const auto& [name, bytes] : files)
        if (name.ends_with(".css"))
            return bytes;
    return {};
}

bool Answers(int port) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(std::uint16_t(port));
    const bool connected = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    return connected;
}

class CachedPagesTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/zel-cached-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder = pattern;
        limits.cache.folder = (folder / "cache").string();
        page.body = "<html><body><img src=\"a.png\"><link rel=stylesheet href=\"s.css\">"
                    "</body></html>";
        page.type = "text/html";
        page.headers = {{"ETag", "\"p1\""}, {"Cache-Control", "no-cache"}};
        image.body = MakeScreenshot(120, 80);
        image.type = "image/png";
        image.headers = {{"ETag", "\"a1\""}, {"Cache-Control", "max-age=0"}};
        style.body = "b { color: red }";
        style.type = "text/css";
        style.headers = {{"Cache-Control", "public, max-age=3600"}};
        for (auto [path, resource] :
             {std::pair{"/p.htm", &page}, {"/a.png", &image}, {"/s.css", &style}})
            origin.Http().Get(
                path, [resource](const httplib::Request& request, httplib::Response& response) {
                    if (Matches(request, *resource)) {
                        ++resource->unchanged;
                        response.status = 304;
                        return;
                    }
                    ++resource->full;
                    for (const auto& [name, value] : resource->headers)
                        response.set_header(name, value);
                    response.set_content(resource->body, resource->type);
                });
        origin.Start();
    }
    void TearDown() override { fs::remove_all(folder); }

    // The page's files as one user gets them.
    std::map<std::string, std::string> Files(bool gray = false) {
        PageRun run(Request(origin.Url("/p.htm"), 30, 32, gray), limits);
        EXPECT_TRUE(run.Outcome().ok) << run.Outcome().detail;
        stages = run.Outcome().stages;
        std::map<std::string, std::string> files;
        for (const std::string& name : run.PageFiles())
            files[name] = run.File(name);
        return files;
    }

    fs::path folder;
    PageLimits limits = TestLimits();
    StageTimes stages; // of the last page made
    Changing page, image, style;
    OriginServer origin;
};

TEST_F(CachedPagesTest, ASecondUserGetsWhatWasMadeWithoutTheOriginsBytes) {
    const auto first = Files();
    ASSERT_EQ(first.size(), 2u);
    EXPECT_EQ(Files(), first);
    EXPECT_EQ(image.full, 1);
    EXPECT_EQ(image.unchanged, 1); // revalidated: max-age=0
    EXPECT_EQ(page.full, 1);
    EXPECT_EQ(style.full + style.unchanged, 1); // fresh for an hour: not asked
    // Other settings: made again, from the bytes kept.
    EXPECT_NE(Files(true), first);
    EXPECT_EQ(image.full, 1);
}

TEST_F(CachedPagesTest, AChangedOriginFileIsNotServedStale) {
    const std::vector<std::map<std::string, std::string>> validators = {
        {{"ETag", "\"a1\""}, {"Cache-Control", "no-cache"}},
        {{"Last-Modified", "Sun, 06 Nov 1994 08:49:37 GMT"}},
        {{"ETag", "\"a1\""}},
    };
    int width = 100;
    for (const auto& headers : validators) {
        image.headers = headers;
        Files();
        image.body = MakeScreenshot(++width, 60);
        for (auto& [name, value] : image.headers)
            if (name != "Cache-Control")
                value = name == "ETag" ? "\"a2\"" : "Mon, 07 Nov 1994 08:49:37 GMT";
        for (const auto& [name, bytes] : Files()) {
            if (!name.ends_with(".css")) {
                EXPECT_EQ(ReadImage(bytes).width, width) << width;
            }
        }
    }
}

TEST_F(CachedPagesTest, WhatIsForOneUserIsNotServedToAnother) {
    const std::vector<std::map<std::string, std::string>> answers = {
        {{"Cache-Control", "private, max-age=3600"}},
        {{"Cache-Control", "no-store"}},
        {{"Cache-Control", "max-age=3600"}, {"Set-Cookie", "session=1"}},
        {{"Cache-Control", "max-age=3600"}, {"Vary", "Cookie"}},
    };
    for (const auto& headers : answers) {
        style.headers = headers;
        style.body = "body { color: red; --for: 'the first user' }";
        Files();
        style.body = "body { color: blue; --for: 'the second user' }";
        const auto second = Files();
        EXPECT_NE(StyleSheet(second).find("second user"), std::string::npos)
            << headers.begin()->second;
    }
    // Asked with the cookie the page set: what comes is that session's.
    style.headers = {{"Cache-Control", "public, max-age=3600"}};
    page.headers = {{"Set-Cookie", "session=2"}};
    style.body = "body { --for: first }";
    Files();
    style.body = "body { --for: second }";
    EXPECT_EQ(StyleSheet(Files()), "body { --for: second }");
}

// A page made whole of unchanged responses (or of the same failures to
// reach a host) is served again as it was made; one that left something
// out, holds what is one user's, or failed where the origin now answers is
// made again.
TEST_F(CachedPagesTest, AWholePageOfUnchangedResponsesIsServedAgainAsMade) {
    const std::string gone = "http://127.0.0.1:" + std::to_string(FreeLoopbackPort()) + "/g.png";
    std::atomic<bool> answers{false};
    origin.Http().Get("/r.png", [&](const httplib::Request&, httplib::Response& response) {
        answers ? response.set_content(MakeScreenshot(20, 20), "image/png")
                : response.set_redirect(gone);
    });
    const struct {
        std::string extra;
        std::string styleCaching;
        int resourceSeconds;
        bool answersLater;
        bool reused;
    } cases[] = {
        {"", "public, max-age=3600", 20, false, true},
        {"<img src=\"" + gone + "\">", "public, max-age=3600", 20, false, true},
        {"<img src=\"r.png\">", "public, max-age=3600", 20, true, false},
        {"", "private, max-age=3600", 20, false, false},
        {"", "public, max-age=3600", 0, false, false}, // out of time: resources left out
    };
    const std::string body = page.body;
    int made = 0;
    for (const auto& each : cases) {
        limits.cache.folder = (folder / std::to_string(++made)).string();
        page.body = body + each.extra;
        style.headers = {{"Cache-Control", each.styleCaching}};
        limits.resourceSeconds = each.resourceSeconds;
        answers = false;
        const auto first = Files();
        const int imageFull = image.full;
        answers = each.answersLater;
        EXPECT_EQ(Files() == first, !each.answersLater) << made;
        EXPECT_EQ(stages.runs[int(Stage::Reuse)], int(each.reused)) << made;
        EXPECT_EQ(stages.runs[int(Stage::Rewrite)] == 0, each.reused) << made;
        EXPECT_EQ(image.full, imageFull) << made;
    }
}

// A port that accepts connections and never answers: a server that hangs.
class SilentPort {
public:
    SilentPort() : fd_(socket(AF_INET, SOCK_STREAM, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        bind(fd_, reinterpret_cast<sockaddr*>(&address), size);
        listen(fd_, 16);
        getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &size);
        port_ = ntohs(address.sin_port);
    }
    ~SilentPort() { close(fd_); }
    int Port() const { return port_; }

private:
    int fd_;
    int port_ = 0;
};

TEST_F(CachedPagesTest, PagesAreMadeWhenTheCacheFails) {
    SilentPort silent;
    std::ofstream(folder / "file") << "not a folder";
    const std::vector<CacheSettings> broken = {
        {"redis://127.0.0.1:" + std::to_string(FreeLoopbackPort()), ""},
        {"redis://127.0.0.1:" + std::to_string(silent.Port()), ""},
        {"", (folder / "file").string()},
    };
    for (const CacheSettings& cache : broken) {
        limits.cache = cache;
        EXPECT_EQ(Files().size(), 2u) << cache.server << cache.folder;
    }
}

TEST_F(CachedPagesTest, NodesShareARedisServer) {
    if (access("/usr/bin/redis-server", X_OK) != 0)
        GTEST_SKIP() << "redis-server is not installed (scripts/setup.sh installs it)";
    const int port = FreeLoopbackPort();
    ChildProcess redis({{"/usr/bin/redis-server", "--port", std::to_string(port), "--bind",
                         "127.0.0.1", "--save", "", "--appendonly", "no", "--dir", folder.string()},
                        {},
                        (folder / "redis.log").string(),
                        std::nullopt});
    for (int i = 0; i < 500 && !Answers(port); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    limits.cache = {"redis://127.0.0.1:" + std::to_string(port), ""};
    const auto first = Files();
    EXPECT_EQ(Files(), first);
    EXPECT_EQ(image.full, 1);
    EXPECT_EQ(image.unchanged, 1);
}

} // namespace
} // namespace zel::service::test
