#pragma once
// The draws of one frame of the real scene, taken from the runtime's own render pass
// without a device: which programs, every uniform value, the texture and the mesh of each
// draw. The bare renderers replay them with plain GL, so both sides draw the same pixels.

#include <map>
#include <string>
#include <vector>

#include "assets/Assets.h"
#include "runtime3d/core/Context3D.h"

namespace rt3d {
class TSphere;
class TViewport3D;
}  // namespace rt3d

namespace bench {

struct TRecordedDraw {
  std::string VertexProgram, PixelProgram;
  std::vector<std::pair<std::string, rt3d::TVector3D>> Vectors;  // by uniform name
  std::vector<std::pair<std::string, rt3d::TMatrix3D>> Matrices;
  orvanth::assets::Image Texture = orvanth::assets::Image::Stars;
  const rt3d::TVertexBuffer* Vertices = nullptr;
  const rt3d::TIndexBuffer* Indices = nullptr;
  bool Cull = false;  // back faces culled (not TwoSide)
};

// The frame the view would draw now, at its pixel size; `spheres` are the scene's spheres,
// whose material sources tell which image each texture was made from. Unplanned, every
// visible object is drawn in rendering-list order (what the view did before it planned its
// frames).
std::vector<TRecordedDraw> RecordFrame(rt3d::TViewport3D& view,
                                       const std::vector<rt3d::TSphere*>& spheres,
                                       bool planned = true);

}  // namespace bench
