// Whole-program tests: the real windows under a real event loop, with the program's own
// application object, so that whatever escapes a handler reaches its error handler. They
// need a display with a window manager (./test provides Xvfb and openbox).

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <dlfcn.h>
#include <link.h>

#include <gtest/gtest.h>

#include "Viewer.h"
#include "app/Application.h"
#include "runtime3d/render/GLDevice.h"
#include "runtime3d/render/Presentation.h"
#include "tests/Wayland.h"

namespace {

// Keeps every library loaded now mapped until the process ends. The GL driver is unloaded
// when the application closes its display, before the leak check at exit runs, and a leak
// report could then not say which library an allocation came from.
void KeepLibrariesMapped() {
  dl_iterate_phdr(
      [](dl_phdr_info* info, std::size_t, void*) {
        if (info->dlpi_name != nullptr && info->dlpi_name[0] != '\0') {
          dlopen(info->dlpi_name, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
        }
        return 0;
      },
      nullptr);
}

}  // namespace

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
  KeepWaylandDisplay();
  qputenv("HOME", QFile::encodeName(home.path()));
  qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.filePath(".config")));
  qputenv("XDG_CACHE_HOME", QFile::encodeName(home.filePath(".cache")));
  qputenv("XDG_RUNTIME_DIR", QFile::encodeName(home.filePath("runtime")));

  rt3d::PrepareGLForViews();
  TApplication application(argc, argv);
  // The error box would stop the test: keep the messages for it to look at instead.
  TApplication::ShowErrorMessage = [](const QString& message) {
    robustness::ShownErrors().push_back(message);
  };
  ::testing::InitGoogleTest(&argc, argv);
  const int result = RUN_ALL_TESTS();
  KeepLibrariesMapped();
  return result;
}
