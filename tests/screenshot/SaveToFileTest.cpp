#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QImageWriter>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "Fixtures.h"
#include "screenshot/BitmapCodecs.h"

namespace orvanth::screenshot {
namespace {

using testing::Attempt;
using testing::BlockColour;
using testing::BlockImage;
using testing::FilesIn;
using testing::ReadFile;
using testing::WriteFile;

int MaxChannelDifference(QRgb a, QRgb b) {
  return std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                   std::abs(qBlue(a) - qBlue(b)), std::abs(qAlpha(a) - qAlpha(b))});
}

QImage Decode(const QString& path, QByteArray* format) {
  QImageReader reader(path);
  reader.setDecideFormatFromContent(true);
  *format = reader.format();
  // Plain ARGB so that pixel() answers unpremultiplied, whatever the decoder produced.
  return reader.read().convertToFormat(QImage::Format_ARGB32);
}

QString SystemReason(int error) {
  return QString::fromLocal8Bit(std::strerror(error));
}

std::string CreateError(const QString& path, int error) {
  return "EFCreateError|" + QStringLiteral("Cannot create file \"%1\". %2")
                                .arg(path, SystemReason(error))
                                .toStdString();
}

class SaveToFileTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(FTemp.isValid()); }
  QString Path(const QString& name) const { return FTemp.path() + "/" + name; }

  QTemporaryDir FTemp;
};

struct ContainerCase {
  const char* Name;
  QByteArray Magic;       // how the file must begin
  QByteArray ReaderName;  // what Qt's reader recognises from the content
  int Tolerance;          // per channel, at block centres
};

TEST_F(SaveToFileTest, TheExtensionPicksTheContainerIgnoringCase) {
  const ContainerCase cases[] = {
      {"shot.JPG", QByteArray("\xFF\xD8\xFF", 3), "jpeg", 3},
      {"shot.jpeg", QByteArray("\xFF\xD8\xFF", 3), "jpeg", 3},
      {"shot.bmp", "BM", "bmp", 0},
      {"shot.Png", QByteArray("\x89PNG\r\n\x1A\n", 8), "png", 0},
      {"shot.gif", "GIF8", "gif", 0},
      {"shot.tif", QByteArray("II*\0", 4), "tiff", 0},
      {"shot.TIFF", QByteArray("II*\0", 4), "tiff", 0},
      // The last "." counts, not the first.
      {"shot.png.jpg", QByteArray("\xFF\xD8\xFF", 3), "jpeg", 3},
  };
  const QImage image = BlockImage();
  for (const ContainerCase& c : cases) {
    SCOPED_TRACE(c.Name);
    const QString path = Path(c.Name);
    ASSERT_EQ(Attempt([&] { SaveToFile(image, path); }), "ok");
    EXPECT_TRUE(ReadFile(path).startsWith(c.Magic));
    QByteArray format;
    const QImage decoded = Decode(path, &format);
    EXPECT_EQ(format, c.ReaderName);
    ASSERT_EQ(decoded.size(), image.size());
    for (int y = 4; y < image.height(); y += 8) {
      for (int x = 4; x < image.width(); x += 8) {
        EXPECT_LE(MaxChannelDifference(decoded.pixel(x, y), BlockColour(x, y)), c.Tolerance)
            << "block centre " << x << "," << y;
      }
    }
    EXPECT_EQ(FilesIn(FTemp.path()), QStringList{c.Name}) << "nothing but the file is left";
    QFile::remove(path);
  }
}

TEST_F(SaveToFileTest, JpegIsWrittenAtFullQuality) {
  // A bare encode at quality 100 and the saved file must be the same bytes.
  const QImage image = testing::NoiseImage(64, 64);
  QBuffer reference;
  reference.open(QIODevice::WriteOnly);
  QImageWriter writer(&reference, "jpeg");
  writer.setQuality(100);
  ASSERT_TRUE(writer.write(image));
  ASSERT_EQ(Attempt([&] { SaveToFile(image, Path("q.jpg")); }), "ok");
  EXPECT_EQ(ReadFile(Path("q.jpg")), reference.data());
}

TEST_F(SaveToFileTest, ContainersWithoutAlphaShowPremultipliedColourOverBlack) {
  // Left half fully transparent, right half red at half opacity (premultiplied: 128).
  QImage image(32, 16, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  for (int y = 0; y < 16; ++y) {
    for (int x = 16; x < 32; ++x) image.setPixel(x, y, qRgba(128, 0, 0, 128));
  }
  struct AlphaCase {
    const char* Name;
    QRgb Transparent;  // decoded, unpremultiplied
    QRgb HalfRed;
    int Tolerance;
  };
  const AlphaCase cases[] = {
      {"alpha.jpg", qRgb(0, 0, 0), qRgb(128, 0, 0), 3},
      {"alpha.gif", qRgb(0, 0, 0), qRgb(128, 0, 0), 0},
      // Containers with alpha keep it.
      {"alpha.png", qRgba(0, 0, 0, 0), qRgba(255, 0, 0, 128), 1},
      {"alpha.tif", qRgba(0, 0, 0, 0), qRgba(255, 0, 0, 128), 1},
  };
  for (const AlphaCase& c : cases) {
    SCOPED_TRACE(c.Name);
    ASSERT_EQ(Attempt([&] { SaveToFile(image, Path(c.Name)); }), "ok");
    QByteArray format;
    const QImage decoded = Decode(Path(c.Name), &format);
    ASSERT_EQ(decoded.size(), image.size());
    EXPECT_LE(MaxChannelDifference(decoded.pixel(8, 8), c.Transparent), c.Tolerance);
    EXPECT_LE(MaxChannelDifference(decoded.pixel(24, 8), c.HalfRed), c.Tolerance);
  }

  // Straight alpha: an invisible pixel may hold any colour, and still comes out black.
  QImage straight(16, 16, QImage::Format_ARGB32);
  straight.fill(qRgba(255, 255, 0, 0));
  for (const char* name : {"straight.jpg", "straight.gif"}) {
    SCOPED_TRACE(name);
    ASSERT_EQ(Attempt([&] { SaveToFile(straight, Path(name)); }), "ok");
    QByteArray format;
    EXPECT_LE(MaxChannelDifference(Decode(Path(name), &format).pixel(8, 8), qRgb(0, 0, 0)), 3);
  }
}

TEST_F(SaveToFileTest, GifReducesManyColoursToANearbyPalette) {
  // Smooth colour ramps, as a rendered sphere has: far more than 256 colours, each of
  // which should find a close palette entry.
  QImage image(256, 128, QImage::Format_ARGB32_Premultiplied);
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) image.setPixel(x, y, qRgb(x, 2 * y, (x + 2 * y) / 3));
  }
  ASSERT_EQ(Attempt([&] { SaveToFile(image, Path("ramps.gif")); }), "ok");
  QByteArray format;
  const QImage decoded = Decode(Path("ramps.gif"), &format);
  EXPECT_EQ(format, "gif");
  ASSERT_EQ(decoded.size(), image.size());
  double error = 0;
  int worst = 0;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      const int difference = MaxChannelDifference(decoded.pixel(x, y), image.pixel(x, y));
      error += difference;
      worst = std::max(worst, difference);
    }
  }
  error /= double(image.width()) * image.height();
  EXPECT_LE(error, 12.0);
  EXPECT_LE(worst, 48);
}

TEST_F(SaveToFileTest, NamesNoCodecSavesAreRefusedWithoutAFile) {
  ASSERT_TRUE(QDir().mkdir(Path("folder.jpg")));
  const char* names[] = {"shot.ico", "shot.ICO", "shot.hdp",     "shot.wmp", "shot.xyz",
                         "shot",     "shot.",    "shot.jpg.txt", ".jpgx",    "folder.jpg/shot"};
  for (const char* name : names) {
    SCOPED_TRACE(name);
    EXPECT_EQ(Attempt([&] { SaveToFile(BlockImage(), Path(name)); }),
              "EBitmapSavingFailed|Saving bitmap failed.");
    EXPECT_EQ(FilesIn(FTemp.path()), QStringList{"folder.jpg"});
    EXPECT_TRUE(FilesIn(Path("folder.jpg")).isEmpty());
  }
}

TEST_F(SaveToFileTest, AnEncoderFailureLeavesNoFile) {
  WriteFile(Path("old.png"), "old picture");
  for (const char* name : {"empty.png", "empty.gif", "empty.jpg", "old.png"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(Attempt([&] { SaveToFile(QImage(), Path(name)); }),
              "EBitmapSavingFailed|Saving bitmap failed.");
  }
  EXPECT_EQ(FilesIn(FTemp.path()), QStringList{"old.png"});
  EXPECT_EQ(ReadFile(Path("old.png")), "old picture");
}

TEST_F(SaveToFileTest, AFileThatCannotBeCreatedIsReportedWithPathAndReason) {
  WriteFile(Path("plain-file"), "x");
  ASSERT_TRUE(QDir().mkdir(Path("taken.jpg")));
  struct CreateCase {
    QString Name;
    int Error;
  };
  const CreateCase cases[] = {
      {Path("missing/shot.jpg"), ENOENT},
      {Path(QString(300, u'a') + ".jpg"), ENAMETOOLONG},
      {Path("plain-file/shot.bmp"), ENOTDIR},
      {Path("taken.jpg"), EISDIR},
  };
  for (const CreateCase& c : cases) {
    SCOPED_TRACE(c.Name.toStdString());
    EXPECT_EQ(Attempt([&] { SaveToFile(BlockImage(), c.Name); }), CreateError(c.Name, c.Error));
    EXPECT_EQ(FilesIn(FTemp.path()), (QStringList{"plain-file", "taken.jpg"}));
    EXPECT_TRUE(FilesIn(Path("taken.jpg")).isEmpty());
  }
}

TEST_F(SaveToFileTest, AnExistingFileIsReplacedKeepingItsMode) {
  const QString path = Path("old.jpg");
  WriteFile(path, "an older picture");
  ASSERT_TRUE(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
  const QFile::Permissions mode = QFile::permissions(path);
  ASSERT_EQ(Attempt([&] { SaveToFile(BlockImage(), path); }), "ok");
  EXPECT_TRUE(ReadFile(path).startsWith("\xFF\xD8\xFF"));
  EXPECT_EQ(QFile::permissions(path), mode);
  EXPECT_EQ(FilesIn(FTemp.path()), QStringList{"old.jpg"});
}

TEST_F(SaveToFileTest, SavingThroughALinkReplacesTheLinkedFile) {
  ASSERT_TRUE(QDir().mkdir(Path("real")));
  WriteFile(Path("real/shot.png"), "old");
  ASSERT_TRUE(QFile::link(Path("real/shot.png"), Path("shot.png")));
  ASSERT_EQ(Attempt([&] { SaveToFile(BlockImage(), Path("shot.png")); }), "ok");
  EXPECT_TRUE(QFileInfo(Path("shot.png")).isSymLink());
  EXPECT_TRUE(ReadFile(Path("real/shot.png")).startsWith("\x89PNG"));
  EXPECT_EQ(FilesIn(Path("real")), QStringList{"shot.png"});
  EXPECT_EQ(FilesIn(FTemp.path()), (QStringList{"real", "shot.png"}));
}

}  // namespace
}  // namespace orvanth::screenshot
