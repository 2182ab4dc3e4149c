// Test main shared by every test program: the program's own application object (with its
// top-level error handler) under the offscreen platform, then GoogleTest.
#include "app/program.h"
#include "app/window_style.h"

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleTest(&argc, argv);
    QuizApplication application(argc, argv);
    InstallGothicSubstitution();
    return RUN_ALL_TESTS();
}
