// Textures whose pixels are still being decoded: the preview shows at once, the full pixels
// replace it band by band once decoded, and what ends up on the device is exactly the
// image. Images over the device's size limit are scaled down to fit; only an image that
// cannot be decoded at all shows the white placeholder, and no decoded copy stays behind.

#include <QOpenGLContext>
#include <QOpenGLFunctions_3_3_Core>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTest>

#include <atomic>
#include <memory>

#include "RenderFixture.h"
#include "runtime3d/core/Exceptions.h"
#include "runtime3d/material/Texture.h"
#include "runtime3d/render/GLContext.h"

using namespace rt3d;
using namespace rt3d::test;

namespace {

constexpr int kCentre = ViewportScene::kSize / 2;

// Opaque, with every texel its own: a copy that lost, moved or swapped rows would show.
QImage Pattern(int width, int height) {
  QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
  for (int y = 0; y < height; ++y) {
    auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < width; ++x) row[x] = qRgb(x * 7 % 256, y * 13 % 256, (x + y) % 256);
  }
  return image;
}

// An image arriving in bands of a few rows, each ready when the test says so; the bands
// given out are counted, and a band can be made to arrive damaged.
class TTestBands : public IPixelBands {
 public:
  TTestBands(QImage image, int rows, int* opened) : FImage(std::move(image)), FRows(rows) {
    ++*opened;
  }
  bool NextReady() const override { return !AtEnd() && FNext < Decoded; }
  QImage TakeNext() override {
    if (!NextReady()) return {};
    const int first = FNext * FRows;
    ++FNext;
    return FImage.copy(0, first, FImage.width(), std::min(FRows, FImage.height() - first));
  }
  bool AtEnd() const override { return FNext * FRows >= FImage.height(); }
  bool Intact() const override { return AtEnd() && !Damaged; }

  int Decoded = 0;  // bands decoded so far
  bool Damaged = false;

 private:
  QImage FImage;
  int FRows;
  int FNext = 0;
};

// A texture as a scene gives it: pixels coming from a decoder the test controls, whole or
// band by band, with a preview of one flat colour so the picture tells which of the two shows.
struct TPendingTexture {
  QImage Full;
  std::atomic<bool> Ready = false;
  bool Fails = false;
  int Takes = 0;
  int Reloads = 0;
  int BandRows = 0;  // 0: the pixels come whole
  int BandsOpened = 0;
  TTestBands* Bands = nullptr;
  TTexture Texture;

  TPendingTexture(QImage full, QRgb previewColour, int bandRows = 0)
      : Full(std::move(full)), BandRows(bandRows) {
    TPendingPixels pending;
    pending.Source = [this]() -> QImage {
      if (Fails) throw EBitmapLoadingFailed();
      ++(Takes == 0 ? Takes : Reloads);
      return Full;
    };
    pending.Ready = [this] { return Ready.load() && Takes == 0; };
    if (bandRows > 0) {
      pending.Bands = [this] {
        auto bands = std::make_unique<TTestBands>(Full, BandRows, &BandsOpened);
        Bands = bands.get();
        return bands;
      };
    }
    pending.Preview = [previewColour] { return SolidImage(previewColour, 8, 4); };
    Texture.SetPendingPixels(Full.width(), Full.height(), true, std::move(pending));
  }
};

struct TextureHandOver : ViewportScene {
  TGLContext& Device() { return dynamic_cast<TGLContext&>(*viewport->Context()); }

  // A sphere showing texture, by default one filling the middle of the view.
  TSphere* Show(TTexture& texture, float radius = 5, const TPoint3D& position = {}) {
    TTextureMaterialSource* material = TextureMaterial(SolidImage(qRgb(0, 0, 0)));
    material->TextureMaterial().Texture = &texture;
    TSphere* sphere = AddSphere(radius, position);
    sphere->SetMaterialSource(material);
    return sphere;
  }

  // One step of the hand-over, as the view takes it between frames; true when a full image
  // took its preview's place.
  bool UploadBand() {
    EXPECT_TRUE(viewport->makeCurrent());
    const bool placed = Device().UploadTextureBand();
    viewport->doneCurrent();
    return placed;
  }

  TTextureOnDevice OnDevice(const TTexture& texture) { return Device().TextureOnDevice(texture); }

  // The device's texels of the texture and their size.
  QImage DeviceTexels(const TTexture& texture) {
    EXPECT_TRUE(viewport->makeCurrent());
    TGLFunctions& gl = *Device().Functions();
    gl.glBindTexture(GL_TEXTURE_2D, OnDevice(texture).Handle);
    GLint w = 0, h = 0;
    gl.glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &w);
    gl.glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &h);
    QImage texels(w, h, QImage::Format_ARGB32_Premultiplied);
    gl.glPixelStorei(GL_PACK_ALIGNMENT, 4);
    gl.glGetTexImage(GL_TEXTURE_2D, 0, GL_BGRA, GL_UNSIGNED_BYTE, texels.bits());
    gl.glBindTexture(GL_TEXTURE_2D, 0);
    viewport->doneCurrent();
    return texels;
  }

  // The picture with texture swapped for one that had pixels from the start.
  QImage RenderedFromTheStart(TPendingTexture& pending) {
    TTexture direct;
    direct.SetPixels(pending.Full);
    auto& material = dynamic_cast<TTextureMaterialSource&>(*sources.back()).TextureMaterial();
    material.Texture = &direct;
    const QImage picture = Render();
    material.Texture = &pending.Texture;
    return picture;
  }
};

TEST_F(TextureHandOver, WholePixelsReplaceThePreviewBandByBandOnceDecoded) {
  // Three and a bit bands' worth of rows.
  Device().SetBandBytes(1 << 20);
  TPendingTexture pending(Pattern(1024, 3 * 256 + 100), qRgb(0, 200, 0));
  Show(pending.Texture);

  const QImage first = Render();
  EXPECT_TRUE(Near(PixelAt(first, kCentre, kCentre), {0, 200, 0, 255}, 0)) << "the preview";
  EXPECT_TRUE(OnDevice(pending.Texture).Preview);
  EXPECT_EQ(pending.Takes, 0) << "the first frame waits for no decoding";
  EXPECT_TRUE(Device().TexturesInProgress());
  EXPECT_FALSE(Device().TextureBandReady()) << "nothing to do until the pixels are decoded";
  EXPECT_FALSE(UploadBand());
  EXPECT_EQ(pending.Takes, 0);

  pending.Ready = true;
  EXPECT_TRUE(Device().TextureBandReady());
  int bands = 0;
  while (OnDevice(pending.Texture).Preview && bands < 10) {
    EXPECT_EQ(UploadBand(), ++bands == 4);
    if (OnDevice(pending.Texture).Preview) {
      ASSERT_EQ(Render(), first) << "band " << bands << ": no half-made image shows";
    }
  }
  EXPECT_EQ(bands, 4) << "bands of at most the band size";
  EXPECT_EQ(pending.Takes, 1);
  EXPECT_EQ(pending.Reloads, 0);
  EXPECT_FALSE(pending.Texture.HasPixels()) << "no decoded copy stays once it is up";
  EXPECT_FALSE(Device().TexturesInProgress());
  EXPECT_EQ(DeviceTexels(pending.Texture), pending.Full) << "every texel as decoded";
  EXPECT_EQ(Render(), RenderedFromTheStart(pending)) << "pixel for pixel";
}

TEST_F(TextureHandOver, BandsGoUpAsTheyAreDecodedAndADamagedOneBringsTheWholeImage) {
  for (const bool damaged : {false, true}) {
    SCOPED_TRACE(damaged ? "damaged" : "intact");
    TPendingTexture pending(Pattern(300, 100), qRgb(0, 200, 0), 32);
    TSphere* sphere = Show(pending.Texture);
    const QImage first = Render();
    EXPECT_EQ(pending.BandsOpened, 0) << "nothing is decoded before the first frame";
    EXPECT_TRUE(Device().TextureBandReady()) << "the bands can be asked for";
    EXPECT_FALSE(UploadBand());
    ASSERT_EQ(pending.BandsOpened, 1);
    EXPECT_FALSE(Device().TextureBandReady()) << "no band decoded yet";

    TTestBands& bands = *pending.Bands;
    bands.Damaged = damaged;
    bands.Decoded = 2;
    EXPECT_FALSE(UploadBand());
    EXPECT_FALSE(UploadBand());
    EXPECT_FALSE(Device().TextureBandReady()) << "the third band is not decoded yet";
    EXPECT_EQ(Render(), first) << "the preview still shows";
    bands.Decoded = 4;
    EXPECT_FALSE(UploadBand());
    EXPECT_TRUE(UploadBand()) << "the fourth and last band (4 rows) completes the image";
    EXPECT_FALSE(OnDevice(pending.Texture).Preview);
    EXPECT_EQ(pending.Takes, damaged ? 1 : 0) << "the whole image only for damaged bands";
    EXPECT_EQ(DeviceTexels(pending.Texture), pending.Full);
    EXPECT_EQ(Render(), RenderedFromTheStart(pending)) << "pixel for pixel";
    EXPECT_EQ(pending.BandsOpened, 1);
    delete sphere;
    sources.clear();
  }
}

// One image at a time goes up, the largest first, so that no more than one is held both
// decoded and on the device.
TEST_F(TextureHandOver, ImagesGoUpOneAtATimeTheLargestFirst) {
  TPendingTexture small(Pattern(64, 32), qRgb(0, 0, 200), 8);
  TPendingTexture large(Pattern(256, 128), qRgb(0, 200, 0), 64);
  Show(small.Texture, 3, {-4, 0, 0});
  Show(large.Texture, 3, {4, 0, 0});
  Render();
  ASSERT_TRUE(OnDevice(small.Texture).Preview && OnDevice(large.Texture).Preview) << "both drawn";
  EXPECT_FALSE(UploadBand());
  EXPECT_EQ(large.BandsOpened, 1);
  EXPECT_EQ(small.BandsOpened, 0) << "the small one waits for the large one";
  large.Bands->Decoded = 2;
  EXPECT_FALSE(UploadBand());
  EXPECT_TRUE(UploadBand());
  EXPECT_FALSE(OnDevice(large.Texture).Preview);
  Render();
  EXPECT_FALSE(UploadBand());
  EXPECT_EQ(small.BandsOpened, 1) << "then its turn comes";
}

TEST_F(TextureHandOver, ViewDrawsAgainByItselfUntilTheFullImageIsInPlaceAndThenRests) {
  TPendingTexture pending(Pattern(600, 300), qRgb(0, 200, 0));
  Show(pending.Texture);
  // Time moves only when the test says: a frame that should not come cannot merely be late.
  TManualFrameClock clock;
  viewport->SetFrameClock(&clock);
  const auto putBack = qScopeGuard([&] { viewport->SetFrameClock(nullptr); });
  const qint64 period = 20'000'000;
  QSignalSpy frames(viewport.get(), &TViewport3D::FrameStarted);
  viewport->Invalidate();
  clock.Advance(0);
  ASSERT_EQ(frames.count(), 1);
  EXPECT_TRUE(OnDevice(pending.Texture).Preview);
  for (int i = 0; i < 20; ++i) clock.Advance(period);
  EXPECT_EQ(frames.count(), 1) << "waiting for the decoder costs no frames";
  EXPECT_EQ(viewport->FrameState(), TFrameState::Idle);

  pending.Ready = true;  // decoded on a worker: the view is told nothing
  for (int i = 0; i < 500 && OnDevice(pending.Texture).Preview; ++i) clock.Advance(period);
  ASSERT_FALSE(OnDevice(pending.Texture).Preview);
  clock.Advance(period);
  const auto done = frames.count();
  EXPECT_GT(done, 1) << "the image in place asks for a frame";
  for (int i = 0; i < 20; ++i) clock.Advance(period);
  EXPECT_EQ(frames.count(), done) << "no frames once the image is in place";
  EXPECT_EQ(viewport->FrameState(), TFrameState::Idle);
  EXPECT_EQ(DeviceTexels(pending.Texture), pending.Full);
}

TEST_F(TextureHandOver, ImageThatCannotBeDecodedKeepsItsPreviewAndCostsNoMoreFrames) {
  TPendingTexture pending(Pattern(64, 32), qRgb(0, 200, 0));
  pending.Fails = true;
  pending.Ready = true;
  Show(pending.Texture);
  Render();
  Render();
  EXPECT_TRUE(Near(PixelAt(Render(), kCentre, kCentre), {0, 200, 0, 255}, 0))
      << "a small picture of the image is better than none";
  EXPECT_FALSE(Device().TexturesInProgress()) << "nothing more will come";
  EXPECT_TRUE(TReportingApplication::Errors().empty()) << "silent, like any texture failure";
}

// An image over the device's limit comes down to fit, whichever way its pixels arrive; only
// one that cannot be decoded shows white. No decoded copy is kept either way.
TEST_F(TextureHandOver, ImageOverTheDeviceLimitIsScaledDownToFitAndOnlyUndecodableOnesShowWhite) {
  struct Case {
    const char* name;
    int limit;
    QSize image;
    bool preview;
    bool decodable;
    QSize onDevice;  // empty: the white placeholder
  };
  const Case cases[] = {
      {"sky on an older device", 64, {240, 120}, false, true, {64, 32}},
      {"tall image", 64, {30, 200}, false, true, {10, 64}},
      {"through the preview", 64, {256, 128}, true, true, {64, 32}},
      {"fits as it is", 64, {64, 16}, false, true, {64, 16}},
      {"cannot be decoded", 64, {240, 120}, false, false, {}},
  };
  TTextureMaterialSource* material = TextureMaterial(SolidImage(qRgb(0, 0, 0)));
  AddSphere(5)->SetMaterialSource(material);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Device().SetTextureSizeLimit(c.limit);
    QImage full(c.image, QImage::Format_ARGB32_Premultiplied);
    full.fill(qRgb(10, 20, 30));
    bool ready = !c.preview;
    TTexture texture;
    TPendingPixels pending;
    pending.Source = [&]() -> QImage {
      if (!c.decodable) throw EBitmapLoadingFailed();
      return full;
    };
    pending.Ready = [&] { return ready; };
    if (c.preview) pending.Preview = [] { return SolidImage(qRgb(0, 200, 0), 8, 4); };
    texture.SetPendingPixels(full.width(), full.height(), true, std::move(pending));
    material->TextureMaterial().Texture = &texture;
    QImage picture = Render();
    EXPECT_EQ(OnDevice(texture).Preview, c.preview);
    ready = true;
    for (int band = 0; band < 3 && OnDevice(texture).Preview; ++band) UploadBand();
    EXPECT_FALSE(OnDevice(texture).Preview);
    picture = Render();
    if (c.onDevice.isEmpty()) {
      EXPECT_TRUE(OnDevice(texture).Failed);
      EXPECT_TRUE(Near(PixelAt(picture, kCentre, kCentre), {255, 255, 255, 255}, 0));
    } else {
      EXPECT_FALSE(OnDevice(texture).Failed);
      EXPECT_EQ(DeviceTexels(texture).size(), c.onDevice);
      EXPECT_TRUE(Near(PixelAt(picture, kCentre, kCentre), {10, 20, 30, 255}, 0));
    }
    EXPECT_FALSE(texture.HasPixels()) << "no decoded copy stays in memory";
    material->TextureMaterial().Texture = nullptr;
  }
  EXPECT_TRUE(TReportingApplication::Errors().empty()) << "a texture failure is silent";
}

}  // namespace
