#include "app/Startup.h"

#include <QSurfaceFormat>
#include <cstdio>

#include "app/Application.h"
#include "app/Unit1.h"
#include "app/Unit2.h"
#include "assets/Assets.h"
#include "runtime3d/animation/Animator.h"
#include "runtime3d/render/GLDevice.h"
#include "scene/SceneDefinition.h"

int RunViewer(int argc, char** argv, const std::function<void(TForm2&)>& shown) {
  QSurfaceFormat::setDefaultFormat(rt3d::DeviceSurfaceFormat());
  TApplication application(argc, argv);
  // The textures are the longest job of start-up: decoding starts right away, but not
  // before the application object is complete. Qt's image readers look up their plugins
  // through it, and a worker doing so while it is being built crashed the viewer.
  std::unique_ptr<rt3d::TDecodeBatch> textures = orvanth::StartDecodingTextures();
  TApplication::setApplicationName(QStringLiteral("Moons of Orvanth"));
  TApplication::setWindowIcon(QIcon(QPixmap::fromImage(
      QImage::fromData(orvanth::assets::Png(orvanth::assets::Image::Icon).data(),
                       int(orvanth::assets::Png(orvanth::assets::Image::Icon).size())))));

  // Checked before any window exists: a program that cannot draw says so and ends without
  // having built one.
  QString deviceError = rt3d::CheckOpenGLDevice();
  if (deviceError.isEmpty()) {
    Form2 = new TForm2(std::move(textures));
    // The view's own device, made now while the textures decode, is ready for the first
    // frame.
    deviceError = Form2->Viewport3D1->PrepareDevice();
  }
  if (!deviceError.isEmpty()) {
    std::fprintf(stderr, "%s\n", deviceError.toLocal8Bit().constData());
    TApplication::ShowErrorMessage(deviceError);
    delete Form2;
    Form2 = nullptr;
    rt3d::FreeAnimationGlobals();
    return 1;
  }
  Form1 = new TForm1(Form2);
  Form2->show();
  if (shown) shown(*Form2);
  const int result = application.exec();
  delete Form1;
  Form1 = nullptr;
  delete Form2;
  rt3d::FreeAnimationGlobals();
  return result;
}
