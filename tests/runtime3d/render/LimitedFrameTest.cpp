// Frames the scene asks for draw only what changed and keep the rest of the last frame: at
// every step of an animation the kept-and-patched frame must be exactly the frame drawn
// whole, pixel for pixel.

#include <gtest/gtest.h>

#include <QTest>

#include <functional>

#include "runtime3d/render/Presentation.h"
#include "tests/runtime3d/render/RenderFixture.h"

using namespace rt3d;
using namespace rt3d::test;

namespace {

QImage Stripes(int width, int height, int shift = 0) {
  QImage image(width, height, QImage::Format_RGB32);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      image.setPixel(x, y, qRgb((x * 7 + shift) % 256, y * 13 % 256, 90 + shift % 100));
    }
  }
  return image;
}

// Where two frames differ, as a count and the first such pixel.
std::string Difference(const QImage& a, const QImage& b) {
  if (a.size() != b.size()) return "sizes differ";
  int count = 0, firstX = -1, firstY = -1;
  for (int y = 0; y < a.height(); ++y) {
    for (int x = 0; x < a.width(); ++x) {
      if (a.pixel(x, y) == b.pixel(x, y)) continue;
      if (count++ == 0) firstX = x, firstY = y;
    }
  }
  if (count == 0) return {};
  return std::to_string(count) + " pixels differ, the first at " + std::to_string(firstX) + ", " +
         std::to_string(firstY);
}

TEST_F(ViewportScene, FramesLimitedToWhatChangedAreExactlyTheWholeFrames) {
  if (ViewPresentation() == TPresentation::Compose) {
    GTEST_SKIP() << "a composed picture is drawn whole: only the copy limits its frames";
  }
  viewport->resize(400, 300);
  QTest::qWait(50);
  AddLight(30);
  TSphere* sky = AddSphere(40);
  sky->SetTwoSide(true);
  sky->SetMaterialSource(TextureMaterial(Stripes(64, 32)));
  auto lit = [&](int shift) {
    TLightMaterialSource* source = LitMaterial(qRgb(0, 0, 0));
    source->Texture().Assign(Stripes(32, 16, shift));
    return source;
  };
  TSphere* planet = AddSphere(3);
  planet->SetMaterialSource(lit(0));
  TSphere* moon = AddSphere(0.5f, {4.5f, 0.5f, -1});
  moon->SetMaterialSource(lit(40));
  TTextureMaterialSource* moonTexture = TextureMaterial(Stripes(16, 16, 7));
  TSphere* other = AddSphere(0.4f, {-5, -1, 2});
  other->SetMaterialSource(moonTexture);
  TSphere* near = AddSphere(3, {30, 0, 0});  // outside the view, for now
  near->SetMaterialSource(lit(120));
  ASSERT_TRUE(viewport->LimitsFrames());

  const QSize size = viewport->RenderTargetSize();
  const long long whole = (long long)size.width() * size.height();
  enum TExpect { Whole, Limited, Nothing };
  struct TStep {
    const char* Name;
    std::function<void()> Change;
    TExpect Expect;
  } steps[] = {
      {"the first frame", [] {}, Whole},
      {"nothing changed", [] {}, Nothing},
      {"a moon moves in front of the planet's edge",
       [&] {
         moon->Position().SetPoint({3, 0.3f, -2.5f});
       },
       Limited},
      {"and on, across the planet",
       [&] {
         moon->Position().SetPoint({1, 0.2f, -3.5f});
       },
       Limited},
      {"a moon passes behind the planet",
       [&] {
         other->Position().SetPoint({-1, 0, 6});
       },
       Limited},
      {"the planet spins", [&] { planet->RotationAngle().SetY(25); }, Limited},
      {"a moon is hidden", [&] { moon->SetVisible(false); }, Limited},
      {"and shown again", [&] { moon->SetVisible(true); }, Limited},
      {"a texture's pixels are replaced",
       [&] { moonTexture->Texture().Assign(Stripes(16, 16, 90)); }, Limited},
      // A body reaching behind the eye is tested against the view's planes: beside the
      // eye and outside the view it changes nothing; inside the view it covers everything.
      {"a body crossing the camera plane beside the eye",
       [&] {
         near->Position().SetPoint({-6, 0, -14});
       },
       Nothing},
      {"a body crossing the camera plane at the view's edge",
       [&] {
         near->Position().SetPoint({3.2f, 0, -14});
       },
       Whole},
      {"it leaves the view",
       [&] {
         near->Position().SetPoint({30, 0, 0});
       },
       Whole},
      {"the camera moves",
       [&] {
         camera->Position().SetPoint({0.5f, 0, -15});
       },
       Whole},
      {"a moon moves after that",
       [&] {
         moon->Position().SetPoint({2.5f, 1, -6});
       },
       Limited},
  };
  for (TStep& step : steps) {
    SCOPED_TRACE(step.Name);
    step.Change();
    const QImage limited = viewport->grabFramebuffer().copy();
    long long area = 0;
    for (const TPixelRect& r : viewport->LastFrameRects()) area += r.Area();
    switch (step.Expect) {
      case Whole:
        EXPECT_EQ(area, whole);
        break;
      case Limited:
        EXPECT_GT(area, 0);
        EXPECT_LT(area, whole);
        break;
      case Nothing:
        EXPECT_EQ(area, 0);
        break;
    }
    const QImage full = Render();
    EXPECT_EQ(Difference(limited, full), "");
  }
}

TEST_F(ViewportScene, ForcedWholeFramesDrawEverythingEachTime) {
  AddLight();
  TSphere* moon = AddSphere(0.5f, {2, 0, 0});
  moon->SetMaterialSource(LitMaterial(qRgb(200, 100, 50)));
  viewport->SetLimitsFrames(false);
  const QSize size = viewport->RenderTargetSize();
  for (float x : {2.0f, 2.5f, 2.5f}) {
    moon->Position().SetX(x);
    viewport->grabFramebuffer();
    ASSERT_EQ(viewport->LastFrameRects().size(), 1u);
    EXPECT_EQ(viewport->LastFrameRects()[0], (TPixelRect{0, 0, size.width(), size.height()}));
  }
}

TEST_F(ViewportScene, AChangeOverTheLimitShareIsDrawnWhole) {
  if (ViewPresentation() == TPresentation::Compose) {
    GTEST_SKIP() << "a composed picture is drawn whole: only the copy limits its frames";
  }
  AddLight();
  TSphere* moon = AddSphere(0.5f, {2, 0, 0});
  moon->SetMaterialSource(LitMaterial(qRgb(200, 100, 50)));
  const QSize size = viewport->RenderTargetSize();
  const double whole = double(size.width()) * size.height();
  auto drawnShare = [&](float x) {
    moon->Position().SetX(x);
    viewport->grabFramebuffer();
    long long area = 0;
    for (const TPixelRect& r : viewport->LastFrameRects()) area += r.Area();
    return area / whole;
  };
  drawnShare(2);
  // Back and forth between the same two places: the same rectangles each time.
  const double moved = drawnShare(2.3f);
  ASSERT_GT(moved, 0);
  ASSERT_LT(moved, 0.5);
  EXPECT_EQ(viewport->LimitShare(), TViewport3D::kLimitShare);
  const struct {
    double LimitShare;
    double Expected;
  } cases[] = {{moved + 0.01, moved}, {moved - 0.01, 1}, {0, 1}, {-3, 1}, {7, moved}};
  float x = 2;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.LimitShare);
    viewport->SetLimitShare(c.LimitShare);
    EXPECT_DOUBLE_EQ(drawnShare(x), c.Expected);
    x = x == 2 ? 2.3f : 2;
  }
}

}  // namespace
