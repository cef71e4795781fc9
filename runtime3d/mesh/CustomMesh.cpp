#include "runtime3d/mesh/CustomMesh.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "runtime3d/core/Context3D.h"

namespace rt3d {

namespace {

// Extents at or below this leave a Stretch factor at 1 (a flat mesh is not blown up).
constexpr double kMinStretchExtent = 0.0001;

// p' = ((p + t1) scaled by s) + t2.
TMatrix3D Placement(const TPoint3D& t1, const TPoint3D& s, const TPoint3D& t2) {
  return TMatrix3D::CreateTranslation(t1) * TMatrix3D::CreateScaling(s) *
         TMatrix3D::CreateTranslation(t2);
}

// False for a box with min above max on any axis, NaN included.
bool IsOrdered(const TBoundingBox& b) {
  return b.Left <= b.Right && b.Top <= b.Bottom && b.Near <= b.Far;
}

double StretchFactor(double size, double extent) {
  return extent <= kMinStretchExtent ? 1.0 : size / extent;
}

// Moeller-Trumbore; t is the distance along dir (in units of |dir|), only t >= 0 counts.
bool RayTriangle(const TPoint3D& origin, const TPoint3D& dir, const TPoint3D& v0,
                 const TPoint3D& v1, const TPoint3D& v2, double& t) {
  const double e1[3] = {double(v1.X) - v0.X, double(v1.Y) - v0.Y, double(v1.Z) - v0.Z};
  const double e2[3] = {double(v2.X) - v0.X, double(v2.Y) - v0.Y, double(v2.Z) - v0.Z};
  const double d[3] = {dir.X, dir.Y, dir.Z};
  const double p[3] = {d[1] * e2[2] - d[2] * e2[1], d[2] * e2[0] - d[0] * e2[2],
                       d[0] * e2[1] - d[1] * e2[0]};
  const double det = e1[0] * p[0] + e1[1] * p[1] + e1[2] * p[2];
  if (std::fabs(det) < 1e-12) return false;
  const double inv = 1.0 / det;
  const double s[3] = {double(origin.X) - v0.X, double(origin.Y) - v0.Y, double(origin.Z) - v0.Z};
  const double u = (s[0] * p[0] + s[1] * p[1] + s[2] * p[2]) * inv;
  if (u < 0 || u > 1) return false;
  const double q[3] = {s[1] * e1[2] - s[2] * e1[1], s[2] * e1[0] - s[0] * e1[2],
                       s[0] * e1[1] - s[1] * e1[0]};
  const double v = (d[0] * q[0] + d[1] * q[1] + d[2] * q[2]) * inv;
  if (v < 0 || u + v > 1) return false;
  t = (e2[0] * q[0] + e2[1] * q[1] + e2[2] * q[2]) * inv;
  return t >= 0;
}

// Slab test of the ray (t >= 0) against the box.
bool RayMeetsBox(const TPoint3D& origin, const TPoint3D& dir, const TBoundingBox& box) {
  const double lo[3] = {box.Left, box.Top, box.Near};
  const double hi[3] = {box.Right, box.Bottom, box.Far};
  double tMin = 0, tMax = INFINITY;
  for (int axis = 0; axis < 3; ++axis) {
    const double o = origin[axis], d = dir[axis];
    if (d == 0) {
      if (o < lo[axis] || o > hi[axis]) return false;
      continue;
    }
    double t0 = (lo[axis] - o) / d, t1 = (hi[axis] - o) / d;
    if (t0 > t1) std::swap(t0, t1);
    tMin = std::max(tMin, t0);
    tMax = std::min(tMax, t1);
    if (tMin > tMax) return false;
  }
  return true;
}

}  // namespace

TFitResult FitInto(const TBoundingBox& box, const TBoundingBox& area) {
  const double aw = area.Width(), ah = area.Height(), ad = area.Depth();
  if (aw <= 0 || ah <= 0 || ad <= 0) return {box, 1};
  double ratio = std::max({box.Width() / aw, box.Height() / ah, box.Depth() / ad});
  // A box of no extent cannot be scaled to fit; it is only centred.
  if (!(ratio > 0) || !std::isfinite(ratio)) ratio = 1;
  const double w = box.Width() / ratio, h = box.Height() / ratio, d = box.Depth() / ratio;
  const double cx = (double(area.Left) + area.Right) / 2;
  const double cy = (double(area.Top) + area.Bottom) / 2;
  const double cz = (double(area.Near) + area.Far) / 2;
  TFitResult result;
  result.Ratio = ratio;
  result.Box = {float(cx - w / 2), float(cy - h / 2), float(cz - d / 2),
                float(cx + w / 2), float(cy + h / 2), float(cz + d / 2)};
  return result;
}

TCustomMesh::TCustomMesh(std::string name) : TShape3D(std::move(name)) {
  FData.OnChanged = [this] { Repaint(); };
}

TMatrix3D TCustomMesh::MeshPlacementMatrix() const {
  if (WrapMode() == TMeshWrapMode::Resize) return {};
  const TBoundingBox& b = FData.GetBoundingBox();
  if (!IsOrdered(b)) return {};
  const double w = Width(), h = Height(), d = Depth();
  const TPoint3D toOrigin{-b.Left, -b.Top, -b.Near};
  switch (WrapMode()) {
    case TMeshWrapMode::Original:
      return TMatrix3D::CreateScaling({float(w), float(h), float(d)});
    case TMeshWrapMode::Fit: {
      const TBoundingBox area{float(-w / 2), float(-h / 2), float(-d / 2),
                              float(w / 2),  float(h / 2),  float(d / 2)};
      const TFitResult fit = FitInto(b, area);
      const auto s = float(1 / fit.Ratio);
      return Placement(toOrigin, {s, s, s}, {fit.Box.Left, fit.Box.Top, fit.Box.Near});
    }
    case TMeshWrapMode::Stretch: {
      const TPoint3D s{float(StretchFactor(w, b.Width())), float(StretchFactor(h, b.Height())),
                       float(StretchFactor(d, b.Depth()))};
      return Placement(toOrigin, s, {float(-w / 2), float(-h / 2), float(-d / 2)});
    }
    case TMeshWrapMode::Resize:
      break;
  }
  return {};
}

void TCustomMesh::Render(TContext3D& context) {
  if (FData.IndexBuffer().Length() == 0) return;
  context.SetMatrix(MeshPlacementMatrix() * AbsoluteMatrix());
  context.DrawTriangles(FData.VertexBuffer(), FData.IndexBuffer(), AbsoluteOpacity(),
                        RenderingMaterial());
}

namespace {

// The least and the most a matrix's linear part stretches a vector: the square roots of the
// smallest and largest eigenvalues of L Lt (closed form for a symmetric 3 x 3 matrix), each
// widened a little against rounding.
void Stretches(const TMatrix3D& m, double& least, double& most) {
  double a[3][3];
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) {
      a[i][j] = 0;
      for (int k = 0; k < 3; ++k) a[i][j] += double(m[i][k]) * m[j][k];
    }
  }
  const double offDiagonal = a[0][1] * a[0][1] + a[0][2] * a[0][2] + a[1][2] * a[1][2];
  double smallest, largest;
  if (offDiagonal == 0) {
    smallest = std::min({a[0][0], a[1][1], a[2][2]});
    largest = std::max({a[0][0], a[1][1], a[2][2]});
  } else {
    const double q = (a[0][0] + a[1][1] + a[2][2]) / 3;
    const double p2 = (a[0][0] - q) * (a[0][0] - q) + (a[1][1] - q) * (a[1][1] - q) +
                      (a[2][2] - q) * (a[2][2] - q) + 2 * offDiagonal;
    const double p = std::sqrt(p2 / 6);
    double b[3][3];
    for (int i = 0; i < 3; ++i) {
      for (int j = 0; j < 3; ++j) b[i][j] = (a[i][j] - (i == j ? q : 0)) / p;
    }
    const double det = b[0][0] * (b[1][1] * b[2][2] - b[1][2] * b[2][1]) -
                       b[0][1] * (b[1][0] * b[2][2] - b[1][2] * b[2][0]) +
                       b[0][2] * (b[1][0] * b[2][1] - b[1][1] * b[2][0]);
    const double phi = std::acos(std::clamp(det / 2, -1.0, 1.0)) / 3;
    const double third = 2.0943951023931957;  // 2 pi / 3
    largest = q + 2 * p * std::cos(phi);
    smallest = q + 2 * p * std::cos(phi + third);
  }
  least = std::sqrt(std::max(0.0, smallest)) * (1 - 1e-6);
  most = std::sqrt(std::max(0.0, largest)) * (1 + 1e-6);
  if (!std::isfinite(least) || !std::isfinite(most)) least = 0, most = HUGE_VAL;
}

}  // namespace

const TCustomMesh::TDataShell& TCustomMesh::DataShell() const {
  const std::uint64_t generation = FData.Generation();
  if (FDataShellGeneration == generation) return FDataShell;
  FDataShellGeneration = generation;
  const TBoundingBox& b = FData.GetBoundingBox();
  TDataShell shell;
  shell.Centre = {float((double(b.Left) + b.Right) / 2), float((double(b.Top) + b.Bottom) / 2),
                  float((double(b.Near) + b.Far) / 2)};
  const TVertexBuffer& vertices = FData.VertexBuffer();
  const TIndexBuffer& indices = FData.IndexBuffer();
  for (int i = 0; i < vertices.Length(); ++i) {
    shell.Outer = std::max(shell.Outer, Distance(vertices.Vertex(i), shell.Centre));
  }
  // Every point of a triangle is at least as far from the centre as the triangle's plane.
  shell.Inner = shell.Outer;
  const std::uint32_t count = std::uint32_t(vertices.Length());
  for (int i = 0; i + 2 < indices.Length(); i += 3) {
    const std::uint32_t a = indices.Index(i), b2 = indices.Index(i + 1), c = indices.Index(i + 2);
    if (a >= count || b2 >= count || c >= count) continue;
    const TPoint3D pa = vertices.Vertex(int(a));
    const TPoint3D normal = Cross(vertices.Vertex(int(b2)) - pa, vertices.Vertex(int(c)) - pa);
    const double length = Length(normal);
    if (!(length > 0)) continue;  // no area: covers nothing
    shell.Inner = std::min(shell.Inner, std::fabs(Dot(normal, pa - shell.Centre)) / length);
  }
  FDataShell = shell;
  return FDataShell;
}

bool TCustomMesh::DrawnShell(TPoint3D& centre, float& inner, float& outer) {
  if (FData.IndexBuffer().Length() == 0) return false;
  const TDataShell& shell = DataShell();
  const TMatrix3D m = MeshPlacementMatrix() * AbsoluteMatrix();
  double least = 0, most = 0;
  Stretches(m, least, most);
  centre = TransformPoint(shell.Centre, m);
  inner = float(shell.Inner * least);
  // Rounded up so that the outer sphere never shrinks below the surface.
  outer = std::nextafter(float(shell.Outer * most), std::numeric_limits<float>::infinity());
  return true;
}

bool TCustomMesh::RayCastIntersect(const TVector3D& rayPos, const TVector3D& rayDir,
                                   TVector3D& intersection) {
  const TMatrix3D placement = MeshPlacementMatrix();
  // A flattened placement leaves nothing with an area to hit (and has no inverse).
  if (!(std::fabs(placement.Determinant()) > 1e-30)) return false;
  const TMatrix3D toData = placement.Inverse();
  const TPoint3D origin = TransformPoint(rayPos.XYZ(), toData);
  const TPoint3D dir = (TVector3D::Direction(rayDir.XYZ()) * toData).XYZ();
  if (!RayMeetsBox(origin, dir, FData.GetBoundingBox())) return false;

  const TVertexBuffer& vertices = FData.VertexBuffer();
  const TIndexBuffer& indices = FData.IndexBuffer();
  const int vertexCount = vertices.Length();
  for (int i = 0; i + 2 < indices.Length(); i += 3) {
    const std::uint32_t a = indices.Index(i), b = indices.Index(i + 1), c = indices.Index(i + 2);
    // A stray index names no vertex; such a triangle is skipped rather than read past the end.
    if (a >= std::uint32_t(vertexCount) || b >= std::uint32_t(vertexCount) ||
        c >= std::uint32_t(vertexCount)) {
      continue;
    }
    double t;
    if (!RayTriangle(origin, dir, vertices.Vertex(int(a)), vertices.Vertex(int(b)),
                     vertices.Vertex(int(c)), t)) {
      continue;
    }
    const TPoint3D inData{float(origin.X + t * dir.X), float(origin.Y + t * dir.Y),
                          float(origin.Z + t * dir.Z)};
    const TPoint3D local = TransformPoint(inData, placement);
    intersection = LocalToAbsoluteVector(TVector3D::Point(local));
    return true;
  }
  return false;
}

}  // namespace rt3d
