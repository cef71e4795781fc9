#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "runtime3d/core/Exceptions.h"
#include "runtime3d/input/MultiTouchManager.h"

using namespace rt3d;

namespace {

class TFakeTimer : public ITouchTimer {
 public:
  explicit TFakeTimer(std::function<void()> onTimeout) : FOnTimeout(std::move(onTimeout)) {}
  void Start(int milliseconds) override {
    Active = true;
    Interval = milliseconds;
    ++Starts;
  }
  void Stop() override { Active = false; }
  bool IsActive() const override { return Active; }
  // The period runs out.
  void Expire() {
    ASSERT_TRUE(Active) << "the timer was not running";
    Active = false;
    FOnTimeout();
  }

  bool Active = false;
  int Interval = 0;
  int Starts = 0;

 private:
  std::function<void()> FOnTimeout;
};

struct Received {
  std::string control;
  TGestureEventInfo info;
};

// A window holding a view that accepts Zoom and DoubleTap, and a button on the view.
// Screen map for the hit test: x >= 1000 is a 3D body; the square (0..100, 0..100) is
// the button; anything else is the view.
class Recognizer : public ::testing::Test {
 protected:
  Recognizer() {
    view->SetGestureParent(&window);
    button.SetGestureParent(view.get());
    view->Touch().SetInteractiveGestures(
        {TInteractiveGesture::Zoom, TInteractiveGesture::DoubleTap});
    Record(window, "window");
    Record(*view, "view");
    Record(button, "button");
    manager = std::make_unique<TMultiTouchManager>(
        [this](const TPointF& p) { return HitTest(p); }, &window,
        [this](std::function<void()> onTimeout) {
          auto timer = std::make_unique<TFakeTimer>(std::move(onTimeout));
          timers.push_back(timer.get());
          return timer;
        },
        registry);
  }

  THitObject HitTest(const TPointF& p) {
    if (p.X >= 1000) return THitObject::Body();
    if (p.X < 100 && p.Y < 100) return THitObject::Of(&button);
    return THitObject::Of(view.get());
  }

  void Record(TGestureControl& control, std::string name) {
    control.OnGesture = [this, name](TGestureControl*, const TGestureEventInfo& info,
                                     bool& handled) {
      received.push_back({name, info});
      handled = true;
    };
  }

  void Frame(TTouchAction action, std::vector<TPointF> points, bool last = false) {
    manager->ProcessFrame({action, std::move(points), last});
  }
  void Tap(TPointF p) {
    Frame(TTouchAction::Down, {p});
    Frame(TTouchAction::Up, {p}, true);
  }
  std::vector<std::uint8_t> FlagsOf(std::int16_t id) const {
    std::vector<std::uint8_t> flags;
    for (const Received& r : received)
      if (r.info.GestureID == id) flags.push_back(r.info.Flags);
    return flags;
  }
  TFakeTimer& DoubleTapTimer() { return *timers.at(0); }
  TFakeTimer& LongTapTimer() { return *timers.at(1); }

  TGestureRegistry registry;
  TGestureControl window{registry};
  std::unique_ptr<TGestureControl> view = std::make_unique<TGestureControl>(registry);
  TGestureControl button{registry};
  std::vector<TFakeTimer*> timers;
  std::unique_ptr<TMultiTouchManager> manager;
  std::vector<Received> received;
};

// --- Pinch -----------------------------------------------------------------------------

TEST_F(Recognizer, PinchSendsBeginThenPlainThenEndOnlyForStepsOverTwoPixels) {
  Frame(TTouchAction::Down, {{200, 200}});
  Frame(TTouchAction::Down, {{200, 200}, {300, 200}});
  Frame(TTouchAction::Move, {{200, 200}, {310, 200}});  // 100 -> 110: begins
  Frame(TTouchAction::Move, {{200, 200}, {312, 200}});  // +2: too small
  Frame(TTouchAction::Move, {{200, 200}, {310, 200}});  // -2: too small
  Frame(TTouchAction::Move, {{200, 200}, {307, 200}});  // -3
  Frame(TTouchAction::Up, {{200, 200}, {307, 200}});    // second finger lifts
  Frame(TTouchAction::Move, {{204, 200}});              // one finger left: ends

  ASSERT_EQ(received.size(), 3u);
  EXPECT_EQ(FlagsOf(igiZoom), (std::vector<std::uint8_t>{gfBegin, 0, gfEnd}));
  for (const Received& r : received) EXPECT_EQ(r.control, "view");
  EXPECT_EQ(received[0].info.Distance, 110);
  EXPECT_EQ(received[0].info.Location, (TPointF{255, 200})) << "the midpoint";
  EXPECT_EQ(received[1].info.Distance, 107);
  // The end event measures to where the second finger was last seen.
  EXPECT_EQ(received[2].info.Distance, 103);
  EXPECT_EQ(received[2].info.Location, (TPointF{255.5f, 200}));
  EXPECT_TRUE(manager->ActiveGestures().Empty());
  EXPECT_EQ(manager->GestureControl(), nullptr);
}

TEST_F(Recognizer, PinchNeedsBothPreviousPointsAndADistanceAboveTwo) {
  // Both fingers land in one frame: the first move already has both previous points.
  Frame(TTouchAction::Down, {{200, 200}, {201, 200}});
  Frame(TTouchAction::Move, {{200, 200}, {202, 200}});  // d = 2: not above 2
  EXPECT_TRUE(received.empty());
  Frame(TTouchAction::Move, {{200, 200}, {206, 200}});  // d = 6, step 4
  EXPECT_EQ(FlagsOf(igiZoom), std::vector<std::uint8_t>{gfBegin});

  // A second finger whose previous place is unknown does not count as a step.
  Frame(TTouchAction::Up, {{200, 200}, {206, 200}}, true);
  received.clear();
  Frame(TTouchAction::Down, {{200, 200}});
  Frame(TTouchAction::Move, {{200, 200}, {300, 200}});
  EXPECT_TRUE(received.empty());
}

TEST_F(Recognizer, DistanceIsRoundedHalfToEven) {
  struct Case {
    float x;
    int distance;
  } cases[] = {{100.5f, 100}, {101.5f, 102}, {102.5f, 102}, {100.25f, 100}, {100.75f, 101}};
  for (const Case& c : cases) {
    received.clear();
    Frame(TTouchAction::Down, {{0, 500}, {50, 500}});
    Frame(TTouchAction::Move, {{0, 500}, {c.x, 500}});
    Frame(TTouchAction::Up, {{0, 500}, {c.x, 500}}, true);
    ASSERT_EQ(received.size(), 2u) << c.x;
    EXPECT_EQ(received[0].info.Distance, c.distance) << "x " << c.x;
    EXPECT_EQ(received[1].info.Distance, c.distance) << "end event, x " << c.x;
  }
  EXPECT_EQ(RoundHalfToEven(-2.5), -2);
  EXPECT_EQ(RoundHalfToEven(-3.5), -4);
  EXPECT_EQ(RoundHalfToEven(1e300), INT_MAX);
}

TEST_F(Recognizer, PinchStartingOverABodyDeliversNothing) {
  struct Case {
    const char* name;
    TPointF a, b;
    std::size_t events;
  } cases[] = {
      {"both fingers over a body", {1100, 300}, {1200, 300}, 0},
      {"fingers on the background, midpoint on a body", {900, 300}, {1150, 300}, 0},
      {"over the background", {300, 300}, {400, 300}, 3},
  };
  for (const Case& c : cases) {
    received.clear();
    Frame(TTouchAction::Down, {c.a});
    Frame(TTouchAction::Down, {c.a, c.b});
    Frame(TTouchAction::Move, {c.a, {c.b.X + 20, c.b.Y}});
    Frame(TTouchAction::Move, {c.a, {c.b.X + 40, c.b.Y}});
    Frame(TTouchAction::Up, {c.a, {c.b.X + 40, c.b.Y}}, true);
    EXPECT_EQ(received.size(), c.events) << c.name;
    EXPECT_TRUE(manager->ActiveGestures().Empty()) << c.name;
  }
}

TEST_F(Recognizer, PinchEnds) {
  struct Case {
    const char* name;
    TTouchFrame end;
  } cases[] = {
      {"a third finger comes down", {TTouchAction::Down, {{200, 200}, {330, 200}, {400, 400}}}},
      {"the last finger lifts", {TTouchAction::Up, {{200, 200}}, true}},
      // Both fingers leave in the same frame: without ending here the pinch would stay
      // active and the next one would start without gfBegin.
      {"both lift together", {TTouchAction::Up, {{200, 200}, {330, 200}}, true}},
      {"the touch is cancelled", {TTouchAction::Up, {}, true}},
  };
  for (const Case& c : cases) {
    received.clear();
    Frame(TTouchAction::Down, {{200, 200}, {300, 200}});
    Frame(TTouchAction::Move, {{200, 200}, {330, 200}});
    manager->ProcessFrame(c.end);
    EXPECT_EQ(FlagsOf(igiZoom), (std::vector<std::uint8_t>{gfBegin, gfEnd})) << c.name;
    EXPECT_EQ(received.back().info.Distance, 130) << c.name;
    EXPECT_TRUE(manager->ActiveGestures().Empty()) << c.name;
    Frame(TTouchAction::Up, {{200, 200}}, true);
  }
}

TEST_F(Recognizer, PinchGoesUpToTheFirstControlThatAcceptsZoom) {
  // Both fingers on the button, which takes no gestures: the view gets the pinch.
  Frame(TTouchAction::Down, {{10, 10}, {60, 10}});
  Frame(TTouchAction::Move, {{10, 10}, {70, 10}});
  ASSERT_EQ(received.size(), 1u);
  EXPECT_EQ(received[0].control, "view");
  EXPECT_EQ(manager->GestureControl(), view.get());
}

TEST_F(Recognizer, FailingZoomHandlerLeavesThePinchConsistent) {
  std::vector<std::exception_ptr> reported;
  SetGestureFailureSink([&](std::exception_ptr e) { reported.push_back(e); });
  view->OnGesture = [this](TGestureControl*, const TGestureEventInfo& info, bool& handled) {
    received.push_back({"view", info});
    handled = true;  // does not count when the handler then fails
    if (info.Flags & gfBegin) throw Exception("broken");
  };
  Frame(TTouchAction::Down, {{200, 200}, {300, 200}});
  Frame(TTouchAction::Move, {{200, 200}, {320, 200}});
  Frame(TTouchAction::Move, {{200, 200}, {340, 200}});
  Frame(TTouchAction::Up, {{200, 200}}, true);
  SetGestureFailureSink(nullptr);

  EXPECT_EQ(reported.size(), 1u);
  EXPECT_EQ(FlagsOf(igiZoom), (std::vector<std::uint8_t>{gfBegin, gfBegin, 0, gfEnd}))
      << "view, then the window as if unhandled, then the rest of the pinch";
  EXPECT_EQ(received[1].control, "window");
}

TEST_F(Recognizer, ControlDestroyedDuringAPinchGetsNothingMore) {
  Frame(TTouchAction::Down, {{200, 200}, {300, 200}});
  Frame(TTouchAction::Move, {{200, 200}, {320, 200}});
  button.SetGestureParent(&window);
  view.reset();
  Frame(TTouchAction::Move, {{200, 200}, {340, 200}});
  Frame(TTouchAction::Up, {{200, 200}}, true);
  EXPECT_EQ(received.size(), 1u);
  EXPECT_EQ(manager->GestureControl(), nullptr);
}

// --- Double tap ------------------------------------------------------------------------

TEST_F(Recognizer, TwoTapsInTimeGiveExactlyOneDoubleTap) {
  Tap({300, 300});
  Tap({303, 302});
  EXPECT_EQ(DoubleTapTimer().Starts, 1) << "the second tap does not restart the period";
  EXPECT_FALSE(DoubleTapTimer().Active);
  Tap({303, 302});  // a third tap starts a new period and only notes its release

  ASSERT_EQ(received.size(), 1u);
  EXPECT_EQ(received[0].control, "view");
  EXPECT_EQ(received[0].info.GestureID, igiDoubleTap);
  EXPECT_EQ(received[0].info.Flags, gfBegin);
  EXPECT_EQ(received[0].info.Location, (TPointF{303, 302}));
  EXPECT_EQ(DoubleTapTimer().Interval, 300);
}

TEST_F(Recognizer, DoubleTapIsCancelled) {
  struct Case {
    const char* name;
    std::function<void()> between;  // runs while the second finger is down
  } cases[] = {
      {"the period runs out before the second release", [this] { DoubleTapTimer().Expire(); }},
      {"a step longer than the tap tolerance",
       [this] {
         Frame(TTouchAction::Move, {{311, 300}});
       }},
      {"a second finger",
       [this] {
         Frame(TTouchAction::Move, {{300, 300}, {350, 300}});
       }},
  };
  for (const Case& c : cases) {
    received.clear();
    Tap({300, 300});
    Frame(TTouchAction::Down, {{300, 300}});
    c.between();
    Frame(TTouchAction::Up, {{300, 300}}, true);
    EXPECT_TRUE(received.empty()) << c.name;
    if (DoubleTapTimer().Active) DoubleTapTimer().Expire();
  }
}

TEST_F(Recognizer, SmallStepsAndLaterTapsStillMakeADoubleTap) {
  Tap({300, 300});
  Frame(TTouchAction::Down, {{300, 300}});
  Frame(TTouchAction::Move, {{309, 300}});  // within the tolerance of 10
  Frame(TTouchAction::Up, {{309, 300}}, true);
  EXPECT_EQ(FlagsOf(igiDoubleTap).size(), 1u);

  manager->SetTapTolerance(8);  // a screen at scale 1.25
  received.clear();
  Tap({300, 300});
  Frame(TTouchAction::Down, {{300, 300}});
  Frame(TTouchAction::Move, {{309, 300}});
  Frame(TTouchAction::Up, {{309, 300}}, true);
  EXPECT_TRUE(received.empty());
}

TEST_F(Recognizer, TwoFingerTapIsNoDoubleTap) {
  Frame(TTouchAction::Down, {{300, 300}});
  Frame(TTouchAction::Down, {{300, 300}, {340, 300}});
  Frame(TTouchAction::Up, {{300, 300}, {340, 300}});
  Frame(TTouchAction::Up, {{300, 300}}, true);
  EXPECT_TRUE(received.empty());
}

TEST_F(Recognizer, DoubleTapGoesToTheControlUnderTheSecondTap) {
  button.Touch().SetInteractiveGestures({TInteractiveGesture::DoubleTap});
  Tap({300, 300});
  Tap({50, 50});
  ASSERT_EQ(received.size(), 1u);
  EXPECT_EQ(received[0].control, "button");

  received.clear();
  Tap({300, 300});
  Tap({1100, 300});
  EXPECT_TRUE(received.empty()) << "a second tap on a 3D body";
}

TEST_F(Recognizer, NothingIsRecognisedThatNoControlAccepts) {
  view->Touch().SetInteractiveGestures({});
  window.OnGesture = nullptr;
  Tap({300, 300});
  Tap({300, 300});
  Frame(TTouchAction::Down, {{200, 200}, {300, 200}});
  Frame(TTouchAction::Move, {{200, 200}, {340, 200}});
  EXPECT_TRUE(received.empty());
  EXPECT_EQ(DoubleTapTimer().Starts, 0);
  EXPECT_TRUE(manager->ActiveGestures().Empty());
}

// --- Long tap --------------------------------------------------------------------------

TEST_F(Recognizer, LongTapAfterHalfASecondUnlessReleased) {
  view->Touch().SetInteractiveGestures({TInteractiveGesture::LongTap});
  Frame(TTouchAction::Down, {{300, 300}});
  Frame(TTouchAction::Move, {{305, 300}});
  EXPECT_EQ(LongTapTimer().Interval, 500);
  LongTapTimer().Expire();
  ASSERT_EQ(received.size(), 1u);
  EXPECT_EQ(received[0].info.GestureID, igiLongTap);
  EXPECT_EQ(received[0].info.Location, (TPointF{300, 300})) << "where the finger went down";
  Frame(TTouchAction::Up, {{305, 300}}, true);

  Frame(TTouchAction::Down, {{300, 300}});
  Frame(TTouchAction::Up, {{300, 300}}, true);
  EXPECT_FALSE(LongTapTimer().Active) << "a release cancels the long tap";
}

}  // namespace
