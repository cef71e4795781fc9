#pragma once
// Mesh data on the CPU side: one block of interleaved vertices, one block of indices and the
// cached bounding box of the positions. The GPU device uploads these blocks; it re-uploads
// only when a buffer's Generation() has changed since its last upload.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "runtime3d/math/Math3D.h"

namespace rt3d {

// The channels a vertex may carry. In memory they follow in this order; the position is
// always first, at offset 0.
enum class TVertexFormat : std::uint8_t {
  Vertex,
  Normal,
  Color0,
  Color1,
  Color2,
  Color3,
  ColorF0,
  ColorF1,
  ColorF2,
  ColorF3,
  TexCoord0,
  TexCoord1,
  TexCoord2,
  TexCoord3,
  BiNormal,
  Tangent,
};

// A set of TVertexFormat channels, one bit per channel.
using TVertexFormats = std::uint16_t;

constexpr TVertexFormats VertexFormatBit(TVertexFormat channel) {
  return TVertexFormats(1u << unsigned(channel));
}

// What every mesh is created with: 56 bytes a vertex.
inline constexpr TVertexFormats kDefaultVertexFormat =
    VertexFormatBit(TVertexFormat::Vertex) | VertexFormatBit(TVertexFormat::Normal) |
    VertexFormatBit(TVertexFormat::TexCoord0) | VertexFormatBit(TVertexFormat::BiNormal) |
    VertexFormatBit(TVertexFormat::Tangent);

// Bytes one channel takes in a vertex.
int VertexChannelSize(TVertexFormat channel);

// Each buffer's content is identified by a number taken from one program-wide sequence, so
// two different contents never share a number, even across buffers that reuse an address.
class TBufferGeneration {
 public:
  TBufferGeneration() = default;
  // A copy is new content to whoever uploaded the original.
  TBufferGeneration(const TBufferGeneration&) {}
  TBufferGeneration& operator=(const TBufferGeneration&) {
    FDirty = true;
    return *this;
  }
  // Called by every write; cheap, since it only remembers that a new number is due.
  void Touch() { FDirty = true; }
  std::uint64_t Value() const;

 private:
  mutable std::uint64_t FValue = 0;
  mutable bool FDirty = true;
};

class TVertexBuffer {
 public:
  explicit TVertexBuffer(TVertexFormats format = kDefaultVertexFormat, int length = 0);

  TVertexFormats Format() const { return FFormat; }
  int Length() const { return FLength; }
  // Keeps the first min(old, new) vertices; the added ones are zero-filled.
  void SetLength(int length);
  int Size() const { return FLength * FVertexSize; }
  int VertexSize() const { return FVertexSize; }
  // Byte offset of a channel inside a vertex, or -1 when the format lacks it.
  int Offset(TVertexFormat channel) const { return FOffsets[int(channel)]; }
  bool HasChannel(TVertexFormat channel) const { return Offset(channel) >= 0; }

  // Element access; an index outside [0, Length) raises EArgumentOutOfRangeException, a
  // channel the format lacks raises EInvalidArgument.
  TPoint3D Vertex(int index) const { return ReadPoint(TVertexFormat::Vertex, index); }
  void SetVertex(int index, const TPoint3D& p) { WritePoint(TVertexFormat::Vertex, index, p); }
  TPoint3D Normal(int index) const { return ReadPoint(TVertexFormat::Normal, index); }
  void SetNormal(int index, const TPoint3D& p) { WritePoint(TVertexFormat::Normal, index, p); }
  TPointF TexCoord0(int index) const;
  void SetTexCoord0(int index, const TPointF& uv);
  TPoint3D BiNormal(int index) const { return ReadPoint(TVertexFormat::BiNormal, index); }
  void SetBiNormal(int index, const TPoint3D& p) { WritePoint(TVertexFormat::BiNormal, index, p); }
  TPoint3D Tangent(int index) const { return ReadPoint(TVertexFormat::Tangent, index); }
  void SetTangent(int index, const TPoint3D& p) { WritePoint(TVertexFormat::Tangent, index, p); }

  // The interleaved block, Size() bytes, for the device.
  const std::byte* Buffer() const { return FData.data(); }
  std::uint64_t Generation() const { return FGeneration.Value(); }

 private:
  std::byte* Element(TVertexFormat channel, int index);
  const std::byte* Element(TVertexFormat channel, int index) const;
  TPoint3D ReadPoint(TVertexFormat channel, int index) const;
  void WritePoint(TVertexFormat channel, int index, const TPoint3D& p);

  TVertexFormats FFormat;
  int FVertexSize = 0;
  int FOffsets[16];
  int FLength = 0;
  std::vector<std::byte> FData;
  TBufferGeneration FGeneration;
};

enum class TIndexFormat : std::uint8_t { UInt16, UInt32 };

class TIndexBuffer {
 public:
  explicit TIndexBuffer(int length = 0, TIndexFormat format = TIndexFormat::UInt32);

  TIndexFormat Format() const { return FFormat; }
  // Converts the indices held; raises EArgumentOutOfRangeException, changing nothing, when
  // one of them does not fit the new format.
  void SetFormat(TIndexFormat format);
  int Length() const { return FLength; }
  // Keeps the first min(old, new) indices; the added ones are zero.
  void SetLength(int length);
  int IndexSize() const { return FFormat == TIndexFormat::UInt16 ? 2 : 4; }
  int Size() const { return FLength * IndexSize(); }

  // An index outside [0, Length), or a value that does not fit a 16-bit buffer, raises
  // EArgumentOutOfRangeException.
  std::uint32_t Index(int index) const;
  void SetIndex(int index, std::uint32_t value);

  const std::byte* Buffer() const { return FData.data(); }
  std::uint64_t Generation() const { return FGeneration.Value(); }

 private:
  void CheckIndex(int index) const;

  TIndexFormat FFormat;
  int FLength = 0;
  std::vector<std::byte> FData;
  TBufferGeneration FGeneration;
};

// Axis-aligned box; Left/Right along x, Top/Bottom along y, Near/Far along z.
struct TBoundingBox {
  float Left = 0, Top = 0, Near = 0, Right = 0, Bottom = 0, Far = 0;

  double Width() const { return double(Right) - Left; }
  double Height() const { return double(Bottom) - Top; }
  double Depth() const { return double(Far) - Near; }
  friend bool operator==(const TBoundingBox&, const TBoundingBox&) = default;
};

class TMeshData {
 public:
  TMeshData();
  TMeshData(const TMeshData&) = delete;
  TMeshData& operator=(const TMeshData&) = delete;

  TVertexBuffer& VertexBuffer() { return FVertexBuffer; }
  const TVertexBuffer& VertexBuffer() const { return FVertexBuffer; }
  TIndexBuffer& IndexBuffer() { return FIndexBuffer; }
  const TIndexBuffer& IndexBuffer() const { return FIndexBuffer; }

  // Copies both buffers from another mesh, then runs OnChanged.
  void Assign(const TMeshData& source);
  std::function<void()> OnChanged;

  // The box of all vertex positions; all zero for an empty mesh. Cached, and computed
  // again whenever the vertices have changed since.
  const TBoundingBox& GetBoundingBox() const;
  // Changes whenever either buffer's content or length changes.
  std::uint64_t Generation() const;

 private:
  TVertexBuffer FVertexBuffer;
  TIndexBuffer FIndexBuffer;
  mutable TBoundingBox FBoundingBox;
  // The vertex generation the box was computed from; 0 (never handed out) while stale.
  mutable std::uint64_t FBoundingBoxGeneration = 0;
};

}  // namespace rt3d
