#include <gtest/gtest.h>

#include "runtime3d/core/Exceptions.h"
#include "runtime3d/material/ImageDecoding.h"
#include "runtime3d/material/Texture.h"
#include "runtime3d/material/TextureBitmap.h"
#include "tests/runtime3d/material/EncodeWithQt.h"

using namespace rt3d;
using rt3d::test::EncodeWithQt;

namespace {

using Bytes = std::vector<std::uint8_t>;

// A 3 x 2 picture whose rows differ, with one half-transparent and one clear pixel.
QImage Sample() {
  QImage image(3, 2, QImage::Format_ARGB32);
  image.setPixel(0, 0, qRgba(200, 100, 50, 128));
  image.setPixel(1, 0, qRgba(255, 0, 0, 255));
  image.setPixel(2, 0, qRgba(0, 255, 0, 255));
  image.setPixel(0, 1, qRgba(0, 0, 255, 255));
  image.setPixel(1, 1, qRgba(10, 20, 30, 0));
  image.setPixel(2, 1, qRgba(255, 255, 255, 255));
  return image;
}

// A gradient big enough to take several compressed blocks, opaque or not.
QImage Gradient(int width, int height, bool withAlpha) {
  QImage image(width, height, QImage::Format_ARGB32);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      image.setPixel(
          x, y,
          qRgba((x * 7) & 0xFF, (y * 13) & 0xFF, (x + y) & 0xFF, withAlpha ? (x * y) & 0xFF : 255));
    }
  }
  return image;
}

void ExpectSamePixels(const QImage& actual, const QImage& expected, int tolerance,
                      const std::string& what) {
  ASSERT_EQ(actual.format(), QImage::Format_ARGB32_Premultiplied) << what;
  ASSERT_EQ(actual.size(), expected.size()) << what;
  const QImage want = expected.convertToFormat(QImage::Format_ARGB32_Premultiplied);
  int mismatches = 0;
  for (int y = 0; y < want.height(); ++y) {
    for (int x = 0; x < want.width(); ++x) {
      const QRgb a = actual.pixel(x, y), b = want.pixel(x, y);
      const bool close = std::abs(qRed(a) - qRed(b)) <= tolerance &&
                         std::abs(qGreen(a) - qGreen(b)) <= tolerance &&
                         std::abs(qBlue(a) - qBlue(b)) <= tolerance &&
                         std::abs(qAlpha(a) - qAlpha(b)) <= tolerance;
      if (!close && mismatches++ < 3) {
        ADD_FAILURE() << what << ": pixel (" << x << ", " << y << ") is " << std::hex << a
                      << ", expected " << b;
      }
    }
  }
  EXPECT_EQ(mismatches, 0) << what;
}

}  // namespace

// --- Decoding ----------------------------------------------------------------------------

TEST(DecodeImage, PngBecomesPremultipliedBgraTopRowFirst) {
  const Bytes png = EncodeWithQt(Sample());
  const QImage image = DecodeImage(png);
  ASSERT_EQ(image.format(), QImage::Format_ARGB32_Premultiplied);
  ASSERT_EQ(image.size(), QSize(3, 2));
  // The bytes in memory as a device receives them: B, G, R, A, colour times alpha.
  const auto* top = image.constScanLine(0);
  const std::uint8_t halfOrange[4] = {25, 50, 100, 128};  // round(c * 128 / 255)
  const std::uint8_t red[4] = {0, 0, 255, 255};
  EXPECT_EQ(Bytes(top, top + 4), Bytes(halfOrange, halfOrange + 4));
  EXPECT_EQ(Bytes(top + 4, top + 8), Bytes(red, red + 4));
  const auto* bottom = image.constScanLine(1);
  const std::uint8_t blue[4] = {255, 0, 0, 255};
  const std::uint8_t clear[4] = {0, 0, 0, 0};
  EXPECT_EQ(Bytes(bottom, bottom + 4), Bytes(blue, blue + 4));
  EXPECT_EQ(Bytes(bottom + 4, bottom + 8), Bytes(clear, clear + 4));
}

TEST(DecodeImage, EveryPngLayoutGivesTheSamePixels) {
  QImage palette(4, 3, QImage::Format_Indexed8);
  palette.setColorTable({qRgba(255, 0, 0, 255), qRgba(0, 255, 0, 64), qRgba(0, 0, 0, 0)});
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 4; ++x) palette.setPixel(x, y, (x + y) % 3);
  const QImage rgba = Gradient(67, 41, true);
  struct Case {
    const char* name;
    QImage image;
    int tolerance;
  };
  const Case cases[] = {
      {"RGBA 8-bit", rgba, 0},
      {"RGB 8-bit", Gradient(67, 41, false).convertToFormat(QImage::Format_RGB32), 0},
      {"grey 8-bit", rgba.convertToFormat(QImage::Format_Grayscale8), 0},
      {"palette with transparency", palette, 0},
      // 16-bit channels reach 8 bits through different rounding paths.
      {"RGBA 16-bit", rgba.convertToFormat(QImage::Format_RGBA64), 1},
      {"grey 16-bit", rgba.convertToFormat(QImage::Format_Grayscale16), 1},
  };
  for (const Case& c : cases) {
    ExpectSamePixels(DecodeImage(EncodeWithQt(c.image)), c.image, c.tolerance, c.name);
  }
}

// Qt writes no interlaced PNG; this 5 x 4 RGBA one (Adam7) holds InterlacedPixel(x, y).
const std::uint8_t kInterlacedPng[] = {
    0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a, 0x00, 0x00, 0x00, 0x0d, 0x49, 0x48, 0x44,
    0x52, 0x00, 0x00, 0x00, 0x05, 0x00, 0x00, 0x00, 0x04, 0x08, 0x06, 0x00, 0x00, 0x01, 0x31,
    0x34, 0xc5, 0xd6, 0x00, 0x00, 0x00, 0x4d, 0x49, 0x44, 0x41, 0x54, 0x78, 0x9c, 0x15, 0xc9,
    0x31, 0x15, 0x80, 0x50, 0x0c, 0x43, 0xd1, 0x88, 0x40, 0x04, 0x73, 0xe7, 0x8a, 0xf8, 0x22,
    0x22, 0x22, 0x4a, 0x3a, 0x23, 0xa2, 0x22, 0x2a, 0x07, 0x07, 0xa1, 0x2c, 0xc9, 0x39, 0xf7,
    0x01, 0x00, 0x31, 0x80, 0xf7, 0x76, 0x20, 0x98, 0x3a, 0x1e, 0x3d, 0x44, 0xac, 0xd4, 0xdf,
    0x43, 0x37, 0x4b, 0xda, 0x9c, 0x70, 0xe4, 0x65, 0xe6, 0x42, 0xa6, 0x27, 0xcf, 0x62, 0x83,
    0xd1, 0x69, 0xb6, 0x5c, 0xdd, 0x9c, 0x7e, 0xfd, 0x01, 0x17, 0xbe, 0x23, 0x38, 0xfb, 0xec,
    0x59, 0xee, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4e, 0x44, 0xae, 0x42, 0x60, 0x82};

QRgb InterlacedPixel(int x, int y) {
  return qRgba((x * 50) & 0xFF, (y * 60) & 0xFF, (x * y * 20) & 0xFF, (x + y) % 3 ? 255 : 100);
}

TEST(DecodeImage, InterlacedPngArrivesWhole) {
  const QImage image = DecodeImage(kInterlacedPng);
  ASSERT_EQ(image.size(), QSize(5, 4));
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 5; ++x) {
      EXPECT_EQ(image.pixel(x, y), qPremultiply(InterlacedPixel(x, y))) << x << ", " << y;
    }
}

TEST(DecodeImage, OtherFormatsGoThroughQt) {
  const QImage source = Gradient(19, 7, false);
  ExpectSamePixels(DecodeImage(EncodeWithQt(source, "bmp")), source, 0, "BMP");
}

TEST(DecodeImage, BytesNoDecoderAcceptsRaiseLoadingFailed) {
  const Bytes png = EncodeWithQt(Gradient(64, 64, false));
  Bytes junkAfterSignature(png.begin(), png.begin() + 8);
  junkAfterSignature.resize(200, 0x5A);
  Bytes badChecksum = png;
  badChecksum[20] ^= 0xFF;  // inside the header chunk
  const std::pair<const char*, Bytes> cases[] = {
      {"no bytes", {}},
      {"text", Bytes{'h', 'e', 'l', 'l', 'o'}},
      {"signature then junk", junkAfterSignature},
      {"header damaged", badChecksum},
      {"cut after the header", Bytes(png.begin(), png.begin() + 40)},
  };
  for (const auto& [name, bytes] : cases) {
    SCOPED_TRACE(name);
    try {
      DecodeImage(bytes);
      ADD_FAILURE() << "decoded";
    } catch (const EBitmapLoadingFailed& e) {
      EXPECT_STREQ(e.what(), "Loading bitmap failed.");
    }
  }
}

TEST(DecodeImage, ImagesBeyondTheLimitAreScaledDownKeepingAspect) {
  struct Case {
    QSize in;
    QSize out;
  };
  const Case cases[] = {
      {{8192, 2}, {8192, 2}},  // at the limit: as it is
      {{16400, 8}, {8192, 4}},
      {{6, 9000}, {5, 8192}},
  };
  for (const Case& c : cases) {
    QImage source(c.in, QImage::Format_RGB32);
    source.fill(qRgb(40, 80, 120));
    const QImage image = DecodeImage(EncodeWithQt(source));
    EXPECT_EQ(image.size(), c.out) << c.in.width() << "x" << c.in.height();
    EXPECT_EQ(image.format(), QImage::Format_ARGB32_Premultiplied);
    // Smooth scaling of a flat colour keeps the colour.
    EXPECT_EQ(image.pixel(c.out.width() / 2, c.out.height() / 2), qRgb(40, 80, 120));
  }
}

TEST(FitIntoSize, LongerSideComesDownToTheLimitKeepingTheAspectNeverBelowOnePixel) {
  struct Case {
    QSize in;
    int limit;
    QSize out;
  };
  const Case cases[] = {
      {{6000, 3000}, 4096, {4096, 2048}}, {{6000, 3000}, 2048, {2048, 1024}},
      {{1800, 900}, 4096, {1800, 900}},   {{4096, 4096}, 4096, {4096, 4096}},
      {{3, 7000}, 4096, {2, 4096}},       {{10000, 1}, 4096, {4096, 1}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FitIntoSize(c.in, c.limit), c.out)
        << c.in.width() << "x" << c.in.height() << " into " << c.limit;
  }
  QImage image(600, 300, QImage::Format_RGB32);
  image.fill(qRgb(40, 80, 120));
  const QImage scaled = ScaledToFit(image, 256);
  EXPECT_EQ(scaled.size(), QSize(256, 128));
  EXPECT_EQ(scaled.format(), QImage::Format_ARGB32_Premultiplied);
  EXPECT_EQ(scaled.pixel(100, 60), qRgb(40, 80, 120));
}

TEST(DecodeImage, ImagesAboveQtsDefaultAllocationCapStillLoad) {
  // 8192 x 4100 pixels take 134 MB decoded, more than Qt allows by default.
  QImage source(8192, 4100, QImage::Format_RGB32);
  source.fill(qRgb(1, 2, 3));
  const QImage image = DecodeImage(EncodeWithQt(source));
  EXPECT_EQ(image.size(), QSize(8192, 4100));
}

// --- Parallel batches --------------------------------------------------------------------

TEST(DecodeBatch, GivesTheSamePixelsAsOneByOneInTheOrderAsked) {
  std::vector<Bytes> files;
  const QSize sizes[] = {{64, 32}, {300, 150}, {17, 9}, {640, 320}, {128, 64}};
  for (const QSize& size : sizes)
    files.push_back(EncodeWithQt(Gradient(size.width(), size.height(), true)));
  std::vector<std::span<const std::uint8_t>> sources(files.begin(), files.end());

  const std::vector<QImage> parallel = DecodeImagesInParallel(sources);
  ASSERT_EQ(parallel.size(), files.size());
  for (std::size_t i = 0; i < files.size(); ++i) {
    EXPECT_EQ(parallel[i], DecodeImage(files[i])) << "image " << i;
  }
}

TEST(DecodeBatch, AFailureStaysWithItsImage) {
  const Bytes good = EncodeWithQt(Gradient(40, 20, false));
  const Bytes bad = {1, 2, 3};
  TDecodeBatch batch({good, bad, good});
  ASSERT_EQ(batch.Count(), 3u);
  EXPECT_THROW(batch.Take(1), EBitmapLoadingFailed);
  EXPECT_EQ(batch.Take(2).size(), QSize(40, 20));
  EXPECT_EQ(batch.Take(0).size(), QSize(40, 20));
  EXPECT_THROW(batch.Take(0), EInvalidArgument) << "an image is handed out once";
  EXPECT_THROW(batch.Take(3), EArgumentOutOfRangeException);
  EXPECT_THROW(DecodeImagesInParallel(std::vector<std::span<const std::uint8_t>>{good, bad}),
               EBitmapLoadingFailed);
}

// --- Textures and texture bitmaps --------------------------------------------------------

TEST(Texture, HoldsPremultipliedPixelsAndCountsReplacements) {
  TTexture texture;
  EXPECT_TRUE(texture.IsEmpty());
  const auto before = texture.Generation();
  texture.SetPixels(Sample());
  EXPECT_EQ(texture.Width(), 3);
  EXPECT_EQ(texture.Height(), 2);
  EXPECT_EQ(texture.PixelFormat(), TPixelFormat::BGRA);
  EXPECT_EQ(texture.Pixels().format(), QImage::Format_ARGB32_Premultiplied);
  EXPECT_EQ(texture.Pixels().pixel(0, 0), qPremultiply(qRgba(200, 100, 50, 128)));
  const auto first = texture.Generation();
  EXPECT_NE(first, before);
  texture.SetPixels(Sample());
  EXPECT_NE(texture.Generation(), first) << "the device must upload the new content";
}

TEST(Texture, ReleasedPixelsComeBackOnlyThroughTheReloader) {
  const QImage image = Sample().convertToFormat(QImage::Format_ARGB32_Premultiplied);
  {
    TTexture texture;
    texture.SetPixels(image);
    texture.ReleasePixels();
    EXPECT_TRUE(texture.HasPixels()) << "without a reloader nothing may be dropped";
    EXPECT_EQ(texture.Pixels(), image);
  }
  struct Case {
    const char* name;
    std::function<QImage()> reloader;
    bool back;
  };
  const Case cases[] = {
      {"same image", [&] { return Sample(); }, true},
      {"other size", [] { return QImage(5, 5, QImage::Format_ARGB32); }, false},
      {"failing", []() -> QImage { throw EBitmapLoadingFailed(); }, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TTexture texture;
    texture.SetPixels(image);
    texture.SetReloader(c.reloader);
    const auto generation = texture.Generation();
    texture.ReleasePixels();
    EXPECT_FALSE(texture.HasPixels());
    const QImage again = texture.Pixels();
    EXPECT_EQ(!again.isNull(), c.back);
    if (c.back) {
      EXPECT_EQ(again, image);
    }
    EXPECT_EQ(texture.Generation(), generation) << "reloading is not new content";
    EXPECT_EQ(texture.Width(), 3);
  }
}

TEST(TextureBitmap, LoadsEmbeddedBytesAndReloadsThemAfterRelease) {
  const Bytes png = EncodeWithQt(Gradient(33, 17, true));
  TTextureBitmap bitmap;
  int changes = 0;
  bitmap.OnChange = [&] { ++changes; };
  EXPECT_EQ(bitmap.Texture(), nullptr);
  bitmap.LoadFromEmbedded(png);
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(bitmap.Width(), 33);
  EXPECT_EQ(bitmap.Height(), 17);
  TTexture* texture = bitmap.Texture();
  ASSERT_NE(texture, nullptr);
  EXPECT_EQ(texture->Style(), tsDynamic) << "made from an image: no mip levels";
  const QImage decoded = texture->Pixels();
  texture->ReleasePixels();
  EXPECT_FALSE(texture->HasPixels()) << "the decoded copy goes once uploaded";
  EXPECT_EQ(texture->Pixels(), decoded);
}

TEST(TextureBitmap, FailedLoadLeavesTheBitmapAsItWas) {
  TTextureBitmap bitmap;
  bitmap.Assign(Gradient(8, 4, false));
  int changes = 0;
  bitmap.OnChange = [&] { ++changes; };
  const Bytes garbage = {'n', 'o', 't', ' ', 'a', 'n', ' ', 'i', 'm', 'a', 'g', 'e'};
  EXPECT_THROW(bitmap.LoadFromEmbedded(garbage), EBitmapLoadingFailed);
  EXPECT_EQ(changes, 0);
  EXPECT_EQ(bitmap.Width(), 8);
  ASSERT_NE(bitmap.Texture(), nullptr);
  EXPECT_EQ(bitmap.Texture()->Pixels().size(), QSize(8, 4));
}

TEST(TextureBitmap, TakesImagesDecodedInABatch) {
  const Bytes png = EncodeWithQt(Gradient(20, 10, false));
  TDecodeBatch batch({png});
  TTextureBitmap bitmap;
  bitmap.AssignDecoded(batch.Take(0), png);
  ASSERT_NE(bitmap.Texture(), nullptr);
  const QImage first = bitmap.Texture()->Pixels();
  bitmap.Texture()->ReleasePixels();
  EXPECT_EQ(bitmap.Texture()->Pixels(), first) << "reloaded from the same bytes";

  QImage huge(9000, 3, QImage::Format_RGB32);
  huge.fill(Qt::gray);
  bitmap.Assign(huge);
  EXPECT_EQ(bitmap.Width(), 8192);
  EXPECT_EQ(bitmap.Height(), 3);
}

TEST(TextureBitmap, PendingImageIsTakenAtFirstUseAndDecodedAgainAfterRelease) {
  const Bytes png = EncodeWithQt(Gradient(20, 10, false));
  const QImage expected = DecodeImage(png);
  TTextureBitmap bitmap;
  int takes = 0;
  bool decoded = false;
  bitmap.AssignPending(QSize(20, 10),
                       {.Source =
                            [&] {
                              ++takes;
                              return expected;
                            },
                        .Ready = [&] { return decoded; }},
                       png);
  EXPECT_EQ(takes, 0) << "nothing waits for the image while the scene is built";
  EXPECT_EQ(bitmap.Width(), 20);
  EXPECT_EQ(bitmap.Height(), 10);
  TTexture* texture = bitmap.Texture();
  ASSERT_NE(texture, nullptr);
  EXPECT_FALSE(texture->HasPixels());
  EXPECT_FALSE(texture->PixelsReady());
  decoded = true;
  EXPECT_TRUE(texture->PixelsReady());
  const std::uint64_t generation = texture->Generation();
  EXPECT_EQ(texture->Pixels(), expected);
  EXPECT_EQ(takes, 1);
  texture->ReleasePixels();
  EXPECT_FALSE(texture->HasPixels()) << "the decoded copy goes once uploaded";
  EXPECT_FALSE(texture->PixelsReady()) << "taken: only decoding the bytes again gives it now";
  EXPECT_EQ(texture->Pixels(), expected) << "decoded again from the bytes";
  EXPECT_EQ(takes, 1) << "taken once";
  EXPECT_EQ(texture->Generation(), generation) << "the same content";
}

TEST(TextureBitmap, PendingImageOfAnotherSizeOrAFailedTakeGivesNoPixels) {
  const Bytes png = EncodeWithQt(Gradient(20, 10, false));
  TTextureBitmap wrongSize;
  wrongSize.AssignPending(QSize(21, 10), {.Source = [&] { return DecodeImage(png); }}, png);
  EXPECT_TRUE(wrongSize.Texture()->Pixels().isNull()) << "never uploaded at a wrong size";

  const Bytes garbage = {'n', 'o', 't', ' ', 'a', 'n', ' ', 'i', 'm', 'a', 'g', 'e'};
  TTextureBitmap failing;
  failing.AssignPending(QSize(4, 4), {.Source = []() -> QImage { throw EBitmapLoadingFailed(); }},
                        garbage);
  EXPECT_TRUE(failing.Texture()->Pixels().isNull()) << "the device shows its placeholder";
  EXPECT_TRUE(failing.Texture()->Pixels().isNull()) << "and the bytes fail again";
}
