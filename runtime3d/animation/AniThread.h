#pragma once
// The one clock every running animation shares: a repeating timer on the event thread
// that measures the time since its last tick and advances each animation by it. The
// timer runs only while some animation does.

#include <functional>
#include <memory>
#include <vector>

#include "runtime3d/animation/AnimationClock.h"

namespace rt3d {

class TAnimation;

using TAnimationPlatformFactory = std::function<TAnimationPlatform()>;

class TAniThread {
 public:
  TAniThread(std::unique_ptr<IAnimationClock> clock, std::unique_ptr<IAnimationTimer> timer);
  ~TAniThread();
  TAniThread(const TAniThread&) = delete;
  TAniThread& operator=(const TAniThread&) = delete;

  // The program's clock, or null before the first animation started.
  static TAniThread* Current();
  // The program's clock, made on first use from the installed platform (Qt by default).
  static TAniThread& Ensure();
  // Frees the program's clock (program end, or between tests). Animations still in its
  // list are left stopped. Not to be called from inside a tick.
  static void Free();
  // What the next clock is built on; an empty factory means the Qt timer and clock.
  static void SetPlatformFactory(TAnimationPlatformFactory factory);

  // The period for a frame rate: trunc(1000 / rate / 10) x 10 ms with the rate clamped
  // into 5..100, so 60 gives 10 ms; never 0.
  static int IntervalFor(int frameRate);

  int Interval() const { return FInterval; }
  bool Enabled() const { return FEnabled; }
  double Time() const { return FTime; }
  double DeltaTime() const { return FDeltaTime; }
  // Animations in the list.
  int Count() const { return FCount; }
  bool Contains(const TAnimation* animation) const;

  void Add(TAnimation* animation);
  void Remove(TAnimation* animation);

  // A held clock keeps its list and its timer, but its ticks advance nothing: the time it
  // is held is no animation's. Time counts again from the moment the hold ends, so each
  // running animation goes on from where it stood, and the first tick after brings it to
  // where it is at that tick, however late it comes. A window holds the clock until its
  // first frame is on screen, so that motion starts where the user can see it.
  bool Held() const { return FHeld; }
  void SetHeld(bool value);

  // A tick the timer owes (the thread was busy past its interval), taken now: a frame about
  // to be drawn then shows the animations as they are at that moment. Nothing when no tick
  // is due, when held, or during a tick.
  void CatchUp();

  // One tick: measure the elapsed time and advance every running animation by it.
  // An exception from one animation does not keep the others from their tick: the first
  // one is rethrown once the walk is over, with the clock consistent and still running.
  void AdvanceAll();

 private:
  void SetEnabled(bool value);
  void UpdateInterval();
  void Compact();

  std::unique_ptr<IAnimationClock> FClock;
  std::unique_ptr<IAnimationTimer> FTimer;
  // Animations that leave during a walk leave a null behind, removed after the walk, so
  // the walk never meets a freed animation and never visits one twice.
  std::vector<TAnimation*> FList;
  int FCount = 0;
  int FWalking = 0;
  int FInterval = 1000;
  bool FEnabled = false;
  bool FHeld = false;
  double FTime = 0;
  double FDeltaTime = 0;
};

}  // namespace rt3d
