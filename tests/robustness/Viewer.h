#pragma once
// The program's own windows, built as start-up builds them, for tests that drive the whole
// viewer; and what those tests check about it afterwards.

#include <QByteArray>
#include <QString>
#include <array>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "app/AboutWindow.h"
#include "app/MainWindow.h"
#include "runtime3d/animation/ManualAnimationClock.h"
#include "screenshot/ScriptedSaveDialog.h"

namespace robustness {

// Every message the application's error box would have shown, in order.
std::vector<QString>& ShownErrors();

// TheMainWindow and TheAboutWindow as the program makes them. The save dialog answers from a script
// and the About window's link opens nothing.
class TViewer {
 public:
  // shown: show the main window (full screen, as at start-up) and wait until it is on
  // screen. A hidden window never paints, which keeps long simulations cheap.
  explicit TViewer(bool shown = true);
  ~TViewer();
  TViewer(const TViewer&) = delete;
  TViewer& operator=(const TViewer&) = delete;

  TMainWindow& Window() { return *TheMainWindow; }
  orvanth::screenshot::TScriptedSaveDialog& Dialog() { return *FDialog; }

 private:
  orvanth::screenshot::TScriptedSaveDialog* FDialog = nullptr;
};

// Tests whose animations run on a clock moved by the test: where the bodies are then
// follows from the steps taken, not from how fast the machine is.
class TManualClockTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  rt3d::TManualAnimationClock* FClock = nullptr;
  rt3d::TManualAnimationTimer* FTimer = nullptr;
};

// The five animated angles (planet, Io, Europa, Ganymede, Callisto), as read back.
std::array<float, 5> BodyAngles(TMainWindow& viewer);

// The orbit radii of the moons, body indices 2 to 5.
inline constexpr float kOrbitRadius[6] = {0, 0, 7, 9, 12, 16};

// Distance of a moon's centre from the planet's centre, in scene units.
double OrbitRadius(TMainWindow& viewer, int bodyIndex);

// The upper 3 x 3 of the camera rig's matrix has orthonormal rows.
::testing::AssertionResult RigIsRotation(TMainWindow& viewer, double tolerance = 1e-4);

// Every moon at its own radius, within tolerance.
::testing::AssertionResult OrbitsKeepTheirRadii(TMainWindow& viewer, double tolerance = 1e-4);

// Runs one test of this executable (usually a DISABLED_ one) in a child process with extra
// environment variables; its output is passed through.
struct TChildOutcome {
  bool Exited = false;  // false: killed by a signal
  int Status = 0;       // exit code, or the signal
  std::string Output;   // standard output and error, mixed
};
TChildOutcome RunSelf(const std::string& testName,
                      const std::vector<std::pair<std::string, std::string>>& env = {});

// Runs a program with arguments and extra environment variables, without those named in
// `unset`. timeoutMs bounds it: a child still running then is killed.
struct TProcess {
  pid_t Pid = -1;
  int OutputFd = -1;
};
TProcess StartProcess(const std::vector<std::string>& argv,
                      const std::vector<std::pair<std::string, std::string>>& env,
                      const std::vector<std::string>& unset = {});
TChildOutcome FinishProcess(TProcess process, int timeoutMs);

// The full path of a program found on $PATH; empty when it is not there.
std::string ProgramOnPath(const std::string& name);

}  // namespace robustness
