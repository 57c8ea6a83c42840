// Failures by kind: the one table of what the user reads, and the outcome
// line of the job child's pipe, which the service reads as untrusted input.

#include "JobChild.h"
#include "Replies.h"
#include "ServiceTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace zel::service;

TEST(Replies, EveryKindHasAnErrorStatusAndOneLineTheBrowserShows) {
    const struct {
        FailureKind kind;
        Reply reply;
    } spots[] = {
        {FailureKind::TooBig, {422, "Bad,The page is too big."}},
        {FailureKind::Inflated, {422, "Bad,The page is too big."}},
        {FailureKind::WallTime, {504, "Bad,Time-out: the page took too long to make."}},
        {FailureKind::Busy,
         {503, "Bad,The service is busy with other pages. Try again in a minute."}},
        {FailureKind::PageLost, {404, "Bad,The page was lost on the way - press Go again."}},
        {FailureKind::UnknownLogin,
         {403, "Bad,Unknown login. Ask for one in Options, page Get Login."}},
    };
    for (const auto& spot : spots)
        EXPECT_EQ(BadReply(spot.kind), spot.reply);
    for (std::size_t i = 0; i < kFailureKinds; ++i) {
        const Refusal refusal = RefusalOf(FailureKind(i));
        const std::string text = refusal.text;
        // 401 would make the browser's client ask for a password.
        EXPECT_TRUE(refusal.status >= 400 && refusal.status < 600 && refusal.status != 401) << i;
        EXPECT_FALSE(text.empty()) << i;
        // "NexT" would make the browser poll for ever; a line break splits its message.
        EXPECT_EQ(text.find("NexT"), std::string::npos) << i;
        EXPECT_TRUE(std::ranges::none_of(text, [](unsigned char c) { return c < 0x20; })) << i;
    }
    EXPECT_EQ(OkReply(100, 500), (Reply{200, "OK,100;500:"}));
    EXPECT_EQ(NextReply(20), (Reply{200, "NexT;20:"}));
}

TEST(JobChild, EveryKindCrossesThePipeAndNonsenseIsAGarbledReport) {
    for (std::size_t i = 0; i < kFailureKinds; ++i) {
        const PageOutcome read =
            ReadOutcomeLine(OutcomeLine(PageOutcome::Failed(FailureKind(i), "two\nlines")));
        EXPECT_FALSE(read.ok) << i;
        EXPECT_EQ(read.failure, FailureKind(i));
        EXPECT_EQ(read.detail, "two lines");
    }
    const PageOutcome made = ReadOutcomeLine(OutcomeLine(PageOutcome::Made(700, 9)));
    EXPECT_TRUE(made.ok);
    EXPECT_EQ(made.pageBytes, 700);
    EXPECT_EQ(made.archiveBytes, 9);
    for (const char* line :
         {"done", "done ok", "done ok 1", "done ok  1 2", "done ok -1 2", "done ok 1 2x",
          "done ok 1 99999999999999999999", "done no-such-kind 1 2", "done TOO-BIG 1 2",
          "fetched 1 2", "done\tok 1 2"}) {
        const PageOutcome read = ReadOutcomeLine(line);
        EXPECT_FALSE(read.ok) << line;
        EXPECT_EQ(read.failure, FailureKind::GarbledReport) << line;
    }
}

TEST(JobChild, StageTimesCrossThePipeAndNonsenseReadsAsNone) {
    StageTimes times;
    times.cpuSeconds[int(Stage::Decode)] = 1.25;
    times.runs[int(Stage::Decode)] = 58;
    times.runs[int(Stage::Pack)] = 1;
    const auto read = StageTimes::FromFields(times.Fields());
    ASSERT_TRUE(read);
    EXPECT_EQ(read->cpuSeconds, times.cpuSeconds);
    EXPECT_EQ(read->runs, times.runs);
    EXPECT_TRUE(StageTimes::FromFields("cpu=0.000"));
    for (const char* text : {"decode", "decode=1", "decode=/1", "decode=1/", "decode=-1/2",
                             "decode=1/-2", "decode=1/2x", "nonsense=1/2", "decode=1/2  pack=1/1",
                             "decode=0x10/1", "decode=inf/1", "decode/1=2"})
        EXPECT_FALSE(StageTimes::FromFields(text)) << text;
}
