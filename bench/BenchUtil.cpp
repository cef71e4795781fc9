#include "bench/BenchUtil.h"

#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

namespace bench {

std::int64_t MonotonicNs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return std::int64_t(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

double ProcessCpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return double(ts.tv_sec) + ts.tv_nsec / 1e9;
}

std::int64_t PeakResidentBytes() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::atoll(line.c_str() + 6) * 1024;
  }
  return -1;
}

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

std::string MachineState() {
  std::ifstream file("/proc/loadavg");
  std::string a, b, c;
  file >> a >> b >> c;
  const char* lp = std::getenv("LP_NUM_THREADS");
  std::ostringstream out;
  out << "load " << a << " " << b << " " << c << ", " << std::thread::hardware_concurrency()
      << " cores, LP_NUM_THREADS=" << (lp ? lp : "unset (one per core)");
  return out.str();
}

namespace {

bool PrintRatio(const std::string& name, double measured, double reference, double limit,
                bool atLeast, const std::string& unit, const std::string& referenceName) {
  const double ratio = reference > 0 ? measured / reference : 0;
  const bool pass = measured > 0 && reference > 0 && (atLeast ? ratio >= limit : ratio <= limit);
  std::printf("%-12s %6.3f x  (%.1f %s vs %.1f %s %s; target %s %.2f x)  %s\n", name.c_str(), ratio,
              measured, unit.c_str(), reference, unit.c_str(), referenceName.c_str(),
              atLeast ? ">=" : "<=", limit, pass ? "PASS" : "FAIL");
  std::fflush(stdout);
  return pass;
}

}  // namespace

bool PrintFigure(const std::string& name, double measured, double reference, double limit,
                 const std::string& unit, const std::string& referenceName) {
  return PrintRatio(name, measured, reference, limit, false, unit, referenceName);
}

bool PrintFigureAtLeast(const std::string& name, double measured, double reference, double limit,
                        const std::string& unit, const std::string& referenceName) {
  return PrintRatio(name, measured, reference, limit, true, unit, referenceName);
}

}  // namespace bench
