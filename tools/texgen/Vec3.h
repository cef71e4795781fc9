#pragma once
// Directions and points on the unit sphere. The maps put +Y at the north pole (top row of an
// image) and longitude 0 on +X, growing toward +Z.

#include <algorithm>
#include <cmath>

namespace orvanth::texgen {

struct Vec3 {
  double x = 0;
  double y = 0;
  double z = 0;

  Vec3 operator+(const Vec3& o) const { return {x + o.x, y + o.y, z + o.z}; }
  Vec3 operator-(const Vec3& o) const { return {x - o.x, y - o.y, z - o.z}; }
  Vec3 operator*(double s) const { return {x * s, y * s, z * s}; }
  Vec3 operator-() const { return {-x, -y, -z}; }
};

inline double Dot(const Vec3& a, const Vec3& b) {
  return a.x * b.x + a.y * b.y + a.z * b.z;
}
inline Vec3 Cross(const Vec3& a, const Vec3& b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline double Length(const Vec3& v) {
  return std::sqrt(Dot(v, v));
}
inline Vec3 Normalize(const Vec3& v) {
  const double length = Length(v);
  return length > 0 ? v * (1.0 / length) : Vec3{0, 1, 0};
}

// The point of the unit sphere at a latitude and longitude (radians).
inline Vec3 FromLatLon(double latitude, double longitude) {
  const double c = std::cos(latitude);
  return {c * std::cos(longitude), std::sin(latitude), c * std::sin(longitude)};
}
inline double Latitude(const Vec3& p) {
  return std::asin(std::clamp(p.y, -1.0, 1.0));
}
inline double Longitude(const Vec3& p) {
  return std::atan2(p.z, p.x);
}

// The angle between two unit vectors, accurate for small angles too.
inline double AngleBetween(const Vec3& a, const Vec3& b) {
  return std::atan2(Length(Cross(a, b)), Dot(a, b));
}

// A right-handed frame tangent to the sphere at a point: `east` and `north` span the tangent
// plane. At the poles, where east is undefined, any perpendicular pair is used.
struct TangentFrame {
  Vec3 centre;
  Vec3 east;
  Vec3 north;

  explicit TangentFrame(const Vec3& c) : centre(c) {
    Vec3 e = Cross(Vec3{0, 1, 0}, c);
    if (Length(e) < 1e-9) e = Vec3{0, 0, 1};
    east = Normalize(e);
    north = Cross(c, east);
  }
  // The frame turned by `angle` about its centre (east toward north).
  TangentFrame Rotated(double angle) const {
    TangentFrame f = *this;
    const double c = std::cos(angle), s = std::sin(angle);
    f.east = east * c + north * s;
    f.north = north * c - east * s;
    return f;
  }
  // Local plane coordinates (radians, near the centre) of a unit vector p.
  double X(const Vec3& p) const { return Dot(p, east); }
  double Y(const Vec3& p) const { return Dot(p, north); }
  // Back from plane coordinates to the sphere.
  Vec3 ToSphere(double x, double y) const {
    const double z2 = 1.0 - x * x - y * y;
    return Normalize(centre * std::sqrt(std::max(0.0, z2)) + east * x + north * y);
  }
};

}  // namespace orvanth::texgen
