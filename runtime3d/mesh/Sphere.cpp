#include "runtime3d/mesh/Sphere.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "runtime3d/core/Exceptions.h"

namespace rt3d {

namespace {

constexpr double kRadius = 0.5;
constexpr double kMinRadius = 1e-30;

void AppendTriangle(TIndexBuffer& indices, int& at, int a, int b, int c) {
  indices.SetIndex(at++, std::uint32_t(a));
  indices.SetIndex(at++, std::uint32_t(b));
  indices.SetIndex(at++, std::uint32_t(c));
}

}  // namespace

void BuildSphereMesh(TMeshData& data, int axes, int height) {
  // Fewer would leave triangles without room in the index buffer.
  if (axes < TSphere::kMinAxes || height < TSphere::kMinHeight) {
    throw EArgumentOutOfRangeException();
  }
  const int a = axes, h = height, j = a + 1;
  TVertexBuffer& vertices = data.VertexBuffer();
  TIndexBuffer& indices = data.IndexBuffer();
  vertices.SetLength(j * (h + 1) - 1);
  indices.SetLength(6 * a * (h - 1));

  // The angles are accumulated in floats, step by step, so that every vertex sits exactly
  // where the scene's reference meshes expect it. Longitude restarts at 0 on every ring,
  // so its sines and cosines are the same for all rings: compute them once.
  const float thetaStep = 6.2831855f / float(a);
  struct TCosSin {
    double Cos, Sin;
  };
  std::vector<TCosSin> column(static_cast<size_t>(a));
  float theta = 0;
  for (TCosSin& c : column) {
    c = {std::cos(double(theta)), std::sin(double(theta))};
    theta += thetaStep;
  }

  const float phiStep = 3.1415927f / float(h);
  float phi = -1.5707964f;
  int at = 0;
  for (int i = 0; i < h; ++i) {
    const double cosPhi = std::cos(double(phi)), sinPhi = std::sin(double(phi));
    const auto v = float(double(i) / h);
    for (int k = 0; k < a; ++k) {
      const int l = i * j + k;
      const double nx = cosPhi * column[size_t(k)].Cos, ny = sinPhi,
                   nz = cosPhi * column[size_t(k)].Sin;
      const double length = std::sqrt(nx * nx + ny * ny + nz * nz);
      const TPoint3D position{float(kRadius * nx), float(kRadius * ny), float(kRadius * nz)};
      const TPoint3D normal =
          length > 0 ? TPoint3D{float(nx / length), float(ny / length), float(nz / length)}
                     : TPoint3D{float(nx), float(ny), float(nz)};
      vertices.SetVertex(l, position);
      vertices.SetTexCoord0(l, {float(double(k) / a), v});
      vertices.SetNormal(l, normal);
      if (k == 0) {
        // The seam: the same place again with u = 1.
        vertices.SetVertex(i * j + a, position);
        vertices.SetNormal(i * j + a, normal);
        vertices.SetTexCoord0(i * j + a, {1, v});
      }
      const auto uMid = float((k + 0.5) / a);
      if (i == 0) {
        vertices.SetTexCoord0(l, {uMid, 0});
        AppendTriangle(indices, at, k, j + k + 1, j + k);
      } else if (i == h - 1) {
        // Each top triangle gets its own pole vertex, with u in the middle of its column.
        const int pole = h * j + k;
        vertices.SetVertex(pole, {0, float(kRadius), 0});
        vertices.SetNormal(pole, {0, 1, 0});
        vertices.SetTexCoord0(pole, {uMid, 1});
        AppendTriangle(indices, at, l, l + 1, pole);
      } else {
        AppendTriangle(indices, at, l, (i + 1) * j + k + 1, (i + 1) * j + k);
        AppendTriangle(indices, at, l, l + 1, (i + 1) * j + k + 1);
      }
    }
    phi += phiStep;
  }
}

bool RayEllipsoidIntersect(const TPoint3D& origin, const TPoint3D& dir, const TPoint3D& radii,
                           TPoint3D& hit) {
  const double r[3] = {std::fabs(double(radii.X)), std::fabs(double(radii.Y)),
                       std::fabs(double(radii.Z))};
  if (!(r[0] > kMinRadius && r[1] > kMinRadius && r[2] > kMinRadius)) return false;
  // Stretch space so that the ellipsoid becomes a sphere of the largest radius.
  const double f = std::max({r[0], r[1], r[2]});
  double p[3], d[3], factor[3];
  for (int axis = 0; axis < 3; ++axis) {
    factor[axis] = f / r[axis];
    p[axis] = origin[axis] * factor[axis];
    d[axis] = dir[axis] * factor[axis];
  }
  const double dd = d[0] * d[0] + d[1] * d[1] + d[2] * d[2];
  const double pp = p[0] * p[0] + p[1] * p[1] + p[2] * p[2];
  const double b = 2 * (p[0] * d[0] + p[1] * d[1] + p[2] * d[2]);
  const double disc = b * b - 4 * dd * (pp - f * f);
  if (!(disc >= 0) || !(dd > 0)) return false;
  double t;
  if (disc == 0) {
    t = -b / (2 * dd);
  } else {
    const double root = std::sqrt(disc);
    const double t1 = (-b - root) / (2 * dd), t2 = (-b + root) / (2 * dd);
    // Nearer to the origin, whichever side of it: the line counts, not only the ray.
    t = std::fabs(t1) <= std::fabs(t2) ? t1 : t2;
  }
  for (int axis = 0; axis < 3; ++axis) hit[axis] = float((p[axis] + t * d[axis]) / factor[axis]);
  return true;
}

TSphere::TSphere(std::string name) : TCustomMesh(std::move(name)) {
  BuildSphereMesh(Data(), FSubdivisionsAxes, FSubdivisionsHeight);
}

void TSphere::SetSubdivisionsAxes(int value) {
  // Compared before clamping: storing 2 over 3 builds the same mesh again.
  if (value == FSubdivisionsAxes) return;
  FSubdivisionsAxes = std::clamp(value, kMinAxes, kMaxAxes);
  BuildSphereMesh(Data(), FSubdivisionsAxes, FSubdivisionsHeight);
}

void TSphere::SetSubdivisionsHeight(int value) {
  if (value == FSubdivisionsHeight) return;
  FSubdivisionsHeight = std::clamp(value, kMinHeight, kMaxHeight);
  BuildSphereMesh(Data(), FSubdivisionsAxes, FSubdivisionsHeight);
}

bool TSphere::RayCastIntersect(const TVector3D& rayPos, const TVector3D& rayDir,
                               TVector3D& intersection) {
  const float w = Width() / 2, h = Height() / 2, d = Depth() / 2;
  TPoint3D radii;
  switch (WrapMode()) {
    case TMeshWrapMode::Original:
    case TMeshWrapMode::Stretch:
      radii = {w, h, d};
      break;
    case TMeshWrapMode::Fit: {
      const float r = std::min({w, h, d});
      radii = {r, r, r};
      break;
    }
    case TMeshWrapMode::Resize:
      radii = {0.5f, 0.5f, 0.5f};
      break;
    default:
      return false;
  }
  TPoint3D hit;
  if (!RayEllipsoidIntersect(rayPos.XYZ(), rayDir.XYZ(), radii, hit)) return false;
  intersection = LocalToAbsoluteVector(TVector3D::Point(hit));
  return true;
}

}  // namespace rt3d
