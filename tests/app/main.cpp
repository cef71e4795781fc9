#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "app/Application.h"
#include "runtime3d/render/GLDevice.h"
#include "runtime3d/render/Presentation.h"
#include "tests/Wayland.h"
#include "tests/app/MainWindowFixture.h"

// The real main window in a real display: run under Xvfb with a window manager (./test
// provides both), since full screen, placement and activation are the window manager's.
int main(int argc, char** argv) {
  // Every window made here prepares its pictures folder: in a home of its own, with a
  // documents folder, never in the user's.
  QTemporaryDir home;
  if (!home.isValid() || !QDir(home.path()).mkpath("Documents") ||
      !QDir(home.path()).mkpath("runtime")) {
    return 2;
  }
  QFile::setPermissions(home.filePath("runtime"),
                        QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  // The display's credentials stay where they were found.
  if (qEnvironmentVariableIsEmpty("XAUTHORITY") && !qEnvironmentVariableIsEmpty("HOME"))
    qputenv("XAUTHORITY", qgetenv("HOME") + "/.Xauthority");
  KeepWaylandDisplay();
  qputenv("HOME", QFile::encodeName(home.path()));
  qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.filePath(".config")));
  qputenv("XDG_RUNTIME_DIR", QFile::encodeName(home.filePath("runtime")));

  rt3d::PrepareGLForViews();
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
