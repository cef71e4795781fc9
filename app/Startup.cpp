#include "app/Startup.h"

#include <QSocketNotifier>

#include <fcntl.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>

#include "app/AboutWindow.h"
#include "app/Application.h"
#include "app/MainWindow.h"
#include "assets/Assets.h"
#include "runtime3d/animation/AniThread.h"
#include "runtime3d/animation/Animator.h"
#include "runtime3d/render/GLDevice.h"
#include "runtime3d/render/Presentation.h"
#include "scene/SceneDefinition.h"

void HoldUntilFirstFrame(TMainWindow& window) {
  rt3d::TAniThread::Ensure().SetHeld(true);
  QObject::connect(
      window.View(), &rt3d::TViewport3D::FramePresented, &window,
      [] {
        if (rt3d::TAniThread* clock = rt3d::TAniThread::Current()) clock->SetHeld(false);
      },
      Qt::SingleShotConnection);
}

namespace {

int gEndRequests[2] = {-1, -1};

void RequestEnd(int) {
  const char byte = 1;
  [[maybe_unused]] const ssize_t written = write(gEndRequests[1], &byte, 1);
}

// A session that logs out or a `kill` asks with SIGTERM, a terminal with SIGINT or SIGHUP:
// the viewer then ends as through its Exit command, with its windows taken down in order.
void EndOnTerminationSignals(QObject& owner) {
  if (gEndRequests[0] < 0 && pipe2(gEndRequests, O_CLOEXEC | O_NONBLOCK) != 0) return;
  auto* notifier = new QSocketNotifier(gEndRequests[0], QSocketNotifier::Read, &owner);
  QObject::connect(notifier, &QSocketNotifier::activated, &owner, [] {
    char drained[16];
    while (read(gEndRequests[0], drained, sizeof drained) > 0) {
    }
    TApplication::Terminate();
  });
  struct sigaction action {};
  action.sa_handler = RequestEnd;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (const int signal : {SIGTERM, SIGINT, SIGHUP}) sigaction(signal, &action, nullptr);
}

}  // namespace

int RunViewer(int argc, char** argv, const std::function<void(TMainWindow&)>& shown) {
  rt3d::PrepareGLForViews();
  // The toolkit gets the program's name alone: its own options (-reverse, -style, ...) are
  // not the user's to give, and the program's options are read before this.
  int toolkitArgc = argc > 0 ? 1 : 0;
  char* toolkitArgv[] = {argc > 0 ? argv[0] : nullptr, nullptr};
  TApplication application(toolkitArgc, toolkitArgv);
  EndOnTerminationSignals(application);
  // The textures' small versions decode right away, but not before the application object
  // is complete: Qt's image readers look up their plugins through it, and a worker doing so
  // while it is being built crashed the viewer. The full images wait until the view has
  // drawn their small versions: until then every core goes to getting that frame on screen.
  orvanth::TTextureImages textures =
      orvanth::StartDecodingTextures(orvanth::TTextureArrival::SmallFirst);
  TApplication::setApplicationName(QStringLiteral("Moons of Orvanth"));
  TApplication::setApplicationVersion(QStringLiteral(ORVANTH_VERSION));
  TApplication::setWindowIcon(QIcon(QPixmap::fromImage(
      QImage::fromData(orvanth::assets::Png(orvanth::assets::Image::Icon).data(),
                       int(orvanth::assets::Png(orvanth::assets::Image::Icon).size())))));

  // Checked before any window exists: a program that cannot draw says so and ends without
  // having built one.
  QString deviceError = rt3d::CheckOpenGLDevice().Message();
  if (deviceError.isEmpty()) {
    TheMainWindow = new TMainWindow(textures);
    HoldUntilFirstFrame(*TheMainWindow);
    // The view's own device, made now while the textures decode, is ready for the first
    // frame.
    deviceError = TheMainWindow->View()->PrepareDevice().Message();
  }
  if (!deviceError.isEmpty()) {
    std::fprintf(stderr, "%s\n", deviceError.toLocal8Bit().constData());
    TApplication::ShowErrorMessage(deviceError);
    delete TheMainWindow;
    TheMainWindow = nullptr;
    rt3d::FreeAnimationGlobals();
    return 1;
  }
  TheAboutWindow = new TAboutWindow(TheMainWindow);
  TheMainWindow->SetAboutWindow(TheAboutWindow);
  TheMainWindow->show();
  if (shown) shown(*TheMainWindow);
  const int result = application.exec();
  delete TheAboutWindow;
  TheAboutWindow = nullptr;
  delete TheMainWindow;
  rt3d::FreeAnimationGlobals();
  return result;
}
