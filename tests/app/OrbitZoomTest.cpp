// Turning the camera rig by dragging, zooming with the wheel and the pinch, and the
// gesture handler, driven through the window as a user would.

#include <QMenu>
#include <QPointingDevice>
#include <QTest>
#include <chrono>
#include <functional>
#include <utility>
#include <vector>

#include "runtime3d/input/WidgetGestures.h"
#include "tests/app/MainWindowFixture.h"

namespace apptest {

namespace {

QPointingDevice* TouchScreen() {
  static QPointingDevice* device = QTest::createTouchDevice(QInputDevice::DeviceType::TouchScreen);
  return device;
}

}  // namespace

class Orbit : public MainWindow {
 protected:
  QTest::QTouchEventWidgetSequence Touch() { return QTest::touchEvent(&viewer(), TouchScreen()); }
  // Two fingers at `first` and `second`; the second then moves by `step` `count` times.
  void Pinch(QPoint first, QPoint second, QPoint step, int count) {
    QTest::QTouchEventWidgetSequence touch = Touch();
    touch.press(0, first, &viewer()).commit();
    touch.stationary(0).press(1, second, &viewer()).commit();
    for (int i = 0; i < count; ++i) {
      second += step;
      touch.stationary(0).move(1, second, &viewer()).commit();
    }
    touch.stationary(0).release(1, second, &viewer()).commit();
    touch.release(0, first, &viewer()).commit();
  }
};

TEST_F(Orbit, DragTurnsTheRigMoreTheFartherTheCamera) {
  struct TCase {
    float CameraZ;
    QPoint By;
    double TurnX, TurnY;  // degrees
  };
  const TCase cases[] = {
      {-15, {100, 0}, 0, 10.2727},    // 100 x 0.3 x (8/33 + 0.1)
      {-38, {100, 0}, 0, 31.1818},    // 100 x 0.3 x (31/33 + 0.1)
      {-6, {100, 0}, 0, 2.0909},      // near the planet a pixel turns the least
      {-15, {-100, 0}, 0, -10.2727},  // left lowers the yaw
      {-15, {0, 100}, -10.2727, 0},   // down lowers the X angle
      {-15, {0, -100}, 10.2727, 0},   // up raises it
      {-15, {60, 80}, -8.2182, 6.1636},
  };
  for (const TCase& c : cases) {
    viewer().Scene().CameraRig->RotationAngle().SetX(0);
    viewer().Scene().CameraRig->RotationAngle().SetY(0);
    viewer().Scene().Camera->Position().SetZ(c.CameraZ);
    Drag(DragStart(), c.By);
    EXPECT_NEAR(AngleStep(0, RigX()), c.TurnX, 1e-3)
        << "Z " << c.CameraZ << " by " << c.By.x() << "," << c.By.y();
    EXPECT_NEAR(AngleStep(0, RigY()), c.TurnY, 1e-3)
        << "Z " << c.CameraZ << " by " << c.By.x() << "," << c.By.y();
    EXPECT_FALSE(viewer().Orbit().Dragging()) << "the release ends the drag";
    EXPECT_EQ(CameraZ(), c.CameraZ) << "a drag never zooms";
  }
}

TEST_F(Orbit, MovesWithoutAPressTurnNothing) {
  const QPoint start = DragStart();
  MoveTo(start);
  for (int i = 1; i <= 4; ++i) MoveTo(start + QPoint(25 * i, -20 * i));
  EXPECT_EQ(RigX(), 0);
  EXPECT_EQ(RigY(), 0);

  // Nor after a drag has ended.
  Drag(start, {50, 0});
  const float yaw = RigY();
  for (int i = 1; i <= 4; ++i) MoveTo(start + QPoint(-25 * i, 10 * i));
  EXPECT_EQ(RigY(), yaw);
  EXPECT_EQ(RigX(), 0);
}

TEST_F(Orbit, ADragWhoseReleaseGoesElsewhereTurnsNothingAfterwards) {
  QWidget other;
  other.resize(200, 100);
  struct TCase {
    const char* Name;
    bool OnBody;  // the drag starts on the planet, else on the bare view
    // Takes the pointer from the view while the left button is held.
    std::function<void(QPoint at)> Interrupt;
  };
  QMenu* menu = viewer().Overlays().ContextMenu;
  const TCase cases[] = {
      {"the context menu over the bare view", false,
       [&](QPoint at) {
         Press(at, Qt::RightButton);
         ASSERT_TRUE(menu->isVisible());
       }},
      {"the context menu over a body", true,
       [&](QPoint at) {
         Press(at, Qt::RightButton);
         ASSERT_TRUE(menu->isVisible());
       }},
      {"another window becomes active", false,
       [&](QPoint) {
         other.show();
         other.activateWindow();
         ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
       }},
      {"a move arrives with no button held", true,
       [&](QPoint at) {
         qt_handleMouseEvent(window(), QPointF(at + QPoint(5, 0)),
                             window()->mapToGlobal(QPointF(at + QPoint(5, 0))), Qt::NoButton,
                             Qt::NoButton, QEvent::MouseMove, Qt::NoModifier, 0);
       }},
  };
  const int w = viewer().View()->width();
  QPoint onPlanet;
  ASSERT_TRUE(FindPointIn(QRect(w / 2 - 100, 100, 200, 100),
                          viewer().Scene().Bodies[orvanth::TBodyId::Orvanth], onPlanet));
  for (const TCase& c : cases) {
    const QPoint start = c.OnBody ? onPlanet : BareViewPoint();
    MoveTo(start);
    Press(start);
    MoveTo(start + QPoint(0, 10));
    ASSERT_TRUE(viewer().Orbit().Dragging()) << c.Name;
    const float x = RigX(), y = RigY();
    ASSERT_NE(x, 0) << c.Name << ": the drag turned the rig";

    c.Interrupt(start + QPoint(0, 10));
    EXPECT_FALSE(viewer().Orbit().Dragging())
        << c.Name << ": the drag ends when the view loses the pointer";
    // The user lets go of both buttons (the menu or the other window takes the releases)
    // and closes the menu.
    Release(start + QPoint(0, 10));
    Release(start + QPoint(0, 10), Qt::RightButton);
    if (menu->isVisible()) QTest::keyClick(menu, Qt::Key_Escape);
    EXPECT_TRUE(WaitFor([menu] { return !menu->isVisible(); })) << c.Name;
    other.hide();
    viewer().activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&viewer())) << c.Name;

    for (int i = 1; i <= 4; ++i) MoveTo(start + QPoint(30 * i, -20 * i));
    EXPECT_EQ(RigX(), x) << c.Name << ": moves without a button turn nothing";
    EXPECT_EQ(RigY(), y) << c.Name;
    EXPECT_FALSE(viewer().Orbit().Dragging()) << c.Name;
    EXPECT_EQ(viewer().Overlays().NameLabel->text(), QString("Orvanth")) << c.Name;
  }
  EXPECT_TRUE(ErrorMessages().empty());
}

TEST_F(Orbit, DragFromABodyGoesOnOverTheViewAndThePanelUntilTheRelease) {
  viewer().ShowBody(orvanth::TBodyId::Io);
  const int w = viewer().View()->width();
  QPoint onPlanet;
  ASSERT_TRUE(FindPointIn(QRect(w / 2 - 100, 100, 200, 100),
                          viewer().Scene().Bodies[orvanth::TBodyId::Orvanth], onPlanet));
  Press(onPlanet);
  EXPECT_EQ(viewer().Overlays().NameLabel->text(), QString("Orvanth"))
      << "the press names the planet";
  EXPECT_TRUE(viewer().Orbit().Dragging());

  // Across the view toward the panel; bodies and the bare view pass the moves on alike.
  QPoint at = onPlanet;
  const QPoint overPanel = viewer().Overlays().ButtonPanel->geometry().topLeft() + QPoint(10, 10);
  ASSERT_EQ(viewer().childAt(overPanel), viewer().Overlays().ButtonPanel);
  float yaw = RigY();
  for (int i = 1; i <= 4; ++i) {
    at = onPlanet + (overPanel - onPlanet) * i / 4;
    MoveTo(at);
    EXPECT_LT(AngleStep(yaw, RigY()), 0) << "moving left turns the rig, step " << i;
    yaw = RigY();
  }
  const float tilt = RigX();
  MoveTo(overPanel + QPoint(0, 20));
  EXPECT_NEAR(AngleStep(tilt, RigX()), -20 * 0.3 * (8.0 / 33 + 0.1), 1e-3)
      << "over the panel the drag still turns the rig";
  Release(overPanel + QPoint(0, 20));
  EXPECT_FALSE(viewer().Orbit().Dragging()) << "the release over the panel ends the drag";

  const float x = RigX();
  yaw = RigY();
  for (const QPoint& p : {onPlanet, DragStart(), onPlanet + QPoint(40, 40)}) MoveTo(p);
  EXPECT_EQ(RigX(), x) << "a plain hover afterwards turns nothing";
  EXPECT_EQ(RigY(), yaw);
  EXPECT_EQ(CameraZ(), -15) << "the camera did not move";
}

TEST_F(Orbit, EveryNotchMakesOneStepWithinTheLimits) {
  struct TCase {
    float From;
    int Delta;
    float To;
  };
  const TCase cases[] = {
      {-6, -120, -7},    // toward the user: farther
      {-6, 120, -6},     // -5 is refused, not clipped
      {-39, -120, -39},  // -40 is refused
      {-39, 120, -38},     {-7.5f, 120, -6.5f},
      {-5.5f, 120, -5.5f}, {-15, 960, -7},  // eight notches in one event: eight steps
      {-10, 1200, -6},                      // ten notches: the steps past the limit are refused
      {-30, -2400, -39},
  };
  const QPoint bare = BareViewPoint();
  for (const TCase& c : cases) {
    viewer().Orbit().Reset();
    viewer().Scene().Camera->Position().SetZ(c.From);
    Wheel(bare, c.Delta);
    EXPECT_EQ(CameraZ(), c.To) << "from " << c.From << " by " << c.Delta;
  }

  // Over a body the wheel zooms as well.
  viewer().Scene().Camera->Position().SetZ(-15);
  QPoint onPlanet;
  const int w = viewer().View()->width();
  ASSERT_TRUE(FindPointIn(QRect(w / 2 - 100, 100, 200, 100),
                          viewer().Scene().Bodies[orvanth::TBodyId::Orvanth], onPlanet));
  Wheel(onPlanet, 120);
  EXPECT_EQ(CameraZ(), -14);

  // Qt never sends a wheel event without a turn; the handler takes it as no turn.
  bool handled = false;
  viewer().View()->OnMouseWheel(viewer().View(), 0, 0, handled);
  EXPECT_EQ(CameraZ(), -14);
  EXPECT_TRUE(handled);
}

TEST_F(Orbit, FineWheelTurnsAddUpToOneStepPer120Units) {
  struct TTurn {
    int Delta;
    Qt::Orientation Wheel = Qt::Vertical;
  };
  struct TCase {
    const char* Name;
    std::vector<TTurn> Turns;
    float CameraZ;  // from -15
  };
  auto repeat = [](int delta, int times) { return std::vector<TTurn>(size_t(times), {delta}); };
  const TCase cases[] = {
      {"classic notches, as before", repeat(120, 3), -12},
      {"15-unit steps: eight make one step", repeat(15, 8), -14},
      {"seven are not enough", repeat(15, 7), -15},
      {"a flick of forty 15-unit events", repeat(15, 40), -10},
      {"8-unit steps toward the user", repeat(-8, 30), -17},
      {"40-unit steps carry their rest", repeat(40, 5), -14},
      {"a reversal drops the rest", {{100}, {-30}, {-90}}, -16},
      {"back and forth never adds up", {{100}, {-20}, {100}, {-100}, {20}}, -15},
      {"the tilt wheel does not zoom", {{120, Qt::Horizontal}, {-240, Qt::Horizontal}}, -15},
      {"nor does it break a turn", {{60}, {120, Qt::Horizontal}, {60}}, -14},
  };
  const QPoint bare = BareViewPoint();
  for (const TCase& c : cases) {
    viewer().Orbit().Reset();
    viewer().Scene().Camera->Position().SetZ(-15);
    for (const TTurn& turn : c.Turns) Wheel(bare, turn.Delta, turn.Wheel);
    EXPECT_EQ(CameraZ(), c.CameraZ) << c.Name;
  }
}

TEST_F(Orbit, AWheelPauseDropsTheRest) {
  const QPoint bare = BareViewPoint();
  Wheel(bare, 100);
  Wheel(bare, 20);
  EXPECT_EQ(CameraZ(), -14) << "turned on without a pause: one step";

  Wheel(bare, 100);
  QTest::qWait(int((rt3d::TWheelNotches::kPause + std::chrono::milliseconds(100)).count()));
  Wheel(bare, 20);
  EXPECT_EQ(CameraZ(), -14) << "after a pause the rest of the earlier turn is gone";
  Wheel(bare, 100);
  EXPECT_EQ(CameraZ(), -13);
}

TEST_F(Orbit, ThePinchGestureReachesTheZoom) {
  using namespace rt3d;
  for (const auto& [flags, distance] :
       {std::pair<std::uint8_t, std::int32_t>{gfBegin, 100}, {0, 110}, {gfEnd, 110}}) {
    TGestureEventInfo info;
    info.GestureID = igiZoom;
    info.Flags = flags;
    info.Distance = distance;
    bool handled = false;
    viewer().ViewportGestures().OnGesture(nullptr, info, handled);
    EXPECT_TRUE(handled);
  }
  EXPECT_EQ(CameraZ(), -14);
  EXPECT_EQ(viewer().Orbit().LastPinchDistance(), 110);
}

TEST_F(Orbit, GestureHandlerTakesOnlyItsGestures) {
  struct TCase {
    std::int16_t ID;
    bool Handled;
    bool TogglesPanel;
  };
  using namespace rt3d;
  const TCase cases[] = {
      {sgiLeft, true, false},     {sgiRight, true, false},        {igiPan, true, false},
      {igiDoubleTap, true, true}, {igiRotate, false, false},      {igiTwoFingerTap, false, false},
      {igiLongTap, false, false}, {igiPressAndTap, false, false}, {3, false, false},
  };
  for (const TCase& c : cases) {
    const bool shown = viewer().Overlays().ButtonPanel->isVisible();
    TGestureEventInfo info;
    info.GestureID = c.ID;
    info.Flags = gfEnd;  // the double tap toggles whatever the flags
    bool handled = false;
    viewer().ViewportGestures().OnGesture(nullptr, info, handled);
    EXPECT_EQ(handled, c.Handled) << "gesture " << c.ID;
    EXPECT_EQ(viewer().Overlays().ButtonPanel->isVisible() != shown, c.TogglesPanel)
        << "gesture " << c.ID;
    EXPECT_EQ(CameraZ(), -15) << "gesture " << c.ID;
  }
}

TEST_F(Orbit, PinchOnTheScreenZoomsOverTheViewAndNotOverABody) {
  const int h = viewer().View()->height();
  const QPoint first(200, h - 200), second(300, h - 200);
  struct TCase {
    QPoint Second;  // where the second finger lands
    QPoint Step;    // how it moves, `Count` times
    int Count;
    float CameraZ;  // from -15
    const char* Name;
  };
  // The first step that changes the distance by more than 2 begins the pinch; each later
  // one of 10 pixels makes a step.
  const TCase cases[] = {
      {second, {10, 0}, 3, -13, "fingers apart: nearer"},
      {second + QPoint(60, 0), {-10, 0}, 4, -18, "fingers together: farther"},
      {second, {2, 0}, 6, -15, "steps of 2 pixels never reach the recognizer"},
  };
  for (const TCase& c : cases) {
    viewer().Scene().Camera->Position().SetZ(-15);
    ASSERT_EQ(ObjectAt(first), nullptr);
    ASSERT_EQ(ObjectAt(c.Second), nullptr);
    Pinch(first, c.Second, c.Step, c.Count);
    EXPECT_EQ(CameraZ(), c.CameraZ) << c.Name;
    EXPECT_EQ(RigX(), 0) << "a pinch turns nothing";
    EXPECT_EQ(RigY(), 0);
    EXPECT_FALSE(viewer().Orbit().Dragging());
  }

  viewer().Scene().Camera->Position().SetZ(-15);
  const int w = viewer().View()->width();
  QPoint onPlanet;
  ASSERT_TRUE(FindPointIn(QRect(w / 2 - 100, 100, 200, 60),
                          viewer().Scene().Bodies[orvanth::TBodyId::Orvanth], onPlanet));
  ASSERT_EQ(ObjectAt(onPlanet + QPoint(60, 0)), viewer().Scene().Bodies[orvanth::TBodyId::Orvanth]);
  Pinch(onPlanet, onPlanet + QPoint(30, 0), {10, 0}, 3);
  EXPECT_EQ(CameraZ(), -15) << "a pinch that starts on a body delivers nothing";
}

TEST_F(Orbit, DoubleTapTogglesThePanelOnce) {
  const QPoint at = BareViewPoint();
  for (bool expected : {false, true}) {
    Touch().press(0, at, &viewer());
    Touch().release(0, at, &viewer());
    Touch().press(0, at, &viewer());
    Touch().release(0, at, &viewer());
    EXPECT_EQ(viewer().Overlays().ButtonPanel->isVisible(), expected)
        << "not also toggled as a double click";
    // Past the recognizer's 300 ms, so the next two taps start afresh.
    QTest::qWait(350);
  }
}

}  // namespace apptest
