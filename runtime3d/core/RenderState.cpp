#include "runtime3d/core/RenderState.h"

namespace rt3d {

TRenderState TRenderState::Update(const TRenderState& wanted) {
  TRenderState changes;
  auto take = [&](auto field) {
    const auto& value = wanted.*field;
    if (!value || this->*field == value) return;
    this->*field = value;
    changes.*field = value;
  };
  take(&TRenderState::DepthTest);
  take(&TRenderState::DepthWrite);
  take(&TRenderState::Blend);
  take(&TRenderState::Stencil);
  take(&TRenderState::ColorWrite);
  take(&TRenderState::Scissor);
  take(&TRenderState::Faces);
  return changes;
}

}  // namespace rt3d
