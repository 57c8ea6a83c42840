#include "ServiceReply.h"
#include "FailureOf.h"

#include <gtest/gtest.h>

using namespace zel;
using namespace zel::test;

namespace {
ServiceReply Read(const std::string& reply) {
    return ReadServiceReply(reply);
}

// The failure's text, which must be the warning about an unreadable reply.
std::string UnreadableText(const std::string& reply) {
    const std::string text = FailureOf<UnreadableReply>([&] { ReadServiceReply(reply); });
    EXPECT_TRUE(text.starts_with("Program server sent an unreadable reply:\r")) << reply;
    return text;
}

void ExpectUnreadable(const std::string& reply) {
    UnreadableText(reply);
}
} // namespace

TEST(ServiceReply, RulesApplyInTheirOrder) {
    EXPECT_EQ(Read("NexT;20:").kind, ReplyKind::NotReady);
    EXPECT_EQ(Read("NexT;20:").pageSize, 20);
    // "NexT" wins over everything else in the same reply.
    EXPECT_EQ(Read("Bad,OK,NexT;-5:").kind, ReplyKind::NotReady);
    EXPECT_EQ(Read("Bad,OK,NexT;-5:").pageSize, -5);
    EXPECT_EQ(Read("").kind, ReplyKind::Empty);

    const ServiceReply bad = Read("Bad,Your login has expired.");
    EXPECT_EQ(bad.kind, ReplyKind::Refused);
    EXPECT_EQ(bad.message, "Your login has expired.");
    EXPECT_EQ(Read("x Bad, OK,1;2:").kind, ReplyKind::Refused) << "\"Bad,\" anywhere";
    EXPECT_EQ(Read("x Bad, OK,1;2:").message, "d, OK,1;2:") << "less the first 4 characters";
    EXPECT_EQ(Read("Bad,").message, "");

    EXPECT_EQ(Read("Sorry").kind, ReplyKind::Unavailable);
    EXPECT_EQ(Read("ok,1;2:").kind, ReplyKind::Unavailable) << "\"OK\" is case-sensitive";
}

TEST(ServiceReply, ReadyReplyCarriesArchiveAndPageSize) {
    const ServiceReply ok = Read("OK,100;500:");
    EXPECT_EQ(ok.kind, ReplyKind::Ready);
    EXPECT_EQ(ok.archiveSizeText, "100");
    EXPECT_EQ(ok.archiveSize, 100);
    EXPECT_EQ(ok.pageSize, 500);

    // The size text is shown as received; as a number it may have blanks before it.
    const ServiceReply padded = Read("OK, 2048;0:\r\n");
    EXPECT_EQ(padded.archiveSizeText, " 2048");
    EXPECT_EQ(padded.archiveSize, 2048);
    EXPECT_EQ(padded.pageSize, 0);
}

TEST(ServiceReply, NumbersThatAreMissingGiveAClearWarningInsteadOfAConversionError) {
    ExpectUnreadable("NexT");
    ExpectUnreadable("NexT:20;");
    ExpectUnreadable("NexT;:");
    ExpectUnreadable("NexT;2x:");
    ExpectUnreadable("OK");
    ExpectUnreadable("OK,100;");
    ExpectUnreadable("OK,;500:");
    ExpectUnreadable("OK,99999999999;1:");
    // A long reply is cut in the message, on a character boundary.
    ExpectUnreadable("OK " + std::string(200, 'x'));
    EXPECT_LT(UnreadableText("OK " + std::string(200, '\xC3')).size(), 140u);
}

TEST(ServiceReply, FieldsFollowTheFirstDelimiters) {
    EXPECT_EQ(ReplyField("OK,100;500:", ',', ';'), "100");
    EXPECT_EQ(ReplyField("a;b:c;d:", ';', ':'), "b");
    EXPECT_EQ(ReplyField("20:", ';', ':'), "20") << "no start: from the first character";
    EXPECT_EQ(ReplyField(":x;", ';', ':'), "") << "end before start";
    EXPECT_EQ(ReplyField("x;y", ';', ':'), "") << "no end";
    EXPECT_EQ(ReplyField("", ';', ':'), "");
}
