// A resource (a texture, a shader) tells the devices that hold a record of it when it goes,
// each once, and none that stopped holding it.

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "runtime3d/core/DeviceResource.h"

using namespace rt3d;

namespace {

// Records where the resources it was told of lay (they are gone by the time it is read).
struct Holder : IResourceHolder {
  void ResourceGone(TDeviceResource& resource) override {
    told.push_back(reinterpret_cast<std::uintptr_t>(&resource));
  }
  std::vector<std::uintptr_t> told;
};

}  // namespace

TEST(DeviceResource, TellsEachDeviceThatHoldsItWhenItGoes) {
  Holder first, second, leaving;
  std::uintptr_t texturePlace = 0, shaderPlace = 0;
  {
    TDeviceResource neverHeld;
    EXPECT_FALSE(neverHeld.IsHeld());
  }
  {
    TDeviceResource texture;
    texturePlace = reinterpret_cast<std::uintptr_t>(&texture);
    texture.AddHolder(&first);
    texture.AddHolder(&first);  // told once all the same
    texture.AddHolder(&second);
    texture.AddHolder(&leaving);
    texture.RemoveHolder(&leaving);  // a device that went first is not told
    EXPECT_TRUE(texture.IsHeld());
  }
  {
    TDeviceResource shader;
    shaderPlace = reinterpret_cast<std::uintptr_t>(&shader);
    shader.AddHolder(&first);
  }
  EXPECT_EQ(first.told, (std::vector<std::uintptr_t>{texturePlace, shaderPlace}));
  EXPECT_EQ(second.told, (std::vector<std::uintptr_t>{texturePlace}));
  EXPECT_TRUE(leaving.told.empty());
}
