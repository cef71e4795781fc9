#include "runtime3d/animation/Animation.h"

#include <cmath>

#include "runtime3d/animation/AniThread.h"

namespace rt3d {

namespace {

int gFrameRate = 60;

}  // namespace

// --- TAnimation ---------------------------------------------------------------------------

int TAnimation::FrameRate() {
  return gFrameRate;
}

void TAnimation::SetFrameRate(int value) {
  gFrameRate = value;
}

TAnimation::TAnimation(std::string name) : TTreeObject(std::move(name)) {}

TAnimation::~TAnimation() {
  BeginDestroy();
  if (FRunning) {
    if (TAniThread* clock = TAniThread::Current()) clock->Remove(this);
    FRunning = false;
  }
}

void TAnimation::SetDuration(float value) {
  // A run that never ends or never advances helps nobody; keep the last sound length.
  if (std::isfinite(value)) FDuration = value;
}

void TAnimation::SetDelay(float value) {
  if (std::isfinite(value)) FDelay = value;
}

void TAnimation::SetEnabled(bool value) {
  if (FEnabled == value) return;
  FEnabled = value;
  if (IsLoading()) return;
  if (value) {
    Start();
  } else {
    Stop();
  }
}

void TAnimation::Loaded() {
  TTreeObject::Loaded();
  if (FEnabled) Start();
}

float TAnimation::NormalizedTime() const {
  if (FDuration <= 0 || FDelayTime > 0) return 0;
  if (FInterpolation == TInterpolationType::Linear) return FTime / FDuration;
  return float(InterpolateValue(FTime, 0, 1, FDuration, FInterpolation, FAnimationType));
}

void TAnimation::DoProcess() {
  // A copy: the handler may replace the event, or free the animation, while it runs.
  if (TNotifyEvent handler = OnProcess) handler(this);
}

void TAnimation::DoFinish() {
  if (TNotifyEvent handler = OnFinish) handler(this);
}

bool TAnimation::ParentHidden() const {
  const auto* control = dynamic_cast<const TControl3D*>(Parent());
  return control && !control->Visible();
}

void TAnimation::LeaveClock() {
  if (TAniThread* clock = TAniThread::Current()) clock->Remove(this);
  FRunning = false;
}

void TAnimation::Start() {
  if (!FLoop) FTickCount = 0;
  if (ParentHidden()) return;
  if (FAutoReverse) {
    if (FRunning) {
      FInverse = FSavedInverse;
    } else {
      FSavedInverse = FInverse;
    }
  }
  if (std::fabs(FDuration) < 0.001f || !IsUnderWindow()) {
    CompleteAtOnce();
    return;
  }
  // A negative delay is no delay: the first frame is drawn now.
  FDelayTime = FDelay > 0 ? FDelay : 0;
  FRunning = true;
  FTime = FInverse ? FDuration : 0;
  const std::weak_ptr<void> alive = LifeToken();
  if (FDelayTime == 0) {
    try {
      CaptureStart();
      ApplyValue();
      DoProcess();
    } catch (...) {
      // A run whose first frame failed does not go on.
      if (!alive.expired()) LeaveClock();
      throw;
    }
    if (alive.expired()) return;
  }
  TAniThread& clock = TAniThread::Ensure();
  clock.Add(this);
  if (clock.Enabled()) {
    FEnabled = true;
  } else {
    // No timer to drive the run: it ends now, with its end value.
    Stop();
  }
}

void TAnimation::CompleteAtOnce() {
  // A run already going leaves the clock: it completes here.
  if (FRunning) LeaveClock();
  const float savedDuration = FDuration;
  FDelayTime = 0;
  FDuration = 1;
  FTime = FInverse ? 0 : 1;
  FRunning = true;
  const std::weak_ptr<void> alive = LifeToken();
  try {
    ApplyValue();
    DoProcess();
    if (alive.expired()) return;
    FRunning = false;
    FTime = 0;
    DoFinish();
  } catch (...) {
    if (!alive.expired()) {
      FRunning = false;
      FDuration = savedDuration;
    }
    throw;
  }
  if (!alive.expired()) FDuration = savedDuration;
}

void TAnimation::Stop() {
  if (!FRunning) return;
  if (TAniThread* clock = TAniThread::Current()) clock->Remove(this);
  if (FAutoReverse) FInverse = FSavedInverse;
  // Stopped during its delay, the run still ends on its end value.
  FDelayTime = 0;
  FTime = FInverse ? 0 : FDuration;
  const std::weak_ptr<void> alive = LifeToken();
  try {
    ApplyValue();
    DoProcess();
  } catch (...) {
    if (!alive.expired()) FRunning = false;
    throw;
  }
  if (alive.expired()) return;
  FRunning = false;
  DoFinish();
}

void TAnimation::StopAtCurrent() {
  if (!FRunning) return;
  if (TAniThread* clock = TAniThread::Current()) clock->Remove(this);
  if (FAutoReverse) FInverse = FSavedInverse;
  FDelayTime = 0;
  FTime = FInverse ? 0 : FDuration;
  FRunning = false;
  FEnabled = false;
  DoFinish();
}

void TAnimation::ProcessTick(float /*time*/, float deltaTime) {
  if (IsDestroying()) return;
  const std::weak_ptr<void> alive = LifeToken();
  if (ParentHidden()) {
    Stop();
    if (alive.expired()) return;
  }
  if (!FRunning || FPause) return;

  if (FDelay > 0 && FDelayTime != 0) {
    if (FDelayTime < 0) return;
    FDelayTime -= deltaTime;
    if (FDelayTime > 0) return;
    FDelayTime = 0;
    FTime = FInverse ? FDuration : 0;
    CaptureStart();
    ApplyValue();
    DoProcess();
    return;
  }

  FTime += FInverse ? -deltaTime : deltaTime;
  if (FTime >= FDuration) {
    FTime = FDuration;
    if (FLoop) {
      if (FAutoReverse) {
        FInverse = true;
      } else {
        // The overshoot past the end is dropped: every turn starts from the start value.
        FTime = 0;
      }
    } else if (FAutoReverse && FTickCount == 0) {
      ++FTickCount;
      FInverse = true;
    } else {
      FRunning = false;
    }
  } else if (FTime <= 0) {
    FTime = 0;
    if (!FLoop) {
      if (!FAutoReverse || FTickCount != 0) {
        FRunning = false;
      } else {
        ++FTickCount;
        FInverse = false;
      }
    } else if (FAutoReverse) {
      FInverse = false;
    } else {
      FTime = FDuration;
    }
  }

  auto finishRun = [this] {
    if (FAutoReverse) FInverse = FSavedInverse;
    if (TAniThread* clock = TAniThread::Current()) clock->Remove(this);
    DoFinish();
  };
  try {
    ApplyValue();
    DoProcess();
  } catch (...) {
    // The run still ends properly, so the clock does not keep a finished animation.
    if (!alive.expired() && !FRunning) finishRun();
    throw;
  }
  if (alive.expired()) return;
  if (!FRunning) finishRun();
}

// --- TCustomPropertyAnimation -------------------------------------------------------------

namespace {

// The first segment of a dotted path.
std::string_view Head(std::string_view path) {
  return path.substr(0, path.find('.'));
}

}  // namespace

TCustomPropertyAnimation::TCustomPropertyAnimation(std::string name)
    : TAnimation(std::move(name)) {}

TCustomPropertyAnimation::~TCustomPropertyAnimation() {
  BeginDestroy();
  if (FInstanceOwner) FInstanceOwner->RemoveFreeNotify(this);
}

void TCustomPropertyAnimation::SetPropertyName(std::string value) {
  if (value == FPropertyName) return;
  FPropertyName = std::move(value);
  ClearInstance();
}

void TCustomPropertyAnimation::ClearInstance() {
  FInstance = nullptr;
  FProperty = nullptr;
  FPath.clear();
  if (FInstanceOwner) FInstanceOwner->RemoveFreeNotify(this);
  FInstanceOwner = nullptr;
}

void TCustomPropertyAnimation::ParentChanged() {
  TAnimation::ParentChanged();
  ClearInstance();
}

void TCustomPropertyAnimation::FreeNotification(TTreeObject* gone) {
  TAnimation::FreeNotification(gone);
  if (gone == FInstanceOwner) {
    FInstanceOwner = nullptr;
    FInstance = nullptr;
    FProperty = nullptr;
    FPath.clear();
  }
}

bool TCustomPropertyAnimation::ResolveProperty() {
  TTreeObject* parent = Parent();
  if (!parent || FPropertyName.empty()) return false;
  if (FInstance) return true;

  TPersistent* instance = parent;
  TTreeObject* owner = nullptr;
  std::string_view path = FPropertyName;
  for (size_t dot = path.find('.'); dot != std::string_view::npos; dot = path.find('.')) {
    const std::string_view segment = path.substr(0, dot);
    path.remove_prefix(dot + 1);
    if (segment.empty()) return false;
    const TPropertyInfo* info = instance->FindProperty(segment);
    TPersistent* next = info && info->IsObject() ? info->Object(*instance) : nullptr;
    if (!next) {
      // Not a property here: a sibling of the animation by that name, if it has the
      // property named next.
      for (TTreeObject* child : parent->Children()) {
        if (SameText(child->Name(), segment) && child->FindProperty(Head(path))) {
          next = child;
          owner = child;
          break;
        }
      }
    }
    // A segment that names nothing fails the whole path rather than silently animating
    // a property of some other object.
    if (!next) return false;
    instance = next;
  }
  const TPropertyInfo* info = instance->FindProperty(path);
  if (!info) return false;

  FInstance = instance;
  FProperty = info;
  FPath = std::string(path);
  if (owner != FInstanceOwner) {
    if (FInstanceOwner) FInstanceOwner->RemoveFreeNotify(this);
    FInstanceOwner = owner;
    if (FInstanceOwner) FInstanceOwner->AddFreeNotify(this);
  }
  return true;
}

const TPropertyInfo* TCustomPropertyAnimation::FloatProperty() const {
  return FInstance && FProperty && FProperty->IsFloat() ? FProperty : nullptr;
}

void TCustomPropertyAnimation::Start() {
  if (!ResolveProperty()) return;
  TAnimation::Start();
}

void TCustomPropertyAnimation::Stop() {
  const std::weak_ptr<void> alive = LifeToken();
  TAnimation::Stop();
  // The next run resolves the path again.
  if (!alive.expired()) ClearInstance();
}

// --- TFloatAnimation ----------------------------------------------------------------------

TFloatAnimation::TFloatAnimation(std::string name) : TCustomPropertyAnimation(std::move(name)) {
  SetDuration(0.2f);
}

void TFloatAnimation::CaptureStart() {
  if (!FStartFromCurrent) return;
  if (const TPropertyInfo* property = FloatProperty()) FStartFloat = property->Get(*Instance());
}

void TFloatAnimation::ApplyValue() {
  const TPropertyInfo* property = FloatProperty();
  if (!property) return;
  // In 32-bit floats, step by step, so the end of a run is exactly StopValue.
  const float progress = NormalizedTime();
  const float change = FStopFloat - FStartFloat;
  const float offset = change * progress;
  property->Set(*Instance(), FStartFloat + offset);
}

}  // namespace rt3d
