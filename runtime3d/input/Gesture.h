#pragma once
// Gesture-capable controls and how a gesture event finds its way to one: the interactive
// gestures a control accepts (its Touch settings), the program-wide registrations that
// decide which gestures the touch recognizer looks for, the gesture manager with its
// Sensitivity, and DispatchGesture, which walks a gesture up the control chain until
// someone handles it.

#include <array>
#include <cstdint>
#include <exception>
#include <functional>
#include <initializer_list>
#include <memory>
#include <vector>

#include "runtime3d/core/Types.h"

namespace rt3d {

enum class TInteractiveGesture : std::uint8_t {
  Zoom,
  Pan,
  Rotate,
  TwoFingerTap,
  PressAndTap,
  LongTap,
  DoubleTap,
};
inline constexpr int InteractiveGestureCount = 7;

// The identifier a gesture is delivered with: 259 + its ordinal.
constexpr std::int16_t GestureIDOf(TInteractiveGesture gesture) {
  return static_cast<std::int16_t>(igiZoom + static_cast<int>(gesture));
}

class TInteractiveGestures {
 public:
  constexpr TInteractiveGestures() = default;
  constexpr TInteractiveGestures(std::initializer_list<TInteractiveGesture> gestures) {
    for (TInteractiveGesture g : gestures) Include(g);
  }
  constexpr bool Contains(TInteractiveGesture g) const { return (FBits & Bit(g)) != 0; }
  constexpr void Include(TInteractiveGesture g) { FBits |= Bit(g); }
  constexpr void Exclude(TInteractiveGesture g) { FBits &= static_cast<std::uint8_t>(~Bit(g)); }
  constexpr bool Empty() const { return FBits == 0; }
  friend constexpr bool operator==(TInteractiveGestures, TInteractiveGestures) = default;

 private:
  static constexpr std::uint8_t Bit(TInteractiveGesture g) {
    return static_cast<std::uint8_t>(1u << static_cast<int>(g));
  }
  std::uint8_t FBits = 0;
};

// Counts, per gesture, how many controls accept it. The touch recognizer only looks for
// gestures somebody accepts (the enabled set).
class TGestureRegistry {
 public:
  static TGestureRegistry& Program();
  void Register(TInteractiveGesture gesture);
  void Unregister(TInteractiveGesture gesture);
  TInteractiveGestures Enabled() const;

 private:
  std::array<int, InteractiveGestureCount> FCounts{};
};

class TGestureControl;

// Keeps one gesture collection per registered control (for drawn standard gestures, which
// this program selects none of) and the program-wide Sensitivity.
class TGestureManager {
 public:
  TGestureManager() = default;
  ~TGestureManager();
  TGestureManager(const TGestureManager&) = delete;
  TGestureManager& operator=(const TGestureManager&) = delete;

  // One value for the whole program, whichever manager it is read or written through.
  int Sensitivity() const { return FSensitivity; }
  // Rounds to an integer (halves to even) first; outside 1..100 raises EInvalidArgument
  // and keeps the old value.
  void SetSensitivity(double value);

  bool IsRegistered(const TGestureControl* control) const;
  std::size_t RegisteredCount() const { return FControls.size(); }

 private:
  friend class TTouchSettings;
  void RegisterControl(TGestureControl* control);
  void UnregisterControl(TGestureControl* control);

  static int FSensitivity;
  std::vector<TGestureControl*> FControls;
};

// A control's Touch settings.
class TTouchSettings {
 public:
  explicit TTouchSettings(TGestureControl& owner, TGestureRegistry& registry);
  ~TTouchSettings();
  TTouchSettings(const TTouchSettings&) = delete;
  TTouchSettings& operator=(const TTouchSettings&) = delete;

  TGestureManager* GestureManager() const { return FGestureManager; }
  void SetGestureManager(TGestureManager* manager);

  TInteractiveGestures InteractiveGestures() const { return FInteractiveGestures; }
  // Registers each newly accepted gesture and unregisters each dropped one.
  void SetInteractiveGestures(TInteractiveGestures gestures);

 private:
  friend class TGestureManager;
  TGestureControl& FOwner;
  TGestureRegistry& FRegistry;
  TGestureManager* FGestureManager = nullptr;
  TInteractiveGestures FInteractiveGestures;
};

using TGestureEvent =
    std::function<void(TGestureControl* sender, const TGestureEventInfo& info, bool& handled)>;

// Where failures of gesture handlers go. Delivery goes on after a failure, so the failure
// cannot simply be thrown through it; the default hands it to the event loop, which
// rethrows it on its next turn so that it reaches the application's error handler.
using TFailureSink = std::function<void(std::exception_ptr failure)>;
void SetGestureFailureSink(TFailureSink sink);
void ReportGestureFailure(std::exception_ptr failure);

// Every 2D control and window can take gestures; 3D objects cannot.
class TGestureControl {
 public:
  explicit TGestureControl(TGestureRegistry& registry = TGestureRegistry::Program());
  virtual ~TGestureControl();
  TGestureControl(const TGestureControl&) = delete;
  TGestureControl& operator=(const TGestureControl&) = delete;

  TTouchSettings& Touch() { return FTouch; }
  const TTouchSettings& Touch() const { return FTouch; }

  // The next gesture-capable control up the chain.
  virtual TGestureControl* GestureParent() const { return FGestureParent; }
  void SetGestureParent(TGestureControl* parent) { FGestureParent = parent; }

  // OnGesture, then the control's own handling, then (unless handled, and for any real
  // gesture) the parent's DispatchGesture. A failing handler is reported and counts as
  // not handled.
  void DispatchGesture(const TGestureEventInfo& info);

  TGestureEvent OnGesture;

  // A handle that turns null when the control is destroyed: the recognizer keeps the
  // control a gesture started on for as long as the gesture lasts.
  using TRef = std::shared_ptr<TGestureControl* const>;
  TRef Ref() const { return FSelf; }
  static TGestureControl* Get(const TRef& ref) { return ref ? *ref : nullptr; }

 protected:
  // The control's default handling; plain controls do nothing.
  virtual void DoGesture(const TGestureEventInfo& /*info*/, bool& /*handled*/) {}

 private:
  TTouchSettings FTouch;
  TGestureControl* FGestureParent = nullptr;
  std::shared_ptr<TGestureControl*> FSelf;
};

// The first control from `control` up through its parents that accepts the gesture.
TGestureControl* GestureTarget(TGestureControl* control, TInteractiveGesture gesture);

}  // namespace rt3d
