#include "runtime3d/material/Material.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "runtime3d/material/ShaderProgram.h"
#include "runtime3d/material/ShaderSources.h"
#include "runtime3d/material/Texture.h"

namespace rt3d {

namespace {

TShaderProgram* Program(std::string_view name, TShaderKind kind) {
  return TShaderManager::Instance().Register(name, kind, ShaderSource(name));
}

TVector3D Scalar(float value) {
  return {value, 0, 0, 0};
}

// Pixel programs sample upside down only for a render target on a device that flips them.
bool NeedsFlip(const TContext3D& context, const TTexture* texture) {
  return texture && texture->IsRenderTarget() && context.RenderTargetFlipped();
}

TAlphaColor WithOpacity(TAlphaColor color, float opacity) {
  if (!(opacity < 1)) return color;
  const double alpha = double((color >> 24) & 0xFF) * std::clamp(double(opacity), 0.0, 1.0);
  return (color & 0x00FFFFFF) | (TAlphaColor(alpha) << 24);
}

}  // namespace

// --- TMaterial ---------------------------------------------------------------------------

TMaterial::TMaterial() = default;
TMaterial::~TMaterial() = default;

void TMaterial::Apply(TContext3D& context) {
  DoApply(context);
  FModified = false;
}

std::string_view TMaterial::MatrixVariable(TMaterialMatrix which) const {
  return which == TMaterialMatrix::ModelViewProjection ? "MVPMatrix" : "";
}

void TMaterial::Change() {
  FModified = true;
  if (OnChange) OnChange();
}

// --- TLightMaterial ----------------------------------------------------------------------

TLightProgramChoice ChooseLightProgram(int enabledLights) {
  const int n = std::min(enabledLights, TContext3D::MaxLightCount);
  // With room for eight lights the one-slot program is never chosen: one light runs in the
  // two-slot program with its second slot empty.
  if (n <= 0) return {-1, 0};
  if (n <= 2) return {1, 2};
  if (n <= 4) return {2, 4};
  return {3, 8};
}

TLightMaterial::TLightMaterial()
    : FVertexPrograms{Program("gouraud1.fvs", TShaderKind::Vertex),
                      Program("gouraud2.fvs", TShaderKind::Vertex),
                      Program("gouraud4.fvs", TShaderKind::Vertex),
                      Program("gouraud8.fvs", TShaderKind::Vertex)},
      FNoLightProgram(Program("nolight.fvs", TShaderKind::Vertex)),
      FPixelProgram(Program("gouraud.fps", TShaderKind::Pixel)),
      FPixelFlipProgram(Program("gouraud_flip.fps", TShaderKind::Pixel)) {}

std::string_view TLightMaterial::MatrixVariable(TMaterialMatrix which) const {
  switch (which) {
    case TMaterialMatrix::ModelViewProjection:
      return "MVPMatrix";
    case TMaterialMatrix::ModelView:
      return "ModelView";
    case TMaterialMatrix::ModelViewInverseTranspose:
      return "ModelViewIT";
  }
  return "";
}

void TLightMaterial::DoApply(TContext3D& context) {
  const std::vector<TLightDescription>& lights = context.Lights();
  const int enabled = int(std::count_if(lights.begin(), lights.end(),
                                        [](const TLightDescription& l) { return l.Enabled; }));
  const TLightProgramChoice choice = ChooseLightProgram(enabled);
  TShaderProgram* vertex =
      choice.SlotIndex < 0 ? FNoLightProgram : FVertexPrograms[choice.SlotIndex];
  context.SetShaders(vertex, NeedsFlip(context, Texture) ? FPixelFlipProgram : FPixelProgram);

  context.SetShaderVariable("MaterialDiffuse", ColorToVector(Diffuse));
  context.SetShaderVariable("MaterialSpecular", ColorToVector(Specular));
  context.SetShaderVariable("MaterialAmbient", ColorToVector(Ambient));
  context.SetShaderVariable("MaterialEmission", ColorToVector(Emissive));
  context.SetShaderVariable("MaterialOpts", Scalar(float(Shininess)));
  // The view matrix's fourth row, as the lighting programs expect it.
  context.SetShaderVariable("EyePos", context.CurrentCameraMatrix().Row(3));

  int slot = 0;
  for (const TLightDescription& light : lights) {
    if (slot >= choice.Slots) break;
    if (!light.Enabled) continue;
    const std::string prefix = "Lights[" + std::to_string(slot) + "].";
    const double cutOff = std::cos(double(light.SpotCutOff) * double(kDegToRad));
    context.SetShaderVariable(prefix + "Opts", TVector3D{float(int(light.LightType) + 1),
                                                         float(cutOff), light.SpotExponent, 0});
    context.SetShaderVariable(prefix + "Pos", TVector3D::Point(light.Position));
    context.SetShaderVariable(prefix + "Dir", TVector3D::Point(light.Direction));
    context.SetShaderVariable(prefix + "Color", ColorToVector(light.Color));
    ++slot;
  }
  // Type code 0 switches a slot off; its other fields are left as they are.
  for (; slot < choice.Slots; ++slot) {
    context.SetShaderVariable("Lights[" + std::to_string(slot) + "].Opts", TVector3D{0, 0, 0, 0});
  }

  context.SetShaderVariable("Opacity", Scalar(context.CurrentOpacity()));
  const bool textured = Texture && !Texture->IsEmpty();
  context.SetShaderVariable("Modulation", Scalar(textured ? 2 : 0));
  context.SetShaderTexture("texture0", Texture, 0);
}

bool TLightMaterial::IsOpaque() const {
  return !Texture || Texture->IsEmpty() || Texture->IsOpaque();
}

// --- TTextureMaterial --------------------------------------------------------------------

TTextureMaterial::TTextureMaterial()
    : FVertexProgram(Program("texture.fvs", TShaderKind::Vertex)),
      FPixelProgram(Program("texture.fps", TShaderKind::Pixel)),
      FPixelFlipProgram(Program("texture_flip.fps", TShaderKind::Pixel)) {}

void TTextureMaterial::DoApply(TContext3D& context) {
  context.SetShaders(FVertexProgram,
                     NeedsFlip(context, Texture) ? FPixelFlipProgram : FPixelProgram);
  context.SetShaderTexture("texture0", Texture, 0);
  context.SetShaderVariable("Opacity", Scalar(context.CurrentOpacity()));
}

// --- TColorMaterial ----------------------------------------------------------------------

TColorMaterial::TColorMaterial()
    : FVertexProgram(Program("color.fvs", TShaderKind::Vertex)),
      FPixelProgram(Program("color.fps", TShaderKind::Pixel)) {}

void TColorMaterial::DoApply(TContext3D& context) {
  context.SetShaders(FVertexProgram, FPixelProgram);
  context.SetShaderVariable("MaterialColor", ColorToVector(Color));
  context.SetShaderVariable("Opacity", Scalar(context.CurrentOpacity()));
}

// --- The draw protocol -------------------------------------------------------------------

void DrawWithMaterial(TContext3D& context, float opacity, IMaterial* material,
                      TColorMaterial& defaultMaterial, const std::function<void()>& draw) {
  context.SetCurrentOpacity(opacity);
  if (!material) {
    defaultMaterial.Color = WithOpacity(claRed, opacity);
    material = &defaultMaterial;
  }
  material->Apply(context);

  const TMatrix3D& model = context.CurrentMatrix();
  if (auto name = material->MatrixVariable(TMaterialMatrix::ModelViewProjection); !name.empty()) {
    context.SetShaderVariable(name, context.CurrentModelViewProjectionMatrix());
  }
  // Lighting happens in world coordinates: the model matrix alone, no camera.
  if (auto name = material->MatrixVariable(TMaterialMatrix::ModelView); !name.empty()) {
    context.SetShaderVariable(name, model);
  }
  if (auto name = material->MatrixVariable(TMaterialMatrix::ModelViewInverseTranspose);
      !name.empty()) {
    context.SetShaderVariable(name, model.Inverse().Transpose());
  }
  if (draw) draw();
  material->Reset(context);
}

bool TTextureMaterial::IsOpaque() const {
  return Texture && !Texture->IsEmpty() && Texture->IsOpaque();
}

}  // namespace rt3d
