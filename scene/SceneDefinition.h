#pragma once
// The 3D content of the viewer as data: the planet, the four moons and the sky, the camera
// rig with its camera and light, the materials with their images, and the spin and orbit
// animations. BuildScene makes the runtime objects from it.

#include <array>

#include "assets/Assets.h"
#include "runtime3d/animation/Animation.h"
#include "runtime3d/core/Camera.h"
#include "runtime3d/core/Light.h"
#include "runtime3d/core/ViewportRoot.h"
#include "runtime3d/material/ImageDecoding.h"
#include "runtime3d/material/MaterialSource.h"
#include "runtime3d/mesh/Sphere.h"
#include "scene/BodyCatalogue.h"

namespace orvanth {

struct TSphereDefinition {
  const char* Name;
  float Scale;
  float RotationAngleY;     // its angle about Y at the start
  const char* Orientation;  // its whole turn as quaternion text "(x,y,z,w)", or null
  rt3d::TMeshWrapMode WrapMode;
  bool HitTest;
  bool TwoSide;
};

struct TMaterialDefinition {
  const char* Name;
  bool Lit;  // a light material source; otherwise an unlit texture material source
  assets::Image Texture;
};

// The planet's spin or a moon's orbit: the sphere turns about its pivot, from its start
// angle down to -360 in Duration seconds, again and again.
struct TSpinDefinition {
  const char* Name;
  float Duration;
};

// A body's sphere and its motion. Where it stands and what it circles come from its orbit
// radius in the body catalogue (kBodies).
struct TBodyDefinition {
  TSphereDefinition Sphere;
  TSpinDefinition Spin;
};

extern const TByBody<TBodyDefinition> kBodyDefinitions;
extern const TSphereDefinition kSkyDefinition;
// The bodies' materials in body order, then the sky's.
extern const std::array<TMaterialDefinition, kBodyCount + 1> kMaterials;

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
  // The bodies' spheres, their spins and orbits and their materials.
  TByBody<rt3d::TSphere*> Bodies;
  TByBody<rt3d::TFloatAnimation*> BodyAnimations;
  TByBody<rt3d::TLightMaterialSource*> BodyMaterials;
  rt3d::TSphere* Sky = nullptr;
  rt3d::TTextureMaterialSource* SkyMaterial = nullptr;
  // The rig turns about the planet and carries the camera and the light.
  rt3d::TDummy* CameraRig = nullptr;
  rt3d::TCamera* Camera = nullptr;
  rt3d::TLight* Light = nullptr;
};

// Creates the 3D objects under root and the material sources under components, sets them
// up in the order given here, then ends loading: every object rebuilds its matrix
// once and the spin and orbit animations start. Textures come from images (see
// StartDecodingTextures), each taken when its texture is first drawn: the window can be
// built and shown while they are still being decoded, and the first frames show the small
// versions of the images not decoded yet.
TScene BuildScene(rt3d::TViewportRoot& root, rt3d::TTreeObject& components,
                  const TTextureImages& images);

// The moons' orbit pivots, each written X, then Y, then Z.
void SetOrbitPivots(const TScene& scene);

}  // namespace orvanth
