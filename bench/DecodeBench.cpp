// Start-up decoding of the texture images, one by one and as the parallel batch the scene
// uses. Run with PNG files as arguments, e.g. the images texgen writes into
// <build>/assets/images.

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

double ThreadCpuMs() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

struct TTiming {
  double WallMs = 1e300;
  double CpuMs = 1e300;  // of the calling thread: steadier on a busy machine
};

// The best of a few runs.
template <typename F>
TTiming Best(int runs, F&& f) {
  TTiming best;
  for (int i = 0; i < runs; ++i) {
    QElapsedTimer timer;
    timer.start();
    const double cpu = ThreadCpuMs();
    f();
    best.CpuMs = std::min(best.CpuMs, ThreadCpuMs() - cpu);
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
  TTiming total{0, 0};
  std::printf("one by one, best of %d: CPU ms of the thread (wall ms)\n", runs);
  for (std::size_t i = 0; i < files.size(); ++i) {
    QImage image;
    const TTiming t = Best(runs, [&] { image = rt3d::DecodeImage(Span(files[i])); });
    total.CpuMs += t.CpuMs, total.WallMs += t.WallMs;
    std::printf("%-32s %5d x %-5d %5.1f MB  %7.1f (%7.1f)\n", argv[i + 1], image.width(),
                image.height(), files[i].size() / 1e6, t.CpuMs, t.WallMs);
  }
  std::printf("all one by one: %.1f (%.1f)\n", total.CpuMs, total.WallMs);

  std::vector<std::span<const std::uint8_t>> sources;
  for (const Bytes& bytes : files) sources.push_back(Span(bytes));
  const TTiming batch = Best(runs, [&] { rt3d::DecodeImagesInParallel(sources); });
  std::printf("parallel batch on %d worker threads: wall %.1f ms\n",
              QThreadPool::globalInstance()->maxThreadCount(), batch.WallMs);
  return 0;
}
