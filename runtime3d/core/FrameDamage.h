#pragma once
// Which pixels of the next frame can differ from the last one.
//
// While the camera holds still (auto-rotate spins the planet, the moons orbit), most of the
// view shows what it showed before: only where a body moved, was shown or hidden, or changed
// its look can a pixel change. Each frame compares what every body looks like with the last
// frame and gives the rectangles that cover, for each body that changed, where it was and
// where it is now. Anything that can touch every pixel (the camera, the lights, the view's
// size, scale or colour, a texture's pixels, or a body whose extent is unknown) and the first
// frame give the whole view.

#include <cstdint>
#include <unordered_map>
#include <vector>

#include "runtime3d/math/Math3D.h"

namespace rt3d {

// Pixels [Left, Right) x [Top, Bottom), rows counted from the top of the view.
struct TPixelRect {
  int Left = 0;
  int Top = 0;
  int Right = 0;
  int Bottom = 0;

  bool Empty() const { return Right <= Left || Bottom <= Top; }
  long long Area() const { return Empty() ? 0 : (long long)(Right - Left) * (Bottom - Top); }
  friend bool operator==(const TPixelRect&, const TPixelRect&) = default;
};

// What one drawn body looks like in a frame.
struct TBodyLook {
  const void* Id = nullptr;  // the body; stays the same from frame to frame
  TMatrix3D Matrix;          // its absolute transform
  bool Visible = true;
  // Changes whenever its material draws it differently (colours, texture, opacity).
  std::uint64_t Material = 0;
  // Everything it draws lies inside the sphere of this radius around Centre (absolute
  // coordinates); without it a change redraws the whole view.
  bool Bounded = false;
  TPoint3D Centre;
  float Radius = 0;
};

// What every pixel depends on.
struct TViewLook {
  TMatrix3D Camera;
  TMatrix3D Projection;
  int Width = 0;
  int Height = 0;
  // Changes whenever anything else that can touch every pixel changes: the lights, the
  // scale, the view's colour, a texture's pixels.
  std::uint64_t Rest = 0;
};

// Where a sphere (absolute coordinates) is drawn on a width x height view seen through
// viewProjection (row vectors: p x viewProjection gives clip coordinates, x and y within
// [-w, w] and z within [0, w] on screen, y upwards): the bounds of its exact outline,
// widened by margin pixels and clipped to the view. Empty when it lies wholly outside one of
// the view's planes. A sphere that reaches behind the eye has an unbounded outline: it gets
// the whole view unless a plane of the view leaves it out.
TPixelRect SphereOnView(const TPoint3D& centre, float radius, const TMatrix3D& viewProjection,
                        int width, int height, int margin);

// Exactly the pixels of the rectangles, as disjoint rectangles: in bands from top to
// bottom, each band's runs of covered columns (a band like the one above it extends it).
std::vector<TPixelRect> JoinRects(std::vector<TPixelRect> rects);

class TFrameDamage {
 public:
  // Pixels of margin around each outline: multisampling and rounding of the drawn mesh.
  static constexpr int kMargin = 3;

  // The rectangles (disjoint, within the view) to draw again for a frame with these looks;
  // one rectangle, the whole view, when everything is to be drawn. Remembers the looks for
  // the next frame.
  std::vector<TPixelRect> Next(const TViewLook& view, const std::vector<TBodyLook>& bodies);
  // The next frame is drawn whole (the last frame's pixels were lost).
  void Reset() { FHaveLast = false; }

 private:
  struct TLast {
    TBodyLook Look;
    TPixelRect Rect;
  };
  TPixelRect Bounds(const TBodyLook& body, const TMatrix3D& viewProjection,
                    const TViewLook& view) const;

  bool FHaveLast = false;
  TViewLook FView;
  std::unordered_map<const void*, TLast> FBodies;
};

}  // namespace rt3d
