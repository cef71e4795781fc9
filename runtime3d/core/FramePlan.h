#pragma once
// Which of a frame's objects to draw, and in what order, for the same picture at less cost.
//
// The rendering list decides the drawing order, and for anything that blends that order is
// part of the picture. Objects that do not blend are different: an object that writes and
// tests depth and whose every pixel is opaque ("order-free") shows exactly where it is the
// nearest, whatever comes before or after it, as long as no other surface can meet it at
// the same depth. So, without changing a pixel:
//  - an order-free object outside the view, or hidden behind a closed convex order-free
//    object (a planet's disc), is not drawn at all;
//  - a run of consecutive order-free objects is drawn nearest first, and an object around
//    the eye (a sky) last, so the depth test rejects what lies behind before it is shaded.
// Objects that are not order-free keep their places, and so do runs whose surfaces could
// meet (their shells overlap). Objects that draw nothing at all (a camera rig, a light's
// holder) do not break a run; they are drawn at its start.

#include <vector>

#include "runtime3d/math/Math3D.h"

namespace rt3d {

class TControl3D;

// Whether the object's own drawing is order-free (see above). Objects with children that
// draw, with a render handler (it may draw anything) or on the 2D layer never are.
bool IsOrderFree(TControl3D& object);
// Whether the object and everything under it draw nothing at all.
bool DrawsNothing(const TControl3D& object);

// objects: the visible objects directly under the viewport, in rendering-list order.
// camera, projection: the frame's matrices (points are row vectors: p x camera x projection
// gives clip coordinates, x and y within [-w, w] and z within [0, w] on screen).
std::vector<TControl3D*> PlanFrame(const std::vector<TControl3D*>& objects, const TMatrix3D& camera,
                                   const TMatrix3D& projection);

}  // namespace rt3d
