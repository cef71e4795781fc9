#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <set>
#include <string>

#include "runtime3d/core/Exceptions.h"
#include "runtime3d/mesh/Sphere.h"

using namespace rt3d;

namespace {

struct Size {
  int axes, height;
  std::string Name() const { return std::to_string(axes) + "x" + std::to_string(height); }
};

const Size kSizes[] = {{3, 2}, {4, 3}, {16, 12}, {50, 12}, {50, 50}, {7, 31}};

std::unique_ptr<TMeshData> Built(Size size) {
  auto mesh = std::make_unique<TMeshData>();
  BuildSphereMesh(*mesh, size.axes, size.height);
  return mesh;
}

void ExpectPointNear(const TPoint3D& actual, const TPoint3D& expected, double eps,
                     const std::string& what) {
  EXPECT_NEAR(actual.X, expected.X, eps) << what;
  EXPECT_NEAR(actual.Y, expected.Y, eps) << what;
  EXPECT_NEAR(actual.Z, expected.Z, eps) << what;
}

}  // namespace

TEST(SphereMesh, CountsFollowTheSubdivisions) {
  struct Case {
    Size size;
    int vertices, indices;
  };
  for (const Case& c : {Case{{50, 50}, 2600, 14700}, Case{{16, 12}, 220, 1056},
                        Case{{3, 2}, 11, 18}, Case{{50, 12}, 662, 3300}}) {
    const auto mesh = Built(c.size);
    EXPECT_EQ(mesh->VertexBuffer().Length(), c.vertices) << c.size.Name();
    EXPECT_EQ(mesh->IndexBuffer().Length(), c.indices) << c.size.Name();
    EXPECT_EQ(mesh->IndexBuffer().Format(), TIndexFormat::UInt32);
  }
}

TEST(SphereMesh, LandmarkVerticesOfTheFiftyByFiftyMesh) {
  const auto mesh = Built(Size{50, 50});
  const TVertexBuffer& v = mesh->VertexBuffer();
  // The south-pole ring: u in the middle of its column, v = 0.
  EXPECT_FLOAT_EQ(v.TexCoord0(0).X, 0.01f);
  EXPECT_EQ(v.TexCoord0(0).Y, 0);
  ExpectPointNear(v.Vertex(0), {0, -0.5f, 0}, 1e-7, "vertex 0");
  // Its seam copy keeps u = 1.
  EXPECT_EQ(v.TexCoord0(50), (TPointF{1, 0}));
  // First vertex of ring 1, on +x.
  ExpectPointNear(v.Vertex(51), {0.0313952f, -0.4990134f, 0}, 1e-6, "vertex 51");
  EXPECT_EQ(v.TexCoord0(51).X, 0);
  EXPECT_FLOAT_EQ(v.TexCoord0(51).Y, 0.02f);
  // Seam copy of ring 1: same place and normal, u = 1.
  EXPECT_EQ(v.Vertex(101), v.Vertex(51));
  EXPECT_EQ(v.Normal(101), v.Normal(51));
  EXPECT_EQ(v.TexCoord0(101), (TPointF{1, v.TexCoord0(51).Y}));
  // The last 50 vertices are the north-pole vertices, one per column.
  for (int k = 0; k < 50; ++k) {
    const int pole = 2550 + k;
    EXPECT_EQ(v.Vertex(pole), (TPoint3D{0, 0.5f, 0})) << pole;
    EXPECT_EQ(v.Normal(pole), (TPoint3D{0, 1, 0})) << pole;
    EXPECT_FLOAT_EQ(v.TexCoord0(pole).X, (k + 0.5f) / 50) << pole;
    EXPECT_EQ(v.TexCoord0(pole).Y, 1) << pole;
  }
  // u runs from +x toward +z: a quarter of the way round is +z.
  const int equatorPlusZ = 25 * 51 + 12;  // column 12.5 would be +z exactly
  EXPECT_GT(v.Vertex(equatorPlusZ).Z, 0.49f);
  EXPECT_FLOAT_EQ(v.TexCoord0(equatorPlusZ).X, 0.24f);
}

TEST(SphereMesh, SmallestMeshHasItsMiddleRingOnTheEquator) {
  const auto mesh = Built(Size{3, 2});
  const TVertexBuffer& v = mesh->VertexBuffer();
  for (int k = 0; k <= 3; ++k) {
    EXPECT_NEAR(v.Vertex(4 + k).Y, 0, 1e-7) << "ring 1, column " << k;
    EXPECT_NEAR(std::hypot(v.Vertex(4 + k).X, v.Vertex(4 + k).Z), 0.5, 1e-6);
    EXPECT_FLOAT_EQ(v.TexCoord0(4 + k).Y, 0.5f);
  }
  // Ring 0 at the south pole, then three pole vertices at the north.
  for (int k = 0; k < 3; ++k) EXPECT_NEAR(v.Vertex(k).Y, -0.5, 1e-7);
  for (int k = 8; k < 11; ++k) EXPECT_EQ(v.Vertex(k), (TPoint3D{0, 0.5f, 0}));
  // The triangles in the order they are made: south cap, then north cap.
  const std::uint32_t expected[18] = {0, 5, 4, 1, 6, 5, 2, 7, 6, 4, 5, 8, 5, 6, 9, 6, 7, 10};
  for (int i = 0; i < 18; ++i) EXPECT_EQ(mesh->IndexBuffer().Index(i), expected[i]) << i;
}

TEST(SphereMesh, MiddleRingsMakeTwoTrianglesPerQuadInOrder) {
  const auto mesh = Built(Size{4, 3});
  // Ring 1, column 0 (l = 5, J = 5): after the 4 south-cap triangles.
  const TIndexBuffer& ix = mesh->IndexBuffer();
  const std::uint32_t expected[6] = {5, 11, 10, 5, 6, 11};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(ix.Index(12 + i), expected[i]) << i;
}

TEST(SphereMesh, EveryTriangleWindsInward) {
  // Seen from outside a triangle runs clockwise with y down the screen: its
  // (p1 - p0) x (p2 - p0) points into the sphere, toward the centre.
  for (Size size : kSizes) {
    const auto mesh = Built(size);
    const TVertexBuffer& v = mesh->VertexBuffer();
    const TIndexBuffer& ix = mesh->IndexBuffer();
    int wrong = 0;
    for (int t = 0; t < ix.Length(); t += 3) {
      const TPoint3D p0 = v.Vertex(int(ix.Index(t))), p1 = v.Vertex(int(ix.Index(t + 1))),
                     p2 = v.Vertex(int(ix.Index(t + 2)));
      const TPoint3D n = Cross(p1 - p0, p2 - p0);
      const TPoint3D centroid{(p0.X + p1.X + p2.X) / 3, (p0.Y + p1.Y + p2.Y) / 3,
                              (p0.Z + p1.Z + p2.Z) / 3};
      if (!(Dot(n, centroid) < 0)) ++wrong;
    }
    EXPECT_EQ(wrong, 0) << size.Name() << ": triangles facing outward or degenerate";
  }
}

TEST(SphereMesh, VerticesLieOnTheSphereWithOutwardNormals) {
  for (Size size : kSizes) {
    const auto mesh = Built(size);
    const TVertexBuffer& v = mesh->VertexBuffer();
    for (int i = 0; i < v.Length(); ++i) {
      const TPoint3D p = v.Vertex(i), n = v.Normal(i);
      EXPECT_NEAR(Length(p), 0.5, 1e-6) << size.Name() << " vertex " << i;
      EXPECT_NEAR(Length(n), 1, 1e-6) << size.Name() << " vertex " << i;
      ExpectPointNear(n, p * 2.0, 1e-6, size.Name() + " normal " + std::to_string(i));
      const TPointF uv = v.TexCoord0(i);
      EXPECT_TRUE(uv.X >= 0 && uv.X <= 1 && uv.Y >= 0 && uv.Y <= 1) << i;
      // The channels the sphere never writes stay zero.
      EXPECT_EQ(v.BiNormal(i), TPoint3D{});
      EXPECT_EQ(v.Tangent(i), TPoint3D{});
    }
  }
}

TEST(SphereMesh, OnlyTheSouthSeamCopyIsLeftUnused) {
  for (Size size : kSizes) {
    const auto mesh = Built(size);
    const TIndexBuffer& ix = mesh->IndexBuffer();
    std::set<std::uint32_t> used;
    for (int i = 0; i < ix.Length(); ++i) used.insert(ix.Index(i));
    const auto count = std::uint32_t(mesh->VertexBuffer().Length());
    EXPECT_LT(*used.rbegin(), count) << size.Name();
    for (std::uint32_t i = 0; i < count; ++i) {
      EXPECT_EQ(used.count(i), i == std::uint32_t(size.axes) ? 0u : 1u)
          << size.Name() << " vertex " << i;
    }
  }
}

TEST(SphereMesh, RebuildingSmallerKeepsNothingStale) {
  // The viewer builds 16x12, then 50x12, then 50x50 into the same data; a rebuild to a
  // smaller size must give the same mesh as a fresh build.
  TMeshData mesh;
  BuildSphereMesh(mesh, 50, 50);
  BuildSphereMesh(mesh, 7, 5);
  TMeshData fresh;
  BuildSphereMesh(fresh, 7, 5);
  ASSERT_EQ(mesh.VertexBuffer().Size(), fresh.VertexBuffer().Size());
  ASSERT_EQ(mesh.IndexBuffer().Size(), fresh.IndexBuffer().Size());
  EXPECT_EQ(std::memcmp(mesh.VertexBuffer().Buffer(), fresh.VertexBuffer().Buffer(),
                        size_t(fresh.VertexBuffer().Size())),
            0);
  EXPECT_EQ(std::memcmp(mesh.IndexBuffer().Buffer(), fresh.IndexBuffer().Buffer(),
                        size_t(fresh.IndexBuffer().Size())),
            0);
}

TEST(SphereMesh, BoundingBoxOfTheFiftyByFiftyMesh) {
  const auto mesh = Built(Size{50, 50});
  const TBoundingBox& box = mesh->GetBoundingBox();
  EXPECT_FLOAT_EQ(box.Left, -0.5f);
  EXPECT_FLOAT_EQ(box.Right, 0.5f);
  EXPECT_FLOAT_EQ(box.Top, -0.5f);
  EXPECT_FLOAT_EQ(box.Bottom, 0.5f);
  // No column falls on +z or -z exactly.
  EXPECT_NEAR(box.Near, -0.4990134, 1e-6);
  EXPECT_NEAR(box.Far, 0.4990134, 1e-6);
}

TEST(SphereMesh, TooFewSubdivisionsAreRefusedWithoutTouchingTheMesh) {
  TMeshData mesh;
  BuildSphereMesh(mesh, 4, 3);
  const std::uint64_t generation = mesh.Generation();
  EXPECT_THROW(BuildSphereMesh(mesh, 2, 3), EArgumentOutOfRangeException);
  EXPECT_THROW(BuildSphereMesh(mesh, 4, 1), EArgumentOutOfRangeException);
  EXPECT_EQ(mesh.Generation(), generation);
  EXPECT_EQ(mesh.VertexBuffer().Length(), 19);
}

TEST(Sphere, StartsAsSixteenByTwelveInAUnitBox) {
  TSphere sphere;
  EXPECT_EQ(sphere.SubdivisionsAxes(), 16);
  EXPECT_EQ(sphere.SubdivisionsHeight(), 12);
  EXPECT_EQ(sphere.Data().VertexBuffer().Length(), 220);
  EXPECT_EQ(sphere.WrapMode(), TMeshWrapMode::Stretch);
  EXPECT_EQ(sphere.MaterialSource(), nullptr);
  EXPECT_EQ(sphere.Width(), 1);
  EXPECT_EQ(sphere.Height(), 1);
  EXPECT_EQ(sphere.Depth(), 1);
}

TEST(Sphere, SubdivisionsAreClampedAndRebuildOnlyOnANewValue) {
  struct Case {
    const char* what;
    bool axes;  // else height
    int start, value, stored;
    bool rebuilds;
  };
  const Case cases[] = {
      {"axes below range", true, 16, 2, 3, true},
      {"axes above range", true, 16, 100, 50, true},
      {"axes in range", true, 16, 30, 30, true},
      {"axes unchanged", true, 16, 16, 16, false},
      // Compared before clamping: 2 over a stored 3 builds the same mesh again.
      {"axes clamped again", true, 3, 2, 3, true},
      {"axes at the bound", true, 3, 3, 3, false},
      {"height below range", false, 12, 1, 2, true},
      {"height negative", false, 12, -5, 2, true},
      {"height above range", false, 12, 51, 50, true},
      {"height unchanged", false, 12, 12, 12, false},
      {"height clamped again", false, 50, 70, 50, true},
  };
  for (const Case& c : cases) {
    TSphere sphere;
    if (c.axes) {
      sphere.SetSubdivisionsAxes(c.start);
    } else {
      sphere.SetSubdivisionsHeight(c.start);
    }
    const std::uint64_t before = sphere.Data().Generation();
    if (c.axes) {
      sphere.SetSubdivisionsAxes(c.value);
    } else {
      sphere.SetSubdivisionsHeight(c.value);
    }
    EXPECT_EQ(c.axes ? sphere.SubdivisionsAxes() : sphere.SubdivisionsHeight(), c.stored) << c.what;
    EXPECT_EQ(sphere.Data().Generation() != before, c.rebuilds) << c.what;
    const int a = sphere.SubdivisionsAxes(), h = sphere.SubdivisionsHeight();
    EXPECT_EQ(sphere.Data().VertexBuffer().Length(), (a + 1) * (h + 1) - 1) << c.what;
    EXPECT_EQ(sphere.Data().IndexBuffer().Length(), 6 * a * (h - 1)) << c.what;
  }
}
