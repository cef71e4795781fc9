#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <string>

#include "runtime3d/material/MaterialSource.h"
#include "runtime3d/mesh/Sphere.h"
#include "tests/runtime3d/core/FakeViewport.h"

using namespace rt3d;
using rt3d::testing::FakeViewport;
using rt3d::testing::RecordingContext;

namespace {

void ExpectPointNear(const TPoint3D& actual, const TPoint3D& expected, double eps,
                     const std::string& what = {}) {
  EXPECT_NEAR(actual.X, expected.X, eps) << what;
  EXPECT_NEAR(actual.Y, expected.Y, eps) << what;
  EXPECT_NEAR(actual.Z, expected.Z, eps) << what;
}

// The box the placed mesh occupies in the object's frame.
TBoundingBox PlacedBox(const TCustomMesh& mesh) {
  const TMatrix3D m = mesh.MeshPlacementMatrix();
  const TVertexBuffer& v = mesh.Data().VertexBuffer();
  const TPoint3D first = TransformPoint(v.Vertex(0), m);
  TBoundingBox box{first.X, first.Y, first.Z, first.X, first.Y, first.Z};
  for (int i = 1; i < v.Length(); ++i) {
    const TPoint3D p = TransformPoint(v.Vertex(i), m);
    box = {std::min(box.Left, p.X),  std::min(box.Top, p.Y),    std::min(box.Near, p.Z),
           std::max(box.Right, p.X), std::max(box.Bottom, p.Y), std::max(box.Far, p.Z)};
  }
  return box;
}

void ExpectBoxNear(const TBoundingBox& actual, const TBoundingBox& expected, double eps,
                   const std::string& what) {
  EXPECT_NEAR(actual.Left, expected.Left, eps) << what << " left";
  EXPECT_NEAR(actual.Top, expected.Top, eps) << what << " top";
  EXPECT_NEAR(actual.Near, expected.Near, eps) << what << " near";
  EXPECT_NEAR(actual.Right, expected.Right, eps) << what << " right";
  EXPECT_NEAR(actual.Bottom, expected.Bottom, eps) << what << " bottom";
  EXPECT_NEAR(actual.Far, expected.Far, eps) << what << " far";
}

constexpr float kZ = 0.4990134f;  // the 50x50 mesh's extent along z

std::unique_ptr<TSphere> ViewerSphere() {
  auto sphere = std::make_unique<TSphere>();
  sphere->SetSubdivisionsAxes(50);
  sphere->SetSubdivisionsHeight(50);
  return sphere;
}

const char* ModeName(TMeshWrapMode mode) {
  switch (mode) {
    case TMeshWrapMode::Original:
      return "Original";
    case TMeshWrapMode::Fit:
      return "Fit";
    case TMeshWrapMode::Stretch:
      return "Stretch";
    case TMeshWrapMode::Resize:
      return "Resize";
  }
  return "?";
}

}  // namespace

// --- Placement -------------------------------------------------------------------------------

TEST(MeshPlacement, EachWrapModePlacesTheSphereInItsBox) {
  struct Case {
    TMeshWrapMode mode;
    float w, h, d;
    TBoundingBox placed;
  };
  const Case cases[] = {
      // The viewer's spheres: a unit box leaves the mesh as generated, except that Stretch
      // pulls z out to the full box.
      {TMeshWrapMode::Original, 1, 1, 1, {-0.5f, -0.5f, -kZ, 0.5f, 0.5f, kZ}},
      {TMeshWrapMode::Fit, 1, 1, 1, {-0.5f, -0.5f, -kZ, 0.5f, 0.5f, kZ}},
      {TMeshWrapMode::Resize, 1, 1, 1, {-0.5f, -0.5f, -kZ, 0.5f, 0.5f, kZ}},
      {TMeshWrapMode::Stretch, 1, 1, 1, {-0.5f, -0.5f, -0.5f, 0.5f, 0.5f, 0.5f}},
      // Twice as wide: Fit keeps a round sphere of radius 0.5, Stretch fills the box.
      {TMeshWrapMode::Fit, 2, 1, 1, {-0.5f, -0.5f, -kZ, 0.5f, 0.5f, kZ}},
      {TMeshWrapMode::Stretch, 2, 1, 1, {-1, -0.5f, -0.5f, 1, 0.5f, 0.5f}},
      {TMeshWrapMode::Original, 2, 1, 1, {-1, -0.5f, -kZ, 1, 0.5f, kZ}},
      {TMeshWrapMode::Resize, 2, 1, 1, {-0.5f, -0.5f, -kZ, 0.5f, 0.5f, kZ}},
      // Fit scales by the tightest side and centres.
      {TMeshWrapMode::Fit, 4, 3, 6, {-1.5f, -1.5f, -1.5f * 2 * kZ, 1.5f, 1.5f, 1.5f * 2 * kZ}},
      // A side of 0 leaves Fit unscaled.
      {TMeshWrapMode::Fit, 0, 1, 1, {-0.5f, -0.5f, -kZ, 0.5f, 0.5f, kZ}},
  };
  for (const Case& c : cases) {
    auto sphere = ViewerSphere();
    sphere->SetWrapMode(c.mode);
    sphere->SetSize(c.w, c.h, c.d);
    const std::string what =
        std::string(ModeName(c.mode)) + " in " + std::to_string(c.w) + "x" + std::to_string(c.h);
    ExpectBoxNear(PlacedBox(*sphere), c.placed, 2e-6, what);
  }
}

TEST(MeshPlacement, StretchLeavesAFlatAxisUnscaled) {
  // A mesh flat in y (all vertices at y = 0.25) keeps its y scale instead of being blown up.
  TCustomMesh mesh;
  TVertexBuffer& v = mesh.Data().VertexBuffer();
  v.SetLength(3);
  v.SetVertex(0, {0, 0.25f, 0});
  v.SetVertex(1, {2, 0.25f, 0});
  v.SetVertex(2, {0, 0.25f, 4});
  mesh.SetSize(1, 3, 2);
  const TMatrix3D m = mesh.MeshPlacementMatrix();
  EXPECT_TRUE(std::isfinite(m[1][1]));
  EXPECT_EQ(m[1][1], 1);
  ExpectPointNear(TransformPoint(v.Vertex(1), m), {0.5f, -1.5f, -1}, 1e-6, "stretched corner");
  ExpectPointNear(TransformPoint(v.Vertex(2), m), {-0.5f, -1.5f, 1}, 1e-6, "stretched corner");
}

TEST(MeshPlacement, UnusableBoxesGiveTheIdentity) {
  struct Case {
    const char* what;
    TMeshWrapMode mode;
    TPoint3D vertex;
  };
  constexpr float nan = std::numeric_limits<float>::quiet_NaN();
  for (const Case& c : {Case{"NaN position, Stretch", TMeshWrapMode::Stretch, {nan, 0, 0}},
                        Case{"NaN position, Fit", TMeshWrapMode::Fit, {0, nan, 0}},
                        Case{"NaN position, Original", TMeshWrapMode::Original, {0, 0, nan}}}) {
    TCustomMesh mesh;
    mesh.SetWrapMode(c.mode);
    mesh.Data().VertexBuffer().SetLength(1);
    mesh.Data().VertexBuffer().SetVertex(0, c.vertex);
    mesh.SetSize(2, 3, 4);
    EXPECT_EQ(mesh.MeshPlacementMatrix(), TMatrix3D::Identity()) << c.what;
  }
  // A single point has no extent to fit: Fit only centres it, without dividing by zero.
  TCustomMesh point;
  point.SetWrapMode(TMeshWrapMode::Fit);
  point.Data().VertexBuffer().SetLength(1);
  point.Data().VertexBuffer().SetVertex(0, {5, 5, 5});
  ExpectPointNear(TransformPoint({5, 5, 5}, point.MeshPlacementMatrix()), {0, 0, 0}, 1e-6,
                  "point fitted");
}

TEST(MeshPlacement, FitIntoKeepsProportionsAndCentres) {
  const TFitResult fit = FitInto({0, 0, 0, 4, 2, 1}, {-1, -1, -1, 1, 3, 1});
  EXPECT_DOUBLE_EQ(fit.Ratio, 2);
  EXPECT_EQ(fit.Box, (TBoundingBox{-1, 0.5f, -0.25f, 1, 1.5f, 0.25f}));
  // An area without depth leaves the box as it is.
  const TFitResult flat = FitInto({0, 0, 0, 4, 2, 1}, {-1, -1, 0, 1, 3, 0});
  EXPECT_DOUBLE_EQ(flat.Ratio, 1);
  EXPECT_EQ(flat.Box, (TBoundingBox{0, 0, 0, 4, 2, 1}));
}

// --- Ray test -------------------------------------------------------------------------------

TEST(SphereRay, ThroughTheCentreFromOutsideHitsTheNearSurface) {
  TSphere sphere;
  for (TPoint3D origin : {TPoint3D{0, 0, -15}, TPoint3D{3, -4, 0}, TPoint3D{0.3f, 0.4f, 0.5f},
                          TPoint3D{-100, 20, 7}}) {
    const TPoint3D dir = Normalize(-origin);
    TVector3D hit;
    ASSERT_TRUE(sphere.RayCastIntersect(TVector3D::Point(origin), TVector3D::Direction(dir), hit));
    EXPECT_NEAR(Distance(hit.XYZ(), origin), Length(origin) - 0.5, 1e-5);
    EXPECT_NEAR(Length(hit.XYZ()), 0.5, 1e-6);
    EXPECT_EQ(hit.W, 1);
  }
}

TEST(SphereRay, ReportsTheNearerCrossingOfTheWholeLine) {
  TSphere sphere;
  struct Case {
    const char* what;
    TPoint3D origin, dir;
    bool hits;
    TPoint3D expected;
  };
  const Case cases[] = {
      {"inside, nearer crossing ahead", {0, 0, 0.3f}, {0, 0, 1}, true, {0, 0, 0.5f}},
      {"inside, nearer crossing behind", {0, 0, -0.3f}, {0, 0, 1}, true, {0, 0, -0.5f}},
      {"outside, sphere behind the origin", {0, 0, -3}, {0, 0, -1}, true, {0, 0, -0.5f}},
      {"direction not of unit length", {0, 0, -3}, {0, 0, 4}, true, {0, 0, -0.5f}},
      {"grazing the top", {0, 0.5f, -3}, {0, 0, 1}, true, {0, 0.5f, 0}},
      {"passing above", {0, 0.51f, -3}, {0, 0, 1}, false, {}},
      {"no direction at all", {0, 0, -3}, {0, 0, 0}, false, {}},
  };
  for (const Case& c : cases) {
    const TVector3D untouched{7, 7, 7, 7};
    TVector3D hit = untouched;
    const bool hits =
        sphere.RayCastIntersect(TVector3D::Point(c.origin), TVector3D::Direction(c.dir), hit);
    EXPECT_EQ(hits, c.hits) << c.what;
    if (c.hits) {
      ExpectPointNear(hit.XYZ(), c.expected, 1e-6, c.what);
    } else {
      EXPECT_EQ(hit, untouched) << c.what << ": a miss leaves the result alone";
    }
  }
}

TEST(SphereRay, RadiiFollowTheWrapMode) {
  // A ray along +x from far left, through the centre; the hit's x is minus the x radius.
  struct Case {
    TMeshWrapMode mode;
    float w, h, d;
    bool hits;
    float x;
  };
  const Case cases[] = {
      {TMeshWrapMode::Stretch, 2, 1, 1, true, -1},
      {TMeshWrapMode::Original, 2, 1, 1, true, -1},
      {TMeshWrapMode::Fit, 2, 1, 1, true, -0.5f},
      {TMeshWrapMode::Fit, 2, 3, 4, true, -1},
      {TMeshWrapMode::Resize, 2, 1, 1, true, -0.5f},
      {TMeshWrapMode::Resize, 0, 1, 1, true, -0.5f},
      // A flat box leaves nothing to hit.
      {TMeshWrapMode::Stretch, 0, 1, 1, false, 0},
      {TMeshWrapMode::Stretch, 1, 1, 0, false, 0},
      {TMeshWrapMode::Original, 1, 0, 1, false, 0},
      {TMeshWrapMode::Fit, 1, 1, 0, false, 0},
  };
  for (const Case& c : cases) {
    TSphere sphere;
    sphere.SetWrapMode(c.mode);
    sphere.SetSize(c.w, c.h, c.d);
    TVector3D hit;
    const std::string what = std::string(ModeName(c.mode)) + " " + std::to_string(c.w) + "x" +
                             std::to_string(c.h) + "x" + std::to_string(c.d);
    ASSERT_EQ(sphere.RayCastIntersect({-10, 0, 0, 1}, {1, 0, 0, 0}, hit), c.hits) << what;
    if (c.hits) ExpectPointNear(hit.XYZ(), {c.x, 0, 0}, 1e-6, what);
  }
  // An off-axis ray meets the stretched ellipsoid where x^2 + (2y)^2 + (2z)^2 = 1.
  TSphere wide;
  wide.SetSize(2, 1, 1);
  TVector3D hit;
  ASSERT_TRUE(wide.RayCastIntersect({-10, 0.3f, 0, 1}, {1, 0, 0, 0}, hit));
  EXPECT_NEAR(hit.X, -std::sqrt(1 - 0.36), 1e-6);
}

TEST(SphereRay, HitIsReturnedInWorldCoordinates) {
  FakeViewport viewport;
  TViewportRoot root(&viewport);
  auto* parent = new TDummy;
  root.AddObject(parent);
  parent->Position().SetPoint({0, 5, 0});
  auto* sphere = new TSphere;
  parent->AddObject(sphere);
  sphere->Position().SetPoint({10, 0, 0});
  sphere->Scale().SetPoint({2, 2, 2});
  sphere->RotationAngle().SetY(90);
  // The ray is in the sphere's own frame: local (0, 0, -0.5) is turned to local -x by the
  // rotation, scaled by 2 and moved to (10, 5, 0).
  TVector3D hit;
  ASSERT_TRUE(sphere->RayCastIntersect({0, 0, -5, 1}, {0, 0, 1, 0}, hit));
  ExpectPointNear(hit.XYZ(), {9, 5, 0}, 1e-5, "world hit");
}

TEST(SphereRay, AgreesWithTheTrianglesOfThePlacedMesh) {
  // Cross-check of the exact test against the generic triangle test on the same placed
  // mesh: rays clearly off the silhouette agree on hit or miss, and a triangle hit lies on
  // the ellipsoid up to the facets' sag.
  std::mt19937 random(20260101);
  std::uniform_real_distribution<float> unit(-1, 1);
  for (TMeshWrapMode mode : {TMeshWrapMode::Stretch, TMeshWrapMode::Fit, TMeshWrapMode::Original}) {
    auto sphere = ViewerSphere();
    sphere->SetWrapMode(mode);
    sphere->SetSize(1.6f, 1, 0.7f);
    TCustomMesh triangles;
    triangles.Data().Assign(sphere->Data());
    triangles.SetWrapMode(mode);
    triangles.SetSize(1.6f, 1, 0.7f);
    TPoint3D radii{0.8f, 0.5f, 0.35f};
    if (mode == TMeshWrapMode::Fit) radii = {0.35f, 0.35f, 0.35f};
    int checked = 0;
    for (int n = 0; n < 400; ++n) {
      const TPoint3D origin = Normalize({unit(random), unit(random), unit(random)}) * 3.0;
      const TPoint3D target{unit(random) * 0.9f, unit(random) * 0.6f, unit(random) * 0.45f};
      const TPoint3D dir = Normalize(target - origin);
      // Distance of the line from the ellipsoid's surface, in the unit-sphere space.
      const TPoint3D o{origin.X / radii.X, origin.Y / radii.Y, origin.Z / radii.Z};
      const TPoint3D d = Normalize({dir.X / radii.X, dir.Y / radii.Y, dir.Z / radii.Z});
      const double closest = Length(o - d * Dot(o, d));
      if (std::fabs(closest - 1) < 0.02) continue;
      ++checked;
      TVector3D exact, approx;
      const bool hitsExact =
          sphere->RayCastIntersect(TVector3D::Point(origin), TVector3D::Direction(dir), exact);
      const bool hitsMesh =
          triangles.RayCastIntersect(TVector3D::Point(origin), TVector3D::Direction(dir), approx);
      ASSERT_EQ(hitsExact, closest < 1) << ModeName(mode) << " ray " << n;
      ASSERT_EQ(hitsMesh, hitsExact) << ModeName(mode) << " ray " << n;
      if (!hitsMesh) continue;
      const TPoint3D a = approx.XYZ();
      const double onSurface = Length({a.X / radii.X, a.Y / radii.Y, a.Z / radii.Z});
      EXPECT_NEAR(onSurface, 1, 0.005) << ModeName(mode) << " ray " << n;
      // The exact hit is the nearer crossing. (Fit's mesh is fitted by its z extent, which
      // falls short of 1, so it stands out of the exact sphere by a few ten-thousandths.)
      EXPECT_LE(Distance(exact.XYZ(), origin), Distance(a, origin) + 0.005) << ModeName(mode);
    }
    EXPECT_GT(checked, 300);
  }
}

TEST(MeshRay, FirstTriangleInIndexOrderWinsAndOnlyAheadOfTheOrigin) {
  // Two parallel squares at z = -1 (drawn second) and z = +1 (drawn first), in Resize mode
  // so the data is the object frame.
  TCustomMesh mesh;
  mesh.SetWrapMode(TMeshWrapMode::Resize);
  TVertexBuffer& v = mesh.Data().VertexBuffer();
  TIndexBuffer& ix = mesh.Data().IndexBuffer();
  v.SetLength(6);
  const TPoint3D corners[6] = {{-1, -1, 1},  {1, -1, 1},  {0, 1, 1},
                               {-1, -1, -1}, {1, -1, -1}, {0, 1, -1}};
  for (int i = 0; i < 6; ++i) v.SetVertex(i, corners[i]);
  ix.SetLength(6);
  for (int i = 0; i < 6; ++i) ix.SetIndex(i, std::uint32_t(i));

  TVector3D hit;
  ASSERT_TRUE(mesh.RayCastIntersect({0, 0, -5, 1}, {0, 0, 1, 0}, hit));
  ExpectPointNear(hit.XYZ(), {0, 0, 1}, 1e-6, "first triangle, though farther");
  ASSERT_TRUE(mesh.RayCastIntersect({0, 0, 0, 1}, {0, 0, -1, 0}, hit));
  ExpectPointNear(hit.XYZ(), {0, 0, -1}, 1e-6, "the one behind does not count");
  EXPECT_FALSE(mesh.RayCastIntersect({0, 0, 5, 1}, {0, 0, 1, 0}, hit));
  EXPECT_FALSE(mesh.RayCastIntersect({5, 0, -5, 1}, {0, 0, 1, 0}, hit));

  // A stray index is skipped, not read past the end.
  ix.SetIndex(0, 99);
  ASSERT_TRUE(mesh.RayCastIntersect({0, 0, -5, 1}, {0, 0, 1, 0}, hit));
  ExpectPointNear(hit.XYZ(), {0, 0, -1}, 1e-6, "stray triangle skipped");
}

// --- Drawing and material --------------------------------------------------------------------

struct ShapeScene : ::testing::Test {
  RecordingContext context{640, 480};
  FakeViewport viewport{&context};
  TViewportRoot root{&viewport};
};

TEST_F(ShapeScene, RenderDrawsTheWholeMeshOnceWithPlacementAndOpacity) {
  auto* group = new TDummy;
  root.AddObject(group);
  group->SetOpacity(0.5f);
  group->Position().SetPoint({1, 2, 3});
  auto* sphere = new TSphere;
  group->AddObject(sphere);
  sphere->SetOpacity(0.8f);
  sphere->SetSize(2, 1, 1);

  group->RenderInternal(context);
  ASSERT_EQ(context.draws.size(), 1u);
  const RecordingContext::Draw& draw = context.draws[0];
  EXPECT_EQ(draw.Vertices, &sphere->Data().VertexBuffer());
  EXPECT_EQ(draw.Indices, &sphere->Data().IndexBuffer());
  EXPECT_FLOAT_EQ(draw.Opacity, 0.4f);
  // Without a material source the context is handed no material (it uses its default red).
  EXPECT_EQ(draw.Material, nullptr);
  const TMatrix3D expected = sphere->MeshPlacementMatrix() * sphere->AbsoluteMatrix();
  EXPECT_EQ(draw.Matrix, expected);
  // The stretched mesh's +x end lands at the group's position plus the box's half width.
  ExpectPointNear(TransformPoint({0.5f, 0, 0}, draw.Matrix), {2, 2, 3}, 1e-6, "placed");
}

TEST_F(ShapeScene, WrapModeRepaintsOnlyWhenItChanges) {
  auto* sphere = new TSphere;
  root.AddObject(sphere);
  const int before = viewport.redraws;
  sphere->SetWrapMode(TMeshWrapMode::Stretch);
  EXPECT_EQ(viewport.redraws, before);
  sphere->SetWrapMode(TMeshWrapMode::Fit);
  EXPECT_GT(viewport.redraws, before);
}

TEST_F(ShapeScene, MaterialSourceIsUsedAndForgottenWhenItGoes) {
  auto* source = new TColorMaterialSource("Red");
  auto* sphere = new TSphere;
  root.AddObject(sphere);
  sphere->SetMaterialSource(source);
  EXPECT_EQ(sphere->RenderingMaterial(), source->Material());
  sphere->RenderInternal(context);
  ASSERT_EQ(context.draws.size(), 1u);
  EXPECT_EQ(context.draws[0].Material, source->Material());

  // A change of the material repaints the shapes using it.
  const int before = viewport.redraws;
  source->SetColor(claAqua);
  EXPECT_GT(viewport.redraws, before);

  delete source;
  EXPECT_EQ(sphere->MaterialSource(), nullptr);
  EXPECT_EQ(sphere->RenderingMaterial(), nullptr);
  sphere->RenderInternal(context);
  EXPECT_EQ(context.draws.back().Material, nullptr);
}

TEST_F(ShapeScene, SwitchingSourcesDetachesFromTheOldOne) {
  TColorMaterialSource first("First"), second("Second");
  auto* sphere = new TSphere;
  root.AddObject(sphere);
  sphere->SetMaterialSource(&first);
  sphere->SetMaterialSource(&second);
  EXPECT_TRUE(first.Shapes().empty());
  ASSERT_EQ(second.Shapes().size(), 1u);
  // The old source no longer repaints the shape.
  const int before = viewport.redraws;
  first.SetColor(claWhite);
  EXPECT_EQ(viewport.redraws, before);

  // A shape destroyed while attached leaves no entry behind.
  delete sphere;
  EXPECT_TRUE(second.Shapes().empty());
  second.SetColor(claWhite);
}
