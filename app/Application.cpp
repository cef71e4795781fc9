#include "app/Application.h"

#include <QMessageBox>

#include "app/SessionBus.h"
#include "runtime3d/core/Exceptions.h"

std::function<void(const QString&)> TApplication::ShowErrorMessage = [](const QString& message) {
  QMessageBox::critical(QApplication::activeWindow(), QStringLiteral("Error"), message);
};

// The session bus is settled before the toolkit's accessibility bridge first asks for it.
TApplication::TApplication(int& argc, char** argv)
    : QApplication((orvanth::UseOnlyAGivenSessionBus(), argc), argv) {}

bool TApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (...) {
    HandleException(std::current_exception());
    return false;
  }
}

void TApplication::Terminate() {
  QCoreApplication::exit(0);
}

namespace {

// Walks a chain of nested exceptions from the outside in and keeps the last message
// that is not empty.
void InnermostMessage(std::exception_ptr error, QString& message, bool& silent) {
  try {
    std::rethrow_exception(error);
  } catch (const rt3d::EAbort&) {
    silent = message.isEmpty();
  } catch (const std::exception& e) {
    const QString text = QString::fromUtf8(e.what());
    if (!text.isEmpty()) message = text;
    try {
      std::rethrow_if_nested(e);
    } catch (...) {
      InnermostMessage(std::current_exception(), message, silent);
    }
  } catch (...) {
    if (message.isEmpty()) message = QStringLiteral("Unknown error");
  }
}

}  // namespace

QString ErrorMessageFor(std::exception_ptr error) {
  QString message;
  bool silent = false;
  InnermostMessage(error, message, silent);
  if (silent) return {};
  if (message.isEmpty()) message = QStringLiteral("Unknown error");
  if (message.back() > QLatin1Char('.')) message += QLatin1Char('.');
  return message;
}

void TApplication::HandleException(std::exception_ptr error) {
  const QString message = ErrorMessageFor(error);
  if (message.isEmpty()) return;
  if (ShowErrorMessage) ShowErrorMessage(message);
}
