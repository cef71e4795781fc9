// texgen: writes the program's built-in pictures as PNG files into a folder.
//
//   texgen [--threads N] OUTPUT_FOLDER [FILE...]
//
// With FILE names (for example planet.png) only those are written. A map's small version
// (planet-small.png) is written with it.

#include <chrono>
#include <cstdio>
#include <ctime>
#include <exception>
#include <filesystem>
#include <future>
#include <string>
#include <vector>

#include "tools/texgen/Png.h"
#include "tools/texgen/Texgen.h"

namespace {

using orvanth::texgen::OutputFile;
using Clock = std::chrono::steady_clock;

// zlib's level 4 makes files about a tenth larger than level 6 in less than half the time,
// and compression is a good part of the generator's run.
constexpr int kCompression = 4;

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// Compresses and writes one picture; gives the line that reports it.
std::string Write(const std::filesystem::path& path, const orvanth::texgen::Image& image,
                  double renderSeconds) {
  const Clock::time_point encodeStart = Clock::now();
  const std::vector<std::uint8_t> png = orvanth::texgen::EncodePng(image, kCompression);
  orvanth::texgen::WriteFileAtomically(path, png);
  const std::string name = path.filename().string();
  char line[200];
  std::snprintf(line, sizeof line, "%-19s %5d x %-5d %10zu bytes  render %.2f s  png %.2f s",
                name.c_str(), image.width, image.height, png.size(), renderSeconds,
                SecondsSince(encodeStart));
  return line;
}

int Usage() {
  std::fprintf(stderr, "usage: texgen [--threads N] OUTPUT_FOLDER [FILE...]\nfiles:");
  for (const OutputFile& file : orvanth::texgen::OutputFiles()) {
    std::fprintf(stderr, " %.*s", static_cast<int>(file.name.size()), file.name.data());
  }
  std::fprintf(stderr, "\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  int threads = 0;
  if (args.size() >= 2 && args[0] == "--threads") {
    try {
      threads = std::stoi(args[1]);
    } catch (const std::exception&) {
      return Usage();
    }
    if (threads < 1) return Usage();
    args.erase(args.begin(), args.begin() + 2);
  }
  if (args.empty() || args[0].starts_with("-")) return Usage();
  const std::filesystem::path folder = args[0];

  std::vector<const OutputFile*> selected;
  for (const OutputFile& file : orvanth::texgen::OutputFiles()) {
    bool wanted = args.size() == 1;
    for (std::size_t i = 1; i < args.size(); ++i) wanted = wanted || args[i] == file.name;
    if (wanted) selected.push_back(&file);
  }
  for (std::size_t i = 1; i < args.size(); ++i) {
    bool known = false;
    for (const OutputFile& file : orvanth::texgen::OutputFiles()) known |= args[i] == file.name;
    if (!known) {
      std::fprintf(stderr, "texgen: unknown file %s\n", args[i].c_str());
      return Usage();
    }
  }

  std::error_code error;
  std::filesystem::create_directories(folder, error);
  if (error) {
    std::fprintf(stderr, "texgen: cannot create %s: %s\n", folder.c_str(), error.message().c_str());
    return 1;
  }

  const Clock::time_point start = Clock::now();
  // Rendering keeps every core busy; each finished picture is compressed and written on the side
  // while the next one renders.
  std::vector<std::future<std::string>> writes;
  try {
    for (const OutputFile* file : selected) {
      const Clock::time_point renderStart = Clock::now();
      auto image = orvanth::texgen::Render(file->picture, file->width, file->height, threads);
      const double renderSeconds = SecondsSince(renderStart);
      writes.push_back(
          std::async(std::launch::async, [file, folder, renderSeconds, image = std::move(image)] {
            std::string lines = Write(folder / file->name, image, renderSeconds);
            if (file->small) {
              const Clock::time_point shrinkStart = Clock::now();
              const auto small = orvanth::texgen::ShrinkMap(image, orvanth::texgen::kSmallFactor);
              lines += "\ntexgen: " + Write(folder / orvanth::texgen::SmallFileName(file->name),
                                            small, SecondsSince(shrinkStart));
            }
            return lines;
          }));
    }
  } catch (const std::exception& e) {
    for (auto& write : writes) write.wait();
    std::fprintf(stderr, "texgen: %s\n", e.what());
    return 1;
  }
  int status = 0;
  for (auto& write : writes) {
    try {
      std::printf("texgen: %s\n", write.get().c_str());
    } catch (const std::exception& e) {
      std::fprintf(stderr, "texgen: %s\n", e.what());
      status = 1;
    }
  }
  std::size_t files = selected.size();
  for (const OutputFile* file : selected) files += file->small ? 1 : 0;
  std::printf("texgen: %zu files in %.2f s (%.2f s of processor time)\n", files,
              SecondsSince(start), static_cast<double>(std::clock()) / CLOCKS_PER_SEC);
  return status;
}
