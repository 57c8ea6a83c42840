// Base64 and uuencode lines of the UU/MIME processor.

#include "Exception.h"
#include "TQzUUProcessor.h"

#include <QBuffer>
#include <gtest/gtest.h>

using zel::TQzUUProcessor;

namespace {

std::string Counting(int n) {
    std::string bytes;
    for (int i = 0; i < n; ++i)
        bytes += static_cast<char>(i);
    return bytes;
}

// Encodes `input` and returns the whole output, checking that it was rewound.
std::string Encode(const std::string& input, zel::UUMethods method) {
    QBuffer in;
    in.setData(input.data(), static_cast<qsizetype>(input.size()));
    in.open(QIODevice::ReadOnly);
    in.seek(in.size()); // read from the start all the same
    QBuffer out;
    out.open(QIODevice::ReadWrite);
    TQzUUProcessor processor;
    processor.Method = method;
    processor.InputStream = &in;
    processor.OutputStream = &out;
    processor.EncodeStream();
    EXPECT_EQ(out.pos(), 0);
    return out.readAll().toStdString();
}

const char Base64Of45[] = "AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh8gISIjJCUmJygpKiss";
const char UuOf45[] = "M``$\"`P0%!@<(\"0H+#`T.#Q`1$A,4%187&!D:&QP='A\\@(2(C)\"4F)R@I*BLL";

} // namespace

TEST(UUProcessor, Base64LinesOfOneTwoFortyFiveAndFortySixBytes) {
    EXPECT_EQ(Encode("", zel::uuMime), "");
    EXPECT_EQ(Encode(Counting(1), zel::uuMime), "AA==\r\n");
    EXPECT_EQ(Encode(Counting(2), zel::uuMime), "AAE=\r\n");
    EXPECT_EQ(Encode(Counting(45), zel::uuMime), std::string(Base64Of45) + "\r\n");
    EXPECT_EQ(Encode(Counting(46), zel::uuMime), std::string(Base64Of45) + "\r\nLQ==\r\n");
    EXPECT_EQ(Encode("user:pass", zel::uuMime), "dXNlcjpwYXNz\r\n");
}

TEST(UUProcessor, UuencodeLinesCarryALengthCharacterAndEndWithTheGraveLine) {
    EXPECT_EQ(Encode("", zel::uuCode), "`\r\n");
    EXPECT_EQ(Encode("abc", zel::uuCode), "#86)C\r\n`\r\n");
    EXPECT_EQ(Encode(Counting(1), zel::uuCode), "!``\r\n`\r\n");
    EXPECT_EQ(Encode(Counting(2), zel::uuCode), "\"``$\r\n`\r\n");
    EXPECT_EQ(Encode(Counting(45), zel::uuCode), std::string(UuOf45) + "\r\n`\r\n");
    EXPECT_EQ(Encode(Counting(46), zel::uuCode), std::string(UuOf45) + "\r\n!+0\r\n`\r\n");
}

TEST(UUProcessor, AFailingOutputStillRewindsAndEndsTheEncoding) {
    QBuffer in;
    in.setData("abc", 3);
    in.open(QIODevice::ReadOnly);
    QBuffer out;
    out.open(QIODevice::ReadOnly); // writing fails
    TQzUUProcessor processor;
    std::string events;
    processor.OnBeginEncode = [&](QObject* sender) {
        EXPECT_EQ(sender, &processor);
        events += "begin ";
    };
    processor.OnEndEncode = [&](QObject*) { events += "end"; };
    processor.InputStream = &in;
    processor.OutputStream = &out;
    EXPECT_THROW(processor.EncodeStream(), zel::Exception);
    EXPECT_EQ(events, "begin end");
    EXPECT_EQ(out.pos(), 0);
}
