#pragma once
// Colours while painting: floats in [0, 1] (sRGB-encoded, like the bytes they end up as).

#include <algorithm>
#include <cstdint>

namespace orvanth::texgen {

struct Rgb {
  float r = 0;
  float g = 0;
  float b = 0;

  Rgb operator+(const Rgb& o) const { return {r + o.r, g + o.g, b + o.b}; }
  Rgb operator-(const Rgb& o) const { return {r - o.r, g - o.g, b - o.b}; }
  Rgb operator*(const Rgb& o) const { return {r * o.r, g * o.g, b * o.b}; }
  Rgb operator*(float s) const { return {r * s, g * s, b * s}; }
  Rgb& operator+=(const Rgb& o) { return *this = *this + o; }
};

// From a 0xRRGGBB literal, so palettes read like the colours a painter would pick.
constexpr Rgb Hex(std::uint32_t rgb) {
  return {static_cast<float>((rgb >> 16) & 0xFF) / 255.0f,
          static_cast<float>((rgb >> 8) & 0xFF) / 255.0f, static_cast<float>(rgb & 0xFF) / 255.0f};
}

inline float Clamp01(float v) {
  return std::clamp(v, 0.0f, 1.0f);
}
inline float Mix(float a, float b, float t) {
  return a + (b - a) * t;
}
inline Rgb Mix(const Rgb& a, const Rgb& b, float t) {
  return a + (b - a) * t;
}
inline float SmoothStep(float edge0, float edge1, float x) {
  const float t = Clamp01((x - edge0) / (edge1 - edge0));
  return t * t * (3.0f - 2.0f * t);
}
inline float Luma(const Rgb& c) {
  return 0.299f * c.r + 0.587f * c.g + 0.114f * c.b;
}
// Moves a colour toward (amount > 0) or away from its own grey.
inline Rgb Saturate(const Rgb& c, float amount) {
  const float y = Luma(c);
  return Mix(Rgb{y, y, y}, c, 1.0f + amount);
}

// Rounds to a byte; `dither` in [0, 1) spreads the rounding so smooth gradients do not band.
inline std::uint8_t ToByte(float v, float dither = 0.5f) {
  return static_cast<std::uint8_t>(std::clamp(v * 255.0f + dither, 0.0f, 255.0f));
}

}  // namespace orvanth::texgen
