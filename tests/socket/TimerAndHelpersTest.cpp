// The thread timer, the shared hidden-window classes and the field helpers.

#include "SocketTestSupport.h"

#include "MessageWindow.h"
#include "NthWord.h"
#include "TThreadTimer.h"

#include <gtest/gtest.h>

using namespace zel;
using namespace zel::test;

TEST(ThreadTimer, RunsOnlyWithAnIntervalAndAHandler) {
    TThreadTimer timer;
    EXPECT_TRUE(timer.Enabled());
    EXPECT_EQ(timer.Interval(), 1000u);
    int fired = 0;
    timer.SetInterval(0);
    timer.SetOnTimer([&](QObject* sender) {
        EXPECT_EQ(sender, &timer);
        ++fired;
    });
    RunEventsFor(60);
    EXPECT_EQ(fired, 0) << "interval 0 stops the timer";

    timer.SetInterval(20);
    RunEventsFor(130);
    EXPECT_GE(fired, 2);

    timer.SetOnTimer({});
    int before = fired;
    RunEventsFor(60);
    EXPECT_EQ(fired, before) << "unbinding the handler stops it";

    timer.SetOnTimer([&](QObject*) { ++fired; });
    timer.SetEnabled(false);
    RunEventsFor(60);
    EXPECT_EQ(fired, before);
}

TEST(ThreadTimer, NeverFiresBeforeItsInterval) {
    TThreadTimer timer;
    QElapsedTimer clock;
    qint64 firstAt = -1;
    timer.SetInterval(100);
    clock.start();
    timer.SetOnTimer([&](QObject*) {
        if (firstAt < 0)
            firstAt = clock.elapsed();
    });
    WaitUntil([&] { return firstAt >= 0; }, 1000);
    EXPECT_GE(firstAt, 100);
}

TEST(ThreadTimer, ATooLongIntervalIsNoTimer) {
    TThreadTimer timer;
    timer.SetOnTimer([](QObject*) {});
    EXPECT_EQ(FailureOf<Exception>([&] { timer.SetInterval(0x80000000u); }), "No Timer");
}

TEST(ThreadTimer, ANegativeTimeOutIsRefusedWhenArmed) {
    LoopbackServer server;
    server.silent();
    auto b = ConnectedTo(server);
    b->TimeOut = -1;
    std::string line;
    EXPECT_THROW(b->ReadLn(line), ESockError);
}

TEST(HiddenWindows, ComponentsShareTheClassesAndEachHasItsOwnWindow) {
    TestBrumel first;
    TestBrumel second;
    EXPECT_TRUE(FindWindowClass("BrumelWindowClass", nullptr));
    EXPECT_TRUE(FindWindowClass("TmrWindowClass", nullptr));

    WindowClass found;
    ASSERT_TRUE(FindWindowClass("BrumelWindowClass", &found));
    EXPECT_GE(found.windowExtraBytes, sizeof(void*));
    EXPECT_FALSE(RegisterWindowClass(found)) << "a class is registered once";

    // A window of the class finds its owner; without one it gets default processing.
    WindowHandle plain = AllocateHiddenWindow("BrumelWindowClass", nullptr, nullptr);
    ASSERT_NE(plain, nullptr);
    EXPECT_EQ(GetWindowOwner(plain), nullptr);
    EXPECT_EQ(SendWindowMessage(plain, TBrumel::LookupReplyMessage, 0, 0), 0);
    DestroyHiddenWindow(plain);
}

TEST(HiddenWindows, APostedMessageFromAClosedSenderIsDropped) {
    static int delivered = 0;
    WindowClass counting{"CountingTestClass",
                         [](WindowHandle, std::uint32_t, std::uintptr_t, std::intptr_t) {
                             ++delivered;
                             return std::intptr_t{0};
                         },
                         0};
    ASSERT_TRUE(RegisterWindowClass(counting));
    WindowHandle window = CreateHiddenWindow("CountingTestClass");
    auto sender = std::make_shared<int>(0);
    PostWindowMessage(window, 2000, 0, 0, sender);
    PostWindowMessage(window, 2000, 0, 0, sender);
    sender.reset();
    auto alive = std::make_shared<int>(0);
    PostWindowMessage(window, 2000, 0, 0, alive);
    RunEventsFor(30);
    EXPECT_EQ(delivered, 1);

    PostWindowMessage(window, 2000, 0, 0, alive);
    DestroyHiddenWindow(window); // its queued messages go with it
    RunEventsFor(30);
    EXPECT_EQ(delivered, 1);
}

TEST(NthWord, CountsFieldsBetweenEverySeparator) {
    EXPECT_EQ(NthWord("", '/', 1), "");
    EXPECT_EQ(NthWord("http://host/path", '/', 1), "http:");
    EXPECT_EQ(NthWord("http://host/path", '/', 2), "") << "two separators enclose an empty field";
    EXPECT_EQ(NthWord("http://host/path", '/', 3), "host");
    EXPECT_EQ(NthWord("http://host/path", '/', 4), "path");
    EXPECT_EQ(NthWord("http://host/path", '/', 5), "") << "fewer than N - 1 separators";
    EXPECT_EQ(NthWord("host:8080", ':', 2), "8080");
    EXPECT_EQ(NthWord("a b", ' ', 1), "a");
    EXPECT_EQ(NthWord("ends with/", '/', 2), "");
}

TEST(NthPos, FindsTheNthOccurrenceOrGivesLengthPlusOne) {
    EXPECT_EQ(NthPos("http://host/path", '/', 1), 6u);
    EXPECT_EQ(NthPos("http://host/path", '/', 3), 12u);
    EXPECT_EQ(NthPos("http://host/", '/', 3), 12u) << "the last character";
    EXPECT_EQ(NthPos("http://host", '/', 3), 12u) << "fewer occurrences: length + 1";
    EXPECT_EQ(NthPos("x", '/', 1), 2u);
}
