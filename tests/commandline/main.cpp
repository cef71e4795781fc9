#include <QCoreApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
  // The program under test runs as a child process; no display is needed here.
  QCoreApplication application(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
