#pragma once
// The touch recognizer: turns a stream of touch frames into the pinch (Zoom), double-tap
// and long-tap gestures and sends them to the gesture-capable control they started on.
// It knows nothing of the windowing system: frames, timers and "what is under this point"
// come in through small interfaces, so every rule can be driven step by step.

#include <functional>
#include <memory>
#include <vector>

#include "runtime3d/input/Gesture.h"

namespace rt3d {

enum class TTouchAction { Down, Move, Up };

// One touch message: every finger it reports (the first two in the order they went down),
// in window client coordinates, logical pixels.
struct TTouchFrame {
  TTouchAction Action = TTouchAction::Move;
  std::vector<TPointF> Points;
  // No finger is left on the screen after this frame (also set when the platform cancels
  // the touch): whatever gesture is still running ends here.
  bool Last = false;
};

// What lies under a touch point.
struct THitObject {
  enum class TKind { None, Body, Control };
  TKind Kind = TKind::None;
  TGestureControl* Control = nullptr;

  static THitObject Nothing() { return {}; }
  // A 3D object: it cannot take gestures, and a gesture starting on it goes nowhere.
  static THitObject Body() { return {TKind::Body, nullptr}; }
  static THitObject Of(TGestureControl* control) {
    return control ? THitObject{TKind::Control, control} : THitObject{};
  }
};
using THitTest = std::function<THitObject(const TPointF& clientPoint)>;

// A one-shot timer of the event loop.
class ITouchTimer {
 public:
  virtual ~ITouchTimer() = default;
  virtual void Start(int milliseconds) = 0;
  virtual void Stop() = 0;
  virtual bool IsActive() const = 0;
};
using TTouchTimerFactory =
    std::function<std::unique_ptr<ITouchTimer>(std::function<void()> onTimeout)>;

class TMultiTouchManager {
 public:
  static constexpr int DoubleTapTime = 300;  // ms from the first touch to the second release
  static constexpr int LongTapTime = 500;

  // `window` takes a touch that lands on nothing; it may be null.
  TMultiTouchManager(THitTest hitTest, TGestureControl* window, const TTouchTimerFactory& timers,
                     TGestureRegistry& registry = TGestureRegistry::Program());
  ~TMultiTouchManager();
  TMultiTouchManager(const TMultiTouchManager&) = delete;
  TMultiTouchManager& operator=(const TMultiTouchManager&) = delete;

  // How far one finger may travel in one step and still be tapping: 10 device pixels,
  // in logical pixels.
  void SetTapTolerance(float logicalPixels) { FTapTolerance = logicalPixels; }
  float TapTolerance() const { return FTapTolerance; }
  void SetWindow(TGestureControl* window) { FWindow = window ? window->Ref() : nullptr; }

  void ProcessFrame(const TTouchFrame& frame);

  TInteractiveGestures ActiveGestures() const { return FActiveInteractiveGestures; }
  TGestureControl* GestureControl() const { return TGestureControl::Get(FGestureControl); }
  bool DoubleTapPending() const { return FDoubleTapTimer->IsActive(); }

 private:
  static constexpr TPointF NoPoint{-1, -1};

  void Down(std::size_t count);
  void Move(std::size_t count);
  void Up(std::size_t count, bool last);

  bool RecognizeZoom() const;
  void SendZoom(bool ending);
  void EndZoom();
  void CancelTaps();
  void DoubleTapTimeout();
  void LongTapTimeout();

  // Sends one recognised gesture; false when it had nowhere to go.
  bool Send(TInteractiveGesture gesture, TPointF location, int distance, bool ending);
  TGestureControl* TouchDownControl() const;
  bool Enabled(TInteractiveGesture g) const { return FEnabledInteractiveGestures.Contains(g); }

  THitTest FHitTest;
  TGestureControl::TRef FWindow;
  TGestureRegistry& FRegistry;
  float FTapTolerance = 10;

  std::vector<TPointF> FTouches;
  TPointF FFirstPointer = NoPoint;
  TPointF FSecondPointer = NoPoint;
  TPointF FOldPoint1 = NoPoint;
  TPointF FOldPoint2 = NoPoint;
  TPointF FFirstPointerDownCoordinates = NoPoint;
  TInteractiveGestures FActiveInteractiveGestures;
  TInteractiveGestures FEnabledInteractiveGestures;
  // Null for a touch that went down on a 3D object.
  TGestureControl::TRef FTouchDownControl;
  TGestureControl::TRef FGestureControl;
  std::unique_ptr<ITouchTimer> FDoubleTapTimer;
  std::unique_ptr<ITouchTimer> FLongTapTimer;
  bool FDblTapFirstTouchUp = false;
};

// Halves go to the even neighbour, as gesture distances are rounded.
int RoundHalfToEven(double value);

}  // namespace rt3d
