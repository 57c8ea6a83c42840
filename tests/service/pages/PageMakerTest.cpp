// Whole pages made from a local origin, unpacked with unzip and inspected as
// the browser would find them.

#include "OriginServer.h"
#include "PageReferences.h"
#include "PageRun.h"
#include "ProcessorTime.h"
#include "TestImages.h"

#include <gtest/gtest.h>
#include <regex>

#include <algorithm>

namespace zel::service::test {
namespace {

using zel::test::LocalReferences;

const char* kHtml = "text/html";

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// Names the browser accepts: "page.htm" and plain files in "page.files/".
bool IsAcceptedEntry(const std::string& name) {
    const std::string folder = "page.files/";
    if (name == "page.htm")
        return true;
    if (name.rfind(folder, 0) != 0 || name.size() == folder.size() || name[folder.size()] == '.')
        return false;
    return std::all_of(name.begin() + long(folder.size()), name.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '_' || c == '-';
    });
}

class PageMakerTest : public OriginTest {};

// Code units in UTF-16 of either order.
std::string Utf16(const std::u16string& text, bool big) {
    std::string bytes;
    for (char16_t unit : text) {
        const char high = char(unit >> 8), low = char(unit & 0xFF);
        bytes += big ? high : low;
        bytes += big ? low : high;
    }
    return bytes;
}

TEST_F(PageMakerTest, ArchiveUnpacksWithEveryLocalReferenceResolving) {
    const std::string photo = MakePhoto(200, 150);
    origin.Serve("/index.html",
                 "<!DOCTYPE html><html><head><title>T</title>"
                 "<link rel=stylesheet href=\"css/site.css\">"
                 "<style>body { background: url(img/back.png) }</style></head><body>"
                 "<img src=\"img/photo.jpg\" alt=\"Photo\" width=100>"
                 "<p style=\"background-image: url('img/photo.jpg')\">x</p>"
                 "<input type=image src=\"img/back.png\">"
                 "<iframe src=\"frame.html\"></iframe>"
                 "<a href=\"other.html?a=1&amp;b=2#s\">next</a></body></html>",
                 kHtml);
    origin.Serve("/css/site.css",
                 "@import 'more.css';\nh1 { background: url(\"../img/back.png\") }\n"
                 "@font-face { font-family: F; src: url(f.woff2) }",
                 "text/css");
    origin.Serve("/css/more.css", "p { list-style-image: url(/img/photo.jpg) }", "text/css");
    origin.Serve("/css/f.woff2", std::string("wOF2") + std::string(100, 'x'), "font/woff2");
    origin.Serve("/img/photo.jpg", photo, "image/jpeg");
    origin.Serve("/img/back.png", MakePhoto(40, 40, ".png"), "image/png");
    origin.Serve("/frame.html",
                 "<html><body><img src=\"img/photo.jpg\"><a href=\"/x\">x</a></body></html>",
                 kHtml);
    origin.Start();

    PageRun run(Request(origin.Url("/index.html"), 50, 64));
    ASSERT_TRUE(run.Outcome().ok) << run.Outcome().detail;

    // Only plain files with plain modes, only the names the browser accepts.
    const auto entries = run.Entries();
    EXPECT_GE(entries.size(), 6u);
    for (const auto& entry : entries) {
        EXPECT_TRUE(IsAcceptedEntry(entry.name)) << entry.name;
        EXPECT_EQ(entry.mode, "-rw-r--r--") << entry.name;
    }

    const std::string page = run.File("page.htm");
    std::vector<std::string> references = LocalReferences(page, "");
    for (const std::string& file : run.PageFiles()) {
        if (file.ends_with(".htm") || file.ends_with(".css"))
            for (const std::string& reference : LocalReferences(run.File(file), "page.files/"))
                references.push_back(reference);
    }
    EXPECT_GE(references.size(), 8u);
    for (const std::string& reference : references)
        EXPECT_TRUE(run.Exists(reference)) << reference;

    // Each address fetched once, though named several times.
    EXPECT_EQ(origin.Hits("/img/photo.jpg"), 1);
    EXPECT_EQ(origin.Hits("/img/back.png"), 1);
    // The frame is a document beside the page, its name the browser's view
    // lets through; the link is absolute so a click goes back to the service.
    EXPECT_TRUE(Contains(page, "src=\"page.files/page1.htm\""));
    EXPECT_TRUE(run.Exists("page.files/page1.htm"));
    EXPECT_TRUE(Contains(page, "href=\"" + origin.Url("/other.html?a=1&amp;b=2#s") + "\""));
    EXPECT_TRUE(Contains(run.File("page.files/page1.htm"), "href=\"" + origin.Url("/x") + "\""));
    // The page's real size: everything that came over the wire, reported as it came.
    EXPECT_GT(run.Outcome().pageBytes, std::int64_t(photo.size()));
    EXPECT_EQ(run.Reported(), run.Outcome().pageBytes);
    EXPECT_EQ(run.Outcome().archiveBytes,
              std::int64_t(std::filesystem::file_size(run.Folder() / "page.zip")));
    // Where the time went: one fetch per address, a rewrite per document and
    // style sheet, the images' stages; no more than the process used.
    const StageTimes& stages = run.Outcome().stages;
    EXPECT_EQ(stages.runs[std::size_t(Stage::Fetch)], 7);
    EXPECT_EQ(stages.runs[std::size_t(Stage::Rewrite)], 4);
    EXPECT_GT(stages.cpuSeconds[std::size_t(Stage::Jpeg)], 0.0);
    EXPECT_LE(stages.Total(), ProcessorSecondsUsed());
}

TEST_F(PageMakerTest, ScriptsLeftOutNoscriptShownEncodingKept) {
    const std::string latin1Page =
        "<html><head><base href=\"/deep/\"><script src=\"/s.js\"></script>"
        "<script>document.write('x')</script></head>"
        "<body onload=\"go()\"><noscript><p>Caf\xE9 without scripts</p></noscript>"
        "<a href=\"javascript:go()\">go</a><a href=\"rel.html\">rel</a>"
        "<form action=\"find\"></form><svg><script>go()</script></svg>"
        "<math><script>go()</script></math></body></html>";
    origin.Serve("/latin1.html", latin1Page, "text/html; charset=ISO-8859-1");
    origin.Serve("/s.js", "alert(1)", "text/javascript");
    origin.Start();

    PageRun run(Request(origin.Url("/latin1.html")));
    ASSERT_TRUE(run.Outcome().ok) << run.Outcome().detail;
    const std::string page = run.File("page.htm");
    EXPECT_FALSE(Contains(page, "<script"));
    EXPECT_FALSE(Contains(page, "document.write"));
    EXPECT_FALSE(Contains(page, "go()"));
    EXPECT_FALSE(Contains(page, "<noscript"));
    EXPECT_FALSE(Contains(page, "javascript:"));
    EXPECT_FALSE(Contains(page, "<base"));
    EXPECT_TRUE(Contains(page, "<p>Caf\xE9 without scripts</p>")); // bytes untouched
    EXPECT_TRUE(Contains(page, "<head><meta charset=\"iso-8859-1\">"));
    // Relative addresses resolve against the base element.
    EXPECT_TRUE(Contains(page, "href=\"" + origin.Url("/deep/rel.html") + "\""));
    EXPECT_TRUE(Contains(page, "action=\"" + origin.Url("/deep/find") + "\""));
    EXPECT_EQ(origin.Hits("/s.js"), 0);

    PageLimits keeping = TestLimits();
    keeping.keepScripts = true;
    PageRun kept(Request(origin.Url("/latin1.html")), keeping);
    ASSERT_TRUE(kept.Outcome().ok) << kept.Outcome().detail;
    const std::string keptPage = kept.File("page.htm");
    EXPECT_TRUE(Contains(keptPage, "document.write"));
    EXPECT_TRUE(Contains(keptPage, "<noscript>"));
    EXPECT_EQ(origin.Hits("/s.js"), 1); // kept scripts come along in the archive
}

TEST_F(PageMakerTest, OneCandidateOfSrcsetAndPictureFetchedAndSvgImages) {
    origin.Serve(
        "/set.html",
        "<html><body><img srcset=\"small.png 100w, big.png 1000w\" width=90 alt=a>"
        "<img src=\"plain.png\" srcset=\"plain.png 1x, double.png 2x\" alt=b>"
        "<img src=\"one.png\" srcset=\"two.png 2x\" alt=d>"
        "<picture><source srcset=\"modern.webp\" type=\"image/webp\">"
        "<img src=\"fallback.png\" alt=c></picture>"
        "<svg width=20 height=20><image xlink:href=\"vector.png\" width=20 height=20/></svg>"
        "</body></html>",
        "text/html");
    for (const char* name : {"/small.png", "/big.png", "/plain.png", "/double.png", "/modern.webp",
                             "/fallback.png", "/vector.png", "/one.png", "/two.png"})
        origin.Serve(name, MakeDrawing(16, 16, ".png"), "image/png");
    origin.Start();
    PageRun run(Request(origin.Url("/set.html"), 50));
    ASSERT_TRUE(run.Outcome().ok) << run.Outcome().detail;
    // A candidate of another density would show at another size: src goes.
    for (const char* fetched :
         {"/small.png", "/plain.png", "/fallback.png", "/vector.png", "/one.png"})
        EXPECT_EQ(origin.Hits(fetched), 1) << fetched;
    for (const char* skipped : {"/big.png", "/double.png", "/modern.webp", "/two.png"})
        EXPECT_EQ(origin.Hits(skipped), 0) << skipped;
    const std::string page = run.File("page.htm");
    EXPECT_FALSE(Contains(page, "srcset"));
    EXPECT_FALSE(Contains(page, "<source"));
    EXPECT_EQ(LocalReferences(page, "").size(), 5u);
}

TEST_F(PageMakerTest, ImageAloneGetsAPageAndOtherContentIsRefused) {
    origin.Serve("/photo.jpg", MakePhoto(64, 48), "image/jpeg");
    origin.Serve("/doc.pdf", "%PDF-1.4 ...", "application/pdf");
    origin.Serve("/broken.html",
                 "<html><body><img src=\"/doc.pdf\" alt=\"not a picture\"></body></html>",
                 "text/html");
    origin.Http().Get("/missing", [](const httplib::Request&, httplib::Response& response) {
        response.status = 404;
        response.set_content("<html><body>Sorry, not here</body></html>", "text/html");
    });
    origin.Start();

    PageRun image(Request(origin.Url("/photo.jpg")));
    ASSERT_TRUE(image.Outcome().ok) << image.Outcome().detail;
    EXPECT_TRUE(Contains(image.File("page.htm"), "src=\"page.files/"));
    EXPECT_EQ(image.PageFiles().size(), 1u);
    EXPECT_EQ(origin.Hits("/photo.jpg"), 1);

    EXPECT_EQ(PageRun(Request(origin.Url("/doc.pdf"))).Failure(), FailureKind::NotAPage);
    // Named as an image, it is no image: left out, not stored.
    PageRun broken(Request(origin.Url("/broken.html")));
    ASSERT_TRUE(broken.Outcome().ok);
    EXPECT_TRUE(broken.PageFiles().empty());
    EXPECT_TRUE(Contains(broken.File("page.htm"), "src=\"data:,\""));
    // The origin's own error page is shown, as a browser would.
    PageRun missing(Request(origin.Url("/missing")));
    ASSERT_TRUE(missing.Outcome().ok);
    EXPECT_TRUE(Contains(missing.File("page.htm"), "Sorry, not here"));
    EXPECT_EQ(PageRun(Request("ftp://127.0.0.1/x")).Failure(), FailureKind::AddressRefused);
}

TEST_F(PageMakerTest, ImageAddressesKeepOnlyWhatTheirFirstBytesShowToBeImages) {
    const std::string ftyp("\0\0\0\x18"
                           "ftyp",
                           8);
    const struct {
        const char* path;
        std::string body;
        const char* type;
        const char* stored; // extension, or nothing when left out
    } cases[] = {
        {"/a.png", "<html><script>alert(1)</script></html>", "image/png", nullptr},
        {"/b.svg", "alert(1)", "image/svg+xml", nullptr},
        {"/c.svg", "<?xml version=\"1.0\"?>\n<!-- c --><svg xmlns=\"http://www.w3.org/2000/svg\"/>",
         "image/svg+xml", "svg"},
        {"/d.avif", ftyp + "avif" + std::string(4, '\0') + "mif1miaf", "image/avif", "avif"},
        {"/e.avif", ftyp + "mp42" + std::string(4, '\0') + "isommp41", "image/avif", nullptr},
    };
    std::string page = "<html><body>";
    for (const auto& c : cases) {
        origin.Serve(c.path, c.body, c.type);
        page += std::string("<img src=\"") + c.path + "\">";
    }
    origin.Serve("/page.html", page, kHtml);
    origin.Start();
    PageRun run(Request(origin.Url("/page.html"), 50));
    ASSERT_TRUE(run.Outcome().ok) << run.Outcome().detail;
    std::vector<std::string> stored;
    for (const std::string& file : run.PageFiles())
        stored.push_back(file.substr(file.rfind('.') + 1));
    std::sort(stored.begin(), stored.end());
    EXPECT_EQ(stored, (std::vector<std::string>{"avif", "svg"}));
}

TEST_F(PageMakerTest, Utf16PagesRewrittenAsUtf8) {
    const std::u16string page = u"<html><head><meta charset=\"utf-16\"><script>go()</script>"
                                u"</head><body><p>Caf\u00E9 \U0001F600</p><img src=\"a.png\">"
                                u"</body></html>";
    const struct {
        std::string body;
        const char* type;
        std::optional<FailureKind> failure; // nothing when the page is made
    } cases[] = {
        {Utf16(u"\uFEFF" + page, false), "text/html", std::nullopt},
        {Utf16(u"\uFEFF" + page, true), "text/html", std::nullopt},
        {Utf16(page, false), "text/html; charset=utf-16le", std::nullopt},
        {Utf16(page, true), "", std::nullopt},
        {Utf16(page, false) + "x", "text/html", FailureKind::Undecodable},
        {Utf16(page + u"\xD800", false), "text/html", FailureKind::Undecodable},
    };
    origin.Serve("/a.png", MakeDrawing(8, 8), "image/png");
    for (std::size_t i = 0; i < std::size(cases); ++i)
        origin.Serve("/" + std::to_string(i), cases[i].body, cases[i].type);
    origin.Start();
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        PageRun run(Request(origin.Url("/" + std::to_string(i))));
        if (cases[i].failure) {
            EXPECT_EQ(run.Failure(), cases[i].failure) << i;
            continue;
        }
        ASSERT_TRUE(run.Outcome().ok) << i << ": " << run.Outcome().detail;
        // The image's form is the shrinker's choice; the text is what counts.
        const std::string page = std::regex_replace(
            run.File("page.htm"), std::regex("page\\.files/1\\.(png|webp|gif)"), "page.files/1.x");
        EXPECT_EQ(
            page,
            "<html><head><meta charset=\"utf-8\"></head><body><p>Caf\xC3\xA9 \xF0\x9F\x98\x80</p>"
            "<img src=\"page.files/1.x\"></body></html>")
            << i;
    }
}

// A style sheet's picture comes only where an element of the document it
// applies to may show it; a frame is a document of its own.
TEST_F(PageMakerTest, PicturesOfStyleRulesNoElementMatchesStayOut) {
    origin.Serve("/index.html",
                 "<link rel=stylesheet href=s.css><p class=note>x</p><iframe src=f.html></iframe>",
                 kHtml);
    origin.Serve("/f.html", "<link rel=stylesheet href=s.css><div class=book><h1 class=titlepage>",
                 kHtml);
    origin.Serve("/s.css",
                 "@import 'i.css'; .note { background: url(note.png) }\n"
                 "div.book .titlepage { background: url(splash.png) }",
                 "text/css");
    origin.Serve("/i.css", ".gone { background: url(gone.png) }", "text/css");
    for (const char* path : {"/note.png", "/splash.png", "/gone.png"})
        origin.Serve(path, MakeDrawing(8, 8), "image/png");
    origin.Start();

    PageRun run(Request(origin.Url("/index.html")));
    ASSERT_TRUE(run.Outcome().ok) << run.Outcome().detail;
    EXPECT_EQ(origin.Hits("/note.png"), 1);
    EXPECT_EQ(origin.Hits("/splash.png"), 1);
    EXPECT_EQ(origin.Hits("/gone.png"), 0);
    EXPECT_EQ(origin.Hits("/s.css"), 1);
    std::vector<std::string> sheets; // the page's copy of s.css and the frame's
    for (const std::string& file : run.PageFiles())
        if (file.ends_with(".css") && Contains(run.File(file), "@import"))
            sheets.push_back(run.File(file));
    ASSERT_EQ(sheets.size(), 2u);
    // Each keeps only the rule its own document's elements may match.
    EXPECT_NE(Contains(sheets[0], ".note"), Contains(sheets[1], ".note"));
    EXPECT_NE(Contains(sheets[0], ".titlepage"), Contains(sheets[1], ".titlepage"));
    EXPECT_NE(Contains(sheets[0], ".note"), Contains(sheets[0], ".titlepage"));

    // Kept scripts may add any element.
    PageLimits keeping = TestLimits();
    keeping.keepScripts = true;
    PageRun kept(Request(origin.Url("/index.html")), keeping);
    ASSERT_TRUE(kept.Outcome().ok) << kept.Outcome().detail;
    EXPECT_EQ(origin.Hits("/gone.png"), 1);
}

} // namespace
} // namespace zel::service::test
