#include "runtime3d/render/Viewport3D.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <exception>

#include <QCoreApplication>
#include <QMenu>
#include <QMouseEvent>
#include <QOpenGLContext>
#include <QOpenGLFunctions_3_3_Core>
#include <QPaintEvent>
#include <QPainter>
#include <QScopeGuard>
#include <QWheelEvent>

#include "runtime3d/animation/AniThread.h"
#include "runtime3d/core/Camera.h"
#include "runtime3d/core/FramePlan.h"
#include "runtime3d/core/Light.h"
#include "runtime3d/render/ComposePresenter.h"
#include "runtime3d/render/DeviceSurface.h"
#include "runtime3d/render/FrameLooks.h"
#include "runtime3d/render/FramePacing.h"
#include "runtime3d/render/GLContext.h"
#include "runtime3d/render/GLSharedPicture.h"

namespace rt3d {

// Tells the viewport when its camera goes away.
class TViewport3D::TWatcher : public TTreeObject {
 public:
  explicit TWatcher(TViewport3D& viewport) : FViewport(viewport) {}

 protected:
  void FreeNotification(TTreeObject* gone) override { FViewport.ObjectFreed(gone); }

 private:
  TViewport3D& FViewport;
};

namespace {

void RaiseLater(std::exception_ptr failure) {
  QMetaObject::invokeMethod(
      QCoreApplication::instance(), [failure] { std::rethrow_exception(failure); },
      Qt::QueuedConnection);
}

// Calls call from the event loop, once however often it is asked for before then; pending
// (the receiver's own) says that it is asked for.
template <class TCall>
void PostOnce(QObject* receiver, bool& pending, TCall call) {
  if (pending) return;
  pending = true;
  QMetaObject::invokeMethod(
      receiver,
      [&pending, call] {
        pending = false;
        call();
      },
      Qt::QueuedConnection);
}

}  // namespace

TViewport3D::TViewport3D(QWidget* parent)
    : QWidget(parent),
      FSurface(std::make_unique<TDeviceSurface>()),
      FContext(std::make_unique<TGLContext>()),
      FWatcher(std::make_unique<TWatcher>(*this)),
      FRoot(std::make_unique<TViewportRoot>(this)),
      FPointer(new TPointerRouting(*this, *FRoot, *this)),
      FPacer(std::make_unique<TFramePacer>(
          *this, *FContext, [this] { FrameDue(); },
          [this](const std::function<void()>& work) {
            if (FDrawing || !makeCurrent()) return false;
            work();
            FContext->ResetStateCache();
            doneCurrent();
            return true;
          })) {
  FLimitFrames = qEnvironmentVariable("ORVANTH_FRAMES") != QLatin1String("full");
  // Every frame covers the whole view: nothing to fill behind it.
  setAttribute(Qt::WA_OpaquePaintEvent);
  // Pressing on the view leaves the keyboard focus where it was.
  setFocusPolicy(Qt::NoFocus);
  // Moves without a button pressed drive the hover state of bodies.
  setMouseTracking(true);

  // The default camera on its rig: ordinary children of the root that draw nothing and are never
  // hit.
  FDefaultCameraTurnZ = new TDummy("DefaultCameraTurnZ");
  FDefaultCameraTurnX = new TDummy("DefaultCameraTurnX");
  FDefaultCamera = new TCamera("DefaultCamera");
  FRoot->AddObject(FDefaultCameraTurnZ);
  FDefaultCameraTurnZ->AddObject(FDefaultCameraTurnX);
  FDefaultCameraTurnX->AddObject(FDefaultCamera);
  FDefaultCameraTurnX->RotationAngle().SetX(-20);
  FDefaultCamera->Position().SetPoint({0, 0, -20});
  // Made before the window is: a GL child decides how the whole window is drawn.
  if (ViewPresentation() == TPresentation::Compose) StartComposing();
}

TViewport3D::~TViewport3D() {
  FDestroying = true;
  // The presenter gives its GL objects back while the picture they show still exists.
  delete FPresenter;
  FPresenter = nullptr;
  if (FCamera) FCamera->RemoveFreeNotify(FWatcher.get());
  FCamera = nullptr;
  // The pointer's routing lets go of the hovered body and of any press held.
  delete FPointer;
  FPointer = nullptr;
  // The scene goes first, while lights can still leave this viewport.
  FRoot.reset();
  // The device's GL objects go while their context still exists.
  if (FContext->DeviceReady() && makeCurrent()) {
    ReleaseDevice();
    doneCurrent();
  }
}

// --- Properties --------------------------------------------------------------------------------

void TViewport3D::SetCamera(TCamera* camera) {
  if (FCamera == camera) return;
  if (FCamera) FCamera->RemoveFreeNotify(FWatcher.get());
  FCamera = camera;
  if (FCamera) FCamera->AddFreeNotify(FWatcher.get());
  if (!FUsingDefaultCamera) Invalidate();
}

void TViewport3D::SetUsingDefaultCamera(bool value) {
  if (FUsingDefaultCamera == value) return;
  FUsingDefaultCamera = value;
  Invalidate();
}

void TViewport3D::SetColor(TAlphaColor value) {
  if (FFill == value) return;
  FFill = value;
  Invalidate();
}

void TViewport3D::SetMultisample(TMultisample value) {
  if (FMultisample == value) return;
  FMultisample = value;
  // The target is made again with the new count at the next frame.
  Invalidate();
}

int TViewport3D::RenderTargetSamples() const {
  return FTarget ? FTarget->Samples() : 0;
}

QSize TViewport3D::RenderTargetSize() const {
  return DevicePixelSize(QSizeF(size()), devicePixelRatioF());
}

QString TViewport3D::DeviceError() const {
  return FSurface->Failed() ? CannotCreateDeviceMessage() : FContext->DeviceError();
}

bool TViewport3D::TexturesInProgress() const {
  return FContext->TexturesInProgress();
}

TTextureOnDevice TViewport3D::TextureOnDevice(const TTexture& texture) const {
  return FContext->TextureOnDevice(texture);
}

void TViewport3D::ObjectFreed(TTreeObject* gone) {
  if (gone == FCamera) {
    FCamera = nullptr;
    if (!FDestroying) Invalidate();
  }
}

// --- IViewport3D -------------------------------------------------------------------------------

TContext3D* TViewport3D::Context() {
  // No size, no render target: the scene cannot be drawn or picked yet.
  if (width() <= 0 || height() <= 0) return nullptr;
  if (!FDrawing) {
    const QSize size = RenderTargetSize();
    FContext->SetSize(size.width(), size.height());
  }
  FContext->SetScale(SceneScale());
  return FContext.get();
}

TCamera* TViewport3D::ActiveCamera() {
  return FCamera && !FUsingDefaultCamera ? FCamera : FDefaultCamera;
}

void TViewport3D::AddLight(TLight* light) {
  FLights.push_back(light);
}

void TViewport3D::RemoveLight(TLight* light) {
  auto it = std::find(FLights.begin(), FLights.end(), light);
  if (it != FLights.end()) FLights.erase(it);
}

TPointF TViewport3D::ScreenToLocal(const TPointF& screenPoint) {
  const QPointF local = mapFromGlobal(QPointF(screenPoint.X, screenPoint.Y));
  return {float(local.x()), float(local.y())};
}

TPointF TViewport3D::LocalToScreen(const TPointF& localPoint) {
  const QPointF screen = mapToGlobal(QPointF(localPoint.X, localPoint.Y));
  return {float(screen.x()), float(screen.y())};
}

float TViewport3D::SceneScale() {
  return float(devicePixelRatioF());
}

// --- Device and frames -------------------------------------------------------------------------

bool TViewport3D::EnsureDevice() {
  if (FContext->DeviceReady()) return true;
  if (!FContext->DeviceError().isEmpty()) return false;
  const TDeviceResult result = FContext->InitializeDevice();
  if (!result) qWarning("%s", qPrintable(result.Message()));
  return result.Ok();
}

void TViewport3D::ReleaseDevice() {
  if (!FContext->DeviceReady()) return;
  FTarget.reset();
  if (FPicture) FPicture->ReleaseDevice(*FContext->Functions());
  FSkyLayer.reset();
  FContext->ReleaseDevice();
}

bool TViewport3D::EnsureRenderTarget() {
  const QSize size = RenderTargetSize();
  if (size.isEmpty() || !FContext->DeviceReady()) {
    FTarget.reset();
    return false;
  }
  if (!FTarget || FTarget->Size() != size || FTargetMultisample != FMultisample) {
    FTarget.reset();
    FTarget = std::make_unique<TGLRenderTarget>(*FContext->Functions(), size, FMultisample);
    FTargetMultisample = FMultisample;
    // A new target holds nothing of the last frame.
    FDamage.Reset();
  }
  return FTarget->IsValid();
}

std::vector<TPixelRect> TViewport3D::DrawScene(TGLRenderTarget& target, TFrameDamage* damage) {
  TGLContext& context = *FContext;
  context.SetRenderTarget(&target);
  context.SetScale(SceneScale());
  // Qt draws with this GL context too: nothing the cache remembers can be trusted.
  context.ResetStateCache();
  TCamera* camera = ActiveCamera();
  context.SetCameraMatrix(camera->CameraMatrix());
  context.SetCameraAngleOfView(camera->AngleOfView());
  context.Lights().clear();
  for (TLight* light : FLights) context.Lights().push_back(light->LightDescription());
  const TPixelRect whole{0, 0, target.Size().width(), target.Size().height()};
  std::vector<TPixelRect> rects{whole};
  TViewLook view;
  std::vector<TBodyLook> bodies;
  if (damage) {
    view = ViewLook(context.CurrentCameraMatrix(), context.CurrentProjectionMatrix(), whole.Right,
                    whole.Bottom, FFill, SceneScale(), target.Samples(), context.Lights());
    bodies = BodyLooks(FRoot->RenderingList(), context);
    rects = damage->Next(view, bodies);
    long long area = 0;
    for (const TPixelRect& rect : rects) area += rect.Area();
    if (area > FLimitShare * double(whole.Area())) rects = {whole};
    // Nothing changed: no drawing at all, and the textures drawn stay the last frame's.
    if (rects.empty()) return rects;
  }
  if (!context.BeginScene()) return {};
  auto endScene = qScopeGuard([&] { context.EndScene(); });
  // A handler may change the scene while it is drawn; walk a copy of the list. The plan
  // leaves out what cannot show and draws what is hidden by others last (same picture).
  std::vector<TControl3D*> objects;
  for (TControl3D* object : FRoot->RenderingList()) {
    if (object->Visible()) objects.push_back(object);
  }
  const std::vector<TControl3D*> planned =
      PlanFrame(objects, context.CurrentCameraMatrix(), context.CurrentProjectionMatrix());
  TControl3D* sky = rects.front() == whole ? nullptr : StillSky(planned, view.Camera, context);
  if (sky) sky = KeepSky(target, *sky, view, bodies) ? sky : nullptr;
  // The sky's samples, colour and depth, as it alone gives them, under every rectangle
  // before any drawing: the copies then wait for nothing. What is drawn before the sky is
  // order-free, so the nearest sample wins whether the sky comes first or last.
  if (sky) {
    for (const TPixelRect& rect : rects) context.CopyRectFrom(*FSkyLayer, rect);
  }
  for (const TPixelRect& rect : rects) {
    if (rect == whole) {
      context.SetRenderState({.Scissor = false});
      context.Clear(FFill, 1);
    } else if (sky) {
      context.ClipTo(rect);
    } else {
      // Scissored: the pixels inside come out exactly as in a whole frame.
      context.ClearRect(FFill, 1, rect);
    }
    // Every body, even one wholly beside the rectangle: drawing a texture is what brings
    // its full image in place of the small one.
    for (TControl3D* object : planned) {
      if (object->Visible() && (object != sky || rect == whole)) object->RenderInternal(context);
    }
  }
  return rects;
}

bool TViewport3D::KeepSky(TGLRenderTarget& target, TControl3D& sky, const TViewLook& view,
                          const std::vector<TBodyLook>& bodies) {
  const auto look = std::find_if(bodies.begin(), bodies.end(),
                                 [&](const TBodyLook& body) { return body.Id == &sky; });
  if (look == bodies.end()) return false;
  const std::uint64_t key = LayerKey(view, *look);
  if (FSkyLayer && FSkyLayer->Size() == target.Size() && FSkyLayer->Samples() == target.Samples() &&
      key == FSkyKey) {
    return true;
  }
  if (!FSkyLayer || FSkyLayer->Size() != target.Size() ||
      FSkyLayer->Samples() != target.Samples()) {
    FSkyLayer.reset();
    FSkyLayer = std::make_unique<TGLRenderTarget>(*FContext->Functions(), target.Size(),
                                                  FTargetMultisample);
    if (!FSkyLayer->IsValid() || FSkyLayer->Samples() != target.Samples()) {
      FSkyLayer.reset();
      return false;
    }
  }
  TGLContext& context = *FContext;
  context.SwitchTarget(*FSkyLayer);
  context.SetRenderState({.Scissor = false});
  context.Clear(FFill, 1);
  sky.RenderInternal(context);
  context.SwitchTarget(target);
  FSkyKey = key;
  return true;
}

void TViewport3D::RequestViewportRedraw() {
  if (FCatchingUp) {
    FFrameStale = true;
    return;
  }
  FPacer->RequestFrame();
}

void TViewport3D::Invalidate() {
  FFrameStale = true;
  FDamage.Reset();
  update();
  if (FPresenter) FPresenter->update();
}

void TViewport3D::SetLimitsFrames(bool value) {
  FLimitFrames = value;
  FDamage.Reset();
}

void TViewport3D::FrameDue() {
  if (!DrawsChangesOnly()) {
    // A whole frame: the paint to come draws it, after the rest of this moment's changes.
    FFrameStale = true;
    update();
    return;
  }
  // Drawn from the event loop, not inside the change that asked: the rest of the scene's
  // changes of this moment (the other bodies of an animation tick) come first.
  PostOnce(this, FFrameDuePending, [this] { DrawDueFrame(); });
}

void TViewport3D::DrawDueFrame() {
  if (!DrawsChangesOnly() || FDrawing || FFrameAhead || FFrame.isNull() ||
      FFrame.size() != RenderTargetSize() || !isVisible()) {
    FFrameStale = true;
    update();
    return;
  }
  RenderFrame();
  if (FLastRects.empty()) return;
  FFrameAhead = true;
  update(ChangedRegion());
}

QRegion TViewport3D::ChangedRegion() const {
  // The changed pixels in the widget's coordinates, rounded outwards.
  const qreal scale = devicePixelRatioF();
  QRegion region;
  for (const TPixelRect& r : FLastRects) {
    const int left = int(std::floor(r.Left / scale)), top = int(std::floor(r.Top / scale));
    region += QRect(left, top, int(std::ceil(r.Right / scale)) - left,
                    int(std::ceil(r.Bottom / scale)) - top);
  }
  return region;
}

TDeviceResult TViewport3D::PrepareDevice() {
  if (!makeCurrent()) return TDeviceResult::Failure(CannotCreateDeviceMessage());
  // The caller reports a failure; the view itself says nothing more about it later.
  const bool ready = FContext->DeviceReady() ||
                     (FContext->DeviceError().isEmpty() && FContext->InitializeDevice());
  doneCurrent();
  return ready ? TDeviceResult() : TDeviceResult::Failure(FContext->DeviceError());
}

bool TViewport3D::makeCurrent() {
  return FSurface->MakeCurrent();
}

void TViewport3D::doneCurrent() {
  FSurface->DoneCurrent();
}

void TViewport3D::CatchUpAnimations() {
  TAniThread* clock = TAniThread::Current();
  if (!clock || FCatchingUp) return;
  FCatchingUp = true;
  auto done = qScopeGuard([this] { FCatchingUp = false; });
  try {
    clock->CatchUp();
  } catch (...) {
    // As from the timer's tick: the application's handler sees it from the event loop.
    RaiseLater(std::current_exception());
  }
}

void TViewport3D::RenderFrame(bool keepImage) {
  CatchUpAnimations();
  emit FrameStarted();
  FFrameStale = false;
  FPacer->FrameStarted();
  const QSize size = RenderTargetSize();
  const qreal scale = devicePixelRatioF();
  // Without a device or a size the view shows black rather than an old picture.
  auto black = [&] {
    FFrame = QImage(size.expandedTo(QSize(1, 1)), QImage::Format_ARGB32_Premultiplied);
    FFrame.fill(Qt::black);
    FFrame.setDevicePixelRatio(scale);
    if (FPicture) FPicture->Clear();
    FFrameBlack = true;
    FLastRects = {{0, 0, FFrame.width(), FFrame.height()}};
  };
  if (size.isEmpty() || !makeCurrent()) return black();
  FDrawing = true;
  auto done = qScopeGuard([this] {
    FDrawing = false;
    FContext->ResetStateCache();
    doneCurrent();
  });
  if (!EnsureDevice() || !EnsureRenderTarget()) return black();
  // Only what changed is drawn when the last frame's pixels are all there to keep.
  const bool keep = DrawsChangesOnly() && FFrame.size() == size &&
                    FFrame.format() == QImage::Format_ARGB32_Premultiplied && !FFrameBlack;
  if (!keep) FDamage.Reset();
  FFrameBlack = false;
  FLastRects.clear();
  try {
    FLastRects = DrawScene(*FTarget, DrawsChangesOnly() ? &FDamage : nullptr);
  } catch (...) {
    // Painting must not be unwound by an exception: the failure is raised again from the
    // event loop, where the application's handler sees it. What was drawn is unknown.
    FDamage.Reset();
    FLastRects = {{0, 0, size.width(), size.height()}};
    RaiseLater(std::current_exception());
  }
  // The hand-over: composed on the GPU, or read back for painting (only the changed
  // rectangles when the rest of the last frame is kept).
  if (FPresenter) {
    if (!FPicture->Publish(*FContext->Functions(), *FTarget)) return black();
    if (keepImage && !FTarget->ReadPixelsInto(FFrame)) return black();
  } else {
    const bool whole =
        FLastRects.size() == 1 && FLastRects[0].Area() == qint64(size.width()) * size.height();
    if (!(whole ? FTarget->ReadPixelsInto(FFrame) : FTarget->ReadRectsInto(FFrame, FLastRects))) {
      FDamage.Reset();
      return black();
    }
  }
  FFrame.setDevicePixelRatio(scale);
  FPacer->WatchTextures();
}

void TViewport3D::paintEvent(QPaintEvent* event) {
  // A changed scene, a new size or scale, or a repaint of the whole view (a shown window,
  // an update() of the view) draws a new frame; a repaint behind a child that changed shows
  // the last one again. Qt leaves opaque children out of the region: with one, only a
  // change of the scene draws anew.
  const bool wholeView = QRegion(rect()).subtracted(event->region()).isEmpty();
  if (FPresenter) {
    // The composed picture covers the view; its own paint draws the frame.
    if (wholeView) FFrameStale = true;
    if (FFrameStale) FPresenter->update();
    return;
  }
  if (FFrameAhead) {
    // FrameDue drew it for this paint.
    FFrameAhead = false;
    AnnounceFrame();
  }
  // A frame that fell due while the one drawn ahead still waited for this paint is drawn
  // now: nothing else would ask for it.
  if (!FDrawing &&
      (FFrameStale || FFrame.isNull() || FFrame.size() != RenderTargetSize() || wholeView)) {
    RenderFrame();
    AnnounceFrame();
    // What it changed outside this paint's region reaches the screen with the next paint.
    const QRegion rest = ChangedRegion().subtracted(event->region());
    if (!rest.isEmpty()) update(rest);
  }
  QPainter painter(this);
  painter.setCompositionMode(QPainter::CompositionMode_Source);
  const QSizeF shown = FFrame.deviceIndependentSize();
  if (shown.width() < width() || shown.height() < height()) {
    // A row or column the frame does not cover shows the view's colour, not old pixels.
    const TVector3D c = ColorToVector(FFill);
    painter.fillRect(rect(), QColor::fromRgbF(c.X * c.W, c.Y * c.W, c.Z * c.W, c.W));
  }
  painter.drawImage(QPointF(0, 0), FFrame);
}

void TViewport3D::AnnounceFrame() {
  PostOnce(this, FPresentPending, [this] { emit FramePresented(); });
}

// --- Composed presentation ---------------------------------------------------------------------

void TViewport3D::StartComposing() {
  FPicture = std::make_unique<TGLSharedPicture>();
  FPresenter = new TComposePresenter(
      *this, *FPicture, [this] { ComposeFrame(); }, [this] { StopComposing(); });
}

void TViewport3D::ComposeFrame() {
  // The rule of paintEvent, which marks the frame stale for a paint of the whole view.
  if (FDrawing) return;
  if (FFrameStale || FPicture->Size() != RenderTargetSize()) {
    RenderFrame();
    AnnounceFrame();
  }
}

void TViewport3D::StopComposing() {
  std::fprintf(stderr, "The window cannot show the view's GL picture; presenting by copy.\n");
  // From the event loop, never from the presenter's own paint.
  delete FPresenter;
  FPresenter = nullptr;
  Invalidate();
}

void TViewport3D::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  FFrameStale = true;
}

QImage TViewport3D::grabFramebuffer() {
  if (FDrawing) return FFrame;
  RenderFrame(/*keepImage=*/true);
  // The screen shows what was given.
  if (FPresenter) FPresenter->update();
  return FFrame;
}

QImage TViewport3D::MakeScreenshot() {
  if (FDrawing) return {};
  const QSize size = RenderTargetSize();
  if (size.isEmpty()) return {};
  if (!makeCurrent()) return {};
  auto done = qScopeGuard([this] {
    FContext->SetRenderTarget(FTarget.get());
    FContext->ResetStateCache();
    FDrawing = false;
    doneCurrent();
  });
  if (!EnsureDevice()) return {};
  QImage image;
  {
    TGLRenderTarget target(*FContext->Functions(), size, FMultisample);
    if (!target.IsValid()) return {};
    FDrawing = true;
    DrawScene(target);
    image = target.ReadPixels();
    FContext->SetRenderTarget(FTarget.get());
  }
  if (image.isNull()) return {};
  image.setDevicePixelRatio(devicePixelRatioF());
  // The 2D children as the window paints them over the view, nothing else.
  QPainter painter(&image);
  for (QObject* object : children()) {
    auto* child = qobject_cast<QWidget*>(object);
    if (!child || child == FPresenter || child->isWindow() || !child->isVisibleTo(this)) continue;
    QWidget::RenderFlags flags = QWidget::DrawChildren;
    if (child->autoFillBackground()) flags |= QWidget::DrawWindowBackground;
    child->render(&painter, child->pos(), QRegion(), flags);
  }
  return image;
}

// --- Pointer -----------------------------------------------------------------------------------

void TViewport3D::mousePressEvent(QMouseEvent* event) {
  FPointer->Press(*event, 0);
}

void TViewport3D::mouseDoubleClickEvent(QMouseEvent* event) {
  // Qt turns the second press of a double click into this event.
  FPointer->Press(*event, ssDouble);
}

void TViewport3D::mouseMoveEvent(QMouseEvent* event) {
  FPointer->Move(*event);
}

void TViewport3D::mouseReleaseEvent(QMouseEvent* event) {
  FPointer->Release(*event);
}

void TViewport3D::wheelEvent(QWheelEvent* event) {
  FPointer->Wheel(*event);
}

void TViewport3D::leaveEvent(QEvent* event) {
  QWidget::leaveEvent(event);
  FPointer->Leave();
}

bool TViewport3D::event(QEvent* event) {
  // The window passes its deactivation on to its children.
  if (event->type() == QEvent::WindowDeactivate) FPointer->LosePointer();
  return QWidget::event(event);
}

void TViewport3D::hideEvent(QHideEvent* event) {
  QWidget::hideEvent(event);
  FPointer->LosePointer();
}

}  // namespace rt3d
