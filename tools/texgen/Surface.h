#pragma once
// A body's surface as a colour at every direction from its centre, and the equirectangular map
// made of it.

#include <memory>
#include <vector>

#include "tools/texgen/Color.h"
#include "tools/texgen/Image.h"
#include "tools/texgen/Vec3.h"

namespace orvanth::texgen {

class Surface {
 public:
  virtual ~Surface() = default;
  // The colour of the surface at unit direction p. Must be safe to call from several threads.
  virtual Rgb At(const Vec3& p) const = 0;
};

// The direction at the centre of pixel (x, y) of a width x height equirectangular map: longitude
// across the width (a full turn), latitude down the height from the north pole.
Vec3 MapDirection(double x, double y, int width, int height);

// Samples the surface at every pixel centre; alpha 255 everywhere.
Image RenderMap(const Surface& surface, int width, int height, int threads);

// Features of limited extent (craters, spots) bucketed by latitude and longitude, so a lookup
// only visits the few that can reach a point. Keeps insertion order within a cell, so the
// features that overlap are always painted in the same order.
class FeatureGrid {
 public:
  explicit FeatureGrid(double cellDegrees = 2.0);
  // Registers feature `index` as reaching at most `radius` radians from `centre`. Inserting the
  // same index again (say along a long line) never lists it twice in a cell.
  void Insert(const Vec3& centre, double radius, int index);
  const std::vector<int>& Near(const Vec3& p) const;

 private:
  int Cell(int row, int column) const { return row * columns_ + column; }
  void Add(int cell, int index);
  int rows_;
  int columns_;
  std::vector<std::vector<int>> cells_;
};

}  // namespace orvanth::texgen
