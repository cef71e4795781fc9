// A long random storm of input on the real main window: mouse, wheel, keys, touch, menu
// commands, resizes, full screen and the About window, delivered through Qt's window-system
// path as a user's input would be. It must not crash, must not make the error handler
// speak, and must leave the scene in a sound state.
//
// ORVANTH_STORM_SEED and ORVANTH_STORM_EVENTS choose the sequence and its length; the same
// seed gives the same steps, so a failure can be replayed. Under a window manager a resize
// lands a little later or earlier from run to run, and points chosen relative to the
// window's size may then differ by that much.

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QPointingDevice>
#include <QPushButton>
#include <QTest>
#include <QWheelEvent>
#include <QWindow>

#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <random>
#include <string>

#include "Viewer.h"
#include "runtime3d/animation/AniThread.h"
#include "runtime3d/animation/Animator.h"
#include "runtime3d/animation/ManualAnimationClock.h"
#include "runtime3d/core/ViewportRoot.h"

using namespace robustness;

namespace {

std::uint64_t EnvNumber(const char* name, std::uint64_t fallback) {
  const char* text = std::getenv(name);
  if (text == nullptr || *text == '\0') return fallback;
  return std::strtoull(text, nullptr, 0);
}

// What lies under the points of the window, refreshed now and then as the scene moves.
struct TTargets {
  std::array<std::vector<QPoint>, 6> Bodies;  // by body index; [0] unused
  std::vector<QPoint> Sky;
};

class TStorm {
 public:
  TStorm(TMainWindow& viewer, std::uint64_t seed) : FViewer(viewer), FSeed(seed) {
    FWindow = viewer.windowHandle();
    FTouch = QTest::createTouchDevice();
    // Qt registers it for good; it goes with the application, not before.
    FTouch->setParent(QCoreApplication::instance());
    FPointer = QPoint(viewer.width() / 2, viewer.height() / 2);
  }

  long Events() const { return FEvents; }
  // Presses by what lay under them: the five bodies by index, then sky, panel, fact sheet.
  enum Place { kSky = 6, kPanel, kFactSheet };
  const std::array<long, 9>& Presses() const { return FPresses; }
  const std::array<long, 8>& Kinds() const { return FKinds; }

  // Each step draws from a generator of its own, seeded from the storm's seed and the
  // step's number, so a step that draws more or less (because the window was in another
  // state) does not shift the steps after it.
  void Run(long events, int paintEvery, const std::function<void()>& advanceTime) {
    long nextPaint = paintEvery;
    long nextScan = 0;
    long nextReport = 10000;
    for (std::uint64_t step = 0; FEvents < events; ++step) {
      FRandom.seed(FSeed * 0x9E3779B97F4A7C15ull + step);
      if (FEvents >= nextScan) {
        Scan();
        nextScan = FEvents + 400;
      }
      Step();
      if (FEvents >= nextPaint) {
        // Let the animations move and the view paint, but not after every event: a frame
        // costs far more than an event.
        advanceTime();
        QCoreApplication::processEvents();
        nextPaint = FEvents + paintEvery;
      }
      if (FEvents >= nextReport) {
        // Where a crash happened, for a shorter replay with ORVANTH_STORM_EVENTS.
        std::printf("  %ld events (step %llu)\n", FEvents, static_cast<unsigned long long>(step));
        std::fflush(stdout);
        nextReport += 10000;
      }
    }
    ReleaseEverything();
  }

 private:
  enum Kind { kMouse, kWheel, kKey, kTouch, kMenu, kResize, kAbout, kDouble };

  int Uniform(int low, int high) { return std::uniform_int_distribution<int>(low, high)(FRandom); }
  bool Chance(double p) { return std::bernoulli_distribution(p)(FRandom); }
  template <typename T>
  const T& Pick(const std::vector<T>& items) {
    return items[std::size_t(Uniform(0, int(items.size()) - 1))];
  }

  // --- Where ------------------------------------------------------------------------------

  void Scan() {
    FTargets = {};
    const int step = 24;
    for (int y = step / 2; y < FViewer.height(); y += step) {
      for (int x = step / 2; x < FViewer.width(); x += step) {
        const QPointF global = FViewer.mapToGlobal(QPointF(x, y));
        const rt3d::TViewportHit hit =
            FViewer.View()->ObjectAtPoint({float(global.x()), float(global.y())});
        if (hit.Object == nullptr) {
          if (hit.OnViewport) FTargets.Sky.push_back({x, y});
          continue;
        }
        for (int body = 1; body <= 5; ++body) {
          const rt3d::TSphere* sphere =
              FViewer.Scene().Bodies[orvanth::kBodyIds[std::size_t(body - 1)]];
          if (hit.Object == sphere) FTargets.Bodies[std::size_t(body)].push_back({x, y});
        }
      }
    }
  }

  QPoint InRect(const QRect& r) {
    return {Uniform(r.left(), std::max(r.left(), r.right())),
            Uniform(r.top(), std::max(r.top(), r.bottom()))};
  }

  QPoint Somewhere() {
    const int choice = Uniform(0, 99);
    if (choice < 30) {
      std::vector<int> seen;
      for (int body = 1; body <= 5; ++body) {
        if (!FTargets.Bodies[std::size_t(body)].empty()) seen.push_back(body);
      }
      if (!seen.empty()) return Pick(FTargets.Bodies[std::size_t(Pick(seen))]);
    }
    if (choice < 45 && !FTargets.Sky.empty()) return Pick(FTargets.Sky);
    if (choice < 65) {
      const QRect panel = FViewer.Overlays().ButtonPanel->geometry();
      if (Chance(0.6)) {
        using namespace orvanth;
        const std::array<QPushButton*, 5> buttons{
            FViewer.BodyButton(TBodyId::Ganymede), FViewer.BodyButton(TBodyId::Callisto),
            FViewer.BodyButton(TBodyId::Io), FViewer.BodyButton(TBodyId::Europa),
            FViewer.BodyButton(TBodyId::Orvanth)};
        QPushButton* button = buttons[std::size_t(Uniform(0, 4))];
        return FViewer.Overlays().ButtonPanel->mapTo(&FViewer, button->geometry().center());
      }
      return InRect(panel);
    }
    if (choice < 75)
      return InRect(Chance(0.5) ? FViewer.Overlays().FactSheetCaptions->geometry()
                                : FViewer.Overlays().FactSheetValues->geometry());
    if (choice < 78) {
      // Just outside the window: a drag may well leave it.
      return {Uniform(-20, FViewer.width() + 20), Uniform(-20, FViewer.height() + 20)};
    }
    return {Uniform(0, FViewer.width() - 1), Uniform(0, FViewer.height() - 1)};
  }

  // A point away from an open menu, so that no menu item is ever chosen by accident.
  QPoint AwayFromMenu() {
    const QRect menu(FViewer.mapFromGlobal(FViewer.Overlays().ContextMenu->geometry().topLeft()),
                     FViewer.Overlays().ContextMenu->geometry().size());
    for (int attempt = 0; attempt < 50; ++attempt) {
      const QPoint p = Somewhere();
      if (!menu.adjusted(-4, -4, 4, 4).contains(p)) return p;
    }
    return {2, 2};
  }

  bool MenuOpen() const { return QApplication::activePopupWidget() != nullptr; }

  // --- Mouse ------------------------------------------------------------------------------

  void Mouse(QEvent::Type type, Qt::MouseButton button, QPoint at,
             Qt::KeyboardModifiers modifiers = {}) {
    FTime += Uniform(1, 40);
    FPointer = at;
    if (type == QEvent::MouseButtonPress) {
      FButtons |= button;
      Tally(at);
    }
    if (type == QEvent::MouseButtonRelease) FButtons &= ~Qt::MouseButtons(button);
    qt_handleMouseEvent(FWindow, QPointF(at), FWindow->mapToGlobal(QPointF(at)), FButtons, button,
                        type, modifiers, int(FTime));
    Count(kMouse);
  }

  Qt::MouseButton AnyButton() {
    const int choice = Uniform(0, 9);
    return choice < 5 ? Qt::LeftButton : choice < 8 ? Qt::MiddleButton : Qt::RightButton;
  }

  Qt::KeyboardModifiers AnyModifiers() {
    Qt::KeyboardModifiers m;
    if (Chance(0.1)) m |= Qt::ShiftModifier;
    if (Chance(0.1)) m |= Qt::ControlModifier;
    if (Chance(0.05)) m |= Qt::AltModifier;
    return m;
  }

  void MouseStep() {
    const int choice = Uniform(0, 99);
    if (choice < 45) {
      // A drag or a hover: a few steps toward a new point.
      const QPoint to = MenuOpen() ? AwayFromMenu() : Somewhere();
      const int steps = Uniform(1, 6);
      const QPoint from = FPointer;
      for (int i = 1; i <= steps; ++i) {
        Mouse(QEvent::MouseMove, Qt::NoButton, from + (to - from) * i / steps);
      }
    } else if (choice < 75) {
      const Qt::MouseButton button = AnyButton();
      if (FButtons & button) {
        Mouse(QEvent::MouseButtonRelease, button, FPointer);
      } else {
        Mouse(QEvent::MouseButtonPress, button, MenuOpen() ? AwayFromMenu() : Somewhere(),
              AnyModifiers());
      }
    } else if (choice < 95) {
      // Release whatever is held, where the pointer is or somewhere else.
      for (Qt::MouseButton button : {Qt::LeftButton, Qt::MiddleButton, Qt::RightButton}) {
        if (FButtons & button) {
          Mouse(QEvent::MouseButtonRelease, button, Chance(0.5) ? FPointer : AwayFromMenu());
        }
      }
    } else if (FButtons == Qt::NoButton && !MenuOpen()) {
      // A double click: two quick presses at one place.
      const QPoint at = Somewhere();
      const Qt::MouseButton button = Chance(0.8) ? Qt::LeftButton : AnyButton();
      for (int i = 0; i < 2; ++i) {
        Mouse(QEvent::MouseButtonPress, button, at);
        Mouse(QEvent::MouseButtonRelease, button, at);
      }
      Count(kDouble, 0);
    }
  }

  void Wheel() {
    static const std::array<int, 13> kDeltas{0,   1,    -1,   15,     -15,   120,   -120,
                                             240, -360, 1200, -32768, 32767, 100000};
    int delta = kDeltas[std::size_t(Uniform(0, int(kDeltas.size()) - 1))];
    if (Chance(0.3)) delta = Uniform(-100000, 100000);
    const QPoint angle = Chance(0.85) ? QPoint(0, delta) : QPoint(delta, Uniform(-120, 120));
    const QPoint at = MenuOpen() ? AwayFromMenu() : Somewhere();
    QWheelEvent event(QPointF(at), FWindow->mapToGlobal(QPointF(at)), QPoint(), angle, FButtons,
                      AnyModifiers(), Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(FWindow, &event);
    Count(kWheel);
  }

  // --- Keys -------------------------------------------------------------------------------

  void Key(int key, Qt::KeyboardModifiers modifiers, const QString& text) {
    qt_handleKeyEvent(FWindow, QEvent::KeyPress, key, modifiers, text);
    if (Chance(0.1)) qt_handleKeyEvent(FWindow, QEvent::KeyPress, key, modifiers, text, true);
    qt_handleKeyEvent(FWindow, QEvent::KeyRelease, key, modifiers, text);
    Count(kKey);
  }

  void KeyStep() {
    if (MenuOpen()) {
      Key(Qt::Key_Escape, {}, QString());
      return;
    }
    switch (Uniform(0, 13)) {
      case 0:
      case 1:
      case 2:
        return Key(Qt::Key_Space, {}, QStringLiteral(" "));
      case 3:
        return Key(Qt::Key_Space, Qt::ControlModifier,
                   Chance(0.5) ? QString() : QStringLiteral(" "));
      case 4:
        return Key(Qt::Key_Tab, {}, QStringLiteral("\t"));
      case 5:
        return Key(Qt::Key_Backtab, Qt::ShiftModifier, QString());
      case 6:
        return Key(Qt::Key_Return, {}, QStringLiteral("\r"));
      case 7:
        return Key(Qt::Key_Enter, Qt::KeypadModifier, QStringLiteral("\r"));
      case 8:
        return Letter();
      case 9: {
        static const std::array<int, 4> kArrows{Qt::Key_Left, Qt::Key_Right, Qt::Key_Up,
                                                Qt::Key_Down};
        return Key(kArrows[std::size_t(Uniform(0, 3))], AnyModifiers(), QString());
      }
      case 10: {
        static const std::array<std::pair<int, const char*>, 5> kZoom{{{Qt::Key_Plus, "+"},
                                                                       {Qt::Key_Equal, "="},
                                                                       {Qt::Key_Minus, "-"},
                                                                       {Qt::Key_PageUp, ""},
                                                                       {Qt::Key_PageDown, ""}}};
        const auto& [key, text] = kZoom[std::size_t(Uniform(0, 4))];
        return Key(key, AnyModifiers(), QString::fromLatin1(text));
      }
      case 11: {
        const int digit = Uniform(0, 9);
        return Key(Qt::Key_0 + digit, Chance(0.2) ? Qt::KeypadModifier : Qt::NoModifier,
                   QString::number(digit));
      }
      case 12:
        return CommandKey();
      default:
        return Key(Qt::Key_Escape, {}, QString());
    }
  }

  // A letter, with any modifiers but never Ctrl+Q: that would end the program.
  void Letter() {
    const int letter = Uniform(0, 25);
    Qt::KeyboardModifiers modifiers = AnyModifiers();
    if (Qt::Key_A + letter == Qt::Key_Q) modifiers &= ~Qt::KeyboardModifiers(Qt::ControlModifier);
    Key(Qt::Key_A + letter, modifiers, QString(QChar(u'a' + letter)));
  }

  // The keys of the menu's commands (the save dialog is cancelled) and of the menu itself.
  void CommandKey() {
    switch (Uniform(0, 4)) {
      case 0:
        return Key(Qt::Key_F1, {}, QString());
      case 1:
        return Key(Qt::Key_F11, {}, QString());
      case 2:
        return Key(Qt::Key_S, Qt::ControlModifier, QStringLiteral("s"));
      case 3:
        return Key(Qt::Key_Menu, {}, QString());
      default:
        return Key(Qt::Key_F10, Qt::ShiftModifier, QString());
    }
  }

  // --- Touch ------------------------------------------------------------------------------

  void Commit(QTest::QTouchEventWidgetSequence& touch) {
    touch.commit(false);
    Count(kTouch);
  }

  void TouchStep() {
    auto touch = QTest::touchEvent(&FViewer, FTouch, false);
    const QPoint a = Somewhere();
    switch (Uniform(0, 3)) {
      case 0:  // a tap, or two quick ones
      case 1: {
        const int taps = Uniform(1, 2);
        for (int i = 0; i < taps; ++i) {
          Commit(touch.press(0, a));
          if (Chance(0.3)) Commit(touch.move(0, a + QPoint(Uniform(-15, 15), Uniform(-15, 15))));
          Commit(touch.release(0, a));
        }
        break;
      }
      case 2: {  // a pinch, sometimes with a third finger
        QPoint b = a + QPoint(Uniform(-200, 200), Uniform(-200, 200));
        Commit(touch.press(0, a).press(1, b));
        QPoint c = a;
        const int moves = Uniform(1, 12);
        for (int i = 0; i < moves; ++i) {
          c += QPoint(Uniform(-30, 30), Uniform(-30, 30));
          b += QPoint(Uniform(-30, 30), Uniform(-30, 30));
          Commit(touch.move(0, c).move(1, b));
        }
        if (Chance(0.2)) {
          Commit(touch.stationary(0).stationary(1).press(2, Somewhere()));
          Commit(touch.stationary(0).stationary(1).release(2, b));
        }
        if (Chance(0.5)) {
          Commit(touch.release(0, c).stationary(1));
          Commit(touch.release(1, b));
        } else {
          Commit(touch.release(0, c).release(1, b));
        }
        break;
      }
      default: {  // a one-finger drag
        QPoint p = a;
        Commit(touch.press(0, p));
        const int moves = Uniform(1, 10);
        for (int i = 0; i < moves; ++i) {
          p += QPoint(Uniform(-40, 40), Uniform(-40, 40));
          Commit(touch.move(0, p));
        }
        Commit(touch.release(0, p));
      }
    }
  }

  // --- Commands ---------------------------------------------------------------------------

  void MenuCommand() {
    // All but "Screenshot" and "Exit".
    const std::array<QAction*, 5> items{FViewer.Actions().AutoRotate, FViewer.Actions().ShowNames,
                                        FViewer.Actions().ShowInfo, FViewer.Actions().FullScreen,
                                        FViewer.Actions().About};
    items[std::size_t(Uniform(0, 4))]->trigger();
    Count(kMenu);
  }

  void Resize() {
    if (!FViewer.FullScreen()) {
      FViewer.resize(Uniform(200, 1900), Uniform(150, 1060));
    } else {
      FViewer.Actions().FullScreen->trigger();
    }
    Count(kResize);
  }

  void About() {
    if (TheAboutWindow == nullptr) return;
    if (!TheAboutWindow->isVisible()) {
      FViewer.Actions().About->trigger();
    } else if (Chance(0.5)) {
      TheAboutWindow->close();
    } else {
      TheAboutWindow->OkButton->click();
    }
    Count(kAbout);
  }

  void Step() {
    const int choice = Uniform(0, 999);
    if (MenuOpen() && choice < 300) {
      // Someone who opened the menu mostly closes it again soon.
      if (Chance(0.5)) {
        Key(Qt::Key_Escape, {}, QString());
      } else {
        const QPoint at = AwayFromMenu();
        Mouse(QEvent::MouseButtonPress, Qt::LeftButton, at);
        Mouse(QEvent::MouseButtonRelease, Qt::LeftButton, at);
      }
      return;
    }
    if (choice < 620) return MouseStep();
    if (choice < 760) return Wheel();
    if (choice < 880) return KeyStep();
    if (choice < 940) {
      if (FButtons == Qt::NoButton && !MenuOpen()) return TouchStep();
      return MouseStep();
    }
    if (choice < 975) return MenuCommand();
    if (choice < 988) return Resize();
    return About();
  }

  void ReleaseEverything() {
    for (Qt::MouseButton button : {Qt::LeftButton, Qt::MiddleButton, Qt::RightButton}) {
      if (FButtons & button) Mouse(QEvent::MouseButtonRelease, button, FPointer);
    }
    if (MenuOpen()) Key(Qt::Key_Escape, {}, QString());
  }

  void Tally(QPoint at) {
    if (!FViewer.rect().contains(at)) return;
    if (FViewer.Overlays().ButtonPanel->isVisible() &&
        FViewer.Overlays().ButtonPanel->geometry().contains(at)) {
      ++FPresses[kPanel];
      return;
    }
    if (FViewer.Overlays().FactSheetCaptions->isVisible() &&
        (FViewer.Overlays().FactSheetCaptions->geometry().contains(at) ||
         FViewer.Overlays().FactSheetValues->geometry().contains(at))) {
      ++FPresses[kFactSheet];  // the texts let presses through to what lies below
    }
    const QPointF global = FViewer.mapToGlobal(QPointF(at));
    const rt3d::TViewportHit hit =
        FViewer.View()->ObjectAtPoint({float(global.x()), float(global.y())});
    for (int body = 1; body <= 5; ++body) {
      const rt3d::TSphere* sphere =
          FViewer.Scene().Bodies[orvanth::kBodyIds[std::size_t(body - 1)]];
      if (hit.Object != nullptr && hit.Object == sphere) ++FPresses[std::size_t(body)];
    }
    if (hit.Object == nullptr && hit.OnViewport) ++FPresses[kSky];
  }

  void Count(Kind kind, long events = 1) {
    FEvents += events;
    ++FKinds[kind];
  }

  TMainWindow& FViewer;
  std::uint64_t FSeed;
  std::mt19937_64 FRandom;
  QWindow* FWindow = nullptr;
  QPointingDevice* FTouch = nullptr;
  TTargets FTargets;
  QPoint FPointer;
  Qt::MouseButtons FButtons;
  std::uint64_t FTime = 100000;
  long FEvents = 0;
  std::array<long, 8> FKinds{};
  std::array<long, 9> FPresses{};
};

}  // namespace

// The storm's animations run on a clock moved by the test, so that where the bodies are
// at each step, and so what a press hits, follows from the seed and not from how fast the
// machine is.
class InputStorm : public TManualClockTest {
 protected:
  // Five timer ticks of 10 ms.
  void Tick(int ticks = 5) {
    for (int i = 0; i < ticks; ++i) {
      FClock->Advance(0.010);
      FTimer->Fire();
    }
  }
};

TEST_F(InputStorm, TheViewerSurvivesAStormOfInputInASoundState) {
  const std::uint64_t seed = EnvNumber("ORVANTH_STORM_SEED", 20240115);
  const long events = long(EnvNumber("ORVANTH_STORM_EVENTS", 100000));
  std::printf("Input storm: seed %llu, %ld events (ORVANTH_STORM_SEED, ORVANTH_STORM_EVENTS)\n",
              static_cast<unsigned long long>(seed), events);
  ShownErrors().clear();
  TViewer program;
  TMainWindow& viewer = program.Window();
  ASSERT_NE(FTimer, nullptr) << "the animations did not start on the test clock";

  TStorm storm(viewer, seed);
  storm.Run(events, 250, [this] { Tick(); });
  const auto& kinds = storm.Kinds();
  std::printf(
      "Delivered %ld events: %ld mouse, %ld wheel, %ld keys, %ld touch, %ld menu commands, "
      "%ld resizes, %ld About, %ld double clicks\n",
      storm.Events(), kinds[0], kinds[1], kinds[2], kinds[3], kinds[4], kinds[5], kinds[6],
      kinds[7]);
  const auto& presses = storm.Presses();
  std::printf(
      "Presses on Orvanth %ld, Io %ld, Europa %ld, Ganymede %ld, Callisto %ld, sky %ld, "
      "panel %ld, fact sheet %ld\n",
      presses[1], presses[2], presses[3], presses[4], presses[5], presses[TStorm::kSky],
      presses[TStorm::kPanel], presses[TStorm::kFactSheet]);
  if (events >= 10000) {
    // A storm that never reached a kind of place would prove little about it.
    for (std::size_t place = 1; place < presses.size(); ++place) {
      EXPECT_GT(presses[place], 0) << "no press on place " << place;
    }
  }
  // Let the last frames and deferred calls run.
  Tick();
  QTest::qWait(200);

  EXPECT_GE(storm.Events(), events);
  EXPECT_TRUE(ShownErrors().empty())
      << "the error handler spoke: " << ShownErrors().front().toStdString();
  EXPECT_TRUE(RigIsRotation(viewer));
  const float z = viewer.Scene().Camera->Position().Z();
  EXPECT_TRUE(z > -40 && z < -5) << "camera distance " << z;
  EXPECT_TRUE(OrbitsKeepTheirRadii(viewer));

  // The animations run exactly when "Auto-rotate" is checked, and the bodies move then.
  const bool autoRotate = viewer.Actions().AutoRotate->isChecked();
  for (rt3d::TFloatAnimation* animation : viewer.Scene().BodyAnimations) {
    EXPECT_EQ(animation->Running(), autoRotate) << animation->Name();
  }
  const std::array<float, 5> before = BodyAngles(viewer);
  Tick(30);
  const std::array<float, 5> after = BodyAngles(viewer);
  for (std::size_t i = 0; i < before.size(); ++i) {
    EXPECT_TRUE(std::isfinite(after[i]) && after[i] >= 0 && after[i] < 360) << after[i];
    EXPECT_EQ(before[i] != after[i], autoRotate)
        << "body " << i + 1 << " went from " << before[i] << " to " << after[i]
        << " with Auto-rotate " << (autoRotate ? "on" : "off");
  }
}
