#include "runtime3d/mesh/Shape3D.h"

#include "runtime3d/material/MaterialSource.h"

namespace rt3d {

TShape3D::TShape3D(std::string name) : TControl3D(std::move(name)) {}

TShape3D::~TShape3D() {
  Detach();
}

void TShape3D::Detach() {
  if (!FMaterialSource) return;
  FMaterialSource->RemoveShape(this);
  FMaterialSource->RemoveFreeNotify(this);
  FMaterialSource = nullptr;
}

void TShape3D::SetMaterialSource(TMaterialSource* source) {
  if (source == FMaterialSource) return;
  Detach();
  FMaterialSource = source;
  if (source) {
    source->AddShape(this);
    source->AddFreeNotify(this);
  }
}

void TShape3D::FreeNotification(TTreeObject* gone) {
  if (gone == FMaterialSource) FMaterialSource = nullptr;
  TControl3D::FreeNotification(gone);
}

void TShape3D::SetWrapMode(TMeshWrapMode value) {
  if (value == FWrapMode) return;
  FWrapMode = value;
  Repaint();
}

IMaterial* TShape3D::RenderingMaterial() const {
  return ValidMaterial(FMaterialSource);
}

}  // namespace rt3d
