#include <gtest/gtest.h>

#include "runtime3d/material/ImageOpacity.h"
#include "runtime3d/material/Material.h"
#include "runtime3d/material/Texture.h"
#include "runtime3d/material/TextureBitmap.h"
#include "tests/runtime3d/material/EncodeWithQt.h"

using namespace rt3d;
using rt3d::test::EncodeWithQt;

namespace {

using Bytes = std::vector<std::uint8_t>;

QImage Filled(QImage::Format format) {
  QImage image(4, 3, format);
  if (format == QImage::Format_Indexed8) {
    image.setColorTable({qRgb(10, 20, 30), qRgb(40, 50, 60)});
    image.fill(1);
  } else {
    image.fill(qRgb(10, 20, 30));
  }
  return image;
}

// The same bytes with a chunk of the given type (its CRC left zero: the header check does
// not read CRCs) inserted right after the header chunk.
Bytes WithChunkAfterHeader(Bytes png, const char* type) {
  const std::size_t afterHeader = 8 + 12 + 13;
  const Bytes chunk = {0,
                       0,
                       0,
                       1,
                       std::uint8_t(type[0]),
                       std::uint8_t(type[1]),
                       std::uint8_t(type[2]),
                       std::uint8_t(type[3]),
                       0,
                       0,
                       0,
                       0,
                       0};
  png.insert(png.begin() + afterHeader, chunk.begin(), chunk.end());
  return png;
}

TEST(StoredImageIsOpaque, OnlyAlphaFreePngsWithoutTransparencyChunk) {
  const Bytes rgb = EncodeWithQt(Filled(QImage::Format_RGB32));
  const Bytes truncated(rgb.begin(), rgb.begin() + 30);
  Bytes lying = rgb;
  lying[8 + 3] = 0xFF;  // header chunk length far beyond the file
  const struct {
    const char* what;
    Bytes bytes;
    bool opaque;
  } cases[] = {
      {"RGB", rgb, true},
      {"grey", EncodeWithQt(Filled(QImage::Format_Grayscale8)), true},
      {"RGBA", EncodeWithQt(Filled(QImage::Format_ARGB32)), false},
      {"palette", EncodeWithQt(Filled(QImage::Format_Indexed8)), false},
      {"RGB with a transparent colour", WithChunkAfterHeader(rgb, "tRNS"), false},
      {"RGB with another chunk first", WithChunkAfterHeader(rgb, "tEXt"), true},
      {"cut before its image data", truncated, false},
      {"chunk longer than the file", lying, false},
      {"not a PNG", Bytes{'G', 'I', 'F', '8', '9', 'a', 0, 0, 0, 0, 0, 0}, false},
      {"empty", Bytes{}, false},
  };
  for (const auto& c : cases) EXPECT_EQ(StoredImageIsOpaque(c.bytes), c.opaque) << c.what;
}

TEST(TextureOpacity, ComesFromTheImageFormatOrTheStoredHeader) {
  TTexture texture;
  EXPECT_FALSE(texture.IsOpaque());
  texture.SetPixels(Filled(QImage::Format_RGB32));
  EXPECT_TRUE(texture.IsOpaque()) << "a format without alpha";
  texture.SetPixels(Filled(QImage::Format_ARGB32));
  EXPECT_FALSE(texture.IsOpaque()) << "alpha not looked at pixel by pixel";
  texture.SetPixels(Filled(QImage::Format_ARGB32), true);
  EXPECT_TRUE(texture.IsOpaque()) << "the caller knows better";
  texture.SetSize(8, 8);
  EXPECT_FALSE(texture.IsOpaque()) << "new content without pixels";

  const Bytes rgb = EncodeWithQt(Filled(QImage::Format_RGB32));
  const Bytes rgba = EncodeWithQt(Filled(QImage::Format_ARGB32));
  TTextureBitmap bitmap;
  bitmap.LoadFromEmbedded(rgb);
  EXPECT_TRUE(bitmap.Texture()->IsOpaque()) << "decoded to a format with alpha all the same";
  bitmap.LoadFromEmbedded(rgba);
  EXPECT_FALSE(bitmap.Texture()->IsOpaque());
  bitmap.AssignPending(QSize(4, 3), {.Source = [] { return QImage(); }}, rgb);
  EXPECT_TRUE(bitmap.Texture()->IsOpaque()) << "known before the pixels arrive";
}

TEST(MaterialOpacity, OnlyAnOpaqueTextureOrNoTextureWithLightingIsOpaque) {
  TTexture opaque, translucent, empty;
  opaque.SetPixels(Filled(QImage::Format_RGB32));
  translucent.SetPixels(Filled(QImage::Format_ARGB32));
  TLightMaterial lit;
  EXPECT_TRUE(lit.IsOpaque()) << "lit and unlit colours have alpha 1";
  lit.Texture = &opaque;
  EXPECT_TRUE(lit.IsOpaque());
  lit.Texture = &translucent;
  EXPECT_FALSE(lit.IsOpaque());
  lit.Texture = &empty;
  EXPECT_TRUE(lit.IsOpaque()) << "an empty texture is not used";

  TTextureMaterial textured;
  EXPECT_FALSE(textured.IsOpaque()) << "no texture: nothing to tell";
  textured.Texture = &opaque;
  EXPECT_TRUE(textured.IsOpaque());
  textured.Texture = &translucent;
  EXPECT_FALSE(textured.IsOpaque());
}

}  // namespace
