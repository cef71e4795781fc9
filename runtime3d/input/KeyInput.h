#pragma once
// Key-down delivery in one window: Tab moves the focus; any other key goes to the focused
// control first and, unless that control used it, to the window's OnKeyDown.
//
// A focused button takes Enter, or the space character, with no modifier as exactly one
// click per key-down and uses the key up, so OnKeyDown never sees it. (Left to itself, a
// QPushButton would click on the space release and ignore Enter unless it is a default
// button.) Other focused widgets get the ordinary Qt key event; a key they accept counts
// as used.
//
// Attaching: `new TWindowKeyInput(window)`; it is a child of the window and watches key
// events of that window's widgets through an application event filter, since Qt gives a
// key to the focused widget before the window could see it.

#include <QObject>
#include <QPointer>
#include <QWidget>
#include <cstdint>
#include <functional>

#include "runtime3d/input/KeyTranslation.h"

namespace rt3d {

using TKeyEvent =
    std::function<void(QObject* sender, std::uint16_t& key, char16_t& keyChar, TShiftState shift)>;

class TWindowKeyInput : public QObject {
  Q_OBJECT
 public:
  explicit TWindowKeyInput(QWidget* window);
  ~TWindowKeyInput() override;

  TKeyEvent OnKeyDown;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  bool KeyPress(class QKeyEvent* event);
  bool KeyRelease(QWidget* receiver, QKeyEvent* event);
  // Gives the key to the focused widget alone; true when it accepted it.
  bool SendToFocused(QWidget* focused, QKeyEvent* event);
  void MoveFocus(bool forward);

  QPointer<QWidget> FWindow;
  // While a key is handed to the focused widget: the widget, and whether Qt passed the
  // key on to a parent (meaning the widget did not use it).
  QPointer<QWidget> FForwardingTo;
  bool FForwardPassedOn = false;
  // The button a key-down clicked, and the key whose release it must not see.
  QPointer<QWidget> FClickedBy;
  int FClickKey = 0;
};

}  // namespace rt3d
