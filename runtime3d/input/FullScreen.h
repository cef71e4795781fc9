#pragma once
// Full-screen mode of a top-level window.
//
// Entering saves the window state, whether it was frameless and, for a window in its
// normal state, its geometry; then the window covers the screen without border. Leaving
// puts back the state and the border, and the geometry when one was saved. FullScreen set
// while the window is not shown is applied when it is next shown, so a window placed
// (centred) before its first show() opens full screen and comes back to that place.
//
// A full-screen window that is hidden is full screen again on its next show, with the
// place it had before it first went full screen still saved for leaving. Its state is not
// touched while it is hidden: changing the state of a window just unmapped races with the
// window manager letting go of it (Qt does not wait for the withdrawal ICCCM asks for),
// and with openbox such a window came back covering the screen and then would not leave
// full screen. A window shown again right after hide() meets that race whatever is done.
//
// Under a window manager the new geometry arrives some time after the call returns.

#include <QObject>
#include <QPointer>
#include <QRect>
#include <QWidget>
#include <optional>

namespace rt3d {

class TFullScreenController : public QObject {
  Q_OBJECT
 public:
  // A child of the window; it watches the window's show and hide.
  explicit TFullScreenController(QWidget* window);

  // True while the window is full screen, or is to be when it is next shown.
  bool FullScreen() const { return FPending.value_or(FSaved.has_value()); }
  void SetFullScreen(bool value);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  struct TSaved {
    Qt::WindowStates State;
    bool Frameless = false;
    std::optional<QRect> Geometry;
  };

  void Enter();
  void Leave();

  QPointer<QWidget> FWindow;
  std::optional<TSaved> FSaved;
  // Set while the window is hidden: whether it is to be full screen on the next show.
  std::optional<bool> FPending;
};

}  // namespace rt3d
