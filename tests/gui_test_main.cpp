// Runs the window tests offscreen inside one application object, as the program has.
#include "platform/application.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

int main(int argc, char** argv)
{
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::GTEST_FLAG(death_test_style) = "threadsafe";
    TApplication application(argc, argv);
    application.Initialize();
    return RUN_ALL_TESTS();
}
