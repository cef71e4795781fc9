#pragma once
// What 3D objects see of the viewport they are placed under, and the root object of the
// viewport's 3D tree.

#include <vector>

#include "runtime3d/core/Control3D.h"

namespace rt3d {

class TCamera;
class TLight;

class IViewport3D {
 public:
  virtual ~IViewport3D() = default;
  // The render context; null until the viewport has a size.
  virtual TContext3D* Context() = 0;
  virtual TCamera* ActiveCamera() = 0;
  virtual void AddLight(TLight* light) = 0;
  // Removes the first occurrence.
  virtual void RemoveLight(TLight* light) = 0;
  virtual TPointF ScreenToLocal(const TPointF& screenPoint) = 0;
  virtual TPointF LocalToScreen(const TPointF& localPoint) = 0;
  // Physical pixels per logical pixel of the render target.
  virtual float SceneScale() = 0;
  virtual void RequestViewportRedraw() = 0;
  // Pointer capture for 3D objects that capture on press (none of the viewer's do).
  virtual void SetCaptured(TControl3D* /*object*/) {}
};

// The parent of the objects placed directly under a viewport. It stands for the window
// the viewport lives in, so animations below it count as being under a window.
class TViewportRoot : public TTreeObject {
 public:
  explicit TViewportRoot(IViewport3D* viewport = nullptr);
  ~TViewportRoot() override;

  IViewport3D* Viewport() const { return FViewport; }
  void SetViewport(IViewport3D* viewport);
  void SetInWindow(bool value) { FInWindow = value; }
  bool IsRootWindow() const override { return FInWindow; }

  const std::vector<TControl3D*>& RenderingList() const { return FRenderingList; }
  void RebuildRenderingList();

  // The 3D object under a screen point: first among Screen-projected objects, then among
  // Camera-projected ones; the nearest hit in front of the eye wins. Null when none.
  TControl3D* ObjectAtPoint(const TPointF& screenPoint);

  // The object that took the last press in this viewport: only it may turn the matching
  // release into a click, so a press on one body and a release over another never clicks
  // either. Forgotten when it goes away.
  TControl3D* PressedObject() const { return FPressed; }
  void SetPressedObject(TControl3D* object);

 protected:
  void ChildAdded(TTreeObject* child) override;
  void ChildRemoved(TTreeObject* child) override;
  void FreeNotification(TTreeObject* gone) override;

 private:
  IViewport3D* FViewport = nullptr;
  bool FInWindow = true;
  std::vector<TControl3D*> FRenderingList;
  TControl3D* FPressed = nullptr;
};

}  // namespace rt3d
