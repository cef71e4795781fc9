#include "runtime3d/animation/Animator.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <algorithm>
#include <memory>

#include "runtime3d/animation/AniThread.h"

namespace rt3d {

// --- TAnimator ------------------------------------------------------------------------------

void TAnimator::StopPropertyAnimation(TTreeObject* Target, std::string_view APropertyName) {
  if (!Target) return;
  // Stopping runs handlers, which may free any of these; each is checked before its turn.
  std::vector<std::pair<TCustomPropertyAnimation*, std::weak_ptr<void>>> matches;
  const std::vector<TTreeObject*>& children = Target->Children();
  for (auto it = children.rbegin(); it != children.rend(); ++it) {
    auto* animation = dynamic_cast<TCustomPropertyAnimation*>(*it);
    if (animation && SameText(animation->PropertyName(), APropertyName)) {
      matches.emplace_back(animation, animation->LifeToken());
    }
  }
  for (auto& [animation, alive] : matches) {
    if (!alive.expired()) animation->Stop();
  }
}

void TAnimator::AnimateFloat(TTreeObject* Target, std::string_view APropertyName, float NewValue,
                             float Duration, TAnimationType AType,
                             TInterpolationType AInterpolation) {
  if (!Target || Target->IsDestroying()) return;
  StopPropertyAnimation(Target, APropertyName);
  TAnimationDestroyer::Ensure();
  auto* animation = new TFloatAnimation;
  Target->AddObject(animation);
  animation->SetAnimationType(AType);
  animation->SetInterpolation(AInterpolation);
  animation->OnFinish = [](TTreeObject* sender) {
    if (TAnimationDestroyer* destroyer = TAnimationDestroyer::Current()) {
      destroyer->DoAniFinished(sender);
    }
  };
  animation->SetDuration(Duration);
  animation->SetPropertyName(std::string(APropertyName));
  animation->SetStartFromCurrent(true);
  animation->SetStopValue(NewValue);
  const std::weak_ptr<void> alive = animation->LifeToken();
  animation->Start();
  // One that could not start (a path that names nothing, a hidden target) goes the same
  // way as a finished one instead of staying on the target for good.
  if (!alive.expired() && !animation->Running()) {
    if (TAnimationDestroyer* destroyer = TAnimationDestroyer::Current()) {
      destroyer->DoAniFinished(animation);
    }
  }
}

// --- TAnimationDestroyer --------------------------------------------------------------------

namespace {

TAnimationDestroyer* gDestroyer = nullptr;

}  // namespace

TAnimationDestroyer::TAnimationDestroyer() = default;

TAnimationDestroyer::~TAnimationDestroyer() {
  BeginDestroy();
  FreeFinished();
}

TAnimationDestroyer* TAnimationDestroyer::Current() {
  return gDestroyer;
}

TAnimationDestroyer& TAnimationDestroyer::Ensure() {
  if (!gDestroyer) gDestroyer = new TAnimationDestroyer;
  return *gDestroyer;
}

void TAnimationDestroyer::Free() {
  TAnimationDestroyer* destroyer = gDestroyer;
  gDestroyer = nullptr;
  delete destroyer;
}

void TAnimationDestroyer::DoAniFinished(TTreeObject* Sender) {
  if (!Sender || Sender->IsDestroying()) return;
  if (std::find(FPending.begin(), FPending.end(), Sender) == FPending.end()) {
    FPending.push_back(Sender);
    Sender->AddFreeNotify(this);
  }
  PostFree();
}

void TAnimationDestroyer::PostFree() {
  if (FFreePosted) return;
  // Without an application object there is no event loop to defer to; the animations
  // wait for FreeFinished or the end of the program.
  QCoreApplication* application = QCoreApplication::instance();
  if (!application) return;
  FFreePosted = true;
  // The call finds the destroyer again when it runs, so a destroyer freed in between is
  // never touched.
  QMetaObject::invokeMethod(
      application,
      [] {
        if (TAnimationDestroyer* destroyer = Current()) {
          destroyer->FFreePosted = false;
          destroyer->FreeFinished();
        }
      },
      Qt::QueuedConnection);
}

void TAnimationDestroyer::FreeFinished() {
  // One at a time from the live list: freeing one may free others, which then leave the
  // list through FreeNotification.
  while (!FPending.empty()) {
    TTreeObject* animation = FPending.back();
    FPending.pop_back();
    animation->RemoveFreeNotify(this);
    delete animation;
  }
}

void TAnimationDestroyer::FreeNotification(TTreeObject* gone) {
  std::erase(FPending, gone);
}

void FreeAnimationGlobals() {
  // The destroyer first: the animations it frees leave the clock's list.
  TAnimationDestroyer::Free();
  TAniThread::Free();
}

}  // namespace rt3d
