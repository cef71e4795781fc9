#include "AnimationFixture.h"

namespace animtest {
namespace {

class AnimatorTest : public AnimationTest {
 protected:
  TDummy* CameraRig = Add<TDummy>(Root.get(), "CameraRig");
  TCamera* Camera = Add<TCamera>(CameraRig, "Camera");

  int AnimationsOn(TTreeObject* object) {
    int count = 0;
    for (TTreeObject* child : object->Children())
      count += dynamic_cast<TAnimation*>(child) != nullptr;
    return count;
  }
};

TEST_F(AnimatorTest, OpeningZoomGlidesFromMinus38ToMinus15AndIsFreedAfterwards) {
  Camera->Position().SetZ(-38);
  AnimateFloat(*Camera, "position.z", -15, 3, TAnimationType::In, TInterpolationType::Linear);
  ASSERT_EQ(AnimationsOn(Camera), 1);
  EXPECT_EQ(Camera->Position().Z(), -38);

  for (int k = 1; k <= 12; ++k) {
    Tick(0.25);
    const double t = 0.25 * k;
    ASSERT_NEAR(Camera->Position().Z(), -38 + 23 * t / 3, 1e-5) << "at t = " << t;
  }
  EXPECT_EQ(Camera->Position().Z(), -15) << "exactly -15 on the last tick";
  EXPECT_FALSE(Timer->IsActive());
  EXPECT_EQ(AnimationsOn(Camera), 1) << "never freed inside its own tick";

  RunDeferredCalls();
  EXPECT_EQ(AnimationsOn(Camera), 0) << "freed on a later turn of the event loop";
  EXPECT_EQ(Camera->Position().Z(), -15);
}

// The window holds the clock while its first frame is being made, however long that takes,
// and lets go once the frame is on screen: the glide starts there and shows every part.
TEST_F(AnimatorTest, HeldClockStartsTheGlideAtTheReleaseAndLateTicksAdvanceByTheirGap) {
  TAniThread::Ensure().SetHeld(true);
  auto* planet = Add(Root.get(), "Planet");
  AddSpin(planet, 60)->Start();
  Camera->Position().SetZ(-38);
  AnimateFloat(*Camera, "position.z", -15, 3, TAnimationType::In, TInterpolationType::Linear);
  ASSERT_TRUE(Timer->IsActive()) << "a held clock still runs its animations' timer";

  // The first frame: a long spell with a few ticks, then one that comes very late.
  Ticks(3, 0.1);
  Tick(2.5);
  EXPECT_EQ(Camera->Position().Z(), -38) << "nothing moves while the clock is held";
  EXPECT_EQ(RawAngleY(*planet), 0);

  // The release comes a while after the last held tick, and the next tick late (the main
  // thread was busy): the glide counts from the release, not from either tick.
  Clock->Advance(0.3);
  TAniThread::Current()->SetHeld(false);
  Clock->Advance(0.004);
  Timer->Fire();
  EXPECT_NEAR(Camera->Position().Z(), -38 + 23 * 0.004 / 3, 1e-5) << "4 ms of glide";
  EXPECT_NEAR(RawAngleY(*planet), -6 * 0.004, 1e-5)
      << "the spins start with the glide: the scene does not jump";

  struct Step {
    double gap;    // seconds since the previous tick
    double glide;  // seconds of glide shown afterwards
  };
  // Steady ticks, then ticks delayed by slow frames: each counts its whole gap, no more.
  const Step steps[] = {{0.006, 0.01}, {0.01, 0.02}, {0.25, 0.27}, {0.4, 0.67}, {0.83, 1.5}};
  for (const Step& step : steps) {
    Tick(step.gap);
    EXPECT_NEAR(Camera->Position().Z(), -38 + 23 * step.glide / 3, 1e-4)
        << "after " << step.glide << " s of glide";
    EXPECT_NEAR(RawAngleY(*planet), -6 * step.glide, 1e-4);
  }
  EXPECT_NEAR(Camera->Position().Z(), -26.5, 1e-4) << "half way at 1.5 s";
  Tick(1.5);
  EXPECT_EQ(Camera->Position().Z(), -15);
}

TEST_F(AnimatorTest, ZoomStepsAndBodyButtonsDuringAHeldGlideAreStillOverwrittenByIt) {
  TAniThread::Ensure().SetHeld(true);
  Camera->Position().SetZ(-38);
  AnimateFloat(*Camera, "position.z", -15, 3);
  Tick(1);
  Camera->Position().SetZ(-37);  // a zoom step before the first frame
  EXPECT_EQ(Camera->Position().Z(), -37);
  TAniThread::Current()->SetHeld(false);
  Tick(1);
  EXPECT_NEAR(Camera->Position().Z(), -38 + 23 / 3.0, 1e-5) << "the glide writes over it";
  Camera->Position().SetZ(-7);  // a body button in the middle of the glide
  Tick(2);
  EXPECT_EQ(Camera->Position().Z(), -15) << "and still ends at -15";
}

TEST_F(AnimatorTest, AnimatingAnAnimatedPropertyStopsTheFirstAtItsEndValue) {
  Camera->Position().SetZ(-38);
  AnimateFloat(*Camera, "position.z", -15, 3);
  Tick(1);
  ASSERT_NEAR(Camera->Position().Z(), -38 + 23 / 3.0, 1e-5);

  AnimateFloat(*Camera, "Position.Z", -20, 2);
  EXPECT_EQ(Camera->Position().Z(), -15) << "the first one wrote its end value and the "
                                            "second starts from there";
  RunDeferredCalls();
  ASSERT_EQ(AnimationsOn(Camera), 1) << "the stopped one is freed";
  Tick(1);
  EXPECT_FLOAT_EQ(Camera->Position().Z(), -17.5f);
  Tick(1);
  EXPECT_EQ(Camera->Position().Z(), -20);
  RunDeferredCalls();
  EXPECT_EQ(AnimationsOn(Camera), 0);
}

TEST_F(AnimatorTest, StopPropertyAnimationStopsOnlyThatProperty) {
  TFloatAnimation* x = AddAnimation(Camera, "Position.X", 0, 10, 4);
  TFloatAnimation* y = AddAnimation(Camera, "Position.Y", 0, 10, 4);
  x->Start();
  y->Start();
  Tick(1);
  TAnimator::StopPropertyAnimation(Camera, "POSITION.X");
  EXPECT_FALSE(x->Running());
  EXPECT_EQ(Camera->Position().X(), 10);
  EXPECT_TRUE(y->Running());
  EXPECT_FLOAT_EQ(Camera->Position().Y(), 2.5f);
  EXPECT_EQ(AnimationsOn(Camera), 2) << "stored animations are not freed";
}

TEST_F(AnimatorTest, TargetOutsideAWindowGetsTheEndValueAtOnce) {
  TCamera loose("Loose");
  loose.Position().SetZ(-38);
  AnimateFloat(loose, "position.z", -15, 3);
  EXPECT_EQ(loose.Position().Z(), -15);
  RunDeferredCalls();
  EXPECT_EQ(AnimationsOn(&loose), 0);
}

TEST_F(AnimatorTest, TargetFreedBeforeTheDeferredFreeIsNoProblem) {
  AnimateFloat(*Camera, "Position.Z", -15, 1);
  Tick(1);
  ASSERT_EQ(TAnimationDestroyer::Current()->PendingCount(), 1);
  delete Camera;
  EXPECT_EQ(TAnimationDestroyer::Current()->PendingCount(), 0);
  RunDeferredCalls();
  EXPECT_TRUE(CameraRig->Children().empty());
}

TEST_F(AnimatorTest, ProgramEndFreesAnimationsStillWaiting) {
  AnimateFloat(*Camera, "Position.Z", -15, 1);
  Tick(1);
  FreeAnimationGlobals();
  EXPECT_EQ(AnimationsOn(Camera), 0);
  RunDeferredCalls();  // the queued call finds no destroyer
  EXPECT_EQ(Camera->Position().Z(), -15);
}

TEST_F(AnimatorTest, NullOrUnresolvableTargetDoesNothingHarmful) {
  TAnimator::AnimateFloat(nullptr, "Position.Z", 1, 1);
  TAnimator::StopPropertyAnimation(nullptr, "Position.Z");
  AnimateFloat(*Camera, "Nothing.Here", 1, 1);
  EXPECT_EQ(Camera->Position().Z(), -5);
  EXPECT_EQ(TAniThread::Current(), nullptr);
  RunDeferredCalls();
  EXPECT_EQ(AnimationsOn(Camera), 0) << "the one that could not start is freed too";
  AnimateFloat(*Camera, "Position.Z", -15, 1);
  Tick(1);
  EXPECT_EQ(Camera->Position().Z(), -15);
}

}  // namespace
}  // namespace animtest
