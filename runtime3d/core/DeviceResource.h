#pragma once
// Something a device keeps its own copy of: a texture's pixels, a compiled shader. The
// resource holds no device state. Each device keeps its own record of what it made from the
// resource, keyed by the resource; a change of content shows in the resource's own
// generation, and its going away reaches the devices through ResourceGone.

#include <vector>

namespace rt3d {

class TDeviceResource;

// A device that keeps records of resources.
class IResourceHolder {
 public:
  // The resource is being destroyed: drop its record and free what was made from it.
  virtual void ResourceGone(TDeviceResource& resource) = 0;

 protected:
  ~IResourceHolder() = default;
};

class TDeviceResource {
 public:
  TDeviceResource() = default;
  // Tells every holder that the resource goes.
  virtual ~TDeviceResource();
  TDeviceResource(const TDeviceResource&) = delete;
  TDeviceResource& operator=(const TDeviceResource&) = delete;

  // A holder is told once however often it is added; a holder going first removes itself.
  // Holding changes nothing of the resource: a const one can be held.
  void AddHolder(IResourceHolder* holder) const;
  void RemoveHolder(IResourceHolder* holder) const;
  // Some device holds a record of it.
  bool IsHeld() const { return !FHolders.empty(); }

 private:
  mutable std::vector<IResourceHolder*> FHolders;
};

}  // namespace rt3d
