#include "runtime3d/core/ViewportRoot.h"

#include "runtime3d/core/Camera.h"
#include "runtime3d/core/Context3D.h"

namespace rt3d {

namespace {

// The object under a screen point among children, walked last to first: a hit found later
// in the walk (nearer, for Camera-projected objects) replaces the one found before.
TControl3D* PickAmong(const std::vector<TTreeObject*>& children, const TPointF& screenPoint,
                      TPickScan& scan) {
  TControl3D* result = nullptr;
  // Picking changes nothing in the tree, so the child list can be walked in place.
  for (auto it = children.rbegin(); it != children.rend(); ++it) {
    auto* control = dynamic_cast<TControl3D*>(*it);
    if (!control || !control->Visible()) continue;
    if (TControl3D* found = control->ObjectAtPoint(screenPoint, scan)) result = found;
  }
  return result;
}

}  // namespace

TViewportRoot::TViewportRoot(IViewport3D* viewport) : FViewport(viewport) {}

TViewportRoot::~TViewportRoot() {
  BeginDestroy();
  while (!Children().empty()) delete Children().back();
}

void TViewportRoot::SetViewport(IViewport3D* viewport) {
  FViewport = viewport;
  for (TTreeObject* child : Children()) {
    if (auto* control = dynamic_cast<TControl3D*>(child)) control->SetNewViewport(viewport);
  }
}

void TViewportRoot::RebuildRenderingList() {
  SortRenderingList(Children(), FRenderingList);
}

void TViewportRoot::ChildAdded(TTreeObject* child) {
  if (auto* control = dynamic_cast<TControl3D*>(child)) {
    control->SetNewViewport(FViewport);
    RebuildRenderingList();
  }
}

void TViewportRoot::ChildRemoved(TTreeObject* child) {
  std::erase_if(FRenderingList, [child](TControl3D* c) { return c == child; });
  if (IsDestroying()) return;
  if (auto* control = dynamic_cast<TControl3D*>(child)) control->SetNewViewport(nullptr);
  RebuildRenderingList();
  if (FViewport) FViewport->RequestViewportRedraw();
}

TControl3D* TViewportRoot::ObjectAtPoint(const TPointF& screenPoint) {
  if (!FViewport) return nullptr;
  TPickScan screen{TProjection::Screen};
  if (TControl3D* found = PickAmong(Children(), screenPoint, screen)) return found;
  TPickScan camera{TProjection::Camera};
  return PickAmong(Children(), screenPoint, camera);
}

void TViewportRoot::SetPressedObject(TControl3D* object) {
  if (FPressed == object) return;
  if (FPressed) FPressed->RemoveFreeNotify(this);
  FPressed = object;
  if (FPressed) FPressed->AddFreeNotify(this);
}

void TViewportRoot::FreeNotification(TTreeObject* gone) {
  if (gone == FPressed) FPressed = nullptr;
}

// --- Picking and pointer events of a 3D object ---------------------------------------------

namespace {

// Picking may run between frames, after the camera moved: use the camera as it is now.
void SyncCamera(IViewport3D& viewport, TContext3D& context) {
  if (TCamera* camera = viewport.ActiveCamera()) {
    context.SetCameraMatrix(camera->CameraMatrix());
    context.SetCameraAngleOfView(camera->AngleOfView());
  }
}

}  // namespace

TViewportRoot* TControl3D::PressRoot() {
  return dynamic_cast<TViewportRoot*>(Root());
}

bool TControl3D::LocalRay(float x, float y, TVector3D& rayPos, TVector3D& rayDir) {
  TContext3D* context = Context();
  if (!context || !Viewport()) return false;
  SyncCamera(*Viewport(), *context);
  TVector3D worldPos, worldDir;
  context->Pick(x, y, Projection(), worldPos, worldDir);
  rayPos = TVector3D::Point(AbsoluteToLocalVector(worldPos).ToPoint3D());
  rayDir = AbsoluteToLocalDirection(worldDir);
  return true;
}

TControl3D* TControl3D::ObjectAtPoint(const TPointF& screenPoint, TPickScan& scan) {
  TControl3D* result = PickAmong(Children(), screenPoint, scan);
  if (result || !Context() || !Viewport() || !Visible() || !HitTest() ||
      Projection() != scan.Projection) {
    return result;
  }
  IViewport3D& viewport = *Viewport();
  TContext3D& context = *Context();
  SyncCamera(viewport, context);
  const TPointF local = viewport.ScreenToLocal(screenPoint);
  TVector3D worldPos, worldDir;
  context.Pick(local.X, local.Y, Projection(), worldPos, worldDir);
  const TVector3D rayPos = TVector3D::Point(AbsoluteToLocalVector(worldPos).ToPoint3D());
  const TVector3D rayDir = AbsoluteToLocalDirection(worldDir);
  TVector3D hit;
  if (!RayCastIntersect(rayPos, rayDir, hit)) return nullptr;
  if (Projection() == TProjection::Camera) {
    // A hit behind the eye is on the pointer's line but out of sight: it never counts.
    if (Dot(hit.XYZ() - worldPos.XYZ(), worldDir.XYZ()) < 0) return nullptr;
    TCamera* camera = viewport.ActiveCamera();
    const TPoint3D eye = camera ? camera->AbsolutePosition().XYZ() : worldPos.XYZ();
    const double d = Distance(hit.XYZ(), eye);
    if (scan.BestDistance > d) {
      scan.BestDistance = float(d);
      return this;
    }
    return nullptr;
  }
  return this;
}

bool TControl3D::RayCastIntersect(const TVector3D&, const TVector3D&, TVector3D&) {
  // A plain object has nothing of its own to hit in the viewer.
  return false;
}

void TControl3D::MouseDown(TMouseButton button, TShiftState shift, float x, float y) {
  TVector3D rayPos, rayDir;
  LocalRay(x, y, rayPos, rayDir);
  if (TViewportRoot* root = PressRoot()) root->SetPressedObject(this);
  if (OnMouseDown) OnMouseDown(this, button, shift, x, y, rayPos, rayDir);
  if (AutoCapture() && Viewport()) Viewport()->SetCaptured(this);
  if (shift & ssDouble) {
    FPressed = true;
    FDoubleClick = true;
  } else {
    FDoubleClick = false;
    FPressed = button == TMouseButton::mbLeft;
  }
}

void TControl3D::MouseMove(TShiftState shift, float x, float y) {
  TVector3D rayPos, rayDir;
  LocalRay(x, y, rayPos, rayDir);
  if (OnMouseMove) OnMouseMove(this, shift, x, y, rayPos, rayDir);
}

void TControl3D::MouseClick() {
  const TViewportRoot* root = PressRoot();
  if (!root || root->PressedObject() != this || !FPressed || !FIsMouseOver) return;
  FPressed = false;
  if (!FDoubleClick) {
    if (OnClick) OnClick(this);
  } else {
    FDoubleClick = false;
    if (OnDblClick) OnDblClick(this);
  }
}

void TControl3D::MouseUp(TMouseButton button, TShiftState shift, float x, float y) {
  if (TViewportRoot* root = PressRoot(); root && root->PressedObject() == this) {
    root->SetPressedObject(nullptr);
  }
  FPressed = false;
  FDoubleClick = false;
  if (!Context()) return;
  TVector3D rayPos, rayDir;
  LocalRay(x, y, rayPos, rayDir);
  if (AutoCapture() && Viewport()) Viewport()->SetCaptured(nullptr);
  if (OnMouseUp) OnMouseUp(this, button, shift, x, y, rayPos, rayDir);
}

void TControl3D::MouseWheel(TShiftState shift, int wheelDelta, bool& handled) {
  if (OnMouseWheel) OnMouseWheel(this, shift, wheelDelta, handled);
}

void TControl3D::MouseEnter() {
  FIsMouseOver = true;
  if (OnMouseEnter) OnMouseEnter(this);
}

void TControl3D::MouseLeave() {
  FIsMouseOver = false;
  if (OnMouseLeave) OnMouseLeave(this);
}

}  // namespace rt3d
