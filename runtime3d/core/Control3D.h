#pragma once
// TControl3D: the base of every object of the 3D scene. Its local matrix follows Scale,
// RotationCenter, RotationAngle and Position; rotation writes are turned into rotation
// by their difference from the last write (so a write of 370 after 0 turns by 10 degrees);
// absolute matrices and opacity are cached until something above them changes.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "runtime3d/core/Object.h"
#include "runtime3d/core/Position3D.h"
#include "runtime3d/core/Types.h"

namespace rt3d {

class TContext3D;
class IViewport3D;
class IMaterial;
class TControl3D;
class TViewportRoot;

using TMouseEvent3D =
    std::function<void(TTreeObject* sender, TMouseButton button, TShiftState shift, float x,
                       float y, const TVector3D& rayPos, const TVector3D& rayDir)>;
using TMouseMoveEvent3D =
    std::function<void(TTreeObject* sender, TShiftState shift, float x, float y,
                       const TVector3D& rayPos, const TVector3D& rayDir)>;
using TMouseWheelEvent =
    std::function<void(TTreeObject* sender, TShiftState shift, int wheelDelta, bool& handled)>;
using TNotifyEvent = std::function<void(TTreeObject* sender)>;
using TRenderEvent = std::function<void(TTreeObject* sender, TContext3D& context)>;

// What one picking scan keeps while it walks a viewport's tree: the projection it looks
// at now and the distance from the eye of the nearest hit so far.
struct TPickScan {
  TProjection Projection = TProjection::Camera;
  float BestDistance = 65535;
};

class TControl3D : public TTreeObject {
 public:
  explicit TControl3D(std::string name = {});
  ~TControl3D() override;

  // --- Placement -------------------------------------------------------------------------
  TPosition3D& Position() { return *FPosition; }
  TPosition3D& Scale() { return *FScale; }
  TPosition3D& RotationAngle() { return *FRotationAngle; }
  TPosition3D& RotationCenter() { return *FRotationCenter; }
  const TPosition3D& Position() const { return *FPosition; }
  const TPosition3D& Scale() const { return *FScale; }
  const TPosition3D& RotationAngle() const { return *FRotationAngle; }
  const TPosition3D& RotationCenter() const { return *FRotationCenter; }

  const TQuaternion3D& Quaternion() const { return FQuaternion; }
  const TPoint3D& SavedRotationAngle() const { return FSavedRotationAngle; }
  // The stored "Quanternion" text: "(x,y,z,w)". Setting it replaces the rotation outright,
  // with no callback and no rebuild; the text is empty for the identity.
  std::string QuaternionText() const;
  void SetQuaternionText(std::string_view text);

  const TMatrix3D& LocalMatrix() const { return FLocalMatrix; }
  const TMatrix3D& AbsoluteMatrix();
  const TMatrix3D& InvertAbsoluteMatrix();
  virtual float AbsoluteOpacity();

  TVector3D AbsolutePosition() { return AbsoluteMatrix().Row(3); }
  TVector3D AbsoluteLeft() { return AbsoluteMatrix().Row(0); }
  TVector3D AbsoluteUp() { return AbsoluteMatrix().Row(1); }
  TVector3D AbsoluteDirection() { return AbsoluteMatrix().Row(2); }
  TPoint3D LocalToAbsolute3D(const TPoint3D& p) { return TransformPoint(p, AbsoluteMatrix()); }
  TPoint3D AbsoluteToLocal3D(const TPoint3D& p) {
    return TransformPoint(p, InvertAbsoluteMatrix());
  }
  virtual TVector3D LocalToAbsoluteVector(const TVector3D& v) { return v * AbsoluteMatrix(); }
  virtual TVector3D AbsoluteToLocalVector(const TVector3D& v) { return v * InvertAbsoluteMatrix(); }
  TVector3D LocalToAbsoluteDirection(const TVector3D& v);
  TVector3D AbsoluteToLocalDirection(const TVector3D& v);

  void ResetRotationAngle();
  void CopyRotationFrom(const TControl3D& other);

  // --- Box size and flags ----------------------------------------------------------------
  float Width() const { return FWidth; }
  float Height() const { return FHeight; }
  float Depth() const { return FDepth; }
  virtual void SetWidth(float value);
  virtual void SetHeight(float value);
  virtual void SetDepth(float value);
  void SetSize(float width, float height, float depth);

  bool Visible() const { return FVisible; }
  void SetVisible(bool value);
  bool HitTest() const { return FHitTest; }
  void SetHitTest(bool value) { FHitTest = value; }
  float Opacity() const { return FOpacity; }
  void SetOpacity(float value);
  bool ZWrite() const { return FZWrite; }
  void SetZWrite(bool value);
  bool Opaque() const { return FOpaque; }
  void SetOpaque(bool value);
  bool TwoSide() const { return FTwoSide; }
  void SetTwoSide(bool value);
  TProjection Projection() const { return FProjection; }
  void SetProjection(TProjection value);
  bool AutoCapture() const { return FAutoCapture; }
  void SetAutoCapture(bool value) { FAutoCapture = value; }
  bool CanFocus() const { return FCanFocus; }
  void SetCanFocus(bool value) { FCanFocus = value; }

  // Asks the viewport for a new frame (merged with other requests until it paints).
  void Repaint();
  // Update bracket: while open, Repaint asks for nothing.
  void BeginUpdate() { ++FUpdating; }
  void EndUpdate();

  // --- Scene tree ------------------------------------------------------------------------
  IViewport3D* Viewport() const { return FViewport; }
  // The render context of the viewport (or a temporary one set for off-screen drawing).
  TContext3D* Context() const;
  void SetTempContext(TContext3D* context) { FTempContext = context; }
  // The parent when it is a 3D object, else null (an object directly under the viewport).
  TControl3D* ParentControl3D() const;
  const std::vector<TControl3D*>& RenderingList() const { return FRenderingList; }
  void RebuildRenderingList();
  // The material shapes are grouped by in the drawing order; none for plain objects.
  virtual IMaterial* RenderingMaterial() const { return nullptr; }

  // --- Drawing ---------------------------------------------------------------------------
  // Sets the object's context states, draws it, then its visible children.
  void RenderInternal(TContext3D& context);
  // Where the surface this object draws itself (not its children) lies, in absolute
  // coordinates: between the spheres of radius inner and outer around centre (inner may be
  // 0). False when it draws nothing or cannot tell; the frame then draws it as it comes.
  virtual bool DrawnShell(TPoint3D& /*centre*/, float& /*inner*/, float& /*outer*/) {
    return false;
  }
  // True when that surface is closed and convex: seen from outside, it hides everything
  // behind its inner sphere.
  virtual bool IsClosedConvex() const { return false; }
  // True when Render draws something (a shape with a mesh); plain objects draw nothing.
  virtual bool DrawsItself() const { return false; }
  // Every pixel it draws has alpha 1: an opaque material at full opacity.
  bool GivesOpaquePixels();
  virtual void Render(TContext3D& /*context*/) {}
  virtual void RenderChildren(TContext3D& context);

  // --- Picking and pointer ---------------------------------------------------------------
  // Ray in the object's own frame; on a hit returns the nearer point in world coordinates.
  virtual bool RayCastIntersect(const TVector3D& rayPos, const TVector3D& rayDir,
                                TVector3D& intersection);
  // The object under a screen point among this object and its subtree, for one scan of
  // the viewport (see TViewportRoot::ObjectAtPoint).
  virtual TControl3D* ObjectAtPoint(const TPointF& screenPoint, TPickScan& scan);

  virtual void MouseDown(TMouseButton button, TShiftState shift, float x, float y);
  virtual void MouseMove(TShiftState shift, float x, float y);
  virtual void MouseUp(TMouseButton button, TShiftState shift, float x, float y);
  virtual void MouseWheel(TShiftState shift, int wheelDelta, bool& handled);
  // Runs just before the release: fires OnClick or OnDblClick while the pointer is over.
  void MouseClick();
  void MouseEnter();
  void MouseLeave();
  bool IsMouseOver() const { return FIsMouseOver; }
  bool IsPressed() const { return FPressed; }

  TMouseEvent3D OnMouseDown;
  TMouseMoveEvent3D OnMouseMove;
  TMouseEvent3D OnMouseUp;
  TMouseWheelEvent OnMouseWheel;
  TNotifyEvent OnClick;
  TNotifyEvent OnDblClick;
  TNotifyEvent OnMouseEnter;
  TNotifyEvent OnMouseLeave;
  TRenderEvent OnRender;

  const TPropertyInfo* FindProperty(std::string_view name) const override;

  // Sets Viewport for this object and its 3D subtree.
  virtual void SetNewViewport(IViewport3D* viewport);

 protected:
  virtual void BoxSizeChanged() {}
  virtual void RebuildLocalMatrix();
  virtual void RotationAnglePointChanged();
  virtual void RotationAngleXChanged() { RotationAngleAxisChanged(0); }
  virtual void RotationAngleYChanged() { RotationAngleAxisChanged(1); }
  virtual void RotationAngleZChanged() { RotationAngleAxisChanged(2); }
  void InvalidateAbsoluteMatrix();
  void InvalidateAbsoluteOpacity();

  void Loaded() override;
  void ParentChanged() override;
  void ChildAdded(TTreeObject* child) override;
  void ChildRemoved(TTreeObject* child) override;

  // The world ray through a viewport point, taken into this object's frame.
  bool LocalRay(float x, float y, TVector3D& rayPos, TVector3D& rayDir);

 private:
  // The root of the viewport this object is in, which keeps the pressed object; null
  // outside a viewport.
  TViewportRoot* PressRoot();
  void RotationAngleAxisChanged(int axis);
  void RecalcAbsolute();

  std::unique_ptr<TPosition3D> FPosition;
  std::unique_ptr<TPosition3D> FScale;
  std::unique_ptr<TPosition3D> FRotationAngle;
  std::unique_ptr<TPosition3D> FRotationCenter;
  TQuaternion3D FQuaternion;
  TPoint3D FSavedRotationAngle;
  TMatrix3D FLocalMatrix;
  TMatrix3D FAbsoluteMatrix;
  TMatrix3D FInvAbsoluteMatrix;
  bool FRecalcAbsolute = true;
  float FAbsoluteOpacity = 1;
  bool FRecalcOpacity = true;
  float FWidth = 1, FHeight = 1, FDepth = 1;
  bool FVisible = true;
  bool FHitTest = true;
  float FOpacity = 1;
  bool FZWrite = true;
  bool FOpaque = false;
  bool FTwoSide = false;
  TProjection FProjection = TProjection::Camera;
  bool FAutoCapture = false;
  bool FCanFocus = false;
  int FUpdating = 0;
  IViewport3D* FViewport = nullptr;
  TContext3D* FTempContext = nullptr;
  std::vector<TControl3D*> FRenderingList;
  bool FIsMouseOver = false;
  bool FPressed = false;
  bool FDoubleClick = false;
};

// Sorts 3D siblings for drawing: by material, opaque before translucent, far before near.
// Returns <0, 0 or >0 like a comparison.
int TRenderingCompare(TControl3D* left, TControl3D* right);
// Fills list with the 3D objects among children, in drawing order.
void SortRenderingList(const std::vector<TTreeObject*>& children, std::vector<TControl3D*>& list);

// Groups and places its children; draws nothing and is never hit.
class TDummy : public TControl3D {
 public:
  explicit TDummy(std::string name = {});
  bool RayCastIntersect(const TVector3D&, const TVector3D&, TVector3D&) override { return false; }
};

}  // namespace rt3d
