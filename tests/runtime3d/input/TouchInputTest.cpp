#include <QMouseEvent>
#include <QPointingDevice>
#include <QPushButton>
#include <QTest>
#include <QWidget>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "runtime3d/core/Exceptions.h"
#include "runtime3d/input/TouchInput.h"
#include "runtime3d/input/WidgetGestures.h"
#include "tests/runtime3d/input/TestApplication.h"

using namespace rt3d;

namespace {

// Stands in for the 3D view: records the mouse events it gets.
class TRecordingView : public QWidget {
 public:
  using QWidget::QWidget;
  struct Mouse {
    QEvent::Type type;
    QPoint at;
    bool fromTouch;
  };
  std::vector<Mouse> mouse;

 protected:
  void Record(QMouseEvent* e) {
    mouse.push_back({e->type(), e->position().toPoint(),
                     e->source() == Qt::MouseEventSynthesizedByApplication});
  }
  void mousePressEvent(QMouseEvent* e) override { Record(e); }
  void mouseMoveEvent(QMouseEvent* e) override { Record(e); }
  void mouseReleaseEvent(QMouseEvent* e) override { Record(e); }
  void mouseDoubleClickEvent(QMouseEvent* e) override { Record(e); }
};

// A window filled by a view that accepts Zoom and DoubleTap, with a button on the view.
// The view's right half counts as a 3D body.
class ViewTouch : public ::testing::Test {
 protected:
  ViewTouch() {
    window.resize(600, 400);
    view->setGeometry(0, 0, 600, 400);
    button->setGeometry(10, 10, 80, 30);
    QObject::connect(button, &QPushButton::clicked, [this] { ++clicks; });
    touch->BodyAt = [](const QPointF& p) { return p.x() >= 300; };
    viewGestures->Touch().SetInteractiveGestures(
        {TInteractiveGesture::Zoom, TInteractiveGesture::DoubleTap});
    Record(*viewGestures, "view");
    Record(*windowGestures, "window");
    window.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
    TTestApplication::Failures.clear();
  }

  void Record(TGestureControl& control, std::string name) {
    control.OnGesture = [this, name](TGestureControl*, const TGestureEventInfo& info,
                                     bool& handled) {
      gestures.push_back({name, info});
      handled = name == "view";
    };
  }
  std::vector<std::uint8_t> ZoomFlags() const {
    std::vector<std::uint8_t> flags;
    for (const auto& g : gestures)
      if (g.second.GestureID == igiZoom) flags.push_back(g.second.Flags);
    return flags;
  }
  std::vector<QEvent::Type> MouseTypes() const {
    std::vector<QEvent::Type> types;
    for (const auto& m : view->mouse) types.push_back(m.type);
    return types;
  }
  static QPointingDevice* Device() {
    static QPointingDevice* device = QTest::createTouchDevice();
    return device;
  }
  QTest::QTouchEventWidgetSequence Touch() { return QTest::touchEvent(&window, Device()); }

  // A two-finger pinch on the view: fingers at `left` and `right`, the right one moving
  // outwards by `steps` in turn.
  void Pinch(QPoint left, QPoint right, const std::vector<int>& steps) {
    // One sequence throughout: a stationary finger keeps the place it had in it.
    QTest::QTouchEventWidgetSequence touch = Touch();
    touch.press(0, left, view).commit();
    touch.stationary(0).press(1, right, view).commit();
    for (int dx : steps) {
      right.rx() += dx;
      touch.stationary(0).move(1, right, view).commit();
    }
    touch.stationary(0).release(1, right, view).commit();
    touch.release(0, left, view).commit();
  }

  QWidget window;
  TRecordingView* view = new TRecordingView(&window);
  QPushButton* button = new QPushButton("Io", view);
  TTouchInput* touch = new TTouchInput(view);
  TWidgetGestureControl* viewGestures = new TWidgetGestureControl(view);
  TWidgetGestureControl* windowGestures = new TWidgetGestureControl(&window);
  std::vector<std::pair<std::string, TGestureEventInfo>> gestures;
  int clicks = 0;
};

TEST_F(ViewTouch, OneFingerActsAsThePointerOnce) {
  Touch().press(0, {100, 100}, view);
  Touch().move(0, {120, 110}, view);
  Touch().move(0, {140, 120}, view);
  Touch().release(0, {140, 120}, view);

  EXPECT_EQ(MouseTypes(),
            (std::vector<QEvent::Type>{QEvent::MouseButtonPress, QEvent::MouseMove,
                                       QEvent::MouseMove, QEvent::MouseButtonRelease}))
      << "no second copy made by Qt from the same touch";
  ASSERT_EQ(view->mouse.size(), 4u);
  EXPECT_EQ(view->mouse[0].at, QPoint(100, 100));
  EXPECT_EQ(view->mouse[2].at, QPoint(140, 120));
  EXPECT_TRUE(view->mouse[0].fromTouch);
  EXPECT_TRUE(gestures.empty());
}

TEST_F(ViewTouch, TwoFingersAreOnlyAPinch) {
  Pinch({100, 200}, {200, 200}, {10, 1, 10});

  EXPECT_EQ(ZoomFlags(), (std::vector<std::uint8_t>{gfBegin, 0, gfEnd}));
  EXPECT_EQ(gestures.front().second.Distance, 110);
  EXPECT_EQ(gestures.front().second.Location, (TPointF{155, 200}));
  EXPECT_EQ(MouseTypes(),
            (std::vector<QEvent::Type>{QEvent::MouseButtonPress, QEvent::MouseButtonRelease}))
      << "the first finger's press is released when the second lands, and nothing follows";
}

TEST_F(ViewTouch, PinchOverABodyDeliversNothing) {
  Pinch({350, 200}, {450, 200}, {20, 20});
  EXPECT_TRUE(gestures.empty());
}

TEST_F(ViewTouch, TouchOnAButtonOfTheViewClicksIt) {
  Touch().press(0, {30, 20}, button);
  Touch().release(0, {30, 20}, button);
  EXPECT_EQ(clicks, 1);
  EXPECT_TRUE(view->mouse.empty());
}

TEST_F(ViewTouch, DoubleTapArrivesOnceAndNotAsADoubleClick) {
  for (int i = 0; i < 2; ++i) {
    Touch().press(0, {150, 150}, view);
    Touch().release(0, {150, 150}, view);
  }
  ASSERT_EQ(gestures.size(), 1u);
  EXPECT_EQ(gestures[0].second.GestureID, igiDoubleTap);
  EXPECT_EQ(gestures[0].second.Location, (TPointF{150, 150}));
  for (const auto& m : view->mouse) EXPECT_NE(m.type, QEvent::MouseButtonDblClick);
}

TEST_F(ViewTouch, SecondTapAfterThePeriodIsNoDoubleTap) {
  Touch().press(0, {150, 150}, view);
  Touch().release(0, {150, 150}, view);
  QTest::qWait(TMultiTouchManager::DoubleTapTime + 100);
  Touch().press(0, {150, 150}, view);
  Touch().release(0, {150, 150}, view);
  EXPECT_TRUE(gestures.empty());
}

TEST_F(ViewTouch, FailingGestureHandlerReachesTheApplicationAndDeliveryGoesOn) {
  viewGestures->OnGesture = [](TGestureControl*, const TGestureEventInfo&, bool& handled) {
    handled = true;
    throw Exception("pinch handler failed");
  };
  Pinch({100, 200}, {200, 200}, {10});
  QCoreApplication::processEvents();

  EXPECT_EQ(TTestApplication::Failures.size(), 2u) << "the begin and the end event";
  EXPECT_EQ(TTestApplication::Failures.front(), "pinch handler failed");
  std::vector<std::uint8_t> windowFlags;
  for (const auto& g : gestures) windowFlags.push_back(g.second.Flags);
  EXPECT_EQ(windowFlags, (std::vector<std::uint8_t>{gfBegin, gfEnd}))
      << "the window got both as if the view had not handled them";
  // The touch sequence itself was not broken by the failure.
  gestures.clear();
  Touch().press(0, {100, 100}, view);
  Touch().release(0, {100, 100}, view);
  EXPECT_EQ(view->mouse.back().type, QEvent::MouseButtonRelease);
}

}  // namespace
