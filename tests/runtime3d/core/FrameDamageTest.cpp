#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <ostream>
#include <string>
#include <vector>

#include "runtime3d/core/FrameDamage.h"
#include "tests/runtime3d/core/FakeViewport.h"

using namespace rt3d;

namespace rt3d {
void PrintTo(const TPixelRect& r, std::ostream* out) {
  *out << "[" << r.Left << ", " << r.Right << ") x [" << r.Top << ", " << r.Bottom << ")";
}
}  // namespace rt3d

namespace {

constexpr int kWidth = 1000, kHeight = 600;

// The eye 20 units in front of the origin on +Z, looking at it, through a 45 degree view
// on a wide view (the aspect ratio matters).
struct TView {
  TView() : context(kWidth, kHeight) {
    context.SetCameraAngleOfView(45);
    context.SetCameraMatrix(TMatrix3D::CreateTranslation({0, 0, -20}));
  }
  TMatrix3D ViewProjection() {
    return context.CurrentCameraMatrix() * context.CurrentProjectionMatrix();
  }
  TViewLook Look() {
    return {context.CurrentCameraMatrix(), context.CurrentProjectionMatrix(), kWidth, kHeight, 0};
  }
  rt3d::testing::RecordingContext context;
};

// Where the points of the sphere's surface land, in pixels (x right, y down), found by
// projecting a dense grid of them.
struct TSampled {
  double Left = 1e9, Top = 1e9, Right = -1e9, Bottom = -1e9;
};

TSampled Sample(const TPoint3D& c, float r, const TMatrix3D& m) {
  TSampled s;
  const int n = 720;
  for (int i = 0; i <= n; ++i) {
    const double theta = M_PI * i / n;
    for (int j = 0; j < 2 * n; ++j) {
      const double phi = M_PI * j / n;
      const TVector3D p{float(c.X + r * std::sin(theta) * std::cos(phi)),
                        float(c.Y + r * std::sin(theta) * std::sin(phi)),
                        float(c.Z + r * std::cos(theta)), 1};
      const TVector3D clip = p * m;
      const double x = (clip.X / clip.W + 1) / 2 * kWidth;
      const double y = (1 - clip.Y / clip.W) / 2 * kHeight;
      s.Left = std::min(s.Left, x);
      s.Right = std::max(s.Right, x);
      s.Top = std::min(s.Top, y);
      s.Bottom = std::max(s.Bottom, y);
    }
  }
  return s;
}

TEST(SphereOnView, OutlineBoundsHoldEveryPointOfTheSphereAndNoMoreThanTheMargin) {
  // Off-axis spheres are the ones a naive centre-plus-radius estimate gets wrong: their
  // outline is an ellipse stretched away from the view's centre.
  struct TCase {
    const char* Name;
    TPoint3D Centre;
    float Radius;
  } cases[] = {
      {"centred", {0, 0, 0}, 5},
      {"off to the right and up", {9, 4, 0}, 1},
      {"near the bottom-left corner", {-9, -5, 2}, 0.7f},
      {"close to the eye, off-axis", {2, 1, 15}, 2},
      {"far behind the planet", {3, -2, -60}, 1.5f},
  };
  TView view;
  const TMatrix3D m = view.ViewProjection();
  const int margin = 3;
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    const TPixelRect rect = SphereOnView(c.Centre, c.Radius, m, kWidth, kHeight, margin);
    const TSampled s = Sample(c.Centre, c.Radius, m);
    ASSERT_FALSE(rect.Empty());
    // Holds every pixel a point of the sphere touches (within the view).
    EXPECT_LE(rect.Left, std::max(0.0, std::floor(s.Left)));
    EXPECT_LE(rect.Top, std::max(0.0, std::floor(s.Top)));
    EXPECT_GE(rect.Right, std::min<double>(kWidth, std::ceil(s.Right)));
    EXPECT_GE(rect.Bottom, std::min<double>(kHeight, std::ceil(s.Bottom)));
    // And is no larger than the margin around them.
    EXPECT_GE(rect.Left, std::floor(s.Left) - margin - 1);
    EXPECT_GE(rect.Top, std::floor(s.Top) - margin - 1);
    EXPECT_LE(rect.Right, std::ceil(s.Right) + margin + 1);
    EXPECT_LE(rect.Bottom, std::ceil(s.Bottom) + margin + 1);
  }
}

TEST(SphereOnView, OutsideTheViewNothingAroundOrBesideTheEyeByTheViewsPlanes) {
  const TPixelRect whole{0, 0, kWidth, kHeight};
  struct TCase {
    const char* Name;
    TPoint3D Centre;
    float Radius;
    TPixelRect Expected;
  } cases[] = {
      {"far to the left", {-40, 0, 0}, 1, {}},
      {"above the view", {0, 30, 0}, 1, {}},
      {"behind the eye", {0, 0, 30}, 2, {}},
      {"beyond the far plane", {0, 0, -2000}, 1, {}},
      // Crossing the camera plane, but wholly beyond the left plane: nothing on screen.
      {"beside the eye, outside the view", {-6, 0, 20}, 2, {}},
      // Crossing the camera plane within the view: its outline is unbounded.
      {"around the eye", {0, 0, 20}, 100, whole},
      {"grazing the eye from the front", {0, 0, 17}, 4, whole},
  };
  TView view;
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    EXPECT_EQ(SphereOnView(c.Centre, c.Radius, view.ViewProjection(), kWidth, kHeight, 3),
              c.Expected);
  }
}

TEST(SphereOnView, PartlyOffTheViewIsClippedToIt) {
  TView view;
  const TPixelRect rect = SphereOnView({11, 0, 0}, 3, view.ViewProjection(), kWidth, kHeight, 3);
  EXPECT_EQ(rect.Right, kWidth);
  EXPECT_GT(rect.Left, kWidth / 2);
  EXPECT_LT(rect.Left, kWidth);
  EXPECT_GE(rect.Top, 0);
  EXPECT_LE(rect.Bottom, kHeight);
}

TEST(JoinRects, DisjointRectanglesCoverExactlyTheUnion) {
  const std::vector<TPixelRect> cases[] = {
      {},
      {{}, {5, 5, 5, 9}},                 // empty ones go
      {{0, 0, 10, 10}},                   // one stays as it is
      {{0, 0, 10, 10}, {5, 5, 20, 20}},   // overlapping
      {{0, 0, 10, 10}, {10, 0, 20, 10}},  // side by side
      {{0, 0, 10, 10}, {2, 2, 8, 8}},     // one inside the other
      {{0, 0, 10, 10}, {5, 5, 20, 20}, {20, 0, 25, 3}, {100, 100, 110, 110}},
      {{0, 0, 50, 4}, {0, 4, 50, 9}, {60, 2, 70, 6}},  // stacked, and one apart
  };
  for (const std::vector<TPixelRect>& rects : cases) {
    SCOPED_TRACE(::testing::PrintToString(rects));
    const std::vector<TPixelRect> joined = JoinRects(rects);
    long long area = 0;
    for (const TPixelRect& r : joined) {
      EXPECT_FALSE(r.Empty());
      area += r.Area();
    }
    // Every pixel of the field once in the joined set exactly when it is in some rectangle.
    long long covered = 0;
    for (int y = 0; y < 120; ++y) {
      for (int x = 0; x < 120; ++x) {
        auto in = [x, y](const TPixelRect& r) {
          return x >= r.Left && x < r.Right && y >= r.Top && y < r.Bottom;
        };
        const bool wanted = std::any_of(rects.begin(), rects.end(), in);
        const long long times = std::count_if(joined.begin(), joined.end(), in);
        EXPECT_EQ(times, wanted ? 1 : 0) << "at " << x << ", " << y;
        covered += wanted;
        if (::testing::Test::HasFailure()) return;
      }
    }
    EXPECT_EQ(area, covered);
  }
  // Stacked rectangles of the same columns are one.
  EXPECT_EQ(JoinRects({{0, 0, 50, 4}, {0, 4, 50, 9}}), (std::vector<TPixelRect>{{0, 0, 50, 9}}));
}

// A frame's bodies: a planet and two moons; the tests change one thing at a time.
struct TScene {
  TBodyLook planet{&planet, {}, true, 1, true, {0, 0, 0}, 5};
  TBodyLook moon{&moon, {}, true, 2, true, {8, 0, 0}, 1};
  TBodyLook other{&other, {}, true, 3, true, {-8, 2, 0}, 1};
  std::vector<TBodyLook> All() const { return {planet, moon, other}; }
};

// Every pixel of r lies in one of the rectangles.
bool Covers(const std::vector<TPixelRect>& rects, const TPixelRect& r) {
  for (int y = r.Top; y < r.Bottom; ++y) {
    for (int x = r.Left; x < r.Right; ++x) {
      if (std::none_of(rects.begin(), rects.end(), [x, y](const TPixelRect& c) {
            return x >= c.Left && x < c.Right && y >= c.Top && y < c.Bottom;
          })) {
        return false;
      }
    }
  }
  return true;
}

TEST(FrameDamage, ChangesOfTheWholeViewRedrawEverything) {
  const std::vector<TPixelRect> whole{{0, 0, kWidth, kHeight}};
  struct TCase {
    const char* Name;
    void (*Change)(TViewLook&, TScene&);
  } cases[] = {
      {"the camera", [](TViewLook& v, TScene&) { v.Camera[3][0] += 0.01f; }},
      {"the projection", [](TViewLook& v, TScene&) { v.Projection[0][0] *= 1.01f; }},
      {"the width", [](TViewLook& v, TScene&) { v.Width -= 1; }},
      {"the height", [](TViewLook& v, TScene&) { v.Height += 1; }},
      {"the lights, scale, colour or a texture", [](TViewLook& v, TScene&) { v.Rest += 1; }},
      {"a body of unknown extent",
       [](TViewLook&, TScene& s) {
         s.moon.Bounded = false;
         s.moon.Matrix[3][0] = 1;
       }},
      {"a moving body reaching behind the eye",
       [](TViewLook&, TScene& s) {
         s.moon.Centre = {0, 0, 19};
         s.moon.Matrix[3][2] = 19;
       }},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TView view;
    TScene scene;
    TFrameDamage damage;
    TViewLook look = view.Look();
    EXPECT_EQ(damage.Next(look, scene.All()), whole) << "the first frame";
    EXPECT_TRUE(damage.Next(look, scene.All()).empty()) << "nothing changed";
    c.Change(look, scene);
    const std::vector<TPixelRect> resized{{0, 0, look.Width, look.Height}};
    EXPECT_EQ(damage.Next(look, scene.All()), resized);
    EXPECT_TRUE(damage.Next(look, scene.All()).empty()) << "settled again";
  }
  TView view;
  TScene scene;
  TFrameDamage damage;
  damage.Next(view.Look(), scene.All());
  damage.Reset();
  EXPECT_EQ(damage.Next(view.Look(), scene.All()), whole) << "after a reset";
}

TEST(FrameDamage, ABodysChangeRedrawsWhereItWasAndWhereItIsOnly) {
  TView view;
  const TMatrix3D m = view.ViewProjection();
  auto at = [&](const TBodyLook& b) {
    return SphereOnView(b.Centre, b.Radius, m, kWidth, kHeight, TFrameDamage::kMargin);
  };
  struct TCase {
    const char* Name;
    void (*Change)(TScene&);
    bool OldPlace, NewPlace;
  } cases[] = {
      {"moved",
       [](TScene& s) {
         s.moon.Centre = {7, 1, 1};
         s.moon.Matrix[3][0] = -1;
       },
       true, true},
      {"turned in place", [](TScene& s) { s.moon.Matrix[0][1] = 0.5f; }, true, true},
      {"hidden", [](TScene& s) { s.moon.Visible = false; }, true, false},
      {"its material changed", [](TScene& s) { s.moon.Material = 99; }, true, true},
      {"moved out of the view",
       [](TScene& s) {
         s.moon.Centre = {60, 0, 0};
         s.moon.Matrix[3][0] = 52;
       },
       true, false},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TScene scene;
    TFrameDamage damage;
    damage.Next(view.Look(), scene.All());
    const TPixelRect before = at(scene.moon);
    c.Change(scene);
    const std::vector<TPixelRect> rects = damage.Next(view.Look(), scene.All());
    ASSERT_FALSE(rects.empty());
    long long area = 0;
    for (const TPixelRect& r : rects) area += r.Area();
    EXPECT_LT(area, 0.1 * kWidth * kHeight) << "a moon's change is not the whole view";
    if (c.OldPlace) {
      EXPECT_TRUE(Covers(rects, before));
    }
    const TPixelRect after = scene.moon.Visible ? at(scene.moon) : TPixelRect{};
    if (c.NewPlace) {
      EXPECT_TRUE(Covers(rects, after));
    }
    // The still bodies' own places are not asked for, except where the moon was or is.
    EXPECT_FALSE(Covers(rects, at(scene.other)));
  }
}

TEST(FrameDamage, ShownAgainAppearingAndGoneBodiesRedrawTheirPlace) {
  TView view;
  TScene scene;
  TFrameDamage damage;
  const TMatrix3D m = view.ViewProjection();
  const TPixelRect moonAt =
      SphereOnView(scene.moon.Centre, scene.moon.Radius, m, kWidth, kHeight, TFrameDamage::kMargin);
  scene.moon.Visible = false;
  damage.Next(view.Look(), scene.All());
  EXPECT_TRUE(damage.Next(view.Look(), scene.All()).empty()) << "a hidden body stays hidden";
  scene.moon.Visible = true;
  EXPECT_EQ(damage.Next(view.Look(), scene.All()), std::vector{moonAt}) << "shown again";
  // Gone from the list: its place is drawn without it; back again: drawn there.
  EXPECT_EQ(damage.Next(view.Look(), {scene.planet, scene.other}), std::vector{moonAt});
  EXPECT_EQ(damage.Next(view.Look(), scene.All()), std::vector{moonAt});
}

}  // namespace
