// Which pieces gumbo hands out lie in the source, whatever their length.

#include "SourceEdits.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace zel::service {
namespace {

TEST(SourceEditsTest, OnlyPiecesWhollyInTheSourceAreInIt) {
    const std::string html = "<p class=a>text</p>";
    const SourceEdits edits(html);
    const char* start = html.data();
    const struct {
        const char* data;
        std::size_t length;
        bool inside;
    } cases[] = {
        {start, html.size(), true},       {start + 3, 8, true},
        {start + html.size(), 0, true},   {start + 3, html.size(), false},
        {start + 3, SIZE_MAX, false}, // a length of -1
        {start + 1, SIZE_MAX - 1, false}, {nullptr, 0, false},
        {"elsewhere", 4, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(edits.InSource(GumboStringPiece{c.data, c.length}), c.inside)
            << (c.data == nullptr ? -1 : c.data - start) << "+" << c.length;
}

} // namespace
} // namespace zel::service
