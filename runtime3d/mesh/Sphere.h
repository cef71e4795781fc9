#pragma once
// A UV sphere of radius 0.5 about the origin (before placement), its poles on the y axis,
// with an exact ellipsoid ray test for picking.

#include "runtime3d/mesh/CustomMesh.h"

namespace rt3d {

// Builds the sphere mesh into data: (axes + 1) x (height + 1) - 1 vertices and
// 6 x axes x (height - 1) indices. Each of the first `height` rings carries a seam copy of
// its first vertex (u = 1); the top ring holds one pole vertex per column. Raises
// EArgumentOutOfRangeException, changing nothing, for axes < 3 or height < 2.
void BuildSphereMesh(TMeshData& data, int axes, int height);

// The ray's line against an axis-aligned ellipsoid about the origin. On a hit, `hit` is the
// crossing nearer to origin (which may lie behind it). No hit for a radius of magnitude
// <= 1e-30.
bool RayEllipsoidIntersect(const TPoint3D& origin, const TPoint3D& dir, const TPoint3D& radii,
                           TPoint3D& hit);

class TSphere : public TCustomMesh {
 public:
  static constexpr int kMinAxes = 3, kMaxAxes = 50;
  static constexpr int kMinHeight = 2, kMaxHeight = 50;

  explicit TSphere(std::string name = {});

  int SubdivisionsAxes() const { return FSubdivisionsAxes; }
  // Clamped to 3..50; rebuilds the mesh unless the value given equals the stored one.
  // Does not repaint by itself.
  void SetSubdivisionsAxes(int value);
  int SubdivisionsHeight() const { return FSubdivisionsHeight; }
  // Clamped to 2..50, otherwise as SetSubdivisionsAxes.
  void SetSubdivisionsHeight(int value);

  // Exact: the ellipsoid that the placed mesh approximates.
  bool RayCastIntersect(const TVector3D& rayPos, const TVector3D& rayDir,
                        TVector3D& intersection) override;
  // Its mesh is a closed convex polyhedron around the centre.
  bool IsClosedConvex() const override { return true; }

 private:
  int FSubdivisionsAxes = 16;
  int FSubdivisionsHeight = 12;
};

}  // namespace rt3d
