#pragma once
// Scenes under a viewport root with a hand-driven animation clock: time moves only by the
// exact amounts a test gives, and each Tick delivers one timer event.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <exception>
#include <memory>
#include <vector>

#include "runtime3d/animation/AniThread.h"
#include "runtime3d/animation/Animation.h"
#include "runtime3d/animation/Animator.h"
#include "runtime3d/animation/ManualAnimationClock.h"
#include "runtime3d/core/Camera.h"
#include "runtime3d/core/Control3D.h"
#include "runtime3d/core/Exceptions.h"
#include "runtime3d/core/ViewportRoot.h"
#include "tests/runtime3d/core/FakeViewport.h"

namespace animtest {

using namespace rt3d;

using StubViewport = rt3d::testing::FakeViewport;

// Exceptions that escaped an event handler, as the application's notify catches them.
std::vector<std::exception_ptr>& CaughtByNotify();

class AnimationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TAniThread::SetPlatformFactory([this] {
      auto clock = std::make_unique<TManualAnimationClock>();
      auto timer = std::make_unique<TManualAnimationTimer>();
      timer->SetRefuse(RefuseTimer);
      Clock = clock.get();
      Timer = timer.get();
      return TAnimationPlatform{std::move(clock), std::move(timer)};
    });
  }

  void TearDown() override {
    Root.reset();
    FreeAnimationGlobals();
    TAniThread::SetPlatformFactory({});
    TAnimation::SetFrameRate(60);
    // Drop deferred calls a test left behind.
    QCoreApplication::processEvents();
  }

  // Moves time on by exactly `seconds` and delivers one timer tick (when the timer runs).
  void Tick(double seconds) {
    if (!Clock) return;
    Clock->Advance(seconds);
    Timer->Fire();
  }
  void Ticks(int count, double seconds) {
    for (int i = 0; i < count; ++i) Tick(seconds);
  }
  // Runs the event loop's deferred calls.
  static void RunDeferredCalls() { QCoreApplication::processEvents(); }

  template <typename T = TControl3D>
  T* Add(TTreeObject* parent, const std::string& name) {
    auto* object = new T(name);
    parent->AddObject(object);
    return object;
  }

  // A float animation as the scene stores one, not yet started.
  TFloatAnimation* AddAnimation(TTreeObject* parent, const std::string& property, float start,
                                float stop, float duration, bool loop = false) {
    auto* animation = new TFloatAnimation;
    parent->AddObject(animation);
    animation->SetPropertyName(property);
    animation->SetStartValue(start);
    animation->SetStopValue(stop);
    animation->SetDuration(duration);
    animation->SetLoop(loop);
    return animation;
  }

  // A body sphere with its stored spin or orbit: from its start angle to -360 and round.
  TFloatAnimation* AddSpin(TControl3D* sphere, float duration) {
    TFloatAnimation* spin = AddAnimation(sphere, "RotationAngle.Y", 0, -360, duration, true);
    spin->SetStartFromCurrent(true);
    return spin;
  }

  StubViewport Viewport;
  std::unique_ptr<TViewportRoot> Root = std::make_unique<TViewportRoot>(&Viewport);
  TManualAnimationClock* Clock = nullptr;
  TManualAnimationTimer* Timer = nullptr;
  bool RefuseTimer = false;
};

// The raw angle last written to RotationAngle.Y (the property reads back normalised).
inline float RawAngleY(const TControl3D& object) {
  return object.SavedRotationAngle().Y;
}

}  // namespace animtest
