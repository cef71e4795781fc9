// Start-up decoding of the texture images: one by one with Qt's reader and with the strip
// decoder, and as the parallel batch the scene uses. Run with PNG files as arguments, e.g. the
// images texgen writes into <build>/assets/images.

#include <QElapsedTimer>
#include <QFile>
#include <QThreadPool>

#include <time.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "runtime3d/material/ImageDecoding.h"

namespace {

using Bytes = QByteArray;

std::span<const std::uint8_t> Span(const Bytes& bytes) {
  return {reinterpret_cast<const std::uint8_t*>(bytes.constData()), std::size_t(bytes.size())};
}

double CpuMs(clockid_t clock) {
  timespec ts{};
  clock_gettime(clock, &ts);
  return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

struct TTiming {
  double WallMs = 1e300;
  double CpuMs = 1e300;         // of the calling thread: steadier on a busy machine
  double ProcessCpuMs = 1e300;  // of all threads
};

// The best of a few runs.
template <typename F>
TTiming Best(int runs, F&& f) {
  TTiming best;
  for (int i = 0; i < runs; ++i) {
    QElapsedTimer timer;
    timer.start();
    const double cpu = CpuMs(CLOCK_THREAD_CPUTIME_ID);
    const double processCpu = CpuMs(CLOCK_PROCESS_CPUTIME_ID);
    f();
    best.CpuMs = std::min(best.CpuMs, CpuMs(CLOCK_THREAD_CPUTIME_ID) - cpu);
    best.ProcessCpuMs = std::min(best.ProcessCpuMs, CpuMs(CLOCK_PROCESS_CPUTIME_ID) - processCpu);
    best.WallMs = std::min(best.WallMs, timer.nsecsElapsed() / 1e6);
  }
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s image.png...\n", argv[0]);
    return 2;
  }
  std::vector<Bytes> files;
  for (int i = 1; i < argc; ++i) {
    QFile file(QString::fromLocal8Bit(argv[i]));
    if (!file.open(QIODevice::ReadOnly)) {
      std::fprintf(stderr, "cannot read %s\n", argv[i]);
      return 1;
    }
    files.push_back(file.readAll());
  }
  const int runs = 3;
  struct TWay {
    const char* Name;
    QImage (*Decode)(std::span<const std::uint8_t>);
  };
  const TWay ways[] = {{"Qt's reader", &rt3d::DecodeImageWithQt},
                       {"strip decoder", &rt3d::DecodeImage}};
  std::printf("one by one, best of %d: CPU ms of the thread (wall ms)\n", runs);
  std::printf("%-32s %-13s %5s  %-17s  %-17s\n", "file", "size", "MB", ways[0].Name, ways[1].Name);
  TTiming totals[2] = {{0, 0, 0}, {0, 0, 0}};
  int status = 0;
  for (std::size_t i = 0; i < files.size(); ++i) {
    QImage images[2];
    TTiming times[2];
    for (int w = 0; w < 2; ++w) {
      times[w] = Best(runs, [&] { images[w] = ways[w].Decode(Span(files[i])); });
      totals[w].CpuMs += times[w].CpuMs, totals[w].WallMs += times[w].WallMs;
    }
    std::printf("%-32s %5d x %-5d %5.1f  %7.1f (%7.1f)  %7.1f (%7.1f)\n", argv[i + 1],
                images[0].width(), images[0].height(), files[i].size() / 1e6, times[0].CpuMs,
                times[0].WallMs, times[1].CpuMs, times[1].WallMs);
    // A fast path that gives other pixels than Qt's reader is no gain.
    if (images[0] != images[1]) {
      std::fprintf(stderr, "%s: the strip decoder's pixels differ from Qt's\n", argv[i + 1]);
      status = 1;
    }
  }
  std::printf("%-52s  %7.1f (%7.1f)  %7.1f (%7.1f)\n", "all one by one:", totals[0].CpuMs,
              totals[0].WallMs, totals[1].CpuMs, totals[1].WallMs);

  std::vector<std::span<const std::uint8_t>> sources;
  for (const Bytes& bytes : files) sources.push_back(Span(bytes));
  const TTiming batch = Best(runs, [&] { rt3d::DecodeImagesInParallel(sources); });
  std::printf(
      "parallel batch on %d worker threads and the waiting one: wall %.1f ms"
      " (CPU %.1f ms of the waiting thread, %.1f ms of all)\n",
      QThreadPool::globalInstance()->maxThreadCount(), batch.WallMs, batch.CpuMs,
      batch.ProcessCpuMs);
  return status;
}
