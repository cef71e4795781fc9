// The viewer runs with the C library's large blocks on huge pages: it starts itself again,
// in the same process, with the tunable added to the ones the user set.

#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

#include "tests/robustness/Viewer.h"

using namespace robustness;

namespace {

// The process's environment as it is now: it changes when the process runs a program.
std::string EnvironmentOf(pid_t pid) {
  std::ifstream file("/proc/" + std::to_string(pid) + "/environ", std::ios::binary);
  return '\0' +
         std::string((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
}

// Whether the environment holds the entry. The C library splits its tunables in place as it
// reads them, so a colon may show as the end of a string.
bool Holds(const std::string& environment, const std::string& entry) {
  std::string split = '\0' + entry + '\0';
  for (char& c : split) {
    if (c == ':') c = '\0';
  }
  return environment.find('\0' + entry + '\0') != std::string::npos ||
         environment.find(split) != std::string::npos;
}

TEST(LargePages, TheViewerRunsWithTheTunableAddedToTheUsersOwn) {
  if (!std::getenv("DISPLAY")) GTEST_SKIP() << "needs the X display";
  const struct {
    const char* Given;
    const char* Running;  // the entry it runs with
    bool Added;
  } cases[] = {
      {"glibc.malloc.arena_max=4", "GLIBC_TUNABLES=glibc.malloc.arena_max=4:glibc.malloc.hugetlb=1",
       true},
      {"glibc.malloc.hugetlb=0", "GLIBC_TUNABLES=glibc.malloc.hugetlb=0", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Given);
    // In the sanitizer build, the leak check at exit sees only the one-time allocation of
    // the GL driver, unloaded by then, and cannot name it with the quick stacks this run
    // uses (the device-fault run shows it with full ones): this test is about the start.
    TProcess viewer = StartProcess(
        {ORVANTH_VIEWER}, {{"GLIBC_TUNABLES", c.Given}, {"ASAN_OPTIONS", "detect_leaks=0"}});
    ASSERT_GT(viewer.Pid, 0);
    bool holds = false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!holds && std::chrono::steady_clock::now() < deadline) {
      holds = Holds(EnvironmentOf(viewer.Pid), c.Running);
      if (!holds) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    // Let it come up, then end it as the desktop does.
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    const bool added =
        EnvironmentOf(viewer.Pid).find("glibc.malloc.hugetlb=1") != std::string::npos;
    ::kill(viewer.Pid, SIGTERM);
    const TChildOutcome outcome = FinishProcess(viewer, 30000);
    EXPECT_TRUE(holds);
    EXPECT_EQ(added, c.Added);
    EXPECT_TRUE(outcome.Exited) << "ended by signal " << outcome.Status << "\n" << outcome.Output;
    EXPECT_EQ(outcome.Status, 0) << outcome.Output;
  }
}

}  // namespace
