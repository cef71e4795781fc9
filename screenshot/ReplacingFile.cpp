#include "screenshot/ReplacingFile.h"

#include <QFile>
#include <QRandomGenerator>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "runtime3d/core/Exceptions.h"

namespace orvanth::screenshot {

// A buffered writer on a file handle that remembers the first failure with its errno.
// QFile forgets a write error on the next seek, and TIFF encoders seek back to finish
// their header. After a failure it takes the rest of the bytes without writing them: the
// encoder finishes as usual, and CheckWritten reports the failure. An encoder told of it
// would print its own complaint on standard error ("Bogus message code 0" from the JPEG
// library) beside the viewer's message.
class ReplacingFile::Sink : public QIODevice {
 public:
  explicit Sink(int handle) : FHandle(handle) { FBuffer.reserve(kCapacity); }

  int Error() const { return FError; }

  bool Flush() {
    if (FError != 0) return false;
    const char* bytes = FBuffer.data();
    std::size_t left = FBuffer.size();
    while (left > 0) {
      const ssize_t written = ::write(FHandle, bytes, left);
      if (written < 0 && errno == EINTR) continue;
      if (written <= 0) {
        FError = written < 0 ? errno : EIO;
        return false;
      }
      bytes += written;
      left -= std::size_t(written);
    }
    FBuffer.clear();
    return true;
  }

  bool isSequential() const override { return false; }

  bool seek(qint64 position) override {
    if (Flush() && ::lseek(FHandle, off_t(position), SEEK_SET) < 0) FError = errno;
    return QIODevice::seek(position);
  }

  qint64 size() const override {
    struct stat status {};
    if (::fstat(FHandle, &status) != 0) return 0;
    const off_t here = ::lseek(FHandle, 0, SEEK_CUR);
    return std::max<qint64>(status.st_size, here + qint64(FBuffer.size()));
  }

 protected:
  qint64 readData(char*, qint64) override { return -1; }

  qint64 writeData(const char* data, qint64 length) override {
    if (FError != 0) return length;
    if (FBuffer.size() + std::size_t(length) > kCapacity && !Flush()) return length;
    if (std::size_t(length) >= kCapacity) {
      FBuffer.assign(data, data + length);
      Flush();
    } else {
      FBuffer.insert(FBuffer.end(), data, data + length);
    }
    return length;
  }

 private:
  // Encoders hand over small pieces (a GIF data block is 255 bytes).
  static constexpr std::size_t kCapacity = 256 * 1024;

  int FHandle;
  int FError = 0;
  std::vector<char> FBuffer;
};

namespace {

QString SystemReason(int error) {
  return QString::fromLocal8Bit(std::strerror(error));
}

QByteArray DirectoryOf(const QByteArray& path) {
  const qsizetype slash = path.lastIndexOf('/');
  if (slash < 0) return ".";
  if (slash == 0) return "/";
  return path.left(slash);
}

// Short on purpose: a target name near the length limit must still leave room for it.
QByteArray FreshName(const QByteArray& directory) {
  static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  QByteArray name = directory + "/.orvanth-save-";
  for (int i = 0; i < 8; ++i) {
    name += kLetters[QRandomGenerator::global()->bounded(int(sizeof kLetters) - 1)];
  }
  return name;
}

// Best effort: makes the rename itself survive a crash. Not every file system can.
void SyncDirectory(const QByteArray& directory) {
  const int handle = ::open(directory.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (handle < 0) return;
  ::fsync(handle);
  ::close(handle);
}

}  // namespace

ReplacingFile::ReplacingFile(const QString& fileName)
    : FFileName(fileName), FTarget(QFile::encodeName(fileName)) {
  if (FTarget.isEmpty()) ThrowCreateError(ENOENT);

  struct stat status {};
  if (::lstat(FTarget.constData(), &status) != 0) {
    // A name that is merely missing is a new file; any other answer (name too long, a
    // file used as a folder, no search permission) means it cannot be created.
    if (errno != ENOENT) ThrowCreateError(errno);
    CreateFreshFile(std::nullopt);
    return;
  }
  if (S_ISLNK(status.st_mode)) {
    // Write through the link, as opening the name for writing would, and keep the link.
    if (char* resolved = ::realpath(FTarget.constData(), nullptr)) {
      FTarget = resolved;
      std::free(resolved);
      if (::stat(FTarget.constData(), &status) != 0) ThrowCreateError(errno);
    }
  }
  if (S_ISDIR(status.st_mode)) ThrowCreateError(EISDIR);
  // A read-only file is refused, as overwriting it in place would be, although the
  // folder would allow replacing it.
  if (::faccessat(AT_FDCWD, FTarget.constData(), W_OK, AT_EACCESS) != 0) ThrowCreateError(errno);
  CreateFreshFile(status.st_mode & 07777);
}

ReplacingFile::~ReplacingFile() {
  if (FCommitted) return;
  FSink.reset();
  if (FHandle >= 0) ::close(FHandle);
  if (!FFresh.isEmpty()) ::unlink(FFresh.constData());
}

QIODevice& ReplacingFile::Device() {
  return *FSink;
}

void ReplacingFile::CreateFreshFile(std::optional<mode_t> keepMode) {
  const QByteArray directory = DirectoryOf(FTarget);
  for (int attempt = 0; attempt < 100 && FHandle < 0; ++attempt) {
    const QByteArray name = FreshName(directory);
    // 0666 lets the umask decide, as for any new file; a replaced file keeps its mode.
    FHandle = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (FHandle >= 0) {
      FFresh = name;
    } else if (errno != EEXIST) {
      ThrowCreateError(errno);
    }
  }
  if (FHandle < 0) ThrowCreateError(EEXIST);
  FReplaces = keepMode.has_value();
  if (FReplaces) ::fchmod(FHandle, *keepMode);
  FSink = std::make_unique<Sink>(FHandle);
  FSink->open(QIODevice::WriteOnly | QIODevice::Unbuffered);
}

void ReplacingFile::CheckWritten() {
  if (FSink->Error() != 0) ThrowWriteError(FSink->Error());
}

void ReplacingFile::Commit() {
  if (!FSink->Flush()) ThrowWriteError(FSink->Error());
  // When an older file is replaced, the new content must be on disk before the name
  // moves, or a crash could leave neither version. A new name risks nothing older, and
  // skipping the sync keeps saving as quick as a plain write.
  if (FReplaces && ::fsync(FHandle) != 0) ThrowWriteError(errno);
  const int closed = ::close(FHandle);
  FHandle = -1;
  if (closed != 0) ThrowWriteError(errno);
  if (::rename(FFresh.constData(), FTarget.constData()) != 0) ThrowCreateError(errno);
  FCommitted = true;
  if (FReplaces) SyncDirectory(DirectoryOf(FTarget));
}

void ReplacingFile::ThrowCreateError(int error) const {
  throw rt3d::EFCreateError(QStringLiteral("Cannot create file \"%1\". %2")
                                .arg(FFileName, SystemReason(error))
                                .toStdString());
}

void ReplacingFile::ThrowWriteError(int error) const {
  throw rt3d::EWriteError(QStringLiteral("Cannot write file \"%1\". %2")
                              .arg(FFileName, SystemReason(error))
                              .toStdString());
}

}  // namespace orvanth::screenshot
