#pragma once
// A light and the record of it that materials read each frame.

#include "runtime3d/core/Control3D.h"

namespace rt3d {

enum class TLightType : std::uint8_t { Directional = 0, Point = 1, Spot = 2 };

struct TLightDescription {
  bool Enabled = true;
  TAlphaColor Color = claWhite;
  TLightType LightType = TLightType::Directional;
  float SpotCutOff = 180;
  float SpotExponent = 0;
  TPoint3D Position;   // world space
  TPoint3D Direction;  // the light's own +Z axis in world space, not normalised
};

class TLight : public TControl3D {
 public:
  explicit TLight(std::string name = {});
  ~TLight() override;

  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool value);
  TLightType LightType() const { return FLightType; }
  void SetLightType(TLightType value);
  TAlphaColor Color() const { return FColor; }
  void SetColor(TAlphaColor value) { FColor = value; }
  float SpotCutOff() const { return FSpotCutOff; }
  void SetSpotCutOff(float value) { FSpotCutOff = value; }
  float SpotExponent() const { return FSpotExponent; }
  void SetSpotExponent(float value) { FSpotExponent = value; }

  TLightDescription LightDescription();

  // A light's box is fixed: any write sets that dimension to 1 (25 on screen).
  void SetWidth(float value) override;
  void SetHeight(float value) override;
  void SetDepth(float value) override;

  bool RayCastIntersect(const TVector3D&, const TVector3D&, TVector3D&) override { return false; }
  void SetNewViewport(IViewport3D* viewport) override;

 private:
  float FixedSize() const;

  bool FEnabled = true;
  TLightType FLightType = TLightType::Directional;
  TAlphaColor FColor = claWhite;
  float FSpotCutOff = 180;
  float FSpotExponent = 0;
};

}  // namespace rt3d
