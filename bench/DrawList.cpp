#include "bench/DrawList.h"

#include "runtime3d/core/FramePlan.h"

#include "runtime3d/core/Camera.h"
#include "runtime3d/material/Material.h"
#include "runtime3d/material/MaterialSource.h"
#include "runtime3d/material/ShaderProgram.h"
#include "runtime3d/material/Texture.h"
#include "runtime3d/mesh/Sphere.h"
#include "runtime3d/render/Viewport3D.h"
#include "scene/SceneDefinition.h"

namespace bench {

namespace {

class TRecorder : public rt3d::TContext3D {
 public:
  std::vector<TRecordedDraw> Draws;
  std::map<const rt3d::TTexture*, orvanth::assets::Image> Images;

  void Clear(rt3d::TAlphaColor, float) override {}
  void SetShaders(rt3d::TShaderProgram* vertex, rt3d::TShaderProgram* pixel) override {
    if (!vertex || !pixel) return;
    FPending = {};
    FPending.VertexProgram = vertex->Name();
    FPending.PixelProgram = pixel->Name();
  }
  void SetShaderVariable(std::string_view name, const rt3d::TVector3D& value) override {
    FPending.Vectors.emplace_back(rt3d::UniformName(name), value);
  }
  void SetShaderVariable(std::string_view name, const rt3d::TMatrix3D& value) override {
    FPending.Matrices.emplace_back(rt3d::UniformName(name), value);
  }
  void SetShaderTexture(std::string_view, rt3d::TTexture* texture, int) override {
    if (auto it = Images.find(texture); it != Images.end()) FPending.Texture = it->second;
  }
  void DrawTriangles(const rt3d::TVertexBuffer& vertices, const rt3d::TIndexBuffer& indices,
                     float opacity, rt3d::IMaterial* material) override {
    rt3d::TColorMaterial fallback;
    rt3d::DrawWithMaterial(*this, opacity, material, fallback, [&] {
      FPending.Vertices = &vertices;
      FPending.Indices = &indices;
      FPending.Cull = FCull;
      Draws.push_back(FPending);
    });
  }

 protected:
  void DoSetRenderState(const rt3d::TRenderState& changes) override {
    if (changes.Faces) FCull = *changes.Faces != rt3d::TFaceCulling::ShowAll;
  }

 private:
  TRecordedDraw FPending;
  bool FCull = false;
};

}  // namespace

std::vector<TRecordedDraw> RecordFrame(rt3d::TViewport3D& view,
                                       const std::vector<rt3d::TSphere*>& spheres, bool planned) {
  TRecorder recorder;
  for (const orvanth::TMaterialDefinition& d : orvanth::kMaterials) {
    for (rt3d::TSphere* sphere : spheres) {
      rt3d::TMaterialSource* source = sphere->MaterialSource();
      if (!source || source->Name() != d.Name) continue;
      rt3d::TTextureBitmap* bitmap = nullptr;
      if (auto* lit = dynamic_cast<rt3d::TLightMaterialSource*>(source)) bitmap = &lit->Texture();
      if (auto* unlit = dynamic_cast<rt3d::TTextureMaterialSource*>(source)) {
        bitmap = &unlit->Texture();
      }
      if (bitmap && bitmap->Texture()) recorder.Images[bitmap->Texture()] = d.Texture;
    }
  }
  const QSize size = view.RenderTargetSize();
  recorder.SetSize(size.width(), size.height());
  recorder.SetScale(view.SceneScale());
  recorder.BeginScene();
  rt3d::TCamera* camera = view.ActiveCamera();
  recorder.SetCameraMatrix(camera->CameraMatrix());
  recorder.SetCameraAngleOfView(camera->AngleOfView());
  for (rt3d::TLight* light : view.Lights()) recorder.Lights().push_back(light->LightDescription());
  std::vector<rt3d::TControl3D*> objects;
  for (rt3d::TControl3D* object : view.Root()->RenderingList()) {
    if (object->Visible()) objects.push_back(object);
  }
  if (planned) {
    objects = rt3d::PlanFrame(objects, recorder.CurrentCameraMatrix(),
                              recorder.CurrentProjectionMatrix());
  }
  for (rt3d::TControl3D* object : objects) object->RenderInternal(recorder);
  return std::move(recorder.Draws);
}

}  // namespace bench
