#pragma once
// A shown viewport, its first frame drawn, with a camera at (0, 0, -15) looking at the origin,
// and helpers to build bodies and read pixels.

#include <memory>
#include <string>
#include <vector>

#include <QApplication>
#include <QImage>

#include <gtest/gtest.h>

#include "runtime3d/core/Camera.h"
#include "runtime3d/core/Light.h"
#include "runtime3d/material/MaterialSource.h"
#include "runtime3d/mesh/Sphere.h"
#include "runtime3d/render/Viewport3D.h"

namespace rt3d::test {

// Catches what escapes an event handler, as the program's application object does, and
// keeps the messages for the test to look at.
class TReportingApplication : public QApplication {
 public:
  using QApplication::QApplication;
  bool notify(QObject* receiver, QEvent* event) override;
  static std::vector<std::string>& Errors();
};

// 8-bit channels of one pixel, premultiplied as read back.
struct TRgba {
  int R = 0, G = 0, B = 0, A = 0;
};
TRgba PixelAt(const QImage& image, int x, int y);
std::string ToString(const TRgba& c);
// Every channel within tolerance of the expected value.
::testing::AssertionResult Near(const TRgba& actual, const TRgba& expected, int tolerance = 2);

// Runs one disabled test of this program in a child process with extra environment
// variables (a display scale, a driver setting) and says whether it passed.
::testing::AssertionResult RunChildTest(const char* testName,
                                        const std::vector<std::pair<QString, QString>>& env);

// A one-colour opaque image.
QImage SolidImage(QRgb color, int width = 16, int height = 16);

// The widget's place on the X screen once the window system has settled on a picture of it
// (a failure when it never does).
QImage SteadyScreen(const QWidget& widget);
// Where two pictures differ, as a line to read; empty when they are the same.
std::string Differences(const QImage& a, const QImage& b);

struct ViewportScene : ::testing::Test {
  static constexpr int kSize = 200;

  void SetUp() override;
  void TearDown() override;

  // A sphere of radius `radius` at `position`, placed directly in the view.
  TSphere* AddSphere(float radius, const TPoint3D& position = {}, TTreeObject* parent = nullptr);
  // A light on its own dummy at (0, 0, -30); its +Z axis turned by `turnY` degrees about Y.
  TLight* AddLight(float turnY = 0);
  TLightMaterialSource* LitMaterial(QRgb textureColor);
  TTextureMaterialSource* TextureMaterial(const QImage& image);
  // Renders afresh and reads the pixels back (MakeScreenshot).
  QImage Render();

  std::unique_ptr<TViewport3D> viewport;
  TCamera* camera = nullptr;
  // Material sources live outside the view, as the window keeps them.
  std::vector<std::unique_ptr<TMaterialSource>> sources;
};

}  // namespace rt3d::test
