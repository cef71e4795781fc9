// The GL device on its own terms: start-up check, render targets, uploads done once, shader
// programs and their variables, failures, and the states objects ask for.

#include <QImage>
#include <QLabel>
#include <cmath>

#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QTest>

#include "RenderFixture.h"
#include "runtime3d/core/Exceptions.h"
#include "runtime3d/material/ShaderProgram.h"
#include "runtime3d/material/Texture.h"
#include "runtime3d/render/GLContext.h"
#include "runtime3d/render/GLDevice.h"

using namespace rt3d;
using namespace rt3d::test;

namespace {

constexpr int kCentre = ViewportScene::kSize / 2;

// A material made of test programs: a flat colour from a vec3 tint times a float level,
// both handed over as four-float values like every material variable.
class TTintMaterial : public IMaterial {
 public:
  TTintMaterial(std::string vertexSource, std::string pixelSource)
      : FVertex("tint.fvs", TShaderKind::Vertex, std::move(vertexSource)),
        FPixel("tint.fps", TShaderKind::Pixel, std::move(pixelSource)) {}

  void Apply(TContext3D& context) override {
    context.SetShaders(&FVertex, &FPixel);
    context.SetShaderVariable("Tint", TVector3D{1, 0.5f, 0.25f, 99});
    context.SetShaderVariable("Level", TVector3D{0.8f, 99, 99, 99});
  }
  void Reset(TContext3D&) override {}
  std::string_view MatrixVariable(TMaterialMatrix which) const override {
    return which == TMaterialMatrix::ModelViewProjection ? "MVPMatrix" : "";
  }

 private:
  TShaderProgram FVertex;
  TShaderProgram FPixel;
};

const char* const kTintVertex = R"(#version 330 core
layout(location = 0) in vec3 a_Position;
uniform mat4 _MVPMatrix;
void main() {
  gl_Position = _MVPMatrix * vec4(a_Position, 1.0);
#ifdef ORVANTH_REMAP_DEPTH
  gl_Position.z = 2.0 * gl_Position.z - gl_Position.w;
#endif
}
)";

const char* const kTintPixel = R"(#version 330 core
uniform vec3 _Tint;
uniform float _Level;
out vec4 o_Color;
void main() { o_Color = vec4(_Tint * _Level, 1.0); }
)";

// A sphere drawn with a material of its own instead of a material source's.
class TTintedSphere : public TSphere {
 public:
  explicit TTintedSphere(IMaterial* material) : FMaterial(material) {
    SetSubdivisionsAxes(50);
    SetSubdivisionsHeight(50);
    SetSize(10, 10, 10);
  }
  IMaterial* RenderingMaterial() const override { return FMaterial; }

 private:
  IMaterial* FMaterial;
};

TGLContext& Device(TViewport3D& viewport) {
  auto* device = dynamic_cast<TGLContext*>(viewport.Context());
  EXPECT_TRUE(device != nullptr);
  return *device;
}

}  // namespace

TEST(GLDevice, StartUpCheckFindsAnOpenGL33CoreDevice) {
  EXPECT_EQ(CheckOpenGLDevice().Message().toStdString(), "");
  EXPECT_EQ(CannotCreateDeviceMessage().toStdString(),
            "Cannot create OpenGL 3.3 device for 'TGLContext'.");
}

TEST(GLDevice, RoundsScaledSizesHalfToEven) {
  struct {
    double logical, scale;
    int pixels;
  } cases[] = {{1536, 1.25, 1920}, {864, 1.25, 1080}, {101, 1.5, 152},  {103, 1.5, 154},
               {201, 1.25, 251},   {322, 1.25, 402},  {130, 1.25, 162}, {100, 1, 100},
               {0.4, 1, 0},        {99.6, 1, 100}};
  for (const auto& c : cases) {
    EXPECT_EQ(RoundHalfEven(c.logical * c.scale), c.pixels) << c.logical << " x " << c.scale;
  }
  EXPECT_EQ(DevicePixelSize(QSizeF(103, 101), 1.5), QSize(154, 152));
}

TEST_F(ViewportScene, RenderTargetTakesTheSampleCountAskedForWhenTheDeviceHasIt) {
  viewport->makeCurrent();
  GLint maxSamples = 1;
  QOpenGLContext::currentContext()->functions()->glGetIntegerv(GL_MAX_SAMPLES, &maxSamples);
  viewport->doneCurrent();
  // The driver may give more samples than asked, never fewer than it can.
  const struct {
    TMultisample asked;
    int least, most;
  } cases[] = {{TMultisample::None, 1, 1},
               {TMultisample::TwoSamples, std::min(2, int(maxSamples)), int(maxSamples)},
               {TMultisample::FourSamples, std::min(4, int(maxSamples)), int(maxSamples)}};
  for (const auto& c : cases) {
    viewport->SetMultisample(c.asked);
    viewport->grabFramebuffer();
    EXPECT_GE(viewport->RenderTargetSamples(), c.least) << int(c.asked);
    EXPECT_LE(viewport->RenderTargetSamples(), std::max(1, c.most)) << int(c.asked);
  }
}

TEST_F(ViewportScene, MeshIsUploadedOnceAndAgainOnlyWhenItChanges) {
  TSphere* body = AddSphere(5);
  TGLContext& device = Device(*viewport);
  Render();
  const auto afterFirst = device.BufferUploadCount();
  Render();
  Render();
  viewport->grabFramebuffer();
  EXPECT_EQ(device.BufferUploadCount(), afterFirst) << "unchanged mesh drawn again";
  body->SetSubdivisionsAxes(20);
  const QImage image = Render();
  EXPECT_EQ(device.BufferUploadCount(), afterFirst + 2) << "vertices and indices again";
  EXPECT_TRUE(Near(PixelAt(image, kCentre, kCentre), {255, 0, 0, 255}, 0));
}

TEST_F(ViewportScene, TextureIsUploadedOnceThenItsPixelsAreDropped) {
  TTextureMaterialSource* material = TextureMaterial(SolidImage(qRgb(0, 0, 0)));
  TTexture texture;
  texture.SetPixels(SolidImage(qRgb(30, 60, 90)));
  int reloads = 0;
  texture.SetReloader([&] {
    ++reloads;
    return SolidImage(qRgb(30, 60, 90));
  });
  material->TextureMaterial().Texture = &texture;
  AddSphere(5)->SetMaterialSource(material);

  EXPECT_TRUE(Near(PixelAt(Render(), kCentre, kCentre), {30, 60, 90, 255}, 0));
  EXPECT_FALSE(texture.HasPixels()) << "the device keeps no decoded copy";
  EXPECT_NE(viewport->TextureOnDevice(texture).Handle, 0u);
  Render();
  EXPECT_EQ(reloads, 0) << "an uploaded texture is not decoded again";

  texture.SetPixels(SolidImage(qRgb(200, 100, 0)));
  EXPECT_TRUE(Near(PixelAt(Render(), kCentre, kCentre), {200, 100, 0, 255}, 0))
      << "replaced pixels show in the next frame";
  viewport.reset();
  EXPECT_FALSE(texture.IsHeld()) << "a freed device holds the texture no longer";
}

TEST_F(ViewportScene, TextureFreedBeforeTheDeviceGivesItsObjectBack) {
  auto texture = std::make_unique<TTexture>();
  texture->SetPixels(SolidImage(qRgb(30, 60, 90)));
  TTextureMaterialSource* material = TextureMaterial(SolidImage(qRgb(0, 0, 0)));
  material->TextureMaterial().Texture = texture.get();
  TSphere* body = AddSphere(5);
  body->SetMaterialSource(material);
  Render();
  const GLuint name = viewport->TextureOnDevice(*texture).Handle;
  ASSERT_NE(name, 0u);
  material->TextureMaterial().Texture = nullptr;
  texture.reset();
  Render();
  viewport->makeCurrent();
  EXPECT_FALSE(QOpenGLContext::currentContext()->functions()->glIsTexture(name));
  viewport->doneCurrent();
}

TEST_F(ViewportScene, FourFloatValuesReachFloatAndVec3UniformsAndMatricesPlaceTheMesh) {
  TTintMaterial material(kTintVertex, kTintPixel);
  viewport->Root()->AddObject(new TTintedSphere(&material));
  const QImage image = Render();
  // (1, 0.5, 0.25) x 0.8
  EXPECT_TRUE(Near(PixelAt(image, kCentre, kCentre), {204, 102, 51, 255}, 1));
  EXPECT_TRUE(Near(PixelAt(image, 2, 2), {0, 0, 0, 0}, 0));
  EXPECT_TRUE(TReportingApplication::Errors().empty());
}

TEST_F(ViewportScene, ProgramWithoutSourceRaisesOnceAndItsDrawsAreSkipped) {
  TTintMaterial material("", kTintPixel);
  viewport->Root()->AddObject(new TTintedSphere(&material));
  try {
    Render();
    ADD_FAILURE() << "no exception";
  } catch (const ECannotFindShader& failure) {
    EXPECT_STREQ(failure.what(), "Cannot find a suitable shader for 'tint.fvs'.");
  }
  // The screenshot state was restored: the next one works and draws nothing of the body.
  EXPECT_TRUE(Near(PixelAt(Render(), kCentre, kCentre), {0, 0, 0, 0}, 0));
}

TEST_F(ViewportScene, ProgramThatDoesNotCompileReportsTheDriversLog) {
  TTintMaterial material(kTintVertex, "#version 330 core\nvoid main() { nonsense; }\n");
  viewport->Root()->AddObject(new TTintedSphere(&material));
  try {
    Render();
    ADD_FAILURE() << "no exception";
  } catch (const EContext3DException& failure) {
    const std::string message = failure.what();
    EXPECT_EQ(message.rfind("Cannot compile shader 'tint.fps': ", 0), 0u) << message;
    EXPECT_GT(message.size(), std::string("Cannot compile shader 'tint.fps': ").size())
        << "the driver's log follows";
  }
  EXPECT_NO_THROW(Render()) << "reported once";
}

TEST_F(ViewportScene, FailureInsideAFrameReachesTheApplicationFromTheEventLoop) {
  TSphere* body = AddSphere(5);
  body->OnRender = [](TTreeObject*, TContext3D&) { throw Exception("Rendering went wrong."); };
  // The on-screen frame runs inside Qt's composition and must not be unwound there.
  viewport->grabFramebuffer();
  EXPECT_TRUE(TReportingApplication::Errors().empty()) << "not raised inside the frame";
  QCoreApplication::processEvents();
  ASSERT_EQ(TReportingApplication::Errors().size(), 1u);
  EXPECT_EQ(TReportingApplication::Errors()[0], "Rendering went wrong.");
  body->OnRender = nullptr;
  EXPECT_TRUE(Near(PixelAt(viewport->grabFramebuffer(), kCentre, kCentre), {255, 0, 0, 255}, 0))
      << "the next frame draws";
}

TEST_F(ViewportScene, OnScreenFrameComposesTheSamePictureWithoutReadBack) {
  AddSphere(5);
  viewport->SetColor(0xFF00FF00);
  const QImage onScreen = viewport->grabFramebuffer();
  ASSERT_EQ(onScreen.size(), QSize(kSize, kSize));
  EXPECT_TRUE(Near(PixelAt(onScreen, kCentre, kCentre), {255, 0, 0, 255}, 0));
  EXPECT_TRUE(Near(PixelAt(onScreen, 1, 1), {0, 255, 0, 255}, 0));
  EXPECT_TRUE(Near(PixelAt(onScreen, kSize - 2, kSize - 2), {0, 255, 0, 255}, 0))
      << "the picture is not shifted inside the widget";
}

TEST_F(ViewportScene, ObjectStatesDecideDepthAndBlending) {
  // The far body is the near one's child, so it is drawn second.
  TSphere* nearBody = AddSphere(2, {0, 0, -4});
  nearBody->SetMaterialSource(TextureMaterial(SolidImage(qRgb(0, 200, 0))));
  TSphere* farBody = AddSphere(2, {0, 0, 8}, nearBody);
  farBody->SetMaterialSource(TextureMaterial(SolidImage(qRgb(0, 0, 200))));
  EXPECT_TRUE(Near(PixelAt(Render(), kCentre, kCentre), {0, 200, 0, 255}, 0));

  // No depth writes means no depth test either: drawn last, it covers the near body.
  farBody->SetZWrite(false);
  EXPECT_TRUE(Near(PixelAt(Render(), kCentre, kCentre), {0, 0, 200, 255}, 0)) << "ZWrite off";

  // Opaque draws without blending: the half-transparent output replaces what was there.
  farBody->SetOpacity(0.5f);
  EXPECT_TRUE(Near(PixelAt(Render(), kCentre, kCentre), {0, 100, 100, 255}, 1))
      << "blended over the near body";
  farBody->SetOpaque(true);
  EXPECT_TRUE(Near(PixelAt(Render(), kCentre, kCentre), {0, 0, 100, 128}, 1)) << "Opaque";
}

// Run only in a child process whose driver offers less than OpenGL 3.3 (below).
TEST(GLDevice, DISABLED_OldDriverIsRefusedWithAMessage) {
  // The device's line, then what the system has and what to do about it.
  const QStringList lines = CheckOpenGLDevice().Message().split(u'\n');
  ASSERT_EQ(lines.size(), 2) << lines.join(u'\n').toStdString();
  EXPECT_EQ(lines[0].toStdString(), "Cannot create OpenGL 3.3 device for 'TGLContext'.");
  QOpenGLContext probe;
  QOffscreenSurface surface;
  surface.create();
  ASSERT_TRUE(probe.create() && probe.makeCurrent(&surface));
  const QString renderer = QString::fromLatin1(
      reinterpret_cast<const char*>(probe.functions()->glGetString(GL_RENDERER)));
  probe.doneCurrent();
  const QString expected = QStringLiteral("This system offers OpenGL %1 (%2).")
                               .arg(qEnvironmentVariable("MESA_GL_VERSION_OVERRIDE"), renderer);
  EXPECT_TRUE(lines[1].startsWith(expected)) << lines[1].toStdString() << "\nnot after\n"
                                             << expected.toStdString();
  EXPECT_TRUE(lines[1].endsWith(
      "Update or install the graphics driver; on a machine without a GPU, Mesa's software "
      "renderer gives OpenGL 4.5."))
      << lines[1].toStdString();
  // A view on such a driver says why and draws nothing, without failing.
  TViewport3D view;
  view.resize(100, 100);
  view.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
  EXPECT_EQ(view.PrepareDevice().Message().toStdString(),
            "Cannot create OpenGL 3.3 device for 'TGLContext'.");
  view.grabFramebuffer();
  EXPECT_EQ(view.DeviceError().toStdString(), "Cannot create OpenGL 3.3 device for 'TGLContext'.");
  EXPECT_TRUE(view.MakeScreenshot().isNull());
}

TEST(GLDevice, OldDriverIsRefusedWithAMessage) {
  // Mesa can be told to offer less than it has; other drivers cannot.
  QOpenGLContext probe;
  QOffscreenSurface surface;
  surface.create();
  ASSERT_TRUE(probe.create() && probe.makeCurrent(&surface));
  const QByteArray version =
      reinterpret_cast<const char*>(probe.functions()->glGetString(GL_VERSION));
  probe.doneCurrent();
  if (!version.contains("Mesa")) GTEST_SKIP() << "needs Mesa to lower the GL version";
  for (const char* version : {"3.0", "3.2"}) {
    EXPECT_TRUE(RunChildTest("GLDevice.DISABLED_OldDriverIsRefusedWithAMessage",
                             {{"MESA_GL_VERSION_OVERRIDE", version}}))
        << version;
  }
}

TEST_F(ViewportScene, DefaultCameraIsUsedUntilTheViewIsToldOtherwise) {
  TViewport3D fresh;
  EXPECT_TRUE(fresh.UsingDefaultCamera());
  EXPECT_EQ(fresh.ActiveCamera(), fresh.DefaultCamera());
  // The rig turns the default camera -20 degrees about X, 20 units from the origin: it looks
  // down on the scene from above (-Y is up on the screen).
  const TPoint3D eye = fresh.DefaultCamera()->AbsolutePosition().XYZ();
  EXPECT_NEAR(Length(eye), 20, 1e-4);
  EXPECT_NEAR(eye.Y, -20 * std::sin(20 * std::acos(-1.0) / 180), 1e-3);

  EXPECT_EQ(viewport->ActiveCamera(), camera);
  viewport->SetUsingDefaultCamera(true);
  EXPECT_EQ(viewport->ActiveCamera(), viewport->DefaultCamera());
  AddSphere(2);
  // It looks at the origin.
  EXPECT_TRUE(Near(PixelAt(Render(), kCentre, kCentre), {255, 0, 0, 255}, 0));

  viewport->SetUsingDefaultCamera(false);
  delete camera;
  EXPECT_EQ(viewport->Camera(), nullptr) << "a freed camera is forgotten";
  EXPECT_EQ(viewport->ActiveCamera(), viewport->DefaultCamera());
  EXPECT_FALSE(Render().isNull());
}

TEST_F(ViewportScene, ViewColourIsClearedPremultiplied) {
  viewport->SetColor(0x80FF8000);
  EXPECT_TRUE(Near(PixelAt(Render(), 5, 5), {128, 64, 0, 128}, 1));
}

TEST_F(ViewportScene, ResizedViewRendersAtItsNewSize) {
  AddSphere(1);
  viewport->SetColor(0xFF0000FF);
  viewport->grabFramebuffer();
  viewport->resize(260, 140);
  const QImage image = viewport->grabFramebuffer();
  ASSERT_EQ(image.size(), QSize(260, 140));
  EXPECT_EQ(viewport->RenderTargetSize(), QSize(260, 140));
  EXPECT_TRUE(Near(PixelAt(image, 130, 70), {255, 0, 0, 255}, 0)) << "the body stays centred";
  EXPECT_TRUE(Near(PixelAt(image, 258, 138), {0, 0, 255, 255}, 0));
}

TEST_F(ViewportScene, ViewMovedToAnotherWindowKeepsItsDeviceAndTextures) {
  TTextureMaterialSource* material = TextureMaterial(SolidImage(qRgb(0, 0, 0)));
  TTexture texture;
  texture.SetPixels(SolidImage(qRgb(30, 60, 90)));
  int reloads = 0;
  texture.SetReloader([&] {
    ++reloads;
    return SolidImage(qRgb(30, 60, 90));
  });
  material->TextureMaterial().Texture = &texture;
  AddSphere(5)->SetMaterialSource(material);
  EXPECT_TRUE(Near(PixelAt(Render(), kCentre, kCentre), {30, 60, 90, 255}, 0));

  // The view's GL context is its own, not its window's: the device and what it holds stay.
  QWidget window;
  window.resize(kSize, kSize);
  viewport->setParent(&window);
  viewport->setGeometry(0, 0, kSize, kSize);
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  EXPECT_TRUE(Near(PixelAt(Render(), kCentre, kCentre), {30, 60, 90, 255}, 0));
  EXPECT_EQ(reloads, 0) << "nothing decoded again";
  viewport.reset();
}

TEST_F(ViewportScene, ChildRepaintShowsTheLastFrameAgainAndSceneChangesDrawANewOne) {
  AddSphere(3);
  // Drawn over the view, not hiding it (an opaque child would keep the view's paints from
  // ever covering the whole view).
  auto* child = new QLabel(QStringLiteral("label"), viewport.get());
  child->setGeometry(10, 10, 30, 20);
  child->show();
  int frames = 0;
  QObject::connect(viewport.get(), &TViewport3D::FramePresented, [&] { ++frames; });
  viewport->Invalidate();
  ASSERT_TRUE(QTest::qWaitFor([&] { return frames >= 1; }, 5000)) << "a frame for the change";
  QTest::qWait(300);  // redraws the scene asked for while it was built come in this time
  const int settled = frames;

  child->update();
  child->repaint();
  QCoreApplication::processEvents();
  EXPECT_EQ(viewport->FrameState(), TFrameState::Idle) << "a child's repaint asks for no frame";
  EXPECT_EQ(frames, settled);
  EXPECT_TRUE(Near(PixelAt(viewport->grab().toImage(), kCentre, kCentre), {255, 0, 0, 255}, 0))
      << "the whole view grabbed: a new frame";
  EXPECT_TRUE(QTest::qWaitFor([&] { return frames == settled + 1; }, 5000));

  viewport->update();  // the whole view
  EXPECT_TRUE(QTest::qWaitFor([&] { return frames == settled + 2; }, 5000));
}
