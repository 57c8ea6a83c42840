#include "RecordFile.h"
#include "BinaryFiles.h"
#include "InOutError.h"
#include "RecordBytes.h"
#include "TempWorkDir.h"

#include <gtest/gtest.h>

using namespace zel;
using namespace zel::test;

namespace {
int failureCode(const std::function<void()>& action, std::string* text = nullptr) {
    try {
        action();
    } catch (const InOutError& e) {
        if (text)
            *text = e.what();
        return e.code();
    }
    return 0;
}
} // namespace

TEST(RecordFile, MissingFileIsNotFoundAndNotCreated) {
    TempWorkDir dir;
    RecordFile file("missing.dat", 4);
    std::string text;
    EXPECT_EQ(failureCode([&] { file.reset(); }, &text), InOutError::FileNotFound);
    EXPECT_EQ(text, "File not found");
    EXPECT_FALSE(Exists("missing.dat"));
}

TEST(RecordFile, CountsWholeRecordsAndReadsPastEndFails) {
    TempWorkDir dir;
    WriteFile("r.dat", std::string(10, 'x'));
    RecordFile file("r.dat", 4);
    file.reset(RecordFile::Access::ReadOnly);
    EXPECT_EQ(file.size(), 2);
    char buf[8];
    file.read(buf, 2);
    std::string text;
    EXPECT_EQ(failureCode([&] { file.read(buf); }, &text), InOutError::ReadBeyondEnd);
    EXPECT_EQ(text, "Read beyond end of file");
}

TEST(RecordFile, RewriteTruncatesAndSeekOverwrites) {
    TempWorkDir dir;
    WriteFile("r.dat", "abcdefgh");
    RecordFile file("r.dat", 2);
    file.rewrite();
    file.write("1122", 2);
    file.seek(1);
    file.write("33");
    file.close();
    EXPECT_EQ(ReadFile("r.dat"), "1133");
}

TEST(RecordFile, OperationsOnAClosedFileFail) {
    RecordFile file("never-opened.dat", 1);
    EXPECT_EQ(failureCode([&] { (void)file.size(); }), 103);
    EXPECT_EQ(InOutError::textFor(103), "I/O error 103");
}

TEST(RecordFile, ErrnoMapsOntoStandardTexts) {
    EXPECT_STREQ(InOutError::fromErrno(EACCES).what(), "File access denied");
    EXPECT_STREQ(InOutError::fromErrno(ENOSPC).what(), "Disk full");
    EXPECT_STREQ(InOutError::fromErrno(ENOENT).what(), "File not found");
    // EIO is 5, the classic code of "File access denied": the text must not mix them up.
    EXPECT_EQ(InOutError::fromErrno(EIO).what(), "I/O error " + std::to_string(EIO));
}

TEST(BinaryFiles, AppendNeedsAnExistingFile) {
    TempWorkDir dir;
    EXPECT_EQ(failureCode([] { AppendToFile("none.zip", "abc"); }), InOutError::FileNotFound);
    EXPECT_FALSE(Exists("none.zip"));
    WriteWholeFile("a.zip", "");
    AppendToFile("a.zip", std::string("x\0y", 3));
    AppendToFile("a.zip", "z");
    EXPECT_EQ(ReadWholeFile("a.zip"), std::string("x\0yz", 4));
}

TEST(RecordBytes, LittleEndianFieldsAndShortStrings) {
    RecordBytes<16> r;
    r.setInt32(0, -2);
    EXPECT_EQ(r.byteAt(0), 0xFE);
    EXPECT_EQ(r.byteAt(3), 0xFF);
    EXPECT_EQ(r.int32At(0), -2);
    r.setDouble(4, 1.5);
    EXPECT_EQ(r.byteAt(11), 0x3F);
    EXPECT_EQ(r.doubleAt(4), 1.5);

    RecordBytes<8> s;
    s.setShortString(0, 5, "abcdefgh");
    EXPECT_EQ(s.byteAt(0), 5);
    EXPECT_EQ(s.shortStringAt(0, 5), "abcde");
    s.setByte(0, 200); // a corrupt length never reads past the field
    EXPECT_EQ(s.shortStringAt(0, 5), "abcde");
    s.setShortString(0, 5, "xy");
    EXPECT_EQ(s.byteAt(3), 'c') << "bytes beyond the length keep their content";
    s.setShortString(0, 5, "abc\xC3\xA9"); // "abcé" fits exactly
    EXPECT_EQ(s.shortStringAt(0, 5), "abc\xC3\xA9");
    s.setShortString(0, 5, "abcd\xC3\xA9"); // the "é" would be split: left out whole
    EXPECT_EQ(s.shortStringAt(0, 5), "abcd");
}
