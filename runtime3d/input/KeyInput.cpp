#include "runtime3d/input/KeyInput.h"

#include <QAbstractButton>
#include <QApplication>
#include <QKeyEvent>

namespace rt3d {

namespace {

// The keys a button would act on by itself; it gets none of them, so that only the click
// rule below decides what they do.
bool IsButtonKey(int qtKey) {
  return qtKey == Qt::Key_Space || qtKey == Qt::Key_Select || qtKey == Qt::Key_Return ||
         qtKey == Qt::Key_Enter;
}

}  // namespace

TWindowKeyInput::TWindowKeyInput(QWidget* window) : QObject(window), FWindow(window) {
  qApp->installEventFilter(this);
}

TWindowKeyInput::~TWindowKeyInput() {
  if (qApp) qApp->removeEventFilter(this);
}

bool TWindowKeyInput::eventFilter(QObject* watched, QEvent* event) {
  const QEvent::Type type = event->type();
  if (type != QEvent::KeyPress && type != QEvent::KeyRelease) return false;
  auto* receiver = qobject_cast<QWidget*>(watched);
  if (!receiver || !FWindow || receiver->window() != FWindow) return false;

  if (FForwardingTo) {
    // Qt passes a key the focused widget did not take on to its parents; stop it there.
    if (type == QEvent::KeyPress && receiver != FForwardingTo) {
      FForwardPassedOn = true;
      return true;
    }
    return false;
  }
  auto* key = static_cast<QKeyEvent*>(event);
  return type == QEvent::KeyPress ? KeyPress(key) : KeyRelease(receiver, key);
}

bool TWindowKeyInput::KeyPress(QKeyEvent* event) {
  FClickedBy = nullptr;
  const std::optional<TKeyDown> down =
      TranslateKey(event->key(), event->text(), event->modifiers());
  if (!down) return false;
  std::uint16_t key = down->Key;
  char16_t keyChar = down->KeyChar;
  const TShiftState shift = down->Shift;

  if (key == vkTab && (shift & (ssCtrl | ssAlt)) == 0) {
    MoveFocus((shift & ssShift) == 0);
    return true;
  }
  if (key == 0 && keyChar == 0) return false;

  QWidget* focused = FWindow->focusWidget();
  if (focused && focused != FWindow) {
    if (auto* button = qobject_cast<QAbstractButton*>(focused)) {
      if ((key == vkReturn || keyChar == u' ') && shift == 0) {
        key = 0;
        keyChar = 0;
        FClickedBy = button;
        FClickKey = event->key();
        if (button->isEnabled()) button->click();
      } else if (!IsButtonKey(event->key()) && SendToFocused(focused, event)) {
        key = 0;
        keyChar = 0;
      }
    } else if (SendToFocused(focused, event)) {
      key = 0;
      keyChar = 0;
    }
  }
  if ((key != 0 || keyChar != 0) && OnKeyDown && FWindow) OnKeyDown(FWindow, key, keyChar, shift);
  return true;
}

bool TWindowKeyInput::KeyRelease(QWidget* receiver, QKeyEvent* event) {
  if (!FClickedBy || receiver != FClickedBy || event->key() != FClickKey) return false;
  if (!event->isAutoRepeat()) FClickedBy = nullptr;
  return true;
}

bool TWindowKeyInput::SendToFocused(QWidget* focused, QKeyEvent* event) {
  QKeyEvent copy(event->type(), event->key(), event->modifiers(), event->nativeScanCode(),
                 event->nativeVirtualKey(), event->nativeModifiers(), event->text(),
                 event->isAutoRepeat(), event->count(), event->device());
  FForwardingTo = focused;
  FForwardPassedOn = false;
  QCoreApplication::sendEvent(focused, &copy);
  FForwardingTo = nullptr;
  return !FForwardPassedOn && copy.isAccepted();
}

void TWindowKeyInput::MoveFocus(bool forward) {
  QWidget* start = FWindow->focusWidget() ? FWindow->focusWidget() : FWindow.data();
  QWidget* w = start;
  // The chain is a ring through every widget of the window; the bound only guards
  // against a chain broken while we walk it.
  for (int guard = 0; guard < 100000; ++guard) {
    w = forward ? w->nextInFocusChain() : w->previousInFocusChain();
    if (!w || w == start) return;
    if (w->window() == FWindow && w != FWindow && (w->focusPolicy() & Qt::TabFocus) &&
        w->isEnabled() && w->isVisibleTo(FWindow)) {
      w->setFocus(forward ? Qt::TabFocusReason : Qt::BacktabFocusReason);
      return;
    }
  }
}

}  // namespace rt3d
