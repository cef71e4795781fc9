// Whole-program tests: the real windows under a real event loop, with the program's own
// application object, so that whatever escapes a handler reaches its error handler. They
// need a display with a window manager (./test provides Xvfb and openbox).

#include <QDir>
#include <QFile>
#include <QSurfaceFormat>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "Viewer.h"
#include "app/Application.h"
#include "runtime3d/render/GLDevice.h"

int main(int argc, char** argv) {
  // The windows made here create their pictures folder: in a home of their own, never in
  // the user's.
  QTemporaryDir home;
  if (!home.isValid() || !QDir(home.path()).mkpath("Documents") ||
      !QDir(home.path()).mkpath("runtime")) {
    return 2;
  }
  QFile::setPermissions(home.filePath("runtime"),
                        QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  // The display's credentials stay where they were found.
  if (qEnvironmentVariableIsEmpty("XAUTHORITY") && !qEnvironmentVariableIsEmpty("HOME")) {
    qputenv("XAUTHORITY", qgetenv("HOME") + "/.Xauthority");
  }
  qputenv("HOME", QFile::encodeName(home.path()));
  qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.filePath(".config")));
  qputenv("XDG_CACHE_HOME", QFile::encodeName(home.filePath(".cache")));
  qputenv("XDG_RUNTIME_DIR", QFile::encodeName(home.filePath("runtime")));

  QSurfaceFormat::setDefaultFormat(rt3d::DeviceSurfaceFormat());
  TApplication application(argc, argv);
  // The error box would stop the test: keep the messages for it to look at instead.
  TApplication::ShowErrorMessage = [](const QString& message) {
    robustness::ShownErrors().push_back(message);
  };
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
