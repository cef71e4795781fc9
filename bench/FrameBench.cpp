// Frame time of the real viewer window against, in the same run, a bare lower bound (the
// same six draws with plain GL, presented as the viewer presents them: read back and
// painted) and the straightforward way (meshes copied into shared buffers on every draw);
// then saving a view as JPEG against a bare encode of the same pixels.
//
// Usage: bench_frame [frames per round] [rounds]   (needs a display; ./bench gives one)

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QImageWriter>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFunctions_3_3_Core>
#include <QOpenGLVersionFunctionsFactory>
#include <QPainter>
#include <QScreen>
#include <QTemporaryDir>

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <utility>

#include "app/Application.h"
#include "app/MainWindow.h"
#include "bench/BareRenderer.h"
#include "bench/BenchUtil.h"
#include "bench/DrawList.h"
#include "runtime3d/animation/Animator.h"
#include "runtime3d/material/ImageDecoding.h"
#include "runtime3d/render/Presentation.h"
#include "screenshot/BitmapCodecs.h"

namespace {

using orvanth::assets::Image;

double TimeMs(const std::function<void()>& f) {
  const std::int64_t start = bench::MonotonicNs();
  f();
  return (bench::MonotonicNs() - start) / 1e6;
}

std::map<Image, QImage> DecodeSceneImages() {
  std::map<Image, QImage> images;
  for (const orvanth::TMaterialDefinition& d : orvanth::kMaterials) {
    images[d.Texture] = rt3d::DecodeImage(orvanth::assets::Png(d.Texture));
  }
  return images;
}

rt3d::TGLFunctions* Functions() {
  return QOpenGLVersionFunctionsFactory::get<rt3d::TGLFunctions>(QOpenGLContext::currentContext());
}

// The draws alone, presented as the viewer presents its frames: an off-screen GL context,
// the resolved frame read back into a bitmap and the bitmap painted as the window's face.
// Fed with static meshes it is the lower bound; with every mesh copied per draw it is the
// straightforward way.
class TReadBackView : public QWidget {
 public:
  TReadBackView(std::vector<bench::TRecordedDraw> draws, const std::function<QImage(Image)>& load,
                QSize size, bench::TMeshFeed feed) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    FSurface.setFormat(QSurfaceFormat::defaultFormat());
    FSurface.create();
    FContext.setFormat(QSurfaceFormat::defaultFormat());
    FContext.create();
    FContext.makeCurrent(&FSurface);
    FGL = Functions();
    FRenderer = std::make_unique<bench::TBareRenderer>(*FGL, std::move(draws), load, feed);
    FTarget = std::make_unique<bench::TBareTarget>(*FGL, size, 4);
    FResolved = std::make_unique<bench::TBareTarget>(*FGL, size, 0);
    FBitmap = QImage(size, QImage::Format_ARGB32_Premultiplied);
    FContext.doneCurrent();
  }
  // Where the GPU time of a frame goes, each part finished before the next: clearing and
  // resolving, then each draw alone, then the read-back.
  void PrintBreakdown(int frames) {
    FContext.makeCurrent(&FSurface);
    auto finished = [&](const std::function<void()>& f) {
      std::vector<double> times;
      for (int i = 0; i < frames; ++i) {
        FGL->glFinish();
        times.push_back(TimeMs([&] {
          f();
          FGL->glFinish();
        }));
      }
      return bench::Median(times);
    };
    const double clear = finished([&] {
      FRenderer->DrawFrame(*FTarget, 0, 0);
      FTarget->ResolveInto(FResolved->Framebuffer());
    });
    std::printf("frame-parts  clear + resolve %.1f ms", clear);
    const auto& draws = FRenderer->Draws();
    for (std::size_t d = 0; d < draws.size(); ++d) {
      const double t = finished([&] {
        FRenderer->DrawFrame(*FTarget, d, d + 1);
        FTarget->ResolveInto(FResolved->Framebuffer());
      });
      std::printf(", %s%s %.1f ms", draws[d].PixelProgram == "texture.fps" ? "sky" : "body ",
                  draws[d].PixelProgram == "texture.fps" ? "" : std::to_string(d).c_str(),
                  t - clear);
    }
    const double all = finished([&] {
      FRenderer->DrawFrame(*FTarget);
      FTarget->ResolveInto(FResolved->Framebuffer());
    });
    const double readBack = finished([&] {
      FGL->glBindFramebuffer(GL_READ_FRAMEBUFFER, FResolved->Framebuffer());
      FGL->glReadPixels(0, 0, FBitmap.width(), FBitmap.height(), GL_BGRA, GL_UNSIGNED_BYTE,
                        FBitmap.bits());
    });
    std::printf("; whole frame %.1f ms; read-back %.1f ms\n", all, readBack);
    // The sky last: what the planet covers is rejected by the depth test before shading.
    std::size_t sky = 0;
    while (sky < draws.size() && draws[sky].PixelProgram != "texture.fps") ++sky;
    if (sky < draws.size()) {
      FRenderer->MoveDrawLast(sky);
      const double skyLast = finished([&] {
        FRenderer->DrawFrame(*FTarget);
        FTarget->ResolveInto(FResolved->Framebuffer());
      });
      std::printf("frame-parts  whole frame with the sky drawn last %.1f ms\n", skyLast);
    }
    FContext.doneCurrent();
  }

  // Runs once, after the first frame is painted.
  std::function<void()> OnFirstFrame;

  ~TReadBackView() override {
    FContext.makeCurrent(&FSurface);
    FResolved.reset();
    FTarget.reset();
    FRenderer.reset();
    FContext.doneCurrent();
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    FContext.makeCurrent(&FSurface);
    FRenderer->DrawFrame(*FTarget);
    FTarget->ResolveInto(FResolved->Framebuffer());
    FGL->glBindFramebuffer(GL_READ_FRAMEBUFFER, FResolved->Framebuffer());
    FGL->glReadPixels(0, 0, FBitmap.width(), FBitmap.height(), GL_BGRA, GL_UNSIGNED_BYTE,
                      FBitmap.bits());
    FBitmap.mirror(false, true);
    FContext.doneCurrent();
    QPainter painter(this);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(QPointF(0, 0), FBitmap);
    if (OnFirstFrame) {
      QMetaObject::invokeMethod(this, std::exchange(OnFirstFrame, nullptr), Qt::QueuedConnection);
    }
  }

 private:
  QOffscreenSurface FSurface;
  QOpenGLContext FContext;
  rt3d::TGLFunctions* FGL = nullptr;
  std::unique_ptr<bench::TBareRenderer> FRenderer;
  std::unique_ptr<bench::TBareTarget> FTarget, FResolved;
  QImage FBitmap;
};

void Wait(int ms) {
  QElapsedTimer timer;
  timer.start();
  while (timer.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

// Where drawing only the changed rectangles stops paying. The planet alone spins, a little
// each shown frame, at the opening distance and then nearer, so that its rectangle takes a
// growing share of the view; frames per second with every frame limited to what changed
// (however much that is) against whole frames.
void SweepLimitShare(TMainWindow& viewer) {
  rt3d::TViewport3D& view = *viewer.View();
  rt3d::TSphere& planet = *viewer.Scene().Bodies[orvanth::TBodyId::Orvanth];
  const double limitShare = view.LimitShare();
  view.SetLimitShare(1);
  const QSize size = view.RenderTargetSize();
  const double whole = double(size.width()) * size.height();
  auto spin = [&] { planet.RotationAngle().SetY(planet.RotationAngle().Y() + 0.5f); };
  // Frames per second; share: the mean share of the view they drew.
  auto run = [&](bool limited, double& share) {
    view.SetLimitsFrames(limited);
    view.Invalidate();
    Wait(300);
    int frames = -1;  // the first, whole frame is not counted
    double drawn = 0;
    std::int64_t start = 0;
    const auto connection = QObject::connect(&view, &rt3d::TViewport3D::FramePresented, [&] {
      if (++frames == 0) {
        start = bench::MonotonicNs();
      } else {
        for (const rt3d::TPixelRect& r : view.LastFrameRects()) drawn += r.Area() / whole;
      }
      spin();
    });
    spin();
    Wait(2000);
    QObject::disconnect(connection);
    share = frames > 0 ? drawn / frames : 0;
    return frames > 0 ? frames / ((bench::MonotonicNs() - start) / 1e9) : 0;
  };
  std::printf("limit-share: the planet spinning, the camera nearer step by step; %s\n",
              bench::MachineState().c_str());
  for (int step = 0; step < 8; ++step) {
    double share = 0, ignored = 0;
    const double limited = run(true, share);
    const double full = run(false, ignored);
    std::printf(
        "limit-share  %3.0f%% of the view drawn: %5.1f fps limited, %5.1f fps whole (%.2f x)\n",
        share * 100, limited, full, limited / std::max(1e-9, full));
    viewer.Orbit().ZoomStep(true);
  }
  view.SetLimitShare(limitShare);
  view.SetLimitsFrames(true);
  view.Invalidate();
}

}  // namespace

// The lower bound's own start: the scene's meshes and the same six textures, each image
// decoded, uploaded and dropped before the next, then one frame shown. Prints the peak
// resident memory after that frame.
int BareMemory(int argc, char** argv) {
  QApplication application(argc, argv);
  // The meshes and uniforms of the scene, recorded from a view that is never shown; its
  // textures are a small stand-in image, only the bare view holds the real ones.
  rt3d::TViewport3D recordingView;
  recordingView.resize(QGuiApplication::primaryScreen()->size());
  rt3d::TTreeObject components;
  const auto icon = orvanth::assets::Png(Image::Icon);
  const orvanth::TTextureImages standIns{
      nullptr,
      std::make_shared<rt3d::TDecodeBatch>(std::vector<std::span<const std::uint8_t>>(6, icon))};
  const orvanth::TScene scene = orvanth::BuildScene(*recordingView.Root(), components, standIns);
  orvanth::SetOrbitPivots(scene);
  recordingView.SetCamera(scene.Camera);
  recordingView.SetUsingDefaultCamera(false);
  const std::vector<bench::TRecordedDraw> draws = bench::RecordFrame(
      recordingView,
      {scene.Bodies[orvanth::TBodyId::Orvanth], scene.Sky, scene.Bodies[orvanth::TBodyId::Io],
       scene.Bodies[orvanth::TBodyId::Europa], scene.Bodies[orvanth::TBodyId::Ganymede],
       scene.Bodies[orvanth::TBodyId::Callisto]});
  for (rt3d::TFloatAnimation* spin : scene.BodyAnimations) spin->StopAtCurrent();

  TReadBackView view(
      draws, [](Image image) { return rt3d::DecodeImage(orvanth::assets::Png(image)); },
      QGuiApplication::primaryScreen()->size(), bench::TMeshFeed::Static);
  view.OnFirstFrame = [] {
    std::printf("bare-peak-bytes %lld\n", static_cast<long long>(bench::PeakResidentBytes()));
    std::fflush(stdout);
    QCoreApplication::exit(0);
  };
  view.showFullScreen();
  return application.exec();
}

int main(int argc, char** argv) {
  // Lines show as they come when the output goes to a file.
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  rt3d::PrepareGLForViews();
  if (argc > 1 && std::string(argv[1]) == "bare-memory") return BareMemory(argc, argv);
  const int framesPerRound = argc > 1 ? std::atoi(argv[1]) : 50;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 6;
  // A third argument runs only that side, for a profiler: real, bare, unplanned or straightforward.
  const std::string only = argc > 3 ? argv[3] : "";
  auto runs = [&](const char* side) { return only.empty() || only == side; };
  TApplication application(argc, argv);

  auto* viewer = new TMainWindow();
  TheMainWindow = viewer;
  viewer->show();
  // The opening zoom ends after three seconds; then the view stands still.
  Wait(3500);
  viewer->Actions()
      .AutoRotate->toggle();  // auto-rotate off: only the frames asked for here are drawn
  viewer->Actions().ShowInfo->toggle();  // the fact sheet over the view
  Wait(300);
  const QSize size = viewer->View()->RenderTargetSize();

  const std::map<Image, QImage> images = DecodeSceneImages();
  const std::vector<rt3d::TSphere*> spheres = {viewer->Scene().Bodies[orvanth::TBodyId::Orvanth],
                                               viewer->Scene().Sky,
                                               viewer->Scene().Bodies[orvanth::TBodyId::Io],
                                               viewer->Scene().Bodies[orvanth::TBodyId::Europa],
                                               viewer->Scene().Bodies[orvanth::TBodyId::Ganymede],
                                               viewer->Scene().Bodies[orvanth::TBodyId::Callisto]};
  const std::vector<bench::TRecordedDraw> draws = bench::RecordFrame(*viewer->View(), spheres);
  // Every visible object in rendering-list order: the bound before the frame plan lowered
  // it, and the order the straightforward way draws in.
  const std::vector<bench::TRecordedDraw> unplanned =
      bench::RecordFrame(*viewer->View(), spheres, false);

  auto loaded = [&images](Image image) { return images.at(image); };
  TReadBackView bare(draws, loaded, size, bench::TMeshFeed::Static);
  bare.showFullScreen();
  TReadBackView bareUnplanned(unplanned, loaded, size, bench::TMeshFeed::Static);
  bareUnplanned.showFullScreen();
  TReadBackView immediate(unplanned, loaded, size, bench::TMeshFeed::CopiedPerDraw);
  immediate.showFullScreen();
  Wait(1500);

  std::printf("frame: %d x %d pixels, %d samples, %zu draws; %s\n", size.width(), size.height(),
              viewer->View()->RenderTargetSamples(), draws.size(), bench::MachineState().c_str());
  immediate.PrintBreakdown(10);
  std::vector<double> real, lower, lowerUnplanned, straightforward;
  // The sides take turns frame by frame, so that a machine whose speed drifts (other
  // virtual machines on the same host) moves them all alike.
  for (int round = 0; round < rounds; ++round) {
    for (int i = 0; i < framesPerRound; ++i) {
      if (runs("real")) {
        // A whole frame drawn and read back now, then painted with the window.
        real.push_back(TimeMs([&] {
          viewer->View()->Invalidate();
          viewer->View()->grabFramebuffer();
          viewer->repaint();
        }));
      }
      if (runs("bare")) lower.push_back(TimeMs([&] { bare.repaint(); }));
      if (runs("unplanned")) lowerUnplanned.push_back(TimeMs([&] { bareUnplanned.repaint(); }));
      if (runs("straightforward")) straightforward.push_back(TimeMs([&] { immediate.repaint(); }));
    }
    QCoreApplication::processEvents();
  }
  if (!only.empty()) return 0;
  const double realMs = bench::Median(real), bareMs = bench::Median(lower),
               straightforwardMs = bench::Median(straightforward);
  bool pass = bench::PrintFigure("frame", realMs, bareMs, 1.10, "ms", "bare lower bound");
  std::printf("%-12s %6.3f x  (%.1f ms vs %.1f ms copying meshes per draw and reading back)\n",
              "frame-vs-straightforward", realMs / straightforwardMs, realMs, straightforwardMs);
  std::printf("%-12s viewer %.1f fps, bare lower bound %.1f fps, straightforward %.1f fps\n",
              "frame-rate", 1000 / realMs, 1000 / bareMs, 1000 / straightforwardMs);
  const double unplannedMs = bench::Median(lowerUnplanned);
  std::printf(
      "%-12s bare lower bound before the frame plan %.1f ms (%.1f fps, %zu draws), after %.1f ms "
      "(%.1f fps, %zu draws)\n",
      "frame-plan", unplannedMs, 1000 / unplannedMs, unplanned.size(), bareMs, 1000 / bareMs,
      draws.size());

  SweepLimitShare(*viewer);

  // --- Screenshot: saving the view against a bare encode of the same pixels ---------------
  const QImage shot = viewer->View()->MakeScreenshot();
  QTemporaryDir dir;
  const QString plain = dir.filePath(QStringLiteral("plain.jpg"));
  const QString replaced = dir.filePath(QStringLiteral("replaced.jpg"));
  std::vector<double> save, encode, replace;
  for (int i = 0; i < 15; ++i) {
    // A new file, as a screenshot usually is.
    const QString fresh = dir.filePath(QStringLiteral("view-%1.jpg").arg(i));
    save.push_back(TimeMs([&] { orvanth::screenshot::SaveToFile(shot, fresh, 100); }));
    encode.push_back(TimeMs([&] {
      QImageWriter writer(plain, "jpeg");
      writer.setQuality(100);
      writer.write(shot);
    }));
    // Replacing a file syncs the new content to disk before the old one goes.
    replace.push_back(TimeMs([&] { orvanth::screenshot::SaveToFile(shot, replaced, 100); }));
  }
  std::printf("screenshot: %d x %d; %s\n", shot.width(), shot.height(),
              bench::MachineState().c_str());
  pass &= bench::PrintFigure("screenshot", bench::Median(save), bench::Median(encode), 1.30, "ms",
                             "bare JPEG encode");
  std::printf("%-12s replacing an existing file: %.1f ms (its content is synced to disk first)\n",
              "screenshot-replace", bench::Median(replace));

  delete viewer;
  TheMainWindow = nullptr;
  rt3d::FreeAnimationGlobals();
  return pass ? 0 : 3;
}
