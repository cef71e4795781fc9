// The real timer and clock, driven by the event loop. These tests check what happens, not
// how long it takes: the deadline only keeps a broken build from hanging.

#include <QDeadlineTimer>
#include <QEventLoop>
#include <functional>

#include "AnimationFixture.h"

namespace animtest {
namespace {

class QtPlatformTest : public ::testing::Test {
 protected:
  void TearDown() override {
    Root.reset();
    FreeAnimationGlobals();
    QCoreApplication::processEvents();
    CaughtByNotify().clear();
  }

  // Runs the event loop until `done` holds; false if it never did.
  static bool RunUntil(const std::function<bool()>& done) {
    QDeadlineTimer deadline(10000);
    while (!done()) {
      if (deadline.hasExpired()) return false;
      QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    return true;
  }

  StubViewport Viewport;
  std::unique_ptr<TViewportRoot> Root = std::make_unique<TViewportRoot>(&Viewport);
};

TEST_F(QtPlatformTest, QtTimerDrivesARunToItsEndAndThenRests) {
  auto* body = new TControl3D("Body");
  Root->AddObject(body);
  AnimateFloat(*body, "Position.X", 10, 0.05f);
  ASSERT_NE(TAniThread::Current(), nullptr);
  EXPECT_EQ(TAniThread::Current()->Interval(), 10);
  EXPECT_TRUE(TAniThread::Current()->Enabled());

  ASSERT_TRUE(RunUntil([&] { return body->Children().empty(); }))
      << "the run should end and its animation be freed";
  EXPECT_EQ(body->Position().X(), 10);
  EXPECT_FALSE(TAniThread::Current()->Enabled()) << "no timer while nothing runs";
}

TEST_F(QtPlatformTest, ExceptionFromATickReachesTheApplicationAndTheTimerGoesOn) {
  auto* body = new TControl3D("Body");
  Root->AddObject(body);
  auto* move = new TFloatAnimation;
  body->AddObject(move);
  move->SetPropertyName("Position.X");
  move->SetStopValue(10);
  move->SetDuration(0.1f);
  int calls = 0;
  move->OnProcess = [&](TTreeObject*) {
    if (++calls == 2) throw Exception("Animation tick failed");
  };
  move->Start();

  ASSERT_TRUE(RunUntil([&] { return !CaughtByNotify().empty(); }));
  try {
    std::rethrow_exception(CaughtByNotify().front());
  } catch (const Exception& e) {
    EXPECT_STREQ(e.what(), "Animation tick failed");
  }
  EXPECT_TRUE(TAniThread::Current()->Enabled()) << "the timer keeps running";
  ASSERT_TRUE(RunUntil([&] { return !move->Running(); })) << "later ticks finish the run";
  EXPECT_EQ(body->Position().X(), 10);
  EXPECT_EQ(CaughtByNotify().size(), 1u);
}

}  // namespace
}  // namespace animtest
