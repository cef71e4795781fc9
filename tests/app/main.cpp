#include <QSurfaceFormat>

#include <gtest/gtest.h>

#include "app/Application.h"
#include "runtime3d/render/GLDevice.h"
#include "tests/app/MainWindowFixture.h"

// The real main window in a real display: run under Xvfb with a window manager (./test
// provides both), since full screen, placement and activation are the window manager's.
int main(int argc, char** argv) {
  QSurfaceFormat::setDefaultFormat(rt3d::DeviceSurfaceFormat());
  TApplication application(argc, argv);
  // No modal error box may ever block a test: the messages are recorded instead.
  TApplication::ShowErrorMessage = [](const QString& message) {
    apptest::ErrorMessages().push_back(message);
  };
  // Time moves only when a test says so, before the first window starts an animation.
  apptest::InstallManualAnimationClock();
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
