#include "runtime3d/input/FullScreen.h"

#include <QEvent>

namespace rt3d {

TFullScreenController::TFullScreenController(QWidget* window) : QObject(window), FWindow(window) {
  window->installEventFilter(this);
}

void TFullScreenController::SetFullScreen(bool value) {
  if (!FWindow) return;
  if (!FWindow->isVisible()) {
    FPending = value;
    return;
  }
  FPending.reset();
  if (value == FSaved.has_value()) return;
  value ? Enter() : Leave();
}

bool TFullScreenController::eventFilter(QObject* watched, QEvent* event) {
  // Spontaneous show and hide come from the window system (minimising and restoring);
  // only the program's own show() and hide() count here.
  if (watched != FWindow || event->spontaneous()) return false;
  if (event->type() == QEvent::Hide && FSaved && !FPending) {
    // The window manager drops the full-screen state of a window it lets go of.
    FPending = true;
  } else if (event->type() == QEvent::Show && FPending) {
    // Before the window is mapped: it appears in its new state at once.
    const bool wanted = *FPending;
    FPending.reset();
    if (!wanted && FSaved)
      Leave();
    else if (wanted && !FSaved)
      Enter();
    else if (wanted)
      FWindow->setWindowState((FWindow->windowState() & ~Qt::WindowMinimized) |
                              Qt::WindowFullScreen);
  }
  return false;
}

void TFullScreenController::Enter() {
  const Qt::WindowStates state = FWindow->windowState();
  // A minimised window counts as maximised: leaving full screen must not minimise it.
  const Qt::WindowStates kept =
      state & Qt::WindowMinimized ? (state & ~Qt::WindowMinimized) | Qt::WindowMaximized : state;
  TSaved saved{kept, FWindow->windowFlags().testFlag(Qt::FramelessWindowHint), std::nullopt};
  if ((state & (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen)) == 0)
    saved.Geometry = FWindow->geometry();
  FSaved = saved;
  FWindow->setWindowState((state & ~Qt::WindowMinimized) | Qt::WindowFullScreen);
}

void TFullScreenController::Leave() {
  const TSaved saved = *FSaved;
  FSaved.reset();
  const bool visible = FWindow->isVisible();
  if (FWindow->windowFlags().testFlag(Qt::FramelessWindowHint) != saved.Frameless) {
    // Changing flags re-creates the native window, which hides it.
    FWindow->setWindowFlag(Qt::FramelessWindowHint, saved.Frameless);
    if (visible) FWindow->show();
  }
  // State and border come back even when no geometry was saved (the window was maximised
  // when it went full screen): otherwise it would stay covering the screen.
  FWindow->setWindowState(saved.State & ~Qt::WindowFullScreen);
  if (saved.Geometry) FWindow->setGeometry(*saved.Geometry);
}

}  // namespace rt3d
