// A save that fails part-way must leave an existing file exactly as it was and nothing
// else behind. These cases run in child processes: one gives up root so permissions
// count, one lowers the file size limit, one fills a small file system of its own.

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <unistd.h>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <functional>

#include "Fixtures.h"
#include "screenshot/BitmapCodecs.h"

namespace orvanth::screenshot {
namespace {

using testing::Attempt;
using testing::FilesIn;
using testing::InChildProcess;
using testing::ReadFile;
using testing::WriteFile;

std::string Expected(const char* kind, const char* verb, const QString& path, int error) {
  return std::string(kind) + "|" +
         QStringLiteral("Cannot %1 file \"%2\". %3")
             .arg(QString::fromLatin1(verb), path, QString::fromLocal8Bit(std::strerror(error)))
             .toStdString();
}

const QByteArray kOldContent = "the picture saved last week";

// Attempt, with what the save prints on standard error added to its report: the failure
// is told once, by the exception's message, and no encoder adds a line of its own. For a
// child process: its standard error stays captured.
std::string AttemptQuietly(const std::function<void()>& save) {
  std::FILE* captured = std::tmpfile();
  if (captured == nullptr || ::dup2(::fileno(captured), STDERR_FILENO) < 0) return "no capture";
  std::string report = Attempt(save);
  std::fflush(stderr);
  std::rewind(captured);
  std::string printed;
  for (int c; (c = std::fgetc(captured)) != EOF;) printed += char(c);
  if (!printed.empty()) report += " / on standard error: " + printed;
  return report;
}

class SaveFailureTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(FTemp.isValid());
    // The unprivileged child has to reach the fixtures.
    ASSERT_TRUE(QFile::setPermissions(FTemp.path(), QFile::Permissions(0x7755)));
    testing::LoadEncoders();
  }

  QTemporaryDir FTemp;
};

TEST_F(SaveFailureTest, PermissionsRefuseTheSaveAndKeepTheOldFile) {
  struct PermissionCase {
    const char* Title;
    QFile::Permissions FolderMode;
    std::optional<QFile::Permissions> OldFileMode;  // none: no file yet
  };
  const auto readOnly = QFile::Permissions(0x4444);
  const auto readWrite = QFile::Permissions(0x6666);
  const auto openFolder = QFile::Permissions(0x7777);
  const auto closedFolder = QFile::Permissions(0x5555);
  const PermissionCase cases[] = {
      {"read-only file", openFolder, readOnly},
      {"writable file in a read-only folder", closedFolder, readWrite},
      {"new file in a read-only folder", closedFolder, std::nullopt},
  };
  int index = 0;
  for (const PermissionCase& c : cases) {
    SCOPED_TRACE(c.Title);
    const QString folder = FTemp.path() + "/case" + QString::number(index++);
    const QString path = folder + "/shot.jpg";
    ASSERT_TRUE(QDir().mkdir(folder));
    if (c.OldFileMode) {
      WriteFile(path, kOldContent);
      ASSERT_TRUE(QFile::setPermissions(path, *c.OldFileMode));
    }
    ASSERT_TRUE(QFile::setPermissions(folder, c.FolderMode));
    const QStringList before = FilesIn(folder);

    const std::string outcome = InChildProcess([&] {
      if (!testing::BecomeUnprivileged()) return std::string("skip");
      return Attempt([&] { SaveToFile(testing::BlockImage(), path); });
    });
    QFile::setPermissions(folder, openFolder);
    if (outcome == "skip") GTEST_SKIP() << "cannot give up root here";

    EXPECT_EQ(outcome, Expected("EFCreateError", "create", path, EACCES));
    EXPECT_EQ(FilesIn(folder), before);
    if (c.OldFileMode) {
      EXPECT_EQ(ReadFile(path), kOldContent);
    }
  }
}

TEST_F(SaveFailureTest, AFileSizeLimitLeavesTheOldFileIntact) {
  // Every encoder must notice that its bytes did not all arrive.
  const QImage big = testing::NoiseImage(512, 512);
  for (const char* name : {"big.bmp", "big.jpg", "big.png", "big.gif", "big.tif"}) {
    SCOPED_TRACE(name);
    const QString path = FTemp.path() + "/" + name;
    WriteFile(path, kOldContent);

    const std::string outcome = InChildProcess([&] {
      // Ignored, the signal turns into an EFBIG error from write().
      std::signal(SIGXFSZ, SIG_IGN);
      const rlimit limit{64 * 1024, 64 * 1024};
      if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) return std::string("no limit");
      return AttemptQuietly([&] { SaveToFile(big, path); });
    });

    EXPECT_EQ(outcome, Expected("EWriteError", "write", path, EFBIG));
    EXPECT_EQ(ReadFile(path), kOldContent);
    EXPECT_EQ(FilesIn(FTemp.path()), QStringList{name});
    QFile::remove(path);
  }
}

// In a fresh user and mount namespace this process may mount a small tmpfs of its own.
bool MountSmallFileSystem(const QString& where) {
  const uid_t uid = ::geteuid();
  const gid_t gid = ::getegid();
  if (::unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) return false;
  const auto put = [](const char* file, const std::string& text) {
    const int handle = ::open(file, O_WRONLY | O_CLOEXEC);
    if (handle < 0) return false;
    const bool ok = ::write(handle, text.data(), text.size()) == ssize_t(text.size());
    ::close(handle);
    return ok;
  };
  if (!put("/proc/self/setgroups", "deny") ||
      !put("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1") ||
      !put("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1")) {
    return false;
  }
  return ::mount("tmpfs", QFile::encodeName(where).constData(), "tmpfs", 0, "size=256k") == 0;
}

TEST_F(SaveFailureTest, AFullDiskLeavesTheOldFileIntact) {
  const QString disk = FTemp.path() + "/small-disk";
  ASSERT_TRUE(QDir().mkdir(disk));
  // Noise: far over the disk's 256 KiB as a bitmap (768 KiB) and as a JPEG too.
  const QImage big = testing::NoiseImage(512, 512);
  for (const char* name : {"shot.bmp", "shot.jpg"}) {
    SCOPED_TRACE(name);
    const QString path = disk + "/" + name;
    // The disk exists only in the child, so the child checks what is left on it.
    const std::string outcome = InChildProcess([&] {
      if (!MountSmallFileSystem(disk)) return std::string("skip");
      WriteFile(path, kOldContent);
      std::string report = AttemptQuietly([&] { SaveToFile(big, path); });
      if (ReadFile(path) != kOldContent) report += " / old file changed";
      if (FilesIn(disk) != QStringList{name})
        report += " / left: " + FilesIn(disk).join(' ').toStdString();
      return report;
    });
    if (outcome == "skip") GTEST_SKIP() << "no user namespaces to mount a small tmpfs in";
    EXPECT_EQ(outcome, Expected("EWriteError", "write", path, ENOSPC));
  }
}

}  // namespace
}  // namespace orvanth::screenshot
