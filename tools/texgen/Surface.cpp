#include "tools/texgen/Surface.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "tools/texgen/Parallel.h"

namespace orvanth::texgen {

namespace {
constexpr double kPi = std::numbers::pi;
}

Vec3 MapDirection(double x, double y, int width, int height) {
  const double longitude = (x + 0.5) / width * 2.0 * kPi;
  const double latitude = kPi / 2.0 - (y + 0.5) / height * kPi;
  return FromLatLon(latitude, longitude);
}

Image RenderMap(const Surface& surface, int width, int height, int threads) {
  Image image(width, height);
  ForEachRow(height, threads, [&](int y) {
    std::uint8_t* out = image.Row(y);
    for (int x = 0; x < width; ++x, out += 4) {
      const Rgb c = surface.At(MapDirection(x, y, width, height));
      out[0] = ToByte(c.r);
      out[1] = ToByte(c.g);
      out[2] = ToByte(c.b);
      out[3] = 255;
    }
  });
  return image;
}

FeatureGrid::FeatureGrid(double cellDegrees)
    : rows_(std::max(1, static_cast<int>(std::ceil(180.0 / cellDegrees)))),
      columns_(2 * rows_),
      cells_(static_cast<std::size_t>(rows_) * columns_) {}

void FeatureGrid::Insert(const Vec3& centre, double radius, int index) {
  const double lat = Latitude(centre);
  const double lon = Longitude(centre);
  const double cellSize = kPi / rows_;
  const double latLow = lat - radius, latHigh = lat + radius;
  const int rowLow = std::max(0, static_cast<int>(std::floor((kPi / 2 - latHigh) / cellSize)));
  const int rowHigh =
      std::min(rows_ - 1, static_cast<int>(std::floor((kPi / 2 - latLow) / cellSize)));
  // Half the longitude span at the latitude nearest the pole, where it is widest.
  const double widest = std::max(std::fabs(latLow), std::fabs(latHigh));
  bool allColumns = widest >= kPi / 2 - 1e-6;
  double halfSpan = 0;
  if (!allColumns) {
    const double s = std::sin(radius) / std::cos(widest);
    allColumns = s >= 1.0;
    if (!allColumns) halfSpan = std::asin(s);
  }
  for (int row = rowLow; row <= rowHigh; ++row) {
    if (allColumns) {
      for (int column = 0; column < columns_; ++column) Add(Cell(row, column), index);
      continue;
    }
    const int first = static_cast<int>(std::floor((lon - halfSpan) / cellSize));
    const int last = static_cast<int>(std::floor((lon + halfSpan) / cellSize));
    for (int c = first; c <= std::min(last, first + columns_ - 1); ++c) {
      const int column = ((c % columns_) + columns_) % columns_;
      Add(Cell(row, column), index);
    }
  }
}

void FeatureGrid::Add(int cell, int index) {
  std::vector<int>& list = cells_[static_cast<std::size_t>(cell)];
  if (std::find(list.begin(), list.end(), index) == list.end()) list.push_back(index);
}

const std::vector<int>& FeatureGrid::Near(const Vec3& p) const {
  const double cellSize = kPi / rows_;
  const int row = std::clamp(static_cast<int>((kPi / 2 - Latitude(p)) / cellSize), 0, rows_ - 1);
  double lon = Longitude(p);
  if (lon < 0) lon += 2 * kPi;
  const int column = std::clamp(static_cast<int>(lon / cellSize), 0, columns_ - 1);
  return cells_[Cell(row, column)];
}

}  // namespace orvanth::texgen
