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

// ASCII case-insensitive equality, as property and object names match.
bool SameText(std::string_view a, std::string_view b);
const TPropertyInfo* FindPropertyIn(std::span<const TPropertyInfo> table, std::string_view name);

class TPersistent {
 public:
  virtual ~TPersistent() = default;
  // Looks the name up in this class's table, then in its bases'.
  virtual const TPropertyInfo* FindProperty(std::string_view name) const;
};

// A node of the object tree. A parent owns its children and frees them with itself.
class TTreeObject : public TPersistent {
 public:
  explicit TTreeObject(std::string name = {});
  ~TTreeObject() override;
  TTreeObject(const TTreeObject&) = delete;
  TTreeObject& operator=(const TTreeObject&) = delete;

  const std::string& Name() const { return FName; }
  void SetName(std::string name) { FName = std::move(name); }

  TTreeObject* Parent() const { return FParent; }
  const std::vector<TTreeObject*>& Children() const { return FChildren; }
  // Takes ownership of child (taking it from its previous parent first).
  void AddObject(TTreeObject* child);
  // Gives ownership of child back to the caller.
  void RemoveObject(TTreeObject* child);
  // Finds a direct child by name, ignoring ASCII case.
  TTreeObject* FindChild(std::string_view name) const;

  // The topmost ancestor, or this object.
  TTreeObject* Root();
  // True for the root object that stands for a window (see TViewportRoot).
  virtual bool IsRootWindow() const { return false; }
  bool IsUnderWindow() { return Root()->IsRootWindow(); }

  // While a tree is being built from its definition, setters only store values.
  bool IsLoading() const { return FLoading; }
  bool IsDestroying() const { return FDestroying; }
  // Marks this object and its subtree as loading; objects added to it while it loads are
  // marked too.
  void BeginLoading();
  // Clears the flag on the subtree, then runs Loaded() on every object, parents first.
  void EndLoading();

  // Objects that hold a non-owning reference ask to be told when this object goes away.
  void AddFreeNotify(TTreeObject* watcher);
  void RemoveFreeNotify(TTreeObject* watcher);

 protected:
  virtual void Loaded() {}
  virtual void FreeNotification(TTreeObject* /*gone*/) {}
  virtual void ChildAdded(TTreeObject* /*child*/) {}
  virtual void ChildRemoved(TTreeObject* /*child*/) {}
  virtual void ParentChanged() {}
  // Runs first in the destructor of the most derived class that needs its own
  // state while children and watchers are told (sets the destroying flag).
  void BeginDestroy();

 private:
  void ClearLoading();
  void RunLoaded();

  std::string FName;
  TTreeObject* FParent = nullptr;
  std::vector<TTreeObject*> FChildren;
  std::vector<TTreeObject*> FFreeNotifies;
  // The objects this one watches, so it can leave their lists when it goes first.
  std::vector<TTreeObject*> FWatched;
  bool FLoading = false;
  bool FDestroying = false;
};

}  // namespace rt3d
