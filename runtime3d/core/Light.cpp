#include "runtime3d/core/Light.h"

#include "runtime3d/core/ViewportRoot.h"

namespace rt3d {

TLight::TLight(std::string name) : TControl3D(std::move(name)) {
  SetHitTest(false);
}

TLight::~TLight() {
  if (Viewport()) Viewport()->RemoveLight(this);
}

void TLight::SetEnabled(bool value) {
  if (FEnabled == value) return;
  FEnabled = value;
  if (Viewport()) Viewport()->RequestViewportRedraw();
}

void TLight::SetLightType(TLightType value) {
  if (FLightType == value) return;
  FLightType = value;
  switch (value) {
    case TLightType::Point:
      FSpotCutOff = 180;
      FSpotExponent = 0;
      break;
    case TLightType::Spot:
      FSpotCutOff = 60;
      FSpotExponent = 4;
      break;
    case TLightType::Directional:
      break;
  }
}

TLightDescription TLight::LightDescription() {
  return {FEnabled,
          FColor,
          FLightType,
          FSpotCutOff,
          FSpotExponent,
          AbsolutePosition().XYZ(),
          AbsoluteDirection().XYZ()};
}

float TLight::FixedSize() const {
  return Projection() == TProjection::Screen ? 25.0f : 1.0f;
}

void TLight::SetWidth(float) {
  TControl3D::SetWidth(FixedSize());
}
void TLight::SetHeight(float) {
  TControl3D::SetHeight(FixedSize());
}
void TLight::SetDepth(float) {
  TControl3D::SetDepth(FixedSize());
}

void TLight::SetNewViewport(IViewport3D* viewport) {
  if (viewport != Viewport()) {
    if (Viewport()) Viewport()->RemoveLight(this);
    if (viewport) viewport->AddLight(this);
  }
  TControl3D::SetNewViewport(viewport);
}

}  // namespace rt3d
