// The built program where no D-Bus session bus is given, as on a bare X server: it must not
// start one. D-Bus would otherwise run dbus-launch, which starts a dbus-daemon for the
// display that outlives the program and writes ~/.dbus/session-bus/ and
// $XDG_RUNTIME_DIR/dbus-1/. The program runs on an X server of the test's own, since a bus
// started for a display before would be joined, not started, and the check would see
// nothing.

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <signal.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

#include "Viewer.h"
#include "XWindows.h"

using namespace robustness;

namespace {

// The D-Bus processes that run with `home` as their home: started for the program, since
// they inherit its environment.
std::vector<std::string> BusProcessesOf(const QString& home) {
  std::vector<std::string> found;
  const std::string marker = "HOME=" + QFile::encodeName(home).toStdString();
  for (const QString& pid : QDir("/proc").entryList(QDir::Dirs)) {
    std::ifstream comm(("/proc/" + pid + "/comm").toStdString());
    std::string name;
    if (!std::getline(comm, name) || (name != "dbus-launch" && name != "dbus-daemon")) continue;
    std::ifstream environ(("/proc/" + pid + "/environ").toStdString(), std::ios::binary);
    std::string variable;
    while (std::getline(environ, variable, '\0')) {
      if (variable == marker) found.push_back(name + " (pid " + pid.toStdString() + ")");
    }
  }
  return found;
}

}  // namespace

TEST(SessionBus, NoneIsStartedWhenNoneIsGiven) {
  if (ProgramOnPath("Xvfb").empty()) GTEST_SKIP() << "needs Xvfb for an X server of its own";
  // Without dbus-launch D-Bus cannot start a bus, and this check would show nothing.
  ASSERT_FALSE(ProgramOnPath("dbus-launch").empty())
      << "needs dbus-launch (Debian's dbus-x11; ./test installs it)";
  TPrivateXServer server;
  ASSERT_FALSE(server.Display().empty()) << "Xvfb did not start";
  QTemporaryDir home;
  ASSERT_TRUE(home.isValid() && QDir(home.path()).mkpath("Documents") &&
              QDir(home.path()).mkpath("runtime"));
  const QString runtime = home.filePath("runtime");
  QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

  // In the sanitizer build the leak check at exit sees only the GL driver's one-time
  // allocation, unloaded by then (as in LargePagesTest): this test is about the bus.
  TProcess viewer = StartProcess({ORVANTH_VIEWER},
                                 {{"ASAN_OPTIONS", "detect_leaks=0"},
                                  {"DISPLAY", server.Display()},
                                  {"HOME", home.path().toStdString()},
                                  {"XDG_RUNTIME_DIR", runtime.toStdString()},
                                  {"XDG_CONFIG_HOME", home.filePath(".config").toStdString()},
                                  {"QT_QPA_PLATFORM", "xcb"}},
                                 {"DBUS_SESSION_BUS_ADDRESS", "WAYLAND_DISPLAY", "WAYLAND_SOCKET"});
  ASSERT_GT(viewer.Pid, 0);
  // The bus would be asked for while the application starts, long before its window shows.
  TXConnection x(server.Display().c_str());
  ASSERT_TRUE(x.Ok());
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  bool shown = false;
  while (!shown && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    shown = x.ShownWindowOf(viewer.Pid) != 0;
  }
  std::this_thread::sleep_for(std::chrono::seconds(1));
  const std::vector<std::string> running = BusProcessesOf(home.path());
  ::kill(viewer.Pid, SIGTERM);
  const TChildOutcome outcome = FinishProcess(viewer, 30000);

  EXPECT_TRUE(shown) << "the window never showed; output:\n" << outcome.Output;
  EXPECT_TRUE(outcome.Exited && outcome.Status == 0) << outcome.Output;
  std::string started;
  for (const std::string& process : running) started += " " + process;
  EXPECT_TRUE(running.empty()) << "started for the program:" << started;
  EXPECT_FALSE(QFile::exists(home.filePath(".dbus"))) << "a bus address file in the home";
  EXPECT_FALSE(QFile::exists(runtime + "/dbus-1")) << "a bus folder in the runtime folder";
  // A bus the check caught goes with the X server at the end of the test.
}
