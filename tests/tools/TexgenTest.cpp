// The image generator: sizes, transparency, determinism, seams and poles, and that each picture
// has the character it should (bands, stars, a yellow Io...), at small sizes so the tests run
// quickly.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>

#include "tests/tools/DecodedImage.h"
#include "tests/tools/PngChunks.h"
#include "tools/texgen/Png.h"
#include "tools/texgen/Texgen.h"

namespace orvanth::texgen {
namespace {

using tests::DecodedImage;

DecodedImage Decoded(const Image& image) {
  DecodedImage d;
  d.width = image.width;
  d.height = image.height;
  d.rgba = image.rgba;
  return d;
}

struct Named {
  const char* name;
  Picture picture;
};

const Named kMaps[] = {{"planet", Picture::Planet},     {"io", Picture::Io},
                       {"europa", Picture::Europa},     {"ganymede", Picture::Ganymede},
                       {"callisto", Picture::Callisto}, {"stars", Picture::Stars}};

TEST(Texgen, MapsAreOpaqueAndOfTheAskedSize) {
  for (const Named& map : kMaps) {
    const Image image = Render(map.picture, 200, 100);
    ASSERT_EQ(image.width, 200) << map.name;
    ASSERT_EQ(image.height, 100) << map.name;
    ASSERT_EQ(image.rgba.size(), 200u * 100u * 4u) << map.name;
    bool opaque = true;
    for (std::size_t i = 3; i < image.rgba.size(); i += 4) opaque &= image.rgba[i] == 255;
    EXPECT_TRUE(opaque) << map.name << " has transparent pixels";
  }
}

TEST(Texgen, AboutAndIconsHaveSoftEdgesOnATransparentBackground) {
  const struct {
    const char* name;
    Picture picture;
    int width, height;
  } cases[] = {{"about", Picture::About, 381, 383},
               {"icon-16", Picture::Icon, 16, 16},
               {"icon-48", Picture::Icon, 48, 48},
               {"icon-256", Picture::Icon, 256, 256}};
  for (const auto& c : cases) {
    const DecodedImage image = Decoded(Render(c.picture, c.width, c.height));
    ASSERT_EQ(image.width, c.width) << c.name;
    ASSERT_EQ(image.height, c.height) << c.name;
    int clear = 0, solid = 0, partial = 0;
    for (int y = 0; y < image.height; ++y) {
      for (int x = 0; x < image.width; ++x) {
        const int a = image.At(x, y)[3];
        (a == 0 ? clear : a == 255 ? solid : partial)++;
      }
    }
    const int total = image.width * image.height;
    EXPECT_GT(clear, total / 10) << c.name << ": the background should be transparent";
    EXPECT_GT(solid, total / 4) << c.name << ": the planet should be opaque";
    EXPECT_GT(partial, 0) << c.name << ": outlines should be anti-aliased";
    // The corners are background; the centre is planet.
    EXPECT_EQ(image.At(0, 0)[3], 0) << c.name;
    EXPECT_EQ(image.At(image.width - 1, 0)[3], 0) << c.name;
    EXPECT_EQ(image.At(image.width / 2, image.height / 2)[3], 255) << c.name;
  }
}

TEST(Texgen, SameBytesEveryTimeWhateverTheNumberOfThreads) {
  const struct {
    const char* name;
    Picture picture;
    int width, height;
  } cases[] = {{"planet", Picture::Planet, 256, 128},    {"io", Picture::Io, 256, 128},
               {"europa", Picture::Europa, 256, 128},    {"ganymede", Picture::Ganymede, 180, 90},
               {"callisto", Picture::Callisto, 180, 90}, {"stars", Picture::Stars, 600, 300},
               {"about", Picture::About, 96, 96},        {"icon", Picture::Icon, 32, 32}};
  for (const auto& c : cases) {
    const Image once = Render(c.picture, c.width, c.height, 1);
    EXPECT_EQ(once.rgba, Render(c.picture, c.width, c.height, 1).rgba) << c.name;
    EXPECT_EQ(once.rgba, Render(c.picture, c.width, c.height, 2).rgba) << c.name;
    EXPECT_EQ(once.rgba, Render(c.picture, c.width, c.height, 5).rgba) << c.name;
  }
}

// Noise sampled on the sphere joins up where u = 0 meets u = 1 and shrinks to one colour at the
// poles; noise sampled in (u, v) would show a seam and streaks fanning out of the poles.
TEST(Texgen, MapsHaveNoSeamAndNoPinchedPoles) {
  for (const Named& map : kMaps) {
    const DecodedImage image = Decoded(Render(map.picture, 512, 256));
    EXPECT_LT(tests::SeamScore(image, map.picture == Picture::Stars ? 4 : 1), 0.25) << map.name;
    if (map.picture == Picture::Stars) continue;  // single stars may sit anywhere
    // A row's pixels lie on a circle of latitude; the first and last rows' circles are tiny, so
    // their pixels must be far more alike than those of an average row.
    double typical = 0;
    for (int y = 0; y < image.height; ++y) typical += tests::RowSpread(image, y) / image.height;
    EXPECT_GT(typical, 5.0) << map.name << ": the map should show detail";
    EXPECT_LT(tests::RowSpread(image, 0), typical * 0.6) << map.name << " north pole";
    EXPECT_LT(tests::RowSpread(image, image.height - 1), typical * 0.6)
        << map.name << " south pole";
  }
}

struct Statistics {
  double r = 0, g = 0, b = 0, luma = 0;
};

Statistics Mean(const DecodedImage& image) {
  Statistics s;
  const double n = static_cast<double>(image.width) * image.height;
  for (int y = 0; y < image.height; ++y) {
    for (int x = 0; x < image.width; ++x) {
      const std::uint8_t* p = image.At(x, y);
      s.r += p[0] / n;
      s.g += p[1] / n;
      s.b += p[2] / n;
      s.luma += image.Luma(x, y) / n;
    }
  }
  return s;
}

double Spread(const std::vector<double>& values) {
  double mean = 0;
  for (double v : values) mean += v / static_cast<double>(values.size());
  double variance = 0;
  for (double v : values) variance += (v - mean) * (v - mean) / static_cast<double>(values.size());
  return std::sqrt(variance);
}

TEST(Texgen, PlanetIsBandedByLatitude) {
  const DecodedImage image = Decoded(Render(Picture::Planet, 512, 256));
  std::vector<double> rows(image.height, 0.0), columns(image.width, 0.0);
  for (int y = 0; y < image.height; ++y) {
    for (int x = 0; x < image.width; ++x) {
      rows[y] += image.Luma(x, y) / image.width;
      columns[x] += image.Luma(x, y) / image.height;
    }
  }
  // Zones and belts: the brightness changes a lot from latitude to latitude, and far less from
  // longitude to longitude.
  EXPECT_GT(Spread(rows), 15.0);
  EXPECT_GT(Spread(rows), 4.0 * Spread(columns));
  // Warm cream to red-brown: more red than green than blue.
  const Statistics mean = Mean(image);
  EXPECT_GT(mean.r, mean.g + 10);
  EXPECT_GT(mean.g, mean.b + 10);
}

TEST(Texgen, StarFieldIsMostlyDarkWithStarsOfManyBrightnessesAndTints) {
  const DecodedImage image = Decoded(Render(Picture::Stars, 1200, 600));
  int dark = 0, bright = 0, faint = 0, bluish = 0, orange = 0;
  for (int y = 0; y < image.height; ++y) {
    for (int x = 0; x < image.width; ++x) {
      const std::uint8_t* p = image.At(x, y);
      const double luma = image.Luma(x, y);
      dark += luma < 40;
      // A local peak is a star: count faint and bright ones and their colours.
      bool peak = luma > 30;
      for (int dy = -1; dy <= 1 && peak; ++dy) {
        for (int dx = -1; dx <= 1 && peak; ++dx) {
          const int nx = (x + dx + image.width) % image.width;
          const int ny = std::clamp(y + dy, 0, image.height - 1);
          if ((dx || dy) && image.Luma(nx, ny) > luma) peak = false;
        }
      }
      if (!peak) continue;
      (luma > 200 ? bright : faint)++;
      bluish += p[2] > p[0] + 15;
      orange += p[0] > p[2] + 15;
    }
  }
  const int total = image.width * image.height;
  EXPECT_GT(dark, total * 9 / 10);
  EXPECT_GT(bright, 5);
  EXPECT_GT(faint, 10 * bright) << "most stars should be faint";
  EXPECT_GT(bluish, 5);
  EXPECT_GT(orange, 5);
}

TEST(Texgen, EachMoonHasItsOwnCharacter) {
  const Statistics io = Mean(Decoded(Render(Picture::Io, 256, 128)));
  const Statistics europa = Mean(Decoded(Render(Picture::Europa, 256, 128)));
  const Statistics ganymede = Mean(Decoded(Render(Picture::Ganymede, 256, 128)));
  const Statistics callisto = Mean(Decoded(Render(Picture::Callisto, 256, 128)));
  // Io: sulphur yellow, so red and green well above blue.
  EXPECT_GT(io.r, io.b + 50);
  EXPECT_GT(io.g, io.b + 40);
  // Europa: bright ice; Callisto: the darkest; Ganymede in between.
  EXPECT_GT(europa.luma, 170);
  EXPECT_LT(callisto.luma, 110);
  EXPECT_GT(ganymede.luma, callisto.luma + 10);
  EXPECT_LT(ganymede.luma, europa.luma - 30);
}

TEST(Texgen, RejectsSizesItCannotRender) {
  for (const auto& [w, h] : {std::pair{0, 10}, {10, 0}, {-4, 8}, {20000, 10}, {10, 20000}}) {
    EXPECT_THROW(Render(Picture::Planet, w, h), std::invalid_argument) << w << " x " << h;
  }
}

TEST(Texgen, EveryOutputFileHasAUniqueNameAndAValidSize) {
  std::vector<std::string_view> names;
  for (const OutputFile& file : OutputFiles()) {
    EXPECT_TRUE(file.name.ends_with(".png")) << file.name;
    EXPECT_GT(file.width, 0) << file.name;
    EXPECT_GT(file.height, 0) << file.name;
    names.push_back(file.name);
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ(std::adjacent_find(names.begin(), names.end()), names.end());
}

// Pixels given row by row as 0xRRGGBBAA.
Image Pixels(int width, int height, const std::vector<std::uint32_t>& values) {
  Image image(width, height);
  std::uint8_t* p = image.rgba.data();
  for (std::uint32_t v : values) {
    for (int shift : {24, 16, 8, 0}) *p++ = std::uint8_t(v >> shift);
  }
  return image;
}

std::uint32_t PixelAt(const Image& image, int x, int y) {
  const std::uint8_t* p = image.Row(y) + x * 4;
  return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | p[3];
}

TEST(Texgen, ShrinkAveragesEachBlockWeightingColoursByAlpha) {
  struct Case {
    const char* name;
    Image in;
    int factor;
    int width, height;
    std::vector<std::uint32_t> out;  // row by row
  };
  const Case cases[] = {
      {"two blocks, rounded to nearest",
       Pixels(4, 2,
              {0x000000FF, 0x020406FF, 0x101010FF, 0x202020FF,  //
               0x010101FF, 0x000000FF, 0x101010FF, 0x202020FF}),
       2,
       2,
       1,
       {0x010102FF, 0x181818FF}},
      {"a transparent pixel's colour counts for nothing",
       Pixels(2, 2, {0xFF0000FF, 0x00FF0000, 0x00FF0000, 0x00FF0000}),
       2,
       1,
       1,
       {0xFF000040}},
      {"a wholly transparent block", Pixels(2, 1, {0x12345600, 0x65432100}), 2, 1, 1, {0x00000000}},
      {"smaller than one block: one pixel of everything",
       Pixels(3, 1, {0x030303FF, 0x060606FF, 0x090909FF}),
       8,
       1,
       1,
       {0x060606FF}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Image small = Shrink(c.in, c.factor);
    ASSERT_EQ(small.width, c.width);
    ASSERT_EQ(small.height, c.height);
    for (int i = 0; i < c.width * c.height; ++i) {
      EXPECT_EQ(PixelAt(small, i % c.width, i / c.width), c.out[std::size_t(i)])
          << std::hex << "pixel " << i;
    }
  }
  EXPECT_THROW(Shrink(Pixels(1, 1, {0}), 0), std::invalid_argument);
}

TEST(Texgen, ShrinkMapGivesBothEdgeColumnsTheirMean) {
  // Sixteen columns, each its own grey (10 per column), shrunk four times: blocks of 15, 55,
  // 95 and 135. Shrink alone leaves 15 and 135 to meet at the seam.
  std::vector<std::uint32_t> opaque, leftClear;
  for (int y = 0; y < 4; ++y) {
    for (std::uint32_t x = 0; x < 16; ++x) {
      const std::uint32_t grey = (10 * x) * 0x01010100u | 0xFF;
      opaque.push_back(grey);
      leftClear.push_back(x < 4 ? 0 : grey);
    }
  }
  struct Case {
    const char* name;
    Image in;
    std::vector<std::uint32_t> out;
  };
  const Case cases[] = {
      {"opaque", Pixels(16, 4, opaque), {0x4B4B4BFF, 0x373737FF, 0x5F5F5FFF, 0x4B4B4BFF}},
      {"a transparent edge block lends no colour",
       Pixels(16, 4, leftClear),
       {0x87878780, 0x373737FF, 0x5F5F5FFF, 0x87878780}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Image small = ShrinkMap(c.in, 4);
    ASSERT_EQ(small.width, 4);
    ASSERT_EQ(small.height, 1);
    for (int x = 0; x < 4; ++x) EXPECT_EQ(PixelAt(small, x, 0), c.out[std::size_t(x)]) << x;
  }
}

TEST(Texgen, SmallVersionsAreAnEighthOfEachSideAndLookLikeTheirMap) {
  struct Case {
    int width, height;
    int smallWidth, smallHeight;
  };
  // Sides that do not divide evenly are rounded; every pixel still lands in one block.
  const Case cases[] = {{6000, 3000, 750, 375}, {1800, 900, 225, 113}, {20, 12, 3, 2}};
  for (const Case& c : cases) {
    Image flat(c.width, c.height);
    for (std::size_t i = 0; i < flat.rgba.size(); i += 4) {
      flat.rgba[i] = 40, flat.rgba[i + 1] = 90, flat.rgba[i + 2] = 200, flat.rgba[i + 3] = 255;
    }
    const Image small = Shrink(flat, kSmallFactor);
    EXPECT_EQ(small.width, c.smallWidth) << c.width;
    EXPECT_EQ(small.height, c.smallHeight) << c.height;
    EXPECT_EQ(PixelAt(small, small.width - 1, small.height - 1), 0x285AC8FFu)
        << "the last block is as full as the others";
  }
  for (const OutputFile& file : OutputFiles()) {
    const bool map = file.picture != Picture::About && file.picture != Picture::Icon;
    EXPECT_EQ(file.small, map) << file.name << ": maps, and only maps, get a small version";
  }
  EXPECT_EQ(SmallFileName("planet.png"), "planet-small.png");
}

TEST(Png, RoundTripsThroughAnIndependentDecoder) {
  const Image image = Render(Picture::About, 40, 30);
  for (int level : {0, 4, 9}) {
    const std::vector<std::uint8_t> png = EncodePng(image, level);
    const DecodedImage decoded = tests::DecodePng(png);
    EXPECT_EQ(decoded.width, 40);
    EXPECT_EQ(decoded.height, 30);
    EXPECT_EQ(decoded.bitDepth, 8);
    EXPECT_EQ(decoded.colourType, SPNG_COLOR_TYPE_TRUECOLOR_ALPHA);
    EXPECT_EQ(decoded.interlace, SPNG_INTERLACE_NONE);
    EXPECT_EQ(decoded.rgba, image.rgba) << "level " << level;
  }
}

TEST(Png, RefusesAnImageWhosePixelsDoNotMatchItsSizeAndAnUnknownLevel) {
  Image image(4, 4);
  image.rgba.resize(10);
  EXPECT_THROW(EncodePng(image), std::runtime_error);
  EXPECT_THROW(EncodePng(Image()), std::runtime_error);
  EXPECT_THROW(EncodePng(Image(4, 4), 10), std::runtime_error);
}

// Colour type by content, then the strip layout a reader relies on to decode strips apart:
// one stRP chunk with the strip height before one IDAT per strip, each strip's deflate data
// inflating on its own (a full flush before the next) to exactly its rows, and the first row
// of every strip filtered without the row above. libspng reads the whole file back.
TEST(Png, StripsAreSeparateDeflateStreamsInTheirOwnChunks) {
  struct Case {
    int width, height;
    bool opaque;
    int level;
  } const cases[] = {{1, 1, true, 4},     {5, 63, false, 9},   {33, 64, true, 0},
                     {70, 65, false, 4},  {129, 200, true, 6}, {256, 128, true, 1},
                     {300, 257, false, 4}};
  int filterUses[5] = {};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.width) + " x " + std::to_string(c.height));
    Image image = Render(c.opaque ? Picture::Io : Picture::About, c.width, c.height);
    // About is drawn on a transparent background; one clear pixel makes tiny ones RGBA too.
    if (!c.opaque) image.rgba[3] = 0;
    const std::vector<std::uint8_t> png = EncodePng(image, c.level);
    const DecodedImage decoded = tests::DecodePng(png);
    EXPECT_EQ(decoded.rgba, image.rgba);
    EXPECT_EQ(decoded.colourType,
              c.opaque ? SPNG_COLOR_TYPE_TRUECOLOR : SPNG_COLOR_TYPE_TRUECOLOR_ALPHA);

    const std::vector<tests::PngChunk> chunks = tests::ReadPngChunks(png);
    const std::size_t strips = (c.height + kPngStripHeight - 1) / kPngStripHeight;
    ASSERT_EQ(chunks.size(), strips + 3);
    EXPECT_EQ(chunks[0].type, "IHDR");
    ASSERT_EQ(chunks[1].type, "stRP");
    ASSERT_EQ(chunks[1].data.size(), 4u);
    EXPECT_EQ(tests::ReadBigEndian32(chunks[1].data.data()), std::uint32_t(kPngStripHeight));
    EXPECT_EQ(chunks.back().type, "IEND");
    const std::size_t rowBytes = std::size_t(c.width) * (c.opaque ? 3 : 4);
    for (std::size_t s = 0; s < strips; ++s) {
      const tests::PngChunk& chunk = chunks[2 + s];
      ASSERT_EQ(chunk.type, "IDAT") << "strip " << s;
      EXPECT_EQ(chunk.crc, tests::ChunkCrc(chunk.type, chunk.data)) << "strip " << s;
      std::span<const std::uint8_t> deflated = chunk.data;
      if (s == 0) deflated = deflated.subspan(2);                           // zlib header
      if (s + 1 == strips) deflated = deflated.first(deflated.size() - 4);  // Adler-32
      // A fresh raw inflater knows nothing of earlier strips.
      const tests::Bytes raw = tests::Inflate(deflated, -15);
      const int rows = std::min(kPngStripHeight, c.height - int(s) * kPngStripHeight);
      ASSERT_EQ(raw.size(), std::size_t(rows) * (rowBytes + 1)) << "strip " << s;
      EXPECT_LE(raw[0], 1) << "strip " << s << " starts with a filter that needs the row above";
      for (int r = 0; r < rows; ++r) {
        const std::uint8_t filter = raw[std::size_t(r) * (rowBytes + 1)];
        ASSERT_LE(filter, 4);
        ++filterUses[filter];
      }
      if (s + 1 < strips) {
        const std::uint8_t flushMarker[4] = {0x00, 0x00, 0xFF, 0xFF};
        EXPECT_TRUE(std::equal(flushMarker, flushMarker + 4, deflated.end() - 4))
            << "strip " << s << " does not end with a full flush";
      }
    }
  }
  for (int f = 0; f < 5; ++f) EXPECT_GT(filterUses[f], 0) << "filter " << f << " never chosen";
}

class WriteFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = std::filesystem::temp_directory_path() /
              ("texgen-test-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
               "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(folder_);
    std::filesystem::create_directories(folder_);
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }

  static std::string Read(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  std::filesystem::path folder_;
};

TEST_F(WriteFileTest, ReplacesTheFileAndLeavesNoTemporaryBehind) {
  const auto path = folder_ / "a.png";
  std::ofstream(path) << "old contents";
  const std::vector<std::uint8_t> bytes = {1, 2, 3, 0, 255};
  WriteFileAtomically(path, bytes);
  EXPECT_EQ(Read(path), std::string("\x01\x02\x03\x00\xff", 5));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder_), {}), 1);
}

TEST_F(WriteFileTest, AFailedWriteKeepsTheOldFileAndNamesThePath) {
  const auto path = folder_ / "kept.png";
  std::ofstream(path) << "old contents";
  // The temporary file cannot be created where a folder of that name stands.
  std::filesystem::create_directory(folder_ / "kept.png.part");
  try {
    WriteFileAtomically(path, std::vector<std::uint8_t>{1, 2, 3});
    FAIL() << "the write should have failed";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find(path.string()), std::string::npos) << e.what();
  }
  EXPECT_EQ(Read(path), "old contents");
}

TEST_F(WriteFileTest, IntoAMissingFolderFailsWithAMessage) {
  const auto path = folder_ / "missing" / "x.png";
  EXPECT_THROW(WriteFileAtomically(path, std::vector<std::uint8_t>{1}), std::runtime_error);
  EXPECT_FALSE(std::filesystem::exists(folder_ / "missing"));
}

}  // namespace
}  // namespace orvanth::texgen
