#include "runtime3d/animation/AniThread.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <exception>

#include "runtime3d/animation/Animation.h"

namespace rt3d {

namespace {

// Not destroyed at exit on purpose: the program frees the clock itself before its event
// loop goes away (Free), and a leftover one must not die after the objects it points at.
TAniThread* gAniThread = nullptr;

TAnimationPlatformFactory& PlatformFactory() {
  static TAnimationPlatformFactory* factory = new TAnimationPlatformFactory;
  return *factory;
}

}  // namespace

TAniThread* TAniThread::Current() {
  return gAniThread;
}

TAniThread& TAniThread::Ensure() {
  if (!gAniThread) {
    TAnimationPlatform platform =
        PlatformFactory() ? PlatformFactory()() : CreateQtAnimationPlatform();
    gAniThread = new TAniThread(std::move(platform.Clock), std::move(platform.Timer));
  }
  return *gAniThread;
}

void TAniThread::Free() {
  TAniThread* clock = gAniThread;
  assert(!clock || clock->FWalking == 0);  // TAniThread::Free called from inside a tick
  gAniThread = nullptr;
  delete clock;
}

void TAniThread::SetPlatformFactory(TAnimationPlatformFactory factory) {
  PlatformFactory() = std::move(factory);
}

int TAniThread::IntervalFor(int frameRate) {
  frameRate = std::clamp(frameRate, 5, 100);
  const int interval = int(std::trunc(1000.0 / frameRate / 10)) * 10;
  return interval > 0 ? interval : 1;
}

TAniThread::TAniThread(std::unique_ptr<IAnimationClock> clock,
                       std::unique_ptr<IAnimationTimer> timer)
    : FClock(std::move(clock)), FTimer(std::move(timer)) {
  FInterval = IntervalFor(TAnimation::FrameRate());
  FTimer->SetCallback([this] { AdvanceAll(); });
  FTime = FClock->Now();
}

TAniThread::~TAniThread() {
  FTimer->Stop();
  for (TAnimation* animation : FList) {
    if (animation) animation->ClockGone();
  }
}

bool TAniThread::Contains(const TAnimation* animation) const {
  return animation && std::find(FList.begin(), FList.end(), animation) != FList.end();
}

void TAniThread::Add(TAnimation* animation) {
  if (!animation) return;
  if (!Contains(animation)) {
    FList.push_back(animation);
    ++FCount;
  }
  // The idle time before this start is no animation's business.
  if (!FEnabled) FTime = FClock->Now();
  if (FCount > 0) SetEnabled(true);
}

void TAniThread::Remove(TAnimation* animation) {
  auto it = std::find(FList.begin(), FList.end(), animation);
  if (!animation || it == FList.end()) return;
  if (FWalking > 0) {
    *it = nullptr;
  } else {
    FList.erase(it);
  }
  --FCount;
  if (FCount == 0) SetEnabled(false);
}

void TAniThread::SetHeld(bool value) {
  if (value == FHeld) return;
  FHeld = value;
  // The time from here to the next tick is the animations' first: motion starts at the
  // release, however late that tick comes.
  if (!value) FTime = FClock->Now();
}

void TAniThread::SetEnabled(bool value) {
  if (value == FEnabled) return;
  if (value) {
    FTimer->Start(FInterval);
    // A platform without a timer to give leaves the clock disabled; Start sees it.
    FEnabled = FTimer->IsActive();
  } else {
    FTimer->Stop();
    FEnabled = false;
  }
}

void TAniThread::UpdateInterval() {
  const int interval = IntervalFor(TAnimation::FrameRate());
  if (interval == FInterval) return;
  FInterval = interval;
  if (FEnabled) {
    FTimer->Start(FInterval);
    FEnabled = FTimer->IsActive();
  }
}

void TAniThread::CatchUp() {
  if (!FEnabled || FHeld || FWalking > 0) return;
  if (FClock->Now() - FTime < FInterval / 1000.0) return;
  AdvanceAll();
}

void TAniThread::Compact() {
  std::erase(FList, nullptr);
}

void TAniThread::AdvanceAll() {
  const double now = FClock->Now();
  FDeltaTime = FHeld ? 0 : now - FTime;
  FTime = now;
  std::exception_ptr firstError;
  if (FDeltaTime > 0) {
    ++FWalking;
    // Last to first. Animations started during the walk are appended past the start
    // index and get their first tick next time; their first frame was drawn by Start.
    for (size_t i = FList.size(); i-- > 0;) {
      TAnimation* animation = FList[i];
      if (!animation || !animation->Running()) continue;
      try {
        animation->ProcessTick(float(FTime), float(FDeltaTime));
      } catch (...) {
        if (!firstError) firstError = std::current_exception();
      }
    }
    if (--FWalking == 0) Compact();
  }
  UpdateInterval();
  if (firstError) std::rethrow_exception(firstError);
}

}  // namespace rt3d
