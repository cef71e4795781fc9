#include "runtime3d/render/FrameLoop.h"

#include <QElapsedTimer>
#include <QScreen>
#include <QWidget>
#include <QWindow>

#include "runtime3d/render/GLContext.h"

namespace rt3d {

namespace {

// How long the main thread uploads texture bands at a time: short enough to go unseen
// between frames and ticks.
constexpr qint64 kTextureSliceNs = 4'000'000;

}  // namespace

TFrameLoop::TFrameLoop(QWidget& view, TGLContext& device, std::function<void()> frame,
                       std::function<void()> presented, TWithDevice withDevice)
    : FView(view),
      FDevice(device),
      FFrame(std::move(frame)),
      FPresented(std::move(presented)),
      FWithDevice(std::move(withDevice)),
      FSteadyClock(std::make_unique<TSteadyFrameClock>()),
      FClock(FSteadyClock.get()) {
  MakeAlarms();
}

TFrameLoop::~TFrameLoop() = default;

void TFrameLoop::MakeAlarms() {
  const bool frameDue = FNextFrame && FNextFrame->Waiting();
  const bool texturesDue = FNextTextureSlice && FNextTextureSlice->Waiting();
  const bool announcing = FAnnouncement && FAnnouncement->Waiting();
  FNextFrame = std::make_unique<TAlarm>(*FClock, [this] {
    // A view the screen does not show yet (hidden, minimised, or shown but not yet placed
    // at its size) keeps the frame owed: the paint that shows it asks for it again.
    if (FState == TFrameState::Due && OnScreen()) FFrame();
  });
  FNextTextureSlice = std::make_unique<TAlarm>(*FClock, [this] { FeedTextures(); });
  FAnnouncement = std::make_unique<TAlarm>(*FClock, [this] { FPresented(); });
  if (frameDue) FNextFrame->SetIn(0);
  if (texturesDue) FNextTextureSlice->SetIn(0);
  if (announcing) FAnnouncement->SetIn(0);
}

void TFrameLoop::SetClock(IFrameClock* clock) {
  FClock = clock ? clock : FSteadyClock.get();
  FLastStart = -1;
  MakeAlarms();
}

bool TFrameLoop::OnScreen() const {
  const QWindow* window = FView.window()->windowHandle();
  return FView.isVisible() && window && window->isExposed();
}

qint64 TFrameLoop::RefreshPeriod() const {
  const QScreen* display = FView.screen();
  const double refresh = display && display->refreshRate() > 1 ? display->refreshRate() : 60.0;
  return qint64(1e9 / refresh);
}

void TFrameLoop::Request() {
  switch (FState) {
    case TFrameState::Due:
      // Owed since the view was hidden, it waits for nothing: now it does.
      if (FNextFrame->Waiting()) return;
      break;
    case TFrameState::CatchingUp:
    case TFrameState::Closed:
      return;
    case TFrameState::Idle:
      FState = TFrameState::Due;
      break;
    case TFrameState::Drawing:
      // The state says Due once this frame ends.
      break;
  }
  // Animations are time-based: a frame drawn a little later shows the same motion.
  const qint64 since = FLastStart < 0 ? RefreshPeriod() : FClock->Now() - FLastStart;
  FNextFrame->SetIn(RefreshPeriod() - since);
}

void TFrameLoop::Close() {
  FState = TFrameState::Closed;
  FNextFrame->Cancel();
  FNextTextureSlice->Cancel();
  FAnnouncement->Cancel();
}

bool TFrameLoop::Begin() {
  if (FState != TFrameState::Idle && FState != TFrameState::Due) return false;
  // This frame shows every change asked for until now.
  FNextFrame->Cancel();
  FLastStart = FClock->Now();
  FState = TFrameState::CatchingUp;
  return true;
}

void TFrameLoop::AnimationsTaken() {
  if (FState == TFrameState::CatchingUp) FState = TFrameState::Drawing;
}

void TFrameLoop::End() {
  Settle();
  if (FState == TFrameState::Closed || !FDevice.TexturesInProgress()) return;
  FNextTextureSlice->SetIn(RefreshPeriod());
}

bool TFrameLoop::BeginOffScreen() {
  if (FState != TFrameState::Idle && FState != TFrameState::Due) return false;
  FState = TFrameState::Drawing;
  return true;
}

void TFrameLoop::EndOffScreen() {
  Settle();
}

void TFrameLoop::Settle() {
  if (FState == TFrameState::Closed) return;
  FState = FNextFrame->Waiting() ? TFrameState::Due : TFrameState::Idle;
}

void TFrameLoop::Painted() {
  if (FState != TFrameState::Closed) FAnnouncement->SetIn(0);
}

void TFrameLoop::FeedTextures() {
  if (!FDevice.TexturesInProgress()) return;
  if (!FDevice.TextureBandReady()) return FNextTextureSlice->SetIn(RefreshPeriod());
  bool placed = false;
  const bool ran =
      FState != TFrameState::CatchingUp && FState != TFrameState::Drawing && FWithDevice([&] {
        // Bands for a few milliseconds, then the event loop's turn (a frame, a
        // tick) and on.
        QElapsedTimer slice;
        slice.start();
        do {
          placed = FDevice.UploadTextureBand() || placed;
        } while (slice.nsecsElapsed() < kTextureSliceNs && FDevice.TextureBandReady());
      });
  if (!ran) return;
  // A full image in place shows in the next frame.
  if (placed) Request();
  if (FDevice.TexturesInProgress())
    FNextTextureSlice->SetIn(FDevice.TextureBandReady() ? 0 : RefreshPeriod());
}

}  // namespace rt3d
