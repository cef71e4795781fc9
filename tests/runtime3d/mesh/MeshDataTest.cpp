#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>

#include "runtime3d/core/Exceptions.h"
#include "runtime3d/mesh/MeshData.h"

using namespace rt3d;

namespace {

template <typename T>
T ReadAt(const std::byte* base, int offset) {
  T value;
  std::memcpy(&value, base + offset, sizeof value);
  return value;
}

}  // namespace

TEST(VertexBuffer, DefaultLayoutIsFiftySixInterleavedBytes) {
  TVertexBuffer vertices(kDefaultVertexFormat, 3);
  EXPECT_EQ(vertices.VertexSize(), 56);
  EXPECT_EQ(vertices.Size(), 3 * 56);
  EXPECT_EQ(vertices.Offset(TVertexFormat::Vertex), 0);
  EXPECT_EQ(vertices.Offset(TVertexFormat::Normal), 12);
  EXPECT_EQ(vertices.Offset(TVertexFormat::TexCoord0), 24);
  EXPECT_EQ(vertices.Offset(TVertexFormat::BiNormal), 32);
  EXPECT_EQ(vertices.Offset(TVertexFormat::Tangent), 44);
  EXPECT_FALSE(vertices.HasChannel(TVertexFormat::Color0));

  // What the device reads: the values land in the block at those offsets, vertex by vertex.
  vertices.SetVertex(2, {1, 2, 3});
  vertices.SetNormal(2, {4, 5, 6});
  vertices.SetTexCoord0(2, {0.25f, 0.75f});
  const std::byte* second = vertices.Buffer() + 2 * 56;
  EXPECT_EQ(ReadAt<float>(second, 0), 1);
  EXPECT_EQ(ReadAt<float>(second, 8), 3);
  EXPECT_EQ(ReadAt<float>(second, 12), 4);
  EXPECT_EQ(ReadAt<float>(second, 20), 6);
  EXPECT_EQ(ReadAt<float>(second, 24), 0.25f);
  EXPECT_EQ(ReadAt<float>(second, 28), 0.75f);
  // The channels nobody writes stay zero.
  for (int offset = 32; offset < 56; offset += 4) EXPECT_EQ(ReadAt<float>(second, offset), 0);
}

TEST(VertexBuffer, OtherFormatsPackTheirChannelsInOrder) {
  TVertexBuffer vertices(
      VertexFormatBit(TVertexFormat::Color0) | VertexFormatBit(TVertexFormat::TexCoord1), 1);
  // The position is always there and always first.
  EXPECT_EQ(vertices.Offset(TVertexFormat::Vertex), 0);
  EXPECT_EQ(vertices.Offset(TVertexFormat::Color0), 12);
  EXPECT_EQ(vertices.Offset(TVertexFormat::TexCoord1), 16);
  EXPECT_EQ(vertices.VertexSize(), 24);
  try {
    vertices.SetNormal(0, {0, 1, 0});
    FAIL() << "a channel the format lacks must not be written";
  } catch (const EInvalidArgument& e) {
    EXPECT_STREQ(e.what(), "The vertex format has no Normal channel");
  }
}

TEST(VertexBuffer, ResizingKeepsTheLeadingVertices) {
  TVertexBuffer vertices(kDefaultVertexFormat, 3);
  for (int i = 0; i < 3; ++i) vertices.SetVertex(i, {float(i), float(10 + i), float(20 + i)});

  vertices.SetLength(5);
  ASSERT_EQ(vertices.Length(), 5);
  for (int i = 0; i < 3; ++i)
    EXPECT_EQ(vertices.Vertex(i), (TPoint3D{float(i), 10.0f + i, 20.0f + i}));
  EXPECT_EQ(vertices.Vertex(4), (TPoint3D{}));

  vertices.SetLength(2);
  EXPECT_EQ(vertices.Size(), 2 * 56);
  EXPECT_EQ(vertices.Vertex(1), (TPoint3D{1, 11, 21}));
}

TEST(IndexBuffer, ResizingKeepsTheLeadingIndicesInBothFormats) {
  for (TIndexFormat format : {TIndexFormat::UInt32, TIndexFormat::UInt16}) {
    TIndexBuffer indices(3, format);
    for (int i = 0; i < 3; ++i) indices.SetIndex(i, std::uint32_t(100 + i));
    indices.SetLength(6);
    indices.SetLength(2);
    EXPECT_EQ(indices.Index(0), 100u);
    EXPECT_EQ(indices.Index(1), 101u);
    EXPECT_EQ(indices.Length(), 2);
  }
}

TEST(IndexBuffer, SizeFollowsTheFormat) {
  TIndexBuffer indices(4);
  EXPECT_EQ(indices.Format(), TIndexFormat::UInt32);
  EXPECT_EQ(indices.IndexSize(), 4);
  EXPECT_EQ(indices.Size(), 16);

  indices.SetIndex(3, 70000);
  indices.SetIndex(0, 7);
  // 70000 does not fit 16 bits: the conversion is refused and nothing changes.
  EXPECT_THROW(indices.SetFormat(TIndexFormat::UInt16), EArgumentOutOfRangeException);
  EXPECT_EQ(indices.Format(), TIndexFormat::UInt32);
  EXPECT_EQ(indices.Index(3), 70000u);

  indices.SetIndex(3, 65535);
  indices.SetFormat(TIndexFormat::UInt16);
  EXPECT_EQ(indices.IndexSize(), 2);
  EXPECT_EQ(indices.Size(), 8);
  EXPECT_EQ(indices.Index(0), 7u);
  EXPECT_EQ(indices.Index(3), 65535u);
  EXPECT_EQ(ReadAt<std::uint16_t>(indices.Buffer(), 6), 65535);
  // Cutting a value to 16 bits would draw the wrong vertex: it is refused.
  EXPECT_THROW(indices.SetIndex(1, 65536), EArgumentOutOfRangeException);
  EXPECT_EQ(indices.Index(1), 0u);
}

TEST(MeshBuffers, AccessOutsideTheLengthRaisesArgumentOutOfRange) {
  TVertexBuffer vertices(kDefaultVertexFormat, 4);
  TIndexBuffer indices(6);
  struct Case {
    const char* what;
    std::function<void()> access;
  };
  const Case cases[] = {
      {"vertex read at -1", [&] { (void)vertices.Vertex(-1); }},
      {"vertex read at length", [&] { (void)vertices.Vertex(4); }},
      {"normal write at length", [&] { vertices.SetNormal(4, {}); }},
      {"texcoord read at -1", [&] { (void)vertices.TexCoord0(-1); }},
      {"tangent write far beyond", [&] { vertices.SetTangent(1000, {}); }},
      {"index read at -1", [&] { (void)indices.Index(-1); }},
      {"index write at length", [&] { indices.SetIndex(6, 0); }},
      {"negative vertex length", [&] { vertices.SetLength(-1); }},
      {"negative index length", [&] { indices.SetLength(-1); }},
  };
  for (const Case& c : cases) {
    try {
      c.access();
      ADD_FAILURE() << c.what << ": no exception";
    } catch (const EArgumentOutOfRangeException& e) {
      EXPECT_STREQ(e.what(), "Argument out of range") << c.what;
    }
  }
  // The last valid elements are fine, and the failed calls changed nothing.
  EXPECT_NO_THROW(vertices.SetVertex(3, {1, 1, 1}));
  EXPECT_NO_THROW(indices.SetIndex(5, 1));
  EXPECT_EQ(vertices.Length(), 4);
  EXPECT_EQ(indices.Length(), 6);
}

TEST(MeshData, GenerationChangesWithContentOrLengthOnly) {
  TMeshData mesh;
  mesh.VertexBuffer().SetLength(3);
  mesh.IndexBuffer().SetLength(3);
  struct Case {
    const char* what;
    std::function<void()> change;
    bool changes;
  };
  const Case cases[] = {
      {"vertex position",
       [&] {
         mesh.VertexBuffer().SetVertex(1, {1, 0, 0});
       },
       true},
      {"normal",
       [&] {
         mesh.VertexBuffer().SetNormal(0, {0, 1, 0});
       },
       true},
      {"texcoord",
       [&] {
         mesh.VertexBuffer().SetTexCoord0(2, {1, 1});
       },
       true},
      {"index", [&] { mesh.IndexBuffer().SetIndex(0, 2); }, true},
      {"vertex length", [&] { mesh.VertexBuffer().SetLength(4); }, true},
      {"index length", [&] { mesh.IndexBuffer().SetLength(6); }, true},
      {"index format", [&] { mesh.IndexBuffer().SetFormat(TIndexFormat::UInt16); }, true},
      {"reads", [&] { (void)mesh.VertexBuffer().Vertex(1), (void)mesh.IndexBuffer().Index(0); },
       false},
      {"same length", [&] { mesh.VertexBuffer().SetLength(4); }, false},
      {"same format", [&] { mesh.IndexBuffer().SetFormat(TIndexFormat::UInt16); }, false},
      {"bounding box", [&] { (void)mesh.GetBoundingBox(); }, false},
      {"failed write", [&] { EXPECT_ANY_THROW(mesh.IndexBuffer().SetIndex(99, 0)); }, false},
  };
  for (const Case& c : cases) {
    const std::uint64_t before = mesh.Generation();
    c.change();
    if (c.changes) {
      EXPECT_NE(mesh.Generation(), before) << c.what;
    } else {
      EXPECT_EQ(mesh.Generation(), before) << c.what;
    }
  }
}

TEST(MeshData, GenerationsAreNeverSharedBetweenBuffers) {
  // The device keys its uploads by generation: a new mesh, or a copy, must never look like
  // content it already has, even when built the same way.
  TMeshData a, b;
  a.VertexBuffer().SetLength(1);
  b.VertexBuffer().SetLength(1);
  EXPECT_NE(a.VertexBuffer().Generation(), b.VertexBuffer().Generation());
  EXPECT_NE(a.IndexBuffer().Generation(), b.IndexBuffer().Generation());
  const std::uint64_t before = b.Generation();
  b.Assign(a);
  EXPECT_NE(b.Generation(), before);
  EXPECT_NE(b.VertexBuffer().Generation(), a.VertexBuffer().Generation());
}

TEST(MeshData, AssignCopiesBothBuffersAndReportsTheChange) {
  TMeshData source;
  source.VertexBuffer().SetLength(2);
  source.VertexBuffer().SetVertex(1, {3, 4, 5});
  source.IndexBuffer().SetFormat(TIndexFormat::UInt16);
  source.IndexBuffer().SetLength(3);
  source.IndexBuffer().SetIndex(2, 1);

  TMeshData mesh;
  int changes = 0;
  mesh.OnChanged = [&] { ++changes; };
  mesh.Assign(source);
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(mesh.VertexBuffer().Vertex(1), (TPoint3D{3, 4, 5}));
  EXPECT_EQ(mesh.IndexBuffer().Format(), TIndexFormat::UInt16);
  EXPECT_EQ(mesh.IndexBuffer().Index(2), 1u);
  EXPECT_EQ(mesh.GetBoundingBox(), (TBoundingBox{0, 0, 0, 3, 4, 5}));
  // The copy is independent of its source.
  source.VertexBuffer().SetVertex(1, {9, 9, 9});
  EXPECT_EQ(mesh.VertexBuffer().Vertex(1), (TPoint3D{3, 4, 5}));
}

TEST(MeshData, BoundingBoxCoversThePositionsAndFollowsChanges) {
  TMeshData mesh;
  EXPECT_EQ(mesh.GetBoundingBox(), TBoundingBox{}) << "an empty mesh has the all-zero box";

  TVertexBuffer& vertices = mesh.VertexBuffer();
  vertices.SetLength(3);
  vertices.SetVertex(0, {1, -2, 3});
  vertices.SetVertex(1, {-4, 5, 0.5f});
  vertices.SetVertex(2, {2, 1, -6});
  // Normals are not positions.
  vertices.SetNormal(0, {100, 100, 100});
  EXPECT_EQ(mesh.GetBoundingBox(), (TBoundingBox{-4, -2, -6, 2, 5, 3}));

  // A mesh changed after it was measured is measured again.
  vertices.SetVertex(1, {-1, 0, 0});
  EXPECT_EQ(mesh.GetBoundingBox(), (TBoundingBox{-1, -2, -6, 2, 1, 3}));
  vertices.SetLength(1);
  EXPECT_EQ(mesh.GetBoundingBox(), (TBoundingBox{1, -2, 3, 1, -2, 3}));
}
