#pragma once
// Draws a view's scene with the view's device: into the frame's own multisampled target, into
// a screenshot's, and the still sky alone into a kept picture of it, whose samples, colour
// and depth, stand in for a clear under the rectangles a frame redraws.

#include <cstdint>
#include <memory>
#include <vector>

#include <QSize>

#include "runtime3d/core/FrameDamage.h"
#include "runtime3d/core/Types.h"
#include "runtime3d/render/GLRenderTarget.h"

namespace rt3d {

class TCamera;
class TControl3D;
class TGLContext;
class TLight;
class TViewportRoot;

// What a frame's picture depends on (FrameLooks.h).
struct TSceneLooks {
  TViewLook View;
  std::vector<TBodyLook> Bodies;
};

class TSceneRenderer {
 public:
  TSceneRenderer(TGLContext& device, const TViewportRoot& root);
  ~TSceneRenderer();

  // The frame's target at this size and sample count, made anew when they change (made then
  // says so: it holds nothing of the last frame); null when none can be made. Device
  // context current, as for everything below.
  TGLRenderTarget* FrameTarget(QSize size, TMultisample multisample, bool& made);
  TGLRenderTarget* Target() const { return FTarget.get(); }
  // The targets go with the device.
  void ReleaseDevice();

  // Sets the device up to draw into target, seen by camera in lights.
  void SetUp(TGLRenderTarget& target, TCamera& camera, const std::vector<TLight*>& lights,
             float scale);
  // What the picture set up depends on, the view's colour being fill.
  TSceneLooks Looks(TAlphaColor fill, float scale) const;
  // Draws rects of the scene set up, each cleared to fill first; looks, of this frame, are
  // needed for any but the whole view (the still sky). Gives the rectangles drawn: none
  // when the device cannot begin a scene.
  std::vector<TPixelRect> Draw(TGLRenderTarget& target, const std::vector<TPixelRect>& rects,
                               TAlphaColor fill, const TSceneLooks& looks);

 private:
  // Makes sure FSkyLayer holds sky alone as this frame shows it; false when it cannot.
  bool KeepSky(TGLRenderTarget& target, TControl3D& sky, TAlphaColor fill,
               const TSceneLooks& looks);

  TGLContext& FDevice;
  const TViewportRoot& FRoot;
  std::unique_ptr<TGLRenderTarget> FTarget;
  TMultisample FTargetMultisample = TMultisample::FourSamples;
  // The still sky alone, kept while nothing it shows changes (see FrameLooks.h).
  std::unique_ptr<TGLRenderTarget> FSkyLayer;
  std::uint64_t FSkyKey = 0;
};

}  // namespace rt3d
