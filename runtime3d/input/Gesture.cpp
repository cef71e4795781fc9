#include "runtime3d/input/Gesture.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "runtime3d/core/Exceptions.h"

namespace rt3d {

// --- Registrations ---------------------------------------------------------------------

TGestureRegistry& TGestureRegistry::Program() {
  static TGestureRegistry registry;
  return registry;
}

void TGestureRegistry::Register(TInteractiveGesture gesture) {
  ++FCounts[static_cast<int>(gesture)];
}

void TGestureRegistry::Unregister(TInteractiveGesture gesture) {
  int& count = FCounts[static_cast<int>(gesture)];
  if (count > 0) --count;
}

TInteractiveGestures TGestureRegistry::Enabled() const {
  TInteractiveGestures enabled;
  for (int i = 0; i < InteractiveGestureCount; ++i)
    if (FCounts[i] > 0) enabled.Include(static_cast<TInteractiveGesture>(i));
  return enabled;
}

// --- Gesture manager -------------------------------------------------------------------

int TGestureManager::FSensitivity = 80;

TGestureManager::~TGestureManager() {
  // Controls outliving their manager must not keep pointing at it.
  for (TGestureControl* control : FControls) control->Touch().FGestureManager = nullptr;
}

void TGestureManager::SetSensitivity(double value) {
  constexpr int low = 1, high = 100;
  // Checked before the conversion so that NaN or a huge value cannot reach the int.
  const double rounded = std::isfinite(value) ? std::nearbyint(value) : value;
  if (!(rounded >= low && rounded <= high)) {
    char message[64];
    std::snprintf(message, sizeof message, "Value must be between %d and %d", low, high);
    throw EInvalidArgument(message);
  }
  FSensitivity = static_cast<int>(rounded);
}

bool TGestureManager::IsRegistered(const TGestureControl* control) const {
  return std::find(FControls.begin(), FControls.end(), control) != FControls.end();
}

void TGestureManager::RegisterControl(TGestureControl* control) {
  if (!IsRegistered(control)) FControls.push_back(control);
}

void TGestureManager::UnregisterControl(TGestureControl* control) {
  std::erase(FControls, control);
}

// --- Touch settings --------------------------------------------------------------------

TTouchSettings::TTouchSettings(TGestureControl& owner, TGestureRegistry& registry)
    : FOwner(owner), FRegistry(registry) {}

TTouchSettings::~TTouchSettings() {
  SetInteractiveGestures({});
  SetGestureManager(nullptr);
}

void TTouchSettings::SetGestureManager(TGestureManager* manager) {
  if (manager == FGestureManager) return;
  if (FGestureManager) FGestureManager->UnregisterControl(&FOwner);
  FGestureManager = manager;
  if (FGestureManager) FGestureManager->RegisterControl(&FOwner);
}

void TTouchSettings::SetInteractiveGestures(TInteractiveGestures gestures) {
  for (int i = 0; i < InteractiveGestureCount; ++i) {
    const auto g = static_cast<TInteractiveGesture>(i);
    if (gestures.Contains(g) && !FInteractiveGestures.Contains(g)) FRegistry.Register(g);
    if (!gestures.Contains(g) && FInteractiveGestures.Contains(g)) FRegistry.Unregister(g);
  }
  FInteractiveGestures = gestures;
}

// --- Failures --------------------------------------------------------------------------

namespace {

void PostToEventLoop(std::exception_ptr failure) {
  if (QCoreApplication* app = QCoreApplication::instance()) {
    // Rethrown from a queued call, the failure passes through QApplication::notify like
    // any other handler failure.
    QMetaObject::invokeMethod(
        app, [failure] { std::rethrow_exception(failure); }, Qt::QueuedConnection);
    return;
  }
  // No event loop: nobody could show it, so at least do not swallow it silently.
  try {
    std::rethrow_exception(failure);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
  } catch (...) {
    std::fprintf(stderr, "Unknown error in a gesture handler\n");
  }
}

TFailureSink& FailureSink() {
  static TFailureSink sink = PostToEventLoop;
  return sink;
}

}  // namespace

void SetGestureFailureSink(TFailureSink sink) {
  FailureSink() = sink ? std::move(sink) : TFailureSink(PostToEventLoop);
}

void ReportGestureFailure(std::exception_ptr failure) {
  FailureSink()(std::move(failure));
}

// --- Gesture-capable controls ----------------------------------------------------------

TGestureControl::TGestureControl(TGestureRegistry& registry)
    : FTouch(*this, registry), FSelf(std::make_shared<TGestureControl*>(this)) {}

TGestureControl::~TGestureControl() {
  *FSelf = nullptr;
}

void TGestureControl::DispatchGesture(const TGestureEventInfo& info) {
  bool handled = false;
  if (OnGesture) {
    try {
      OnGesture(this, info, handled);
    } catch (...) {
      ReportGestureFailure(std::current_exception());
      handled = false;
    }
  }
  if (!handled) {
    try {
      DoGesture(info, handled);
    } catch (...) {
      ReportGestureFailure(std::current_exception());
      handled = false;
    }
  }
  if (handled || info.GestureID == sgiNoGesture) return;
  if (TGestureControl* parent = GestureParent()) parent->DispatchGesture(info);
}

TGestureControl* GestureTarget(TGestureControl* control, TInteractiveGesture gesture) {
  for (TGestureControl* c = control; c != nullptr; c = c->GestureParent())
    if (c->Touch().InteractiveGestures().Contains(gesture)) return c;
  return nullptr;
}

}  // namespace rt3d
