#include "runtime3d/mesh/MeshData.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <string>
#include <utility>

#include "runtime3d/core/Exceptions.h"

namespace rt3d {

namespace {

std::atomic<std::uint64_t> gNextGeneration{1};

const char* ChannelName(TVertexFormat channel) {
  static const char* const kNames[] = {"Vertex",    "Normal",    "Color0",    "Color1",
                                       "Color2",    "Color3",    "ColorF0",   "ColorF1",
                                       "ColorF2",   "ColorF3",   "TexCoord0", "TexCoord1",
                                       "TexCoord2", "TexCoord3", "BiNormal",  "Tangent"};
  return kNames[int(channel)];
}

}  // namespace

int VertexChannelSize(TVertexFormat channel) {
  switch (channel) {
    case TVertexFormat::Vertex:
    case TVertexFormat::Normal:
    case TVertexFormat::BiNormal:
    case TVertexFormat::Tangent:
      return 12;
    case TVertexFormat::Color0:
    case TVertexFormat::Color1:
    case TVertexFormat::Color2:
    case TVertexFormat::Color3:
      return 4;
    case TVertexFormat::ColorF0:
    case TVertexFormat::ColorF1:
    case TVertexFormat::ColorF2:
    case TVertexFormat::ColorF3:
      return 16;
    case TVertexFormat::TexCoord0:
    case TVertexFormat::TexCoord1:
    case TVertexFormat::TexCoord2:
    case TVertexFormat::TexCoord3:
      return 8;
  }
  return 0;
}

std::uint64_t TBufferGeneration::Value() const {
  if (FDirty) {
    FValue = gNextGeneration.fetch_add(1, std::memory_order_relaxed);
    FDirty = false;
  }
  return FValue;
}

// --- TVertexBuffer -------------------------------------------------------------------------

TVertexBuffer::TVertexBuffer(TVertexFormats format, int length) : FFormat(format) {
  // The position is always there, whatever the set says.
  FFormat |= VertexFormatBit(TVertexFormat::Vertex);
  for (int c = 0; c < 16; ++c) {
    const auto channel = TVertexFormat(c);
    if (FFormat & VertexFormatBit(channel)) {
      FOffsets[c] = FVertexSize;
      FVertexSize += VertexChannelSize(channel);
    } else {
      FOffsets[c] = -1;
    }
  }
  SetLength(length);
}

void TVertexBuffer::SetLength(int length) {
  if (length < 0) throw EArgumentOutOfRangeException();
  if (length == FLength && FData.size() == size_t(length) * size_t(FVertexSize)) return;
  FData.resize(size_t(length) * size_t(FVertexSize));
  FLength = length;
  FGeneration.Touch();
}

std::byte* TVertexBuffer::Element(TVertexFormat channel, int index) {
  return const_cast<std::byte*>(std::as_const(*this).Element(channel, index));
}

const std::byte* TVertexBuffer::Element(TVertexFormat channel, int index) const {
  if (index < 0 || index >= FLength) throw EArgumentOutOfRangeException();
  const int offset = FOffsets[int(channel)];
  if (offset < 0) {
    throw EInvalidArgument(std::string("The vertex format has no ") + ChannelName(channel) +
                           " channel");
  }
  return FData.data() + size_t(index) * size_t(FVertexSize) + size_t(offset);
}

TPoint3D TVertexBuffer::ReadPoint(TVertexFormat channel, int index) const {
  TPoint3D p;
  std::memcpy(&p, Element(channel, index), sizeof p);
  return p;
}

void TVertexBuffer::WritePoint(TVertexFormat channel, int index, const TPoint3D& p) {
  std::memcpy(Element(channel, index), &p, sizeof p);
  FGeneration.Touch();
}

TPointF TVertexBuffer::TexCoord0(int index) const {
  TPointF uv;
  std::memcpy(&uv, Element(TVertexFormat::TexCoord0, index), sizeof uv);
  return uv;
}

void TVertexBuffer::SetTexCoord0(int index, const TPointF& uv) {
  std::memcpy(Element(TVertexFormat::TexCoord0, index), &uv, sizeof uv);
  FGeneration.Touch();
}

// --- TIndexBuffer --------------------------------------------------------------------------

TIndexBuffer::TIndexBuffer(int length, TIndexFormat format) : FFormat(format) {
  SetLength(length);
}

void TIndexBuffer::SetLength(int length) {
  if (length < 0) throw EArgumentOutOfRangeException();
  if (length == FLength && FData.size() == size_t(length) * size_t(IndexSize())) return;
  FData.resize(size_t(length) * size_t(IndexSize()));
  FLength = length;
  FGeneration.Touch();
}

void TIndexBuffer::SetFormat(TIndexFormat format) {
  if (format == FFormat) return;
  std::vector<std::uint32_t> values(static_cast<size_t>(FLength));
  for (int i = 0; i < FLength; ++i) values[size_t(i)] = Index(i);
  if (format == TIndexFormat::UInt16 &&
      std::any_of(values.begin(), values.end(), [](std::uint32_t v) { return v > 0xFFFF; })) {
    throw EArgumentOutOfRangeException();
  }
  FFormat = format;
  FData.assign(size_t(FLength) * size_t(IndexSize()), std::byte{0});
  for (int i = 0; i < FLength; ++i) SetIndex(i, values[size_t(i)]);
  FGeneration.Touch();
}

void TIndexBuffer::CheckIndex(int index) const {
  if (index < 0 || index >= FLength) throw EArgumentOutOfRangeException();
}

std::uint32_t TIndexBuffer::Index(int index) const {
  CheckIndex(index);
  const std::byte* at = FData.data() + size_t(index) * size_t(IndexSize());
  if (FFormat == TIndexFormat::UInt16) {
    std::uint16_t v;
    std::memcpy(&v, at, sizeof v);
    return v;
  }
  std::uint32_t v;
  std::memcpy(&v, at, sizeof v);
  return v;
}

void TIndexBuffer::SetIndex(int index, std::uint32_t value) {
  CheckIndex(index);
  std::byte* at = FData.data() + size_t(index) * size_t(IndexSize());
  if (FFormat == TIndexFormat::UInt16) {
    // Cutting the value to 16 bits would silently draw the wrong vertex.
    if (value > 0xFFFF) throw EArgumentOutOfRangeException();
    const auto v = std::uint16_t(value);
    std::memcpy(at, &v, sizeof v);
  } else {
    std::memcpy(at, &value, sizeof value);
  }
  FGeneration.Touch();
}

// --- TMeshData -----------------------------------------------------------------------------

TMeshData::TMeshData() = default;

void TMeshData::Assign(const TMeshData& source) {
  if (&source == this) return;
  FVertexBuffer = source.FVertexBuffer;
  FIndexBuffer = source.FIndexBuffer;
  FBoundingBoxGeneration = 0;
  if (OnChanged) OnChanged();
}

const TBoundingBox& TMeshData::GetBoundingBox() const {
  const std::uint64_t generation = FVertexBuffer.Generation();
  if (FBoundingBoxGeneration == generation) return FBoundingBox;
  TBoundingBox box;
  const int count = FVertexBuffer.Length();
  if (count > 0) {
    const TPoint3D first = FVertexBuffer.Vertex(0);
    box = {first.X, first.Y, first.Z, first.X, first.Y, first.Z};
    for (int i = 1; i < count; ++i) {
      const TPoint3D p = FVertexBuffer.Vertex(i);
      box.Left = std::min(box.Left, p.X);
      box.Right = std::max(box.Right, p.X);
      box.Top = std::min(box.Top, p.Y);
      box.Bottom = std::max(box.Bottom, p.Y);
      box.Near = std::min(box.Near, p.Z);
      box.Far = std::max(box.Far, p.Z);
    }
  }
  FBoundingBox = box;
  FBoundingBoxGeneration = generation;
  return FBoundingBox;
}

std::uint64_t TMeshData::Generation() const {
  // Both numbers come from one rising sequence, so the larger one changes with either.
  return std::max(FVertexBuffer.Generation(), FIndexBuffer.Generation());
}

}  // namespace rt3d
