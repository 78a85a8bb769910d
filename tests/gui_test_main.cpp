// Runs the window tests offscreen inside one application object, as the program has.
#include "app/startup.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

int main(int argc, char** argv)
{
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);  // whatever display the caller has
    // The tests read English words, whatever language the caller speaks.
    ::setenv("LC_ALL", "C.UTF-8", 1);
    ::unsetenv("LANGUAGE");
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::GTEST_FLAG(death_test_style) = "threadsafe";
    TApplication application(argc, argv, ZimbrotsIdentity());
    application.Initialize();
    return RUN_ALL_TESTS();
}
