#include <stdexcept>

#include "AnimationFixture.h"

namespace animtest {
namespace {

TEST_F(AnimationTest, IntervalFollowsTheFrameRateClampedInto5To100) {
  struct Case {
    int frameRate;
    int interval;
  };
  const Case cases[] = {{60, 10}, {5, 200}, {100, 10}, {150, 10}, {1, 200}, {0, 200}, {30, 30}};
  for (const Case& c : cases) {
    SCOPED_TRACE("FrameRate " + std::to_string(c.frameRate));
    TAnimation::SetFrameRate(c.frameRate);
    TAniThread& clock = TAniThread::Ensure();
    EXPECT_EQ(clock.Interval(), c.interval);
    EXPECT_FALSE(clock.Enabled()) << "the clock starts disabled";
    auto* body = Add(Root.get(), "Body");
    AddAnimation(body, "Position.X", 0, 1, 5)->Start();
    EXPECT_TRUE(Timer->IsActive());
    EXPECT_EQ(Timer->Interval(), c.interval) << "the platform timer runs at that period";
    delete body;
    FreeAnimationGlobals();
  }
}

TEST_F(AnimationTest, PeriodIsComputedAgainAfterEachTick) {
  auto* body = Add(Root.get(), "Body");
  AddAnimation(body, "Position.X", 0, 1, 5)->Start();
  EXPECT_EQ(Timer->Interval(), 10);
  TAnimation::SetFrameRate(5);
  Tick(0.01);
  EXPECT_EQ(TAniThread::Current()->Interval(), 200);
  EXPECT_EQ(Timer->Interval(), 200);
  EXPECT_TRUE(Timer->IsActive());
}

TEST_F(AnimationTest, TickWithoutElapsedTimeChangesNothing) {
  auto* planet = Add(Root.get(), "Planet");
  TFloatAnimation* spin = AddSpin(planet, 60);
  spin->Start();
  Tick(1);
  ASSERT_FLOAT_EQ(RawAngleY(*planet), -6);
  int processed = 0;
  spin->OnProcess = [&](TTreeObject*) { ++processed; };

  Tick(0);
  Tick(-0.5);  // a clock that steps back
  EXPECT_EQ(processed, 0);
  EXPECT_FLOAT_EQ(RawAngleY(*planet), -6);
  EXPECT_EQ(spin->CurrentTime(), 1);

  Tick(0.5);
  EXPECT_FLOAT_EQ(RawAngleY(*planet), -9) << "measured from the last reading, however it went";
}

TEST_F(AnimationTest, ClockIdlesWhenItsListEmptiesAndIgnoresTheIdleGap) {
  auto* body = Add(Root.get(), "Body");
  TFloatAnimation* move = AddAnimation(body, "Position.X", 0, 10, 2);
  move->Start();
  Ticks(2, 1);
  EXPECT_FALSE(move->Running());
  TAniThread* clock = TAniThread::Current();
  EXPECT_EQ(clock->Count(), 0);
  EXPECT_FALSE(Timer->IsActive());

  Clock->Advance(100);
  move->SetStopValue(20);
  move->Start();
  EXPECT_EQ(TAniThread::Current(), clock) << "one clock for the whole program";
  EXPECT_TRUE(Timer->IsActive());
  Tick(0.5);
  EXPECT_FLOAT_EQ(body->Position().X(), 5)
      << "the first tick after a restart counts 0.5 s, not 100";
}

// A frame about to be drawn takes the tick the busy thread owes, and only that: no tick
// before the interval is up, none while held, none inside a tick, and the timer's own tick
// afterwards counts only the time since.
TEST_F(AnimationTest, CatchUpTakesOnlyATickThatIsOwed) {
  auto* body = Add(Root.get(), "Body");
  TFloatAnimation* move = AddAnimation(body, "Position.X", 0, 10, 10);  // 1 a second
  move->Start();
  Tick(1);
  ASSERT_FLOAT_EQ(body->Position().X(), 1);
  TAniThread& clock = *TAniThread::Current();

  struct Case {
    const char* what;
    double busy;  // seconds since the last tick, the timer not fired
    bool held;
    double caughtUp;  // X after the catch-up
    double nextTick;  // and after the timer's next tick, at once
  };
  // The interval at 60 frames a second is 10 ms.
  const Case cases[] = {
      {"within the interval", 0.009, false, 1.0, 1.009},
      {"just past the interval", 0.011, false, 1.02, 1.02},
      {"a busy spell", 0.3, false, 1.32, 1.32},
      {"held", 0.3, true, 1.32, 1.32},
  };
  for (const Case& c : cases) {
    clock.SetHeld(c.held);
    Clock->Advance(c.busy);
    clock.CatchUp();
    EXPECT_NEAR(body->Position().X(), c.caughtUp, 1e-5) << c.what;
    clock.SetHeld(false);
    Tick(0);
    EXPECT_NEAR(body->Position().X(), c.nextTick, 1e-5) << c.what << ": each moment counted once";
  }

  Clock->Advance(0.5);
  int ticks = 0;
  move->OnProcess = [&](TTreeObject*) {
    ++ticks;
    clock.CatchUp();  // a handler that draws a frame
  };
  Timer->Fire();
  EXPECT_EQ(ticks, 1) << "no tick inside a tick";
  EXPECT_NEAR(body->Position().X(), 1.82, 1e-5);

  move->OnProcess = nullptr;
  move->Stop();
  RunDeferredCalls();
  const float stopped = body->Position().X();
  Clock->Advance(1);
  clock.CatchUp();
  EXPECT_EQ(body->Position().X(), stopped) << "an idle clock owes nothing";
}

// Three animations on three bodies, started A, B, C: the clock walks C, B, A. One of them
// disturbs the list from its OnProcess; every animation left must still get exactly one
// tick (its X goes from 0 to 1 in a 10-second run over 0..10).
TEST_F(AnimationTest, WalkToleratesAnimationsLeavingOrFreedDuringIt) {
  enum class Action { Stop, Free };
  struct Case {
    const char* name;
    int actor;
    Action action;
    int victim;
  };
  const Case cases[] = {
      {"C stops A before A's turn", 2, Action::Stop, 0},
      {"A stops C after C's turn", 0, Action::Stop, 2},
      {"C frees A before A's turn", 2, Action::Free, 0},
      {"A frees C after C's turn", 0, Action::Free, 2},
      {"B frees itself", 1, Action::Free, 1},
      {"C frees B and A", 2, Action::Free, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TControl3D* bodies[3];
    TFloatAnimation* animations[3];
    for (int i = 0; i < 3; ++i) {
      bodies[i] = Add(Root.get(), "Body" + std::to_string(i));
      animations[i] = AddAnimation(bodies[i], "Position.X", 0, 10, 10, true);
      animations[i]->Start();
    }
    bool done = false;
    animations[c.actor]->OnProcess = [&](TTreeObject*) {
      if (done) return;
      done = true;
      if (c.victim < 0) {
        delete animations[1];
        delete animations[0];
      } else if (c.action == Action::Stop) {
        animations[c.victim]->Stop();
      } else {
        delete animations[c.victim];
      }
    };
    Tick(1);
    for (int i = 0; i < 3; ++i) {
      const bool freed = c.action == Action::Free && (c.victim == i || (c.victim < 0 && i < 2));
      if (freed) {
        EXPECT_TRUE(bodies[i]->Children().empty()) << "body " << i;
        continue;
      }
      const float expected = i == c.victim ? 10 : 1;
      EXPECT_FLOAT_EQ(bodies[i]->Position().X(), expected) << "body " << i;
    }
    const int left = TAniThread::Current()->Count();
    Tick(1);
    EXPECT_EQ(TAniThread::Current()->Count(), left) << "the list is consistent after the walk";
    for (int i = 0; i < 3; ++i) delete bodies[i];
  }
}

TEST_F(AnimationTest, AnimationStartedDuringAWalkGetsItsFirstTickNextTime) {
  auto* first = Add(Root.get(), "First");
  auto* second = Add(Root.get(), "Second");
  TFloatAnimation* a = AddAnimation(first, "Position.X", 0, 10, 10);
  TFloatAnimation* b = AddAnimation(second, "Position.X", 0, 10, 10);
  a->OnProcess = [&](TTreeObject*) {
    if (!b->Running()) b->Start();
  };
  a->Start();  // its first frame starts b already; stop b again to start it from a tick
  b->StopAtCurrent();
  second->Position().SetX(0);
  Tick(1);
  EXPECT_TRUE(b->Running());
  EXPECT_EQ(second->Position().X(), 0) << "started in this tick: only its first frame";
  Tick(1);
  EXPECT_FLOAT_EQ(second->Position().X(), 1);
  EXPECT_FLOAT_EQ(first->Position().X(), 2);
}

TEST_F(AnimationTest, ExceptionInATickLeavesAfterEveryAnimationAdvancedAndTheTimerRuns) {
  TControl3D* bodies[3];
  TFloatAnimation* animations[3];
  for (int i = 0; i < 3; ++i) {
    bodies[i] = Add(Root.get(), "Body" + std::to_string(i));
    animations[i] = AddAnimation(bodies[i], "Position.X", 0, 10, 10);
    animations[i]->Start();
  }
  bool fail = true;
  animations[1]->OnProcess = [&](TTreeObject*) {
    if (fail) throw Exception("Tick failed");
  };

  try {
    Tick(1);
    ADD_FAILURE() << "the exception must reach whoever delivers the tick";
  } catch (const Exception& e) {
    EXPECT_STREQ(e.what(), "Tick failed");
  }
  for (int i = 0; i < 3; ++i) EXPECT_FLOAT_EQ(bodies[i]->Position().X(), 1) << "body " << i;
  EXPECT_TRUE(Timer->IsActive());
  EXPECT_EQ(TAniThread::Current()->Count(), 3);

  fail = false;
  Tick(1);
  for (int i = 0; i < 3; ++i) EXPECT_FLOAT_EQ(bodies[i]->Position().X(), 2) << "body " << i;
}

TEST_F(AnimationTest, RunThatFailsOnItsLastTickStillEnds) {
  auto* body = Add(Root.get(), "Body");
  TFloatAnimation* move = AddAnimation(body, "Position.X", 0, 10, 2);
  int finished = 0;
  move->OnFinish = [&](TTreeObject*) { ++finished; };
  move->Start();
  Tick(1);
  move->OnProcess = [](TTreeObject*) { throw std::runtime_error("handler failed"); };
  EXPECT_THROW(Tick(1), std::runtime_error);
  EXPECT_FALSE(move->Running());
  EXPECT_EQ(finished, 1);
  EXPECT_EQ(TAniThread::Current()->Count(), 0) << "a finished run does not stay in the list";
  EXPECT_FALSE(Timer->IsActive());
}

TEST_F(AnimationTest, FreeingTheClockLeavesItsAnimationsStopped) {
  auto* body = Add(Root.get(), "Body");
  TFloatAnimation* move = AddAnimation(body, "Position.X", 0, 10, 2, true);
  move->Start();
  FreeAnimationGlobals();
  EXPECT_FALSE(move->Running());
  move->Start();
  ASSERT_NE(TAniThread::Current(), nullptr) << "a new clock is made on demand";
  Tick(1);
  EXPECT_FLOAT_EQ(body->Position().X(), 5);
}

}  // namespace
}  // namespace animtest
