// The fetcher's byte counting against what the origin really sent.

#include "Fetcher.h"
#include "OriginServer.h"
#include "PageError.h"
#include "PageRun.h"

#include <gtest/gtest.h>

namespace zel::service::test {
namespace {

TEST(FetcherTest, CountsCompressedBytesAsTheyCameAndDeliversThemDecoded) {
    // (The type is one the test origin does not compress by itself.)
    std::string page = "<html><body>";
    for (int i = 0; i < 2000; ++i)
        page += "<p>the same words again and again</p>\n";
    const std::string packed = Gzip(page);
    ASSERT_LT(packed.size() * 10, page.size());
    OriginServer origin;
    origin.Http().Get("/packed", [&](const httplib::Request&, httplib::Response& response) {
        response.set_header("Content-Encoding", "gzip");
        response.set_content(packed, "application/octet-stream; charset=UTF-8");
    });
    origin.Http().Get("/plain", [&](const httplib::Request&, httplib::Response& response) {
        response.set_content(page, "application/octet-stream");
    });
    origin.Http().Get("/moved", [](const httplib::Request&, httplib::Response& response) {
        response.set_redirect("/plain");
    });
    std::string encodingSeen;
    origin.Http().Get("/html", [&](const httplib::Request&, httplib::Response& response) {
        response.set_content(page, "text/html");
    });
    origin.Http().set_post_routing_handler(
        [&](const httplib::Request& request, httplib::Response& response) {
            if (request.path == "/html")
                encodingSeen = response.get_header_value("Content-Encoding");
        });
    origin.Start();

    std::int64_t reported = 0;
    Fetcher fetcher(TestLimits(), [&](std::int64_t bytes) { reported += bytes; });
    const FetchResult result = fetcher.Fetch(origin.Url("/packed"), 1 << 20, 10);
    EXPECT_EQ(result.body, page);
    EXPECT_EQ(result.contentType, "application/octet-stream");
    EXPECT_EQ(result.charset, "utf-8");
    // libcurl counts the body as it came over the wire, before decoding; the
    // headers add a little.
    const std::int64_t wire = fetcher.WireBytes();
    EXPECT_GT(wire, std::int64_t(packed.size()));
    EXPECT_LT(wire, std::int64_t(packed.size()) + 1000);
    EXPECT_EQ(reported, wire);

    fetcher.Fetch(origin.Url("/plain"), 1 << 20, 10);
    EXPECT_GT(fetcher.WireBytes() - wire, std::int64_t(page.size()));
    EXPECT_EQ(reported, fetcher.WireBytes());

    // HTML the origin compresses by itself (brotli, as the fetcher offers it).
    const std::int64_t before = fetcher.WireBytes();
    const FetchResult html = fetcher.Fetch(origin.Url("/html"), 1 << 20, 10);
    EXPECT_EQ(html.body, page);
    EXPECT_LT((fetcher.WireBytes() - before) * 10, std::int64_t(page.size()));
    EXPECT_EQ(encodingSeen, "br");
    // What the body refers to is read against the address it came from.
    EXPECT_EQ(fetcher.Fetch(origin.Url("/moved"), 1 << 20, 10).finalUrl, origin.Url("/plain"));
}

TEST(FetcherTest, DecompressionBombStopped) {
    const std::string bomb = Gzip(std::string(50 << 20, '\0'));
    OriginServer origin;
    origin.Http().Get("/bomb", [&](const httplib::Request&, httplib::Response& response) {
        response.set_header("Content-Encoding", "gzip");
        response.set_content(bomb, "text/html");
    });
    const std::string plain(3 << 20, 'a');
    origin.Serve("/plain", plain, "image/png"); // a type the origin sends uncompressed
    origin.Start();
    PageLimits limits = TestLimits();
    Fetcher fetcher(limits, nullptr);
    try {
        fetcher.Fetch(origin.Url("/bomb"), 64 << 20, 10);
        FAIL() << "the bomb was inflated";
    } catch (const PageError& error) {
        EXPECT_EQ(error.Kind(), FailureKind::Inflated);
    }
    EXPECT_LT(fetcher.WireBytes(), std::int64_t(bomb.size()) + 1000);
    // A large body sent as it is inflates nothing.
    EXPECT_EQ(fetcher.Fetch(origin.Url("/plain"), 64 << 20, 10).body.size(), plain.size());
}

} // namespace
} // namespace zel::service::test
