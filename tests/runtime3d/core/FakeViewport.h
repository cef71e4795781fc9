#pragma once
// Test doubles for the 3D runtime: a render context that records what it is asked to do
// instead of drawing, and a viewport that hands it out and counts redraw requests.

#include <algorithm>
#include <vector>

#include "runtime3d/core/Camera.h"
#include "runtime3d/core/Context3D.h"
#include "runtime3d/core/Light.h"
#include "runtime3d/core/ViewportRoot.h"

namespace rt3d::testing {

class RecordingContext : public TContext3D {
 public:
  struct Draw {
    TMatrix3D Matrix;
    const TVertexBuffer* Vertices;
    const TIndexBuffer* Indices;
    float Opacity;
    IMaterial* Material;
  };

  RecordingContext(int width, int height) { SetSize(width, height); }

  void Clear(TAlphaColor, float) override {}
  void SetShaders(TShaderProgram*, TShaderProgram*) override {}
  void SetShaderVariable(std::string_view, const TVector3D&) override {}
  void SetShaderVariable(std::string_view, const TMatrix3D&) override {}
  void SetShaderTexture(std::string_view, TTexture*, int) override {}
  void DrawTriangles(const TVertexBuffer& vertices, const TIndexBuffer& indices, float opacity,
                     IMaterial* material) override {
    draws.push_back({CurrentMatrix(), &vertices, &indices, opacity, material});
  }

  std::vector<Draw> draws;
  std::vector<TRenderState> states;

 protected:
  void DoSetRenderState(const TRenderState& changes) override { states.push_back(changes); }
};

// A viewport whose top-left corner lies at `origin` on the screen.
class FakeViewport : public IViewport3D {
 public:
  explicit FakeViewport(TContext3D* context = nullptr, TPointF origin = {})
      : context(context), origin(origin) {}

  TContext3D* Context() override { return context; }
  TCamera* ActiveCamera() override { return camera; }
  void AddLight(TLight* light) override { lights.push_back(light); }
  void RemoveLight(TLight* light) override {
    const auto it = std::find(lights.begin(), lights.end(), light);
    if (it != lights.end()) lights.erase(it);
  }
  TPointF ScreenToLocal(const TPointF& p) override { return {p.X - origin.X, p.Y - origin.Y}; }
  TPointF LocalToScreen(const TPointF& p) override { return {p.X + origin.X, p.Y + origin.Y}; }
  float SceneScale() override { return context ? context->Scale() : 1.0f; }
  void RequestViewportRedraw() override { ++redraws; }
  void SetCaptured(TControl3D* object) override { captured = object; }

  TContext3D* context;
  TPointF origin;
  TCamera* camera = nullptr;
  std::vector<TLight*> lights;
  TControl3D* captured = nullptr;
  int redraws = 0;
};

}  // namespace rt3d::testing
