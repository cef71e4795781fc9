#pragma once
// 3D math of the runtime.
//
// Conventions, fixed once here:
//  - all stored components are 32-bit floats; intermediate results are computed in double
//    (or long double where noted) and rounded when stored;
//  - points are ROW vectors multiplied on the left: p' = p x M;
//  - a matrix is stored row by row; rows 1..3 are the images of the local X, Y, Z axes and
//    row 4 is the translation;
//  - the world is right-handed and rotations follow the right-hand rule;
//  - property angles are degrees, angles passed to these functions are radians.

#include <cmath>

namespace rt3d {

struct TPointF {
  float X = 0;
  float Y = 0;
  friend bool operator==(const TPointF&, const TPointF&) = default;
};

struct TPoint3D {
  float X = 0;
  float Y = 0;
  float Z = 0;

  float& operator[](int axis) { return axis == 0 ? X : axis == 1 ? Y : Z; }
  float operator[](int axis) const { return axis == 0 ? X : axis == 1 ? Y : Z; }
  friend bool operator==(const TPoint3D&, const TPoint3D&) = default;
};

TPoint3D operator+(const TPoint3D& a, const TPoint3D& b);
TPoint3D operator-(const TPoint3D& a, const TPoint3D& b);
TPoint3D operator-(const TPoint3D& a);
TPoint3D operator*(const TPoint3D& a, double s);
double Dot(const TPoint3D& a, const TPoint3D& b);
TPoint3D Cross(const TPoint3D& a, const TPoint3D& b);
double Length(const TPoint3D& a);
double Distance(const TPoint3D& a, const TPoint3D& b);
// A vector of length 0 stays as it is.
TPoint3D Normalize(const TPoint3D& a);

struct TVector3D {
  float X = 0;
  float Y = 0;
  float Z = 0;
  float W = 1;

  static TVector3D Point(const TPoint3D& p) { return {p.X, p.Y, p.Z, 1}; }
  static TVector3D Direction(const TPoint3D& p) { return {p.X, p.Y, p.Z, 0}; }
  // Back to a point: divides by W unless W is within 0.0001 of 0.
  TPoint3D ToPoint3D() const;
  TPoint3D XYZ() const { return {X, Y, Z}; }
  friend bool operator==(const TVector3D&, const TVector3D&) = default;
};

struct TMatrix3D {
  float m[4][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};

  static TMatrix3D Identity() { return {}; }
  static TMatrix3D Zero();
  static TMatrix3D CreateScaling(const TPoint3D& s);
  static TMatrix3D CreateTranslation(const TPoint3D& t);

  float* operator[](int row) { return m[row]; }
  const float* operator[](int row) const { return m[row]; }
  TVector3D Row(int row) const { return {m[row][0], m[row][1], m[row][2], m[row][3]}; }

  bool IsIdentity() const;
  double Determinant() const;
  // The identity when the matrix is singular (|det| below the smallest normal float) or NaN.
  TMatrix3D Inverse() const;
  TMatrix3D Transpose() const;
  friend bool operator==(const TMatrix3D&, const TMatrix3D&) = default;
};

TMatrix3D operator*(const TMatrix3D& a, const TMatrix3D& b);
// Row vector times matrix, all four components.
TVector3D operator*(const TVector3D& v, const TMatrix3D& m);
// (x, y, z, 1) x M, first three components.
TPoint3D TransformPoint(const TPoint3D& p, const TMatrix3D& m);

struct TQuaternion3D {
  TPoint3D ImagPart;
  float RealPart = 1;

  static TQuaternion3D Identity() { return {}; }
  // Rotation by angle (radians) about axis; the identity for a zero axis.
  static TQuaternion3D Create(const TPoint3D& axis, double angle);
  TQuaternion3D Normalized() const;
  // Rotation matrix (of the normalised quaternion) for row vectors.
  TMatrix3D ToMatrix() const;
  friend bool operator==(const TQuaternion3D&, const TQuaternion3D&) = default;
};

// Hamilton product a x b.
TQuaternion3D operator*(const TQuaternion3D& a, const TQuaternion3D& b);

// |value - v| <= eps, evaluated in extended precision.
bool SameValue(double value, double v, double eps);

// Normalises an angle in degrees into [0, 360).
float Wrap360(long double angle);

inline constexpr long double kDegToRad = 3.14159265358979323846264338327950288L / 180.0L;

}  // namespace rt3d
