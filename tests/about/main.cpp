#include <QApplication>

#include <gtest/gtest.h>

// Real windows: run under a display with a window manager (./test provides Xvfb and
// openbox), since placement and activation are the window manager's business.
int main(int argc, char** argv) {
  QApplication application(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
