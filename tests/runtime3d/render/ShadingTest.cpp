// What bodies look like on real pixels: lighting, materials, opacity, textures and the
// device states that decide which faces and which object show.

#include <cmath>

#include <QImage>

#include "RenderFixture.h"
#include "runtime3d/material/Texture.h"
#include "runtime3d/render/GLContext.h"

using namespace rt3d;
using namespace rt3d::test;

namespace {

constexpr int kCentre = ViewportScene::kSize / 2;
// The planet-sized sphere (radius 5 at distance 15) covers about 85 pixels from the centre.
constexpr int kNearLimb = 78;

constexpr QRgb kTexture = qRgb(240, 160, 80);

TRgba Scaled(QRgb color, double factor, double alpha = 1) {
  return {int(std::lround(qRed(color) * factor)), int(std::lround(qGreen(color) * factor)),
          int(std::lround(qBlue(color) * factor)), int(std::lround(255 * alpha))};
}

// The viewer's grey: ambient 0x58 alone, or ambient plus the full diffuse 0xA4.
constexpr double kAmbient = 0x58 / 255.0;
constexpr double kHeadOn = (0x58 + 0xA4) / 255.0;

}  // namespace

// The grey the viewer's material gives the planet-sized sphere at a pixel, from the ideal
// sphere's normal there: ambient + diffuse x max(0, -N . Dir).
double ExpectedGrey(int px, int py, const TPoint3D& lightDir) {
  const double t = std::tan(22.5 * std::acos(-1.0) / 180);
  const double half = ViewportScene::kSize / 2.0;
  const double nx = (px + 0.5) / half - 1, ny = 1 - (py + 0.5) / half;
  // Camera at (0, 0, -15) looking along +Z, screen right +X, screen up -Y.
  const TPoint3D dir = Normalize(TPoint3D{float(nx * t), float(-ny * t), 1});
  const TPoint3D eye{0, 0, -15};
  const double b = Dot(eye, dir), c = Dot(eye, eye) - 25;
  const double along = -b - std::sqrt(b * b - c);
  const TPoint3D normal = (eye + dir * along) * (1.0 / 5);
  return kAmbient + (kHeadOn - kAmbient) * std::max(0.0, -Dot(normal, lightDir));
}

struct LightingCase {
  const char* name;
  float lightTurnY;  // the light travels along its +Z axis turned by this about Y
  int dx, dy;        // pixel offset from the disc centre
};

class Lighting : public ViewportScene, public ::testing::WithParamInterface<LightingCase> {};

TEST_P(Lighting, GouraudGreyTimesTexture) {
  const LightingCase& c = GetParam();
  TLight* light = AddLight(c.lightTurnY);
  TSphere* body = AddSphere(5);
  body->SetMaterialSource(LitMaterial(kTexture));
  const QImage image = Render();
  const int x = kCentre + c.dx, y = kCentre + c.dy;
  const TPoint3D lightDir = light->LightDescription().Direction;
  // Per-vertex lighting on a 50 x 50 sphere differs from the ideal sphere by a level or two.
  EXPECT_TRUE(Near(PixelAt(image, x, y), Scaled(kTexture, ExpectedGrey(x, y, lightDir)), 3))
      << c.name;
  EXPECT_TRUE(TReportingApplication::Errors().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Render, Lighting,
    ::testing::Values(
        // Shining along +Z, away from the camera: the visible side faces the light, and the
        // disc centre gets the full 0.988 grey.
        LightingCase{"head-on at the disc centre", 0, 0, 0},
        LightingCase{"head-on halfway out", 0, 40, -30},
        LightingCase{"head-on near the limb", 0, 0, kNearLimb},
        // Shining at the camera: only the unlit side is seen, flat 0.345 ambient everywhere.
        LightingCase{"back side at the centre", 180, 0, 0},
        LightingCase{"back side near the left limb", 180, -kNearLimb, 0},
        LightingCase{"back side near the top limb", 180, 0, -kNearLimb},
        // Shining along +X: the side toward -X (the left of the view) is lit.
        LightingCase{"side light, lit left", 90, -kNearLimb, 0},
        LightingCase{"side light, dark right", 90, kNearLimb, 0}),
    [](const auto& info) {
      std::string name = info.param.name;
      for (char& ch : name) {
        if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
      }
      return name;
    });

TEST_F(ViewportScene, WithoutAnEnabledLightTheBodyShowsEmissionPlusAmbient) {
  // A disabled light is listed but takes no slot: the no-light program runs.
  AddLight(0)->SetEnabled(false);
  TSphere* body = AddSphere(5);
  TLightMaterialSource* material = LitMaterial(kTexture);
  material->SetEmissive(0xFF202020);
  body->SetMaterialSource(material);
  const QImage image = Render();
  const double grey = (0x20 + 0x58) / 255.0;
  EXPECT_TRUE(Near(PixelAt(image, kCentre, kCentre), Scaled(kTexture, grey)));
  EXPECT_TRUE(Near(PixelAt(image, kCentre - kNearLimb, kCentre), Scaled(kTexture, grey)));
}

TEST_F(ViewportScene, ABodyWithoutMaterialIsOpaqueRedAndTheRestKeepsTheViewColour) {
  AddSphere(5);
  viewport->SetColor(0xFF0000FF);
  const QImage image = Render();
  EXPECT_TRUE(Near(PixelAt(image, kCentre, kCentre), {255, 0, 0, 255}, 0));
  EXPECT_TRUE(Near(PixelAt(image, 2, 2), {0, 0, 255, 255}, 0)) << "corner shows the clear colour";
}

TEST_F(ViewportScene, TransparentViewColourLeavesUncoveredPixelsTransparentBlack) {
  AddSphere(1);
  const QImage image = Render();
  EXPECT_TRUE(Near(PixelAt(image, 2, 2), {0, 0, 0, 0}, 0));
  EXPECT_TRUE(Near(PixelAt(image, kCentre, kCentre), {255, 0, 0, 255}, 0));
}

TEST_F(ViewportScene, HalfOpacityHalvesEveryChannelBeforeBlending) {
  TSphere* body = AddSphere(5);
  body->SetMaterialSource(TextureMaterial(SolidImage(kTexture)));
  body->SetOpacity(0.5f);
  const QImage image = Render();
  // Blended over the transparent clear colour: the premultiplied halves stay as they are.
  EXPECT_TRUE(Near(PixelAt(image, kCentre, kCentre), Scaled(kTexture, 0.5, 0.5), 1));
}

TEST_F(ViewportScene, TranslucentBodyBlendsPremultipliedOverWhatIsBehind) {
  TSphere* back = AddSphere(5, {0, 0, 5});
  back->SetMaterialSource(TextureMaterial(SolidImage(qRgb(0, 0, 200))));
  // A child is drawn after its parent, so the translucent body comes second.
  TSphere* front = AddSphere(2, {0, 0, -10}, back);
  front->SetMaterialSource(TextureMaterial(SolidImage(qRgb(200, 0, 0))));
  front->SetOpacity(0.5f);
  const QImage image = Render();
  // source + destination x (1 - source alpha): (100, 0, 0, 0.5) over (0, 0, 200, 1).
  EXPECT_TRUE(Near(PixelAt(image, kCentre, kCentre), {100, 0, 100, 255}, 2));
}

TEST_F(ViewportScene, TextureLargerThanTheDeviceAllowsIsScaledDownToFitNotShownWhite) {
  auto* device = dynamic_cast<TGLContext*>(viewport->Context());
  ASSERT_TRUE(device && device->MaxTextureSize() > 0);
  // One pixel too wide for the device, one row high so the test stays small.
  TTexture huge;
  huge.SetPixels(SolidImage(qRgb(10, 20, 30), device->MaxTextureSize() + 1, 1));

  TSphere* sky = AddSphere(5);
  TTextureMaterialSource* material = TextureMaterial(SolidImage(qRgb(10, 20, 30)));
  material->TextureMaterial().Texture = &huge;
  sky->SetMaterialSource(material);
  const QImage image = Render();
  EXPECT_TRUE(Near(PixelAt(image, kCentre, kCentre), {10, 20, 30, 255}, 0));
  EXPECT_FALSE(device->TextureOnDevice(huge).Failed);
  EXPECT_TRUE(TReportingApplication::Errors().empty());
  viewport.reset();  // frees its device while the texture still exists
}
