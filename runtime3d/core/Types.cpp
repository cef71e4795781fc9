#include "runtime3d/core/Types.h"

namespace rt3d {

TVector3D ColorToVector(TAlphaColor color) {
  auto channel = [color](int shift) { return float(double((color >> shift) & 0xFF) / 255.0); };
  return {channel(16), channel(8), channel(0), channel(24)};
}

}  // namespace rt3d
