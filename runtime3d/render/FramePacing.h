#pragma once
// When a view draws: frames no faster than its screen refreshes, and between frames the
// textures' full images going up a few milliseconds at a time.

#include <functional>

#include <QElapsedTimer>

class QWidget;

namespace rt3d {

class TGLContext;

class TFramePacer {
 public:
  // Runs work with the view's GL context current, outside a frame; false when the context
  // cannot be had now.
  using TWithDevice = std::function<bool(const std::function<void()>& work)>;

  // invalidate marks the view's frame stale and asks for a paint. The view owns the pacer:
  // its timers belong to the view.
  TFramePacer(QWidget& view, TGLContext& device, std::function<void()> invalidate,
              TWithDevice withDevice);

  // A frame starts now.
  void FrameStarted() { FLastFrame.start(); }
  // Requests merge into one frame, and frames come no faster than the screen refreshes:
  // animations are time-based, so a frame drawn later shows the same motion.
  void RequestFrame();
  // While textures of the last frame still show their previews, takes their hand-over
  // further between frames, a few milliseconds at a time, after waitMs (a refresh period
  // when negative), and asks for a frame when a full image is in place.
  void WatchTextures(int waitMs = -1);

 private:
  QWidget& FView;
  TGLContext& FDevice;
  std::function<void()> FInvalidate;
  TWithDevice FWithDevice;
  QElapsedTimer FLastFrame;  // started by each frame
  bool FRequestPending = false;
  bool FWatchingTextures = false;
};

}  // namespace rt3d
