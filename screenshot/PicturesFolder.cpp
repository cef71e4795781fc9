#include "screenshot/PicturesFolder.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace orvanth::screenshot {

namespace {

void CreateWhenMissing(const QString& folder) {
  // isDir() follows links, so a link to a folder is left alone.
  if (!QFileInfo(folder).isDir()) QDir().mkdir(folder);
}

}  // namespace

bool PreparePicturesFolder(QString& PicturesFolder) {
  return PreparePicturesFolder(PicturesFolder,
                               QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation));
}

bool PreparePicturesFolder(QString& PicturesFolder, const QString& documentsFolder) {
  // A documents path that names no folder was not found: creating beneath it would fail
  // anyway, and the save dialog is better off where the platform puts it.
  if (documentsFolder.isEmpty() || !QFileInfo(documentsFolder).isDir()) {
    PicturesFolder.clear();
    return false;
  }
  PicturesFolder = documentsFolder;
  if (!PicturesFolder.endsWith(u'/')) PicturesFolder += u'/';
  PicturesFolder += QStringLiteral("Talvoren");
  CreateWhenMissing(PicturesFolder);
  PicturesFolder += QStringLiteral("/Planets");
  CreateWhenMissing(PicturesFolder);
  PicturesFolder += u'/';
  return true;
}

}  // namespace orvanth::screenshot
