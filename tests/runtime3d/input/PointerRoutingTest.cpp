// Pointer routing of the view: which of the view and its bodies gets presses, moves,
// releases, double clicks, the wheel and the context menu. Events go through Qt's own
// window routing (QTest on the window), so Qt's implicit grab and double-click detection
// take part as they do for a user.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QCursor>
#include <QGuiApplication>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include "runtime3d/core/Exceptions.h"
#include "tests/runtime3d/input/TestApplication.h"
#include "tests/runtime3d/input/ViewWithBody.h"

using namespace rt3d;

namespace {

// On the planet-sized sphere in the middle of the view, and on the bare view.
const QPoint kOnBody(100, 100);
const QPoint kOnView(10, 10);

std::string Button(TMouseButton button) {
  switch (button) {
    case TMouseButton::mbLeft:
      return "L";
    case TMouseButton::mbRight:
      return "R";
    case TMouseButton::mbMiddle:
      return "M";
  }
  return "?";
}

std::string Flags(TShiftState shift) {
  return (shift & ssDouble) ? " double" : "";
}

// The view and its body, shown.
struct PointerRouting : ::testing::Test {
  void SetUp() override {
    // Qt's offscreen platform has no GL for widgets (a GL widget shown there crashes Qt).
    if (QGuiApplication::platformName() == "offscreen") GTEST_SKIP() << "needs a display with GL";
    TTestApplication::Failures.clear();
    viewport = test::MakeViewWithBody(body);
    viewport->SetColor(claNull);
    viewport->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(viewport.get()));
    ASSERT_TRUE(viewport->DeviceError().isEmpty()) << viewport->DeviceError().toStdString();
    viewport->OnMouseDown = [this](QObject*, TMouseButton b, TShiftState s, float, float) {
      log.push_back("view down " + Button(b) + Flags(s));
    };
    viewport->OnMouseMove = [this](QObject*, TShiftState, float, float) {
      log.push_back("view move");
    };
    viewport->OnMouseUp = [this](QObject*, TMouseButton b, TShiftState, float, float) {
      log.push_back("view up " + Button(b));
    };
    viewport->OnDblClick = [this](QObject*) { log.push_back("view dblclick"); };
    viewport->OnMouseWheel = [this](QObject*, TShiftState, int delta, bool& handled) {
      log.push_back("view wheel " + std::to_string(delta));
      handled = true;
    };
    body->OnMouseDown = [this](TTreeObject*, TMouseButton b, TShiftState s, float, float,
                               const TVector3D&, const TVector3D&) {
      log.push_back("body down " + Button(b) + Flags(s));
    };
    body->OnMouseMove = [this](TTreeObject*, TShiftState, float, float, const TVector3D&,
                               const TVector3D&) { log.push_back("body move"); };
    body->OnMouseUp = [this](TTreeObject*, TMouseButton b, TShiftState, float, float,
                             const TVector3D&,
                             const TVector3D&) { log.push_back("body up " + Button(b)); };
    body->OnClick = [this](TTreeObject*) { log.push_back("body click"); };
    body->OnDblClick = [this](TTreeObject*) { log.push_back("body dblclick"); };
    body->OnMouseEnter = [this](TTreeObject*) { log.push_back("body enter"); };
    body->OnMouseLeave = [this](TTreeObject*) { log.push_back("body leave"); };
    // Start with the pointer over the bare view and nothing recorded.
    QTest::mouseMove(window(), kOnView);
    log.clear();
  }
  // The view goes first: its bodies may still tell the log they are left.
  void TearDown() override { viewport.reset(); }
  QWindow* window() { return viewport->windowHandle(); }
  void Wheel(QPoint at, int delta) {
    QWheelEvent event(at, viewport->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(viewport.get(), &event);
  }

  std::unique_ptr<TViewport3D> viewport;
  TSphere* body = nullptr;
  std::vector<std::string> log;
};

using Log = std::vector<std::string>;

}  // namespace

TEST_F(PointerRouting, DoubleClickOnTheViewFiresInOrder) {
  QTest::mouseDClick(window(), Qt::LeftButton, {}, kOnView);
  EXPECT_EQ(log,
            (Log{"view down L", "view up L", "view down L double", "view dblclick", "view up L"}));
}

TEST_F(PointerRouting, DoubleClickOnABodyClicksThenDoubleClicksIt) {
  QTest::mouseMove(window(), kOnBody);
  log.clear();
  QTest::mouseDClick(window(), Qt::LeftButton, {}, kOnBody);
  EXPECT_EQ(log, (Log{"body down L", "body click", "body up L", "body down L double",
                      "body dblclick", "body up L"}));
}

TEST_F(PointerRouting, PressOnABodyDoesNotCaptureSoMovesOffItGoToTheView) {
  QTest::mouseMove(window(), kOnBody);
  log.clear();
  QTest::mousePress(window(), Qt::LeftButton, {}, kOnBody);
  QTest::mouseMove(window(), QPoint(105, 100));
  QTest::mouseMove(window(), kOnView);
  QTest::mouseMove(window(), QPoint(12, 10));
  QTest::mouseRelease(window(), Qt::LeftButton, {}, QPoint(12, 10));
  EXPECT_EQ(log,
            (Log{"body down L", "body move", "body leave", "view move", "view move", "view up L"}));
}

TEST_F(PointerRouting, PressOnTheViewCapturesUntilTheRelease) {
  QTest::mousePress(window(), Qt::LeftButton, {}, kOnView);
  EXPECT_TRUE(viewport->IsCaptured());
  QTest::mouseMove(window(), kOnBody);
  QTest::mouseRelease(window(), Qt::LeftButton, {}, kOnBody);
  EXPECT_EQ(log, (Log{"view down L", "view move", "view up L"}))
      << "the body under the pointer sees nothing of a captured drag";
  EXPECT_FALSE(viewport->IsCaptured());
  QTest::mouseMove(window(), QPoint(101, 100));
  EXPECT_EQ(log.back(), "body move") << "after the release moves go to the body again";
}

TEST_F(PointerRouting, DragThatEndsOutsideTheWindowEndsAtTheView) {
  QTest::mousePress(window(), Qt::LeftButton, {}, kOnBody);
  QTest::mouseMove(window(), QPoint(-30, -30));
  QTest::mouseRelease(window(), Qt::LeftButton, {}, QPoint(-30, -30));
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.back(), "view up L");
}

TEST_F(PointerRouting, RightPressOnTheBareViewOpensTheMenuAndStartsNoPress) {
  QMenu menu;
  menu.addAction("Rotate");
  viewport->SetPopupMenu(&menu);
  QTest::mousePress(window(), Qt::RightButton, {}, kOnView);
  EXPECT_TRUE(menu.isVisible());
  EXPECT_TRUE(log.empty()) << log.front();
  EXPECT_FALSE(viewport->IsCaptured());
  menu.close();
  QTest::mouseRelease(window(), Qt::RightButton, {}, kOnView);
}

TEST_F(PointerRouting, APressThatLosesThePointerEndsWithoutARelease) {
  QMenu menu;
  menu.addAction("Rotate");
  viewport->SetPopupMenu(&menu);
  viewport->OnPointerLost = [this](QObject*) { log.push_back("view lost"); };
  QWidget other;
  other.resize(100, 100);
  auto activateOther = [&] {
    other.show();
    other.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
  };
  struct TCase {
    const char* Name;
    QPoint PressAt;
    std::function<void()> Interrupt;
    Log Expected;
  };
  const TCase cases[] = {
      {"the view's menu opens mid-drag",
       kOnView,
       [&] { QTest::mousePress(window(), Qt::RightButton, {}, kOnView); },
       {"view down L", "view lost"}},
      {"a handler opens a menu during a body's drag",
       kOnBody,
       [&] { menu.popup(viewport->mapToGlobal(kOnBody)); },
       {"body down L", "view lost"}},
      {"another window becomes active", kOnBody, activateOther, {"body down L", "view lost"}},
      {"the view is hidden", kOnView, [&] { viewport->hide(); }, {"view down L", "view lost"}},
  };
  for (const TCase& c : cases) {
    viewport->show();
    viewport->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(viewport.get())) << c.Name;
    // A move the view sees even when the pointer is there already (a closed menu or window
    // left it there), so that the hover is settled before the press: only the press is under
    // test. On a busy machine the hover can come a moment later.
    QTest::mouseMove(window(), c.PressAt + QPoint(1, 1));
    QTest::mouseMove(window(), c.PressAt);
    const bool onBody = c.PressAt == kOnBody;
    for (int i = 0; i < 200 && (viewport->HoveredObject() != nullptr) != onBody; ++i) {
      QTest::qWait(10);
    }
    log.clear();
    QTest::mousePress(window(), Qt::LeftButton, {}, c.PressAt);
    c.Interrupt();
    EXPECT_EQ(log, c.Expected) << c.Name;
    EXPECT_FALSE(viewport->IsCaptured()) << c.Name;
    // The releases go to the menu or the other window; tidy up for the next case.
    menu.close();
    other.hide();
    QTest::mouseRelease(window(), Qt::LeftButton, {}, c.PressAt);
    QTest::mouseRelease(window(), Qt::RightButton, {}, c.PressAt);
  }

  // A plain hover out of the view, and a press with its release, lose nothing.
  log.clear();
  QEvent leave(QEvent::Leave);
  QCoreApplication::sendEvent(viewport.get(), &leave);
  QTest::mouseClick(window(), Qt::LeftButton, {}, kOnView);
  EXPECT_EQ(log, (Log{"view down L", "view up L"}));
}

TEST_F(PointerRouting, RightPressOnABodyIsAnOrdinaryPress) {
  QMenu menu;
  menu.addAction("Rotate");
  viewport->SetPopupMenu(&menu);
  QTest::mouseMove(window(), kOnBody);
  log.clear();
  QTest::mousePress(window(), Qt::RightButton, {}, kOnBody);
  EXPECT_FALSE(menu.isVisible());
  EXPECT_EQ(log, (Log{"body down R"}));
  QTest::mouseRelease(window(), Qt::RightButton, {}, kOnBody);
  EXPECT_EQ(log.back(), "body up R");
}

TEST_F(PointerRouting, RightPressOnAViewWithoutMenuIsAnOrdinaryPress) {
  QTest::mouseClick(window(), Qt::RightButton, {}, kOnView);
  EXPECT_EQ(log, (Log{"view down R", "view up R"}));
}

TEST_F(PointerRouting, WheelOverABodyGoesUpToTheViewUntilHandled) {
  Wheel(kOnBody, 120);
  Wheel(kOnView, -120);
  EXPECT_EQ(log, (Log{"view wheel 120", "view wheel -120"}));

  // A parent that handles the wheel keeps it from the view.
  log.clear();
  auto* rig = new TDummy("Rig");
  viewport->Root()->AddObject(rig);
  rig->AddObject(body);
  bool parentSaw = false;
  rig->OnMouseWheel = [&](TTreeObject*, TShiftState, int, bool& handled) {
    parentSaw = true;
    handled = true;
  };
  Wheel(kOnBody, 120);
  EXPECT_TRUE(parentSaw);
  EXPECT_TRUE(log.empty());
}

TEST_F(PointerRouting, WheelDuringACapturedDragGoesOnlyToTheView) {
  bool bodySaw = false;
  body->OnMouseWheel = [&](TTreeObject*, TShiftState, int, bool& handled) {
    bodySaw = true;
    handled = true;
  };
  QTest::mousePress(window(), Qt::LeftButton, {}, kOnView);
  QTest::mouseMove(window(), kOnBody);
  log.clear();
  Wheel(kOnBody, 120);
  EXPECT_FALSE(bodySaw);
  EXPECT_EQ(log, (Log{"view wheel 120"}));
  QTest::mouseRelease(window(), Qt::LeftButton, {}, kOnBody);
}

TEST_F(PointerRouting, HoverFollowsThePointerAcrossBodies) {
  QTest::mouseMove(window(), kOnBody);
  EXPECT_TRUE(body->IsMouseOver());
  EXPECT_EQ(viewport->HoveredObject(), body);
  QTest::mouseMove(window(), kOnView);
  EXPECT_FALSE(body->IsMouseOver());
  EXPECT_EQ(log, (Log{"body enter", "body move", "body leave", "view move"}));
  QTest::mouseMove(window(), kOnBody);
  delete body;
  EXPECT_EQ(viewport->HoveredObject(), nullptr) << "a freed body is forgotten";
  QTest::mouseMove(window(), kOnView);
}

TEST_F(PointerRouting, FailingHandlerLeavesTheViewReadyForTheNextPress) {
  viewport->OnMouseDown = [](QObject*, TMouseButton, TShiftState, float, float) {
    throw Exception("Handler failed.");
  };
  QTest::mousePress(window(), Qt::LeftButton, {}, kOnView);
  ASSERT_EQ(TTestApplication::Failures, (Log{"Handler failed."}));
  QTest::mouseRelease(window(), Qt::LeftButton, {}, kOnView);
  EXPECT_EQ(log, (Log{"view up L"})) << "the release still ends the press";
  EXPECT_FALSE(viewport->IsCaptured());
}

TEST(ViewportFocus, PressingTheViewLeavesTheFocusWhereItWas) {
  if (QGuiApplication::platformName() == "offscreen") GTEST_SKIP() << "needs a display with GL";
  QWidget window;
  window.resize(300, 200);
  auto* button = new QPushButton("Io", &window);
  button->setGeometry(210, 10, 80, 30);
  auto* view = new TViewport3D(&window);
  view->setGeometry(0, 0, 200, 200);
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  button->setFocus();
  ASSERT_EQ(window.focusWidget(), button);
  QTest::mouseClick(window.windowHandle(), Qt::LeftButton, {}, QPoint(50, 50));
  EXPECT_EQ(window.focusWidget(), button);
  EXPECT_EQ(view->focusPolicy(), Qt::NoFocus);
}
