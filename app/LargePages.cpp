#include "app/LargePages.h"

#include <unistd.h>

#include <cstdlib>
#include <string_view>

namespace orvanth {

namespace {

constexpr std::string_view kLargePages = "glibc.malloc.hugetlb";

}  // namespace

std::optional<std::string> TunablesWithLargePages(const char* current) {
  const std::string_view tunables = current ? current : "";
  // name=value items separated by colons.
  std::string_view rest = tunables;
  while (!rest.empty()) {
    const std::size_t end = rest.find(':');
    const std::string_view item = rest.substr(0, end);
    if (item.substr(0, item.find('=')) == kLargePages) return std::nullopt;
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
  }
  std::string value(tunables);
  if (!value.empty() && value.back() != ':') value += ':';
  return value + std::string(kLargePages) + "=1";
}

void RestartWithLargePages(char** argv) {
  const char* current = std::getenv("GLIBC_TUNABLES");
  const std::optional<std::string> tunables = TunablesWithLargePages(current);
  if (!tunables || !argv || !argv[0]) return;
  const std::optional<std::string> before =
      current ? std::optional<std::string>(current) : std::nullopt;
  if (::setenv("GLIBC_TUNABLES", tunables->c_str(), 1) != 0) return;
  ::execv("/proc/self/exe", argv);
  // Not run again: nothing changes, for this process or the ones it starts.
  if (before) {
    ::setenv("GLIBC_TUNABLES", before->c_str(), 1);
  } else {
    ::unsetenv("GLIBC_TUNABLES");
  }
}

}  // namespace orvanth
