#pragma once
// Wheel turns counted in notches of a classic wheel (120 units of angle delta each).
//
// A classic wheel sends one notch per event; free-spinning and high-resolution wheels and
// touchpads send many small amounts (8 to 40 units). Adding them up gives both the same
// number of notches for the same turn. What is left over carries on to the next event
// while the wheel keeps turning the same way; it is dropped when the direction reverses or
// after a pause, so that a half turn long ago never completes a notch.

#include <chrono>

namespace rt3d {

class TWheelNotches {
 public:
  using TClock = std::chrono::steady_clock;

  static constexpr int kUnitsPerNotch = 120;
  // Longer than the gaps between the events of one flick, shorter than a deliberate stop.
  static constexpr std::chrono::milliseconds kPause{300};

  // Adds a delta received at `now`; returns the whole notches completed, with the delta's
  // sign (positive away from the user).
  int Add(int delta, TClock::time_point now = TClock::now());
  // Forgets what was left over.
  void Reset() { FLeftOver = 0; }
  // The units carried toward the next notch.
  int LeftOver() const { return FLeftOver; }

 private:
  int FLeftOver = 0;
  TClock::time_point FLast;
};

}  // namespace rt3d
