#pragma once
// The device's render states: those every frame puts in place once, the depth convention
// (clip control where the driver has it) and the switches a context sends as draws change
// them (see TRenderState).

#include "runtime3d/core/RenderState.h"
#include "runtime3d/render/GLDevice.h"

// Clip control came with OpenGL 4.5; the 3.3 headers may not name its values.
#ifndef GL_ZERO_TO_ONE
#define GL_ZERO_TO_ONE 0x935F
#endif
#ifndef GL_LOWER_LEFT
#define GL_LOWER_LEFT 0x8CA1
#endif
#ifndef GL_NEGATIVE_ONE_TO_ONE
#define GL_NEGATIVE_ONE_TO_ONE 0x935E
#endif

class QOpenGLContext;

namespace rt3d {

using TClipControl = void (*)(unsigned origin, unsigned depth);

// glClipControl of the context, or null when its driver has none.
TClipControl ResolveClipControl(QOpenGLContext& context);

// Puts in place every state a frame relies on, whatever used the GL context before (Qt's
// own drawing, another frame) left behind. With clip control, depth runs 0..1 when
// zeroToOne is set, else -1..1 (vertex programs then remap it).
void ApplyFrameStates(TGLFunctions& gl, TClipControl clipControl, bool zeroToOne);

// Sends the states `changes` sets.
void ApplyRenderState(TGLFunctions& gl, const TRenderState& changes);

}  // namespace rt3d
