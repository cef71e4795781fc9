#include "runtime3d/render/SceneRenderer.h"

#include <algorithm>

#include <QScopeGuard>

#include "runtime3d/core/Camera.h"
#include "runtime3d/core/FramePlan.h"
#include "runtime3d/core/Light.h"
#include "runtime3d/core/ViewportRoot.h"
#include "runtime3d/render/FrameLooks.h"
#include "runtime3d/render/GLContext.h"

namespace rt3d {

TSceneRenderer::TSceneRenderer(TGLContext& device, const TViewportRoot& root)
    : FDevice(device), FRoot(root) {}

TSceneRenderer::~TSceneRenderer() = default;

TGLRenderTarget* TSceneRenderer::FrameTarget(QSize size, TMultisample multisample, bool& made) {
  made = false;
  if (size.isEmpty() || !FDevice.DeviceReady()) {
    FTarget.reset();
    return nullptr;
  }
  if (!FTarget || FTarget->Size() != size || FTargetMultisample != multisample) {
    FTarget.reset();
    FTarget = std::make_unique<TGLRenderTarget>(*FDevice.Functions(), size, multisample);
    FTargetMultisample = multisample;
    made = true;
  }
  return FTarget->IsValid() ? FTarget.get() : nullptr;
}

void TSceneRenderer::ReleaseDevice() {
  FTarget.reset();
  FSkyLayer.reset();
}

void TSceneRenderer::SetUp(TGLRenderTarget& target, TCamera& camera,
                           const std::vector<TLight*>& lights, float scale) {
  FDevice.SetRenderTarget(&target);
  FDevice.SetScale(scale);
  // Qt draws with this GL context too: nothing the cache remembers can be trusted.
  FDevice.ResetStateCache();
  FDevice.SetCameraMatrix(camera.CameraMatrix());
  FDevice.SetCameraAngleOfView(camera.AngleOfView());
  FDevice.Lights().clear();
  for (TLight* light : lights) FDevice.Lights().push_back(light->LightDescription());
}

TSceneLooks TSceneRenderer::Looks(TAlphaColor fill, float scale) const {
  const TGLRenderTarget& target = *FDevice.RenderTarget();
  return {ViewLook(FDevice.CurrentCameraMatrix(), FDevice.CurrentProjectionMatrix(),
                   target.Size().width(), target.Size().height(), fill, scale, target.Samples(),
                   FDevice.Lights()),
          BodyLooks(FRoot.RenderingList(), FDevice)};
}

std::vector<TPixelRect> TSceneRenderer::Draw(TGLRenderTarget& target,
                                             const std::vector<TPixelRect>& rects, TAlphaColor fill,
                                             const TSceneLooks& looks) {
  TGLContext& context = FDevice;
  const TPixelRect whole{0, 0, target.Size().width(), target.Size().height()};
  if (!context.BeginScene()) return {};
  auto endScene = qScopeGuard([&] { context.EndScene(); });
  // A handler may change the scene while it is drawn; walk a copy of the list. The plan
  // leaves out what cannot show and draws what is hidden by others last (same picture).
  std::vector<TControl3D*> objects;
  for (TControl3D* object : FRoot.RenderingList()) {
    if (object->Visible()) objects.push_back(object);
  }
  const std::vector<TControl3D*> planned =
      PlanFrame(objects, context.CurrentCameraMatrix(), context.CurrentProjectionMatrix());
  TControl3D* sky =
      rects.front() == whole ? nullptr : StillSky(planned, looks.View.Camera, context);
  if (sky) sky = KeepSky(target, *sky, fill, looks) ? sky : nullptr;
  // The sky's samples, colour and depth, as it alone gives them, under every rectangle
  // before any drawing: the copies then wait for nothing. What is drawn before the sky is
  // order-free, so the nearest sample wins whether the sky comes first or last.
  if (sky) {
    for (const TPixelRect& rect : rects) context.CopyRectFrom(*FSkyLayer, rect);
  }
  for (const TPixelRect& rect : rects) {
    if (rect == whole) {
      context.SetRenderState({.Scissor = false});
      context.Clear(fill, 1);
    } else if (sky) {
      context.ClipTo(rect);
    } else {
      // Scissored: the pixels inside come out exactly as in a whole frame.
      context.ClearRect(fill, 1, rect);
    }
    // Every body, even one wholly beside the rectangle: drawing a texture is what brings
    // its full image in place of the small one.
    for (TControl3D* object : planned) {
      if (object->Visible() && (object != sky || rect == whole)) object->RenderInternal(context);
    }
  }
  return rects;
}

bool TSceneRenderer::KeepSky(TGLRenderTarget& target, TControl3D& sky, TAlphaColor fill,
                             const TSceneLooks& looks) {
  const auto look = std::find_if(looks.Bodies.begin(), looks.Bodies.end(),
                                 [&](const TBodyLook& body) { return body.Id == &sky; });
  if (look == looks.Bodies.end()) return false;
  const std::uint64_t key = LayerKey(looks.View, *look);
  const bool fits =
      FSkyLayer && FSkyLayer->Size() == target.Size() && FSkyLayer->Samples() == target.Samples();
  if (fits && key == FSkyKey) return true;
  if (!fits) {
    FSkyLayer.reset();
    FSkyLayer =
        std::make_unique<TGLRenderTarget>(*FDevice.Functions(), target.Size(), FTargetMultisample);
    if (!FSkyLayer->IsValid() || FSkyLayer->Samples() != target.Samples()) {
      FSkyLayer.reset();
      return false;
    }
  }
  FDevice.SwitchTarget(*FSkyLayer);
  FDevice.SetRenderState({.Scissor = false});
  FDevice.Clear(fill, 1);
  sky.RenderInternal(FDevice);
  FDevice.SwitchTarget(target);
  FSkyKey = key;
  return true;
}

}  // namespace rt3d
