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
#include "runtime3d/core/Light.h"
#include "runtime3d/render/ComposePresentation.h"
#include "runtime3d/render/CopyPresentation.h"
#include "runtime3d/render/DeviceSurface.h"
#include "runtime3d/render/GLContext.h"
#include "runtime3d/render/SceneRenderer.h"

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

}  // namespace

TViewport3D::TViewport3D(QWidget* parent)
    : QWidget(parent),
      FSurface(std::make_unique<TDeviceSurface>()),
      FContext(std::make_unique<TGLContext>()),
      FWatcher(std::make_unique<TWatcher>(*this)),
      FRoot(std::make_unique<TViewportRoot>(this)),
      FRenderer(std::make_unique<TSceneRenderer>(*FContext, *FRoot)),
      FPointer(new TPointerRouting(*this, *FRoot, *this)),
      FLoop(std::make_unique<TFrameLoop>(
          *this, *FContext, [this] { DrawFrame(); }, [this] { emit FramePresented(); },
          [this](const std::function<void()>& work) {
            if (!makeCurrent()) return false;
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
  if (ViewPresentation() == TPresentation::Compose) {
    FPresentation =
        std::make_unique<TComposePresentation>(*this, *FLoop, [this] { PresentByCopy(); });
  } else {
    FPresentation = std::make_unique<TCopyPresentation>(*this, *FLoop);
  }
}

TViewport3D::~TViewport3D() {
  FLoop->Close();
  // A composing child gives its GL objects back while the picture they show still exists.
  FPresentation->Close();
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
  return FRenderer->Target() ? FRenderer->Target()->Samples() : 0;
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
    Invalidate();
  }
}

// --- IViewport3D -------------------------------------------------------------------------------

TContext3D* TViewport3D::Context() {
  // No size, no render target: the scene cannot be drawn or picked yet.
  if (width() <= 0 || height() <= 0) return nullptr;
  if (FLoop->State() != TFrameState::Drawing) {
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
  FRenderer->ReleaseDevice();
  FPresentation->ReleaseDevice(*FContext->Functions());
  FContext->ReleaseDevice();
}

void TViewport3D::RequestViewportRedraw() {
  FLoop->Request();
}

void TViewport3D::Invalidate() {
  FDamage.Reset();
  FLoop->Request();
}

void TViewport3D::SetLimitsFrames(bool value) {
  FLimitFrames = value;
  FDamage.Reset();
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
  if (!clock) return;
  try {
    clock->CatchUp();
  } catch (...) {
    // As from the timer's tick: the application's handler sees it from the event loop.
    RaiseLater(std::current_exception());
  }
}

void TViewport3D::DrawFrame(bool keepImage) {
  if (!FLoop->Begin()) return;
  auto end = qScopeGuard([this] { FLoop->End(); });
  // The animations up to date: the ticks the busy event loop still owes go into this frame,
  // and ask for no other.
  CatchUpAnimations();
  FLoop->AnimationsTaken();
  emit FrameStarted();

  const QSize size = RenderTargetSize();
  const qreal scale = devicePixelRatioF();
  // Without a device or a size the view shows black rather than an old picture.
  if (size.isEmpty() || !makeCurrent()) return ShowBlack(size, scale);
  auto current = qScopeGuard([this] {
    FContext->ResetStateCache();
    doneCurrent();
  });
  bool newTarget = false;
  TGLRenderTarget* target =
      EnsureDevice() ? FRenderer->FrameTarget(size, FMultisample, newTarget) : nullptr;
  if (!target) return ShowBlack(size, scale);
  // A new target holds nothing of the last frame.
  if (newTarget) FDamage.Reset();
  FRenderer->SetUp(*target, *ActiveCamera(), FLights, SceneScale());

  TSceneLooks looks;
  std::vector<TPixelRect> rects = FrameRects(size, looks);
  try {
    if (!rects.empty()) rects = FRenderer->Draw(*target, rects, FFill, looks);
  } catch (...) {
    // A frame must not be unwound by an exception: the failure is raised again from the
    // event loop, where the application's handler sees it. What was drawn is unknown.
    FDamage.Reset();
    rects = {{0, 0, size.width(), size.height()}};
    RaiseLater(std::current_exception());
  }
  // The hand-over: read back (only what changed), or left on the GPU for composing.
  if (!rects.empty() &&
      !FPresentation->Take(*FContext->Functions(), *target, rects, scale, keepImage)) {
    FDamage.Reset();
    return ShowBlack(size, scale);
  }
  FLastRects = rects;
  FPresentation->Show(rects);
}

std::vector<TPixelRect> TViewport3D::FrameRects(QSize size, TSceneLooks& looks) {
  const TPixelRect whole{0, 0, size.width(), size.height()};
  if (!FLimitFrames) return {whole};
  looks = FRenderer->Looks(FFill, SceneScale());
  // Only what changed, where the presentation keeps the rest of the last frame.
  if (!FPresentation->KeepsFrameOf(size)) FDamage.Reset();
  std::vector<TPixelRect> rects = FDamage.Next(looks.View, looks.Bodies);
  long long area = 0;
  for (const TPixelRect& rect : rects) area += rect.Area();
  if (area > FLimitShare * double(whole.Area())) return {whole};
  return rects;
}

void TViewport3D::ShowBlack(QSize size, qreal scale) {
  FPresentation->TakeBlack(size, scale);
  const QSize shown = size.expandedTo(QSize(1, 1));
  FLastRects = {{0, 0, shown.width(), shown.height()}};
  FPresentation->Show(FLastRects);
}

void TViewport3D::paintEvent(QPaintEvent* event) {
  FPresentation->PaintView(*event, FFill);
}

void TViewport3D::PresentByCopy() {
  std::fprintf(stderr, "The window cannot show the view's GL picture; presenting by copy.\n");
  // From the event loop, never from the composing child's own paint.
  FPresentation->Close();
  if (FContext->DeviceReady() && makeCurrent()) {
    FPresentation->ReleaseDevice(*FContext->Functions());
    doneCurrent();
  }
  FPresentation = std::make_unique<TCopyPresentation>(*this, *FLoop);
  Invalidate();
}

QImage TViewport3D::grabFramebuffer() {
  DrawFrame(/*keepImage=*/true);
  return FPresentation->Picture();
}

QImage TViewport3D::MakeScreenshot() {
  const QSize size = RenderTargetSize();
  if (size.isEmpty() || !FLoop->BeginOffScreen()) return {};
  auto end = qScopeGuard([this] { FLoop->EndOffScreen(); });
  if (!makeCurrent()) return {};
  auto done = qScopeGuard([this] {
    FContext->SetRenderTarget(FRenderer->Target());
    FContext->ResetStateCache();
    doneCurrent();
  });
  if (!EnsureDevice()) return {};
  QImage image;
  {
    TGLRenderTarget target(*FContext->Functions(), size, FMultisample);
    if (!target.IsValid()) return {};
    FRenderer->SetUp(target, *ActiveCamera(), FLights, SceneScale());
    FRenderer->Draw(target, {{0, 0, size.width(), size.height()}}, FFill, {});
    image = target.ReadPixels();
    FContext->SetRenderTarget(FRenderer->Target());
  }
  if (image.isNull()) return {};
  image.setDevicePixelRatio(devicePixelRatioF());
  // The 2D children as the window paints them over the view, nothing else.
  QPainter painter(&image);
  for (QObject* object : children()) {
    auto* child = qobject_cast<QWidget*>(object);
    if (!child || child->inherits("QOpenGLWidget") || child->isWindow() ||
        !child->isVisibleTo(this))
      continue;
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
