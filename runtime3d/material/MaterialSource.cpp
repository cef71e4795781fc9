#include "runtime3d/material/MaterialSource.h"

#include <algorithm>

#include "runtime3d/core/Control3D.h"

namespace rt3d {

// --- TMaterialSource ---------------------------------------------------------------------

TMaterialSource::TMaterialSource(std::string name, std::unique_ptr<TMaterial> material)
    : TTreeObject(std::move(name)), FMaterial(std::move(material)) {
  FMaterial->OnChange = [this] { MaterialChanged(); };
}

TMaterialSource::~TMaterialSource() {
  BeginDestroy();
  for (TControl3D* shape : FShapes) shape->RemoveFreeNotify(this);
  FShapes.clear();
}

void TMaterialSource::AddShape(TControl3D* shape) {
  if (!shape || std::find(FShapes.begin(), FShapes.end(), shape) != FShapes.end()) return;
  FShapes.push_back(shape);
  // A shape freed without detaching must not stay in the list.
  shape->AddFreeNotify(this);
}

void TMaterialSource::RemoveShape(TControl3D* shape) {
  const auto it = std::find(FShapes.begin(), FShapes.end(), shape);
  if (it == FShapes.end()) return;
  FShapes.erase(it);
  shape->RemoveFreeNotify(this);
}

void TMaterialSource::FreeNotification(TTreeObject* gone) {
  std::erase(FShapes, static_cast<TControl3D*>(gone));
}

void TMaterialSource::MaterialChanged() {
  // A repaint only asks for a frame, but walk a copy in case a shape detaches meanwhile.
  const std::vector<TControl3D*> shapes = FShapes;
  for (TControl3D* shape : shapes) shape->Repaint();
}

// --- Textured sources ---------------------------------------------------------------------

TLightMaterialSource::TLightMaterialSource(std::string name)
    : TTexturedMaterialSource(std::move(name)) {}

TTextureMaterialSource::TTextureMaterialSource(std::string name)
    : TTexturedMaterialSource(std::move(name)) {}

// --- TColorMaterialSource ----------------------------------------------------------------

TColorMaterialSource::TColorMaterialSource(std::string name)
    : TMaterialSource(std::move(name), std::make_unique<TColorMaterial>()) {}

TColorMaterial& TColorMaterialSource::ColorMaterial() const {
  return static_cast<TColorMaterial&>(*Material());
}

void TColorMaterialSource::SetColor(TAlphaColor value) {
  if (ColorMaterial().Color == value) return;
  ColorMaterial().Color = value;
  Material()->Change();
}

}  // namespace rt3d
