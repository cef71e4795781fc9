#include <cmath>
#include <limits>
#include <random>

#include "AnimationFixture.h"

namespace animtest {
namespace {

// --- The stored spin and orbit animations ---------------------------------------------------

TEST_F(AnimationTest, PlanetSpinWritesMinusSixDegreesPerSecondAndWrapsToZero) {
  auto* planet = Add(Root.get(), "Planet");
  TFloatAnimation* spin = AddSpin(planet, 60);
  spin->Start();
  ASSERT_TRUE(spin->Running());

  for (int k = 1; k <= 119; ++k) {
    Tick(0.5);
    const float t = 0.5f * k;
    ASSERT_FLOAT_EQ(RawAngleY(*planet), -6 * t) << "raw angle at t = " << t;
    ASSERT_NEAR(planet->RotationAngle().Y(), Wrap360(-6.0L * t), 1e-3) << "read back at " << t;
  }
  // 59.5 s + 0.75 s crosses the end: the start value is written, the overshoot dropped.
  Tick(0.75);
  EXPECT_EQ(planet->RotationAngle().Y(), 0) << "the wrapping tick writes 0, not -360";
  EXPECT_EQ(spin->CurrentTime(), 0);
  Tick(0.5);
  EXPECT_FLOAT_EQ(RawAngleY(*planet), -3) << "the next turn starts from 0, no carry-over";
  EXPECT_TRUE(spin->Running());
}

TEST_F(AnimationTest, EuropaTurns405DegreesPerRunAndJumpsBackTo45) {
  auto* europa = Add(Root.get(), "Europa");
  europa->RotationAngle().SetY(45);
  const TQuaternion3D at45 = europa->Quaternion();
  TFloatAnimation* orbit = AddSpin(europa, 480);
  orbit->Start();
  EXPECT_EQ(orbit->StartValue(), 45) << "the start value is the sphere's angle at the start";

  for (int k = 1; k < 60; ++k) {
    Tick(8);
    ASSERT_NEAR(RawAngleY(*europa), 45 - 0.84375 * 8 * k, 1e-3) << "after " << 8 * k << " s";
  }
  EXPECT_NEAR(RawAngleY(*europa), -353.25, 1e-3);
  Tick(8);
  EXPECT_EQ(europa->RotationAngle().Y(), 45) << "back at 45 after 480 s";
  EXPECT_NEAR(europa->Quaternion().RealPart, at45.RealPart, 1e-5);
  EXPECT_NEAR(europa->Quaternion().ImagPart.Y, at45.ImagPart.Y, 1e-5);
  Tick(8);
  EXPECT_NEAR(RawAngleY(*europa), 45 - 6.75, 1e-3) << "the second run again covers 405 degrees";
}

TEST_F(AnimationTest, RestartTakesTheReadBackAngleAndKeepsTheOrientation) {
  struct Case {
    const char* name;
    bool stopFirst;
  };
  for (const Case& c :
       {Case{"StopAtCurrent then Start", true}, Case{"Start while running", false}}) {
    SCOPED_TRACE(c.name);
    auto* planet = Add(Root.get(), "Planet");
    TFloatAnimation* spin = AddSpin(planet, 60);
    int finished = 0;
    spin->OnFinish = [&](TTreeObject*) { ++finished; };
    spin->Start();
    Ticks(20, 0.5);
    ASSERT_FLOAT_EQ(RawAngleY(*planet), -60);
    const TQuaternion3D before = planet->Quaternion();

    if (c.stopFirst) {
      spin->StopAtCurrent();
      EXPECT_FALSE(spin->Running());
      EXPECT_FALSE(spin->Enabled());
      EXPECT_EQ(finished, 1);
      EXPECT_FLOAT_EQ(RawAngleY(*planet), -60) << "StopAtCurrent writes nothing";
      EXPECT_NE(spin->Instance(), nullptr) << "the resolution is kept";
      spin->StopAtCurrent();
      EXPECT_EQ(finished, 1) << "StopAtCurrent on a stopped animation does nothing";
      Ticks(10, 0.5);
      EXPECT_FLOAT_EQ(RawAngleY(*planet), -60) << "a stopped spin stays where it is";
    }

    spin->Start();
    EXPECT_TRUE(spin->Running());
    EXPECT_TRUE(spin->Enabled());
    EXPECT_FLOAT_EQ(spin->StartValue(), 300) << "the angle reads back in [0, 360)";
    EXPECT_EQ(planet->Quaternion(), before) << "the restart turns nothing";

    // From 300 down to -360: 660 degrees in one Duration.
    Ticks(60, 0.5);
    EXPECT_NEAR(RawAngleY(*planet), 300 - 660 * 0.5, 1e-3);
    Ticks(60, 0.5);
    EXPECT_FLOAT_EQ(planet->RotationAngle().Y(), 300) << "each wrap jumps back to 300";
    delete planet;
  }
}

TEST_F(AnimationTest, PlanetFrozenAt160TurnsFrom160ToMinus360InOneMinute) {
  auto* planet = Add(Root.get(), "Planet");
  TFloatAnimation* spin = AddSpin(planet, 60);
  spin->Start();
  Ticks(10, 1);
  spin->StopAtCurrent();
  planet->RotationAngle().SetY(160);

  spin->Start();
  Ticks(30, 1);
  EXPECT_NEAR(RawAngleY(*planet), 160 - 520 * 0.5, 1e-3) << "520 degrees a minute";
  Ticks(29, 1);
  EXPECT_NEAR(RawAngleY(*planet), 160 - 520 * 59 / 60.0, 1e-3);
  Tick(1);
  EXPECT_FLOAT_EQ(planet->RotationAngle().Y(), 160) << "loops back to 160";
}

TEST_F(AnimationTest, EnabledDuringLoadingOnlyStoresAndStartsWhenLoadingEnds) {
  auto* europa = Add(Root.get(), "Europa");
  TFloatAnimation* orbit = AddSpin(europa, 480);
  Root->BeginLoading();
  europa->RotationAngle().SetY(45);
  orbit->SetEnabled(true);
  EXPECT_TRUE(orbit->Enabled());
  EXPECT_FALSE(orbit->Running()) << "a stored switch does not start anything while loading";
  EXPECT_EQ(TAniThread::Current(), nullptr) << "no clock before the first start";

  Root->EndLoading();
  EXPECT_TRUE(orbit->Running());
  EXPECT_EQ(orbit->StartValue(), 45);
  ASSERT_NE(TAniThread::Current(), nullptr);
  EXPECT_TRUE(TAniThread::Current()->Enabled());
  Tick(8);
  EXPECT_NEAR(RawAngleY(*europa), 45 - 6.75, 1e-3);
}

TEST_F(AnimationTest, ObjectsAddedWhileLoadingAreLoadingToo) {
  // As the scene is built: the tree starts loading, then each body and its spin are made
  // and added, then their stored values are set.
  Root->BeginLoading();
  auto* europa = Add(Root.get(), "Europa");
  TFloatAnimation* orbit = AddSpin(europa, 480);
  europa->RotationAngle().SetY(45);
  orbit->SetEnabled(true);
  // A subtree built apart and added whole.
  auto* rig = new TDummy("Rig");
  auto* camera = Add<TCamera>(rig, "Camera");
  TFloatAnimation* zoom = AddAnimation(camera, "Position.Z", -38, -15, 3);
  Root->AddObject(rig);
  zoom->SetEnabled(true);

  for (TTreeObject* object : std::initializer_list<TTreeObject*>{europa, orbit, rig, camera, zoom})
    EXPECT_TRUE(object->IsLoading()) << object->Name();
  EXPECT_FALSE(orbit->Running()) << "enabled while loading: only stored";
  EXPECT_FALSE(zoom->Running());
  EXPECT_EQ(TAniThread::Current(), nullptr) << "nothing started before loading ends";

  Root->EndLoading();
  for (TTreeObject* object : std::initializer_list<TTreeObject*>{europa, orbit, rig, camera, zoom})
    EXPECT_FALSE(object->IsLoading()) << object->Name();
  EXPECT_TRUE(orbit->Running());
  EXPECT_EQ(orbit->StartValue(), 45) << "starts once, from the angle loading left";
  EXPECT_TRUE(zoom->Running());
  Tick(1.5);
  EXPECT_NEAR(RawAngleY(*europa), 45 - 405 * 1.5 / 480, 1e-3);
  EXPECT_FLOAT_EQ(camera->Position().Z(), -26.5f);

  // Added after loading: not loading, and enabling starts at once.
  auto* io = Add(Root.get(), "Io");
  TFloatAnimation* ioOrbit = AddSpin(io, 240);
  EXPECT_FALSE(io->IsLoading());
  ioOrbit->SetEnabled(true);
  EXPECT_TRUE(ioOrbit->Running());
}

TEST_F(AnimationTest, EnabledOutsideLoadingStartsAndStops) {
  auto* body = Add(Root.get(), "Body");
  TFloatAnimation* move = AddAnimation(body, "Position.X", 0, 10, 4);
  move->SetEnabled(true);
  EXPECT_TRUE(move->Running());
  Tick(1);
  EXPECT_FLOAT_EQ(body->Position().X(), 2.5f);
  move->SetEnabled(false);
  EXPECT_FALSE(move->Running());
  EXPECT_EQ(body->Position().X(), 10) << "switching off stops with the end value";
}

// --- Stopping, visibility and immediate completion ---------------------------------------

TEST_F(AnimationTest, HiddenParentStopsARunningAnimationWithItsEndValue) {
  auto* body = Add(Root.get(), "Body");
  TFloatAnimation* move = AddAnimation(body, "Position.X", 0, 10, 4, true);
  int finished = 0;
  move->OnFinish = [&](TTreeObject*) { ++finished; };
  move->Start();
  Tick(1);
  body->SetVisible(false);
  Tick(1);
  EXPECT_FALSE(move->Running());
  EXPECT_EQ(body->Position().X(), 10);
  EXPECT_EQ(finished, 1);
  EXPECT_FALSE(Timer->IsActive()) << "the clock goes idle with its list empty";
}

TEST_F(AnimationTest, HiddenParentKeepsStartFromStarting) {
  auto* body = Add(Root.get(), "Body");
  body->SetVisible(false);
  TFloatAnimation* move = AddAnimation(body, "Position.X", 3, 10, 4);
  move->Start();
  EXPECT_FALSE(move->Running());
  EXPECT_EQ(body->Position().X(), 0) << "nothing is written";
}

TEST_F(AnimationTest, RunCompletesInsideStartWhenTooShortOrNotUnderAWindow) {
  struct Case {
    const char* name;
    float duration;
    bool underWindow;
    bool inverse;
    float expected;
  };
  const Case cases[] = {
      {"duration below 1 ms", 0.0005f, true, false, 10},
      {"zero duration", 0, true, false, 10},
      {"negative tiny duration", -0.0002f, true, false, 10},
      {"not under a window", 4, false, false, 10},
      {"inverse, below 1 ms", 0.0005f, true, true, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Root->SetInWindow(c.underWindow);
    auto* body = Add(Root.get(), "Body");
    TFloatAnimation* move = AddAnimation(body, "Position.X", 3, 10, c.duration);
    move->SetInverse(c.inverse);
    int processed = 0, finished = 0;
    move->OnProcess = [&](TTreeObject*) { ++processed; };
    move->OnFinish = [&](TTreeObject* sender) {
      ++finished;
      EXPECT_FALSE(static_cast<TAnimation*>(sender)->Running());
    };
    move->Start();
    EXPECT_EQ(body->Position().X(), c.expected);
    EXPECT_FALSE(move->Running());
    EXPECT_EQ(processed, 1);
    EXPECT_EQ(finished, 1);
    EXPECT_EQ(move->Duration(), c.duration) << "the duration is put back";
    EXPECT_EQ(move->CurrentTime(), 0);
    EXPECT_TRUE(!TAniThread::Current() || TAniThread::Current()->Count() == 0);
    delete body;
  }
}

TEST_F(AnimationTest, TimerThatCannotBeHadEndsTheRunAtOnce) {
  RefuseTimer = true;
  auto* body = Add(Root.get(), "Body");
  TFloatAnimation* move = AddAnimation(body, "Position.X", 0, 10, 4);
  int finished = 0;
  move->OnFinish = [&](TTreeObject*) { ++finished; };
  move->Start();
  EXPECT_FALSE(move->Running());
  EXPECT_EQ(body->Position().X(), 10);
  EXPECT_EQ(finished, 1);
  EXPECT_EQ(TAniThread::Current()->Count(), 0);
}

// --- Delay, reversing, inverse, pause ------------------------------------------------------

TEST_F(AnimationTest, DelayWaitsThenDrawsTheFirstFrame) {
  auto* body = Add(Root.get(), "Body");
  TFloatAnimation* move = AddAnimation(body, "Position.X", 5, 10, 2);
  move->SetDelay(1);
  move->Start();
  EXPECT_EQ(body->Position().X(), 0) << "nothing before the delay runs out";
  EXPECT_EQ(move->NormalizedTime(), 0);
  Tick(0.5);
  EXPECT_EQ(body->Position().X(), 0);
  Tick(0.75);
  EXPECT_EQ(body->Position().X(), 5) << "the tick that ends the delay draws the first frame";
  Tick(1);
  EXPECT_FLOAT_EQ(body->Position().X(), 7.5f);
  Tick(1);
  EXPECT_EQ(body->Position().X(), 10);
  EXPECT_FALSE(move->Running());
}

TEST_F(AnimationTest, StopDuringTheDelayWritesTheEndValue) {
  auto* body = Add(Root.get(), "Body");
  TFloatAnimation* move = AddAnimation(body, "Position.X", 5, 10, 2);
  move->SetDelay(1);
  move->Start();
  Tick(0.5);
  move->Stop();
  EXPECT_EQ(body->Position().X(), 10);
}

TEST_F(AnimationTest, ReversingAndInverseRuns) {
  struct Case {
    const char* name;
    bool loop, autoReverse, inverse;
    std::vector<float> expected;  // X after each 1 s tick of a 2 s run from 0 to 10
    bool runningAtEnd;
  };
  const Case cases[] = {
      {"forward", false, false, false, {5, 10}, false},
      {"inverse", false, false, true, {5, 0}, false},
      {"auto-reverse once", false, true, false, {5, 10, 5, 0}, false},
      {"looping auto-reverse", true, true, false, {5, 10, 5, 0, 5, 10, 5}, true},
      {"looping inverse", true, false, true, {5, 10, 5, 10}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto* body = Add(Root.get(), "Body");
    TFloatAnimation* move = AddAnimation(body, "Position.X", 0, 10, 2, c.loop);
    move->SetAutoReverse(c.autoReverse);
    move->SetInverse(c.inverse);
    move->Start();
    EXPECT_EQ(body->Position().X(), c.inverse ? 10 : 0) << "first frame";
    for (size_t i = 0; i < c.expected.size(); ++i) {
      Tick(1);
      EXPECT_FLOAT_EQ(body->Position().X(), c.expected[i]) << "after tick " << i + 1;
    }
    EXPECT_EQ(move->Running(), c.runningAtEnd);
    if (!c.runningAtEnd) {
      EXPECT_EQ(move->Inverse(), c.inverse) << "Inverse is given back";
    }
    delete body;
  }
}

TEST_F(AnimationTest, PausedAnimationIsPassedByUntilResumed) {
  auto* body = Add(Root.get(), "Body");
  TFloatAnimation* move = AddAnimation(body, "Position.X", 0, 10, 4);
  move->Start();
  Tick(1);
  move->SetPause(true);
  Ticks(3, 1);
  EXPECT_FLOAT_EQ(body->Position().X(), 2.5f);
  EXPECT_TRUE(move->Running());
  move->SetPause(false);
  Tick(1);
  EXPECT_FLOAT_EQ(body->Position().X(), 5);
}

// --- Long runs -----------------------------------------------------------------------------

TEST_F(AnimationTest, LoopingSpinsStayInRangeOverHoursOfIrregularTicks) {
  auto* planet = Add(Root.get(), "Planet");
  auto* callisto = Add(Root.get(), "Callisto");
  callisto->RotationAngle().SetY(135);
  TFloatAnimation* spin = AddSpin(planet, 60);
  TFloatAnimation* orbit = AddSpin(callisto, 2242);
  spin->Start();
  orbit->Start();

  std::mt19937 random(20240611);
  std::uniform_real_distribution<double> gap(0.001, 0.05);
  double elapsed = 0;
  int wraps = 0;
  float lastPlanet = 0;
  while (elapsed < 3 * 3600) {
    const double dt = gap(random);
    elapsed += dt;
    Tick(dt);
    ASSERT_GE(spin->CurrentTime(), 0);
    ASSERT_LE(spin->CurrentTime(), 60);
    ASSERT_GE(orbit->CurrentTime(), 0);
    ASSERT_LE(orbit->CurrentTime(), 2242);
    const float planetAngle = RawAngleY(*planet);
    ASSERT_TRUE(planetAngle >= -360 && planetAngle <= 0) << planetAngle << " at " << elapsed;
    const float callistoAngle = RawAngleY(*callisto);
    ASSERT_TRUE(callistoAngle >= -360 && callistoAngle <= 135) << callistoAngle;
    if (planetAngle > lastPlanet) ++wraps;
    lastPlanet = planetAngle;
  }
  EXPECT_NEAR(wraps, 3 * 60, 2) << "one planet turn a minute";

  // A machine asleep for a day: one long gap wraps once, it does not spin the backlog.
  Tick(86400);
  EXPECT_EQ(spin->CurrentTime(), 0);
  EXPECT_EQ(planet->RotationAngle().Y(), 0);
  EXPECT_EQ(orbit->CurrentTime(), 0);
  EXPECT_EQ(callisto->RotationAngle().Y(), 135);
}

TEST_F(AnimationTest, NonFiniteDurationIsIgnored) {
  auto* body = Add(Root.get(), "Body");
  TFloatAnimation* move = AddAnimation(body, "Position.X", 0, 10, 2);
  move->SetDuration(std::nanf(""));
  move->SetDuration(std::numeric_limits<float>::infinity());
  EXPECT_EQ(move->Duration(), 2);
  move->Start();
  Tick(1);
  EXPECT_FLOAT_EQ(body->Position().X(), 5);
}

}  // namespace
}  // namespace animtest
