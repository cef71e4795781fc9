#include "screenshot/BitmapCodecs.h"

#include <QImageWriter>

#include <algorithm>
#include <array>
#include <cstring>

#include "runtime3d/core/Exceptions.h"
#include "screenshot/GifWriter.h"
#include "screenshot/ReplacingFile.h"

namespace orvanth::screenshot {

namespace {

// Icons and HD Photo stay known names but are refused: this platform has no encoder that
// would write them as what their names promise.
constexpr std::array<TBitmapCodecInfo, 9> kCodecs{{
    {".bmp", "Bitmaps", TContainer::Bmp},
    {".jpg", "JPEG Images", TContainer::Jpeg},
    {".jpeg", "JPEG Images", TContainer::Jpeg},
    {".png", "PNG Images", TContainer::Png},
    {".gif", "GIF Images", TContainer::Gif},
    {".tif", "TIFF Images", TContainer::Tiff},
    {".tiff", "TIFF Images", TContainer::Tiff},
    {".ico", "Icons", TContainer::None},
    {".hdp", "WMP Images", TContainer::None},
}};

bool SameAsciiText(const QString& a, const char* b) {
  const qsizetype length = qsizetype(std::strlen(b));
  if (a.size() != length) return false;
  for (qsizetype i = 0; i < length; ++i) {
    char16_t c = a[i].unicode();
    if (c >= u'A' && c <= u'Z') c = char16_t(c - u'A' + u'a');
    char16_t d = char16_t(static_cast<unsigned char>(b[i]));
    if (d >= u'A' && d <= u'Z') d = char16_t(d - u'A' + u'a');
    if (c != d) return false;
  }
  return true;
}

const char* QtFormat(TContainer container) {
  switch (container) {
    case TContainer::Bmp:
      return "bmp";
    case TContainer::Jpeg:
      return "jpeg";
    case TContainer::Png:
      return "png";
    case TContainer::Tiff:
      return "tiff";
    case TContainer::Gif:
    case TContainer::None:
      break;
  }
  return nullptr;
}

// Encodes into `device`; false when the encoder could not write the image.
bool Encode(const QImage& image, TContainer container, int quality, QIODevice& device) {
  if (container == TContainer::Gif) return WriteGif(image, device);
  QImageWriter writer(&device, QtFormat(container));
  if (container != TContainer::Jpeg) return writer.write(image);
  // Only JPEG has an image quality; PNG would read the value as a compression level.
  if (quality >= 0) writer.setQuality(std::min(quality, 100));
  // A JPEG has no alpha: Qt's encoder writes the colour channels as stored, so
  // premultiplied pixels come out as if laid over black. Other pixels are made so first,
  // or a transparent pixel would show whatever colour it happens to hold.
  const bool straightAlpha = image.hasAlphaChannel() &&
                             image.pixelFormat().premultiplied() == QPixelFormat::NotPremultiplied;
  return writer.write(straightAlpha ? image.convertToFormat(QImage::Format_ARGB32_Premultiplied)
                                    : image);
}

}  // namespace

std::span<const TBitmapCodecInfo> TBitmapCodecManager::Codecs() {
  return kCodecs;
}

const TBitmapCodecInfo* TBitmapCodecManager::SaverFor(const QString& Extension) {
  for (const TBitmapCodecInfo& codec : kCodecs) {
    if (codec.CanSave() && SameAsciiText(Extension, codec.Extension)) return &codec;
  }
  return nullptr;
}

bool TBitmapCodecManager::SaveToFile(const QString& FileName, const QImage& Surface, int Quality) {
  const TBitmapCodecInfo* codec = SaverFor(ExtractFileExt(FileName));
  if (codec == nullptr) return false;
  ReplacingFile file(FileName);
  const bool encoded = Encode(Surface, codec->Container, Quality, file.Device());
  // A failed write is the file system's fault, not the encoder's: say so.
  file.CheckWritten();
  if (!encoded) throw rt3d::EBitmapSavingFailed();
  file.Commit();
  return true;
}

QString ExtractFileExt(const QString& FileName) {
  const qsizetype dot = FileName.lastIndexOf(u'.');
  if (dot < 0 || FileName.indexOf(u'/', dot) >= 0) return {};
  return FileName.mid(dot);
}

void SaveToFile(const QImage& image, const QString& fileName, int quality) {
  if (!TBitmapCodecManager::SaveToFile(fileName, image, quality)) {
    throw rt3d::EBitmapSavingFailed();
  }
}

}  // namespace orvanth::screenshot
