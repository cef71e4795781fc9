#pragma once
// Writes a new version of a file without ever exposing a half-written one. The bytes go
// to a fresh file beside the target; only when they are complete and on disk does that
// file take the target's name. Until then, and after any failure, an existing file of
// that name keeps its old content, and the fresh file is removed again.

#include <QByteArray>
#include <QIODevice>
#include <QString>

#include <memory>
#include <optional>

#include <sys/types.h>

namespace orvanth::screenshot {

class ReplacingFile {
 public:
  // Checks that `fileName` can be written and opens the fresh file.
  // Throws rt3d::EFCreateError ("Cannot create file "<name>". <reason>") when it cannot.
  explicit ReplacingFile(const QString& fileName);
  // Removes the fresh file unless Commit succeeded.
  ~ReplacingFile();
  ReplacingFile(const ReplacingFile&) = delete;
  ReplacingFile& operator=(const ReplacingFile&) = delete;

  // Where the new content goes: a random-access device over the fresh file.
  QIODevice& Device();

  // Throws rt3d::EWriteError when any write or seek on Device() has failed so far.
  // The first failure sticks: encoders that seek afterwards cannot hide it.
  void CheckWritten();

  // Flushes and syncs the new content and gives it the target's name, replacing an
  // existing file. Throws rt3d::EWriteError or rt3d::EFCreateError on failure, leaving
  // the old file as it was.
  void Commit();

  class Sink;

 private:
  [[noreturn]] void ThrowCreateError(int error) const;
  [[noreturn]] void ThrowWriteError(int error) const;
  void CreateFreshFile(std::optional<mode_t> keepMode);

  QString FFileName;   // as the caller named it, for messages
  QByteArray FTarget;  // the file that gets replaced (a link is followed to its file)
  QByteArray FFresh;   // the new version while it is written
  int FHandle = -1;
  std::unique_ptr<Sink> FSink;
  bool FReplaces = false;  // an older file of that name exists
  bool FCommitted = false;
};

}  // namespace orvanth::screenshot
