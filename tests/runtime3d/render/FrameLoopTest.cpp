// The frame loop's cadence on a clock the test moves by hand: one frame for any number of
// requests, none sooner than a refresh period after the last began, the changes a frame
// takes in while it catches up asking for no other, and nothing for a hidden or closed view.

#include <gtest/gtest.h>

#include <QTest>
#include <QWidget>

#include <functional>

#include "runtime3d/render/FrameLoop.h"
#include "runtime3d/render/GLContext.h"

using namespace rt3d;

namespace {

class FrameLoop : public ::testing::Test {
 protected:
  void SetUp() override {
    view.resize(50, 50);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    loop.SetClock(&clock);
    period = loop.RefreshPeriod();
  }

  // The view's frame function: during catch-up and drawing it runs what the test gives.
  void Frame() {
    if (!loop.Begin()) return;
    ++frames;
    if (duringCatchUp) duringCatchUp();
    loop.AnimationsTaken();
    if (duringDrawing) duringDrawing();
    loop.End();
  }

  QWidget view;
  TGLContext device;
  TManualFrameClock clock;
  int frames = 0;
  int presented = 0;
  std::function<void()> duringCatchUp;
  std::function<void()> duringDrawing;
  TFrameLoop loop{view, device, [this] { Frame(); }, [this] { ++presented; },
                  [](const std::function<void()>&) { return false; }};
  qint64 period = 0;
};

TEST_F(FrameLoop, RequestsBeforeAFrameMakeOneFrame) {
  EXPECT_EQ(loop.State(), TFrameState::Idle);
  loop.Request();
  loop.Request();
  loop.Request();
  EXPECT_EQ(loop.State(), TFrameState::Due);
  EXPECT_EQ(frames, 0) << "a request only asks";
  clock.Advance(0);
  EXPECT_EQ(frames, 1) << "the first frame comes at once";
  EXPECT_EQ(loop.State(), TFrameState::Idle);
  clock.Advance(10 * period);
  EXPECT_EQ(frames, 1) << "and no other";
}

TEST_F(FrameLoop, NoFrameSoonerThanARefreshPeriodAfterTheLastBegan) {
  loop.Request();
  clock.Advance(0);
  ASSERT_EQ(frames, 1);
  clock.Advance(period / 4);
  loop.Request();
  clock.Advance(period - period / 4 - 1);
  EXPECT_EQ(frames, 1) << "one nanosecond short of a period";
  EXPECT_EQ(loop.State(), TFrameState::Due);
  clock.Advance(1);
  EXPECT_EQ(frames, 2) << "a period after the last frame began";

  // A request long after the last frame is answered at once.
  clock.Advance(3 * period);
  loop.Request();
  clock.Advance(0);
  EXPECT_EQ(frames, 3);
}

TEST_F(FrameLoop, ChangesTakenInWhileCatchingUpAskForNothingThoseWhileDrawingForTheNextFrame) {
  duringCatchUp = [&] { loop.Request(); };
  loop.Request();
  clock.Advance(0);
  EXPECT_EQ(frames, 1);
  EXPECT_EQ(loop.State(), TFrameState::Idle) << "the frame showed the tick's changes";
  clock.Advance(10 * period);
  EXPECT_EQ(frames, 1);

  duringCatchUp = nullptr;
  duringDrawing = [&] {
    duringDrawing = nullptr;
    loop.Request();
  };
  loop.Request();
  clock.Advance(0);
  EXPECT_EQ(frames, 2);
  EXPECT_EQ(loop.State(), TFrameState::Due) << "a change while drawing is owed a frame";
  clock.Advance(period);
  EXPECT_EQ(frames, 3);
  EXPECT_EQ(loop.State(), TFrameState::Idle);
}

TEST_F(FrameLoop, AFrameDrawnOutOfTurnAnswersTheRequestsBeforeIt) {
  loop.Request();
  Frame();  // a grab
  EXPECT_EQ(frames, 1);
  EXPECT_EQ(loop.State(), TFrameState::Idle);
  clock.Advance(10 * period);
  EXPECT_EQ(frames, 1);
}

TEST_F(FrameLoop, APictureOffScreenKeepsTheOwedFrameAndItsChangesAskForOne) {
  loop.Request();
  ASSERT_TRUE(loop.BeginOffScreen());
  EXPECT_FALSE(loop.Begin()) << "no frame inside it";
  loop.EndOffScreen();
  EXPECT_EQ(loop.State(), TFrameState::Due);
  clock.Advance(0);
  EXPECT_EQ(frames, 1);

  clock.Advance(period);
  ASSERT_TRUE(loop.BeginOffScreen());
  loop.Request();
  loop.EndOffScreen();
  EXPECT_EQ(loop.State(), TFrameState::Due);
  clock.Advance(0);
  EXPECT_EQ(frames, 2);
}

TEST_F(FrameLoop, AHiddenViewOwesItsFrameUntilShownAndAClosedOneDrawsNothingAtAll) {
  view.hide();
  loop.Request();
  clock.Advance(10 * period);
  EXPECT_EQ(frames, 0) << "nothing drawn for a view the screen does not show";
  EXPECT_EQ(loop.State(), TFrameState::Due) << "but the frame is still owed";
  view.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
  clock.Advance(10 * period);
  EXPECT_EQ(frames, 0) << "until something asks again";
  loop.Request();
  clock.Advance(0);
  EXPECT_EQ(frames, 1);
  EXPECT_EQ(loop.State(), TFrameState::Idle);

  loop.Close();
  loop.Request();
  loop.Painted();
  clock.Advance(10 * period);
  EXPECT_EQ(frames, 1);
  EXPECT_EQ(presented, 0);
  EXPECT_EQ(loop.State(), TFrameState::Closed);
}

TEST_F(FrameLoop, PaintsBeforeTheEventLoopComesBackAreOneWordOnScreen) {
  loop.Painted();
  loop.Painted();
  EXPECT_EQ(presented, 0) << "said from the event loop, after the paint is flushed";
  clock.Advance(0);
  EXPECT_EQ(presented, 1);
}

}  // namespace
