#pragma once
// Large blocks of memory on transparent huge pages.
//
// On the software renderer the first frame allocates some 80 MB at once (the multisampled
// colour and depth of a full-screen view, the picture it resolves into) and start-up decodes
// the images into as much again. With the kernel's 4 KB pages each of those blocks costs
// tens of thousands of page faults, a large part of the time to the first picture. The C
// library puts its large blocks on huge pages when its tunables ask for it, and those are
// read only when a program starts: so the viewer starts itself again, at once and in the same
// process, with the tunable added.

#include <optional>
#include <string>

namespace orvanth {

// The C library's tunables (the value of GLIBC_TUNABLES, null when unset) with large blocks
// on huge pages added; none when they already say whether to (the user's choice stands).
std::optional<std::string> TunablesWithLargePages(const char* current);

// Runs the program again in this process with those tunables, unless they are set already.
// Returns only when it does not: set already, or the program could not be run again (then
// it goes on as it is).
void RestartWithLargePages(char** argv);

}  // namespace orvanth
