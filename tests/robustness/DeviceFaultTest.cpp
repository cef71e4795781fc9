// The built program on a driver that offers less than OpenGL 3.3: it must say so on
// standard error and in a message box, and end with a failure status, not a crash.
//
// The message box is modal and the program has no switch to skip it, so the test plays
// the user: it finds the box among the X windows by the child's process id and closes it
// with the window manager's close request, which works with or without a window manager.
// Oversized textures and shaders that do not compile are covered by the render tests.

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "Viewer.h"
#include "XWindows.h"
#include "tests/Wayland.h"

using namespace robustness;

TEST(DeviceFaults, WithoutOpenGL33TheProgramSaysSoAndEndsWithAFailure) {
  SKIP_ON_WAYLAND("finds and closes the message box among the X server's windows");
  TXConnection x;
  ASSERT_TRUE(x.Ok()) << "needs the X display";
  // Mesa's software renderer can be told to offer less than it has; such a driver gives
  // no 3.3 core context at all.
  TProcess viewer = StartProcess({ORVANTH_VIEWER}, {{"MESA_GL_VERSION_OVERRIDE", "3.0"},
                                                    {"MESA_GLSL_VERSION_OVERRIDE", "130"}});
  ASSERT_GT(viewer.Pid, 0);

  xcb_window_t box = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (box == 0 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    box = x.ShownWindowOf(viewer.Pid);
  }
  std::string title;
  if (box != 0) {
    title = x.Title(box);
    // Closed the way a user closes it; a box that ignored this would hang the program.
    x.RequestClose(box);
  }
  const TChildOutcome outcome = FinishProcess(viewer, 30000);

  EXPECT_NE(box, 0u) << "no message box appeared; output:\n" << outcome.Output;
  EXPECT_NE(title.find("Error"), std::string::npos) << "box title: " << title;
  EXPECT_TRUE(outcome.Exited) << "ended by signal " << outcome.Status << "\n" << outcome.Output;
  EXPECT_NE(outcome.Status, 0) << "a failure reported as success";
  // The device's line, and on the next one what there is and what to do.
  EXPECT_NE(outcome.Output.find("Cannot create OpenGL 3.3 device for 'TGLContext'.\n"
                                "This system offers OpenGL 3.0 ("),
            std::string::npos)
      << "standard error said:\n"
      << outcome.Output;
  EXPECT_NE(outcome.Output.find("Update or install the graphics driver"), std::string::npos)
      << outcome.Output;
  // In a sanitizer build the program is checked too, leaks at its exit included.
  for (const char* report : {"ERROR: AddressSanitizer", "ERROR: LeakSanitizer", "runtime error:"}) {
    EXPECT_EQ(outcome.Output.find(report), std::string::npos) << outcome.Output;
  }
}
