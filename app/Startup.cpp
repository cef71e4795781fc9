#include "app/Startup.h"

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
      window.View, &rt3d::TViewport3D::FramePresented, &window,
      [] {
        if (rt3d::TAniThread* clock = rt3d::TAniThread::Current()) clock->SetHeld(false);
      },
      Qt::SingleShotConnection);
}

int RunViewer(int argc, char** argv, const std::function<void(TMainWindow&)>& shown) {
  rt3d::PrepareGLForViews();
  TApplication application(argc, argv);
  // The textures' small versions decode right away, but not before the application object
  // is complete: Qt's image readers look up their plugins through it, and a worker doing so
  // while it is being built crashed the viewer. The full images wait until the view has
  // drawn their small versions: until then every core goes to getting that frame on screen.
  orvanth::TTextureImages textures =
      orvanth::StartDecodingTextures(orvanth::TTextureArrival::SmallFirst);
  TApplication::setApplicationName(QStringLiteral("Moons of Orvanth"));
  TApplication::setWindowIcon(QIcon(QPixmap::fromImage(
      QImage::fromData(orvanth::assets::Png(orvanth::assets::Image::Icon).data(),
                       int(orvanth::assets::Png(orvanth::assets::Image::Icon).size())))));

  // Checked before any window exists: a program that cannot draw says so and ends without
  // having built one.
  QString deviceError = rt3d::CheckOpenGLDevice();
  if (deviceError.isEmpty()) {
    TheMainWindow = new TMainWindow(textures);
    HoldUntilFirstFrame(*TheMainWindow);
    // The view's own device, made now while the textures decode, is ready for the first
    // frame.
    deviceError = TheMainWindow->View->PrepareDevice();
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
  TheMainWindow->AboutWindow = TheAboutWindow;
  TheMainWindow->show();
  if (shown) shown(*TheMainWindow);
  const int result = application.exec();
  delete TheAboutWindow;
  TheAboutWindow = nullptr;
  delete TheMainWindow;
  rt3d::FreeAnimationGlobals();
  return result;
}
