#pragma once
// The render context of a viewport: camera state, projection and picking ray, the light
// records of the frame, the render states the device has. The device behind it (GL) derives from
// this class and supplies the drawing operations.

#include <string_view>
#include <vector>

#include "runtime3d/core/Light.h"
#include "runtime3d/core/RenderState.h"
#include "runtime3d/core/Types.h"
#include "runtime3d/math/Math3D.h"

namespace rt3d {

class TVertexBuffer;
class TIndexBuffer;
class TTexture;
class IMaterial;
class TShaderProgram;

// Which matrix a material wants for each of its matrix variables.
enum class TMaterialMatrix { ModelViewProjection, ModelView, ModelViewInverseTranspose };

// What the context needs of a material; the material library implements it.
class IMaterial {
 public:
  virtual ~IMaterial() = default;
  virtual void Apply(TContext3D& context) = 0;
  virtual void Reset(TContext3D& context) = 0;
  // The shader variable receiving a matrix, or empty when the material has none.
  virtual std::string_view MatrixVariable(TMaterialMatrix which) const = 0;
  // True when every pixel it gives has alpha 1 at opacity 1, so that blending leaves
  // nothing of what was behind. False when it cannot tell.
  virtual bool IsOpaque() const { return false; }
};

class TContext3D {
 public:
  static constexpr int MaxLightCount = 8;

  TContext3D();
  virtual ~TContext3D();
  TContext3D(const TContext3D&) = delete;
  TContext3D& operator=(const TContext3D&) = delete;

  // --- Camera state and projection -----------------------------------------------------
  void SetCameraMatrix(const TMatrix3D& m);
  void SetCameraAngleOfView(float angle);
  const TMatrix3D& CurrentCameraMatrix() const { return FCameraMatrix; }
  const TMatrix3D& CurrentCameraInvMatrix() const { return FCameraInvMatrix; }
  float CurrentAngleOfView() const { return FAngleOfView; }
  int Width() const { return FWidth; }
  int Height() const { return FHeight; }
  void SetSize(int width, int height);
  // Physical pixels per logical pixel of the render target (1 without a texture).
  float Scale() const { return FScale; }
  void SetScale(float scale) { FScale = scale; }
  TPointF CenterOffset() const { return FCenterOffset; }
  void SetCenterOffset(const TPointF& offset);
  void SetRenderToMatrix(const TMatrix3D& m);
  const TMatrix3D& CurrentProjectionMatrix();
  const TMatrix3D& CurrentProjectionInvMatrix();
  // Model x camera x projection.
  TMatrix3D CurrentModelViewProjectionMatrix();
  // The world ray through a point of the viewport in logical pixels.
  void Pick(float x, float y, TProjection projection, TVector3D& rayPos, TVector3D& rayDir);

  // --- Per-object state ------------------------------------------------------------------
  void SetMatrix(const TMatrix3D& m) { FCurrentMatrix = m; }
  const TMatrix3D& CurrentMatrix() const { return FCurrentMatrix; }
  float CurrentOpacity() const { return FCurrentOpacity; }
  void SetCurrentOpacity(float opacity) { FCurrentOpacity = opacity; }

  std::vector<TLightDescription>& Lights() { return FLights; }

  // Sends to the device what of `state` is not already in effect there.
  void SetRenderState(const TRenderState& state);
  // Forgets what the device has (something else drew with it): every state is sent again.
  void ResetStateCache() { FRenderState = {}; }

  // --- Frame and drawing (the device) ---------------------------------------------------
  // Marks the projection stale and begins a frame; false when nothing can be drawn.
  bool BeginScene();
  virtual void EndScene() {}
  virtual void Clear(TAlphaColor color, float depth) = 0;
  virtual void SetShaders(TShaderProgram* vertexShader, TShaderProgram* pixelShader) = 0;
  virtual void SetShaderVariable(std::string_view name, const TVector3D& value) = 0;
  virtual void SetShaderVariable(std::string_view name, const TMatrix3D& value) = 0;
  virtual void SetShaderTexture(std::string_view name, TTexture* texture, int unit) = 0;
  virtual void DrawTriangles(const TVertexBuffer& vertices, const TIndexBuffer& indices,
                             float opacity, IMaterial* material) = 0;
  // True when render-target textures come out upside down on this device.
  virtual bool RenderTargetFlipped() const { return false; }

 protected:
  virtual bool DoBeginScene() { return true; }
  // The fields `changes` sets, each different from what the device had.
  virtual void DoSetRenderState(const TRenderState& changes) = 0;

 private:
  void RecalcProjection();

  TMatrix3D FCameraMatrix;
  TMatrix3D FCameraInvMatrix;
  float FAngleOfView = 45;
  int FWidth = 0;
  int FHeight = 0;
  float FScale = 1;
  TPointF FCenterOffset;
  TMatrix3D FRenderToMatrix;
  TMatrix3D FProjection;
  TMatrix3D FProjectionInv;
  bool FProjectionStale = true;
  TMatrix3D FCurrentMatrix;
  float FCurrentOpacity = 1;
  std::vector<TLightDescription> FLights;
  TRenderState FRenderState;
};

}  // namespace rt3d
