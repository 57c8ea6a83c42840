// Pages that scripts build, rendered in a real headless Chromium: what the
// archive shows, what the page's scripts can reach, and what is left when
// the browser fails.

#include "DevToolsPipe.h"
#include "Fetcher.h"
#include "PageRendering.h"
#include "PageRun.h"
#include "RendererPool.h"
#include "TestImages.h"

#include <gtest/gtest.h>

#include <csignal>
#include <netinet/in.h>
#include <regex>
#include <thread>

namespace zel::service::test {
namespace {

using namespace std::chrono_literals;

// Generous times: a loaded machine renders slowly, and only the page that
// hangs waits out its budget.
PageLimits RenderLimits(RenderMode mode = RenderMode::Auto, int seconds = 60) {
    PageLimits limits = TestLimits();
    limits.render = mode;
    limits.renderSeconds = seconds;
    limits.renderQuietMilliseconds = 1500;
    return limits;
}

// A browser that has started and answers.
class ReadyBrowser : public BrowserProcess {
public:
    ReadyBrowser() {
        if (!Ready(std::chrono::steady_clock::now() + 120s))
            throw std::runtime_error("chromium does not start");
    }
};

RendererPool::Lease BorrowReady(RendererPool& pool) {
    const auto deadline = std::chrono::steady_clock::now() + 120s;
    for (;;) {
        if (auto lease = pool.Borrow(); lease || std::chrono::steady_clock::now() > deadline)
            return lease;
        std::this_thread::sleep_for(100ms);
    }
}

class RenderTest : public OriginTest {
protected:
    PageRequest RenderRequest(const std::string& path, const BrowserProcess& browser) {
        PageRequest request = Request(origin.Url(path));
        request.renderer = browser.Link();
        return request;
    }
};

constexpr const char* kStatic = "<p>Static words</p><img src=\"pic.png\" alt=\"\">";

struct PageCase {
    const char* name;
    std::string script; // the page's own script, after the static words
    RenderMode mode;
    int seconds;                     // the render budget
    std::vector<std::string> shown;  // in page.htm
    std::vector<std::string> absent; // not in page.htm
};

TEST_F(RenderTest, ScriptBuiltPagesShowWhatTheBrowserShowsOrFallBack) {
    origin.Serve("/words.json", R"(["Paragraph from JSON one", "Paragraph from JSON two"])",
                 "application/json");
    origin.Serve("/pic.png", MakeDrawing(64, 32), "image/png");
    for (const char* font : {"/a.woff2", "/b.woff2"})
        origin.Serve(font, "wOF2 not a font", "font/woff2");
    pid_t browserPid = -1;
    origin.Http().Get("/kill.json", [&](const httplib::Request&, httplib::Response& response) {
        kill(-browserPid, SIGKILL);
        response.set_content("[]", "application/json");
    });
    const std::string fromJson =
        "fetch('words.json').then(r => r.json()).then(list => { for (const t of list) "
        "document.body.insertAdjacentHTML('beforeend', '<p>' + t + '</p>'); "
        "document.body.insertAdjacentHTML('beforeend', '<img src=\"pic.png\">'); });";
    // A tall page that notes being scrolled without watching for it.
    const std::string tallPage =
        "document.body.insertAdjacentHTML('beforeend', '<div style=\"height:6000px\"></div>'); "
        "const seen = setInterval(() => { if (scrollY > 0) { "
        "document.body.append('Scrolled through'); clearInterval(seen); } }, 5);";
    const std::vector<PageCase> cases = {
        {"json", fromJson, RenderMode::Auto, 60, {"Paragraph from JSON two", "Static words"}, {}},
        {"never", fromJson, RenderMode::Never, 60, {"Static words"}, {"Paragraph from JSON"}},
        {"shadow",
         "const host = document.createElement('div'); document.body.append(host); "
         "const root = host.attachShadow({mode: 'open'}); root.innerHTML = '<b>Shadow words</b>'; "
         "const sheet = new CSSStyleSheet(); "
         "sheet.replaceSync('b { border: solid var(--w) red; border-top-width: 3px }'); "
         "root.adoptedStyleSheets = [sheet];",
         RenderMode::Auto,
         60,
         {"<template shadowrootmode=\"open\"><style>b { border: solid var(--w) red; "
          "border-top-width: 3px }",
          "</style><b>Shadow words</b></template>"},
         {}},
        {"fonts",
         "document.head.insertAdjacentHTML('beforeend', '<style>"
         "@font-face { font-family: A; src: url(a.woff2) } "
         "@font-face { font-family: B; src: url(b.woff2) } p { font-family: A }</style>');",
         RenderMode::Auto,
         60,
         {"Static words"},
         {}},
        {"form",
         "document.body.insertAdjacentHTML('beforeend', '<input id=i><textarea id=t></textarea>'); "
         "i.value = 'typed \"in\"'; t.value = 'written <here>';",
         RenderMode::Auto,
         60,
         {"value=\"typed &quot;in&quot;\"", "written &lt;here&gt;</textarea>"},
         {}},
        {"scrolled",
         "document.body.insertAdjacentHTML('beforeend', '<div style=\"height:6000px\"></div>'); "
         "addEventListener('scroll', () => document.body.insertAdjacentHTML('beforeend', "
         "'<p>Loaded on scroll</p>'), {once: true});",
         RenderMode::Auto,
         60,
         {"Loaded on scroll"},
         {}},
        {"unwatched", tallPage, RenderMode::Auto, 60, {"Static words"}, {"Scrolled through"}},
        {"observed",
         tallPage + "new IntersectionObserver(() => {}).observe(document.body);",
         RenderMode::Auto,
         60,
         {"Scrolled through"},
         {}},
        {"lazy",
         tallPage + "document.body.insertAdjacentHTML('beforeend', '<img loading=lazy "
                    "src=pic.png>');",
         RenderMode::Auto,
         60,
         {"Scrolled through"},
         {}},
        {"hang", "while (true) {}", RenderMode::Auto, 15, {"Static words"}, {}},
        {"crash",
         "fetch('kill.json').then(() => document.body.append('Built after the crash'));",
         RenderMode::Auto,
         60,
         {"Static words"},
         {"Built after the crash"}},
    };
    for (const PageCase& c : cases) {
        const std::string path = std::string("/") + c.name + ".html";
        origin.Serve(path,
                     std::string("<!DOCTYPE html><html><body>") + kStatic + "<script>" + c.script +
                         "</script></body></html>",
                     "text/html");
    }
    origin.Start();
    // One browser for every page, as in the service; the page that kills it
    // comes last.
    ReadyBrowser browser;
    browserPid = browser.Pid();
    for (const PageCase& c : cases) {
        SCOPED_TRACE(c.name);
        PageRun run(RenderRequest(std::string("/") + c.name + ".html", browser),
                    RenderLimits(c.mode, c.seconds));
        ASSERT_TRUE(run.Outcome().ok) << run.Outcome().detail;
        const std::string page = run.File("page.htm");
        for (const std::string& words : c.shown)
            EXPECT_NE(page.find(words), std::string::npos) << words << " in\n" << page;
        for (const std::string& words : c.absent)
            EXPECT_EQ(page.find(words), std::string::npos) << words << " in\n" << page;
        EXPECT_EQ(page.find("<script"), std::string::npos);
    }
    // What the browser fetched is what the archive has: nothing twice, the
    // picture of each page once, rendered or not.
    EXPECT_EQ(origin.Hits("/json.html"), 1);
    EXPECT_EQ(origin.Hits("/pic.png"), int(cases.size()));
    // A font no element of the rendered page used is left out.
    EXPECT_EQ(origin.Hits("/a.woff2"), 1);
    EXPECT_EQ(origin.Hits("/b.woff2"), 0);
}

// The <img> tags of a page: their src and width attributes, in order.
std::vector<std::pair<std::string, std::string>> ImageTags(const std::string& page) {
    static const std::regex tag("<img[^>]*>"), src(" src=\"([^\"]*)\""),
        width(" width=\"([^\"]*)\"");
    std::vector<std::pair<std::string, std::string>> images;
    for (auto it = std::sregex_iterator(page.begin(), page.end(), tag);
         it != std::sregex_iterator(); ++it) {
        std::smatch s, w;
        const std::string text = it->str();
        std::regex_search(text, s, src);
        std::regex_search(text, w, width);
        images.emplace_back(s.size() > 1 ? s[1].str() : "", w.size() > 1 ? w[1].str() : "");
    }
    return images;
}

// Rendered or not, an image of a srcset keeps the layout: one candidate
// fetched, and its copy shown at the width `sizes` gave it. Where the
// browser laid the page out, an image is sized by the box a style sheet gave
// it (at most twice its width); without it the markup's width, which the
// style sheet overrides, is all there is. A relative refresh leads back to the service.
TEST_F(RenderTest, ImagesAreSizedByTheBoxTheyWereShownIn) {
    origin.Serve("/g.jpg", MakePhoto(800, 600), "image/jpeg");
    origin.Serve("/h.jpg", MakePhoto(1600, 1200), "image/jpeg");
    origin.Serve("/big.jpg", MakePhoto(1000, 750), "image/jpeg");
    origin.Serve(
        "/boxes.html",
        "<!DOCTYPE html><html><head><meta http-equiv=\"refresh\" content=\"30; "
        "url=next.html\"><style>.thumb { width: 100px }</style></head><body>"
        "<img srcset=\"g.jpg 800w, h.jpg 1600w\" sizes=\"400px\" src=\"g.jpg\">"
        "<img class=\"thumb\" src=\"big.jpg\" width=\"1000\"><script>document.body.append('built')"
        "</script></body></html>",
        "text/html");
    origin.Start();
    struct Case {
        RenderMode mode;
        int thumbWidth; // of the stored picture
    };
    ReadyBrowser browser;
    for (const Case& c : {Case{RenderMode::Auto, 200}, Case{RenderMode::Never, 1000}}) {
        SCOPED_TRACE(c.mode == RenderMode::Auto ? "rendered" : "static");
        const int hits = origin.Hits("/g.jpg");
        PageRun run(RenderRequest("/boxes.html", browser), RenderLimits(c.mode));
        ASSERT_TRUE(run.Outcome().ok) << run.Outcome().detail;
        const std::string page = run.File("page.htm");
        EXPECT_EQ(page.find("built") != std::string::npos, c.mode == RenderMode::Auto);
        EXPECT_NE(page.find("url=" + origin.Url("/next.html") + "\""), std::string::npos);
        EXPECT_EQ(origin.Hits("/g.jpg"), hits + 1);
        EXPECT_EQ(origin.Hits("/h.jpg"), 0);
        const auto images = ImageTags(page);
        ASSERT_EQ(images.size(), 2u) << page;
        EXPECT_EQ(images[0].second, "400") << page;
        EXPECT_EQ(images[1].second, "1000") << page;
        EXPECT_EQ(ReadImage(run.File(images[0].first)).width, 800);
        EXPECT_LE(ReadImage(run.File(images[1].first)).width, c.thumbWidth);
        EXPECT_GE(ReadImage(run.File(images[1].first)).width, c.thumbWidth / 2);
    }
}

TEST_F(RenderTest, NoCookieIsCarriedFromOneJobToTheNext) {
    origin.Serve("/set.html",
                 "<body><script>document.cookie = 'secret=job1'; "
                 "document.body.append('cookies:[' + document.cookie + ']');</script></body>",
                 "text/html");
    origin.Serve("/read.html",
                 "<body><script>document.body.append('cookies:[' + document.cookie + ']');"
                 "</script></body>",
                 "text/html");
    origin.Start();
    ReadyBrowser browser;
    PageRun first(RenderRequest("/set.html", browser), RenderLimits());
    PageRun second(RenderRequest("/read.html", browser), RenderLimits());
    EXPECT_NE(first.File("page.htm").find("cookies:[secret=job1]"), std::string::npos);
    EXPECT_NE(second.File("page.htm").find("cookies:[]"), std::string::npos);
}

// Every way out a page's script has, aimed at a second loopback server that
// the job may not reach: none gets there. Aimed at the page's own origin,
// the ways the service answers for do arrive, so the scripts did run.
TEST_F(RenderTest, ScriptsReachNoAddressTheJobMayNotFetch) {
    struct Channel {
        const char* path;
        const char* script; // T: the target's address
        bool answered;      // fetched through the service when allowed
    };
    const std::vector<Channel> channels = {
        {"/fetch", "fetch(T + '/fetch')", true},
        {"/xhr", "const x = new XMLHttpRequest(); x.open('GET', T + '/xhr'); x.send()", true},
        {"/websocket", "new WebSocket(T.replace('http', 'ws') + '/websocket')", false},
        {"/eventsource", "new EventSource(T + '/eventsource')", true},
        {"/beacon", "navigator.sendBeacon(T + '/beacon', 'data')", false},
        {"/image", "new Image().src = T + '/image'", true},
        {"/frame",
         "document.body.insertAdjacentHTML('beforeend', '<iframe src=\"' + T + '/frame\">"
         "</iframe>')",
         true},
        {"/navigation", "setTimeout(() => { location = T + '/navigation'; }, 300)", true},
    };
    OriginServer forbidden;
    std::mutex mutex;
    std::map<std::string, int> forbiddenHits;
    const auto count = [&](const httplib::Request& request, httplib::Response&) {
        std::lock_guard lock(mutex);
        ++forbiddenHits[request.path];
    };
    forbidden.Http().Get(".*", count);
    forbidden.Http().Post(".*", count);
    forbidden.Start();
    for (const Channel& channel : channels)
        origin.Serve(channel.path, "<p>here</p>", "text/html");
    const auto page = [&](const std::string& target) {
        std::string html = "<body><p>Static words</p><script>const T = '" + target + "';\n";
        for (const Channel& channel : channels)
            html += std::string("try { ") + channel.script + " } catch (e) {}\n";
        return html + "</script></body>";
    };
    origin.Serve("/out.html", page(forbidden.Url("")), "text/html");
    origin.Http().Get("/in.html", [&](const httplib::Request&, httplib::Response& response) {
        response.set_content(page(origin.Url("")), "text/html"); // its port known once started
    });
    origin.Start();

    const int originPort = std::stoi(origin.Url("").substr(origin.Url("").rfind(':') + 1));
    const PageLimits limits = RenderLimits();
    ReadyBrowser browser;
    for (const std::string path : {"/out.html", "/in.html"}) {
        Fetcher fetcher(limits, {}, [&](const sockaddr* address) {
            return address->sa_family == AF_INET &&
                   ntohs(reinterpret_cast<const sockaddr_in*>(address)->sin_port) == originPort;
        });
        const FetchResult fetched = fetcher.Fetch(origin.Url(path), 1 << 20, 10);
        // Rendered or not (a navigation the service refuses ends in an
        // error page), only what arrived where counts.
        RenderFetchedPage(fetched, RenderRequest(path, browser), limits, fetcher);
    }
    for (const Channel& channel : channels) {
        SCOPED_TRACE(channel.path);
        EXPECT_EQ(forbiddenHits[channel.path], 0);
        EXPECT_EQ(origin.Hits(channel.path) > 0, channel.answered);
    }
    EXPECT_EQ(forbiddenHits.size(), channels.size()) << "only the paths looked at";
}

// A browser comes back from a job fit for the next user, or is replaced.
TEST(RendererPoolTest, ABrowserLeftInDoubtIsReplaced) {
    using Lease = RendererPool::Lease;
    struct Case {
        const char* name;
        std::int64_t memoryBytes; // the pool's bound
        std::function<void(RendererPool&, const Lease&)> job;
        bool kept;
    };
    const auto call = [](const Lease& lease, const char* method) {
        DevToolsPipe pipe(lease.link, 500);
        pipe.Call(method, nlohmann::json::object(),
                  DevToolsPipe::Clock::now() + std::chrono::seconds(10));
    };
    const auto attachBlank = [](const Lease& lease) {
        using Json = nlohmann::json;
        DevToolsPipe pipe(lease.link, 600);
        const auto deadline = DevToolsPipe::Clock::now() + std::chrono::seconds(30);
        const Json contexts = pipe.Call("Target.getBrowserContexts", Json::object(), deadline)
                                  .value("browserContextIds", Json::array());
        ASSERT_EQ(contexts.size(), 1u);
        while (DevToolsPipe::Clock::now() < deadline) {
            for (const Json& target : pipe.Call("Target.getTargets", Json::object(), deadline)
                                          .value("targetInfos", Json::array()))
                if (target.value("browserContextId", "") == contexts[0] &&
                    target.value("type", "") == "page") {
                    pipe.Call("Target.attachToTarget",
                              {{"targetId", target.value("targetId", "")}, {"flatten", true}},
                              deadline);
                    return;
                }
            std::this_thread::sleep_for(100ms);
        }
        FAIL() << "no page prepared";
    };
    constexpr std::int64_t kGiB = 1LL << 30;
    const std::vector<Case> cases = {
        // An idle browser is far below a gigabyte, counted without its
        // processes' shared memory many times over.
        {"idle", kGiB,
         [](RendererPool& pool, const Lease& l) { EXPECT_FALSE(pool.KillWhenTooBig(l)); }, true},
        {"too big", 1 << 20,
         [](RendererPool& pool, const Lease& l) { EXPECT_TRUE(pool.KillWhenTooBig(l)); }, false},
        {"context left", kGiB,
         [&](RendererPool&, const Lease& l) { call(l, "Target.createBrowserContext"); }, false},
        {"killed", kGiB, [](RendererPool&, const Lease& l) { kill(l.pid, SIGKILL); }, false},
        // The page the pool opened for a job, taken and left: never lent again.
        {"prepared page left", kGiB, [&](RendererPool&, const Lease& l) { attachBlank(l); }, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RendererPool pool({1, c.memoryBytes, "chromium"});
        Lease lease = BorrowReady(pool);
        pool.Return(lease); // back from a job: a context is opened for the next
        lease = BorrowReady(pool);
        ASSERT_TRUE(lease);
        const pid_t first = lease.pid;
        EXPECT_FALSE(pool.Borrow()) << "lent to one job at a time";
        c.job(pool, lease);
        pool.Return(lease);
        Lease next = BorrowReady(pool);
        ASSERT_TRUE(next);
        EXPECT_EQ(next.pid == first, c.kept);
        pool.Return(next);
    }
}

} // namespace
} // namespace zel::service::test
