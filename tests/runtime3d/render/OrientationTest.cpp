// Where things land on the picture and which faces and objects show: the world axes on the
// screen, texture orientation on a sphere, back-face culling and the depth test.

#include <QImage>
#include <QPainter>

#include "RenderFixture.h"
#include "runtime3d/render/GLContext.h"

using namespace rt3d;
using namespace rt3d::test;

namespace {

constexpr int kCentre = ViewportScene::kSize / 2;

// Four columns of u by two halves of v, each a flat colour, 16 texels a block so bilinear
// sampling blends only at the block borders.
//   top (v < 0.5):    red, green, blue, white
//   bottom (v > 0.5): cyan, magenta, yellow, grey
const QRgb kBlocks[2][4] = {
    {qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255), qRgb(255, 255, 255)},
    {qRgb(0, 255, 255), qRgb(255, 0, 255), qRgb(255, 255, 0), qRgb(128, 128, 128)}};

QImage BlockTexture() {
  QImage image(64, 32, QImage::Format_ARGB32_Premultiplied);
  for (int y = 0; y < 32; ++y) {
    for (int x = 0; x < 64; ++x) image.setPixel(x, y, kBlocks[y / 16][x / 16]);
  }
  return image;
}

TRgba Rgba(QRgb c) {
  return {qRed(c), qGreen(c), qBlue(c), 255};
}

}  // namespace

TEST_F(ViewportScene, SphereShowsItsNearSideWithTheImageUprightAndUnmirrored) {
  // The near side faces -Z, where u = 0.75; u grows towards +X (screen right) and v = 0 is
  // at the -Y pole (screen top). So left of centre is the third column, right the fourth,
  // and the image's top half is above. Seeing the far side (wrong culling) would show the
  // first two columns; a mirrored or upside-down picture swaps the blocks.
  AddSphere(5)->SetMaterialSource(TextureMaterial(BlockTexture()));
  const QImage image = Render();
  const int d = 35;
  EXPECT_TRUE(Near(PixelAt(image, kCentre - d, kCentre - d), Rgba(kBlocks[0][2]))) << "top left";
  EXPECT_TRUE(Near(PixelAt(image, kCentre + d, kCentre - d), Rgba(kBlocks[0][3]))) << "top right";
  EXPECT_TRUE(Near(PixelAt(image, kCentre - d, kCentre + d), Rgba(kBlocks[1][2]))) << "bottom left";
  EXPECT_TRUE(Near(PixelAt(image, kCentre + d, kCentre + d), Rgba(kBlocks[1][3])))
      << "bottom right";
}

TEST_F(ViewportScene, TwoSidedSphereStillShowsItsNearSide) {
  TSphere* body = AddSphere(5);
  body->SetMaterialSource(TextureMaterial(BlockTexture()));
  body->SetTwoSide(true);
  const QImage image = Render();
  // Both halves are drawn now: the depth test must keep the near one.
  EXPECT_TRUE(Near(PixelAt(image, kCentre - 35, kCentre - 35), Rgba(kBlocks[0][2])));
  EXPECT_TRUE(Near(PixelAt(image, kCentre + 35, kCentre - 35), Rgba(kBlocks[0][3])));
}

TEST_F(ViewportScene, CameraInsideASphereSeesNothingOfItUnlessTwoSided) {
  // The sky: a huge sphere around the camera shows only through its inside, its back side.
  TSphere* sky = AddSphere(100);
  sky->SetHitTest(false);
  EXPECT_TRUE(Near(PixelAt(Render(), kCentre, kCentre), {0, 0, 0, 0}, 0)) << "the inside is culled";
  sky->SetTwoSide(true);
  EXPECT_TRUE(Near(PixelAt(Render(), kCentre, kCentre), {255, 0, 0, 255}, 0));
}

struct AxisCase {
  const char* name;
  TPoint3D position;
  int x, y;  // where its centre must be drawn
};

class WorldAxes : public ViewportScene, public ::testing::WithParamInterface<AxisCase> {};

TEST_P(WorldAxes, SmallSphereIsDrawnWhereTheProjectionPutsIt) {
  const AxisCase& c = GetParam();
  AddSphere(0.3f, c.position);
  const QImage image = Render();
  EXPECT_TRUE(Near(PixelAt(image, c.x, c.y), {255, 0, 0, 255}, 0)) << c.name;
  // And not mirrored across the centre.
  EXPECT_TRUE(Near(PixelAt(image, 2 * kCentre - c.x, 2 * kCentre - c.y), {0, 0, 0, 0}, 0))
      << c.name;
}

// At distance 15 with a 45 degree view, 3 units off the axis is 3 / (15 tan 22.5) of the
// half width: 48.3 pixels.
INSTANTIATE_TEST_SUITE_P(Render, WorldAxes,
                         ::testing::Values(AxisCase{"plus_X_is_right", {3, 0, 0}, 148, 100},
                                           AxisCase{"plus_Y_is_down", {0, 3, 0}, 100, 148},
                                           AxisCase{
                                               "minus_X_minus_Y_is_up_left", {-3, -3, 0}, 52, 52}),
                         [](const auto& info) { return std::string(info.param.name); });

struct DepthCase {
  const char* name;
  bool nearFirst;  // the near body is the parent, so it is drawn first
  bool clipControl;
};

class DepthTest : public ViewportScene, public ::testing::WithParamInterface<DepthCase> {};

TEST_P(DepthTest, NearerBodyHidesTheFartherWhateverTheOrder) {
  const DepthCase& c = GetParam();
  auto* device = dynamic_cast<TGLContext*>(viewport->Context());
  ASSERT_TRUE(device);
  if (c.clipControl && !device->HasClipControl()) GTEST_SKIP() << "no clip control here";
  device->SetUseClipControl(c.clipControl);

  const QImage nearColour = SolidImage(qRgb(0, 200, 0));
  const QImage farColour = SolidImage(qRgb(0, 0, 200));
  TSphere* first = AddSphere(2, c.nearFirst ? TPoint3D{0, 0, -4} : TPoint3D{0, 0, 4});
  // The second is a child of the first: drawn after it, placed relative to it.
  TSphere* second = AddSphere(2, {0, 0, c.nearFirst ? 8.0f : -8.0f}, first);
  first->SetMaterialSource(TextureMaterial(c.nearFirst ? nearColour : farColour));
  second->SetMaterialSource(TextureMaterial(c.nearFirst ? farColour : nearColour));
  const QImage image = Render();
  EXPECT_TRUE(Near(PixelAt(image, kCentre, kCentre), {0, 200, 0, 255}, 0)) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Render, DepthTest,
    ::testing::Values(DepthCase{"near_drawn_first", true, true},
                      DepthCase{"far_drawn_first", false, true},
                      // Without clip control the vertex programs remap depth themselves.
                      DepthCase{"near_drawn_first_remapped_depth", true, false},
                      DepthCase{"far_drawn_first_remapped_depth", false, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ViewportScene, BodiesBeyondTheFarPlaneOrBehindTheNearPlaneAreClipped) {
  // The projection keeps view depths from 1 to 1000 units in front of the eye.
  for (bool clipControl : {true, false}) {
    auto* device = dynamic_cast<TGLContext*>(viewport->Context());
    ASSERT_TRUE(device);
    device->SetUseClipControl(clipControl);
    TSphere* beyond = AddSphere(40, {0, 0, 1100});
    EXPECT_TRUE(Near(PixelAt(Render(), kCentre, kCentre), {0, 0, 0, 0}, 0))
        << "past the far plane, clip control " << clipControl;
    delete beyond;
    // Its near surface is 0.6 units from the eye: cut away, though a GL depth range of
    // -1..1 without the remap would keep it.
    TSphere* inside = AddSphere(0.15f, {0, 0, -14.25f});
    EXPECT_TRUE(Near(PixelAt(Render(), kCentre, kCentre), {0, 0, 0, 0}, 0))
        << "nearer than the near plane, clip control " << clipControl;
    delete inside;
  }
}
