// The fetcher's byte counting against what the origin really sent.

#include "Fetcher.h"
#include "OriginServer.h"
#include "PageRun.h"

#include <gtest/gtest.h>
#include <zlib.h>

namespace zel::service::test {
namespace {

std::string Gzip(const std::string& text) {
    z_stream stream{};
    deflateInit2(&stream, 9, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&stream, text.size()) + 32, '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    stream.avail_in = uInt(text.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = uInt(out.size());
    deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

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
}

TEST(FetcherTest, DecompressionBombStopped) {
    const std::string bomb = Gzip(std::string(50 << 20, '\0'));
    OriginServer origin;
    origin.Http().Get("/bomb", [&](const httplib::Request&, httplib::Response& response) {
        response.set_header("Content-Encoding", "gzip");
        response.set_content(bomb, "text/html");
    });
    origin.Start();
    PageLimits limits = TestLimits();
    Fetcher fetcher(limits, nullptr);
    EXPECT_THROW(fetcher.Fetch(origin.Url("/bomb"), 64 << 20, 10), std::runtime_error);
    EXPECT_LT(fetcher.WireBytes(), std::int64_t(bomb.size()) + 1000);
}

} // namespace
} // namespace zel::service::test
