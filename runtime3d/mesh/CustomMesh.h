#pragma once
// A shape drawn from its own mesh data, placed into the object's box by its WrapMode.

#include "runtime3d/mesh/MeshData.h"
#include "runtime3d/mesh/Shape3D.h"

namespace rt3d {

// Scales a box to fit inside an area, keeping its proportions and centring it there.
// Ratio is the factor the box was divided by; an area with a side <= 0 leaves the box as
// it is (ratio 1), and so does a box with no extent at all.
struct TFitResult {
  TBoundingBox Box;
  double Ratio = 1;
};
TFitResult FitInto(const TBoundingBox& box, const TBoundingBox& area);

class TCustomMesh : public TShape3D {
 public:
  explicit TCustomMesh(std::string name = {});

  TMeshData& Data() { return FData; }
  const TMeshData& Data() const { return FData; }

  // Mesh data frame to object frame, by WrapMode.
  TMatrix3D MeshPlacementMatrix() const;

  // One indexed draw of the whole mesh with the shape's material (null without a source,
  // the context then uses its default material).
  void Render(TContext3D& context) override;
  // Tests the triangles in index order; the first one the ray meets in front of its origin
  // wins (not necessarily the nearest).
  bool RayCastIntersect(const TVector3D& rayPos, const TVector3D& rayDir,
                        TVector3D& intersection) override;
  bool DrawnShell(TPoint3D& centre, float& inner, float& outer) override;
  bool DrawsItself() const override { return FData.IndexBuffer().Length() > 0; }

 private:
  // The shell of the mesh in its data frame, kept until the mesh changes.
  struct TDataShell {
    TPoint3D Centre;
    double Inner = 0, Outer = 0;
  };
  const TDataShell& DataShell() const;

  TMeshData FData;
  mutable TDataShell FDataShell;
  mutable std::uint64_t FDataShellGeneration = 0;
};

}  // namespace rt3d
