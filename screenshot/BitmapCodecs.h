#pragma once
// Saving an image to a file whose extension picks the container. Images arrive as the
// view's read-back: 32-bit premultiplied ARGB (BGRA bytes); other QImage formats work too.

#include <QImage>
#include <QString>

#include <span>

namespace orvanth::screenshot {

enum class TContainer { None, Bmp, Jpeg, Png, Gif, Tiff };

struct TBitmapCodecInfo {
  const char* Extension;  // with its ".", compared ignoring ASCII case
  const char* Description;
  TContainer Container;  // None: a known name that cannot be written

  bool CanSave() const { return Container != TContainer::None; }
};

class TBitmapCodecManager {
 public:
  // One row per extension, in registration order.
  static std::span<const TBitmapCodecInfo> Codecs();

  // The row that saves names with this extension, or nullptr.
  static const TBitmapCodecInfo* SaverFor(const QString& Extension);

  // Writes the file with the codec of its extension. False when no codec can save that
  // extension (nothing is created then); throws when the file cannot be created or
  // written, or the encoder fails. `Quality` 0..100 goes to encoders with a quality
  // setting (JPEG); a negative value leaves their default.
  static bool SaveToFile(const QString& FileName, const QImage& Surface, int Quality);
};

// The extension of a file name: from its last "." on, including the ".", provided that
// "." lies in the name's last component; empty otherwise.
QString ExtractFileExt(const QString& FileName);

// Saves `image` to `fileName`. An existing file is replaced only once the new one is
// complete; after any failure it keeps its old content and nothing else is left behind.
// Throws rt3d::EBitmapSavingFailed ("Saving bitmap failed.") for an extension no codec
// saves or an encoder failure, rt3d::EFCreateError ("Cannot create file "<name>".
// <reason>") when the file cannot be created, rt3d::EWriteError when writing it fails.
void SaveToFile(const QImage& image, const QString& fileName, int quality = 100);

}  // namespace orvanth::screenshot
