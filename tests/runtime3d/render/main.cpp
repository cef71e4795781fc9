#include <QApplication>

#include <gtest/gtest.h>

#include "RenderFixture.h"
#include "runtime3d/render/Presentation.h"

int main(int argc, char** argv) {
  // These tests draw with a real GL context and need a display (xvfb-run gives one).
  rt3d::PrepareGLForViews();
  rt3d::test::TReportingApplication application(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
