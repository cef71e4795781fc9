#include "runtime3d/input/WheelNotches.h"

namespace rt3d {

int TWheelNotches::Add(int delta, TClock::time_point now) {
  const bool paused = now - FLast > kPause;
  const bool reversed = (FLeftOver > 0 && delta < 0) || (FLeftOver < 0 && delta > 0);
  FLast = now;
  if (paused || reversed) FLeftOver = 0;
  // In 64 bits: the platform's delta may be any 32-bit value.
  const long long total = (long long)FLeftOver + delta;
  const long long notches = total / kUnitsPerNotch;  // toward zero: the rest keeps the sign
  FLeftOver = int(total - notches * kUnitsPerNotch);
  return int(notches);
}

}  // namespace rt3d
