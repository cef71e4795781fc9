#pragma once
// The recorded draws replayed with plain OpenGL 3.3: the same programs, uniforms, meshes and
// textures as the viewer, and nothing of its runtime. Two ways of feeding the meshes:
//  - Static: each mesh in its own GL buffers, uploaded once (the viewer's way);
//  - CopiedPerDraw: every draw copies its whole vertex and index block into one vertex and
//    one index buffer shared by all draws, grown when too small and filled from the front
//    again when full (the straightforward way).

#include <QImage>
#include <QSize>

#include <cstdint>
#include <functional>
#include <map>
#include <vector>

#include "bench/DrawList.h"
#include "runtime3d/render/GLState.h"

namespace bench {

enum class TMeshFeed { Static, CopiedPerDraw };

// A multisampled colour + depth/stencil framebuffer (4 samples) and its resolve.
class TBareTarget {
 public:
  TBareTarget(rt3d::TGLFunctions& gl, QSize size, int samples);
  ~TBareTarget();
  unsigned Framebuffer() const { return FFramebuffer; }
  QSize Size() const { return FSize; }
  // Resolves into another framebuffer of the same size, rows as they are.
  void ResolveInto(unsigned framebuffer);

 private:
  rt3d::TGLFunctions& FGL;
  QSize FSize;
  unsigned FFramebuffer = 0, FColor = 0, FDepth = 0;
};

class TBareRenderer {
 public:
  // Needs a current GL 3.3 context. Asks `load` for each image the draws use, one at a
  // time, and uploads it before asking for the next.
  TBareRenderer(rt3d::TGLFunctions& gl, std::vector<TRecordedDraw> draws,
                const std::function<QImage(orvanth::assets::Image)>& load, TMeshFeed feed);
  ~TBareRenderer();
  // Clears the target and replays the draws whose numbers are in [first, last).
  void DrawFrame(TBareTarget& target, std::size_t first = 0, std::size_t last = SIZE_MAX);
  const std::vector<TRecordedDraw>& Draws() const { return FDraws; }
  // Moves a draw to the end of the frame (the picture is the same for opaque draws).
  void MoveDrawLast(std::size_t index);

 private:
  struct TProgram {
    unsigned Id = 0;
    std::map<std::string, std::pair<int, unsigned>> Uniforms;  // location, type
  };
  struct TMesh {
    unsigned VertexArray = 0, VertexBuffer = 0, IndexBuffer = 0;
  };
  TProgram& ProgramFor(const TRecordedDraw& draw);
  void Attributes(const rt3d::TVertexBuffer& vertices, std::intptr_t offset);
  void DrawCopied(const TRecordedDraw& draw);

  rt3d::TGLFunctions& FGL;
  std::vector<TRecordedDraw> FDraws;
  TMeshFeed FFeed;
  std::map<std::pair<std::string, std::string>, TProgram> FPrograms;
  std::vector<TProgram*> FDrawPrograms;
  std::map<orvanth::assets::Image, unsigned> FTextures;
  std::map<const void*, TMesh> FMeshes;
  unsigned FSampler = 0;
  // The shared buffers of CopiedPerDraw.
  unsigned FSharedArray = 0, FSharedVertices = 0, FSharedIndices = 0;
  std::intptr_t FVertexCapacity = 0, FIndexCapacity = 0, FVertexUsed = 0, FIndexUsed = 0;
  rt3d::TClipControl FClipControl = nullptr;
};

}  // namespace bench
