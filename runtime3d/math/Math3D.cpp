#include "runtime3d/math/Math3D.h"

#include <cmath>

namespace rt3d {

TPoint3D operator+(const TPoint3D& a, const TPoint3D& b) {
  return {float(double(a.X) + b.X), float(double(a.Y) + b.Y), float(double(a.Z) + b.Z)};
}

TPoint3D operator-(const TPoint3D& a, const TPoint3D& b) {
  return {float(double(a.X) - b.X), float(double(a.Y) - b.Y), float(double(a.Z) - b.Z)};
}

TPoint3D operator-(const TPoint3D& a) {
  return {-a.X, -a.Y, -a.Z};
}

TPoint3D operator*(const TPoint3D& a, double s) {
  return {float(a.X * s), float(a.Y * s), float(a.Z * s)};
}

double Dot(const TPoint3D& a, const TPoint3D& b) {
  return double(a.X) * b.X + double(a.Y) * b.Y + double(a.Z) * b.Z;
}

TPoint3D Cross(const TPoint3D& a, const TPoint3D& b) {
  return {float(double(a.Y) * b.Z - double(a.Z) * b.Y),
          float(double(a.Z) * b.X - double(a.X) * b.Z),
          float(double(a.X) * b.Y - double(a.Y) * b.X)};
}

double Length(const TPoint3D& a) {
  return std::sqrt(Dot(a, a));
}

double Distance(const TPoint3D& a, const TPoint3D& b) {
  const double dx = double(a.X) - b.X, dy = double(a.Y) - b.Y, dz = double(a.Z) - b.Z;
  return std::sqrt(dx * dx + dy * dy + dz * dz);
}

TPoint3D Normalize(const TPoint3D& a) {
  const double len = Length(a);
  if (len == 0) return a;
  return {float(a.X / len), float(a.Y / len), float(a.Z / len)};
}

TPoint3D TVector3D::ToPoint3D() const {
  if (std::fabs(W) <= 0.0001f) return {X, Y, Z};
  return {float(double(X) / W), float(double(Y) / W), float(double(Z) / W)};
}

TMatrix3D TMatrix3D::Zero() {
  TMatrix3D z;
  for (auto& row : z.m)
    for (float& v : row) v = 0;
  return z;
}

TMatrix3D TMatrix3D::CreateScaling(const TPoint3D& s) {
  TMatrix3D r;
  r.m[0][0] = s.X;
  r.m[1][1] = s.Y;
  r.m[2][2] = s.Z;
  return r;
}

TMatrix3D TMatrix3D::CreateTranslation(const TPoint3D& t) {
  TMatrix3D r;
  r.m[3][0] = t.X;
  r.m[3][1] = t.Y;
  r.m[3][2] = t.Z;
  return r;
}

bool TMatrix3D::IsIdentity() const {
  return *this == TMatrix3D();
}

namespace {

double Det3(double a1, double a2, double a3, double b1, double b2, double b3, double c1, double c2,
            double c3) {
  return a1 * (b2 * c3 - b3 * c2) - b1 * (a2 * c3 - a3 * c2) + c1 * (a2 * b3 - a3 * b2);
}

}  // namespace

double TMatrix3D::Determinant() const {
  const auto& a = m;
  return a[0][0] *
             Det3(a[1][1], a[2][1], a[3][1], a[1][2], a[2][2], a[3][2], a[1][3], a[2][3], a[3][3]) -
         a[0][1] *
             Det3(a[1][0], a[2][0], a[3][0], a[1][2], a[2][2], a[3][2], a[1][3], a[2][3], a[3][3]) +
         a[0][2] *
             Det3(a[1][0], a[2][0], a[3][0], a[1][1], a[2][1], a[3][1], a[1][3], a[2][3], a[3][3]) -
         a[0][3] *
             Det3(a[1][0], a[2][0], a[3][0], a[1][1], a[2][1], a[3][1], a[1][2], a[2][2], a[3][2]);
}

TMatrix3D TMatrix3D::Inverse() const {
  // Below this (a denormal float) the matrix counts as singular.
  constexpr double kSingular = 9.99994610111476e-41;
  const double det = Determinant();
  if (std::isnan(det) || std::fabs(det) < kSingular) return Identity();

  // Adjugate by cofactors: inverse(i, j) = cofactor(j, i) / det.
  TMatrix3D r;
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 4; ++j) {
      double minor[9];
      int n = 0;
      for (int row = 0; row < 4; ++row) {
        if (row == j) continue;
        for (int col = 0; col < 4; ++col) {
          if (col == i) continue;
          minor[n++] = m[row][col];
        }
      }
      // Det3 takes its arguments column-major; the determinant of the transpose is the same.
      const double cofactor = Det3(minor[0], minor[1], minor[2], minor[3], minor[4], minor[5],
                                   minor[6], minor[7], minor[8]);
      r.m[i][j] = float(((i + j) % 2 == 0 ? cofactor : -cofactor) / det);
    }
  }
  return r;
}

TMatrix3D TMatrix3D::Transpose() const {
  TMatrix3D r;
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) r.m[i][j] = m[j][i];
  return r;
}

TMatrix3D operator*(const TMatrix3D& a, const TMatrix3D& b) {
  TMatrix3D r;
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 4; ++j) {
      double sum = 0;
      for (int k = 0; k < 4; ++k) sum += double(a.m[i][k]) * b.m[k][j];
      r.m[i][j] = float(sum);
    }
  }
  return r;
}

TVector3D operator*(const TVector3D& v, const TMatrix3D& m) {
  const double in[4] = {v.X, v.Y, v.Z, v.W};
  double out[4];
  for (int j = 0; j < 4; ++j) {
    out[j] = in[0] * m.m[0][j] + in[1] * m.m[1][j] + in[2] * m.m[2][j] + in[3] * m.m[3][j];
  }
  return {float(out[0]), float(out[1]), float(out[2]), float(out[3])};
}

TPoint3D TransformPoint(const TPoint3D& p, const TMatrix3D& m) {
  return (TVector3D::Point(p) * m).XYZ();
}

TQuaternion3D TQuaternion3D::Create(const TPoint3D& axis, double angle) {
  const double len = Length(axis);
  if (len <= 0) return Identity();
  const double s = std::sin(angle / 2) / len;
  return {{float(axis.X * s), float(axis.Y * s), float(axis.Z * s)}, float(std::cos(angle / 2))};
}

TQuaternion3D TQuaternion3D::Normalized() const {
  const double x = ImagPart.X, y = ImagPart.Y, z = ImagPart.Z, w = RealPart;
  const double len = std::sqrt(w * w + x * x + y * y + z * z);
  if (len <= double(1e-30f)) return Identity();
  return {{float(x / len), float(y / len), float(z / len)}, float(w / len)};
}

TMatrix3D TQuaternion3D::ToMatrix() const {
  const TQuaternion3D q = Normalized();
  const double x = q.ImagPart.X, y = q.ImagPart.Y, z = q.ImagPart.Z, w = q.RealPart;
  TMatrix3D r;
  r.m[0][0] = float(1 - 2 * (y * y + z * z));
  r.m[0][1] = float(2 * (x * y + z * w));
  r.m[0][2] = float(2 * (x * z - y * w));
  r.m[1][0] = float(2 * (x * y - z * w));
  r.m[1][1] = float(1 - 2 * (x * x + z * z));
  r.m[1][2] = float(2 * (y * z + x * w));
  r.m[2][0] = float(2 * (x * z + y * w));
  r.m[2][1] = float(2 * (y * z - x * w));
  r.m[2][2] = float(1 - 2 * (x * x + y * y));
  return r;
}

TQuaternion3D operator*(const TQuaternion3D& a, const TQuaternion3D& b) {
  const double ax = a.ImagPart.X, ay = a.ImagPart.Y, az = a.ImagPart.Z, aw = a.RealPart;
  const double bx = b.ImagPart.X, by = b.ImagPart.Y, bz = b.ImagPart.Z, bw = b.RealPart;
  return {
      {float(aw * bx + ax * bw + ay * bz - az * by), float(aw * by + ay * bw + az * bx - ax * bz),
       float(aw * bz + az * bw + ax * by - ay * bx)},
      float(aw * bw - ax * bx - ay * by - az * bz)};
}

bool SameValue(double value, double v, double eps) {
  return std::fabs((long double)value - (long double)v) <= (long double)eps;
}

float Wrap360(long double angle) {
  // k is the float nearest 1/360, as the runtime has always used it.
  constexpr long double k = 0.0027777778450399637L;
  long double r = angle - 360.0L * std::trunc(angle * k);
  if (r < 0) r += 360.0L;
  float f = float(r);
  // Rounding a value just below 360 to float can give 360 itself.
  if (f >= 360.0f) f = 0.0f;
  return f;
}

}  // namespace rt3d
