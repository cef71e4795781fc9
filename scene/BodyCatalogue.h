#pragma once
// The five bodies the viewer knows, and their fact sheets: a caption column shared by
// all bodies and one value column per body, eleven lines each so the rows line up.

#include <QString>
#include <array>

namespace orvanth {

inline constexpr int kBodyCount = 5;
// Body indices.
inline constexpr int kOrvanth = 1;
inline constexpr int kIo = 2;
inline constexpr int kEuropa = 3;
inline constexpr int kGanymede = 4;
inline constexpr int kCallisto = 5;

struct TBodyInfo {
  int Index;              // 1 the planet, 2 Io, 3 Europa, 4 Ganymede, 5 Callisto
  const char* Name;       // as shown in the name label and on the body's button
  const char* Sphere;     // component name of its sphere
  const char* Button;     // component name of its button
  float CameraDistanceZ;  // Camera.Position.Z on selection
  float YawOffset;        // rig yaw = the sphere's RotationAngle.Y + this
  float OrbitRadius;      // 0 for the planet
};

// Indexed by body index - 1.
extern const std::array<TBodyInfo, kBodyCount> kBodies;

const TBodyInfo& Body(int index);

// The caption column (FactSheetCaptions): 193 characters.
QString FactCaptions();
// The value column of body index 1..5.
QString FactValues(int index);

}  // namespace orvanth
