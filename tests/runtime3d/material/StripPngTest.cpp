// The strip decoding path for the PNGs texgen writes: same pixels as Qt's reader, in one go
// and as a parallel batch, and for damaged or unexpected files exactly Qt's outcome (its
// image or EBitmapLoadingFailed), never a crash.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <random>
#include <set>
#include <string>

#include <QThread>
#include <QThreadPool>

#include "runtime3d/core/Exceptions.h"
#include "runtime3d/material/ImageDecoding.h"
#include "runtime3d/material/StripPng.h"
#include "tests/runtime3d/material/EncodeWithQt.h"
#include "tests/tools/PngChunks.h"
#include "tools/texgen/Png.h"
#include "tools/texgen/Texgen.h"

using namespace rt3d;
using orvanth::texgen::EncodePng;
using orvanth::texgen::Image;
using orvanth::texgen::kPngStripHeight;
using orvanth::texgen::Picture;
using orvanth::texgen::Render;
using rt3d::test::EncodeWithQt;
namespace tests = orvanth::tests;
using Bytes = tests::Bytes;

namespace {

// Qt's outcome or ours: an image, or no value for EBitmapLoadingFailed.
std::optional<QImage> Outcome(const std::function<QImage()>& decode) {
  try {
    return decode();
  } catch (const EBitmapLoadingFailed&) {
    return std::nullopt;
  }
}

void ExpectSameOutcome(const std::optional<QImage>& actual, const std::optional<QImage>& qt,
                       const std::string& what) {
  ASSERT_EQ(actual.has_value(), qt.has_value())
      << what << (qt ? ": Qt decodes it" : ": Qt refuses it");
  if (!qt) return;
  EXPECT_EQ(actual->format(), QImage::Format_ARGB32_Premultiplied) << what;
  EXPECT_EQ(actual->size(), qt->size()) << what;
  EXPECT_TRUE(*actual == *qt) << what << ": other pixels than Qt's";
}

// Every channel value at every alpha: x is red (and 255 - green), y is alpha.
Image AllColoursAtAllAlphas() {
  Image image(256, 256);
  for (int y = 0; y < 256; ++y) {
    for (int x = 0; x < 256; ++x) {
      std::uint8_t* p = image.Row(y) + x * 4;
      p[0] = std::uint8_t(x);
      p[1] = std::uint8_t(255 - x);
      p[2] = std::uint8_t(x * 7);
      p[3] = std::uint8_t(y);
    }
  }
  return image;
}

// texgen's pictures: the opaque map is written as RGB, the one on a transparent background
// (with soft edges) as RGBA.
Image Opaque(int width, int height) {
  return Render(Picture::Io, width, height);
}
Image Transparent(int width, int height) {
  Image image = Render(Picture::About, width, height);
  image.rgba[3] = 90;  // so that even the smallest has a partly transparent pixel
  return image;
}

// The filter type of every row, read with zlib.
std::set<int> FiltersUsed(const Bytes& png) {
  Bytes stream;
  int rowBytes = 0;
  for (const tests::PngChunk& chunk : tests::ReadPngChunks(png)) {
    if (chunk.type == "IHDR") {
      rowBytes = int(tests::ReadBigEndian32(chunk.data.data())) * (chunk.data[9] == 6 ? 4 : 3);
    }
    if (chunk.type == "IDAT") stream.insert(stream.end(), chunk.data.begin(), chunk.data.end());
  }
  const Bytes raw = tests::Inflate(stream, 15);
  std::set<int> filters;
  for (std::size_t i = 0; i < raw.size(); i += std::size_t(rowBytes) + 1) filters.insert(raw[i]);
  return filters;
}

std::size_t IndexOf(const std::vector<tests::PngChunk>& chunks, const std::string& type) {
  return std::size_t(std::find_if(chunks.begin(), chunks.end(),
                                  [&](const tests::PngChunk& c) { return c.type == type; }) -
                     chunks.begin());
}

// PNG filters applied to one row, for files made by hand below.
void FilterRow(int filter, const std::uint8_t* row, const std::uint8_t* above, std::size_t n,
               int bpp, Bytes& out) {
  out.push_back(std::uint8_t(filter));
  for (std::size_t i = 0; i < n; ++i) {
    const int a = i >= std::size_t(bpp) ? row[i - bpp] : 0;
    const int b = above ? above[i] : 0;
    const int c = above && i >= std::size_t(bpp) ? above[i - bpp] : 0;
    const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
    const int paeth = pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
    const int predictions[5] = {0, a, b, (a + b) / 2, paeth};
    out.push_back(std::uint8_t(row[i] - (filter <= 4 ? predictions[filter] : 0)));
  }
}

// An RGB file of the writer's layout made by hand, with a chosen filter for every row and a
// chosen flush between strips: files the writer never makes.
Bytes HandMadeStripPng(const Image& image, const std::function<int(int row)>& filterOf, int flush) {
  const std::size_t rowBytes = std::size_t(image.width) * 3;
  std::vector<tests::PngChunk> chunks(2);
  chunks[0].type = "IHDR";
  tests::AppendBigEndian32(chunks[0].data, std::uint32_t(image.width));
  tests::AppendBigEndian32(chunks[0].data, std::uint32_t(image.height));
  chunks[0].data.insert(chunks[0].data.end(), {8, 2, 0, 0, 0});
  chunks[1].type = "stRP";
  tests::AppendBigEndian32(chunks[1].data, std::uint32_t(kPngStripHeight));
  z_stream stream{};
  deflateInit(&stream, 6);
  Bytes row(rowBytes), above(rowBytes);
  for (int top = 0; top < image.height; top += kPngStripHeight) {
    Bytes raw;
    for (int y = top; y < std::min(image.height, top + kPngStripHeight); ++y) {
      for (int x = 0; x < image.width; ++x) std::copy_n(image.Row(y) + x * 4, 3, &row[x * 3]);
      FilterRow(filterOf(y), row.data(), y > 0 ? above.data() : nullptr, rowBytes, 3, raw);
      std::swap(row, above);
    }
    const bool last = top + kPngStripHeight >= image.height;
    Bytes out(deflateBound(&stream, uLong(raw.size())) + 64);
    stream.next_in = raw.data();
    stream.avail_in = uInt(raw.size());
    stream.next_out = out.data();
    stream.avail_out = uInt(out.size());
    EXPECT_EQ(deflate(&stream, last ? Z_FINISH : flush), last ? Z_STREAM_END : Z_OK);
    EXPECT_NE(stream.avail_out, 0u);
    out.resize(out.size() - stream.avail_out);
    chunks.push_back({"IDAT", out, 0});
  }
  deflateEnd(&stream);
  chunks.push_back({"IEND", {}, 0});
  return tests::WritePng(chunks);
}

}  // namespace

TEST(StripPng, DecodesTexgensFilesToQtsPixels) {
  struct Case {
    const char* name;
    Image image;
  };
  const Case cases[] = {
      {"1 x 1 RGB", Opaque(1, 1)},
      {"1 x 1 RGBA", Transparent(1, 1)},
      {"odd width, less than a strip", Transparent(17, 5)},
      {"exactly one strip", Opaque(31, kPngStripHeight)},
      {"one row more than a strip", Transparent(45, kPngStripHeight + 1)},
      {"many strips, the last one short", Opaque(257, 5 * kPngStripHeight - 20)},
      {"many strips, the last one full", Transparent(99, 4 * kPngStripHeight)},
      {"every colour at every alpha", AllColoursAtAllAlphas()},
  };
  std::set<int> filters;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Bytes png = EncodePng(c.image);
    const QImage fast = DecodeStripPng(png);
    ASSERT_FALSE(fast.isNull()) << "the fast path refused texgen's file";
    ExpectSameOutcome(fast, Outcome([&] { return DecodeImageWithQt(png); }), c.name);
    EXPECT_TRUE(DecodeImage(png) == fast);
    const std::set<int> used = FiltersUsed(png);
    filters.insert(used.begin(), used.end());
  }
  EXPECT_EQ(filters, (std::set<int>{0, 1, 2, 3, 4})) << "some unfiltering went untested";
}

TEST(StripPng, StripChecksumsCombineLikeOneChecksumOverAllBytes) {
  std::mt19937 random(7);
  Bytes bytes(300000);
  for (auto& b : bytes) b = std::uint8_t(random());
  std::fill(bytes.begin() + 100000, bytes.begin() + 170000, 0xFF);  // the largest sums
  const auto adler = [](const std::uint8_t* p, std::size_t n) {
    return std::uint32_t(adler32(adler32(0, nullptr, 0), p, uInt(n)));
  };
  for (std::size_t split : {0, 1, 65520, 65521, 65522, 100000, 170001, 299999, 300000}) {
    const std::uint32_t combined =
        Adler32Combine(adler(bytes.data(), split),
                       adler(bytes.data() + split, bytes.size() - split), bytes.size() - split);
    EXPECT_EQ(combined, adler(bytes.data(), bytes.size())) << "split at " << split;
  }
}

TEST(StripPng, FilesWithoutTheStripChunkGoTheQtWay) {
  std::vector<tests::PngChunk> chunks = tests::ReadPngChunks(EncodePng(Transparent(40, 150)));
  chunks.erase(chunks.begin() + std::ptrdiff_t(IndexOf(chunks, "stRP")));
  const Bytes withoutStrips = tests::WritePng(chunks);
  const Bytes qtWritten = EncodeWithQt(QImage(40, 150, QImage::Format_ARGB32));
  for (const Bytes* png : {&withoutStrips, &qtWritten}) {
    EXPECT_TRUE(DecodeStripPng(*png).isNull());
    EXPECT_FALSE(ParseStripPng(*png).has_value());
    ExpectSameOutcome(Outcome([&] { return DecodeImage(*png); }),
                      Outcome([&] { return DecodeImageWithQt(*png); }), "no stRP");
  }
}

TEST(StripPng, DecodedSizeComesFromTheHeader) {
  const Bytes strips = EncodePng(Opaque(70, 200));
  Bytes truncated(strips.begin(), strips.begin() + std::ptrdiff_t(strips.size() / 2));
  QImage wide(16400, 8, QImage::Format_RGB32);
  wide.fill(Qt::gray);
  const std::pair<const char*, Bytes> decodable[] = {
      {"strip PNG", strips},
      {"Qt's PNG", EncodeWithQt(QImage(13, 7, QImage::Format_ARGB32))},
      {"beyond the size limit", EncodeWithQt(wide)},
      {"BMP", EncodeWithQt(QImage(9, 4, QImage::Format_RGB32), "bmp")},
  };
  for (const auto& [name, bytes] : decodable) {
    EXPECT_EQ(DecodedImageSize(bytes), DecodeImage(bytes).size()) << name;
  }
  // The header alone tells the size even when the pixel data is cut off.
  EXPECT_EQ(DecodedImageSize(truncated), QSize(70, 200));
  for (const Bytes& unknown :
       {Bytes{}, Bytes{1, 2, 3}, Bytes(tests::kPngSignature, tests::kPngSignature + 8)}) {
    EXPECT_FALSE(DecodedImageSize(unknown).isValid()) << unknown.size() << " bytes";
  }
}

// Damage and surprises of every kind, each compared with Qt's own outcome, one by one and in one
// batch. Where the fast path must give up, it is checked that it does.
TEST(StripPng, DamagedOrUnusualFilesGiveQtsOutcome) {
  const int width = 61, height = 5 * kPngStripHeight - 20;
  // A map seen through varying alpha: every strip holds plenty of compressed data.
  Image translucent = Opaque(width, height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x)
      translucent.Row(y)[x * 4 + 3] = std::uint8_t(255 - (x + y) % 200);
  }
  const Bytes base = EncodePng(translucent);
  const std::vector<tests::PngChunk> chunks = tests::ReadPngChunks(base);
  const std::size_t firstStrip = IndexOf(chunks, "IDAT");
  ASSERT_EQ(chunks.size() - firstStrip, 6u) << "five strips and IEND";
  const std::size_t lastStrip = firstStrip + 4;

  enum class Fast { MustRefuse, MustTake };
  struct Case {
    std::string name;
    Bytes bytes;
    Fast fast;
  };
  std::vector<Case> cases;
  // Edits the chunks; the CRCs are written correct unless `crcs` says to keep the stored ones.
  const auto edited = [&](const std::function<void(std::vector<tests::PngChunk>&)>& edit,
                          tests::Crcs crcs = tests::Crcs::Computed) {
    std::vector<tests::PngChunk> copy = chunks;
    edit(copy);
    return tests::WritePng(copy, crcs);
  };
  const auto add = [&](std::string name, Bytes bytes, Fast fast = Fast::MustRefuse) {
    cases.push_back({std::move(name), std::move(bytes), fast});
  };
  const auto setStripHeight = [](std::uint32_t height) {
    return [height](std::vector<tests::PngChunk>& c) {
      c[1].data.clear();
      tests::AppendBigEndian32(c[1].data, height);
    };
  };

  add("unchanged", base, Fast::MustTake);
  add("bad CRC of a strip",
      edited([&](auto& c) { c[firstStrip + 2].crc ^= 1; }, tests::Crcs::AsStored));
  add("bad CRC of the strip chunk", edited([](auto& c) { c[1].crc ^= 1; }, tests::Crcs::AsStored));
  add("bad CRC of the header", edited([](auto& c) { c[0].crc ^= 1; }, tests::Crcs::AsStored));
  for (const std::size_t strip : {firstStrip, firstStrip + 1, lastStrip}) {
    const std::string which = "strip " + std::to_string(strip - firstStrip);
    add("flipped byte in the middle of " + which,
        edited([&](auto& c) { c[strip].data[c[strip].data.size() / 2] ^= 0x55; }));
    add("flipped byte near the start of " + which,
        edited([&](auto& c) { c[strip].data[strip == firstStrip ? 2 : 0] ^= 0x10; }));
  }
  add("flipped byte in the full-flush marker",
      edited([&](auto& c) { c[firstStrip + 1].data.back() ^= 0x01; }));
  add("damaged zlib header", edited([&](auto& c) { c[firstStrip].data[0] = 0x79; }));
  add("wrong Adler-32", edited([&](auto& c) { c[lastStrip].data.back() ^= 0x01; }));
  add("two strips in one chunk", edited([&](auto& c) {
        auto& next = c[firstStrip + 2].data;
        c[firstStrip + 1].data.insert(c[firstStrip + 1].data.end(), next.begin(), next.end());
        c.erase(c.begin() + std::ptrdiff_t(firstStrip + 2));
      }));
  add("a strip over two chunks", edited([&](auto& c) {
        tests::PngChunk second = c[firstStrip + 1];
        const std::size_t half = second.data.size() / 2;
        second.data.erase(second.data.begin(), second.data.begin() + std::ptrdiff_t(half));
        c[firstStrip + 1].data.resize(half);
        c.insert(c.begin() + std::ptrdiff_t(firstStrip + 2), second);
      }));
  add("a strip missing",
      edited([&](auto& c) { c.erase(c.begin() + std::ptrdiff_t(firstStrip + 1)); }));
  add("strips in the wrong order",
      edited([&](auto& c) { std::swap(c[firstStrip + 1], c[firstStrip + 2]); }));
  // Heights that give the same number of strips with other rows in each, or another number.
  for (const std::uint32_t rows : {1u, 32u, 60u, 70u, 0u, 0x80000000u, 0xFFFFFFFFu}) {
    add("strip height " + std::to_string(rows), edited(setStripHeight(rows)));
  }
  add("strip chunk after the first strip", edited([&](auto& c) {
        std::rotate(c.begin() + 1, c.begin() + 2, c.begin() + std::ptrdiff_t(firstStrip + 1));
      }));
  add("two strip chunks", edited([](auto& c) { c.insert(c.begin() + 1, c[1]); }));
  add("strip chunk of 3 bytes", edited([](auto& c) { c[1].data.pop_back(); }));
  const auto header = [](std::size_t at, std::uint8_t value) {
    return [at, value](std::vector<tests::PngChunk>& c) { c[0].data[at] = value; };
  };
  const auto size = [](int w, int h) {
    return [w, h](std::vector<tests::PngChunk>& c) {
      Bytes words;
      tests::AppendBigEndian32(words, std::uint32_t(w));
      tests::AppendBigEndian32(words, std::uint32_t(h));
      std::copy(words.begin(), words.end(), c[0].data.begin());
    };
  };
  add("width 0", edited(size(0, height)));
  add("height 0", edited(size(width, 0)));
  add("one pixel wider", edited(size(width + 1, height)));
  add("a strip higher", edited(size(width, height + kPngStripHeight)));
  add("beyond the size limit", edited(size(width, kMaxBitmapSize + 1)));
  add("RGB colour type on RGBA data", edited(header(9, 2)));
  add("16 bits a channel", edited(header(8, 16)));
  add("interlaced", edited(header(12, 1)));
  add("a text chunk", edited([](auto& c) {
        c.insert(c.begin() + 2, tests::PngChunk{"tEXt", {'k', 0, 'v'}, 0});
      }));
  add("no IEND", edited([](auto& c) { c.pop_back(); }));
  Bytes trailing = base;
  trailing.insert(trailing.end(), {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13});
  add("bytes after IEND", trailing, Fast::MustTake);
  std::size_t stripOffset = 8;
  for (std::size_t i = 0; i < firstStrip + 1; ++i) stripOffset += 12 + chunks[i].data.size();
  for (const std::size_t cut :
       {std::size_t(0), std::size_t(7), std::size_t(8), std::size_t(20), std::size_t(40),
        stripOffset - 5, stripOffset + 100, base.size() / 2, base.size() - 12, base.size() - 1}) {
    add("cut to " + std::to_string(cut) + " bytes",
        Bytes(base.begin(), base.begin() + std::ptrdiff_t(cut)));
  }
  std::mt19937 random(11);
  Bytes garbage(5000);
  for (auto& b : garbage) b = std::uint8_t(random());
  add("garbage", garbage);
  std::copy(tests::kPngSignature, tests::kPngSignature + 8, garbage.begin());
  add("signature then garbage", garbage);

  // Files the writer never makes, built by hand; the first is the good layout, to show the
  // hand-made ones are accepted unless damaged.
  Image repeating = Opaque(50, 3 * kPngStripHeight);
  for (int y = kPngStripHeight; y < repeating.height; ++y) {
    std::copy_n(repeating.Row(y % kPngStripHeight), repeating.width * 4, repeating.Row(y));
  }
  const auto firstRowOfStrip = [](int y) { return y % kPngStripHeight == 0; };
  add("hand-made",
      HandMadeStripPng(
          repeating, [&](int y) { return firstRowOfStrip(y) ? 1 : 2; }, Z_FULL_FLUSH),
      Fast::MustTake);
  for (const int filter : {2, 3, 4}) {
    add("filter " + std::to_string(filter) + " on the first row of a strip",
        HandMadeStripPng(
            repeating, [&](int y) { return y == 0 ? 0 : filter; }, Z_FULL_FLUSH));
  }
  add("unknown filter type", HandMadeStripPng(
                                 repeating, [](int y) { return y == 70 ? 5 : 0; }, Z_FULL_FLUSH));
  // Without the full flush, the repeated strips are compressed as references to earlier ones.
  add("strips referring to earlier strips",
      HandMadeStripPng(
          repeating, [&](int y) { return firstRowOfStrip(y) ? 0 : 2; }, Z_SYNC_FLUSH));

  std::vector<std::optional<QImage>> qt;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    qt.push_back(Outcome([&] { return DecodeImageWithQt(c.bytes); }));
    EXPECT_EQ(DecodeStripPng(c.bytes).isNull(), c.fast == Fast::MustRefuse);
    ExpectSameOutcome(Outcome([&] { return DecodeImage(c.bytes); }), qt.back(), c.name);
    DecodedImageSize(c.bytes);  // must not crash either
  }
  std::vector<std::span<const std::uint8_t>> sources;
  for (const Case& c : cases) sources.push_back(c.bytes);
  TDecodeBatch batch(sources);
  // Last first: the later images wait for their strips while others still run.
  for (std::size_t i = cases.size(); i-- > 0;) {
    ExpectSameOutcome(Outcome([&] { return batch.Take(i); }), qt[i], "batch: " + cases[i].name);
  }
}

TEST(DecodeBatch, StripImagesComeOutAsFromDecodeImage) {
  std::vector<Bytes> files = {
      EncodePng(Opaque(300, 7 * kPngStripHeight + 3)),
      EncodePng(Transparent(33, 2 * kPngStripHeight)),
      EncodeWithQt(QImage(12, 12, QImage::Format_ARGB32)),
      EncodePng(AllColoursAtAllAlphas()),
      EncodePng(Opaque(1, 1)),
  };
  // Damaged in its third strip (the CRC fixed): the batch must fall back for this image only.
  std::vector<tests::PngChunk> chunks = tests::ReadPngChunks(EncodePng(Opaque(64, 400)));
  chunks[IndexOf(chunks, "IDAT") + 2].data[30] ^= 0xFF;
  files.push_back(tests::WritePng(chunks));
  const std::vector<std::span<const std::uint8_t>> sources(files.begin(), files.end());
  for (const bool inOrder : {true, false}) {
    TDecodeBatch batch(sources);
    ASSERT_EQ(batch.Count(), files.size());
    for (std::size_t k = 0; k < files.size(); ++k) {
      const std::size_t i = inOrder ? k : files.size() - 1 - k;
      ExpectSameOutcome(Outcome([&] { return batch.Take(i); }),
                        Outcome([&] { return DecodeImage(files[i]); }),
                        "image " + std::to_string(i));
    }
  }
  // All but the damaged one, which fails the whole call.
  const auto decodable = std::span(sources).first(sources.size() - 1);
  const std::vector<QImage> all = DecodeImagesInParallel(decodable);
  for (std::size_t i = 0; i < decodable.size(); ++i) {
    EXPECT_TRUE(all[i] == DecodeImage(files[i])) << "image " << i;
  }
}

TEST(DecodeBatch, CanGoAwayWithStripImagesNotTaken) {
  const Bytes big = EncodePng(Opaque(400, 20 * kPngStripHeight));
  std::vector<std::span<const std::uint8_t>> sources(4, big);
  TDecodeBatch batch(sources);
  EXPECT_EQ(batch.Take(2).size(), QSize(400, 20 * kPngStripHeight));
}

TEST(DecodeBatch, TellsWhenEachImageIsReady) {
  const Bytes strips = EncodePng(Opaque(300, 9 * kPngStripHeight));
  const Bytes other = EncodeWithQt(QImage(12, 12, QImage::Format_ARGB32));
  const Bytes garbage = {'n', 'o', 't', ' ', 'a', 'n', ' ', 'i', 'm', 'a', 'g', 'e'};
  const std::vector<std::span<const std::uint8_t>> sources = {strips, other, garbage};
  TDecodeBatch batch(sources);
  // Every image, the one that cannot be decoded too, comes to an end by itself.
  for (std::size_t i = 0; i < sources.size(); ++i) {
    for (int wait = 0; wait < 1000 && !batch.IsReady(i); ++wait) QThread::msleep(10);
    EXPECT_TRUE(batch.IsReady(i)) << "image " << i;
  }
  EXPECT_EQ(batch.Take(0).size(), QSize(300, 9 * kPngStripHeight));
  EXPECT_FALSE(batch.IsReady(0)) << "nothing left to take";
  EXPECT_THROW(batch.Take(2), EBitmapLoadingFailed);
  EXPECT_FALSE(batch.IsReady(3)) << "no such image";
}

TEST(DecodeBatch, LeavesQtsSharedPoolFreeForQtsOwnImageWork) {
  const Bytes big = EncodePng(Opaque(600, 20 * kPngStripHeight));
  std::vector<std::span<const std::uint8_t>> sources(8, big);
  TDecodeBatch batch(sources);
  // Qt converts and scales large images on its shared pool, and waits for that: a batch
  // queued there would hold up every such conversion until the decoding is over.
  EXPECT_EQ(QThreadPool::globalInstance()->activeThreadCount(), 0);
  EXPECT_FALSE(batch.IsReady(7)) << "still decoding when looked at";
}

// --- Bands --------------------------------------------------------------------------------

// All bands of a stream, taken as they come.
std::vector<QImage> AllBands(TStripBands& bands) {
  std::vector<QImage> taken;
  for (int wait = 0; wait < 2000 && !bands.AtEnd(); ++wait) {
    if (!bands.NextReady()) {
      QThread::msleep(5);
      continue;
    }
    taken.push_back(bands.TakeNext());
  }
  return taken;
}

TEST(StripBands, GiveTheImageStripByStripTopToBottom) {
  const Image source = Opaque(300, 7 * kPngStripHeight + 3);
  const Bytes png = EncodePng(source);
  const QImage whole = DecodeImage(png);
  std::unique_ptr<TStripBands> bands = TStripBands::Open(png, 3);
  ASSERT_NE(bands, nullptr);
  EXPECT_EQ(bands->Size(), whole.size());
  const std::vector<QImage> taken = AllBands(*bands);
  ASSERT_TRUE(bands->AtEnd());
  EXPECT_TRUE(bands->Intact());
  ASSERT_EQ(taken.size(), 8u);
  int row = 0;
  for (const QImage& band : taken) {
    EXPECT_EQ(band.format(), QImage::Format_ARGB32_Premultiplied);
    EXPECT_EQ(band, whole.copy(0, row, whole.width(), band.height())) << "rows from " << row;
    row += band.height();
  }
  EXPECT_EQ(row, whole.height());
  EXPECT_TRUE(bands->TakeNext().isNull()) << "nothing after the last band";
}

TEST(StripBands, DecodeNoMoreThanTheirAllowanceAheadOfWhatIsTaken) {
  const Bytes png = EncodePng(Opaque(200, 20 * kPngStripHeight));
  std::unique_ptr<TStripBands> bands = TStripBands::Open(png, 4);
  ASSERT_NE(bands, nullptr);
  for (int taken = 0; taken < 6; ++taken) {
    EXPECT_LE(bands->Pending(), 4u);
    for (int wait = 0; wait < 1000 && !bands->NextReady(); ++wait) QThread::msleep(2);
    QThread::msleep(20);  // time enough for workers to run ahead, were they allowed
    EXPECT_EQ(bands->Pending(), 4u) << "the allowance is used, not exceeded";
    bands->TakeNext();
  }
}

TEST(StripBands, DamageIsToldAtTheEndAndOtherFilesAreNotBands) {
  std::vector<tests::PngChunk> chunks = tests::ReadPngChunks(EncodePng(Opaque(64, 400)));
  chunks[IndexOf(chunks, "IDAT") + 2].data[30] ^= 0xFF;
  const Bytes damaged = tests::WritePng(chunks);
  std::unique_ptr<TStripBands> bands = TStripBands::Open(damaged);
  ASSERT_NE(bands, nullptr);
  AllBands(*bands);
  EXPECT_TRUE(bands->AtEnd());
  EXPECT_FALSE(bands->Intact());

  const Bytes qt = EncodeWithQt(QImage(12, 12, QImage::Format_ARGB32));
  EXPECT_EQ(TStripBands::Open(qt), nullptr) << "only strip PNGs come as bands";
  const Bytes garbage = {'n', 'o', 't'};
  EXPECT_EQ(TStripBands::Open(garbage), nullptr);
  // Going away with strips still being decoded waits for them.
  const Bytes big = EncodePng(Opaque(400, 20 * kPngStripHeight));
  TStripBands::Open(big).reset();
}
