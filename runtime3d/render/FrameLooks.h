#pragma once
// What a frame's picture depends on, read from the scene for the frame damage
// (core/FrameDamage.h): each body's transform, visibility and look, and what every pixel
// depends on.

#include <vector>

#include "runtime3d/core/FrameDamage.h"
#include "runtime3d/core/Types.h"

namespace rt3d {

class TControl3D;
struct TLightDescription;

// The objects directly under the view that draw something, visible or not.
std::vector<TBodyLook> BodyLooks(const std::vector<TControl3D*>& objects);

// The view's look; rest: the fill colour, the scale, the sample count and the lights.
TViewLook ViewLook(const TMatrix3D& camera, const TMatrix3D& projection, int width, int height,
                   TAlphaColor fill, float scale, int samples,
                   const std::vector<TLightDescription>& lights);

}  // namespace rt3d
