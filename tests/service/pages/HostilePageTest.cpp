// Hostile origins: each ends the job with a short text, never a crash or a hang.

#include "Fetcher.h"
#include "MakePage.h"
#include "OriginServer.h"
#include "OutputRule.h"
#include "PageError.h"
#include "PageRun.h"
#include "TestImages.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <chrono>
#include <fstream>
#include <netinet/in.h>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>
#include <zlib.h>

namespace zel::service::test {
namespace {

// A PNG header announcing 100000 x 100000 pixels, and nothing after it.
std::string HugePngHeader() {
    std::string png("\x89PNG\r\n\x1A\n", 8);
    const unsigned char ihdr[] = {'I', 'H',  'D',  'R', 0, 1, 0x86, 0xA0, 0,
                                  1,   0x86, 0xA0, 8,   2, 0, 0,    0};
    const uLong crc = crc32(0, ihdr, sizeof ihdr);
    png.append("\0\0\0\x0D", 4);
    png.append(reinterpret_cast<const char*>(ihdr), sizeof ihdr);
    for (int shift : {24, 16, 8, 0})
        png += char((crc >> shift) & 0xFF);
    return png;
}

void ServeEndless(OriginServer& origin, const std::string& path) {
    origin.Http().Get(path, [](const httplib::Request&, httplib::Response& response) {
        response.set_chunked_content_provider(
            "application/octet-stream", [](size_t, httplib::DataSink& sink) {
                static const std::string chunk = "<p>" + std::string(8192, 'a') + "</p>";
                return sink.write(chunk.data(), chunk.size());
            });
    });
}

std::int64_t AddressSpaceBytes() {
    std::ifstream statm("/proc/self/statm");
    std::int64_t pages = 0;
    statm >> pages;
    return pages * sysconf(_SC_PAGESIZE);
}

class HostilePageTest : public OriginTest {};

TEST_F(HostilePageTest, LoopbackAndPrivateOriginsRefusedUnlessAllowed) {
    origin.Serve("/page.html", "<html><body>hello</body></html>", "text/html");
    origin.Http().Get("/jump", [&](const httplib::Request&, httplib::Response& response) {
        response.set_redirect(origin.Url("/page.html"));
    });
    origin.Start();
    PageLimits strict = TestLimits();
    strict.allowPrivateOrigins = false;
    for (const std::string& url :
         {origin.Url("/page.html"), origin.Url("/jump"), std::string("http://localhost:1/")})
        EXPECT_EQ(PageRun(Request(url), strict).Failure(), FailureKind::AddressRefused) << url;
    EXPECT_EQ(origin.Hits("/page.html"), 0);
    EXPECT_TRUE(PageRun(Request(origin.Url("/jump"))).Outcome().ok);
}

TEST_F(HostilePageTest, RedirectToARefusedAddressIsRefused) {
    // The first origin may be reached, the one it redirects to may not: the
    // check applies to every address connected to, not just the first.
    OriginServer inner("127.0.0.2");
    inner.Serve("/secret", "inside", "text/html");
    inner.Start();
    origin.Http().Get("/out", [&](const httplib::Request&, httplib::Response& response) {
        response.set_redirect(inner.Url("/secret"));
    });
    origin.Start();
    Fetcher fetcher(TestLimits(), nullptr, [](const sockaddr* address) {
        const auto* v4 = reinterpret_cast<const sockaddr_in*>(address);
        return address->sa_family == AF_INET && ntohl(v4->sin_addr.s_addr) == 0x7F000001;
    });
    try {
        fetcher.Fetch(origin.Url("/out"), 1 << 20, 10);
        FAIL() << "the redirect was followed";
    } catch (const PageError& error) {
        EXPECT_EQ(error.Kind(), FailureKind::AddressRefused);
    }
    EXPECT_EQ(inner.Hits("/secret"), 0);
}

TEST_F(HostilePageTest, OversizedImageHeader) {
    origin.Serve("/huge.png", HugePngHeader(), "image/png");
    origin.Serve("/page.html", "<html><body><img src=\"huge.png\" alt=\"big\">text</body></html>",
                 "text/html");
    origin.Start();
    EXPECT_EQ(PageRun(Request(origin.Url("/huge.png"), 50)).Failure(), FailureKind::TooBig);
    // Within a page the image is left out and the page still comes.
    PageRun page(Request(origin.Url("/page.html"), 50));
    ASSERT_TRUE(page.Outcome().ok) << page.Outcome().detail;
    EXPECT_TRUE(page.PageFiles().empty());
    EXPECT_NE(page.File("page.htm").find("src=\"data:,\""), std::string::npos);
}

TEST_F(HostilePageTest, DeeplyNestedHtml) {
    std::string deep = "<html><body>";
    for (int i = 0; i < 100000; ++i)
        deep += "<div>";
    origin.Serve("/deep.html", deep, "text/html");
    // Long but flat: many elements whose end tags are left out.
    std::string wide = "<html><body><ul>";
    for (int i = 0; i < 20000; ++i)
        wide += "<li><p>item";
    origin.Serve("/wide.html", wide, "text/html");
    origin.Start();
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(PageRun(Request(origin.Url("/deep.html"))).Failure(), FailureKind::NestedTooDeeply);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
    EXPECT_TRUE(PageRun(Request(origin.Url("/wide.html"))).Outcome().ok);
}

TEST_F(HostilePageTest, EndlessBodyAndSlowOrigin) {
    ServeEndless(origin, "/endless");
    origin.Http().Get("/slow", [](const httplib::Request&, httplib::Response& response) {
        response.set_chunked_content_provider(
            "text/html", [](size_t offset, httplib::DataSink& sink) {
                if (offset > 100)
                    return false;
                std::this_thread::sleep_for(std::chrono::milliseconds(500));
                return sink.write("<p>", 3);
            });
    });
    origin.Start();
    PageLimits limits = TestLimits();
    limits.maxPageBytes = 1 << 20;
    EXPECT_EQ(PageRun(Request(origin.Url("/endless")), limits).Failure(), FailureKind::TooBig);
    limits.fetchTimeoutSeconds = 1;
    EXPECT_EQ(PageRun(Request(origin.Url("/slow")), limits).Failure(), FailureKind::OriginTimeout);
}

TEST_F(HostilePageTest, SlowResourcesLeftOutWhenTheTimeIsUp) {
    origin.Serve("/page.html",
                 "<html><body><img src=\"slow.png\"><img src=\"next.png\"></body></html>",
                 "text/html");
    origin.Http().Get("/slow.png", [](const httplib::Request&, httplib::Response& response) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        response.set_content(HugePngHeader(), "image/png");
    });
    origin.Serve("/next.png", HugePngHeader(), "image/png");
    origin.Start();
    PageLimits limits = TestLimits();
    limits.resourceSeconds = 1;
    PageRun run(Request(origin.Url("/page.html")), limits);
    ASSERT_TRUE(run.Outcome().ok) << run.Outcome().detail;
    EXPECT_EQ(origin.Hits("/next.png"), 0);
    EXPECT_TRUE(run.PageFiles().empty());
}

TEST_F(HostilePageTest, ResourcesBeyondTheCountOrTheJobBytesLeftOut) {
    std::string page = "<html><body>";
    for (int i = 0; i < 6; ++i) {
        const std::string name = "/" + std::to_string(i) + ".jpg";
        page += "<img src=\"" + name + "\">";
        origin.Serve(name, MakePhoto(120, 90), "image/jpeg");
    }
    origin.Serve("/page.html", page + "</body></html>", "text/html");
    origin.Start();
    PageLimits limits = TestLimits();
    limits.maxResources = 2;
    PageRun counted(Request(origin.Url("/page.html"), 50), limits);
    ASSERT_TRUE(counted.Outcome().ok) << counted.Outcome().detail;
    EXPECT_EQ(counted.PageFiles().size(), 2u);
    EXPECT_EQ(origin.Hits("/2.jpg"), 0);

    limits = TestLimits();
    limits.maxJobBytes = std::int64_t(page.size()) + 2 * std::int64_t(MakePhoto(120, 90).size());
    PageRun budget(Request(origin.Url("/page.html"), 50), limits);
    ASSERT_TRUE(budget.Outcome().ok) << budget.Outcome().detail;
    EXPECT_LE(budget.PageFiles().size(), 2u);
    // Only the cut-off transfer may go beyond the budget, by one receive
    // buffer and the headers; the photos' random sizes decide which one it is.
    EXPECT_LE(budget.Outcome().pageBytes, limits.maxJobBytes + Fetcher::kReceiveBufferBytes + 1024);
}

TEST_F(HostilePageTest, AResourceRefusedDropsOnlyItselfASpentBudgetEndsFetching) {
    const std::string photo = MakePhoto(300, 200);
    origin.Serve("/bomb.png", Gzip(std::string(4 << 20, '\0')), "image/png",
                 {{"Content-Encoding", "gzip"}});
    origin.Serve("/big.jpg", photo, "image/jpeg");
    origin.Serve("/good.jpg", MakePhoto(40, 30), "image/jpeg");
    origin.Serve("/bomb.html", "<html><body><img src=bomb.png><img src=good.jpg></body></html>",
                 "text/html");
    origin.Serve("/big.html", "<html><body><img src=big.jpg><img src=good.jpg></body></html>",
                 "text/html");
    origin.Start();
    const struct {
        const char* page;
        std::int64_t jobBytes;
        int goodHits;
    } cases[] = {
        {"/bomb.html", 64 << 20, 1},                      // inflated: left out alone
        {"/big.html", std::int64_t(photo.size()) / 2, 0}, // cut at the job's bytes
    };
    for (const auto& c : cases) {
        PageLimits limits = TestLimits();
        limits.maxJobBytes = c.jobBytes;
        const int before = origin.Hits("/good.jpg");
        PageRun run(Request(origin.Url(c.page), 50), limits);
        ASSERT_TRUE(run.Outcome().ok) << c.page << ": " << run.Outcome().detail;
        EXPECT_EQ(origin.Hits("/good.jpg") - before, c.goodHits) << c.page;
        EXPECT_EQ(run.PageFiles().size(), std::size_t(c.goodHits)) << c.page;
    }
}

TEST_F(HostilePageTest, RunningOutOfMemoryIsReportedAsSuch) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizer reserves more address space than any limit here";
#endif
    ServeEndless(origin, "/endless");
    origin.Start();
    PageLimits limits = TestLimits();
    limits.maxPageBytes = limits.maxJobBytes = std::int64_t(1) << 40;
    limits.fetchTimeoutSeconds = 120;
    const auto makeWithLittleMemory = [&] {
        const rlim_t bound = rlim_t(AddressSpaceBytes() + (256 << 20));
        const rlimit memory{bound, bound};
        setrlimit(RLIMIT_AS, &memory);
        const PageOutcome outcome =
            MakePage(Request(origin.Url("/endless")), limits,
                     (std::filesystem::temp_directory_path() / "never.zip").string(), {});
        std::cerr << "failure " << (outcome.ok ? "none" : NameOf(outcome.failure)) << std::endl;
        _exit(0);
    };
    EXPECT_EXIT(makeWithLittleMemory(), ::testing::ExitedWithCode(0), "failure out-of-memory");
}

TEST_F(HostilePageTest, RedirectLoopAndUnreachableOrigin) {
    origin.Http().Get(
        R"(/loop/(\d+))", [&](const httplib::Request& request, httplib::Response& response) {
            response.set_redirect(
                origin.Url("/loop/" + std::to_string(std::stoi(request.matches[1]) + 1)));
        });
    origin.Start();
    EXPECT_EQ(PageRun(Request(origin.Url("/loop/0"))).Failure(), FailureKind::TooManyRedirects);
    // Port 1 on loopback: nobody listens.
    EXPECT_EQ(PageRun(Request("http://127.0.0.1:1/")).Failure(), FailureKind::OriginUnreachable);
}

// A small TrueType font whose 20 glyphs claim 65535 points each, in flags
// repeated so that the points take no bytes.
std::string PointBomb() {
    const auto be32 = [](std::size_t n) {
        return std::string{char(n >> 24), char(n >> 16 & 255), char(n >> 8 & 255), char(n & 255)};
    };
    std::string glyph = std::string("\0\1", 2) + std::string(8, '\0') + "\xFF\xFE" + '\0' + '\0';
    for (int i = 0; i < 256; ++i) // on the curve, x and y as before, 255 times more
        glyph += "\x39\xFF";
    std::string glyf, loca, head(54, '\0'), maxp("\0\0\x50\0\0\x14", 6), data;
    for (int i = 0; i <= 20; ++i)
        loca += be32(std::size_t(i) * glyph.size());
    for (int i = 0; i < 20; ++i)
        glyf += glyph;
    head.replace(0, 16, std::string("\0\1\0\0", 4) + std::string(8, '\0') + "\x5F\x0F\x3C\xF5");
    head[19] = 64; // units to the em
    head[51] = 1;  // long locations
    std::string font("\0\1\0\0\0\4\0\x40\0\2\0\0", 12);
    for (const auto& [tag, table] :
         {std::pair{"glyf", glyf}, {"head", head}, {"loca", loca}, {"maxp", maxp}}) {
        font += tag + be32(0) + be32(12 + 4 * 16 + data.size()) + be32(table.size());
        data += table + std::string((4 - table.size() % 4) % 4, '\0');
    }
    return font + data;
}

// Every attack ends with nothing that runs and nothing that leads out of the
// page's files in anything stored, and what the page shows fetched. No font
// here is one: not an HTML body, not one that claims more than it holds.
TEST_F(HostilePageTest, NothingRunsOrLeadsOut) {
    const std::string photo = MakePhoto(20, 20);
    for (const char* path : {"/a.png", "/bg.png", "/fe.png"})
        origin.Serve(path, photo, "image/jpeg");
    origin.Serve("/imp.css", "p{color:red}", "text/css");
    origin.Serve("/f.ttf", "<html><body><script>alert(1)</script></body></html>", "font/ttf");
    origin.Serve("/bomb.ttf", PointBomb(), "font/ttf");
    origin.Serve("/s.svg",
                 "<svg xmlns=\"http://www.w3.org/2000/svg\" onload=\"alert(1)\">"
                 "<script>alert(2)</script></svg>",
                 "image/svg+xml");
    std::string utf16 = "\xFF\xFE";
    for (char c : std::string("p{background:url(bg.png)}"))
        utf16 += std::string{c, '\0'};
    origin.Serve("/u.css", utf16, "text/css");
    const struct {
        const char* body;
        const char* charset;
        const char* fetched; // must have been fetched
    } pages[] = {
        {"<iframe src=\"javascript:alert(1)\"></iframe><iframe src=\"data:text/html,x\">", "", ""},
        {"<svg><a xlink:href=\"javascript:alert(1)\"><text>x</text></a></svg>", "", ""},
        // Read byte by byte the script is in an attribute; decoded it is not.
        {"<p title=\"\x1B$B\"a\x1B(B x=\"><script>alert(1)</script>\">", "iso-2022-jp", ""},
        {"<style>@font-face{font-family:F;src:url(f.ttf)}</style><p style=font-family:F>x", "", ""},
        {"<style>@font-face{font-family:F;src:url(bomb.ttf)}</style><img src=a.png>", "", "/a.png"},
        {"<img src=s.svg><meta http-equiv=refresh content=\"5; url=s.svg\">", "", ""},
        {"<img data-src=\"javascript:alert(1)\" src=a.png><img "
         "data-src=\"data:image/gif;base64,R0\" "
         "srcset=\"a.png 1x\"><img data-lazy-src=\"file:///etc/passwd\" src=a.png>",
         "", "/a.png"},
        {"<link rel=stylesheet href=u.css><p>x", "", "/bg.png"},
        {"<svg><style>@import url(imp.css);</style><filter id=f><feImage href=\"fe.png\"/></filter>"
         "<rect filter=\"url(#f)\" width=9 height=9/></svg>",
         "", "/fe.png"},
    };
    for (std::size_t i = 0; i < std::size(pages); ++i) {
        const std::string path = "/" + std::to_string(i) + ".html";
        origin.Serve(path, pages[i].body, std::string("text/html; charset=") + pages[i].charset);
    }
    origin.Start();
    for (std::size_t i = 0; i < std::size(pages); ++i) {
        const int hits = *pages[i].fetched ? origin.Hits(pages[i].fetched) : 0;
        PageRun run(Request(origin.Url("/" + std::to_string(i) + ".html")));
        ASSERT_TRUE(run.Outcome().ok) << pages[i].body << ": " << run.Outcome().detail;
        if (*pages[i].charset) { // the browser reads it as it was rewritten
            EXPECT_TRUE(run.File("page.htm").starts_with("\xEF\xBB\xBF")) << pages[i].body;
        }
        if (*pages[i].fetched) {
            EXPECT_EQ(origin.Hits(pages[i].fetched), hits + 1) << pages[i].body;
        }
        std::vector<std::string> files = run.PageFiles();
        files.push_back("page.htm");
        for (const std::string& name : files) {
            const std::string text = run.File(name);
            const bool markup = name.ends_with(".htm") || name.ends_with(".svg");
            const std::string breach = name.ends_with(".css") ? BreachInStyle(text)
                                       : markup               ? BreachInMarkup(text)
                                                              : std::string();
            EXPECT_EQ(breach, "") << pages[i].body << "\n" << name << ":\n" << text;
            EXPECT_EQ(text.find("<script"), std::string::npos) << pages[i].body << " " << name;
            EXPECT_FALSE(name.ends_with(".ttf") || name.ends_with("woff2")) << pages[i].body;
        }
    }
}

} // namespace
} // namespace zel::service::test
