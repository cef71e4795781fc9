// The viewer exactly as the program starts it, plus what the start-up and idle benchmarks
// read: the moment its first frame is on screen, its peak memory then, and the frames and
// CPU time of a quiet spell. The program itself has no such output and no arguments.
//
// Usage: bench_viewer startup   prints "first-frame <monotonic ns> <peak bytes>" and ends
//        bench_viewer idle      also prints the idle and auto-rotate figures

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QScreen>
#include <QTimer>

#include <execinfo.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/MainWindow.h"
#include "app/Startup.h"
#include "bench/BenchUtil.h"
#include "runtime3d/animation/AniThread.h"

namespace {

int gFrames = 0;
// When main() is entered: what came before it is loading the program and its libraries.
const std::int64_t gMainEntered = bench::MonotonicNs();

// Runs `then` after `ms` of the event loop.
void After(int ms, std::function<void()> then) {
  QTimer::singleShot(ms, Qt::PreciseTimer, QCoreApplication::instance(), std::move(then));
}

int RunningAnimations() {
  const rt3d::TAniThread* clock = rt3d::TAniThread::Current();
  return clock ? clock->Count() : 0;
}

// Waits for the opening zoom to end (on a busy machine the first frame may come late).
void WhenStill(std::function<void()> then) {
  if (RunningAnimations() == 0) return then();
  After(100, [then = std::move(then)] { WhenStill(then); });
}

void MeasureQuietSpell(TMainWindow& form) {
  After(1000, [&form] {
    const int frames = gFrames;
    const double cpu = bench::ProcessCpuSeconds();
    const std::int64_t start = bench::MonotonicNs();
    After(10000, [&form, frames, cpu, start] {
      const double seconds = (bench::MonotonicNs() - start) / 1e9;
      std::printf("idle-frames %d cpu-seconds %.4f seconds %.3f\n", gFrames - frames,
                  bench::ProcessCpuSeconds() - cpu, seconds);
      form.ToggleAutoRotate();
      After(1000, [&form] {
        const int frames = gFrames;
        const std::int64_t start = bench::MonotonicNs();
        After(5000, [&form, frames, start] {
          const double seconds = (bench::MonotonicNs() - start) / 1e9;
          const QScreen* screen = form.screen();
          std::printf("rotate-frames %d rotate-seconds %.3f refresh-hz %.1f\n", gFrames - frames,
                      seconds, screen ? screen->refreshRate() : 0.0);
          std::fflush(stdout);
          QCoreApplication::exit(0);
        });
      });
    });
  });
}

void MeasureIdle(TMainWindow& form) {
  // Rotation off; the quiet spell starts once nothing moves and the last frame is drawn.
  form.ToggleAutoRotate();
  WhenStill([&form] { MeasureQuietSpell(form); });
}

}  // namespace

// A crash says where it happened: the benchmark has no debugger attached.
void ReportCrash(int signal) {
  void* frames[64];
  const int count = backtrace(frames, 64);
  std::fprintf(stderr, "bench_viewer: signal %d\n", signal);
  backtrace_symbols_fd(frames, count, 2);
  std::_Exit(128 + signal);
}

int main(int argc, char** argv) {
  std::signal(SIGSEGV, ReportCrash);
  const bool idle = argc > 1 && std::strcmp(argv[1], "idle") == 0;
  return RunViewer(argc, argv, [idle](TMainWindow& form) {
    std::printf("main-entered %lld window-shown %lld\n", static_cast<long long>(gMainEntered),
                static_cast<long long>(bench::MonotonicNs()));
    QObject::connect(form.View, &rt3d::TViewport3D::FramePresented, [idle, &form] {
      if (++gFrames > 1) return;
      std::printf("first-frame %lld %lld\n", static_cast<long long>(bench::MonotonicNs()),
                  static_cast<long long>(bench::PeakResidentBytes()));
      std::fflush(stdout);
      if (!idle) {
        QTimer::singleShot(0, [] { QCoreApplication::exit(0); });
        return;
      }
      After(500, [&form] { MeasureIdle(form); });
    });
  });
}
