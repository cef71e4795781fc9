#pragma once
// Small helpers shared by the benchmarks: clocks, medians, memory and the result line.

#include <cstdint>
#include <string>
#include <vector>

namespace bench {

// CLOCK_MONOTONIC in nanoseconds: comparable between processes of one machine.
std::int64_t MonotonicNs();
// User + system CPU seconds of the whole process, every thread included.
double ProcessCpuSeconds();
// Peak resident set (VmHWM) of this process, in bytes.
std::int64_t PeakResidentBytes();

double Median(std::vector<double> values);

// The machine's state, printed with the figures: load averages, cores, llvmpipe threads.
std::string MachineState();

// One figure: "<name>: <ratio> x (<measured> vs <reference>; target <= <limit> x) PASS".
// Returns whether it is within its target.
bool PrintFigure(const std::string& name, double measured, double reference, double limit,
                 const std::string& unit, const std::string& referenceName);
// The same for a figure that must reach its target: "target >= <limit> x".
bool PrintFigureAtLeast(const std::string& name, double measured, double reference, double limit,
                        const std::string& unit, const std::string& referenceName);

}  // namespace bench
