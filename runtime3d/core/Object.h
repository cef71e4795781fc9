#pragma once
// The object tree every scene object and animation lives in, and access to an object's
// float and object-valued properties by name (what property animation needs).

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace rt3d {

class TPersistent;

// One named property of a class. A float property has Get and Set (Set goes through the
// ordinary setter, so callbacks run); an object-valued property has Object.
struct TPropertyInfo {
  std::string_view Name;
  float (*Get)(const TPersistent&) = nullptr;
  void (*Set)(TPersistent&, float) = nullptr;
  TPersistent* (*Object)(TPersistent&) = nullptr;

  bool IsFloat() const { return Get != nullptr && Set != nullptr; }
  bool IsObject() const { return Object != nullptr; }
};

// ASCII case-insensitive equality, as property and component names match.
bool SameText(std::string_view a, std::string_view b);
const TPropertyInfo* FindPropertyIn(std::span<const TPropertyInfo> table, std::string_view name);

class TPersistent {
 public:
  virtual ~TPersistent() = default;
  // Looks the name up in this class's table, then in its bases'.
  virtual const TPropertyInfo* FindProperty(std::string_view name) const;
};

// A node of the object tree. A parent owns its children and frees them with itself.
class TFmxObject : public TPersistent {
 public:
  explicit TFmxObject(std::string name = {});
  ~TFmxObject() override;
  TFmxObject(const TFmxObject&) = delete;
  TFmxObject& operator=(const TFmxObject&) = delete;

  const std::string& Name() const { return FName; }
  void SetName(std::string name) { FName = std::move(name); }

  TFmxObject* Parent() const { return FParent; }
  const std::vector<TFmxObject*>& Children() const { return FChildren; }
  // Takes ownership of child (taking it from its previous parent first).
  void AddObject(TFmxObject* child);
  // Gives ownership of child back to the caller.
  void RemoveObject(TFmxObject* child);
  // Finds a direct child by name, ignoring ASCII case.
  TFmxObject* FindChild(std::string_view name) const;

  // The topmost ancestor, or this object.
  TFmxObject* Root();
  // True for the root object that stands for a window (see TViewportRoot).
  virtual bool IsRootWindow() const { return false; }
  bool IsUnderWindow() { return Root()->IsRootWindow(); }

  // While a tree is being built from its stored definition, setters only store values.
  bool IsLoading() const { return FLoading; }
  bool IsDestroying() const { return FDestroying; }
  // Marks this object and its subtree as loading.
  void BeginLoading();
  // Clears the flag on the subtree, then runs Loaded() on every object, parents first.
  void EndLoading();

  // Objects that hold a non-owning reference ask to be told when this object goes away.
  void AddFreeNotify(TFmxObject* watcher);
  void RemoveFreeNotify(TFmxObject* watcher);

 protected:
  virtual void Loaded() {}
  virtual void FreeNotification(TFmxObject* /*gone*/) {}
  virtual void ChildAdded(TFmxObject* /*child*/) {}
  virtual void ChildRemoved(TFmxObject* /*child*/) {}
  virtual void ParentChanged() {}
  // Runs first in the destructor of the most derived class that needs its own
  // state while children and watchers are told (sets the destroying flag).
  void BeginDestroy();

 private:
  void ClearLoading();
  void RunLoaded();

  std::string FName;
  TFmxObject* FParent = nullptr;
  std::vector<TFmxObject*> FChildren;
  std::vector<TFmxObject*> FFreeNotifies;
  // The objects this one watches, so it can leave their lists when it goes first.
  std::vector<TFmxObject*> FWatched;
  bool FLoading = false;
  bool FDestroying = false;
};

}  // namespace rt3d
