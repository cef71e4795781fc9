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

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QPixmap>
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
void WhenStill(TMainWindow& form, std::function<void()> then) {
  if (RunningAnimations() == 0 && !form.View->TexturesInProgress()) return then();
  After(100, [&form, then = std::move(then)] { WhenStill(form, then); });
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
void WatchImages(TMainWindow& form, std::int64_t firstFrame) {
  static std::vector<TBodyTexture> bodies = {
      {"planet", form.Planet}, {"sky", form.Sky},           {"io", form.Io},
      {"europa", form.Europa}, {"ganymede", form.Ganymede}, {"callisto", form.Callisto}};
  auto look = [&form, firstFrame] {
    static bool done = false;
    if (done) return;
    const std::int64_t now = bench::MonotonicNs();
    bool all = true;
    for (TBodyTexture& body : bodies) {
      const rt3d::TTexture* texture = TextureOf(body.Sphere);
      const rt3d::TTextureOnDevice held =
          texture ? form.View->TextureOnDevice(*texture) : rt3d::TTextureOnDevice();
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
  QObject::connect(form.View, &rt3d::TViewport3D::FramePresented, look);
  auto* poll = new QTimer(&form);
  QObject::connect(poll, &QTimer::timeout, look);
  poll->start(100);
}

// --- Glide: the camera distance each frame shows -----------------------------------------

// Notes the distance and the time when a frame of the view starts being drawn.
class TPaintWatch : public QObject {
 public:
  explicit TPaintWatch(TMainWindow& form) : FForm(form) { form.View->installEventFilter(this); }
  std::int64_t Time = 0;
  float Distance = 0;

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) {
      Time = bench::MonotonicNs();
      Distance = -FForm.Camera->Position().Z();
    }
    return false;
  }

 private:
  TMainWindow& FForm;
};

void RecordGlide(TMainWindow& form, const QString& captures) {
  auto* watch = new TPaintWatch(form);
  // When the first frame was on screen: the glide's clock starts there.
  static std::int64_t first = 0;
  static bool middleSaved = false;
  // A screen grab takes a while: it comes after the frame's line. The first one holds up
  // the glide's first tick, so the glide's time starts after it.
  auto save = [&form, captures](const char* name) {
    if (captures.isEmpty()) return;
    QDir().mkpath(captures);
    form.screen()->grabWindow(0).save(QDir(captures).filePath(QString::fromLatin1(name)));
  };
  QObject::connect(form.View, &rt3d::TViewport3D::FramePresented, [watch, save] {
    const std::int64_t shown = bench::MonotonicNs();
    std::printf("glide-frame %lld %lld %.3f\n", Ns(watch->Time), Ns(shown), watch->Distance);
    std::fflush(stdout);
    if (first == 0) {
      save("first-light.png");
      first = bench::MonotonicNs();
    } else if (!middleSaved && watch->Time - first >= 1'500'000'000) {
      middleSaved = true;
      save("glide-1.5s.png");
    }
    if (watch->Time - first > 3'500'000'000) QCoreApplication::exit(0);
  });
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
  WhenStill(form, [&form] { MeasureQuietSpell(form); });
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
  const std::string mode = argc > 1 ? argv[1] : "startup";
  const QString captures = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString();
  return RunViewer(argc, argv, [mode, captures](TMainWindow& form) {
    std::printf("main-entered %lld window-shown %lld\n", Ns(gMainEntered),
                Ns(bench::MonotonicNs()));
    if (mode == "glide") RecordGlide(form, captures);
    QObject::connect(form.View, &rt3d::TViewport3D::FramePresented, [mode, &form] {
      if (++gFrames > 1) return;
      const std::int64_t now = bench::MonotonicNs();
      std::printf("first-frame %lld %lld\n", Ns(now), Ns(bench::PeakResidentBytes()));
      std::fflush(stdout);
      if (mode == "startup") WatchImages(form, now);
      if (mode == "idle") After(500, [&form] { MeasureIdle(form); });
    });
  });
}
