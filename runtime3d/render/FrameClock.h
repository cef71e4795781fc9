#pragma once
// The clock a view's frame loop paces its frames by and waits on. Everything the loop waits
// for (the next frame, the next texture slice, the word that a frame is on screen) is an
// alarm on this clock, so that a test can hold time still and move it on by hand.

#include <functional>
#include <map>
#include <memory>

#include <QElapsedTimer>
#include <QtGlobal>

class QTimer;

namespace rt3d {

class IFrameClock;

// One call waiting for a time on a clock. Setting it again while it waits keeps the sooner
// time, so that any number of requests before it rings make one call.
class TAlarm {
 public:
  TAlarm(IFrameClock& clock, std::function<void()> ring);
  ~TAlarm();
  TAlarm(const TAlarm&) = delete;
  TAlarm& operator=(const TAlarm&) = delete;

  // Rings delayNs from now (at the earliest from the event loop, never inside this call),
  // unless it already waits for a sooner time.
  void SetIn(qint64 delayNs);
  void Cancel();
  bool Waiting() const { return FWaiting; }
  // The clock's time it waits for.
  qint64 When() const { return FWhen; }
  // The clock's time has come.
  void Ring();

 private:
  IFrameClock& FClock;
  std::function<void()> FRing;
  qint64 FWhen = 0;
  bool FWaiting = false;
};

class IFrameClock {
 public:
  virtual ~IFrameClock() = default;
  // Nanoseconds, never going back.
  virtual qint64 Now() const = 0;
  // alarm waits for alarm.When() (again, when that changed): Ring() it then.
  virtual void Wait(TAlarm& alarm) = 0;
  virtual void StopWaiting(TAlarm& alarm) = 0;
  // alarm goes.
  virtual void Forget(TAlarm& alarm) { StopWaiting(alarm); }
};

// The real time, with precise timers of the event loop.
class TSteadyFrameClock final : public IFrameClock {
 public:
  TSteadyFrameClock();
  ~TSteadyFrameClock() override;

  qint64 Now() const override { return FStart.nsecsElapsed(); }
  void Wait(TAlarm& alarm) override;
  void StopWaiting(TAlarm& alarm) override;
  void Forget(TAlarm& alarm) override;

 private:
  QElapsedTimer FStart;
  std::map<TAlarm*, std::unique_ptr<QTimer>> FTimers;
};

// Time that moves only when told: alarms ring from Advance, in the order of their times.
class TManualFrameClock final : public IFrameClock {
 public:
  qint64 Now() const override { return FNow; }
  void Wait(TAlarm& alarm) override { FWaiting[&alarm] = true; }
  void StopWaiting(TAlarm& alarm) override { FWaiting.erase(&alarm); }

  // Moves time on by ns and rings every alarm whose time has come, an alarm set by a ring
  // too when its time is within.
  void Advance(qint64 ns);
  // Whether any alarm waits.
  bool AnyWaiting() const { return !FWaiting.empty(); }

 private:
  qint64 FNow = 0;
  std::map<TAlarm*, bool> FWaiting;
};

}  // namespace rt3d
