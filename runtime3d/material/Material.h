#pragma once
// Materials: what a draw sets on the context before the device draws a mesh. A material
// chooses its shader programs, fills their variables and names the variables that
// receive the model matrices; DrawWithMaterial runs that protocol around one draw.

#include <functional>
#include <string_view>

#include "runtime3d/core/Context3D.h"
#include "runtime3d/core/Types.h"

namespace rt3d {

class TShaderProgram;
class TTexture;

class TMaterial : public IMaterial {
 public:
  TMaterial();
  ~TMaterial() override;
  TMaterial(const TMaterial&) = delete;
  TMaterial& operator=(const TMaterial&) = delete;

  // Sets programs and variables on the context and clears the modified flag.
  void Apply(TContext3D& context) final;
  void Reset(TContext3D& /*context*/) override {}
  std::string_view MatrixVariable(TMaterialMatrix which) const override;

  // Marks the material modified and tells the owner (its material source).
  void Change();
  bool Modified() const { return FModified; }
  std::function<void()> OnChange;

 protected:
  virtual void DoApply(TContext3D& context) = 0;

 private:
  bool FModified = false;
};

// Lit, optionally textured: Gouraud lighting per vertex, times the texture per pixel.
class TLightMaterial : public TMaterial {
 public:
  TLightMaterial();

  // The fields are plain values: writing them tells nobody.
  TAlphaColor Diffuse = claWhite;
  TAlphaColor Ambient = 0xFF202020;
  TAlphaColor Specular = 0xFF606060;
  TAlphaColor Emissive = claNull;
  int Shininess = 30;
  TTexture* Texture = nullptr;  // not owned

  std::string_view MatrixVariable(TMaterialMatrix which) const override;
  // Lit and unlit colours have alpha 1: only the texture can bring less.
  bool IsOpaque() const override;

 protected:
  void DoApply(TContext3D& context) override;

 private:
  TShaderProgram* FVertexPrograms[4];  // 1, 2, 4, 8 light slots
  TShaderProgram* FNoLightProgram;
  TShaderProgram* FPixelProgram;
  TShaderProgram* FPixelFlipProgram;
};

// The texture at full brightness, no lighting.
class TTextureMaterial : public TMaterial {
 public:
  TTextureMaterial();

  TTexture* Texture = nullptr;  // not owned

  bool IsOpaque() const override;

 protected:
  void DoApply(TContext3D& context) override;

 private:
  TShaderProgram* FVertexProgram;
  TShaderProgram* FPixelProgram;
  TShaderProgram* FPixelFlipProgram;
};

// One flat colour (the default material of a context: opaque red).
class TColorMaterial : public TMaterial {
 public:
  TColorMaterial();

  TAlphaColor Color = claRed;

 protected:
  void DoApply(TContext3D& context) override;

 private:
  TShaderProgram* FVertexProgram;
  TShaderProgram* FPixelProgram;
};

// The vertex program and the number of light slots it has for n enabled lights.
struct TLightProgramChoice {
  int SlotIndex;  // into {gouraud1, gouraud2, gouraud4, gouraud8}, or -1 for nolight
  int Slots;
};
TLightProgramChoice ChooseLightProgram(int enabledLights);

// The device's DrawTriangles without the GL part: records the opacity, applies the material
// (or defaultMaterial, red with alpha scaled by the opacity), sets the matrix variables the
// material names from the context's current matrices, runs draw, then resets the material.
void DrawWithMaterial(TContext3D& context, float opacity, IMaterial* material,
                      TColorMaterial& defaultMaterial, const std::function<void()>& draw);

}  // namespace rt3d
