#include "runtime3d/render/Viewport3D.h"

#include <algorithm>
#include <exception>

#include <QCoreApplication>
#include <QMenu>
#include <QMouseEvent>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFunctions_3_3_Core>
#include <QPaintEvent>
#include <QPainter>
#include <QPointingDevice>
#include <QScopeGuard>
#include <QScreen>
#include <QTimer>
#include <QWheelEvent>

#include "runtime3d/core/Camera.h"
#include "runtime3d/core/FramePlan.h"
#include "runtime3d/core/Light.h"
#include "runtime3d/render/GLContext.h"

namespace rt3d {

// The view's own GL context; it draws into off-screen targets only, so its surface is an
// off-screen one.
class TDeviceSurface {
 public:
  bool MakeCurrent() {
    if (FFailed) return false;  // a driver does not get better by asking again
    if (!FContext) {
      FContext = std::make_unique<QOpenGLContext>();
      FContext->setFormat(DeviceSurfaceFormat());
      // A context below the version the device needs is of no use: dropped at once, and
      // the view shows black.
      const QSurfaceFormat got = FContext->create() ? FContext->format() : QSurfaceFormat();
      if (got.renderableType() != QSurfaceFormat::OpenGL ||
          got.version() < qMakePair(kRequiredGLMajor, kRequiredGLMinor)) {
        FContext.reset();
        FFailed = true;
        return false;
      }
      // Only for a context that exists, in the format it got.
      FSurface.setFormat(FContext->format());
      FSurface.create();
    }
    return FSurface.isValid() && FContext->makeCurrent(&FSurface);
  }
  void DoneCurrent() {
    if (FContext) FContext->doneCurrent();
  }
  // No context of the version the device needs could be made.
  bool Failed() const { return FFailed; }

 private:
  QOffscreenSurface FSurface;
  std::unique_ptr<QOpenGLContext> FContext;  // goes before the surface it was used with
  bool FFailed = false;
};

// Tells the viewport when an object it points to (the camera, the hovered body) goes away.
class TViewport3D::TWatcher : public TTreeObject {
 public:
  explicit TWatcher(TViewport3D& viewport) : FViewport(viewport) {}
  ~TWatcher() override {
    for (TTreeObject* object : FWatched) object->RemoveFreeNotify(this);
  }

  // The same object may be watched for two reasons (camera and hovered body).
  void Watch(TTreeObject* object) {
    if (!object) return;
    object->AddFreeNotify(this);
    FWatched.push_back(object);
  }
  void Unwatch(TTreeObject* object) {
    auto it = std::find(FWatched.begin(), FWatched.end(), object);
    if (it == FWatched.end()) return;
    FWatched.erase(it);
    if (std::find(FWatched.begin(), FWatched.end(), object) == FWatched.end()) {
      object->RemoveFreeNotify(this);
    }
  }

 protected:
  void FreeNotification(TTreeObject* gone) override {
    std::erase(FWatched, gone);
    FViewport.ObjectFreed(gone);
  }

 private:
  TViewport3D& FViewport;
  std::vector<TTreeObject*> FWatched;
};

namespace {

TShiftState ShiftOf(Qt::KeyboardModifiers modifiers, Qt::MouseButtons buttons,
                    const QPointingDevice* device) {
  TShiftState shift = 0;
  if (modifiers & Qt::ShiftModifier) shift |= ssShift;
  if (modifiers & Qt::AltModifier) shift |= ssAlt;
  if (modifiers & Qt::ControlModifier) shift |= ssCtrl;
  if (buttons & Qt::LeftButton) shift |= ssLeft;
  if (buttons & Qt::RightButton) shift |= ssRight;
  if (buttons & Qt::MiddleButton) shift |= ssMiddle;
  if (device) {
    // Qt synthesises mouse events from touch and pen input on their own devices.
    if (device->type() == QInputDevice::DeviceType::TouchScreen) shift |= ssTouch;
    if (device->type() == QInputDevice::DeviceType::Stylus) shift |= ssPen;
  }
  return shift;
}

TShiftState ShiftOf(const QSinglePointEvent& event) {
  TShiftState shift = ShiftOf(event.modifiers(), event.buttons(), event.pointingDevice());
  // The touch adapter turns a single finger into mouse events of its own making.
  if (const auto* mouse = dynamic_cast<const QMouseEvent*>(&event);
      mouse && mouse->source() == Qt::MouseEventSynthesizedByApplication) {
    shift |= ssTouch;
  }
  return shift;
}

bool ButtonOf(Qt::MouseButton qtButton, TMouseButton& button) {
  switch (qtButton) {
    case Qt::LeftButton:
      button = TMouseButton::mbLeft;
      return true;
    case Qt::RightButton:
      button = TMouseButton::mbRight;
      return true;
    case Qt::MiddleButton:
      button = TMouseButton::mbMiddle;
      return true;
    default:
      return false;
  }
}

// Pointer positions reach handlers in whole logical pixels.
TPointF LocalPoint(const QSinglePointEvent& event) {
  const QPointF p = event.position();
  return {float(RoundHalfEven(p.x())), float(RoundHalfEven(p.y()))};
}

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
      FRoot(std::make_unique<TViewportRoot>(this)) {
  // Every frame covers the whole view: nothing to fill behind it.
  setAttribute(Qt::WA_OpaquePaintEvent);
  // Pressing on the view leaves the keyboard focus where it was.
  setFocusPolicy(Qt::NoFocus);
  // Moves without a button pressed drive the hover state of bodies.
  setMouseTracking(true);

  // The design camera rig: ordinary children of the root that draw nothing and are never hit.
  FDesignCameraZ = new TDummy("DesignCameraZ");
  FDesignCameraX = new TDummy("DesignCameraX");
  FDesignCamera = new TCamera("DesignCamera");
  FRoot->AddObject(FDesignCameraZ);
  FDesignCameraZ->AddObject(FDesignCameraX);
  FDesignCameraX->AddObject(FDesignCamera);
  FDesignCameraX->RotationAngle().SetX(-20);
  FDesignCamera->Position().SetPoint({0, 0, -20});
}

TViewport3D::~TViewport3D() {
  FDestroying = true;
  if (FCamera) FWatcher->Unwatch(FCamera);
  if (FHovered) FWatcher->Unwatch(FHovered);
  FCamera = nullptr;
  FHovered = nullptr;
  EndPress();
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
  if (FCamera) FWatcher->Unwatch(FCamera);
  FCamera = camera;
  if (FCamera) FWatcher->Watch(FCamera);
  if (!FUsingDesignCamera) Invalidate();
}

void TViewport3D::SetUsingDesignCamera(bool value) {
  if (FUsingDesignCamera == value) return;
  FUsingDesignCamera = value;
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

void TViewport3D::ObjectFreed(TTreeObject* gone) {
  if (gone == FHovered) FHovered = nullptr;
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
  return FCamera && !FUsingDesignCamera ? FCamera : FDesignCamera;
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
  if (FContext->InitializeDevice()) return true;
  qWarning("%s", qPrintable(FContext->DeviceError()));
  return false;
}

void TViewport3D::ReleaseDevice() {
  if (!FContext->DeviceReady()) return;
  FTarget.reset();
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
  }
  return FTarget->IsValid();
}

void TViewport3D::DrawScene(TGLRenderTarget& target) {
  TGLContext& context = *FContext;
  context.SetRenderTarget(&target);
  context.SetScale(SceneScale());
  // Qt draws with this GL context too: nothing the cache remembers can be trusted.
  TContext3D::ResetStateCache();
  if (!context.BeginScene()) return;
  auto endScene = qScopeGuard([&] { context.EndScene(); });
  context.SetContextState(TContextState::csScissorOff);
  context.Clear(FFill, 1);
  TCamera* camera = ActiveCamera();
  context.SetCameraMatrix(camera->CameraMatrix());
  context.SetCameraAngleOfView(camera->AngleOfView());
  context.Lights().clear();
  for (TLight* light : FLights) context.Lights().push_back(light->LightDescription());
  // A handler may change the scene while it is drawn; walk a copy of the list. The plan
  // leaves out what cannot show and draws what is hidden by others last (same picture).
  std::vector<TControl3D*> objects;
  for (TControl3D* object : FRoot->RenderingList()) {
    if (object->Visible()) objects.push_back(object);
  }
  for (TControl3D* object :
       PlanFrame(objects, context.CurrentCameraMatrix(), context.CurrentProjectionMatrix())) {
    if (object->Visible()) object->RenderInternal(context);
  }
}

namespace {

// How long the main thread uploads texture bands at a time: short enough to go unseen
// between frames and ticks.
constexpr qint64 kTextureSliceNs = 4'000'000;

qint64 RefreshPeriodNs(const QScreen* display) {
  const double refresh = display && display->refreshRate() > 1 ? display->refreshRate() : 60.0;
  return qint64(1e9 / refresh);
}

}  // namespace

void TViewport3D::RequestViewportRedraw() {
  if (FPacedRedrawPending) return;
  const qint64 period = RefreshPeriodNs(screen());
  const qint64 since = FLastFrame.isValid() ? FLastFrame.nsecsElapsed() : period;
  if (since >= period) {
    Invalidate();
    return;
  }
  FPacedRedrawPending = true;
  const int wait = int((period - since + 999999) / 1000000);
  QTimer::singleShot(wait, Qt::PreciseTimer, this, [this] {
    FPacedRedrawPending = false;
    Invalidate();
  });
}

void TViewport3D::WatchTextures(int waitMs) {
  if (FWatchingTextures || !FContext->TexturesInProgress()) return;
  FWatchingTextures = true;
  const int wait = waitMs >= 0 ? waitMs : int((RefreshPeriodNs(screen()) + 999999) / 1000000);
  QTimer::singleShot(wait, Qt::PreciseTimer, this, [this] {
    FWatchingTextures = false;
    if (!FContext->TextureBandReady()) return WatchTextures();
    if (FDrawing || !makeCurrent()) return;
    // Bands for a few milliseconds, then the event loop's turn (a frame, a tick) and on.
    QElapsedTimer slice;
    slice.start();
    bool placed = false;
    do {
      placed = FContext->UploadTextureBand() || placed;
    } while (slice.nsecsElapsed() < kTextureSliceNs && FContext->TextureBandReady());
    TContext3D::ResetStateCache();
    doneCurrent();
    // A full image in place shows in the next frame.
    if (placed) RequestViewportRedraw();
    WatchTextures(FContext->TextureBandReady() ? 0 : -1);
  });
}

void TViewport3D::Invalidate() {
  FFrameStale = true;
  update();
}

QString TViewport3D::PrepareDevice() {
  if (!makeCurrent()) return CannotCreateDeviceMessage();
  // The caller reports a failure; the view itself says nothing more about it later.
  const bool ready = FContext->DeviceReady() ||
                     (FContext->DeviceError().isEmpty() && FContext->InitializeDevice());
  doneCurrent();
  return ready ? QString() : FContext->DeviceError();
}

bool TViewport3D::makeCurrent() {
  return FSurface->MakeCurrent();
}

void TViewport3D::doneCurrent() {
  FSurface->DoneCurrent();
}

void TViewport3D::RenderFrame() {
  FFrameStale = false;
  FLastFrame.start();
  const QSize size = RenderTargetSize();
  const qreal scale = devicePixelRatioF();
  // Without a device or a size the view shows black rather than an old picture.
  auto black = [&] {
    FFrame = QImage(size.expandedTo(QSize(1, 1)), QImage::Format_ARGB32_Premultiplied);
    FFrame.fill(Qt::black);
    FFrame.setDevicePixelRatio(scale);
  };
  if (size.isEmpty() || !makeCurrent()) return black();
  FDrawing = true;
  auto done = qScopeGuard([this] {
    FDrawing = false;
    TContext3D::ResetStateCache();
    doneCurrent();
  });
  if (!EnsureDevice() || !EnsureRenderTarget()) return black();
  try {
    DrawScene(*FTarget);
  } catch (...) {
    // Painting must not be unwound by an exception: the failure is raised again from the
    // event loop, where the application's handler sees it.
    RaiseLater(std::current_exception());
  }
  if (!FTarget->ReadPixelsInto(FFrame)) return black();
  FFrame.setDevicePixelRatio(scale);
  WatchTextures();
}

void TViewport3D::paintEvent(QPaintEvent* event) {
  // A changed scene, a new size or scale, or a repaint of the whole view (a shown window,
  // an update() of the view) draws a new frame; a repaint behind a child that changed shows
  // the last one again. Qt leaves opaque children out of the region: with one, only a
  // change of the scene draws anew.
  const bool wholeView = QRegion(rect()).subtracted(event->region()).isEmpty();
  if (!FDrawing &&
      (FFrameStale || FFrame.isNull() || FFrame.size() != RenderTargetSize() || wholeView)) {
    RenderFrame();
    if (!FPresentPending) {
      FPresentPending = true;
      // The window system has the frame once this paint is flushed.
      QMetaObject::invokeMethod(
          this,
          [this] {
            FPresentPending = false;
            emit FramePresented();
          },
          Qt::QueuedConnection);
    }
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

void TViewport3D::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  FFrameStale = true;
}

QImage TViewport3D::grabFramebuffer() {
  if (FDrawing) return FFrame;
  RenderFrame();
  return FFrame;
}

QImage TViewport3D::MakeScreenshot() {
  if (FDrawing) return {};
  const QSize size = RenderTargetSize();
  if (size.isEmpty()) return {};
  if (!makeCurrent()) return {};
  auto done = qScopeGuard([this] {
    FContext->SetRenderTarget(FTarget.get());
    TContext3D::ResetStateCache();
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
    if (!child || child->isWindow() || !child->isVisibleTo(this)) continue;
    QWidget::RenderFlags flags = QWidget::DrawChildren;
    if (child->autoFillBackground()) flags |= QWidget::DrawWindowBackground;
    child->render(&painter, child->pos(), QRegion(), flags);
  }
  return image;
}

// --- Pointer -----------------------------------------------------------------------------------

TViewportHit TViewport3D::ObjectAtPoint(const TPointF& screenPoint) {
  const TPointF local = ScreenToLocal(screenPoint);
  if (!isVisible() || local.X < 0 || local.Y < 0 || local.X >= width() || local.Y >= height()) {
    return {};
  }
  TControl3D* object = FRoot->ObjectAtPoint(screenPoint);
  return {object, object == nullptr};
}

void TViewport3D::SetHovered(TControl3D* object) {
  if (object == FHovered) return;
  TControl3D* old = FHovered;
  if (old) FWatcher->Unwatch(old);
  FHovered = object;
  if (object) FWatcher->Watch(object);
  if (old) old->MouseLeave();
  if (object) object->MouseEnter();
}

void TViewport3D::ViewMouseDown(TMouseButton button, TShiftState shift, float x, float y) {
  if (OnMouseDown) OnMouseDown(this, button, shift, x, y);
  if (FAutoCapture) FCaptured = true;
  if ((shift & ssDouble) && OnDblClick) OnDblClick(this);
}

void TViewport3D::ViewMouseUp(TMouseButton button, TShiftState shift, float x, float y) {
  FCaptured = false;
  if (OnMouseUp) OnMouseUp(this, button, shift, x, y);
}

void TViewport3D::Press(QMouseEvent* event, TShiftState extra) {
  event->accept();
  TMouseButton button;
  if (!ButtonOf(event->button(), button)) return;
  const TShiftState shift = ShiftOf(*event) | extra;
  const TPointF p = LocalPoint(*event);
  const TViewportHit hit = ObjectAtPoint(LocalToScreen(p));
  if (button == TMouseButton::mbRight && !hit.Object && FPopupMenu) {
    // The menu takes the pointer, and with it the release of any press still held.
    LosePointer();
    FPopupMenu->popup(event->globalPosition().toPoint());
    return;
  }
  HoldPress();
  if (hit.Object) {
    SetHovered(hit.Object);
    hit.Object->MouseDown(button, shift, p.X, p.Y);
  } else {
    ViewMouseDown(button, shift, p.X, p.Y);
  }
}

void TViewport3D::mousePressEvent(QMouseEvent* event) {
  Press(event, 0);
}

void TViewport3D::mouseDoubleClickEvent(QMouseEvent* event) {
  // Qt turns the second press of a double click into this event.
  Press(event, ssDouble);
}

void TViewport3D::mouseMoveEvent(QMouseEvent* event) {
  event->accept();
  const TShiftState shift = ShiftOf(*event);
  const TPointF p = LocalPoint(*event);
  if (FCaptured) {
    if (OnMouseMove) OnMouseMove(this, shift, p.X, p.Y);
    return;
  }
  const TViewportHit hit = ObjectAtPoint(LocalToScreen(p));
  SetHovered(hit.Object);
  if (hit.Object) {
    hit.Object->MouseMove(shift, p.X, p.Y);
  } else if (hit.OnViewport && OnMouseMove) {
    OnMouseMove(this, shift, p.X, p.Y);
  }
}

void TViewport3D::mouseReleaseEvent(QMouseEvent* event) {
  event->accept();
  TMouseButton button;
  if (!ButtonOf(event->button(), button)) return;
  EndPress();
  const TShiftState shift = ShiftOf(*event);
  const TPointF p = LocalPoint(*event);
  if (FCaptured) {
    ViewMouseUp(button, shift, p.X, p.Y);
    return;
  }
  const TViewportHit hit = ObjectAtPoint(LocalToScreen(p));
  if (hit.Object) {
    SetHovered(hit.Object);
    hit.Object->MouseClick();
    hit.Object->MouseUp(button, shift, p.X, p.Y);
  } else {
    // Off the view too (Qt keeps sending to the widget that took the press): a drag
    // always ends at its release.
    ViewMouseUp(button, shift, p.X, p.Y);
  }
}

void TViewport3D::wheelEvent(QWheelEvent* event) {
  event->accept();
  TShiftState shift = ShiftOf(event->modifiers(), event->buttons(), event->pointingDevice());
  int delta = event->angleDelta().y();
  if (delta == 0) {
    delta = event->angleDelta().x();
    if (delta == 0) return;
    shift |= ssHorizontal;
  }
  bool handled = false;
  if (!FCaptured) {
    const TViewportHit hit =
        ObjectAtPoint({float(event->globalPosition().x()), float(event->globalPosition().y())});
    for (TControl3D* object = hit.Object; object && !handled; object = object->ParentControl3D()) {
      object->MouseWheel(shift, delta, handled);
    }
  }
  if (!handled && OnMouseWheel) OnMouseWheel(this, shift, delta, handled);
}

void TViewport3D::leaveEvent(QEvent* event) {
  QWidget::leaveEvent(event);
  if (!FCaptured) SetHovered(nullptr);
}

bool TViewport3D::event(QEvent* event) {
  // The window passes its deactivation on to its children.
  if (event->type() == QEvent::WindowDeactivate) LosePointer();
  return QWidget::event(event);
}

void TViewport3D::hideEvent(QHideEvent* event) {
  QWidget::hideEvent(event);
  LosePointer();
}

bool TViewport3D::eventFilter(QObject* watched, QEvent* event) {
  // A menu takes the pointer for as long as it is open, whoever opened it.
  if (event->type() == QEvent::Show && watched->isWidgetType() &&
      static_cast<QWidget*>(watched)->windowType() == Qt::Popup) {
    LosePointer();
  }
  return false;
}

void TViewport3D::HoldPress() {
  FPressHeld = true;
  QCoreApplication::instance()->installEventFilter(this);
}

void TViewport3D::EndPress() {
  FPressHeld = false;
  if (QCoreApplication* application = QCoreApplication::instance())
    application->removeEventFilter(this);
}

void TViewport3D::LosePointer() {
  if (!FPressHeld && !FCaptured) return;
  EndPress();
  FCaptured = false;
  if (OnPointerLost) OnPointerLost(this);
}

}  // namespace rt3d
