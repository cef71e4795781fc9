// Whole-program tests: the real windows under a real event loop, with the program's own
// application object, so that whatever escapes a handler reaches its error handler. They
// need a display with a window manager (./test provides Xvfb and openbox).

#include <QSurfaceFormat>

#include <gtest/gtest.h>

#include "Viewer.h"
#include "app/Application.h"
#include "runtime3d/render/GLDevice.h"

int main(int argc, char** argv) {
  QSurfaceFormat::setDefaultFormat(rt3d::DeviceSurfaceFormat());
  TApplication application(argc, argv);
  // The error box would stop the test: keep the messages for it to look at instead.
  TApplication::ShowErrorMessage = [](const QString& message) {
    robustness::ShownErrors().push_back(message);
  };
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
