#include "Viewer.h"

#include <QCoreApplication>
#include <QTest>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "runtime3d/animation/AniThread.h"
#include "runtime3d/animation/Animator.h"

namespace robustness {

std::vector<QString>& ShownErrors() {
  static std::vector<QString> errors;
  return errors;
}

TViewer::TViewer(bool shown) {
  TheMainWindow = new TMainWindow();
  TheAboutWindow = new TAboutWindow(TheMainWindow);
  TheMainWindow->SetAboutWindow(TheAboutWindow);
  auto dialog = std::make_unique<orvanth::screenshot::TScriptedSaveDialog>();
  FDialog = dialog.get();
  TheMainWindow->ReplaceSaveDialog(std::move(dialog));
  TAboutWindow::OpenUrl = [](const QUrl&) {};
  if (shown) {
    TheMainWindow->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(TheMainWindow)) << "the main window never showed";
  }
}

TViewer::~TViewer() {
  delete TheAboutWindow;
  TheAboutWindow = nullptr;
  delete TheMainWindow;
  // The clock and the destroyer go with the program's windows, as at program end.
  rt3d::FreeAnimationGlobals();
  QCoreApplication::processEvents();
}

double OrbitRadius(TMainWindow& viewer, int bodyIndex) {
  const rt3d::TVector3D planet =
      viewer.Scene().Bodies[orvanth::TBodyId::Orvanth]->AbsolutePosition();
  const rt3d::TSphere* moon[6] = {nullptr,
                                  nullptr,
                                  viewer.Scene().Bodies[orvanth::TBodyId::Io],
                                  viewer.Scene().Bodies[orvanth::TBodyId::Europa],
                                  viewer.Scene().Bodies[orvanth::TBodyId::Ganymede],
                                  viewer.Scene().Bodies[orvanth::TBodyId::Callisto]};
  const rt3d::TVector3D at = const_cast<rt3d::TSphere*>(moon[bodyIndex])->AbsolutePosition();
  const double dx = double(at.X) - planet.X;
  const double dy = double(at.Y) - planet.Y;
  const double dz = double(at.Z) - planet.Z;
  return std::sqrt(dx * dx + dy * dy + dz * dz);
}

::testing::AssertionResult RigIsRotation(TMainWindow& viewer, double tolerance) {
  const rt3d::TMatrix3D& m = viewer.Scene().CameraRig->LocalMatrix();
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) {
      double dot = 0;
      for (int k = 0; k < 3; ++k) dot += double(m.m[i][k]) * m.m[j][k];
      const double expected = i == j ? 1 : 0;
      if (!std::isfinite(dot) || std::abs(dot - expected) > tolerance) {
        return ::testing::AssertionFailure()
               << "rows " << i << " and " << j << " of the rig's matrix give " << dot
               << " instead of " << expected << " (angles "
               << viewer.Scene().CameraRig->RotationAngle().X() << ", "
               << viewer.Scene().CameraRig->RotationAngle().Y() << ", "
               << viewer.Scene().CameraRig->RotationAngle().Z() << ")";
      }
    }
  }
  return ::testing::AssertionSuccess();
}

::testing::AssertionResult OrbitsKeepTheirRadii(TMainWindow& viewer, double tolerance) {
  for (int body = 2; body <= 5; ++body) {
    const double radius = OrbitRadius(viewer, body);
    if (!std::isfinite(radius) || std::abs(radius - kOrbitRadius[body]) > tolerance) {
      return ::testing::AssertionFailure()
             << "body " << body << " orbits at " << radius << " instead of " << kOrbitRadius[body];
    }
  }
  return ::testing::AssertionSuccess();
}

TProcess StartProcess(const std::vector<std::string>& argv,
                      const std::vector<std::pair<std::string, std::string>>& env,
                      const std::vector<std::string>& unset) {
  int channel[2];
  if (::pipe2(channel, O_CLOEXEC) != 0) return {};
  // Everything the child needs is made before fork: only async-signal-safe calls after.
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  std::vector<std::string> environment;
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string entry = *e;
    bool replaced = false;
    for (const auto& [name, value] : env) replaced |= entry.rfind(name + "=", 0) == 0;
    for (const std::string& name : unset) replaced |= entry.rfind(name + "=", 0) == 0;
    if (!replaced) environment.push_back(entry);
  }
  for (const auto& [name, value] : env) environment.push_back(name + "=" + value);
  std::vector<char*> envp;
  for (std::string& e : environment) envp.push_back(e.data());
  envp.push_back(nullptr);

  const pid_t pid = ::fork();
  if (pid < 0) return {};
  if (pid == 0) {
    ::dup2(channel[1], STDOUT_FILENO);
    ::dup2(channel[1], STDERR_FILENO);
    ::execve(args[0], args.data(), envp.data());
    ::_exit(127);
  }
  ::close(channel[1]);
  return {pid, channel[0]};
}

TChildOutcome FinishProcess(TProcess process, int timeoutMs) {
  TChildOutcome outcome;
  if (process.Pid < 0) {
    outcome.Output = "could not start the child process";
    outcome.Status = -1;
    return outcome;
  }
  int left = timeoutMs;
  char buffer[4096];
  while (true) {
    pollfd wait{process.OutputFd, POLLIN, 0};
    const int ready = ::poll(&wait, 1, std::min(left, 100));
    if (ready > 0) {
      const ssize_t got = ::read(process.OutputFd, buffer, sizeof buffer);
      if (got <= 0) break;
      outcome.Output.append(buffer, std::size_t(got));
      continue;
    }
    left -= 100;
    if (left <= 0) {
      ::kill(process.Pid, SIGKILL);
      outcome.Output += "\n[killed: still running after the time allowed]";
      break;
    }
  }
  ::close(process.OutputFd);
  int status = 0;
  ::waitpid(process.Pid, &status, 0);
  outcome.Exited = WIFEXITED(status);
  outcome.Status = outcome.Exited ? WEXITSTATUS(status) : WTERMSIG(status);
  return outcome;
}

std::string ProgramOnPath(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::string folders = path ? path : "";
  for (std::size_t start = 0; start <= folders.size();) {
    const std::size_t end = std::min(folders.find(':', start), folders.size());
    const std::string candidate = folders.substr(start, end - start) + "/" + name;
    if (end > start && ::access(candidate.c_str(), X_OK) == 0) return candidate;
    start = end + 1;
  }
  return {};
}

TChildOutcome RunSelf(const std::string& testName,
                      const std::vector<std::pair<std::string, std::string>>& env) {
  char self[4096] = {};
  const ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
  if (length <= 0) return {false, -1, "cannot find this program"};
  TChildOutcome outcome = FinishProcess(
      StartProcess({self, "--gtest_also_run_disabled_tests", "--gtest_filter=" + testName}, env),
      240000);
  std::printf("---- child %s ----\n%s---- end of child ----\n", testName.c_str(),
              outcome.Output.c_str());
  return outcome;
}

void TManualClockTest::SetUp() {
  rt3d::FreeAnimationGlobals();
  rt3d::TAniThread::SetPlatformFactory([this] {
    auto clock = std::make_unique<rt3d::TManualAnimationClock>();
    auto timer = std::make_unique<rt3d::TManualAnimationTimer>();
    FClock = clock.get();
    FTimer = timer.get();
    return rt3d::TAnimationPlatform{std::move(clock), std::move(timer)};
  });
}

void TManualClockTest::TearDown() {
  rt3d::FreeAnimationGlobals();
  rt3d::TAniThread::SetPlatformFactory(nullptr);
}

std::array<float, 5> BodyAngles(TMainWindow& viewer) {
  return {viewer.Scene().Bodies[orvanth::TBodyId::Orvanth]->RotationAngle().Y(),
          viewer.Scene().Bodies[orvanth::TBodyId::Io]->RotationAngle().Y(),
          viewer.Scene().Bodies[orvanth::TBodyId::Europa]->RotationAngle().Y(),
          viewer.Scene().Bodies[orvanth::TBodyId::Ganymede]->RotationAngle().Y(),
          viewer.Scene().Bodies[orvanth::TBodyId::Callisto]->RotationAngle().Y()};
}

}  // namespace robustness
