#include "tests/app/MainWindowFixture.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include <xcb/xcb.h>

#include "app/Startup.h"
#include "runtime3d/animation/AniThread.h"
#include "runtime3d/animation/Animator.h"
#include "runtime3d/animation/ManualAnimationClock.h"
#include "runtime3d/core/Camera.h"
#include "runtime3d/core/Context3D.h"

namespace apptest {

namespace {

// The clock and timer of the animation clock now in use (made by the factory below).
rt3d::TManualAnimationClock* gClock = nullptr;
rt3d::TManualAnimationTimer* gTimer = nullptr;

}  // namespace

std::vector<QString>& ErrorMessages() {
  static std::vector<QString> messages;
  return messages;
}

void InstallManualAnimationClock() {
  rt3d::TAniThread::SetPlatformFactory([] {
    auto clock = std::make_unique<rt3d::TManualAnimationClock>();
    auto timer = std::make_unique<rt3d::TManualAnimationTimer>();
    gClock = clock.get();
    gTimer = timer.get();
    return rt3d::TAnimationPlatform{std::move(clock), std::move(timer)};
  });
}

void Advance(double seconds, double step) {
  if (rt3d::TAniThread::Current() == nullptr) return;
  for (double left = seconds; left > 1e-9; left -= step) {
    gClock->Advance(std::min(step, left));
    gTimer->Fire();
  }
  // Finished temporary animations are freed by a deferred call.
  QCoreApplication::processEvents();
}

void PassTimeWithoutTicks(double seconds) {
  if (rt3d::TAniThread::Current() != nullptr) gClock->Advance(seconds);
}

bool WaitFor(const std::function<bool()>& condition, int timeoutMs) {
  QElapsedTimer timer;
  timer.start();
  while (!condition()) {
    if (timer.elapsed() > timeoutMs) return false;
    QTest::qWait(10);
  }
  return true;
}

void AskWindowManagerToMinimise(QWidget& window) {
  // ICCCM's request to iconify, sent to the root window as a pager would, on the
  // program's own connection so that it comes after everything the program asked for.
  auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
  if (x11 == nullptr) {
    ADD_FAILURE() << "not on X11";
    return;
  }
  xcb_connection_t* connection = x11->connection();
  const char name[] = "WM_CHANGE_STATE";
  xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(
      connection, xcb_intern_atom(connection, 0, uint16_t(sizeof name - 1), name), nullptr);
  xcb_client_message_event_t event{};
  event.response_type = XCB_CLIENT_MESSAGE;
  event.format = 32;
  event.window = xcb_window_t(window.winId());
  event.type = atom ? atom->atom : xcb_atom_t(XCB_ATOM_NONE);
  event.data.data32[0] = 3;  // IconicState
  free(atom);
  const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
  xcb_send_event(connection, 0, root,
                 XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                 reinterpret_cast<const char*>(&event));
  xcb_flush(connection);
}

double AngleStep(double from, double to) {
  const double step = std::remainder(to - from, 360.0);
  return step == -180 ? 180 : step;
}

int RunEventLoop(const std::function<void()>& whileRunning) {
  QTimer::singleShot(0, qApp, whileRunning);
  QTimer guard;
  guard.setSingleShot(true);
  QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(99); });
  guard.start(10000);
  return QApplication::exec();
}

// --- The windows -------------------------------------------------------------------------

void MainWindow::OpenWindows() {
  MakeWindows();
  ShowMainWindow();
}

void MainWindow::MakeWindows(orvanth::TTextureImages images) {
  ErrorMessages().clear();
  // As the program starts: the main window first, then the About window, then the main
  // window is shown.
  const bool asTheProgram = images.Small != nullptr;
  TheMainWindow = new TMainWindow(std::move(images));
  if (asTheProgram) HoldUntilFirstFrame(*TheMainWindow);
  TheAboutWindow = new TAboutWindow(TheMainWindow);
  TheMainWindow->SetAboutWindow(TheAboutWindow);
}

void MainWindow::ShowMainWindow() {
  TheMainWindow->show();
  if (!WaitFor(CoversScreen, 10000)) ADD_FAILURE() << "the main window never covered the screen";
  if (!QTest::qWaitForWindowExposed(TheMainWindow))
    ADD_FAILURE() << "the main window was never shown";
  TheMainWindow->activateWindow();
  if (!QTest::qWaitForWindowActive(TheMainWindow))
    ADD_FAILURE() << "the main window never got active";
}

void MainWindow::SetUpTestSuite() {
  OpenWindows();
  // Past the opening zoom, which also frees its temporary animation.
  Advance(3);
}

void MainWindow::TearDownTestSuite() {
  delete TheAboutWindow;
  TheAboutWindow = nullptr;
  delete TheMainWindow;
  TheMainWindow = nullptr;
  rt3d::FreeAnimationGlobals();
  QCoreApplication::processEvents();
}

bool MainWindow::CoversScreen() {
  return TheMainWindow->isFullScreen() && TheMainWindow->screen() &&
         TheMainWindow->geometry() == TheMainWindow->screen()->geometry();
}

void MainWindow::SetUp() {
  TMainWindow& f = viewer();
  if (f.Overlays().ContextMenu->isVisible()) f.Overlays().ContextMenu->close();
  if (TheAboutWindow->isVisible()) {
    // Shown and at once hidden again, it would still take the focus it was given once it
    // appears.
    EXPECT_TRUE(QTest::qWaitForWindowExposed(TheAboutWindow));
    // As "OK" does: hidden, and the focus handed back to the main window.
    TheAboutWindow->CloseAndReturn();
  }
  // The switches as they start, each through its own handler.
  if (!f.Actions().AutoRotate->isChecked()) f.Actions().AutoRotate->toggle();
  if (!f.Actions().ShowNames->isChecked()) f.Actions().ShowNames->toggle();
  if (f.Actions().ShowInfo->isChecked()) f.Actions().ShowInfo->toggle();
  if (!f.Actions().FullScreen->isChecked()) {
    f.Actions().FullScreen->toggle();
    EXPECT_TRUE(WaitFor(CoversScreen)) << "full screen could not be put back";
  }
  f.Overlays().ButtonPanel->setVisible(true);
  f.Orbit().Reset();
  f.Scene().Camera->Position().SetZ(-15);
  f.Scene().CameraRig->RotationAngle().SetX(0);
  f.Scene().CameraRig->RotationAngle().SetY(0);
  f.ShowBody(orvanth::TBodyId::Orvanth);
  f.View()->setFocus();
  // The window itself, not a window standing over it such as the About window (which
  // "About" gives the focus): Qt counts either as making the main window active.
  if (QApplication::activeWindow() != &f) {
    f.activateWindow();
    EXPECT_TRUE(WaitFor([&f] { return QApplication::activeWindow() == &f; }))
        << "the main window never got the focus back";
  }
  QCoreApplication::processEvents();
  ErrorMessages().clear();
}

// --- Input -------------------------------------------------------------------------------

void MainWindow::Press(QPoint at, Qt::MouseButton button) {
  QTest::mousePress(window(), button, Qt::NoModifier, at);
}

void MainWindow::MoveTo(QPoint at) {
  QTest::mouseMove(window(), at);
}

void MainWindow::Release(QPoint at, Qt::MouseButton button) {
  QTest::mouseRelease(window(), button, Qt::NoModifier, at);
}

void MainWindow::Click(QPoint at, Qt::MouseButton button) {
  QTest::mouseClick(window(), button, Qt::NoModifier, at);
}

void MainWindow::DoubleClick(QPoint at) {
  QTest::mouseDClick(window(), Qt::LeftButton, Qt::NoModifier, at);
}

void MainWindow::Wheel(QPoint at, int delta, Qt::Orientation wheel) {
  const QPoint angle = wheel == Qt::Vertical ? QPoint(0, delta) : QPoint(delta, 0);
  QWheelEvent event(QPointF(at), window()->mapToGlobal(QPointF(at)), QPoint(), angle, Qt::NoButton,
                    Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(window(), &event);
}

QPoint MainWindow::DragStart() {
  const QPoint p(250, viewer().View()->height() - 250);
  EXPECT_EQ(viewer().childAt(p), viewer().View());
  return p;
}

void MainWindow::Drag(QPoint from, QPoint by) {
  Press(from);
  for (int i = 1; i <= 5; ++i) MoveTo(from + by * i / 5);
  Release(from + by);
}

namespace {

QWidget* KeyTarget(QWidget& window) {
  QWidget* target = QApplication::focusWidget();
  return target && target->window() == &window ? target : &window;
}

}  // namespace

void MainWindow::PressKey(Qt::Key key, Qt::KeyboardModifiers modifiers) {
  QTest::keyClick(KeyTarget(viewer()), key, modifiers);
}

void MainWindow::HoldKey(Qt::Key key, int repeats) {
  for (int i = 0; i <= repeats; ++i) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, QString(), i > 0);
    QApplication::sendEvent(KeyTarget(viewer()), &press);
  }
  QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
  QApplication::sendEvent(KeyTarget(viewer()), &release);
}

void MainWindow::ClickButton(QPushButton* button) {
  QTest::mouseClick(button, Qt::LeftButton);
}

void MainWindow::ChooseMenuItem(QAction* item) {
  // The bare view and a body open the same menu; near a corner is clear of the 2D controls.
  const QSize size = viewer().View()->size();
  Click({size.width() - 80, size.height() - 80}, Qt::RightButton);
  QMenu* menu = viewer().Overlays().ContextMenu;
  ASSERT_TRUE(WaitFor([menu] { return menu->isVisible(); })) << "the context menu did not open";
  const QRect itemArea = menu->actionGeometry(item);
  ASSERT_TRUE(itemArea.isValid()) << "no such item in the menu";
  QTest::mouseClick(menu, Qt::LeftButton, Qt::NoModifier, itemArea.center());
  EXPECT_TRUE(WaitFor([menu] { return !menu->isVisible(); })) << "the menu stayed open";
}

// --- Points of the view --------------------------------------------------------------------

QPoint MainWindow::ViewPointOf(rt3d::TControl3D* object) {
  rt3d::TViewport3D& view = *viewer().View();
  rt3d::TCamera& camera = *viewer().Scene().Camera;
  rt3d::TContext3D* context = view.Context();
  if (!context) return {};
  context->SetCameraAngleOfView(camera.AngleOfView());
  const rt3d::TPoint3D centre = object->LocalToAbsolute3D({0, 0, 0});
  const rt3d::TVector3D clip =
      rt3d::TVector3D::Point(centre) * camera.CameraMatrix() * context->CurrentProjectionMatrix();
  const double x = clip.X / clip.W, y = clip.Y / clip.W;
  return QPointF((x + 1) / 2 * view.width(), (1 - y) / 2 * view.height()).toPoint();
}

rt3d::TControl3D* MainWindow::ObjectAt(QPoint at) {
  const QPointF screen = viewer().View()->mapToGlobal(QPointF(at));
  return viewer().View()->ObjectAtPoint({float(screen.x()), float(screen.y())}).Object;
}

bool MainWindow::FindPointIn(const QRect& area, rt3d::TControl3D* wanted, QPoint& found) {
  for (int y = area.top() + 5; y < area.bottom(); y += 10) {
    for (int x = area.left() + 5; x < area.right(); x += 10) {
      if (ObjectAt({x, y}) == wanted) {
        found = {x, y};
        return true;
      }
    }
  }
  return false;
}

QPoint MainWindow::BareViewPoint() {
  const QSize size = viewer().View()->size();
  // Corners and edges first: the moons keep to the view's middle band at rest.
  const QPoint candidates[] = {{size.width() - 80, size.height() - 80},
                               {80, size.height() - 80},
                               {size.width() - 80, 80},
                               {size.width() / 2, size.height() - 20},
                               {size.width() / 2, 60}};
  for (const QPoint& p : candidates) {
    if (ObjectAt(p) == nullptr && viewer().childAt(p) == viewer().View()) return p;
  }
  ADD_FAILURE() << "no bare point of the view found";
  return candidates[0];
}

}  // namespace apptest
