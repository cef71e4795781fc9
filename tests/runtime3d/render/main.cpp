#include <QApplication>
#include <QSurfaceFormat>

#include <gtest/gtest.h>

#include "RenderFixture.h"
#include "runtime3d/render/GLDevice.h"

int main(int argc, char** argv) {
  // These tests draw with a real GL context and need a display (xvfb-run gives one).
  QSurfaceFormat::setDefaultFormat(rt3d::DeviceSurfaceFormat());
  rt3d::test::TReportingApplication application(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
