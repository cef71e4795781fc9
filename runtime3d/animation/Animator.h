#pragma once
// One-shot animations made on the fly: AnimateFloat moves a property from its present
// value to a new one and the animation frees itself, on a later turn of the event loop,
// once its run is over.

#include <string_view>
#include <vector>

#include "runtime3d/animation/Animation.h"

namespace rt3d {

class TAnimator {
 public:
  // Stops any animation of the property on Target (writing its end value), then starts a
  // temporary one from the property's value to NewValue over Duration seconds.
  static void AnimateFloat(TTreeObject* Target, std::string_view APropertyName, float NewValue,
                           float Duration = 0.2f, TAnimationType AType = TAnimationType::In,
                           TInterpolationType AInterpolation = TInterpolationType::Linear);
  // Stops, with their end values, the property animations among Target's children that
  // drive APropertyName.
  static void StopPropertyAnimation(TTreeObject* Target, std::string_view APropertyName);
};

// AnimateFloat on any object of the tree.
inline void AnimateFloat(TTreeObject& target, std::string_view propertyName, float newValue,
                         float duration = 0.2f, TAnimationType type = TAnimationType::In,
                         TInterpolationType interpolation = TInterpolationType::Linear) {
  TAnimator::AnimateFloat(&target, propertyName, newValue, duration, type, interpolation);
}

// Frees the temporary animations of AnimateFloat once their run is over. An animation is
// never freed inside its own tick: the free is a deferred call of the event loop.
class TAnimationDestroyer : public TTreeObject {
 public:
  TAnimationDestroyer();
  // Frees the animations still waiting.
  ~TAnimationDestroyer() override;

  static TAnimationDestroyer* Current();
  static TAnimationDestroyer& Ensure();
  static void Free();

  // The OnFinish handler of temporary animations.
  void DoAniFinished(TTreeObject* Sender);
  // Frees the finished animations now (the deferred call does this).
  void FreeFinished();
  int PendingCount() const { return int(FPending.size()); }

 protected:
  void FreeNotification(TTreeObject* gone) override;

 private:
  void PostFree();

  // Finished animations waiting to be freed; watched, as their parent may free them
  // first.
  std::vector<TTreeObject*> FPending;
  bool FFreePosted = false;
};

// Frees the animation clock and the destroyer: at program end, while the event loop still
// exists, and between tests.
void FreeAnimationGlobals();

}  // namespace rt3d
