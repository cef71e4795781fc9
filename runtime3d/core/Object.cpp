#include "runtime3d/core/Object.h"

#include <algorithm>

namespace rt3d {

namespace {

char LowerAscii(char c) {
  return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

}  // namespace

bool SameText(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return LowerAscii(x) == LowerAscii(y);
         });
}

const TPropertyInfo* FindPropertyIn(std::span<const TPropertyInfo> table, std::string_view name) {
  for (const TPropertyInfo& info : table) {
    if (SameText(info.Name, name)) return &info;
  }
  return nullptr;
}

const TPropertyInfo* TPersistent::FindProperty(std::string_view) const {
  return nullptr;
}

TTreeObject::TTreeObject(std::string name) : FName(std::move(name)) {}

TTreeObject::~TTreeObject() {
  BeginDestroy();
  // Watchers drop their references before anything else goes.
  const std::vector<TTreeObject*> watchers = std::move(FFreeNotifies);
  FFreeNotifies.clear();
  for (TTreeObject* watcher : watchers) {
    std::erase(watcher->FWatched, this);
    watcher->FreeNotification(this);
  }
  // A watcher that goes first must not stay behind in the lists of what it watched.
  for (TTreeObject* watched : FWatched) std::erase(watched->FFreeNotifies, this);
  FWatched.clear();
  while (!FChildren.empty()) delete FChildren.back();
  if (FParent) FParent->RemoveObject(this);
}

void TTreeObject::BeginDestroy() {
  FDestroying = true;
}

void TTreeObject::AddObject(TTreeObject* child) {
  if (!child || child->FParent == this) return;
  if (child->FParent) child->FParent->RemoveObject(child);
  FChildren.push_back(child);
  child->FParent = this;
  // What joins a tree being built is built with it: its setters only store, and its
  // Loaded() runs when the tree's loading ends.
  if (FLoading) child->BeginLoading();
  child->ParentChanged();
  ChildAdded(child);
}

void TTreeObject::RemoveObject(TTreeObject* child) {
  auto it = std::find(FChildren.begin(), FChildren.end(), child);
  if (it == FChildren.end()) return;
  FChildren.erase(it);
  child->FParent = nullptr;
  if (!child->FDestroying) child->ParentChanged();
  ChildRemoved(child);
}

TTreeObject* TTreeObject::FindChild(std::string_view name) const {
  for (TTreeObject* child : FChildren) {
    if (SameText(child->Name(), name)) return child;
  }
  return nullptr;
}

TTreeObject* TTreeObject::Root() {
  TTreeObject* object = this;
  while (object->FParent) object = object->FParent;
  return object;
}

void TTreeObject::BeginLoading() {
  FLoading = true;
  for (TTreeObject* child : FChildren) child->BeginLoading();
}

void TTreeObject::EndLoading() {
  ClearLoading();
  RunLoaded();
}

void TTreeObject::ClearLoading() {
  FLoading = false;
  for (TTreeObject* child : FChildren) child->ClearLoading();
}

void TTreeObject::RunLoaded() {
  Loaded();
  // A child may start something that adds or frees objects; walk a copy.
  const std::vector<TTreeObject*> children = FChildren;
  for (TTreeObject* child : children) child->RunLoaded();
}

void TTreeObject::AddFreeNotify(TTreeObject* watcher) {
  if (watcher &&
      std::find(FFreeNotifies.begin(), FFreeNotifies.end(), watcher) == FFreeNotifies.end()) {
    FFreeNotifies.push_back(watcher);
    watcher->FWatched.push_back(this);
  }
}

void TTreeObject::RemoveFreeNotify(TTreeObject* watcher) {
  if (!watcher) return;
  std::erase(FFreeNotifies, watcher);
  std::erase(watcher->FWatched, this);
}

}  // namespace rt3d
