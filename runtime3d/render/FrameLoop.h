#pragma once
// When a view draws. Whatever changes the scene only asks (Request); the loop answers any
// number of requests with one frame, no sooner than a refresh period after the last frame
// started, and calls the view's frame function, the one place a frame is drawn. Between
// frames it takes the textures' full images up a few milliseconds at a time, and once a
// frame has been painted it says so from the event loop, after the paint has been flushed.

#include <cstdint>
#include <functional>
#include <memory>

#include "runtime3d/render/FrameClock.h"

class QWidget;

namespace rt3d {

class TGLContext;

enum class TFrameState : std::uint8_t {
  Idle,        // nothing owed: the screen has been asked to show the scene as it is
  Due,         // a change asked for a frame, which the loop's alarm will draw (or, while
               // the screen does not show the view, the next request once it does)
  CatchingUp,  // a frame has started and takes the animation ticks still owed: it shows
               // their changes, so they ask for nothing
  Drawing,     // a frame (or a picture off screen) is being drawn: a change asks for the next
  Closed,      // the view is going: nothing more is drawn
};

class TFrameLoop {
 public:
  // Runs work with the view's GL context current, outside a frame; false when the context
  // cannot be had now.
  using TWithDevice = std::function<bool(const std::function<void()>& work)>;

  // frame draws a frame (the view's frame function, which calls Begin and End); presented
  // emits the view's word that a frame is on screen. The view owns the loop.
  TFrameLoop(QWidget& view, TGLContext& device, std::function<void()> frame,
             std::function<void()> presented, TWithDevice withDevice);
  ~TFrameLoop();

  // The clock frames are paced by and waited for with (not owned; null: the real time). Set
  // before the view draws, it must outlive the loop or be replaced.
  void SetClock(IFrameClock* clock);
  TFrameState State() const { return FState; }
  // The time between two refreshes of the view's screen, in nanoseconds.
  qint64 RefreshPeriod() const;

  // --- Asking ----------------------------------------------------------------------------
  // The scene changed: one frame for however many requests come before it.
  void Request();
  // The view goes: no frame from now on.
  void Close();

  // --- The frame function's side ---------------------------------------------------------
  // A frame starts now (in turn or out of it): false, and nothing changes, inside another.
  bool Begin();
  // Its animations are up to date: a change from now on asks for the next frame.
  void AnimationsTaken();
  // Drawn and handed over: textures still showing their previews are taken further.
  void End();
  // A picture off screen (a screenshot) is drawn with the device; no frame, no pacing.
  bool BeginOffScreen();
  void EndOffScreen();
  // A painted frame is on screen once this paint is flushed.
  void Painted();

 private:
  void MakeAlarms();
  void Settle();
  bool OnScreen() const;
  void FeedTextures();

  QWidget& FView;
  TGLContext& FDevice;
  std::function<void()> FFrame;
  std::function<void()> FPresented;
  TWithDevice FWithDevice;
  std::unique_ptr<TSteadyFrameClock> FSteadyClock;
  IFrameClock* FClock = nullptr;
  std::unique_ptr<TAlarm> FNextFrame;
  std::unique_ptr<TAlarm> FNextTextureSlice;
  std::unique_ptr<TAlarm> FAnnouncement;
  qint64 FLastStart = -1;  // when the last frame started, on FClock; -1: none yet
  TFrameState FState = TFrameState::Idle;
};

}  // namespace rt3d
