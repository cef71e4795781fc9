#include <QGuiApplication>
#include <QScreen>
#include <QTest>
#include <QWidget>
#include <QWindow>
#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "runtime3d/input/FullScreen.h"

using namespace rt3d;

namespace {

// Window geometry comes from the window manager some time after we ask for it.
bool WaitFor(const std::function<bool()>& condition) {
  return QTest::qWaitFor(condition, 5000);
}

// Full screen and borders only mean something with a window manager; a decorated test
// window tells whether there is one.
bool HaveWindowManager() {
  static const bool have = [] {
    if (QGuiApplication::platformName() != "xcb") return false;
    QWidget probe;
    probe.resize(100, 100);
    probe.show();
    if (!QTest::qWaitForWindowExposed(&probe)) return false;
    return QTest::qWaitFor([&] { return probe.frameGeometry() != probe.geometry(); }, 2000);
  }();
  return have;
}

class FullScreenWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!HaveWindowManager()) GTEST_SKIP() << "needs an X display with a window manager";
    screen = window.screen()->geometry();
    centred = QRect(QPoint(), QSize(1332, 829));
    centred.moveCenter(screen.center());
    window.setWindowTitle("Moons of Orvanth");
    window.setGeometry(centred);
  }

  // Asked of the window itself: QWidget::frameGeometry() keeps an old frame until the
  // widget moves, and a window shown again at its old place does not move.
  bool HasBorder() { return window.windowHandle()->frameMargins().top() > 0; }

  bool CoversScreen() {
    return WaitFor([&] {
      return window.isVisible() && (window.windowState() & Qt::WindowFullScreen) &&
             window.geometry() == screen && window.windowHandle()->frameMargins().isNull();
    });
  }
  bool BackToBorderedWindowAt(const QRect& rect) {
    return WaitFor([&] {
      return !(window.windowState() & Qt::WindowFullScreen) && window.geometry() == rect &&
             HasBorder();
    });
  }

  // Qt shows a hidden window again without waiting for the window manager to let go of
  // it, and a window shown again too soon comes back in a muddle of old and new state.
  // Nothing tells when the window manager is done, so give it time.
  void HideAndLetGo() {
    window.hide();
    QTest::qWait(500);
  }

  std::string Describe() const {
    const QRect g = window.geometry();
    const QMargins m = window.windowHandle()->frameMargins();
    return "client " + std::to_string(g.x()) + "," + std::to_string(g.y()) + " " +
           std::to_string(g.width()) + "x" + std::to_string(g.height()) + ", frame margins " +
           std::to_string(m.left()) + "," + std::to_string(m.top()) + "," +
           std::to_string(m.right()) + "," + std::to_string(m.bottom()) + ", state " +
           std::to_string(int(window.windowState()));
  }

  QWidget window;
  TFullScreenController* controller = new TFullScreenController(&window);
  QRect screen, centred;
};

TEST_F(FullScreenWindow, SetBeforeTheFirstShowOpensFullScreenAndLeavesToTheCentredWindow) {
  controller->SetFullScreen(true);
  EXPECT_TRUE(controller->FullScreen());
  EXPECT_FALSE(window.isVisible()) << "only stored until the window is shown";
  window.show();
  EXPECT_TRUE(CoversScreen()) << Describe();

  controller->SetFullScreen(false);
  EXPECT_FALSE(controller->FullScreen());
  EXPECT_TRUE(BackToBorderedWindowAt(centred)) << Describe();

  controller->SetFullScreen(true);
  EXPECT_TRUE(CoversScreen()) << Describe();
  controller->SetFullScreen(false);
  EXPECT_TRUE(BackToBorderedWindowAt(centred)) << Describe();
}

TEST_F(FullScreenWindow, HiddenWhileFullScreenComesBackFullScreen) {
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  controller->SetFullScreen(true);
  ASSERT_TRUE(CoversScreen()) << Describe();

  HideAndLetGo();
  EXPECT_TRUE(controller->FullScreen());
  window.show();
  EXPECT_TRUE(CoversScreen()) << Describe();
  controller->SetFullScreen(false);
  EXPECT_TRUE(BackToBorderedWindowAt(centred)) << Describe();
}

TEST_F(FullScreenWindow, SwitchedWhileHiddenTakesEffectOnShow) {
  window.show();
  controller->SetFullScreen(true);
  ASSERT_TRUE(CoversScreen()) << Describe();

  HideAndLetGo();
  controller->SetFullScreen(false);
  EXPECT_FALSE(controller->FullScreen());
  window.show();
  EXPECT_TRUE(BackToBorderedWindowAt(centred)) << Describe();

  HideAndLetGo();
  controller->SetFullScreen(true);
  EXPECT_TRUE(controller->FullScreen());
  window.show();
  EXPECT_TRUE(CoversScreen()) << Describe();
}

TEST_F(FullScreenWindow, LeavingPutsAMaximisedWindowBackToMaximised) {
  window.showMaximized();
  ASSERT_TRUE(WaitFor([&] { return bool(window.windowState() & Qt::WindowMaximized); }));
  controller->SetFullScreen(true);
  ASSERT_TRUE(CoversScreen()) << Describe();
  controller->SetFullScreen(false);
  EXPECT_TRUE(WaitFor([&] { return window.windowState() == Qt::WindowMaximized && HasBorder(); }))
      << "no geometry was saved, but the state and the border still come back";
}

}  // namespace
