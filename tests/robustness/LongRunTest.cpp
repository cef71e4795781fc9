// A day of animation on the real scene, driven by a hand-advanced clock in timer-sized
// steps: the angles stay readable, the orbits stay round and nothing piles up in memory.

#include <QCoreApplication>

#include <array>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <random>

#include "Viewer.h"
#include "runtime3d/animation/AniThread.h"
#include "runtime3d/animation/Animator.h"
#include "runtime3d/animation/ManualAnimationClock.h"

using namespace robustness;

namespace {

// Resident memory of this process in KiB.
long ResidentKiB() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
  }
  return -1;
}

long CountObjects(const rt3d::TTreeObject& object) {
  long count = 1;
  for (const rt3d::TTreeObject* child : object.Children()) count += CountObjects(*child);
  return count;
}

class LongRun : public TManualClockTest {
 protected:
};

}  // namespace

TEST_F(LongRun, ADayOfAnimationKeepsAnglesOrbitsAndMemory) {
  ShownErrors().clear();
  // Hidden: a hidden window asks for no frames, so the day passes in seconds. What is
  // exercised is the animation and transform path every frame depends on.
  TViewer program(false);
  TMainWindow& viewer = program.Window();
  ASSERT_NE(FTimer, nullptr) << "the animations did not start on the test clock";

  std::mt19937 random(7);
  // Timer ticks arrive about every 10 ms, a little early or late, and now and then one
  // comes very late, as when the machine was busy. Between the first and the last hour the
  // machine is taken to be loaded, ticking ten times slower: a whole day of 10 ms ticks
  // would take the test a quarter of a minute, and the hours compared for memory both
  // tick at the full rate.
  std::uniform_real_distribution<double> jitter(-0.003, 0.003);
  double period = 0.010;
  std::bernoulli_distribution stall(0.0005);
  std::uniform_real_distribution<double> stallLength(0.05, 2.0);

  double simulated = 0;
  long ticks = 0;
  // Someone switches "Auto-rotate" off now and then and back on a while later; each
  // restart runs from the angle reached.
  double nextSwitch = 997;
  int switches = 0;
  auto advanceTo = [&](double until) {
    while (simulated < until) {
      const double step = stall(random) ? stallLength(random) : period * (1 + 100 * jitter(random));
      FClock->Advance(step);
      simulated += step;
      FTimer->Fire();
      ++ticks;
      if (simulated >= nextSwitch) {
        viewer.Actions().AutoRotate->trigger();
        ++switches;
        nextSwitch += viewer.Actions().AutoRotate->isChecked() ? 1409 : 61;
      }
      if (ticks % 60000 == 0) {
        // Deferred calls (the opening zoom's free) run on the event loop.
        QCoreApplication::processEvents();
        const std::array<float, 5> angles = BodyAngles(viewer);
        for (float angle : angles) {
          ASSERT_TRUE(std::isfinite(angle) && angle >= 0 && angle < 360)
              << angle << " after " << simulated << " s";
        }
        ASSERT_TRUE(OrbitsKeepTheirRadii(viewer)) << "after " << simulated << " s";
      }
    }
  };

  advanceTo(3600);
  QCoreApplication::processEvents();
  EXPECT_FLOAT_EQ(viewer.Scene().Camera->Position().Z(), -15)
      << "the opening zoom ended where it goes";
  ASSERT_NE(rt3d::TAniThread::Current(), nullptr);
  const int animationsAfterAnHour = rt3d::TAniThread::Current()->Count();
  const long objectsAfterAnHour = CountObjects(*viewer.View()->Root());
  const long memoryAfterAnHour = ResidentKiB();

  period = 0.100;
  advanceTo(23 * 3600);
  period = 0.010;
  advanceTo(24 * 3600);
  if (!viewer.Actions().AutoRotate->isChecked()) viewer.Actions().AutoRotate->trigger();
  QCoreApplication::processEvents();
  std::printf(
      "Long run: %.0f s of animation in %ld ticks, Auto-rotate switched %d times; resident "
      "memory %ld KiB after 1 h, %ld KiB after 24 h\n",
      simulated, ticks, switches, memoryAfterAnHour, ResidentKiB());

  EXPECT_TRUE(ShownErrors().empty()) << ShownErrors().front().toStdString();
  EXPECT_EQ(rt3d::TAniThread::Current()->Count(), animationsAfterAnHour);
  EXPECT_EQ(rt3d::TAniThread::Current()->Count(), 5) << "the opening zoom was freed";
  EXPECT_EQ(CountObjects(*viewer.View()->Root()), objectsAfterAnHour);
  // A leak of even a few bytes per tick would show: a million ticks lie between the two.
  EXPECT_LT(ResidentKiB() - memoryAfterAnHour, 2048) << "resident memory grew";
  for (rt3d::TFloatAnimation* animation : viewer.Scene().BodyAnimations) {
    EXPECT_TRUE(animation->Running()) << animation->Name();
  }
  EXPECT_TRUE(OrbitsKeepTheirRadii(viewer));
  EXPECT_TRUE(RigIsRotation(viewer));

  // Still turning after a day: a run goes from the angle it started at down to -360 in a
  // minute, so a quarter second moves the planet by 1.5 to 3 degrees.
  const float before = viewer.Scene().Bodies[orvanth::TBodyId::Orvanth]->RotationAngle().Y();
  for (int i = 0; i < 25; ++i) {
    FClock->Advance(0.010);
    FTimer->Fire();
  }
  float moved = before - viewer.Scene().Bodies[orvanth::TBodyId::Orvanth]->RotationAngle().Y();
  if (moved < 0) moved += 360;
  EXPECT_TRUE(moved >= 1.5f - 0.01f && moved <= 3.0f + 0.01f) << moved << " from " << before;
}
