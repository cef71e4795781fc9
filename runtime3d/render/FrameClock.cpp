#include "runtime3d/render/FrameClock.h"

#include <algorithm>

#include <QTimer>

namespace rt3d {

TAlarm::TAlarm(IFrameClock& clock, std::function<void()> ring)
    : FClock(clock), FRing(std::move(ring)) {}

TAlarm::~TAlarm() {
  FClock.Forget(*this);
}

void TAlarm::SetIn(qint64 delayNs) {
  const qint64 when = FClock.Now() + std::max<qint64>(delayNs, 0);
  if (FWaiting && FWhen <= when) return;
  FWhen = when;
  FWaiting = true;
  FClock.Wait(*this);
}

void TAlarm::Cancel() {
  if (!FWaiting) return;
  FWaiting = false;
  FClock.StopWaiting(*this);
}

void TAlarm::Ring() {
  if (!FWaiting) return;
  FWaiting = false;
  FClock.StopWaiting(*this);
  FRing();
}

TSteadyFrameClock::TSteadyFrameClock() {
  FStart.start();
}

TSteadyFrameClock::~TSteadyFrameClock() = default;

void TSteadyFrameClock::Wait(TAlarm& alarm) {
  std::unique_ptr<QTimer>& timer = FTimers[&alarm];
  if (!timer) {
    timer = std::make_unique<QTimer>();
    timer->setSingleShot(true);
    timer->setTimerType(Qt::PreciseTimer);
    QObject::connect(timer.get(), &QTimer::timeout, [&alarm] { alarm.Ring(); });
  }
  // Rounded up: a timer that fires early would find the time not yet come.
  const qint64 wait = std::max<qint64>(alarm.When() - Now(), 0);
  timer->start(int((wait + 999'999) / 1'000'000));
}

void TSteadyFrameClock::StopWaiting(TAlarm& alarm) {
  const auto found = FTimers.find(&alarm);
  if (found != FTimers.end()) found->second->stop();
}

void TSteadyFrameClock::Forget(TAlarm& alarm) {
  FTimers.erase(&alarm);
}

void TManualFrameClock::Advance(qint64 ns) {
  const qint64 until = FNow + std::max<qint64>(ns, 0);
  for (;;) {
    TAlarm* next = nullptr;
    for (const auto& [alarm, waiting] : FWaiting) {
      if (alarm->When() <= until && (!next || alarm->When() < next->When())) next = alarm;
    }
    if (!next) break;
    FNow = std::max(FNow, next->When());
    next->Ring();
  }
  FNow = until;
}

}  // namespace rt3d
