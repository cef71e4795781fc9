// Start-up and memory of the viewer, and its idle behaviour, each against its reference
// measured in the same run:
//  - start-up: process start to the first frame on screen, against decoding the six
//    texture images one after the other on one thread with Qt's PNG reader (also shown
//    against the viewer's own decoder, one image after the other);
//  - memory: the viewer's peak resident memory after its first frame, against the bare
//    lower-bound program's peak plus 0.6 x the decoded texture bytes;
//  - idle: frames and CPU over 10 s with auto-rotate off; frames per second with it on
//    against the display's refresh rate.
//
// Usage: bench_startup <dir of bench_viewer and bench_frame> [rounds]

#include <QCoreApplication>
#include <QImage>
#include <QProcess>

#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "assets/Assets.h"
#include "bench/BenchUtil.h"
#include "runtime3d/material/ImageDecoding.h"
#include "scene/SceneDefinition.h"

namespace {

std::string Run(const QString& program, const QStringList& arguments, std::int64_t* started) {
  QProcess process;
  process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  if (started) *started = bench::MonotonicNs();
  process.start(program, arguments);
  if (!process.waitForFinished(120000)) {
    process.kill();
    process.waitForFinished();
  }
  if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
    std::fprintf(
        stderr, "%s %s ended with %s %d\n", qPrintable(program), qPrintable(arguments.join(u' ')),
        process.exitStatus() == QProcess::NormalExit ? "exit code" : "signal", process.exitCode());
  }
  return process.readAllStandardOutput().toStdString();
}

// The index-th number after the word `key` in a program's output, or -1.
double Field(const std::string& output, const std::string& key, int index = 0) {
  std::istringstream in(output);
  std::string word;
  while (in >> word) {
    if (word != key) continue;
    for (int i = 0; i <= index; ++i) in >> word;
    return std::atof(word.c_str());
  }
  return -1;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication application(argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s <bench build folder> [rounds]\n", argv[0]);
    return 2;
  }
  const QString dir = QString::fromLocal8Bit(argv[1]);
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
  const QString viewer = dir + QStringLiteral("/bench_viewer");
  const QString frame = dir + QStringLiteral("/bench_frame");

  std::vector<double> startup, serial, serialOwn, viewerPeak, barePeak, toMain, toShown;
  double textureBytes = 0;
  for (int round = 0; round < rounds; ++round) {
    std::int64_t started = 0;
    const std::string out = Run(viewer, {QStringLiteral("startup")}, &started);
    const double shown = Field(out, "first-frame");
    if (shown > 0) {
      startup.push_back((shown - double(started)) / 1e6);
      toMain.push_back((Field(out, "main-entered") - double(started)) / 1e6);
      toShown.push_back((Field(out, "window-shown") - double(started)) / 1e6);
      viewerPeak.push_back(Field(out, "first-frame", 1));
    } else {
      std::fprintf(stderr, "the viewer showed no frame: %s\n", out.c_str());
    }

    std::int64_t decodeStart = bench::MonotonicNs();
    textureBytes = 0;
    for (const orvanth::TMaterialDefinition& d : orvanth::kMaterials) {
      const QImage image = rt3d::DecodeImageWithQt(orvanth::assets::Png(d.Texture));
      textureBytes += double(image.sizeInBytes());
    }
    serial.push_back((bench::MonotonicNs() - decodeStart) / 1e6);
    decodeStart = bench::MonotonicNs();
    for (const orvanth::TMaterialDefinition& d : orvanth::kMaterials) {
      rt3d::DecodeImage(orvanth::assets::Png(d.Texture));
    }
    serialOwn.push_back((bench::MonotonicNs() - decodeStart) / 1e6);

    const double bare =
        Field(Run(frame, {QStringLiteral("bare-memory")}, nullptr), "bare-peak-bytes");
    if (bare > 0) barePeak.push_back(bare);
  }
  std::printf("start-up: %d rounds; %s\n", rounds, bench::MachineState().c_str());
  bool pass = bench::PrintFigure("start-up", bench::Median(startup), bench::Median(serial), 0.6,
                                 "ms", "serial decode");
  std::printf(
      "%-12s main() entered at %.0f ms, window built and shown at %.0f ms, first frame on "
      "screen at %.0f ms; the six images one after the other with the viewer's own strip "
      "decoder: %.0f ms (%.3f x)\n",
      "start-up-parts", bench::Median(toMain), bench::Median(toShown), bench::Median(startup),
      bench::Median(serialOwn), bench::Median(startup) / bench::Median(serialOwn));
  const double mb = 1024.0 * 1024.0;
  const double allowed = bench::Median(barePeak) + 0.6 * textureBytes;
  pass &= bench::PrintFigure("memory", bench::Median(viewerPeak) / mb, allowed / mb, 1.0, "MB",
                             "allowed");
  std::printf("%-12s viewer peak %.0f MB; bare lower bound peak %.0f MB; textures %.0f MB\n",
              "memory-parts", bench::Median(viewerPeak) / mb, bench::Median(barePeak) / mb,
              textureBytes / mb);

  const std::string idle = Run(viewer, {QStringLiteral("idle")}, nullptr);
  const double idleFrames = Field(idle, "idle-frames");
  const double idleCpu = Field(idle, "cpu-seconds");
  const double idleSeconds = Field(idle, "seconds");
  const double rotateFrames = Field(idle, "rotate-frames");
  const double rotateSeconds = Field(idle, "rotate-seconds");
  const double refresh = Field(idle, "refresh-hz");
  std::printf("idle: %s\n", bench::MachineState().c_str());
  const double cpuPercent = idleSeconds > 0 ? 100 * idleCpu / idleSeconds : -1;
  const bool quiet = idleFrames == 0 && cpuPercent >= 0 && cpuPercent < 1;
  std::printf("%-12s %d frames, %.2f %% of one core over %.1f s (target: 0 frames, < 1 %%)  %s\n",
              "idle", int(idleFrames), cpuPercent, idleSeconds, quiet ? "PASS" : "FAIL");
  pass &= quiet;
  if (rotateSeconds > 0) {
    pass &= bench::PrintFigure("rotate-fps", rotateFrames / rotateSeconds, refresh, 1.0, "fps",
                               "display refresh");
  }
  return pass ? 0 : 3;
}
