// The viewer exactly as the program starts it, plus what the start-up, glide and idle
// benchmarks read: the moment its first frame is on screen, when each full image took its
// small version's place and the peak memory then, the camera distance of each frame of the
// opening glide, and the frames and CPU time of a quiet spell. The program itself has no
// such output and no arguments.
//
// Usage: bench_viewer startup   prints "first-frame <monotonic ns>", one "in-place <body>
//                               <ns>" per image (-1: never drawn whole) and "settled <ns>
//                               <peak bytes>", then ends
//        bench_viewer glide [folder]
//                               prints "glide-frame <drawn ns> <shown ns> <distance>" for
//                               each frame of the first 3.5 s (when its drawing began and
//                               when it was handed to the window system); with a folder,
//                               saves the screen at the first frame and at the first one
//                               1.5 s later there as first-light.png and glide-1.5s.png
//        bench_viewer idle      prints the idle and auto-rotate figures
//        bench_viewer reach     prints "full-screen <ms>", when the first frame was on screen
//                               with the window full screen at the screen's size, in ms
//                               after the process started, then "rotate-frames <n>
//                               rotate-seconds <s>" for 5 s of auto-rotate once the opening
//                               glide is over; the same on any platform (X11, Wayland)

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QPixmap>
#include <QScreen>
#include <QTimer>

#include <execinfo.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <sstream>

#include "app/LargePages.h"
#include "app/MainWindow.h"
#include "app/Startup.h"
#include "bench/BenchUtil.h"
#include "runtime3d/animation/AniThread.h"
#include "runtime3d/core/Camera.h"
#include "runtime3d/material/Material.h"
#include "runtime3d/material/MaterialSource.h"
#include "runtime3d/material/Texture.h"

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

// Waits for the opening zoom to end (on a busy machine the first frame may come late) and
// the full images to be in place.
void WhenStill(TMainWindow& viewer, std::function<void()> then) {
  if (RunningAnimations() == 0 && !viewer.View()->TexturesInProgress()) return then();
  After(100, [&viewer, then = std::move(then)] { WhenStill(viewer, then); });
}

long long Ns(std::int64_t value) {
  return static_cast<long long>(value);
}

// --- Start-up: the first frame, then each full image in its small version's place --------

struct TBodyTexture {
  const char* Name;
  rt3d::TSphere* Sphere;
  std::int64_t InPlace = -1;
};

rt3d::TTexture* TextureOf(rt3d::TSphere* sphere) {
  rt3d::TMaterial* material = sphere->MaterialSource()->Material();
  if (auto* lit = dynamic_cast<rt3d::TLightMaterial*>(material)) return lit->Texture;
  return dynamic_cast<rt3d::TTextureMaterial&>(*material).Texture;
}

// Looks after every frame; ends once each image is in place, or 10 s after the first frame
// (a moon hidden behind the planet all that time is never drawn).
void WatchImages(TMainWindow& viewer, std::int64_t firstFrame) {
  static std::vector<TBodyTexture> bodies = {
      {"planet", viewer.Scene().Bodies[orvanth::TBodyId::Orvanth]},
      {"sky", viewer.Scene().Sky},
      {"io", viewer.Scene().Bodies[orvanth::TBodyId::Io]},
      {"europa", viewer.Scene().Bodies[orvanth::TBodyId::Europa]},
      {"ganymede", viewer.Scene().Bodies[orvanth::TBodyId::Ganymede]},
      {"callisto", viewer.Scene().Bodies[orvanth::TBodyId::Callisto]}};
  auto look = [&viewer, firstFrame] {
    static bool done = false;
    if (done) return;
    const std::int64_t now = bench::MonotonicNs();
    bool all = true;
    for (TBodyTexture& body : bodies) {
      const rt3d::TTexture* texture = TextureOf(body.Sphere);
      const rt3d::TTextureOnDevice held =
          texture ? viewer.View()->TextureOnDevice(*texture) : rt3d::TTextureOnDevice();
      if (body.InPlace < 0 && held.Handle && !held.Preview) {
        body.InPlace = now;
      }
      all = all && body.InPlace >= 0;
    }
    if (!all && now - firstFrame < 10'000'000'000) return;
    for (const TBodyTexture& body : bodies) {
      std::printf("in-place %s %lld\n", body.Name, Ns(body.InPlace));
    }
    std::printf("settled %lld %lld\n", Ns(now), Ns(bench::PeakResidentBytes()));
    done = true;
    std::fflush(stdout);
    QCoreApplication::exit(0);
  };
  QObject::connect(viewer.View(), &rt3d::TViewport3D::FramePresented, look);
  auto* poll = new QTimer(&viewer);
  QObject::connect(poll, &QTimer::timeout, look);
  poll->start(100);
}

// --- Glide: the camera distance each frame shows -----------------------------------------

// Notes the distance and the time when a frame of the view starts being drawn: the moment
// whose state the frame shows.
struct TFrameWatch {
  std::int64_t Time = 0;
  float Distance = 0;
};

void RecordGlide(TMainWindow& viewer, const QString& captures) {
  static TFrameWatch watch;
  QObject::connect(viewer.View(), &rt3d::TViewport3D::FrameStarted, [&viewer] {
    watch.Time = bench::MonotonicNs();
    watch.Distance = -viewer.Scene().Camera->Position().Z();
  });
  // When the first frame was on screen: the glide's clock starts there.
  static std::int64_t first = 0;
  static bool middleSaved = false;
  // A screen grab takes a while: it comes after the frame's line. The first one holds up
  // the glide's first tick, so the glide's time starts after it.
  auto save = [&viewer, captures](const char* name) {
    if (captures.isEmpty()) return;
    QDir().mkpath(captures);
    viewer.screen()->grabWindow(0).save(QDir(captures).filePath(QString::fromLatin1(name)));
  };
  QObject::connect(viewer.View(), &rt3d::TViewport3D::FramePresented, [save] {
    const std::int64_t shown = bench::MonotonicNs();
    std::printf("glide-frame %lld %lld %.3f\n", Ns(watch.Time), Ns(shown), watch.Distance);
    std::fflush(stdout);
    if (first == 0) {
      save("first-light.png");
      first = bench::MonotonicNs();
    } else if (!middleSaved && watch.Time - first >= 1'500'000'000) {
      middleSaved = true;
      save("glide-1.5s.png");
    }
    if (watch.Time - first > 3'500'000'000) QCoreApplication::exit(0);
  });
}

void MeasureQuietSpell(TMainWindow& viewer) {
  After(1000, [&viewer] {
    const int frames = gFrames;
    const double cpu = bench::ProcessCpuSeconds();
    const std::int64_t start = bench::MonotonicNs();
    After(10000, [&viewer, frames, cpu, start] {
      const double seconds = (bench::MonotonicNs() - start) / 1e9;
      std::printf("idle-frames %d cpu-seconds %.4f seconds %.3f\n", gFrames - frames,
                  bench::ProcessCpuSeconds() - cpu, seconds);
      viewer.Actions().AutoRotate->toggle();
      After(1000, [&viewer] {
        const int frames = gFrames;
        const std::int64_t start = bench::MonotonicNs();
        After(5000, [&viewer, frames, start] {
          const double seconds = (bench::MonotonicNs() - start) / 1e9;
          const QScreen* screen = viewer.screen();
          std::printf("rotate-frames %d rotate-seconds %.3f refresh-hz %.1f\n", gFrames - frames,
                      seconds, screen ? screen->refreshRate() : 0.0);
          std::fflush(stdout);
          QCoreApplication::exit(0);
        });
      });
    });
  });
}

// --- Reach: start-up to full screen and auto-rotate, the same on every platform ----------

// Milliseconds since this process started, by the kernel's own note of its start (in clock
// ticks since boot): no clock shared with a parent is needed.
double MsSinceProcessStart() {
  std::ifstream stat("/proc/self/stat");
  std::string line;
  std::getline(stat, line);
  // Field 22 is the start time; the command name in field 2 may hold spaces, so count from
  // its closing parenthesis.
  std::istringstream fields(line.substr(line.rfind(')') + 2));
  std::string field;
  for (int i = 3; i <= 22 && fields >> field; ++i) {
  }
  const double startedMs = std::stod(field) * 1000.0 / double(sysconf(_SC_CLK_TCK));
  timespec now{};
  clock_gettime(CLOCK_BOOTTIME, &now);
  return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6 - startedMs;
}

void MeasureReach(TMainWindow& viewer) {
  QObject::connect(viewer.View(), &rt3d::TViewport3D::FramePresented, &viewer, [&viewer] {
    static bool seen = false;
    const QScreen* screen = viewer.screen();
    if (seen || !viewer.isFullScreen() || screen == nullptr || viewer.size() != screen->size())
      return;
    seen = true;
    std::printf("full-screen %.1f\n", MsSinceProcessStart());
    std::fflush(stdout);
    After(4000, [] {
      const int frames = gFrames;
      const std::int64_t start = bench::MonotonicNs();
      After(5000, [frames, start] {
        std::printf("rotate-frames %d rotate-seconds %.3f\n", gFrames - frames,
                    (bench::MonotonicNs() - start) / 1e9);
        std::fflush(stdout);
        QCoreApplication::exit(0);
      });
    });
  });
}

void MeasureIdle(TMainWindow& viewer) {
  // Rotation off; the quiet spell starts once nothing moves and the last frame is drawn.
  viewer.Actions().AutoRotate->toggle();
  WhenStill(viewer, [&viewer] { MeasureQuietSpell(viewer); });
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
  // As the program starts: its large blocks on huge pages, which the first frame and the
  // full images' hand-over depend on.
  orvanth::RestartWithLargePages(argv);
  std::signal(SIGSEGV, ReportCrash);
  const std::string mode = argc > 1 ? argv[1] : "startup";
  const QString captures = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString();
  return RunViewer(argc, argv, [mode, captures](TMainWindow& viewer) {
    std::printf("main-entered %lld window-shown %lld\n", Ns(gMainEntered),
                Ns(bench::MonotonicNs()));
    if (mode == "glide") RecordGlide(viewer, captures);
    if (mode == "reach") MeasureReach(viewer);
    QObject::connect(viewer.View(), &rt3d::TViewport3D::FramePresented, [mode, &viewer] {
      if (++gFrames > 1) return;
      const std::int64_t now = bench::MonotonicNs();
      std::printf("first-frame %lld %lld\n", Ns(now), Ns(bench::PeakResidentBytes()));
      std::fflush(stdout);
      if (mode == "startup") WatchImages(viewer, now);
      if (mode == "idle") After(500, [&viewer] { MeasureIdle(viewer); });
    });
  });
}
