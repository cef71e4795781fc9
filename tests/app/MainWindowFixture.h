#pragma once
// The real main window, shown full screen, driven by simulated input through Qt's own
// window routing, with the animation clock moved by hand.

#include <QImage>
#include <QPoint>
#include <QString>
#include <QWindow>
#include <functional>
#include <vector>

#include <gtest/gtest.h>

#include "app/AboutWindow.h"
#include "app/MainWindow.h"

namespace apptest {

// The messages the application's error handler showed, oldest first.
std::vector<QString>& ErrorMessages();

// Replaces the animation clock's timer and clock by ones moved by hand; every clock made
// afterwards (one per window's life, see FreeAnimationGlobals) is manual too.
void InstallManualAnimationClock();
// Moves time on by `seconds`, one tick per `step` at most, then lets deferred calls run.
void Advance(double seconds, double step = 0.25);
// Moves time on by `seconds` with no tick: the event loop was busy all along.
void PassTimeWithoutTicks(double seconds);

// Runs the event loop until `condition` holds or `timeoutMs` has passed.
bool WaitFor(const std::function<bool()>& condition, int timeoutMs = 5000);

// Minimises a window the way the window manager's button does, behind the program's back
// (the program's own request would also change what the window asks for when next shown).
void AskWindowManagerToMinimise(QWidget& window);

// The angle from `from` to `to` turned the short way, in (-180, 180].
double AngleStep(double from, double to);

// Runs the program's event loop until it ends and returns its exit code; a loop still
// running after 10 s is stopped with 99.
int RunEventLoop(const std::function<void()>& whileRunning);

// The body that key `number` (1 to 5) selects.
inline orvanth::TBodyId BodyOfKey(int number) {
  return orvanth::kBodyIds[std::size_t(number - 1)];
}

// A main window and its About window per test suite: building one decodes every texture.
class MainWindow : public ::testing::Test {
 public:
  // Opens the window full screen and lets the opening zoom run to its end.
  static void SetUpTestSuite();
  static void TearDownTestSuite();

 protected:
  // Opens TheMainWindow and TheAboutWindow as the program does; the opening zoom is left where it
  // starts.
  static void OpenWindows();
  // The two steps of that. Built on the small images first, the main window waits for its
  // first frame as the program's does (HoldUntilFirstFrame); by default it decodes its images
  // whole.
  static void MakeWindows(orvanth::TTextureImages images = {});
  static void ShowMainWindow();
  static bool CoversScreen();

  // Puts back what earlier tests of the suite changed: the switches, the panel, the camera
  // rig, the selected body, the focus, the error messages.
  void SetUp() override;

  TMainWindow& viewer() { return *TheMainWindow; }
  QWindow* window() { return TheMainWindow->windowHandle(); }

  // Pointer input through the window, positions in the view's logical pixels.
  void Press(QPoint at, Qt::MouseButton button = Qt::LeftButton);
  void MoveTo(QPoint at);
  void Release(QPoint at, Qt::MouseButton button = Qt::LeftButton);
  void Click(QPoint at, Qt::MouseButton button = Qt::LeftButton);
  void DoubleClick(QPoint at);
  // A wheel turn through the window (delta 120 is one notch away from the user); the
  // horizontal wheel is a sideways tilt.
  void Wheel(QPoint at, int delta, Qt::Orientation wheel = Qt::Vertical);
  // A point in the view's lower left with room to move 100 pixels any way, clear of the
  // panel; a body or the bare view (the drag starts either way).
  QPoint DragStart();
  // A drag with the left button, in five equal moves.
  void Drag(QPoint from, QPoint by);
  // A key press and release where the platform sends it: the focused widget, else the
  // window.
  void PressKey(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
  // A key that types nothing (an arrow) held down: its press, `repeats` repeated presses,
  // then its release.
  void HoldKey(Qt::Key key, int repeats);
  // A real left click on a panel button.
  void ClickButton(QPushButton* button);
  // Opens the context menu with a right click on the view and clicks the item.
  void ChooseMenuItem(QAction* item);

  // Where the centre of a 3D object appears in the view, by the camera and the view's
  // projection.
  QPoint ViewPointOf(rt3d::TControl3D* object);
  // What the view's picking finds under a point of the view.
  rt3d::TControl3D* ObjectAt(QPoint at);
  // A point of the view where picking finds no body and no 2D control lies over it.
  QPoint BareViewPoint();
  // A point inside `area` (view coordinates) where picking finds `wanted` (null: nothing).
  bool FindPointIn(const QRect& area, rt3d::TControl3D* wanted, QPoint& found);

  // The rig's angles as the handlers read them.
  float RigX() { return viewer().Scene().CameraRig->RotationAngle().X(); }
  float RigY() { return viewer().Scene().CameraRig->RotationAngle().Y(); }
  float CameraZ() { return viewer().Scene().Camera->Position().Z(); }
};

}  // namespace apptest
