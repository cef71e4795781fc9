#include "runtime3d/core/DeviceResource.h"

#include <algorithm>

namespace rt3d {

TDeviceResource::~TDeviceResource() {
  // Walk a copy: a holder may add or remove holders while it is told.
  const std::vector<IResourceHolder*> holders = std::move(FHolders);
  FHolders.clear();
  for (IResourceHolder* holder : holders) holder->ResourceGone(*this);
}

void TDeviceResource::AddHolder(IResourceHolder* holder) const {
  if (holder && std::find(FHolders.begin(), FHolders.end(), holder) == FHolders.end()) {
    FHolders.push_back(holder);
  }
}

void TDeviceResource::RemoveHolder(IResourceHolder* holder) const {
  std::erase(FHolders, holder);
}

}  // namespace rt3d
