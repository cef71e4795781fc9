#include <gtest/gtest.h>

#include "app/LargePages.h"

namespace {

TEST(LargePages, TheTunableIsAddedToWhatIsSetUnlessItIsThereAlready) {
  const struct {
    const char* Current;
    const char* Expected;  // null: left as it is
  } cases[] = {
      {nullptr, "glibc.malloc.hugetlb=1"},
      {"", "glibc.malloc.hugetlb=1"},
      {"glibc.malloc.arena_max=2", "glibc.malloc.arena_max=2:glibc.malloc.hugetlb=1"},
      {"glibc.malloc.arena_max=2:", "glibc.malloc.arena_max=2:glibc.malloc.hugetlb=1"},
      // The user's own choice stands, wherever it is and whatever it says.
      {"glibc.malloc.hugetlb=0", nullptr},
      {"glibc.malloc.arena_max=2:glibc.malloc.hugetlb=2", nullptr},
      {"glibc.malloc.hugetlb", nullptr},
      // Only the whole name counts.
      {"glibc.malloc.hugetlbx=1", "glibc.malloc.hugetlbx=1:glibc.malloc.hugetlb=1"},
      {"my.glibc.malloc.hugetlb=0", "my.glibc.malloc.hugetlb=0:glibc.malloc.hugetlb=1"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Current ? c.Current : "(unset)");
    const std::optional<std::string> tunables = orvanth::TunablesWithLargePages(c.Current);
    if (c.Expected) {
      EXPECT_EQ(tunables, std::string(c.Expected));
    } else {
      EXPECT_EQ(tunables, std::nullopt);
    }
  }
}

}  // namespace
