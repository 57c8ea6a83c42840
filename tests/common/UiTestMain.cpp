#include "GuardedApplication.h"
#include "TestEnvironment.h"
#include "WebEngineSetup.h"

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    zel::test::PinEnvironment();
    zel::PrepareWebEngine();
    zel::GuardedApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
