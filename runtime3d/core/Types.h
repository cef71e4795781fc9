#pragma once
// Small shared types: colours, pointer and gesture event arguments, projections.

#include <cstdint>

#include "runtime3d/math/Math3D.h"

namespace rt3d {

// 32-bit colour written 0xAARRGGBB.
using TAlphaColor = std::uint32_t;
inline constexpr TAlphaColor claNull = 0x00000000;
inline constexpr TAlphaColor claBlack = 0xFF000000;
inline constexpr TAlphaColor claWhite = 0xFFFFFFFF;
inline constexpr TAlphaColor claAqua = 0xFF00FFFF;
inline constexpr TAlphaColor claRed = 0xFFFF0000;

// A colour as shader input: (R/255, G/255, B/255, A/255).
TVector3D ColorToVector(TAlphaColor color);

// Modifier and button state of pointer and key events.
enum TShiftStateFlag : std::uint16_t {
  ssShift = 1 << 0,
  ssAlt = 1 << 1,
  ssCtrl = 1 << 2,
  ssLeft = 1 << 3,
  ssRight = 1 << 4,
  ssMiddle = 1 << 5,
  ssDouble = 1 << 6,
  ssTouch = 1 << 7,
  ssPen = 1 << 8,
  ssCommand = 1 << 9,
  ssHorizontal = 1 << 10,
};
using TShiftState = std::uint16_t;

enum class TMouseButton { mbLeft, mbRight, mbMiddle };

enum TInteractiveGestureFlag : std::uint8_t {
  gfBegin = 1 << 0,
  gfInertia = 1 << 1,
  gfEnd = 1 << 2,
};

// Gesture identifiers the viewer meets.
enum : std::int16_t {
  sgiNoGesture = 0,
  sgiLeft = 1,
  sgiRight = 2,
  igiZoom = 259,
  igiPan = 260,
  igiRotate = 261,
  igiTwoFingerTap = 262,
  igiPressAndTap = 263,
  igiLongTap = 264,
  igiDoubleTap = 265,
};

struct TGestureEventInfo {
  std::int16_t GestureID = sgiNoGesture;
  TPointF Location;
  std::uint8_t Flags = 0;  // TInteractiveGestureFlag bits
  double Angle = 0;
  TPointF InertiaVector;
  std::int32_t Distance = 0;
  TPointF TapLocation;
};

enum class TProjection { Camera, Screen };

}  // namespace rt3d
