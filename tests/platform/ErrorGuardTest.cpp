#include "ErrorGuard.h"
#include "InOutError.h"
#include "MessageBoxRecorder.h"

#include <QCoreApplication>
#include <QTimer>
#include <gtest/gtest.h>

using namespace zel;
using namespace zel::test;

TEST(ErrorGuard, UncaughtFailureOfAnEventHandlerShowsTheErrorBoxAndTheLoopGoesOn) {
    MessageBoxRecorder boxes;
    bool later = false;
    QTimer::singleShot(0, [] { throw InOutError(InOutError::DiskFull); });
    QTimer::singleShot(5, [&] { later = true; });
    QTimer::singleShot(20, [] { QCoreApplication::exit(0); });
    QCoreApplication::exec();
    ASSERT_EQ(boxes.calls().size(), 1u);
    EXPECT_EQ(boxes.calls()[0].kind, MessageKind::Error);
    EXPECT_EQ(boxes.calls()[0].text, "Disk full");
    EXPECT_EQ(boxes.calls()[0].buttons, MessageButtons::Ok);
    EXPECT_TRUE(later);
}

TEST(ErrorGuard, GuardedReturnsNormallyAfterAFailure) {
    MessageBoxRecorder boxes;
    Guarded([] { throw std::runtime_error("broken"); });
    Guarded([] { throw 42; });
    EXPECT_EQ(boxes.texts(), (std::vector<std::string>{"broken", "Unknown failure"}));
}
