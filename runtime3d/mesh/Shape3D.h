#pragma once
// A 3D object drawn with the material of a material source.

#include "runtime3d/core/Control3D.h"

namespace rt3d {

class TMaterialSource;

// How mesh data is placed into the object's Width x Height x Depth box.
enum class TMeshWrapMode : std::uint8_t { Original, Fit, Stretch, Resize };

class TShape3D : public TControl3D {
 public:
  explicit TShape3D(std::string name = {});
  ~TShape3D() override;

  // Not owned; becomes null when the source is destroyed. Setting it does not repaint:
  // the source repaints its shapes whenever its material changes.
  TMaterialSource* MaterialSource() const { return FMaterialSource; }
  void SetMaterialSource(TMaterialSource* source);

  TMeshWrapMode WrapMode() const { return FWrapMode; }
  void SetWrapMode(TMeshWrapMode value);

  // The material of the source, or null without one.
  IMaterial* RenderingMaterial() const override;

 protected:
  void FreeNotification(TTreeObject* gone) override;

 private:
  void Detach();

  TMaterialSource* FMaterialSource = nullptr;
  TMeshWrapMode FWrapMode = TMeshWrapMode::Stretch;
};

}  // namespace rt3d
