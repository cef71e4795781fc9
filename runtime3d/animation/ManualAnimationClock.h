#pragma once
// A clock and a timer driven by hand, for tests: time moves only when told, and a tick
// happens only when fired.

#include <utility>

#include "runtime3d/animation/AnimationClock.h"

namespace rt3d {

class TManualAnimationClock : public IAnimationClock {
 public:
  double Now() const override { return FNow; }
  void Advance(double seconds) { FNow += seconds; }
  void Set(double seconds) { FNow = seconds; }

 private:
  double FNow = 1000;
};

class TManualAnimationTimer : public IAnimationTimer {
 public:
  void Start(int intervalMs) override {
    FActive = !FRefuse;
    if (FActive) FInterval = intervalMs;
  }
  void Stop() override { FActive = false; }
  bool IsActive() const override { return FActive; }
  void SetCallback(std::function<void()> callback) override { FCallback = std::move(callback); }

  // One tick, as the platform would deliver it while the timer runs.
  void Fire() {
    if (FActive && FCallback) FCallback();
  }
  int Interval() const { return FInterval; }
  // Behaves like a platform that has no timer to give.
  void SetRefuse(bool refuse) { FRefuse = refuse; }

 private:
  bool FActive = false;
  bool FRefuse = false;
  int FInterval = 0;
  std::function<void()> FCallback;
};

}  // namespace rt3d
