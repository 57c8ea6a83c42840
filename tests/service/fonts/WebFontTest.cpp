// Web fonts of a page re-encoded as WOFF2, from fonts Debian installs.

#include "OriginServer.h"
#include "PageRun.h"

#include <gtest/gtest.h>
#include <woff2/decode.h>
#include <zlib.h>

#include <fstream>
#include <iterator>

namespace zel::service::test {
namespace {

std::string ReadFile(const char* path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void Put32(std::string& out, std::uint32_t value) {
    for (int shift : {24, 16, 8, 0})
        out += char(value >> shift & 0xFF);
}

std::uint32_t Get32(const std::string& bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i)
        value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

// The font's tables packed as WOFF 1, each deflated.
std::string Woff(const std::string& sfnt) {
    const std::size_t count = static_cast<unsigned char>(sfnt[4]) << 8 | (unsigned char)sfnt[5];
    std::string directory, data;
    std::size_t offset = 44 + 20 * count;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t entry = 12 + 16 * i;
        const std::string table = sfnt.substr(Get32(sfnt, entry + 8), Get32(sfnt, entry + 12));
        uLongf size = compressBound(uLong(table.size()));
        std::string packed(size, '\0');
        compress2(reinterpret_cast<Bytef*>(packed.data()), &size,
                  reinterpret_cast<const Bytef*>(table.data()), uLong(table.size()), 9);
        packed.resize(size);
        if (packed.size() >= table.size())
            packed = table;
        directory += sfnt.substr(entry, 4); // tag
        Put32(directory, std::uint32_t(offset + data.size()));
        Put32(directory, std::uint32_t(packed.size()));
        Put32(directory, std::uint32_t(table.size()));
        directory += sfnt.substr(entry + 4, 4); // checksum
        data += packed;
        data.resize((data.size() + 3) / 4 * 4, '\0');
    }
    std::string woff = "wOFF" + sfnt.substr(0, 4);
    Put32(woff, std::uint32_t(offset + data.size()));
    woff += char(count >> 8);
    woff += char(count & 0xFF);
    woff.append(30, '\0'); // sizes and versions nobody reads, no metadata
    return woff + directory + data;
}

std::string DecodeWoff2(const std::string& woff2) {
    const auto* data = reinterpret_cast<const std::uint8_t*>(woff2.data());
    std::string font(woff2::ComputeWOFF2FinalSize(data, woff2.size()), '\0');
    woff2::WOFF2StringOut out(&font);
    return woff2::ConvertWOFF2ToTTF(data, woff2.size(), &out) ? font : std::string();
}

class WebFontTest : public OriginTest {};

TEST_F(WebFontTest, FontsGoOutAsWoff2UnlessLeftOutForTheirSize) {
    const std::string ttf = ReadFile("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf");
    ASSERT_GT(ttf.size(), 100000u) << "fonts-dejavu-core is missing";
    const std::string woff = Woff(ttf);
    origin.Serve("/a.ttf", ttf, "font/ttf");
    origin.Serve("/b.woff", woff, "font/woff");
    origin.Serve("/c.woff", woff.substr(0, woff.size() / 2), "font/woff"); // cut short
    origin.Serve("/page.html",
                 "<html><head><style>@font-face{font-family:A;src:url(a.ttf) format('truetype')}"
                 "@font-face{font-family:B;src:url(b.woff) format(\"woff\"),"
                 "url(c.woff) format( woff )}</style></head><body>Text</body></html>",
                 "text/html");
    origin.Start();

    PageRun run(Request(origin.Url("/page.html")));
    ASSERT_TRUE(run.Outcome().ok) << run.Outcome().detail;
    const std::string page = run.File("page.htm");
    EXPECT_EQ(page.find("format("), std::string::npos) << page;
    const std::string fromTtf = run.File("page.files/1.woff2");
    const std::string fromWoff = run.File("page.files/2.woff2");
    EXPECT_LT(fromTtf.size(), woff.size());
    // Lossless: both encode the same tables.
    EXPECT_FALSE(DecodeWoff2(fromTtf).empty());
    EXPECT_EQ(DecodeWoff2(fromWoff), DecodeWoff2(fromTtf));
    EXPECT_EQ(run.File("page.files/3.woff"), woff.substr(0, woff.size() / 2));

    PageLimits limits = TestLimits();
    limits.maxFontBytes = std::int64_t(fromTtf.size()) - 1;
    PageRun bounded(Request(origin.Url("/page.html")), limits);
    ASSERT_TRUE(bounded.Outcome().ok) << bounded.Outcome().detail;
    EXPECT_EQ(bounded.PageFiles(), std::vector<std::string>{"page.files/1.woff"});
}

} // namespace
} // namespace zel::service::test
