// Touch on a real 3D view: whether a body lies under the fingers comes from the view's own
// picking, and a finger acts as the pointer on the body under it.

#include <QGuiApplication>
#include <QTest>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "runtime3d/input/ViewportTouch.h"
#include "runtime3d/input/WidgetGestures.h"
#include "tests/runtime3d/input/ViewWithBody.h"

using namespace rt3d;

namespace {

// The view and its body (ViewWithBody.h), with touch input and gestures on the view.
class ViewportTouch : public ::testing::Test {
 protected:
  void SetUp() override {
    // Qt's offscreen platform has no GL for widgets (a GL widget shown there crashes Qt).
    if (QGuiApplication::platformName() == "offscreen") GTEST_SKIP() << "needs a display with GL";
    viewport = test::MakeViewWithBody(body);
    body->OnMouseDown = [this](TTreeObject*, TMouseButton, TShiftState, float, float,
                               const TVector3D&, const TVector3D&) { log.push_back("body down"); };
    viewport->OnMouseDown = [this](QObject*, TMouseButton, TShiftState, float, float) {
      log.push_back("view down");
    };
    auto* gestures = TWidgetGestureControl::Ensure(viewport.get());
    gestures->Touch().SetInteractiveGestures(
        {TInteractiveGesture::Zoom, TInteractiveGesture::DoubleTap});
    gestures->OnGesture = [this](TGestureControl*, const TGestureEventInfo& info, bool& handled) {
      log.push_back("gesture " + std::to_string(info.GestureID));
      handled = true;
    };
    AttachTouchInput(viewport.get());
    viewport->show();
    if (!QTest::qWaitForWindowExposed(viewport.get()) || !viewport->DeviceError().isEmpty())
      GTEST_SKIP() << "needs a display with GL";
  }

  void Pinch(QPoint left, QPoint right) {
    static QPointingDevice* device = QTest::createTouchDevice();
    QTest::QTouchEventWidgetSequence touch = QTest::touchEvent(viewport.get(), device);
    touch.press(0, left).commit();
    touch.stationary(0).press(1, right).commit();
    for (int i = 1; i <= 3; ++i) touch.stationary(0).move(1, right + QPoint(10 * i, 0)).commit();
    touch.stationary(0).release(1, right + QPoint(30, 0)).commit();
    touch.release(0, left).commit();
  }

  std::unique_ptr<TViewport3D> viewport;
  TSphere* body = nullptr;
  std::vector<std::string> log;
};

TEST_F(ViewportTouch, PinchOverTheBackgroundZoomsOverABodyNot) {
  Pinch({5, 5}, {25, 5});
  std::vector<std::string> gestures;
  for (const std::string& entry : log)
    if (entry.rfind("gesture", 0) == 0) gestures.push_back(entry);
  EXPECT_EQ(gestures.size(), 4u) << "begin, two steps, end";
  EXPECT_EQ(log.front(), "view down") << "the first finger pressed the bare view";

  log.clear();
  Pinch({90, 100}, {110, 100});
  EXPECT_EQ(log, std::vector<std::string>{"body down"}) << "only the first finger's press";
}

}  // namespace
