// The built program on a screen smaller than its window as built (1332 x 829): leaving full
// screen must give a window that fits the screen, frame and caption included, centred, in
// the shape it was built in. On an 800 x 600 Xvfb of the test's own, with openbox.

#include <QDir>
#include <QTemporaryDir>

#include <signal.h>

#include <chrono>
#include <cmath>
#include <functional>
#include <string>
#include <thread>

#include "Viewer.h"
#include "XWindows.h"

using namespace robustness;

namespace {

bool WaitUntil(const std::function<bool()>& done, int seconds) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return true;
}

}  // namespace

TEST(SmallScreen, LeavingFullScreenGivesAWindowThatFitsCentred) {
  const std::string openbox = ProgramOnPath("openbox"), xdotool = ProgramOnPath("xdotool");
  if (ProgramOnPath("Xvfb").empty() || openbox.empty() || xdotool.empty())
    GTEST_SKIP() << "needs Xvfb, openbox and xdotool";
  TPrivateXServer server("800x600x24");
  ASSERT_FALSE(server.Display().empty()) << "Xvfb did not start";
  const std::pair<std::string, std::string> display{"DISPLAY", server.Display()};
  TProcess manager = StartProcess({openbox}, {display});
  QTemporaryDir home;
  ASSERT_TRUE(home.isValid() && QDir(home.path()).mkpath("Documents"));
  TXConnection x(server.Display().c_str());
  ASSERT_TRUE(x.Ok());
  // openbox takes the screen before the viewer shows, as on a desktop.
  std::this_thread::sleep_for(std::chrono::seconds(1));

  // In the sanitizer build the leak check at exit sees only the GL driver's one-time
  // allocation, unloaded by then (as in LargePagesTest): this test is about the window.
  TProcess viewer = StartProcess({ORVANTH_VIEWER},
                                 {display,
                                  {"HOME", home.path().toStdString()},
                                  {"QT_QPA_PLATFORM", "xcb"},
                                  {"ASAN_OPTIONS", "detect_leaks=0"}},
                                 {"WAYLAND_DISPLAY", "WAYLAND_SOCKET"});
  ASSERT_GT(viewer.Pid, 0);
  xcb_window_t window = 0;
  TXConnection::TPlacement placement;
  const bool fullScreen = WaitUntil(
      [&] {
        window = x.ShownWindowOf(viewer.Pid);
        if (window != 0) placement = x.Placement(window);
        return placement.Client.Width == 800 && placement.Client.Height == 600;
      },
      60);
  bool left = false;
  if (fullScreen) {
    // F11, as a user leaves full screen; the window manager has given the viewer the focus.
    FinishProcess(StartProcess({xdotool, "key", "F11"}, {display}), 10000);
    // Left, framed and placed: the frame has come and stays where it is.
    TXConnection::TPlacement before;
    left = WaitUntil(
        [&] {
          before = placement;
          placement = x.Placement(window);
          return placement.Client.Height != 600 &&
                 placement.Frame.Height > placement.Client.Height &&
                 placement.Frame.X == before.Frame.X && placement.Frame.Y == before.Frame.Y &&
                 placement.Client.Width == before.Client.Width;
        },
        10);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    placement = x.Placement(window);
  }
  ::kill(viewer.Pid, SIGTERM);
  const TChildOutcome outcome = FinishProcess(viewer, 30000);
  ::kill(manager.Pid, SIGTERM);
  FinishProcess(manager, 10000);

  ASSERT_TRUE(fullScreen) << "never covered the screen; output:\n" << outcome.Output;
  ASSERT_TRUE(left) << "did not leave full screen for a framed window";
  const auto& [client, frame] = placement;
  SCOPED_TRACE(testing::Message() << "client " << client.Width << "x" << client.Height << " at "
                                  << client.X << "," << client.Y << ", frame " << frame.Width << "x"
                                  << frame.Height << " at " << frame.X << "," << frame.Y);
  // Fits, caption included, and fills the width it has.
  EXPECT_GE(frame.X, 0);
  EXPECT_GE(frame.Y, 0);
  EXPECT_LE(frame.X + frame.Width, 800);
  EXPECT_LE(frame.Y + frame.Height, 600);
  EXPECT_EQ(frame.Width, 800);
  // Centred, and in the shape it was built in (1332 x 829), to the pixel rounding takes.
  EXPECT_LE(std::abs(frame.X * 2 + frame.Width - 800), 1);
  EXPECT_LE(std::abs(frame.Y * 2 + frame.Height - 600), 1);
  EXPECT_LT(std::abs(client.Height - client.Width * 829.0 / 1332), 1.0);
  EXPECT_TRUE(outcome.Exited && outcome.Status == 0) << outcome.Output;
}
