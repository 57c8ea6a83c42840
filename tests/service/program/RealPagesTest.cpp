// The service with the real page maker in its job children, against an
// origin server of the test's own on the loopback: the archive unpacks with
// unzip into "page.htm" and "page.files/" with every local reference
// resolving, the numbers add up to the page size the access log records,
// and a hostile origin ends only its job.

#include "ChildJobRunner.h"
#include "MakePage.h"
#include "OriginServer.h"
#include "ServiceTestSupport.h"
#include "TestImages.h"

#include <gtest/gtest.h>
#include <httplib.h>
#include <regex>

using namespace zel::service;
using namespace zel::service::test;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

// The origin: a page with an image, a style sheet with a background, a
// frame and a link; an endless body; a redirect loop.
class Origin : public OriginServer {
public:
    Origin() {
        Serve("/index.html",
              "<!DOCTYPE html><html><head><title>T</title>"
              "<link rel=\"stylesheet\" href=\"style.css\"></head><body>"
              "<p style=\"background:url('dot.png')\">Hello</p>"
              "<img src=\"/img/photo.jpg\" alt=\"photo\" width=\"64\">"
              "<iframe src=\"frame.html\"></iframe>"
              "<a href=\"/next.html?a=1&amp;b=2\">next</a>"
              "<script>document.write('x')</script>"
              "</body></html>",
              "text/html");
        Serve("/scripted.html",
              "<html><body><p id=\"p\">Static words</p><script>"
              "document.getElementById('p').textContent = 'Built by its script'"
              "</script></body></html>",
              "text/html");
        Serve("/frame.html", "<html><body><img src=\"img/photo.jpg\"></body></html>", "text/html");
        Serve("/style.css", "body { background: url(img/bg.png) }", "text/css");
        Serve("/img/photo.jpg", MakePhoto(200, 150), "image/jpeg");
        Serve("/img/bg.png", MakeDrawing(64, 64), "image/png");
        Serve("/dot.png", MakeDrawing(16, 16), "image/png");
        Http().Get("/endless", [](const httplib::Request&, httplib::Response& res) {
            res.set_chunked_content_provider("text/html", [](std::size_t, httplib::DataSink& sink) {
                const std::string block(65536, 'a');
                return sink.write(block.data(), block.size());
            });
        });
        Http().Get("/loop", [](const httplib::Request&, httplib::Response& res) {
            res.set_redirect("/loop");
        });
        Start();
    }
};

ChildJobSettings RealPageMaker() {
    ChildJobSettings settings;
    settings.executable = ZELSERVICE_PROGRAM;
    settings.limits.allowPrivateOrigins = true;
    settings.limits.fetchTimeoutSeconds = 5;
    settings.wallTime = 30s;
    return settings;
}

// Local references of a document or style sheet: src, href and url(), in
// any quoting, so a reference left as the origin wrote it is caught too.
std::vector<std::string> LocalReferences(const std::string& text) {
    std::vector<std::string> found;
    const std::regex reference(R"((?:src|href)\s*=\s*["']([^"']*)["']|url\(\s*['"]?([^'")]*))",
                               std::regex::icase);
    for (auto it = std::sregex_iterator(text.begin(), text.end(), reference);
         it != std::sregex_iterator(); ++it) {
        const std::string target = (*it)[1].matched ? (*it)[1].str() : (*it)[2].str();
        if (target.empty() || target[0] == '#' ||
            std::regex_search(target, std::regex("^[a-zA-Z][a-zA-Z0-9+.-]*:")))
            continue;
        found.push_back(target);
    }
    return found;
}

} // namespace

TEST(RealPages, ArchiveUnpacksIntoThePageAndItsFilesWithEveryReferenceResolving) {
    Origin origin;
    ChildJobRunner runner(RealPageMaker());
    RunningService service(runner);
    const std::string login = service.AddLogin();

    std::int64_t total = 0;
    const std::string reply = AskForPage(service.Port(), login, origin.Url("/index.html"), total);
    ASSERT_TRUE(std::regex_match(reply, std::regex(R"(OK,\d+;\d+:)"))) << reply;
    EXPECT_GT(total, 0);
    // The access log's page bytes are the sum the browser made.
    EXPECT_NE(service.AccessLogText().find(" " + std::to_string(total) + " "), std::string::npos)
        << service.AccessLogText() << " total " << total;
    // And where the job's processor time went, told by the job child.
    EXPECT_TRUE(std::regex_search(service.AccessLogText(),
                                  std::regex(R"( ok cpu=[0-9.]+ fetch=[0-9.]+/[1-9].* rewrite=)")))
        << service.AccessLogText();

    const RawReply archive = Get(service.Port(), "/zel/arch/" + login + "/1.dat");
    ASSERT_EQ(archive.status, 200);
    EXPECT_EQ(static_cast<std::int64_t>(archive.body.size()), NumberBetween(reply, ',', ';'));

    TempDir unpacked;
    WriteFile((unpacked.Path() / "page.zip").string(), archive.body);
    const std::string command =
        "cd '" + unpacked.Path().string() + "' && unzip -q page.zip && rm page.zip";
    ASSERT_EQ(std::system(command.c_str()), 0);
    ASSERT_TRUE(fs::is_regular_file(unpacked.Path() / "page.htm"));
    ASSERT_TRUE(fs::is_directory(unpacked.Path() / "page.files"));

    const std::string page = ReadFile(unpacked.Path() / "page.htm");
    EXPECT_NE(page.find(origin.Url("/next.html")), std::string::npos) << page;
    EXPECT_EQ(page.find("document.write"), std::string::npos);
    std::size_t checked = 0;
    for (const auto& entry : fs::recursive_directory_iterator(unpacked.Path())) {
        const std::string relative = fs::relative(entry.path(), unpacked.Path()).string();
        EXPECT_TRUE(relative == "page.htm" || relative.rfind("page.files", 0) == 0) << relative;
        const std::string ext = entry.path().extension().string();
        if (ext != ".htm" && ext != ".html" && ext != ".css")
            continue;
        for (const std::string& target : LocalReferences(ReadFile(entry.path()))) {
            const fs::path resolved = entry.path().parent_path() / target;
            EXPECT_TRUE(fs::is_regular_file(resolved))
                << target << " in " << entry.path().filename();
            ++checked;
        }
    }
    EXPECT_GE(checked, 4u); // style sheet, image, background, frame at the least
}

TEST(RealPages, HostileOriginsEndOnlyTheirJob) {
    Origin origin;
    ChildJobRunner runner(RealPageMaker());
    RunningService service(runner);
    const std::string login = service.AddLogin();

    for (const char* path : {"/endless", "/loop"}) {
        const std::string reply = AskForPage(service.Port(), login, origin.Url(path));
        EXPECT_EQ(reply.rfind("Bad,", 0), 0u) << path << ": " << reply;
    }
    EXPECT_EQ(AskForPage(service.Port(), login, origin.Url("/index.html")).rfind("OK,", 0), 0u);
}

TEST(RealPages, LoopbackOriginsAreRefusedUnlessAllowed) {
    Origin origin;
    ChildJobSettings settings = RealPageMaker();
    settings.limits.allowPrivateOrigins = false;
    ChildJobRunner runner(settings);
    RunningService service(runner);
    const std::string reply =
        AskForPage(service.Port(), service.AddLogin(), origin.Url("/index.html"));
    EXPECT_EQ(reply.rfind("Bad,", 0), 0u) << reply;
}

// A job that renders gets a browser of the pool through the child's own
// descriptors, and the page holds what its script built. Jobs that come
// while the pool's browser still starts are made without it.
TEST(RealPages, ARenderingJobIsLentABrowserOfThePool) {
    Origin origin;
    ChildJobSettings settings = RealPageMaker();
    settings.limits.render = RenderMode::Always;
    settings.renderers.count = 1;
    ChildJobRunner runner(settings);
    RunningService service(runner);
    std::string page;
    const auto until = std::chrono::steady_clock::now() + 60s;
    while (page.find("Built by its script") == std::string::npos &&
           std::chrono::steady_clock::now() < until) {
        const std::string login = service.AddLogin();
        const std::string reply = AskForPage(service.Port(), login, origin.Url("/scripted.html"));
        ASSERT_EQ(reply.rfind("OK,", 0), 0u) << reply;
        TempDir unpacked;
        WriteFile((unpacked.Path() / "page.zip").string(),
                  Get(service.Port(), "/zel/arch/" + login + "/1.dat").body);
        const std::string command = "cd '" + unpacked.Path().string() + "' && unzip -q page.zip";
        ASSERT_EQ(std::system(command.c_str()), 0);
        page = ReadFile(unpacked.Path() / "page.htm");
    }
    EXPECT_NE(page.find("Built by its script"), std::string::npos) << page;
}

// A page kept whole is served by the service itself, also where no job child
// could make it, and a replaced job asks nothing. A changed page is made by a
// child that does not check it again: the origin is asked once by the check,
// once by the make.
TEST(RealPages, AKeptPageIsServedWithoutAJobChild) {
    OriginServer origin;
    origin.Serve("/kept.html", "<img src=\"pic.png\">", "text/html",
                 {{"Cache-Control", "no-cache"}, {"ETag", "\"p1\""}});
    std::atomic<int> width{40};
    origin.Http().Get("/pic.png", [&](const httplib::Request&, httplib::Response& response) {
        response.set_header("ETag", "\"" + std::to_string(width) + "\"");
        response.set_content(MakeDrawing(width, 30), "image/png");
    });
    origin.Start();
    TempDir folder;
    ChildJobSettings settings = RealPageMaker();
    settings.limits.cache.folder = (folder.Path() / "cache").string();
    settings.keptPage = ServeKeptPage;
    const struct {
        bool childFails, cancelled, ok;
        int width, reused, pageHits;
    } cases[] = {{false, false, true, 40, 0, 1},
                 {true, false, true, 40, 1, 2},
                 {true, true, false, 40, 0, 2},
                 {false, false, true, 41, 0, 4}};
    const std::string archive = (folder.Path() / "page.zip").string();
    std::string first;
    for (const auto& each : cases) {
        width = each.width;
        // A job child that may write no file dies writing its archive.
        settings.process.fileBytes = each.childFails ? 1 : ProcessLimits{}.fileBytes;
        const std::atomic<bool> cancelled{each.cancelled};
        std::int64_t reported = 0;
        const auto progress = [&](std::int64_t bytes) { reported += bytes; };
        const PageOutcome outcome = ChildJobRunner(settings).Run({origin.Url("/kept.html"), {}, {}},
                                                                 archive, progress, cancelled);
        const auto step = &each - cases;
        EXPECT_EQ(origin.Hits("/kept.html"), each.pageHits) << step;
        ASSERT_EQ(outcome.ok, each.ok) << step << ": " << outcome.detail;
        EXPECT_EQ(outcome.failure, each.ok ? outcome.failure : FailureKind::Replaced) << step;
        EXPECT_EQ(outcome.stages.runs[int(Stage::Reuse)], each.reused) << step;
        EXPECT_EQ(reported, outcome.pageBytes) << step;
        first = first.empty() ? ReadFile(archive) : first;
        EXPECT_EQ(ReadFile(archive) == first, each.width == 40) << step;
    }
}
