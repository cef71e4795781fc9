#include "runtime3d/core/Control3D.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

#include "runtime3d/core/Camera.h"
#include "runtime3d/core/Context3D.h"
#include "runtime3d/core/ViewportRoot.h"

namespace rt3d {

namespace {

// Near-identity factors are left out of the local matrix.
constexpr double kScaleTolerance = 0.0001;
constexpr double kAngleTolerance = 0.0001;
constexpr double kCenterTolerance = 0.001;
constexpr double kPositionTolerance = 0.001;

TPoint3D UnitAxis(int axis) {
  TPoint3D a;
  a[axis] = 1;
  return a;
}

// The angle reaches the quaternion as a 32-bit float, which is what makes the stored
// orientation texts come out as they do (45 degrees gives 0.382683455944061).
TQuaternion3D AxisDelta(int axis, float deltaDegrees) {
  return TQuaternion3D::Create(UnitAxis(axis), float((long double)deltaDegrees * kDegToRad));
}

}  // namespace

extern TControl3D* gPressedObject;

TControl3D::TControl3D(std::string name)
    : TTreeObject(std::move(name)),
      FPosition(std::make_unique<TPosition3D>()),
      FScale(std::make_unique<TPosition3D>(TPoint3D{1, 1, 1})),
      FRotationAngle(std::make_unique<TPosition3D>()),
      FRotationCenter(std::make_unique<TPosition3D>()) {
  FPosition->OnChange = [this] { RebuildLocalMatrix(); };
  FScale->OnChange = [this] { RebuildLocalMatrix(); };
  FRotationCenter->OnChange = [this] { RebuildLocalMatrix(); };
  // The orientation adds up the differences between writes: a NaN or infinite angle
  // would stay in it until every angle came back to zero.
  FRotationAngle->SetFiniteOnly(true);
  FRotationAngle->OnChange = [this] { RotationAnglePointChanged(); };
  FRotationAngle->OnChangeX = [this] { RotationAngleXChanged(); };
  FRotationAngle->OnChangeY = [this] { RotationAngleYChanged(); };
  FRotationAngle->OnChangeZ = [this] { RotationAngleZChanged(); };
}

TControl3D::~TControl3D() {
  BeginDestroy();
  if (gPressedObject == this) gPressedObject = nullptr;
  // Children go first, while this object can still answer their questions; then leave the
  // parent while it can still see that a 3D object is leaving.
  while (!Children().empty()) delete Children().back();
  if (Parent()) Parent()->RemoveObject(this);
}

// --- Rotation -----------------------------------------------------------------------------

void TControl3D::RotationAngleAxisChanged(int axis) {
  const float v = FRotationAngle->Component(axis);
  const float delta = Wrap360((long double)v - FSavedRotationAngle[axis]);
  if (delta == 0) return;
  FQuaternion = FQuaternion * AxisDelta(axis, delta);
  RebuildLocalMatrix();
  FSavedRotationAngle[axis] = v;
  TPoint3D stored = FRotationAngle->Point();
  stored[axis] = Wrap360(v);
  FRotationAngle->SetPoint3DNoChange(stored);
}

void TControl3D::RotationAnglePointChanged() {
  TPoint3D p = FRotationAngle->Point();
  const TPoint3D raw = p;
  bool changed = false;
  for (int axis = 0; axis < 3; ++axis) {
    const float delta = Wrap360((long double)raw[axis] - FSavedRotationAngle[axis]);
    if (delta == 0) continue;
    FQuaternion = FQuaternion * AxisDelta(axis, delta);
    p[axis] = Wrap360(p[axis]);
    changed = true;
  }
  if (!changed) return;
  FSavedRotationAngle = raw;
  FRotationAngle->SetPoint3DNoChange(p);
  RebuildLocalMatrix();
}

void TControl3D::ResetRotationAngle() {
  FQuaternion = TQuaternion3D::Identity();
  RebuildLocalMatrix();
  FRotationAngle->SetPoint3DNoChange({});
  FSavedRotationAngle = {};
}

void TControl3D::CopyRotationFrom(const TControl3D& other) {
  FRotationAngle->SetPoint3DNoChange(other.RotationAngle().Point());
  FQuaternion = other.FQuaternion;
  RebuildLocalMatrix();
}

void TControl3D::RebuildLocalMatrix() {
  TMatrix3D m;
  const TPoint3D& s = FScale->Point();
  if (!SameValue(s.X, 1, kScaleTolerance) || !SameValue(s.Y, 1, kScaleTolerance) ||
      !SameValue(s.Z, 1, kScaleTolerance)) {
    m = m * TMatrix3D::CreateScaling(s);
  }
  const TPoint3D& a = FRotationAngle->Point();
  if (SameValue(a.X, 0, kAngleTolerance) && SameValue(a.Y, 0, kAngleTolerance) &&
      SameValue(a.Z, 0, kAngleTolerance)) {
    // All angles at zero: whatever the deltas added up to, the orientation snaps back.
    FSavedRotationAngle = {};
    FQuaternion = TQuaternion3D::Identity();
  } else {
    const TMatrix3D r = FQuaternion.ToMatrix();
    const TPoint3D& c = FRotationCenter->Point();
    if (SameValue(c.X, 0, kCenterTolerance) && SameValue(c.Y, 0, kCenterTolerance) &&
        SameValue(c.Z, 0, kCenterTolerance)) {
      m = m * r;
    } else {
      m = m * (TMatrix3D::CreateTranslation(-c) * r * TMatrix3D::CreateTranslation(c));
    }
  }
  const TPoint3D& p = FPosition->Point();
  if (!SameValue(p.X, 0, kPositionTolerance) || !SameValue(p.Y, 0, kPositionTolerance) ||
      !SameValue(p.Z, 0, kPositionTolerance)) {
    m = m * TMatrix3D::CreateTranslation(p);
  }
  FLocalMatrix = m;
  InvalidateAbsoluteMatrix();
  RebuildRenderingList();
  Repaint();
}

// --- "Quanternion" text -------------------------------------------------------------------

std::string TControl3D::QuaternionText() const {
  if (FQuaternion == TQuaternion3D::Identity()) return {};
  const float values[4] = {FQuaternion.ImagPart.X, FQuaternion.ImagPart.Y, FQuaternion.ImagPart.Z,
                           FQuaternion.RealPart};
  std::string text = "(";
  for (int i = 0; i < 4; ++i) {
    char buffer[32];
    // to_chars is locale-independent: the decimal separator is always ".".
    auto result = std::to_chars(buffer, buffer + sizeof buffer, double(values[i]),
                                std::chars_format::general, 15);
    if (i > 0) text += ',';
    text.append(buffer, result.ptr);
  }
  text += ')';
  return text;
}

void TControl3D::SetQuaternionText(std::string_view text) {
  // Pieces between the separators "(", "," and ")"; the first (before "(") is skipped.
  std::vector<std::string_view> pieces;
  size_t start = 0;
  for (size_t i = 0; i <= text.size(); ++i) {
    if (i == text.size() || text[i] == ',' || text[i] == '(' || text[i] == ')') {
      pieces.push_back(text.substr(start, i - start));
      start = i + 1;
    }
  }
  float* targets[4] = {&FQuaternion.ImagPart.X, &FQuaternion.ImagPart.Y, &FQuaternion.ImagPart.Z,
                       &FQuaternion.RealPart};
  for (int i = 0; i < 4; ++i) {
    if (size_t(i + 1) >= pieces.size()) return;
    std::string_view piece = pieces[i + 1];
    while (!piece.empty() && piece.front() == ' ') piece.remove_prefix(1);
    while (!piece.empty() && piece.back() == ' ') piece.remove_suffix(1);
    if (!piece.empty() && piece.front() == '+') piece.remove_prefix(1);
    float value = 0;
    auto result = std::from_chars(piece.data(), piece.data() + piece.size(), value);
    if (result.ec != std::errc() || result.ptr != piece.data() + piece.size() || piece.empty()) {
      return;
    }
    *targets[i] = value;
  }
}

// --- Absolute matrices and opacity --------------------------------------------------------

TControl3D* TControl3D::ParentControl3D() const {
  return dynamic_cast<TControl3D*>(Parent());
}

void TControl3D::RecalcAbsolute() {
  if (TControl3D* parent = ParentControl3D()) {
    FAbsoluteMatrix = FLocalMatrix * parent->AbsoluteMatrix();
  } else {
    FAbsoluteMatrix = FLocalMatrix;
  }
  FInvAbsoluteMatrix = FAbsoluteMatrix.Inverse();
  FRecalcAbsolute = false;
}

const TMatrix3D& TControl3D::AbsoluteMatrix() {
  if (FRecalcAbsolute) RecalcAbsolute();
  return FAbsoluteMatrix;
}

const TMatrix3D& TControl3D::InvertAbsoluteMatrix() {
  if (FRecalcAbsolute) RecalcAbsolute();
  return FInvAbsoluteMatrix;
}

float TControl3D::AbsoluteOpacity() {
  if (FRecalcOpacity) {
    const TControl3D* parent = ParentControl3D();
    FAbsoluteOpacity =
        parent ? float(double(FOpacity) * const_cast<TControl3D*>(parent)->AbsoluteOpacity())
               : FOpacity;
    FRecalcOpacity = false;
  }
  return FAbsoluteOpacity;
}

void TControl3D::InvalidateAbsoluteMatrix() {
  FRecalcAbsolute = true;
  for (TTreeObject* child : Children()) {
    if (auto* control = dynamic_cast<TControl3D*>(child)) control->InvalidateAbsoluteMatrix();
  }
}

void TControl3D::InvalidateAbsoluteOpacity() {
  FRecalcOpacity = true;
  for (TTreeObject* child : Children()) {
    if (auto* control = dynamic_cast<TControl3D*>(child)) control->InvalidateAbsoluteOpacity();
  }
}

TVector3D TControl3D::LocalToAbsoluteDirection(const TVector3D& v) {
  const TPoint3D p = (TVector3D{v.X, v.Y, v.Z, 0} * AbsoluteMatrix()).ToPoint3D();
  return TVector3D::Direction(Normalize(p));
}

TVector3D TControl3D::AbsoluteToLocalDirection(const TVector3D& v) {
  const TPoint3D p = (TVector3D{v.X, v.Y, v.Z, 0} * InvertAbsoluteMatrix()).ToPoint3D();
  return TVector3D::Direction(Normalize(p));
}

// --- Box size and flags --------------------------------------------------------------------

void TControl3D::SetWidth(float value) {
  if (FWidth == value) return;
  FWidth = value;
  BoxSizeChanged();
  if (!IsLoading()) Repaint();
}

void TControl3D::SetHeight(float value) {
  if (FHeight == value) return;
  FHeight = value;
  BoxSizeChanged();
  if (!IsLoading()) Repaint();
}

void TControl3D::SetDepth(float value) {
  if (FDepth == value) return;
  FDepth = value;
  BoxSizeChanged();
  if (!IsLoading()) Repaint();
}

void TControl3D::SetSize(float width, float height, float depth) {
  if (FWidth == width && FHeight == height && FDepth == depth) return;
  SetWidth(width);
  SetHeight(height);
  SetDepth(depth);
}

void TControl3D::SetVisible(bool value) {
  if (FVisible == value) return;
  Repaint();
  FVisible = value;
  Repaint();
}

void TControl3D::SetOpacity(float value) {
  if (std::isnan(value)) return;  // would poison every absolute opacity below
  value = std::clamp(value, 0.0f, 1.0f);
  if (FOpacity == value) return;
  FOpacity = value;
  InvalidateAbsoluteOpacity();
  Repaint();
}

void TControl3D::SetZWrite(bool value) {
  if (FZWrite == value) return;
  FZWrite = value;
  Repaint();
}

void TControl3D::SetOpaque(bool value) {
  if (FOpaque == value) return;
  FOpaque = value;
  Repaint();
}

void TControl3D::SetTwoSide(bool value) {
  if (FTwoSide == value) return;
  FTwoSide = value;
  Repaint();
}

void TControl3D::SetProjection(TProjection value) {
  if (FProjection == value) return;
  FProjection = value;
  Repaint();
}

void TControl3D::Repaint() {
  if (!FVisible || !FViewport || IsDestroying() || FUpdating > 0) return;
  FViewport->RequestViewportRedraw();
}

void TControl3D::EndUpdate() {
  if (FUpdating > 0 && --FUpdating == 0) {
    RebuildRenderingList();
    Repaint();
  }
}

// --- Tree ---------------------------------------------------------------------------------

TContext3D* TControl3D::Context() const {
  if (FTempContext) return FTempContext;
  return FViewport ? FViewport->Context() : nullptr;
}

void TControl3D::SetNewViewport(IViewport3D* viewport) {
  FViewport = viewport;
  for (TTreeObject* child : Children()) {
    if (auto* control = dynamic_cast<TControl3D*>(child)) control->SetNewViewport(viewport);
  }
}

void TControl3D::ParentChanged() {
  IViewport3D* viewport = nullptr;
  if (TControl3D* parent = ParentControl3D()) {
    viewport = parent->Viewport();
  } else if (auto* root = dynamic_cast<TViewportRoot*>(Parent())) {
    viewport = root->Viewport();
  }
  if (viewport != FViewport) SetNewViewport(viewport);
  InvalidateAbsoluteMatrix();
  InvalidateAbsoluteOpacity();
}

void TControl3D::ChildAdded(TTreeObject* child) {
  if (dynamic_cast<TControl3D*>(child)) RebuildRenderingList();
}

void TControl3D::ChildRemoved(TTreeObject* child) {
  std::erase_if(FRenderingList, [child](TControl3D* c) { return c == child; });
  if (IsDestroying()) return;
  RebuildRenderingList();
  Repaint();
}

void TControl3D::Loaded() {
  RebuildLocalMatrix();
}

void TControl3D::RebuildRenderingList() {
  if (FUpdating > 0) return;
  SortRenderingList(Children(), FRenderingList);
}

const TPropertyInfo* TControl3D::FindProperty(std::string_view name) const {
  static constexpr TPropertyInfo kProperties[] = {
      {"Position", nullptr, nullptr,
       [](TPersistent& o) -> TPersistent* { return &static_cast<TControl3D&>(o).Position(); }},
      {"Scale", nullptr, nullptr,
       [](TPersistent& o) -> TPersistent* { return &static_cast<TControl3D&>(o).Scale(); }},
      {"RotationAngle", nullptr, nullptr,
       [](TPersistent& o) -> TPersistent* { return &static_cast<TControl3D&>(o).RotationAngle(); }},
      {"RotationCenter", nullptr, nullptr,
       [](TPersistent& o) -> TPersistent* {
         return &static_cast<TControl3D&>(o).RotationCenter();
       }},
      {"Opacity", [](const TPersistent& o) { return static_cast<const TControl3D&>(o).Opacity(); },
       [](TPersistent& o, float v) { static_cast<TControl3D&>(o).SetOpacity(v); }},
      {"Width", [](const TPersistent& o) { return static_cast<const TControl3D&>(o).Width(); },
       [](TPersistent& o, float v) { static_cast<TControl3D&>(o).SetWidth(v); }},
      {"Height", [](const TPersistent& o) { return static_cast<const TControl3D&>(o).Height(); },
       [](TPersistent& o, float v) { static_cast<TControl3D&>(o).SetHeight(v); }},
      {"Depth", [](const TPersistent& o) { return static_cast<const TControl3D&>(o).Depth(); },
       [](TPersistent& o, float v) { static_cast<TControl3D&>(o).SetDepth(v); }},
  };
  if (const TPropertyInfo* info = FindPropertyIn(kProperties, name)) return info;
  return TTreeObject::FindProperty(name);
}

// --- Drawing ------------------------------------------------------------------------------

void TControl3D::RenderInternal(TContext3D& context) {
  context.SetMatrix(AbsoluteMatrix());
  TRenderState state;
  state.DepthWrite = state.DepthTest = FZWrite;
  state.Faces = FTwoSide ? TFaceCulling::ShowAll : TFaceCulling::ShowFront;
  // Blending a pixel of alpha 1 leaves nothing of what was behind it: drawn without blending,
  // the picture is the same and every pixel costs less.
  state.Blend = !(FOpaque || GivesOpaquePixels());
  context.SetRenderState(state);
  Render(context);
  if (OnRender) OnRender(this, context);
  RenderChildren(context);
}

bool TControl3D::GivesOpaquePixels() {
  const IMaterial* material = RenderingMaterial();
  return material && material->IsOpaque() && AbsoluteOpacity() >= 1;
}

void TControl3D::RenderChildren(TContext3D& context) {
  for (TControl3D* child : FRenderingList) {
    if (child->Visible()) child->RenderInternal(context);
  }
}

// --- Drawing order ------------------------------------------------------------------------

int TRenderingCompare(TControl3D* left, TControl3D* right) {
  IMaterial* a = left->RenderingMaterial();
  IMaterial* b = right->RenderingMaterial();
  if (a != b) return std::less<IMaterial*>()(a, b) ? -1 : 1;
  if (!left->ZWrite() || !right->ZWrite()) return 0;
  const bool leftTranslucent = left->Opacity() < 1;
  const bool rightTranslucent = right->Opacity() < 1;
  if (leftTranslucent && !rightTranslucent) return 1;
  if (!leftTranslucent && rightTranslucent) return -1;
  TContext3D* context = left->Context();
  if (!context || !right->Context()) return 0;
  const TMatrix3D& camera = context->CurrentCameraMatrix();
  const TPoint3D eye{camera[3][0], camera[3][1], camera[3][2]};
  const double dL = Distance(left->AbsolutePosition().XYZ(), eye);
  const double dR = Distance(right->AbsolutePosition().XYZ(), eye);
  if (std::isnan(dL) && std::isnan(dR)) return 0;
  if (std::isnan(dR)) return 1;
  if (std::isnan(dL)) return -1;
  return int(std::trunc(dR - dL));
}

void SortRenderingList(const std::vector<TTreeObject*>& children, std::vector<TControl3D*>& list) {
  list.clear();
  for (TTreeObject* child : children) {
    if (auto* control = dynamic_cast<TControl3D*>(child)) list.push_back(control);
  }
  if (list.size() < 2) return;
  // A merge sort stays memory-safe even though the comparison is not a strict ordering
  // (distances closer than 1 compare equal).
  std::stable_sort(list.begin(), list.end(),
                   [](TControl3D* l, TControl3D* r) { return TRenderingCompare(l, r) < 0; });
}

// --- TDummy ---------------------------------------------------------------------------------

TDummy::TDummy(std::string name) : TControl3D(std::move(name)) {
  SetHitTest(false);
}

}  // namespace rt3d
