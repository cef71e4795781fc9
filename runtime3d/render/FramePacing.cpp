#include "runtime3d/render/FramePacing.h"

#include <QScreen>
#include <QTimer>
#include <QWidget>

#include "runtime3d/render/GLContext.h"

namespace rt3d {

namespace {

// How long the main thread uploads texture bands at a time: short enough to go unseen
// between frames and ticks.
constexpr qint64 kTextureSliceNs = 4'000'000;

qint64 RefreshPeriodNs(const QScreen* display) {
  const double refresh = display && display->refreshRate() > 1 ? display->refreshRate() : 60.0;
  return qint64(1e9 / refresh);
}

}  // namespace

TFramePacer::TFramePacer(QWidget& view, TGLContext& device, std::function<void()> invalidate,
                         TWithDevice withDevice)
    : FView(view),
      FDevice(device),
      FInvalidate(std::move(invalidate)),
      FWithDevice(std::move(withDevice)) {}

void TFramePacer::RequestFrame() {
  if (FRequestPending) return;
  const qint64 period = RefreshPeriodNs(FView.screen());
  const qint64 since = FLastFrame.isValid() ? FLastFrame.nsecsElapsed() : period;
  if (since >= period) {
    FInvalidate();
    return;
  }
  FRequestPending = true;
  const int wait = int((period - since + 999999) / 1000000);
  QTimer::singleShot(wait, Qt::PreciseTimer, &FView, [this] {
    FRequestPending = false;
    FInvalidate();
  });
}

void TFramePacer::WatchTextures(int waitMs) {
  if (FWatchingTextures || !FDevice.TexturesInProgress()) return;
  FWatchingTextures = true;
  const int wait = waitMs >= 0 ? waitMs : int((RefreshPeriodNs(FView.screen()) + 999999) / 1000000);
  QTimer::singleShot(wait, Qt::PreciseTimer, &FView, [this] {
    FWatchingTextures = false;
    if (!FDevice.TextureBandReady()) return WatchTextures();
    bool placed = false;
    const bool ran = FWithDevice([&] {
      // Bands for a few milliseconds, then the event loop's turn (a frame, a tick) and on.
      QElapsedTimer slice;
      slice.start();
      do {
        placed = FDevice.UploadTextureBand() || placed;
      } while (slice.nsecsElapsed() < kTextureSliceNs && FDevice.TextureBandReady());
    });
    if (!ran) return;
    // A full image in place shows in the next frame.
    if (placed) RequestFrame();
    WatchTextures(FDevice.TextureBandReady() ? 0 : -1);
  });
}

}  // namespace rt3d
