#include "EventWait.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <gtest/gtest.h>

using namespace zel;

TEST(EventWait, AnIdleWaitSleepsUntilTheDeadlineAndAnEventEndsItEarly) {
    QElapsedTimer clock;
    clock.start();
    int wakeUps = 0;
    while (clock.elapsed() < 200) {
        WaitForEvents(200 - static_cast<int>(clock.elapsed()));
        ++wakeUps;
    }
    EXPECT_LT(wakeUps, 20) << "an idle wait must sleep, not spin";

    bool fired = false;
    QTimer::singleShot(10, [&] { fired = true; });
    clock.restart();
    while (!fired && clock.elapsed() < 5000)
        WaitForEvents(5000);
    EXPECT_TRUE(fired);
    EXPECT_LT(clock.elapsed(), 2500);
}

TEST(EventWait, DispatchRunsWhatIsPendingWithoutBlocking) {
    bool ran = false;
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [&] { ran = true; }, Qt::QueuedConnection);
    DispatchPendingEvents();
    EXPECT_TRUE(ran);
}

TEST(EventWait, WaitUntilEndsWhenTheConditionHoldsOrAtTheDeadline) {
    bool set = false;
    QTimer::singleShot(20, [&] { set = true; });
    QElapsedTimer clock;
    clock.start();
    EXPECT_TRUE(WaitUntil([&] { return set; }, 5000));
    EXPECT_LT(clock.elapsed(), 2500);

    int asked = 0;
    clock.restart();
    EXPECT_FALSE(WaitUntil([&] { return ++asked < 0; }, 150));
    EXPECT_GE(clock.elapsed(), 149);
    EXPECT_LT(asked, 20) << "the condition is asked per batch of events, not in a spin";
}
