#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
  // Nothing here needs a screen; the dialog test drives a real QFileDialog off-screen.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
