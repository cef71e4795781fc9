#include "runtime3d/render/GLBuffers.h"

#include <algorithm>

#include <QOpenGLFunctions_3_3_Core>

#include "runtime3d/mesh/MeshData.h"

namespace rt3d {

namespace {

// A buffer not drawn for this many frames is taken to belong to a mesh that is gone; if it
// is drawn again later it is simply uploaded again.
constexpr std::uint64_t kBufferIdleFrames = 600;

}  // namespace

void TGLBuffers::Start(TGLFunctions& gl) {
  FGL = &gl;
  FGL->glGenVertexArrays(1, &FVertexArray);
}

void TGLBuffers::Release() {
  if (!FGL) return;
  for (auto& [key, entry] : FBuffers) FGL->glDeleteBuffers(1, &entry.Buffer);
  FBuffers.clear();
  FGL->glDeleteVertexArrays(1, &FVertexArray);
  FVertexArray = 0;
  FGL = nullptr;
}

void TGLBuffers::NewFrame() {
  ++FFrame;
  // Buffers carry no destruction notice: one that has not been drawn for a long while is
  // given back (it is uploaded again should it ever be drawn).
  std::erase_if(FBuffers, [&](auto& item) {
    if (FFrame - item.second.LastUsedFrame < kBufferIdleFrames) return false;
    FGL->glDeleteBuffers(1, &item.second.Buffer);
    return true;
  });
}

TGLBuffers::TEntry& TGLBuffers::Bind(const void* key, const void* data, int size,
                                     std::uint64_t generation, unsigned target) {
  TEntry& entry = FBuffers[key];
  entry.LastUsedFrame = FFrame;
  if (!entry.Buffer) FGL->glGenBuffers(1, &entry.Buffer);
  FGL->glBindBuffer(target, entry.Buffer);
  if (entry.Generation != generation) {
    FGL->glBufferData(target, size, data, GL_STATIC_DRAW);
    entry.Generation = generation;
    entry.MaxIndex = -1;
    ++FUploads;
  }
  return entry;
}

void TGLBuffers::DrawTriangles(const TVertexBuffer& vertices, const TIndexBuffer& indices) {
  TGLFunctions& gl = *FGL;
  gl.glBindVertexArray(FVertexArray);
  Bind(&vertices, vertices.Buffer(), vertices.Size(), vertices.Generation(), GL_ARRAY_BUFFER);
  // Position, normal and TexCoord0 wherever the buffer's format puts them; a channel it
  // lacks reads as GL's constant attribute (0, 0, 0, 1).
  const struct {
    GLuint Location;
    TVertexFormat Channel;
    int Components;
  } attributes[] = {{kPositionLocation, TVertexFormat::Vertex, 3},
                    {kNormalLocation, TVertexFormat::Normal, 3},
                    {kTexCoordLocation, TVertexFormat::TexCoord0, 2}};
  for (const auto& attribute : attributes) {
    const int offset = vertices.Offset(attribute.Channel);
    if (offset < 0) {
      gl.glDisableVertexAttribArray(attribute.Location);
      continue;
    }
    gl.glEnableVertexAttribArray(attribute.Location);
    gl.glVertexAttribPointer(attribute.Location, attribute.Components, GL_FLOAT, GL_FALSE,
                             vertices.VertexSize(),
                             reinterpret_cast<const void*>(std::intptr_t(offset)));
  }
  TEntry& entry = Bind(&indices, indices.Buffer(), indices.Size(), indices.Generation(),
                       GL_ELEMENT_ARRAY_BUFFER);
  if (entry.MaxIndex < 0) {
    std::uint32_t largest = 0;
    for (int i = 0; i < indices.Length(); ++i) largest = std::max(largest, indices.Index(i));
    entry.MaxIndex = std::int64_t(largest);
  }
  // An index past the last vertex would make GL read outside the buffer: draw nothing.
  if (entry.MaxIndex >= vertices.Length()) return;
  const GLenum type =
      indices.Format() == TIndexFormat::UInt16 ? GL_UNSIGNED_SHORT : GL_UNSIGNED_INT;
  gl.glDrawElements(GL_TRIANGLES, indices.Length() / 3 * 3, type, nullptr);
}

}  // namespace rt3d
