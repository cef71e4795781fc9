#pragma once
// The five bodies the viewer knows, and their fact sheets: a caption column shared by
// all bodies and one value column per body, eleven lines each so the rows line up.

#include <QString>
#include <array>
#include <cstddef>

namespace orvanth {

// The bodies in the order of the panel's keys 1 to 5.
enum class TBodyId { Orvanth, Io, Europa, Ganymede, Callisto };
inline constexpr int kBodyCount = 5;
inline constexpr std::array<TBodyId, kBodyCount> kBodyIds = {
    TBodyId::Orvanth, TBodyId::Io, TBodyId::Europa, TBodyId::Ganymede, TBodyId::Callisto};
inline constexpr std::array<TBodyId, kBodyCount - 1> kMoons = {
    TBodyId::Io, TBodyId::Europa, TBodyId::Ganymede, TBodyId::Callisto};

// One value per body, reached by its id.
template <typename T>
struct TByBody {
  std::array<T, kBodyCount> Items{};

  constexpr T& operator[](TBodyId id) { return Items[std::size_t(id)]; }
  constexpr const T& operator[](TBodyId id) const { return Items[std::size_t(id)]; }
  auto begin() { return Items.begin(); }
  auto end() { return Items.end(); }
  auto begin() const { return Items.begin(); }
  auto end() const { return Items.end(); }
};

struct TBodyInfo {
  TBodyId Id;
  const char* Name;       // as shown in the name label and on the body's button
  float OrbitRadius;      // the moon's distance from the planet's centre; 0 for the planet
  float CameraDistanceZ;  // the camera's Z on selection: just outside the body or its orbit
  float YawOffset;        // rig yaw = the sphere's RotationAngle.Y + this
};

inline constexpr TByBody<TBodyInfo> kBodies = {{{
    // id, name, orbit radius, camera Z, yaw offset
    {TBodyId::Orvanth, "Orvanth", 0, -7, 0},
    {TBodyId::Io, "Io", 7, -9, -90},
    {TBodyId::Europa, "Europa", 9, -11, -90},
    {TBodyId::Ganymede, "Ganymede", 12, -15, -90},
    {TBodyId::Callisto, "Callisto", 16, -19, -90},
}}};

static_assert(
    [] {
      for (TBodyId id : kBodyIds)
        if (kBodies[id].Id != id) return false;
      return true;
    }(),
    "the body table is in id order");

inline const TBodyInfo& Body(TBodyId id) {
  return kBodies[id];
}

// The caption column (the fact sheet's left column): 193 characters.
QString FactCaptions();
// The value column of a body.
QString FactValues(TBodyId id);

}  // namespace orvanth
