#pragma once
// Material sources: the scene objects that own a material and the shapes drawn with it.
// When the material reports a change, every shape using it repaints.
//
// A shape attaches with AddShape and detaches with RemoveShape; it also asks
// AddFreeNotify on the source to drop its reference when the source goes away. The source
// in turn watches its shapes, so a shape destroyed without detaching leaves no dangling
// entry.

#include <memory>
#include <string>
#include <vector>

#include "runtime3d/core/Object.h"
#include "runtime3d/material/Material.h"
#include "runtime3d/material/TextureBitmap.h"

namespace rt3d {

class TControl3D;

class TMaterialSource : public TTreeObject {
 public:
  ~TMaterialSource() override;

  TMaterial* Material() const { return FMaterial.get(); }

  void AddShape(TControl3D* shape);
  void RemoveShape(TControl3D* shape);
  const std::vector<TControl3D*>& Shapes() const { return FShapes; }

 protected:
  TMaterialSource(std::string name, std::unique_ptr<TMaterial> material);
  void FreeNotification(TTreeObject* gone) override;

 private:
  void MaterialChanged();

  std::unique_ptr<TMaterial> FMaterial;
  std::vector<TControl3D*> FShapes;
};

// The material of a source, or none without a source.
inline IMaterial* ValidMaterial(const TMaterialSource* source) {
  return source ? source->Material() : nullptr;
}

// A source whose material samples one texture: a new image in Texture() reaches the
// material, and the shapes repaint.
template <class TTexturedMaterial>
class TTexturedMaterialSource : public TMaterialSource {
 public:
  TTextureBitmap& Texture() { return FTexture; }

 protected:
  explicit TTexturedMaterialSource(std::string name)
      : TMaterialSource(std::move(name), std::make_unique<TTexturedMaterial>()) {
    FTexture.OnChange = [this] {
      TypedMaterial().Texture = FTexture.IsEmpty() ? nullptr : FTexture.Texture();
      Material()->Change();
    };
  }
  TTexturedMaterial& TypedMaterial() const { return static_cast<TTexturedMaterial&>(*Material()); }

 private:
  TTextureBitmap FTexture;
};

class TLightMaterialSource : public TTexturedMaterialSource<TLightMaterial> {
 public:
  explicit TLightMaterialSource(std::string name = {});

  TLightMaterial& LightMaterial() const { return TypedMaterial(); }

  // Read and write the material directly, without a change notice.
  TAlphaColor Diffuse() const { return LightMaterial().Diffuse; }
  void SetDiffuse(TAlphaColor value) { LightMaterial().Diffuse = value; }
  TAlphaColor Ambient() const { return LightMaterial().Ambient; }
  void SetAmbient(TAlphaColor value) { LightMaterial().Ambient = value; }
  TAlphaColor Emissive() const { return LightMaterial().Emissive; }
  void SetEmissive(TAlphaColor value) { LightMaterial().Emissive = value; }
  TAlphaColor Specular() const { return LightMaterial().Specular; }
  void SetSpecular(TAlphaColor value) { LightMaterial().Specular = value; }
  int Shininess() const { return LightMaterial().Shininess; }
  void SetShininess(int value) { LightMaterial().Shininess = value; }
};

class TTextureMaterialSource : public TTexturedMaterialSource<TTextureMaterial> {
 public:
  explicit TTextureMaterialSource(std::string name = {});

  TTextureMaterial& TextureMaterial() const { return TypedMaterial(); }
};

class TColorMaterialSource : public TMaterialSource {
 public:
  explicit TColorMaterialSource(std::string name = {});

  TColorMaterial& ColorMaterial() const;
  TAlphaColor Color() const { return ColorMaterial().Color; }
  // Reports a change: the shapes repaint.
  void SetColor(TAlphaColor value);
};

}  // namespace rt3d
