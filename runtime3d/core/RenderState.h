#pragma once
// The render states a draw depends on, as one value. A field left empty is not known (in a
// cache) or not asked for (in a request); a context sends only the fields that change.

#include <cstdint>
#include <optional>

namespace rt3d {

// Which faces a draw shows; a face is front-facing when it runs clockwise on the screen.
enum class TFaceCulling : std::uint8_t { ShowAll, ShowFront, ShowBack };

struct TRenderState {
  std::optional<bool> DepthTest = {};
  std::optional<bool> DepthWrite = {};
  std::optional<bool> Blend = {};
  std::optional<bool> Stencil = {};
  std::optional<bool> ColorWrite = {};
  std::optional<bool> Scissor = {};
  std::optional<TFaceCulling> Faces = {};

  bool operator==(const TRenderState&) const = default;
  bool IsEmpty() const { return *this == TRenderState{}; }

  // Takes the fields `wanted` sets and gives those among them that differ from what this
  // state held (all of them where it held nothing).
  TRenderState Update(const TRenderState& wanted);
};

}  // namespace rt3d
