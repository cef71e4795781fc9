#pragma once
// TViewport3D: the widget that shows a 3D scene, with its 2D child widgets painted over it.
//
// The scene renders with the viewport's own GL context into a multisampled off-screen
// target (TSceneRenderer). A change of the scene only asks for a frame; the view's frame
// loop (TFrameLoop) answers with one frame, DrawFrame, the one place a frame is drawn:
// animations brought up to date, whole or only what changed decided, drawn, handed over to
// the presentation and shown. A frame the scene asked for draws only what changed
// (core/FrameDamage.h) when the presentation keeps the last frame's pixels; above a share of
// the view where that stops paying it draws whole. How frames reach the screen is the
// presentation's (FramePresentation.h), chosen when the view is made: read back and painted
// as the widget's face (a software rasterizer), or composed by the window system from a GL
// child under the other children (a GPU). Painting only shows what was drawn.
//
// Pointer input is routed by TPointerRouting (input/PointerRouting.h): the view hands it
// its Qt pointer events and offers its handlers (TViewPointerEvents).

#include <algorithm>
#include <memory>
#include <vector>

#include <QImage>
#include <QMenu>
#include <QPointer>
#include <QWidget>

#include "runtime3d/core/FrameDamage.h"
#include "runtime3d/core/Types.h"
#include "runtime3d/core/ViewportRoot.h"
#include "runtime3d/input/PointerRouting.h"
#include "runtime3d/render/FrameLoop.h"
#include "runtime3d/render/FramePresentation.h"
#include "runtime3d/render/GLRenderTarget.h"
#include "runtime3d/render/GLTextureStreamer.h"
#include "runtime3d/render/Presentation.h"
#include "runtime3d/render/SceneRenderer.h"

namespace rt3d {

class TCamera;
class TDeviceSurface;
class TDummy;
class TGLContext;
class TLight;

class TViewport3D : public QWidget, public IViewport3D, public TViewPointerEvents {
  Q_OBJECT

 public:
  explicit TViewport3D(QWidget* parent = nullptr);
  ~TViewport3D() override;

  // The parent of the 3D objects placed directly in the view (owned).
  TViewportRoot* Root() const { return FRoot.get(); }

  // --- Properties --------------------------------------------------------------------------
  // Not owned; cleared when the camera is destroyed.
  TCamera* Camera() const { return FCamera; }
  void SetCamera(TCamera* camera);
  // The view's own camera, 20 units out and turned 20 degrees down, shows the scene until
  // the view is told to use Camera() instead.
  bool UsingDefaultCamera() const { return FUsingDefaultCamera; }
  void SetUsingDefaultCamera(bool value);
  TAlphaColor Color() const { return FFill; }
  void SetColor(TAlphaColor value);
  TMultisample Multisample() const { return FMultisample; }
  void SetMultisample(TMultisample value);
  bool AutoCapture() const { return FPointer->AutoCapture(); }
  void SetAutoCapture(bool value) { FPointer->SetAutoCapture(value); }
  // Opened by a right press on the view itself (not on a body). Not owned.
  QMenu* PopupMenu() const { return FPointer->PopupMenu(); }
  void SetPopupMenu(QMenu* menu) { FPointer->SetPopupMenu(menu); }

  TCamera* DefaultCamera() const { return FDefaultCamera; }
  const std::vector<TLight*>& Lights() const { return FLights; }

  // The sample count of the current render target (0 before the first frame).
  int RenderTargetSamples() const;
  // The pixel size of the render target for the current size and scale.
  QSize RenderTargetSize() const;
  // How frames reach the screen, chosen when the view is made; a composition the window's
  // GL cannot do falls back to the copy.
  TPresentation Presentation() const { return FPresentation->Kind(); }
  // Empty while the device works; the reason when it could not be created.
  QString DeviceError() const;
  // Some texture drawn in the last frame still shows its small version (a preview) while its
  // full image is being decoded or uploaded; the view draws again by itself as they come.
  bool TexturesInProgress() const;
  // What the view's device holds of a texture (for tests and measurements).
  TTextureOnDevice TextureOnDevice(const TTexture& texture) const;

  // A fresh off-screen render of the scene at device-pixel size, with the visible child
  // widgets drawn over it. Premultiplied ARGB32 with the display scale as pixel ratio; a
  // null image when nothing can be rendered. Not to be called from inside a frame.
  QImage MakeScreenshot();

  // Draws a new frame now and gives it (premultiplied ARGB32, top row first, the display
  // scale as pixel ratio); black when there is no device.
  QImage grabFramebuffer();
  // The scene changed in a way the view cannot see: the next frame is drawn whole.
  void Invalidate();
  // Whether a frame is owed or being drawn (TFrameLoop).
  TFrameState FrameState() const { return FLoop->State(); }
  // The clock the view's frames are paced by (not owned; null: the real time).
  void SetFrameClock(IFrameClock* clock) { FLoop->SetClock(clock); }
  // Whether frames the scene asks for draw only what changed (see above); on unless the
  // environment says ORVANTH_FRAMES=full.
  bool LimitsFrames() const { return FLimitFrames; }
  void SetLimitsFrames(bool value);
  // The rectangles the last frame drew (device pixels, rows from the top): the whole view
  // for a whole frame, none when nothing had changed.
  const std::vector<TPixelRect>& LastFrameRects() const { return FLastRects; }
  // The share of the view above which a frame is drawn whole. Measured on the software
  // renderer (bench_frame's limit-share sweep), limiting still pays at 91 % of the view
  // (1.24 x the frames per second) and nothing at the whole view.
  static constexpr double kLimitShare = 0.95;
  double LimitShare() const { return FLimitShare; }
  // Clamped to 0..1; 1 limits every frame that can be.
  void SetLimitShare(double value) { FLimitShare = std::clamp(value, 0.0, 1.0); }
  // Makes the view's GL context and device now rather than at the first frame, so that
  // start-up can say at once when there is none.
  TDeviceResult PrepareDevice();
  // Makes the view's GL context current (creating it the first time); false when it
  // cannot be made.
  bool makeCurrent();
  void doneCurrent();

  // The object under a screen point (global logical coordinates).
  TViewportHit ObjectAtPoint(const TPointF& screenPoint) {
    return FPointer->ObjectAtPoint(screenPoint);
  }

  // --- IViewport3D -------------------------------------------------------------------------
  TContext3D* Context() override;
  TCamera* ActiveCamera() override;
  void AddLight(TLight* light) override;
  void RemoveLight(TLight* light) override;
  TPointF ScreenToLocal(const TPointF& screenPoint) override;
  TPointF LocalToScreen(const TPointF& localPoint) override;
  float SceneScale() override;
  // Asks the frame loop for a frame.
  void RequestViewportRedraw() override;

  // --- Pointer (the handlers are TViewPointerEvents') ------------------------------------
  // The 3D object the pointer is over (null when none).
  TControl3D* HoveredObject() const { return FPointer->HoveredObject(); }
  // True while a press on the view itself holds the pointer.
  bool IsCaptured() const { return FPointer->IsCaptured(); }

 signals:
  // A frame starts being drawn: the scene's state it shows, animations brought up to date,
  // is the state now.
  void FrameStarted();
  // A new frame was painted and handed to the window system.
  void FramePresented();

 protected:
  void paintEvent(QPaintEvent* event) override;

  void mousePressEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void leaveEvent(QEvent* event) override;
  bool event(QEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  class TWatcher;
  friend class TWatcher;

  void ObjectFreed(TTreeObject* gone);
  void ReleaseDevice();
  bool EnsureDevice();
  // The frame: into the presentation, only what changed since the last one when frames are
  // limited; with keepImage its picture is kept as an image too.
  void DrawFrame(bool keepImage = false);
  // Whole, or only the rectangles that changed (none when nothing did); looks are this
  // frame's when it is limited.
  std::vector<TPixelRect> FrameRects(QSize size, TSceneLooks& looks);
  void ShowBlack(QSize size, qreal scale);
  // Takes the animation tick the busy event loop still owes, for the frame about to be drawn
  // (their changes go into that frame, not into another).
  void CatchUpAnimations();
  // The window cannot compose the GL picture: frames are copied from now on.
  void PresentByCopy();

  std::unique_ptr<TDeviceSurface> FSurface;
  std::unique_ptr<TGLContext> FContext;
  std::unique_ptr<TWatcher> FWatcher;
  std::unique_ptr<TViewportRoot> FRoot;
  std::unique_ptr<TSceneRenderer> FRenderer;
  TPointerRouting* FPointer = nullptr;  // a child object, gone before the scene
  std::unique_ptr<TFrameLoop> FLoop;
  std::unique_ptr<IFramePresentation> FPresentation;
  std::vector<TLight*> FLights;

  TCamera* FCamera = nullptr;
  bool FUsingDefaultCamera = true;
  TAlphaColor FFill = claWhite;
  TMultisample FMultisample = TMultisample::FourSamples;
  TDummy* FDefaultCameraTurnZ = nullptr;
  TDummy* FDefaultCameraTurnX = nullptr;
  TCamera* FDefaultCamera = nullptr;

  bool FLimitFrames = true;
  TFrameDamage FDamage;
  std::vector<TPixelRect> FLastRects;
  double FLimitShare = kLimitShare;
};

}  // namespace rt3d
