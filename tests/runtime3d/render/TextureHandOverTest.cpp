// Textures whose pixels are still being decoded: the preview shows at once, the full pixels
// replace it band by band once decoded, and what ends up on the device is exactly the
// image. Images over the device's size limit are scaled down to fit; only an image that
// cannot be decoded at all shows the white placeholder, and no decoded copy stays behind.

#include <QOpenGLContext>
#include <QOpenGLFunctions_3_3_Core>
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

// A texture as a scene gives it: pixels coming from a decoder the test controls, with a
// preview of one flat colour so the picture tells which of the two shows.
struct TPendingTexture {
  QImage Full;
  std::atomic<bool> Ready = false;
  bool Fails = false;
  int Takes = 0;
  int Reloads = 0;
  TTexture Texture;

  TPendingTexture(QImage full, QRgb previewColour) : Full(std::move(full)) {
    Texture.SetPendingPixels(
        Full.width(), Full.height(), true,
        [this]() -> QImage {
          if (Fails) throw EBitmapLoadingFailed();
          ++(Takes == 0 ? Takes : Reloads);
          return Full;
        },
        [this] { return Ready.load() && Takes == 0; },
        [previewColour] { return SolidImage(previewColour, 8, 4); });
  }
};

struct TextureHandOver : ViewportScene {
  TGLContext& Device() { return dynamic_cast<TGLContext&>(*viewport->Context()); }

  // A sphere filling the middle of the view, showing texture.
  void Show(TTexture& texture) {
    TTextureMaterialSource* material = TextureMaterial(SolidImage(qRgb(0, 0, 0)));
    material->TextureMaterial().Texture = &texture;
    AddSphere(5)->SetMaterialSource(material);
  }

  // The device's texels of the texture and their size.
  QImage DeviceTexels(const TTexture& texture) {
    EXPECT_TRUE(viewport->makeCurrent());
    TGLFunctions& gl = *Device().Functions();
    gl.glBindTexture(GL_TEXTURE_2D, texture.DeviceHandle);
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
};

TEST_F(TextureHandOver, PreviewShowsUntilThePixelsAreDecodedThenTheyReplaceItBandByBand) {
  // Three and a bit frames' worth of rows.
  const int width = 1024;
  const int height = 3 * TGLContext::kUploadBytesPerFrame / (width * 4) + 100;
  TPendingTexture pending(Pattern(width, height), qRgb(0, 200, 0));
  Show(pending.Texture);

  const QImage first = Render();
  EXPECT_TRUE(Near(PixelAt(first, kCentre, kCentre), {0, 200, 0, 255}, 0)) << "the preview";
  EXPECT_TRUE(pending.Texture.DevicePreview);
  EXPECT_EQ(pending.Takes, 0) << "the first frame waits for no decoding";
  Render();
  EXPECT_TRUE(Device().TexturesInProgress());
  EXPECT_FALSE(Device().TextureWorkReady()) << "nothing to do until the pixels are decoded";
  EXPECT_EQ(pending.Takes, 0);

  pending.Ready = true;
  EXPECT_TRUE(Device().TextureWorkReady());
  int frames = 0;
  while (pending.Texture.DevicePreview && frames < 10) {
    const QImage picture = Render();
    ++frames;
    if (pending.Texture.DevicePreview) {
      ASSERT_EQ(picture, first) << "frame " << frames << ": no half-made image shows";
    }
  }
  EXPECT_EQ(frames, 4) << "a band of at most the frame's upload budget each frame";
  EXPECT_EQ(pending.Takes, 1);
  EXPECT_EQ(pending.Reloads, 0);
  EXPECT_FALSE(pending.Texture.HasPixels()) << "no decoded copy stays once it is up";
  EXPECT_FALSE(Device().TexturesInProgress());
  EXPECT_EQ(DeviceTexels(pending.Texture), pending.Full) << "every texel as decoded";

  // The same picture as a texture that had its pixels from the start.
  const QImage handedOver = Render();
  TTexture direct;
  direct.SetPixels(pending.Full);
  auto& material = dynamic_cast<TTextureMaterialSource&>(*sources.back()).TextureMaterial();
  material.Texture = &direct;
  EXPECT_EQ(Render(), handedOver) << "pixel for pixel";
  material.Texture = &pending.Texture;
}

TEST_F(TextureHandOver, ViewDrawsAgainByItselfUntilTheFullImageIsInPlaceAndThenRests) {
  TPendingTexture pending(Pattern(600, 300), qRgb(0, 200, 0));
  Show(pending.Texture);
  QSignalSpy frames(viewport.get(), &TViewport3D::FramePresented);
  viewport->Invalidate();
  ASSERT_TRUE(frames.wait(5000));
  EXPECT_TRUE(pending.Texture.DevicePreview);
  QTest::qWait(100);
  const auto waiting = frames.count();
  QTest::qWait(200);
  EXPECT_EQ(frames.count(), waiting) << "waiting for the decoder costs no frames";

  pending.Ready = true;  // decoded on a worker: the view is told nothing
  QTRY_VERIFY_WITH_TIMEOUT(!pending.Texture.DevicePreview, 5000);
  QTest::qWait(300);
  const auto done = frames.count();
  QTest::qWait(300);
  EXPECT_EQ(frames.count(), done) << "no frames once the image is in place";
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
    texture.SetPendingPixels(
        full.width(), full.height(), true,
        [&]() -> QImage {
          if (!c.decodable) throw EBitmapLoadingFailed();
          return full;
        },
        [&] { return ready; },
        c.preview ? std::function<QImage()>([] { return SolidImage(qRgb(0, 200, 0), 8, 4); })
                  : nullptr);
    material->TextureMaterial().Texture = &texture;
    QImage picture = Render();
    EXPECT_EQ(texture.DevicePreview, c.preview);
    ready = true;
    for (int frame = 0; frame < 3 && texture.DevicePreview; ++frame) picture = Render();
    EXPECT_FALSE(texture.DevicePreview);
    if (c.onDevice.isEmpty()) {
      EXPECT_TRUE(texture.DeviceFailed);
      EXPECT_TRUE(Near(PixelAt(picture, kCentre, kCentre), {255, 255, 255, 255}, 0));
    } else {
      EXPECT_FALSE(texture.DeviceFailed);
      EXPECT_EQ(DeviceTexels(texture).size(), c.onDevice);
      EXPECT_TRUE(Near(PixelAt(picture, kCentre, kCentre), {10, 20, 30, 255}, 0));
    }
    EXPECT_FALSE(texture.HasPixels()) << "no decoded copy stays in memory";
    material->TextureMaterial().Texture = nullptr;
  }
  EXPECT_TRUE(TReportingApplication::Errors().empty()) << "a texture failure is silent";
}

}  // namespace
