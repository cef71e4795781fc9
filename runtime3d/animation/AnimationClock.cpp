#include "runtime3d/animation/AnimationClock.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

namespace rt3d {

namespace {

class TQtAnimationClock : public IAnimationClock {
 public:
  TQtAnimationClock() { FElapsed.start(); }
  double Now() const override { return double(FElapsed.nsecsElapsed()) * 1e-9; }

 private:
  QElapsedTimer FElapsed;
};

class TQtAnimationTimer : public IAnimationTimer {
 public:
  TQtAnimationTimer() {
    // A coarse timer may fire up to 5% late; the clock measures real time anyway, but
    // a steady 10 ms gives smoother motion.
    FTimer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&FTimer, &QTimer::timeout, [this] {
      if (FCallback) FCallback();
    });
  }
  void Start(int intervalMs) override { FTimer.start(intervalMs); }
  void Stop() override { FTimer.stop(); }
  bool IsActive() const override { return FTimer.isActive(); }
  void SetCallback(std::function<void()> callback) override { FCallback = std::move(callback); }

 private:
  QTimer FTimer;
  std::function<void()> FCallback;
};

}  // namespace

TAnimationPlatform CreateQtAnimationPlatform() {
  return {std::make_unique<TQtAnimationClock>(), std::make_unique<TQtAnimationTimer>()};
}

}  // namespace rt3d
