#include <QApplication>
#include <exception>

#include <gtest/gtest.h>

#include "runtime3d/render/Presentation.h"
#include "tests/runtime3d/input/TestApplication.h"

std::vector<std::string> TTestApplication::Failures;

bool TTestApplication::notify(QObject* receiver, QEvent* event) {
  // Stands in for the program's error handler: it records what escaped a handler.
  try {
    return QApplication::notify(receiver, event);
  } catch (const std::exception& e) {
    Failures.emplace_back(e.what());
  } catch (...) {
    Failures.emplace_back("unknown");
  }
  return false;
}

int main(int argc, char** argv) {
  // Key and touch tests run anywhere; the full-screen tests need a real display with a
  // window manager and the 3D view tests need GL: they skip themselves without.
  if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  rt3d::PrepareGLForViews();
  TTestApplication application(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
