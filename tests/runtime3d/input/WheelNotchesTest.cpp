#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "runtime3d/input/WheelNotches.h"

using namespace rt3d;

namespace {

using std::chrono::milliseconds;

struct TEvent {
  int Delta;
  int AfterMs;  // since the event before
};

TEST(WheelNotches, DeltasAddUpToOneNotchPer120Units) {
  struct TCase {
    const char* Name;
    std::vector<TEvent> Events;
    std::vector<int> Notches;  // returned per event
    int LeftOver;
  };
  const TCase cases[] = {
      {"classic notches", {{120, 0}, {120, 80}, {-120, 80}}, {1, 1, -1}, 0},
      {"several notches in one event", {{-360, 0}, {960, 50}}, {-3, 8}, 0},
      {"15-unit steps: eight make a notch",
       {{15, 0}, {15, 10}, {15, 10}, {15, 10}, {15, 10}, {15, 10}, {15, 10}, {15, 10}, {15, 10}},
       {0, 0, 0, 0, 0, 0, 0, 1, 0},
       15},
      {"40-unit steps toward the user",
       {{-40, 0}, {-40, 16}, {-40, 16}, {-40, 16}},
       {0, 0, -1, 0},
       -40},
      {"uneven amounts carry their rest", {{100, 0}, {100, 8}, {100, 8}}, {0, 1, 1}, 60},
      {"a reversal drops what was left", {{100, 0}, {-30, 8}, {-90, 8}}, {0, 0, -1}, 0},
      {"and the other way", {{-110, 0}, {20, 8}, {100, 8}}, {0, 0, 1}, 0},
      {"a pause drops what was left", {{100, 0}, {20, 301}}, {0, 0}, 20},
      {"no pause at exactly the limit", {{100, 0}, {20, 300}}, {0, 1}, 0},
      {"zero turns nothing and keeps the rest", {{60, 0}, {0, 8}, {60, 8}}, {0, 0, 1}, 0},
      {"the largest deltas",
       {{INT_MAX, 0}, {INT_MIN, 8}},
       {INT_MAX / 120, INT_MIN / 120},
       INT_MIN % 120},
  };
  for (const TCase& c : cases) {
    TWheelNotches wheel;
    auto now = TWheelNotches::TClock::now();
    std::vector<int> notches;
    for (const TEvent& e : c.Events) {
      now += milliseconds(e.AfterMs);
      notches.push_back(wheel.Add(e.Delta, now));
    }
    EXPECT_EQ(notches, c.Notches) << c.Name;
    EXPECT_EQ(wheel.LeftOver(), c.LeftOver) << c.Name;
  }
}

TEST(WheelNotches, ResetForgetsTheRest) {
  TWheelNotches wheel;
  const auto now = TWheelNotches::TClock::now();
  EXPECT_EQ(wheel.Add(100, now), 0);
  wheel.Reset();
  EXPECT_EQ(wheel.Add(20, now), 0);
  EXPECT_EQ(wheel.LeftOver(), 20);
}

}  // namespace
