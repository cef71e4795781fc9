#pragma once
// The application object: one event loop for the whole program and the handler for
// errors that no event handler caught.

#include <QApplication>
#include <QString>
#include <exception>
#include <functional>

class TApplication : public QApplication {
 public:
  TApplication(int& argc, char** argv);

  // Every event, timer tick and deferred call passes here: an exception escaping a
  // handler ends up in HandleException and the loop goes on.
  bool notify(QObject* receiver, QEvent* event) override;

  // Drops a silent abort; otherwise shows the message of the innermost exception that
  // carries one.
  static void HandleException(std::exception_ptr error);

  // Runs a handler that a Qt signal calls. Qt's GUI and widget code between the signal
  // and the handler is built without exception support, so a failure must not unwind
  // through it (Qt's own clean-up there would be skipped): it is handled right here.
  template <typename Handler>
  static void RunHandler(Handler&& handler) {
    try {
      handler();
    } catch (...) {
      HandleException(std::current_exception());
    }
  }

  // Ends the event loop at once. Unlike QApplication::quit it asks no window first, so a
  // window that only hides on a close request (the About window) cannot keep it running.
  static void Terminate();

  // The error box; tests replace it so no modal dialog ever blocks them.
  static std::function<void(const QString& message)> ShowErrorMessage;
};

// The text the error box shows for an exception: the message of the innermost nested
// exception that has one, with a final "." added when the last character comes after
// "." in character order. Empty for a silent abort.
QString ErrorMessageFor(std::exception_ptr error);
