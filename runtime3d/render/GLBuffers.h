#pragma once
// The device's mesh buffers and indexed draws. Each vertex and index buffer is uploaded to a
// GL buffer once and again only when its generation changes; one that has not been drawn
// for a long while is given back.

#include <cstdint>
#include <unordered_map>

#include "runtime3d/render/GLDevice.h"

namespace rt3d {

class TVertexBuffer;
class TIndexBuffer;

// Attribute locations every program reads (see ShaderProgram.h).
inline constexpr unsigned kPositionLocation = 0, kNormalLocation = 1, kTexCoordLocation = 2;

class TGLBuffers {
 public:
  // Makes the vertex array the draws use; gl stays valid until Release().
  void Start(TGLFunctions& gl);
  // Frees every buffer and the vertex array (GL context current).
  void Release();
  unsigned VertexArray() const { return FVertexArray; }

  // A new frame: buffers idle for long are given back.
  void NewFrame();
  // Draws the triangles of indices over vertices with the current program. Draws nothing
  // when an index lies past the last vertex (GL would read outside the buffer).
  void DrawTriangles(const TVertexBuffer& vertices, const TIndexBuffer& indices);

  std::size_t Count() const { return FBuffers.size(); }
  std::uint64_t UploadCount() const { return FUploads; }

 private:
  struct TEntry {
    unsigned Buffer = 0;
    std::uint64_t Generation = 0;
    std::uint64_t LastUsedFrame = 0;
    // Largest index of an index buffer, checked once per upload; -1 until then.
    std::int64_t MaxIndex = -1;
  };

  TEntry& Bind(const void* key, const void* data, int size, std::uint64_t generation,
               unsigned target);

  TGLFunctions* FGL = nullptr;
  unsigned FVertexArray = 0;
  std::unordered_map<const void*, TEntry> FBuffers;
  std::uint64_t FFrame = 0;
  std::uint64_t FUploads = 0;
};

}  // namespace rt3d
