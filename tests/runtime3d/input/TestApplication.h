#pragma once

#include <QApplication>
#include <string>
#include <vector>

class TTestApplication : public QApplication {
 public:
  using QApplication::QApplication;
  bool notify(QObject* receiver, QEvent* event) override;

  // Messages of the exceptions that reached the event loop, oldest first.
  static std::vector<std::string> Failures;
};
