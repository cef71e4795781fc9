#pragma once
// Property animation: objects of the tree that change one float property of their parent
// (or of an object reached from it by a dotted path) over time, advanced by the shared
// clock (TAniThread).

#include <memory>
#include <string>
#include <string_view>

#include "runtime3d/animation/Interpolation.h"
#include "runtime3d/core/Control3D.h"
#include "runtime3d/core/Object.h"

namespace rt3d {

class TAniThread;

class TAnimation : public TTreeObject {
 public:
  explicit TAnimation(std::string name = {});
  ~TAnimation() override;

  // The program-wide frame rate the clock's period is derived from (60).
  static int FrameRate();
  static void SetFrameRate(int value);

  float Duration() const { return FDuration; }
  // Non-finite values are ignored.
  void SetDuration(float value);
  float Delay() const { return FDelay; }
  void SetDelay(float value);
  // Position in the run, 0..Duration.
  float CurrentTime() const { return FTime; }
  bool Loop() const { return FLoop; }
  void SetLoop(bool value) { FLoop = value; }
  bool AutoReverse() const { return FAutoReverse; }
  void SetAutoReverse(bool value) { FAutoReverse = value; }
  bool Inverse() const { return FInverse; }
  void SetInverse(bool value) { FInverse = value; }
  TAnimationType AnimationType() const { return FAnimationType; }
  void SetAnimationType(TAnimationType value) { FAnimationType = value; }
  TInterpolationType Interpolation() const { return FInterpolation; }
  void SetInterpolation(TInterpolationType value) { FInterpolation = value; }

  // A stored switch: outside loading, turning it on starts a run and turning it off stops
  // it; while loading it is only stored and the run starts when loading ends.
  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool value);
  // In the clock's list and advancing.
  bool Running() const { return FRunning; }
  // A paused running animation keeps its place but ticks pass it by.
  bool Pause() const { return FPause; }
  void SetPause(bool value) { FPause = value; }

  // Progress after the curve: 0 at the start of a run, 1 at its end.
  float NormalizedTime() const;

  // Begins a run; on a running animation, restarts it.
  virtual void Start();
  // Ends the run now and writes the end value.
  virtual void Stop();
  // Ends the run now and leaves the property as it is; also clears Enabled.
  void StopAtCurrent();
  // Called by the clock with its reading and the seconds since its last tick.
  void ProcessTick(float time, float deltaTime);

  // Expires when the animation is freed. Handlers may free the animation that calls them;
  // code that goes on after a handler checks this first.
  std::weak_ptr<void> LifeToken() const { return FLifeToken; }

  // Fired after each value write, and when a run ends.
  TNotifyEvent OnProcess;
  TNotifyEvent OnFinish;

 protected:
  // First frame of a run.
  virtual void CaptureStart() {}
  // Writes the value for the current time.
  virtual void ApplyValue() {}
  virtual void DoProcess();
  virtual void DoFinish();
  void Loaded() override;

 private:
  friend class TAniThread;

  bool ParentHidden() const;
  void CompleteAtOnce();
  // The clock is being freed: the animation is out of its list without a word.
  void ClockGone() { FRunning = false; }
  void LeaveClock();

  float FDuration = 0.2f;
  float FDelay = 0;
  float FDelayTime = 0;
  float FTime = 0;
  bool FLoop = false;
  bool FAutoReverse = false;
  bool FInverse = false;
  bool FSavedInverse = false;
  int FTickCount = 0;
  bool FEnabled = false;
  bool FRunning = false;
  bool FPause = false;
  TAnimationType FAnimationType = TAnimationType::In;
  TInterpolationType FInterpolation = TInterpolationType::Linear;
  std::shared_ptr<int> FLifeToken = std::make_shared<int>(0);
};

// An animation of a property named by a path such as "RotationAngle.Y" or "position.z",
// resolved against its parent once per run.
class TCustomPropertyAnimation : public TAnimation {
 public:
  explicit TCustomPropertyAnimation(std::string name = {});
  ~TCustomPropertyAnimation() override;

  const std::string& PropertyName() const { return FPropertyName; }
  void SetPropertyName(std::string value);

  void Start() override;
  void Stop() override;

  // Finds the object and the property the path names; keeps the result until the run
  // is stopped.
  bool ResolveProperty();
  // The resolved object and the float property on it, or null.
  TPersistent* Instance() const { return FInstance; }
  const std::string& Path() const { return FPath; }

 protected:
  // The resolved property when it holds a float, else null.
  const TPropertyInfo* FloatProperty() const;
  void ParentChanged() override;
  void FreeNotification(TTreeObject* gone) override;

 private:
  void ClearInstance();

  std::string FPropertyName;
  TPersistent* FInstance = nullptr;
  std::string FPath;
  const TPropertyInfo* FProperty = nullptr;
  // The sibling the path was resolved through, watched so that its freeing drops the
  // reference; null when the path starts at the parent.
  TTreeObject* FInstanceOwner = nullptr;
};

class TFloatAnimation : public TCustomPropertyAnimation {
 public:
  explicit TFloatAnimation(std::string name = {});

  float StartValue() const { return FStartFloat; }
  void SetStartValue(float value) { FStartFloat = value; }
  float StopValue() const { return FStopFloat; }
  void SetStopValue(float value) { FStopFloat = value; }
  // Take the start value from the property when a run begins.
  bool StartFromCurrent() const { return FStartFromCurrent; }
  void SetStartFromCurrent(bool value) { FStartFromCurrent = value; }

 protected:
  void CaptureStart() override;
  void ApplyValue() override;

 private:
  float FStartFloat = 0;
  float FStopFloat = 0;
  bool FStartFromCurrent = false;
};

}  // namespace rt3d
