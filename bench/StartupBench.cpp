// Start-up and memory of the viewer, its opening glide, and its idle behaviour, each against
// its reference measured in the same run:
//  - start-up: process start to the first frame on screen, against decoding the six
//    texture images one after the other on one thread with Qt's PNG reader (also shown
//    against the viewer's own decoder, one image after the other), with the parts: when
//    main() ran, the window was shown, and each full image took its small version's place;
//  - memory: the viewer's peak resident memory once every full image is in place, against
//    the bare lower-bound program's peak plus 0.6 x the decoded texture bytes;
//  - glide: the camera distance of the first frames on screen and of the frame drawn 1.5 s
//    after the first, on the machine as it is and with two busy processes beside the
//    viewer, against the glide's own line (38 to 15 in 3 s from the first frame) at the
//    moment each frame started being drawn;
//  - idle: frames and CPU over 10 s with auto-rotate off; frames per second with it on
//    against the display's refresh rate.
//
// Usage: bench_startup <dir of bench_viewer and bench_frame> [rounds]

#include <QCoreApplication>
#include <QImage>
#include <QProcess>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <memory>
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

// The index-th word after the word `key` in a program's output (its n-th line with that
// key, counted from 0), or an empty text.
std::string Word(const std::string& output, const std::string& key, int index = 0,
                 int occurrence = 0) {
  std::istringstream in(output);
  std::string word;
  while (in >> word) {
    if (word != key || occurrence-- > 0) continue;
    for (int i = 0; i <= index; ++i) in >> word;
    return word;
  }
  return {};
}

// The index-th number after the word `key`, or -1.
double Field(const std::string& output, const std::string& key, int index = 0) {
  const std::string word = Word(output, key, index);
  return word.empty() ? -1 : std::atof(word.c_str());
}

const char* const kBodies[] = {"planet", "sky", "io", "europa", "ganymede", "callisto"};

// When a body's full image was in place, in ms after `started`; -1 when it never was.
double InPlaceMs(const std::string& output, const char* body, std::int64_t started) {
  for (int line = 0;; ++line) {
    const std::string name = Word(output, "in-place", 0, line);
    if (name.empty()) return -1;
    if (name != body) continue;
    const double ns = std::atof(Word(output, "in-place", 1, line).c_str());
    return ns > 0 ? (ns - double(started)) / 1e6 : -1;
  }
}

struct TGlideFrame {
  double DrawnS;  // when its drawing began, seconds after the first frame was on screen
  double ShownS;
  double Distance;
};

// The glide's frames; with `busy`, that many processes spinning beside the viewer.
std::vector<TGlideFrame> RunGlide(const QString& viewer, int busy) {
  std::vector<std::unique_ptr<QProcess>> spinners;
  for (int i = 0; i < busy; ++i) {
    spinners.push_back(std::make_unique<QProcess>());
    spinners.back()->start(QStringLiteral("sh"),
                           {QStringLiteral("-c"), QStringLiteral("while :; do :; done")});
    spinners.back()->waitForStarted();
  }
  const std::string out = Run(viewer, {QStringLiteral("glide")}, nullptr);
  for (auto& spinner : spinners) {
    spinner->kill();
    spinner->waitForFinished();
  }
  std::vector<TGlideFrame> frames;
  double first = 0;
  for (int line = 0;; ++line) {
    const std::string drawn = Word(out, "glide-frame", 0, line);
    if (drawn.empty()) break;
    const double shown = std::atof(Word(out, "glide-frame", 1, line).c_str());
    if (line == 0) first = shown;
    frames.push_back({(std::atof(drawn.c_str()) - first) / 1e9, (shown - first) / 1e9,
                      std::atof(Word(out, "glide-frame", 2, line).c_str())});
  }
  return frames;
}

// The distance the glide gives at t seconds after the first frame was on screen.
double GlideLine(double t) {
  return 38 - 23 * std::clamp(t, 0.0, 3.0) / 3;
}

// One line: the first five frames, the frame drawn 1.5 s after the first, and the frame
// furthest from the glide's line. Passes when the first frame is at 38 and no frame is
// more than one unit (0.13 s of glide) off the line: a clock that jumped would be.
bool PrintGlide(const char* name, const std::vector<TGlideFrame>& frames) {
  std::printf("%-12s ", name);
  if (frames.size() < 2) {
    std::printf("no frames  FAIL\n");
    return false;
  }
  for (std::size_t i = 0; i < std::min<std::size_t>(5, frames.size()); ++i) {
    std::printf("%s%.2f (shown %.2f s)", i ? ", " : "", frames[i].Distance, frames[i].ShownS);
  }
  const auto middle = std::find_if(frames.begin(), frames.end(),
                                   [](const TGlideFrame& f) { return f.DrawnS >= 1.5; });
  if (middle != frames.end()) {
    std::printf("; drawn at %.2f s: %.2f (line %.2f)", middle->DrawnS, middle->Distance,
                GlideLine(middle->DrawnS));
  }
  double worst = 0;
  for (std::size_t i = 1; i < frames.size(); ++i) {
    worst = std::max(worst, std::fabs(frames[i].Distance - GlideLine(frames[i].DrawnS)));
  }
  const bool pass = frames[0].Distance == 38 && worst < 1;
  std::printf("; %zu frames in %.1f s, furthest %.2f off the line (target < 1)  %s\n",
              frames.size(), frames.back().ShownS, worst, pass ? "PASS" : "FAIL");
  std::fflush(stdout);
  return pass;
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
  std::vector<std::vector<double>> inPlace(std::size(kBodies));
  double textureBytes = 0;
  for (int round = 0; round < rounds; ++round) {
    std::int64_t started = 0;
    const std::string out = Run(viewer, {QStringLiteral("startup")}, &started);
    const double shown = Field(out, "first-frame");
    if (shown > 0) {
      startup.push_back((shown - double(started)) / 1e6);
      toMain.push_back((Field(out, "main-entered") - double(started)) / 1e6);
      toShown.push_back((Field(out, "window-shown") - double(started)) / 1e6);
      for (std::size_t b = 0; b < std::size(kBodies); ++b) {
        const double ms = InPlaceMs(out, kBodies[b], started);
        if (ms > 0) inPlace[b].push_back(ms);
      }
      viewerPeak.push_back(Field(out, "settled", 1));
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
  std::printf("%-12s full image in place at", "start-up-images");
  for (std::size_t b = 0; b < std::size(kBodies); ++b) {
    // A moon behind the planet all along is never drawn, so never drawn whole either.
    if (inPlace[b].empty()) {
      std::printf("%s %s: not drawn", b ? "," : "", kBodies[b]);
    } else {
      std::printf("%s %s %.0f ms", b ? "," : "", kBodies[b], bench::Median(inPlace[b]));
    }
  }
  std::printf(" (%zu of %d rounds)\n", inPlace[1].size(), rounds);
  const double mb = 1024.0 * 1024.0;
  const double allowed = bench::Median(barePeak) + 0.6 * textureBytes;
  pass &= bench::PrintFigure("memory", bench::Median(viewerPeak) / mb, allowed / mb, 1.0, "MB",
                             "allowed");
  std::printf(
      "%-12s viewer peak once every full image is in place %.0f MB; bare lower bound peak "
      "%.0f MB; textures %.0f MB\n",
      "memory-parts", bench::Median(viewerPeak) / mb, bench::Median(barePeak) / mb,
      textureBytes / mb);

  std::printf("glide: %s\n", bench::MachineState().c_str());
  pass &= PrintGlide("glide", RunGlide(viewer, 0));
  pass &= PrintGlide("glide-busy", RunGlide(viewer, 2));

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
