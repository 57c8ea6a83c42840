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

TEST(TextReader, LineEndsAndStrayCarriageReturns) {
    TempWorkDir dir;
    WriteFile("t.txt", "one\r\ntwo\nth\rree\r\n\r\nlast");
    EXPECT_EQ(readAll("t.txt"), (std::vector<std::string>{"one", "two", "three", "", "last"}));
    WriteFile("e.txt", "");
    EXPECT_TRUE(readAll("e.txt").empty());
    WriteFile("n.txt", "a\r\n");
    EXPECT_EQ(readAll("n.txt"), std::vector<std::string>{"a"});
}

TEST(TextReader, LinesLongerThanTheBuffer) {
    TempWorkDir dir;
    std::string longLine(200000, 'q');
    WriteFile("l.txt", longLine + "\r\nshort");
    EXPECT_EQ(readAll("l.txt"), (std::vector<std::string>{longLine, "short"}));
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
