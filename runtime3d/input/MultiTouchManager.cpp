#include "runtime3d/input/MultiTouchManager.h"

#include <climits>
#include <cmath>

namespace rt3d {

namespace {

bool Known(const TPointF& p) {
  return !(p.X == -1 && p.Y == -1);
}

double DistanceBetween(const TPointF& a, const TPointF& b) {
  return std::hypot(double(a.X) - double(b.X), double(a.Y) - double(b.Y));
}

TPointF Midpoint(const TPointF& a, const TPointF& b) {
  return {float((double(a.X) + double(b.X)) / 2), float((double(a.Y) + double(b.Y)) / 2)};
}

}  // namespace

int RoundHalfToEven(double value) {
  if (!std::isfinite(value)) return 0;
  double whole = std::floor(value);
  const double fraction = value - whole;
  if (fraction > 0.5 || (fraction == 0.5 && std::fmod(whole, 2.0) != 0)) whole += 1;
  if (whole >= double(INT_MAX)) return INT_MAX;
  if (whole <= double(INT_MIN)) return INT_MIN;
  return static_cast<int>(whole);
}

TMultiTouchManager::TMultiTouchManager(THitTest hitTest, TGestureControl* window,
                                       const TTouchTimerFactory& timers, TGestureRegistry& registry)
    : FHitTest(std::move(hitTest)),
      FWindow(window ? window->Ref() : nullptr),
      FRegistry(registry),
      FDoubleTapTimer(timers([this] { DoubleTapTimeout(); })),
      FLongTapTimer(timers([this] { LongTapTimeout(); })) {}

TMultiTouchManager::~TMultiTouchManager() {
  FDoubleTapTimer->Stop();
  FLongTapTimer->Stop();
}

void TMultiTouchManager::ProcessFrame(const TTouchFrame& frame) {
  const std::size_t count = frame.Points.size();
  if (count == 0) {
    if (frame.Last) EndZoom();
    return;
  }
  FTouches = frame.Points;

  if (frame.Action == TTouchAction::Down) {
    THitObject under;
    if (FHitTest && count <= 2)
      under = FHitTest(count == 1 ? frame.Points[0] : Midpoint(frame.Points[0], frame.Points[1]));
    switch (under.Kind) {
      case THitObject::TKind::Control:
        FTouchDownControl = under.Control->Ref();
        break;
      case THitObject::TKind::Body:
        FTouchDownControl = nullptr;
        break;
      case THitObject::TKind::None:
        FTouchDownControl = FWindow;
        break;
    }
  }
  FEnabledInteractiveGestures = FRegistry.Enabled();
  FFirstPointer = frame.Points[0];
  // With one finger left the second keeps its last known place: a pinch's end event
  // still has a distance to report.
  if (count >= 2) FSecondPointer = frame.Points[1];

  switch (frame.Action) {
    case TTouchAction::Down:
      Down(count);
      break;
    case TTouchAction::Move:
      Move(count);
      break;
    case TTouchAction::Up:
      Up(count, frame.Last);
      break;
  }

  FOldPoint1 = frame.Points[0];
  FOldPoint2 = count >= 2 ? frame.Points[1] : NoPoint;
}

void TMultiTouchManager::Down(std::size_t count) {
  if (count == 1) {
    FFirstPointerDownCoordinates = FFirstPointer;
    // Not restarted by the second tap: both taps must fit in one period from the first.
    if (Enabled(TInteractiveGesture::DoubleTap) && !FDoubleTapTimer->IsActive()) {
      FDblTapFirstTouchUp = false;
      FDoubleTapTimer->Start(DoubleTapTime);
    }
    if (Enabled(TInteractiveGesture::LongTap)) FLongTapTimer->Start(LongTapTime);
    return;
  }
  // A second finger makes it something other than a tap; a two-finger tap would
  // otherwise count as the two releases of a double tap.
  CancelTaps();
  if (count >= 3) EndZoom();
}

void TMultiTouchManager::Move(std::size_t count) {
  if (count == 1) {
    if (Known(FOldPoint1) && DistanceBetween(FOldPoint1, FFirstPointer) > FTapTolerance)
      CancelTaps();
    EndZoom();
    return;
  }
  CancelTaps();
  if (count != 2) return;
  if (FActiveInteractiveGestures.Contains(TInteractiveGesture::Zoom)) {
    if (RecognizeZoom()) SendZoom(false);
  } else if (Enabled(TInteractiveGesture::Zoom) && RecognizeZoom()) {
    SendZoom(false);
  }
}

void TMultiTouchManager::Up(std::size_t count, bool last) {
  FLongTapTimer->Stop();
  if (FDoubleTapTimer->IsActive()) {
    if (FDblTapFirstTouchUp) {
      FDoubleTapTimer->Stop();
      FDblTapFirstTouchUp = false;
      // FTouchDownControl is what lay under the second tap.
      Send(TInteractiveGesture::DoubleTap, FFirstPointer, 0, false);
    } else {
      FDblTapFirstTouchUp = true;
    }
  }
  if (count == 1 || last) EndZoom();
}

bool TMultiTouchManager::RecognizeZoom() const {
  if (!Known(FOldPoint1) || !Known(FOldPoint2)) return false;
  const double d = DistanceBetween(FFirstPointer, FSecondPointer);
  const double previous = DistanceBetween(FOldPoint1, FOldPoint2);
  return d > 2 && std::abs(d - previous) > 2;
}

void TMultiTouchManager::SendZoom(bool ending) {
  const int distance = RoundHalfToEven(DistanceBetween(FFirstPointer, FSecondPointer));
  const bool sent =
      Send(TInteractiveGesture::Zoom, Midpoint(FFirstPointer, FSecondPointer), distance, ending);
  if (ending)
    FActiveInteractiveGestures.Exclude(TInteractiveGesture::Zoom);
  else if (sent)
    FActiveInteractiveGestures.Include(TInteractiveGesture::Zoom);
}

void TMultiTouchManager::EndZoom() {
  if (FActiveInteractiveGestures.Contains(TInteractiveGesture::Zoom)) SendZoom(true);
}

void TMultiTouchManager::CancelTaps() {
  FDoubleTapTimer->Stop();
  FDblTapFirstTouchUp = false;
  FLongTapTimer->Stop();
}

void TMultiTouchManager::DoubleTapTimeout() {
  FDoubleTapTimer->Stop();
  FDblTapFirstTouchUp = false;
}

void TMultiTouchManager::LongTapTimeout() {
  FLongTapTimer->Stop();
  Send(TInteractiveGesture::LongTap, FFirstPointerDownCoordinates, 0, false);
}

TGestureControl* TMultiTouchManager::TouchDownControl() const {
  return TGestureControl::Get(FTouchDownControl);
}

bool TMultiTouchManager::Send(TInteractiveGesture gesture, TPointF location, int distance,
                              bool ending) {
  TGestureEventInfo info;
  info.GestureID = GestureIDOf(gesture);
  info.Location = location;
  info.Distance = distance;
  const bool begin = !FActiveInteractiveGestures.Contains(gesture);
  info.Flags = begin ? gfBegin : ending ? gfEnd : 0;
  if (begin) {
    TGestureControl* target = GestureTarget(TouchDownControl(), gesture);
    FGestureControl = target ? target->Ref() : nullptr;
  }
  // Cleared before delivery so that the recognizer is consistent whatever the handler does.
  TGestureControl* target = GestureControl();
  if (ending) FGestureControl = nullptr;
  if (!target) return false;
  target->DispatchGesture(info);
  return true;
}

}  // namespace rt3d
