#include "RenderFixture.h"

#include <cstdlib>
#include <exception>

#include <QGuiApplication>
#include <QProcess>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QWidget>

#include "runtime3d/core/Control3D.h"

namespace rt3d::test {

bool TReportingApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (const std::exception& failure) {
    Errors().push_back(failure.what());
  }
  return false;
}

std::vector<std::string>& TReportingApplication::Errors() {
  static std::vector<std::string> errors;
  return errors;
}

TRgba PixelAt(const QImage& image, int x, int y) {
  const QRgb p = image.pixel(x, y);
  return {qRed(p), qGreen(p), qBlue(p), qAlpha(p)};
}

std::string ToString(const TRgba& c) {
  return "(" + std::to_string(c.R) + ", " + std::to_string(c.G) + ", " + std::to_string(c.B) +
         ", " + std::to_string(c.A) + ")";
}

::testing::AssertionResult Near(const TRgba& actual, const TRgba& expected, int tolerance) {
  const bool near = std::abs(actual.R - expected.R) <= tolerance &&
                    std::abs(actual.G - expected.G) <= tolerance &&
                    std::abs(actual.B - expected.B) <= tolerance &&
                    std::abs(actual.A - expected.A) <= tolerance;
  if (near) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "pixel " << ToString(actual) << ", expected "
                                       << ToString(expected) << " +-" << tolerance;
}

::testing::AssertionResult RunChildTest(const char* testName,
                                        const std::vector<std::pair<QString, QString>>& env) {
  QProcess child;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  for (const auto& [name, value] : env) environment.insert(name, value);
  child.setProcessEnvironment(environment);
  child.setProcessChannelMode(QProcess::MergedChannels);
  child.start(QCoreApplication::applicationFilePath(),
              {"--gtest_also_run_disabled_tests", QString("--gtest_filter=") + testName});
  if (!child.waitForFinished(120000)) return ::testing::AssertionFailure() << "child hung";
  const QString output = QString::fromLocal8Bit(child.readAll());
  if (child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0 &&
      output.contains("[  PASSED  ] 1 test")) {
    return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure() << output.toStdString();
}

QImage SolidImage(QRgb color, int width, int height) {
  QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
  image.fill(color);
  return image;
}

QImage SteadyScreen(const QWidget& widget) {
  const QRect place(widget.mapToGlobal(QPoint(0, 0)), widget.size());
  QImage last;
  for (int i = 0; i < 50; ++i) {
    QTest::qWait(40);
    QImage now = QGuiApplication::primaryScreen()
                     ->grabWindow(0, place.x(), place.y(), place.width(), place.height())
                     .toImage()
                     .convertToFormat(QImage::Format_RGB32);
    if (!last.isNull() && now == last) return now;
    last = std::move(now);
  }
  ADD_FAILURE() << "the screen never settled";
  return last;
}

std::string Differences(const QImage& a, const QImage& b) {
  if (a.size() != b.size()) return "sizes differ";
  int count = 0;
  std::string first;
  for (int y = 0; y < a.height(); ++y) {
    for (int x = 0; x < a.width(); ++x) {
      if (a.pixel(x, y) == b.pixel(x, y)) continue;
      if (count++ == 0) {
        first = ", the first at (" + std::to_string(x) + ", " + std::to_string(y) +
                "): " + ToString(PixelAt(a, x, y)) + " against " + ToString(PixelAt(b, x, y));
      }
    }
  }
  return count == 0 ? std::string() : std::to_string(count) + " pixels differ" + first;
}

void ViewportScene::SetUp() {
  TReportingApplication::Errors().clear();
  viewport = std::make_unique<TViewport3D>();
  viewport->resize(kSize, kSize);
  camera = new TCamera("Camera");
  viewport->Root()->AddObject(camera);
  camera->Position().SetPoint({0, 0, -15});
  viewport->SetCamera(camera);
  viewport->SetUsingDefaultCamera(false);
  viewport->SetColor(claNull);
  QSignalSpy presented(viewport.get(), &TViewport3D::FramePresented);
  viewport->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(viewport.get()));
  // The paint that shows the view asks for its first frame, which makes the device.
  ASSERT_TRUE(!presented.isEmpty() || presented.wait(5000)) << "no first frame";
  ASSERT_TRUE(viewport->DeviceError().isEmpty()) << viewport->DeviceError().toStdString();
}

void ViewportScene::TearDown() {
  viewport.reset();
  sources.clear();
}

TSphere* ViewportScene::AddSphere(float radius, const TPoint3D& position, TTreeObject* parent) {
  auto* sphere = new TSphere();
  sphere->SetSubdivisionsAxes(50);
  sphere->SetSubdivisionsHeight(50);
  sphere->SetSize(2 * radius, 2 * radius, 2 * radius);
  sphere->Position().SetPoint(position);
  (parent ? parent : viewport->Root())->AddObject(sphere);
  return sphere;
}

TLight* ViewportScene::AddLight(float turnY) {
  auto* rig = new TDummy("LightRig");
  viewport->Root()->AddObject(rig);
  auto* light = new TLight("Light");
  rig->AddObject(light);
  light->Position().SetPoint({0, 0, -30});
  rig->RotationAngle().SetY(turnY);
  return light;
}

TLightMaterialSource* ViewportScene::LitMaterial(QRgb textureColor) {
  auto source = std::make_unique<TLightMaterialSource>();
  source->SetDiffuse(0xFFA4A4A4);
  source->SetAmbient(0xFF585858);
  source->SetEmissive(claNull);
  source->SetSpecular(claNull);
  source->SetShininess(30);
  source->Texture().Assign(SolidImage(textureColor));
  auto* result = source.get();
  sources.push_back(std::move(source));
  return result;
}

TTextureMaterialSource* ViewportScene::TextureMaterial(const QImage& image) {
  auto source = std::make_unique<TTextureMaterialSource>();
  source->Texture().Assign(image);
  auto* result = source.get();
  sources.push_back(std::move(source));
  return result;
}

QImage ViewportScene::Render() {
  QImage image = viewport->MakeScreenshot();
  EXPECT_FALSE(image.isNull()) << "the view rendered nothing";
  return image;
}

}  // namespace rt3d::test
