#pragma once
// What the animation clock stands on: a monotonic clock read in seconds and a repeating
// timer that calls back on the event thread. Both sit behind interfaces so tests can
// advance time by exact amounts and fire ticks by hand.

#include <functional>
#include <memory>

namespace rt3d {

class IAnimationClock {
 public:
  virtual ~IAnimationClock() = default;
  // Seconds since an arbitrary origin; only differences of readings mean anything.
  virtual double Now() const = 0;
};

class IAnimationTimer {
 public:
  virtual ~IAnimationTimer() = default;
  // (Re)starts the timer with a period in milliseconds. A platform that cannot give a
  // timer leaves it inactive: callers check IsActive afterwards.
  virtual void Start(int intervalMs) = 0;
  virtual void Stop() = 0;
  virtual bool IsActive() const = 0;
  // Called on every tick; exceptions thrown by it leave through the timer's event.
  virtual void SetCallback(std::function<void()> callback) = 0;
};

struct TAnimationPlatform {
  std::unique_ptr<IAnimationClock> Clock;
  std::unique_ptr<IAnimationTimer> Timer;
};

// QElapsedTimer and a precise QTimer on the thread that creates them.
TAnimationPlatform CreateQtAnimationPlatform();

}  // namespace rt3d
