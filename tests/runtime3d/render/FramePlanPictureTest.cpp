// The view leaves out what cannot show and reorders what does not blend: the picture must
// be exactly the one that drawing every object in list order gives.

#include <gtest/gtest.h>

#include <QOpenGLContext>

#include "runtime3d/core/FramePlan.h"
#include "runtime3d/material/Texture.h"
#include "runtime3d/render/GLContext.h"
#include "tests/runtime3d/render/RenderFixture.h"

using namespace rt3d;
using namespace rt3d::test;

namespace {

// Every visible object in rendering-list order, drawn by the view's own device into a
// target like the view's.
QImage RenderUnplanned(TViewport3D& view) {
  EXPECT_TRUE(view.makeCurrent());
  auto& device = dynamic_cast<TGLContext&>(*view.Context());
  QImage image;
  {
    TGLRenderTarget target(*device.Functions(), view.RenderTargetSize(), view.Multisample());
    device.SetRenderTarget(&target);
    device.ResetStateCache();
    if (device.BeginScene()) {
      device.SetRenderState({.Scissor = false});
      device.Clear(view.Color(), 1);
      TCamera* camera = view.ActiveCamera();
      device.SetCameraMatrix(camera->CameraMatrix());
      device.SetCameraAngleOfView(camera->AngleOfView());
      device.Lights().clear();
      for (TLight* light : view.Lights()) device.Lights().push_back(light->LightDescription());
      for (TControl3D* object : view.Root()->RenderingList()) {
        if (object->Visible()) object->RenderInternal(device);
      }
      device.EndScene();
    }
    image = target.ReadPixels();
    device.SetRenderTarget(nullptr);
  }
  device.ResetStateCache();
  view.doneCurrent();
  return image;
}

// An opaque picture in a format without alpha, so that the texture is known to be opaque.
QImage Stripes(int width, int height) {
  QImage image(width, height, QImage::Format_RGB32);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) image.setPixel(x, y, qRgb(x * 7 % 256, y * 13 % 256, 90));
  }
  return image;
}

TEST_F(ViewportScene, PlannedFrameIsExactlyTheFrameDrawnInListOrder) {
  AddLight(30);
  // Sky first in the list, as a stored scene may have it.
  TSphere* sky = AddSphere(40);
  sky->SetTwoSide(true);
  sky->SetMaterialSource(TextureMaterial(Stripes(64, 32)));
  auto opaqueLit = [&] {
    TLightMaterialSource* source = LitMaterial(qRgb(0, 0, 0));
    source->Texture().Assign(Stripes(32, 16));
    return source;
  };
  TSphere* planet = AddSphere(4);
  planet->SetMaterialSource(opaqueLit());
  const struct {
    TPoint3D position;
    float radius;
  } moons[] = {
      {{0, 0, 8}, 0.5f},      // straight behind the planet: left out
      {{1, 0.5f, -8}, 0.5f},  // in front of it
      {{5.5f, 0, 5}, 0.6f},   // partly behind its edge
      {{60, 0, 0}, 0.5f},     // outside the view
      {{0, 12, 30}, 2.0f},    // above and behind, partly covered
  };
  for (const auto& moon : moons) {
    AddSphere(moon.radius, moon.position)->SetMaterialSource(opaqueLit());
  }
  // A see-through body between them keeps its place in the order.
  TSphere* glass = AddSphere(1, {-3, 0, -4});
  glass->SetMaterialSource(LitMaterial(qRgb(255, 255, 255)));
  glass->SetOpacity(0.5f);

  std::vector<TControl3D*> visible;
  for (TControl3D* object : viewport->Root()->RenderingList()) visible.push_back(object);
  Render();  // the matrices of the frame
  const QSize size = viewport->RenderTargetSize();
  TContext3D& context = *viewport->Context();
  context.SetCameraMatrix(viewport->ActiveCamera()->CameraMatrix());
  context.SetCameraAngleOfView(viewport->ActiveCamera()->AngleOfView());
  ASSERT_EQ(size, QSize(kSize, kSize));
  const std::vector<TControl3D*> planned =
      PlanFrame(visible, context.CurrentCameraMatrix(), context.CurrentProjectionMatrix());
  EXPECT_EQ(planned.size(), visible.size() - 2) << "the hidden moon and the one outside";

  const QImage expected = RenderUnplanned(*viewport);
  const QImage actual = Render();
  ASSERT_EQ(actual.size(), expected.size());
  int differing = 0;
  for (int y = 0; y < actual.height(); ++y) {
    for (int x = 0; x < actual.width(); ++x)
      differing += actual.pixel(x, y) != expected.pixel(x, y);
  }
  EXPECT_EQ(differing, 0);
  EXPECT_NE(actual.pixel(kSize / 2, kSize / 2), expected.pixel(1, 1)) << "the planet shows";
}

}  // namespace

TEST_F(ViewportScene, OpaquePixelsDrawnWithoutBlendingGiveTheBlendedPicture) {
  AddLight(30);
  viewport->SetColor(0xFF3060A0);
  const QImage stripes = Stripes(64, 32);
  // The same pixels, once in a format that says they are opaque (drawn without blending)
  // and once in one that does not (blended over the view's colour).
  TLightMaterialSource* lit = LitMaterial(qRgb(0, 0, 0));
  TTextureMaterialSource* unlit = TextureMaterial(stripes);
  AddSphere(4)->SetMaterialSource(lit);
  AddSphere(1.5f, {3, 2, -6})->SetMaterialSource(unlit);
  QImage pictures[2];
  for (int known = 0; known < 2; ++known) {
    const QImage image =
        known ? stripes : stripes.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    lit->Texture().Assign(image);
    unlit->Texture().Assign(image);
    ASSERT_EQ(lit->Texture().Texture()->IsOpaque(), known == 1);
    pictures[known] = Render();
  }
  ASSERT_EQ(pictures[0].size(), pictures[1].size());
  int differing = 0;
  for (int y = 0; y < pictures[0].height(); ++y) {
    for (int x = 0; x < pictures[0].width(); ++x) {
      differing += pictures[0].pixel(x, y) != pictures[1].pixel(x, y);
    }
  }
  EXPECT_EQ(differing, 0);
}
