#pragma once
// The 3D content of the main window as data: the planet, the four moons and the sky, the
// camera rig with its camera and light, the materials with their images, and the spin
// and orbit animations. BuildScene creates it the way a stored window is loaded.

#include <array>

#include "assets/Assets.h"
#include "runtime3d/animation/Animation.h"
#include "runtime3d/core/Camera.h"
#include "runtime3d/core/Light.h"
#include "runtime3d/core/ViewportRoot.h"
#include "runtime3d/material/ImageDecoding.h"
#include "runtime3d/material/MaterialSource.h"
#include "runtime3d/mesh/Sphere.h"

namespace orvanth {

struct TSphereDefinition {
  const char* Name;
  rt3d::TPoint3D Position;
  float Scale;
  float RotationAngleY;     // stored angle at load
  const char* Quanternion;  // stored orientation text, or null
  rt3d::TMeshWrapMode WrapMode;
  const char* MaterialSource;
  bool HitTest;
  bool TwoSide;
};

struct TMaterialDefinition {
  const char* Name;
  bool Lit;  // a light material source; otherwise an unlit texture material source
  assets::Image Texture;
};

struct TSpinDefinition {
  const char* Name;
  const char* Sphere;
  float Duration;  // seconds per run, from the start angle down to -360
};

struct TOrbitPivot {
  const char* Sphere;
  rt3d::TPoint3D RotationCenter;  // minus the moon's position: it turns about the planet
};

// In stored order.
extern const std::array<TSphereDefinition, 6> kSpheres;
extern const std::array<TMaterialDefinition, 6> kMaterials;
extern const std::array<TSpinDefinition, 5> kSpins;
extern const std::array<TOrbitPivot, 4> kOrbitPivots;

// The images every material needs, in the order of kMaterials, decoding on worker threads:
// the full images (Full), or the maps' small versions (Small).
struct TTextureImages {
  std::shared_ptr<rt3d::TDecodeBatch> Small;
  std::shared_ptr<rt3d::TDecodeBatch> Full;
};
enum class TTextureArrival {
  // The full images decode now; the first frame that draws a texture waits for its image.
  Whole,
  // The maps' small versions decode now and show until their full image is in place. The
  // view asks for the full images once it has drawn their small versions, one at a time,
  // the largest first, and takes each band by band as it is decoded.
  SmallFirst,
};
TTextureImages StartDecodingTextures(TTextureArrival arrival = TTextureArrival::Whole);

struct TScene {
  rt3d::TSphere* Planet = nullptr;
  rt3d::TSphere* Sky = nullptr;
  rt3d::TSphere* Io = nullptr;
  rt3d::TSphere* Europa = nullptr;
  rt3d::TSphere* Ganymede = nullptr;
  rt3d::TSphere* Callisto = nullptr;
  rt3d::TDummy* CameraRig = nullptr;
  rt3d::TCamera* Camera = nullptr;
  rt3d::TLight* Light = nullptr;
  // The planet's spin and the moons' orbits, and the bodies' materials, in body order.
  std::array<rt3d::TFloatAnimation*, 5> BodyAnimations{};
  std::array<rt3d::TLightMaterialSource*, 5> BodyMaterials{};
  rt3d::TTextureMaterialSource* SkyMaterial = nullptr;

  rt3d::TSphere* SphereNamed(std::string_view name) const;
  // The sphere of body index 1..5.
  rt3d::TSphere* BodySphere(int index) const;
};

// Creates the 3D objects under root and the material sources under components, assigns
// the stored values in stored order, then ends loading: every object rebuilds its matrix
// once and the spin and orbit animations start. Textures come from images (see
// StartDecodingTextures), each taken when its texture is first drawn: the window can be
// built and shown while they are still being decoded, and the first frames show the small
// versions of the images not decoded yet.
TScene BuildScene(rt3d::TViewportRoot& root, rt3d::TTreeObject& components,
                  const TTextureImages& images);

// The moons' orbit pivots, each written X, then Y, then Z.
void SetOrbitPivots(const TScene& scene);

}  // namespace orvanth
