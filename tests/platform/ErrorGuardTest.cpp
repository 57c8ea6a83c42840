#include "ErrorGuard.h"
#include "ConnectGuarded.h"
#include "InOutError.h"
#include "MessageBoxRecorder.h"

#include <QCoreApplication>
#include <QTimer>
#include <gtest/gtest.h>

using namespace zel;
using namespace zel::test;

namespace {
struct FailingReceiver : QObject {
    std::string seen;
    void NameChanged(const QString& name) {
        seen = name.toStdString();
        throw InOutError(InOutError::DiskFull);
    }
};
} // namespace

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

TEST(ErrorGuard, AGuardedConnectionEndsTheFailureBeforeTheSignalReturns) {
    MessageBoxRecorder boxes;
    QObject sender;
    FailingReceiver receiver;
    ConnectGuarded(&sender, &QObject::objectNameChanged, &receiver, &FailingReceiver::NameChanged);
    EXPECT_NO_THROW(sender.setObjectName("x"));
    EXPECT_EQ(receiver.seen, "x");
    EXPECT_EQ(boxes.texts(), (std::vector<std::string>{"Disk full"}));
}
