#pragma once
// What a frame's picture depends on, read from the scene for the frame damage
// (core/FrameDamage.h): each body's transform, visibility and look, and what every pixel
// depends on.

#include <vector>

#include "runtime3d/core/FrameDamage.h"
#include "runtime3d/core/Types.h"

namespace rt3d {

class TControl3D;
class TGLContext;
struct TLightDescription;

// The objects directly under the view that draw something, visible or not, with their
// textures as the device holds them.
std::vector<TBodyLook> BodyLooks(const std::vector<TControl3D*>& objects, const TGLContext& device);

// The view's look; rest: the fill colour, the scale, the sample count and the lights.
TViewLook ViewLook(const TMatrix3D& camera, const TMatrix3D& projection, int width, int height,
                   TAlphaColor fill, float scale, int samples,
                   const std::vector<TLightDescription>& lights);

// The still sky a frame can take from a kept picture instead of shading it again: the last
// of the planned objects when it lies around the eye, shows its texture's full pixels and
// every object before it is order-free (core/FramePlan.h), so that it only fills the samples
// nothing else covers. Null when there is none.
TControl3D* StillSky(const std::vector<TControl3D*>& planned, const TMatrix3D& camera,
                     const TGLContext& device);

// Changes whenever a kept picture of body (the sky) would differ: the view's look or the
// body's own.
std::uint64_t LayerKey(const TViewLook& view, const TBodyLook& body);

}  // namespace rt3d
