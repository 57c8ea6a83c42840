#include "TextFile.h"
#include "FailureOf.h"
#include "InOutError.h"
#include "TempWorkDir.h"

#include <gtest/gtest.h>

using namespace zel;
using namespace zel::test;

namespace {
std::vector<std::string> readAll(const std::string& path) {
    TextReader reader(path);
    std::vector<std::string> lines;
    std::string line;
    while (reader.readLine(line))
        lines.push_back(line);
    reader.close();
    return lines;
}
} // namespace

// Lines end at CR LF or LF, a stray CR is dropped, lines may exceed the buffer.
TEST(TextReader, LineEndsStrayCarriageReturnsAndLongLines) {
    TempWorkDir dir;
    const std::string longLine(200000, 'q');
    const std::pair<std::string, std::vector<std::string>> cases[] = {
        {"one\r\ntwo\nth\rree\r\n\r\nlast", {"one", "two", "three", "", "last"}},
        {"", {}},
        {"a\r\n", {"a"}},
        {longLine + "\r\nshort", {longLine, "short"}},
    };
    for (const auto& [text, lines] : cases) {
        WriteFile("t.txt", text);
        EXPECT_EQ(readAll("t.txt"), lines) << text.substr(0, 20);
    }
}

TEST(TextReader, MissingFileIsNotFound) {
    TempWorkDir dir;
    EXPECT_THROW(TextReader("nope.txt"), InOutError);
}

TEST(TextWriter, WritesCrLfAndAppendsOnlyToExistingFiles) {
    TempWorkDir dir;
    TextWriter w("w.txt", TextWriter::Mode::Create);
    w.writeLine("a");
    w.write("b");
    w.close();
    TextWriter a("w.txt", TextWriter::Mode::Append);
    a.writeLine("c");
    a.close();
    EXPECT_EQ(ReadFile("w.txt"), "a\r\nbc\r\n");
    EXPECT_EQ(FailureOf<InOutError>([] { TextWriter("missing.txt", TextWriter::Mode::Append); }),
              "File not found");
    EXPECT_FALSE(Exists("missing.txt"));
}

TEST(LoadLines, SplitsLikeAStringListAndNamesAMissingFile) {
    TempWorkDir dir;
    WriteFile("s.txt", "x\r\ny\nz\rw");
    EXPECT_EQ(LoadLines("s.txt"), (std::vector<std::string>{"x", "y", "z", "w"}));
    EXPECT_EQ(FailureOf([] { LoadLines("links.txt"); }), "Cannot open file links.txt");
}
