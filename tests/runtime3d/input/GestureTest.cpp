#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "runtime3d/core/Exceptions.h"
#include "runtime3d/input/Gesture.h"

using namespace rt3d;

namespace {

// --- Sensitivity -----------------------------------------------------------------------

class SensitivityTest : public ::testing::Test {
 protected:
  void TearDown() override { TGestureManager().SetSensitivity(80); }
};

TEST_F(SensitivityTest, DefaultIs80AndIsSharedByEveryManager) {
  TGestureManager a, b;
  EXPECT_EQ(a.Sensitivity(), 80);
  a.SetSensitivity(35);
  EXPECT_EQ(b.Sensitivity(), 35) << "one value for the whole program";
}

TEST_F(SensitivityTest, AcceptedValuesAreRoundedHalfToEven) {
  struct Case {
    double value;
    int stored;
  } cases[] = {{1, 1},      {100, 100},   {50, 50},     {80.5, 80}, {81.5, 82},
               {99.5, 100}, {100.4, 100}, {100.5, 100}, {0.6, 1},   {42.49, 42}};
  TGestureManager manager;
  for (const Case& c : cases) {
    manager.SetSensitivity(c.value);
    EXPECT_EQ(manager.Sensitivity(), c.stored) << "value " << c.value;
  }
}

TEST_F(SensitivityTest, OutOfRangeRaisesAndKeepsTheOldValue) {
  const double bad[] = {0,
                        0.5,
                        100.51,
                        101,
                        -5,
                        1e12,
                        -1e12,
                        std::numeric_limits<double>::quiet_NaN(),
                        std::numeric_limits<double>::infinity()};
  TGestureManager manager;
  manager.SetSensitivity(55);
  for (double value : bad) {
    try {
      manager.SetSensitivity(value);
      ADD_FAILURE() << "no error for " << value;
    } catch (const EInvalidArgument& e) {
      EXPECT_STREQ(e.what(), "Value must be between 1 and 100") << "value " << value;
    }
    EXPECT_EQ(manager.Sensitivity(), 55) << "value " << value;
  }
}

// --- Touch settings and registrations --------------------------------------------------

TEST(TouchSettingsTest, EnabledSetFollowsWhatControlsAccept) {
  TGestureRegistry registry;
  auto view = std::make_unique<TGestureControl>(registry);
  TGestureControl other(registry);
  view->Touch().SetInteractiveGestures({TInteractiveGesture::Zoom, TInteractiveGesture::DoubleTap});
  other.Touch().SetInteractiveGestures({TInteractiveGesture::Zoom});
  EXPECT_EQ(registry.Enabled(),
            (TInteractiveGestures{TInteractiveGesture::Zoom, TInteractiveGesture::DoubleTap}));

  other.Touch().SetInteractiveGestures({TInteractiveGesture::Pan});
  EXPECT_EQ(registry.Enabled(),
            (TInteractiveGestures{TInteractiveGesture::Zoom, TInteractiveGesture::DoubleTap,
                                  TInteractiveGesture::Pan}));
  // Setting the same set again must not count twice.
  view->Touch().SetInteractiveGestures({TInteractiveGesture::Zoom, TInteractiveGesture::DoubleTap});
  view->Touch().SetInteractiveGestures({TInteractiveGesture::DoubleTap});
  EXPECT_FALSE(registry.Enabled().Contains(TInteractiveGesture::Zoom));

  view.reset();
  EXPECT_EQ(registry.Enabled(), (TInteractiveGestures{TInteractiveGesture::Pan}))
      << "a destroyed control no longer enables its gestures";
}

TEST(TouchSettingsTest, GestureManagerRegistrationFollowsAssignmentAndLifetime) {
  TGestureRegistry registry;
  TGestureControl control(registry);
  auto first = std::make_unique<TGestureManager>();
  TGestureManager second;

  control.Touch().SetGestureManager(first.get());
  EXPECT_TRUE(first->IsRegistered(&control));
  control.Touch().SetGestureManager(&second);
  EXPECT_FALSE(first->IsRegistered(&control));
  EXPECT_TRUE(second.IsRegistered(&control));

  {
    TGestureControl shortLived(registry);
    shortLived.Touch().SetGestureManager(&second);
    EXPECT_EQ(second.RegisteredCount(), 2u);
  }
  EXPECT_EQ(second.RegisteredCount(), 1u) << "a destroyed control leaves its manager";

  control.Touch().SetGestureManager(first.get());
  first.reset();
  EXPECT_EQ(control.Touch().GestureManager(), nullptr)
      << "a control must not keep pointing at a destroyed manager";
}

// --- Delivery up the control chain -----------------------------------------------------

struct Chain {
  TGestureRegistry registry;
  TGestureControl window{registry}, panel{registry}, button{registry};
  std::vector<std::string> log;

  Chain() {
    panel.SetGestureParent(&window);
    button.SetGestureParent(&panel);
    Record(window, "window");
    Record(panel, "panel");
    Record(button, "button");
  }
  void Record(TGestureControl& control, std::string name, bool handles = false) {
    control.OnGesture = [this, name, handles](TGestureControl*, const TGestureEventInfo&,
                                              bool& handled) {
      log.push_back(name);
      if (handles) handled = true;
    };
  }
};

TEST(DispatchGestureTest, UnhandledGoesUpHandledStops) {
  struct Case {
    const char* name;
    const char* handler;  // the control that sets Handled, if any
    std::int16_t id;
    std::vector<std::string> expected;
  } cases[] = {
      {"nobody handles", "", igiZoom, {"button", "panel", "window"}},
      {"the middle one handles", "panel", igiZoom, {"button", "panel"}},
      {"the first one handles", "button", igiDoubleTap, {"button"}},
      {"no gesture stays where it is", "", sgiNoGesture, {"button"}},
  };
  for (const Case& c : cases) {
    Chain chain;
    if (std::string(c.handler) == "panel") chain.Record(chain.panel, "panel", true);
    if (std::string(c.handler) == "button") chain.Record(chain.button, "button", true);
    TGestureEventInfo info;
    info.GestureID = c.id;
    chain.button.DispatchGesture(info);
    EXPECT_EQ(chain.log, c.expected) << c.name;
  }
}

TEST(DispatchGestureTest, ControlsOwnHandlingRunsWhenOnGestureLeavesItUnhandled) {
  struct Handling : TGestureControl {
    using TGestureControl::TGestureControl;
    int calls = 0;
    void DoGesture(const TGestureEventInfo&, bool& handled) override {
      ++calls;
      handled = true;
    }
  };
  TGestureRegistry registry;
  TGestureControl window(registry);
  Handling control(registry);
  control.SetGestureParent(&window);
  int windowCalls = 0;
  window.OnGesture = [&](TGestureControl*, const TGestureEventInfo&, bool&) { ++windowCalls; };
  bool onGestureHandles = true;
  control.OnGesture = [&](TGestureControl*, const TGestureEventInfo&, bool& handled) {
    handled = onGestureHandles;
  };
  TGestureEventInfo info;
  info.GestureID = igiZoom;

  control.DispatchGesture(info);
  EXPECT_EQ(control.calls, 0) << "handled by OnGesture: no default handling";
  onGestureHandles = false;
  control.DispatchGesture(info);
  EXPECT_EQ(control.calls, 1);
  EXPECT_EQ(windowCalls, 0) << "the default handling handled it";
}

TEST(DispatchGestureTest, FailingHandlerIsReportedAndDeliveryGoesOnAsUnhandled) {
  std::vector<std::string> reported;
  SetGestureFailureSink([&](std::exception_ptr failure) {
    try {
      std::rethrow_exception(failure);
    } catch (const std::exception& e) {
      reported.emplace_back(e.what());
    }
  });
  Chain chain;
  chain.button.OnGesture = [&](TGestureControl*, const TGestureEventInfo&, bool& handled) {
    chain.log.push_back("button");
    handled = true;
    throw Exception("zoom handler broke");
  };
  TGestureEventInfo info;
  info.GestureID = igiZoom;
  EXPECT_NO_THROW(chain.button.DispatchGesture(info));
  SetGestureFailureSink(nullptr);

  EXPECT_EQ(reported, std::vector<std::string>{"zoom handler broke"});
  EXPECT_EQ(chain.log, (std::vector<std::string>{"button", "panel", "window"}))
      << "Handled set before the failure does not count";
}

TEST(GestureTargetTest, FirstControlUpTheChainThatAcceptsTheGesture) {
  Chain chain;
  chain.panel.Touch().SetInteractiveGestures({TInteractiveGesture::Zoom});
  chain.window.Touch().SetInteractiveGestures(
      {TInteractiveGesture::Zoom, TInteractiveGesture::DoubleTap});
  EXPECT_EQ(GestureTarget(&chain.button, TInteractiveGesture::Zoom), &chain.panel);
  EXPECT_EQ(GestureTarget(&chain.button, TInteractiveGesture::DoubleTap), &chain.window);
  EXPECT_EQ(GestureTarget(&chain.button, TInteractiveGesture::Pan), nullptr);
  EXPECT_EQ(GestureTarget(nullptr, TInteractiveGesture::Zoom), nullptr);
}

}  // namespace
