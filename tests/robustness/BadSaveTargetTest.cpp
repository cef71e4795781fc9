// The "Screenshot" command given names it cannot save to. Each refusal reaches the
// application's error handler once with a message that says what went wrong, the viewer
// goes on, and a file already there keeps every byte.
//
// Permissions: tests often run as root, whom file modes do not stop. Rather than switching
// the whole process to another user (which would lose the display's authorisation), the
// main thread gives up the capabilities that override file modes for the duration of a
// case; capabilities belong to each thread, so they can be taken back afterwards.
// The full disk is a file size limit, set in a child process of its own since the limit
// covers every file the process writes.

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>

#include <linux/capability.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <optional>

#include "Viewer.h"

using namespace robustness;

namespace {

// While alive, the calling thread is held to file modes like any user.
class TFileModesApply {
 public:
  TFileModesApply() {
    if (::geteuid() != 0) return;
    if (::syscall(SYS_capget, &FHeader, FSaved) != 0) return;
    __user_cap_data_struct reduced[2] = {FSaved[0], FSaved[1]};
    for (int capability : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH, CAP_FOWNER}) {
      reduced[capability / 32].effective &= ~(1u << (capability % 32));
    }
    FDropped = ::syscall(SYS_capset, &FHeader, reduced) == 0;
  }
  ~TFileModesApply() {
    if (FDropped) ::syscall(SYS_capset, &FHeader, FSaved);
  }
  TFileModesApply(const TFileModesApply&) = delete;
  TFileModesApply& operator=(const TFileModesApply&) = delete;

  // False when this thread could still write anywhere.
  bool Holds() const { return ::geteuid() != 0 || FDropped; }

 private:
  __user_cap_header_struct FHeader{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct FSaved[2]{};
  bool FDropped = false;
};

QByteArray ReadAll(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void WriteAll(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
  ASSERT_EQ(file.write(bytes), bytes.size());
}

QString CannotCreate(const QString& path, const char* reason) {
  return QStringLiteral("Cannot create file \"%1\". %2.").arg(path, QString::fromUtf8(reason));
}

// Runs the command as the menu would, from the event loop, with the dialog confirming
// `path`; returns what the error handler showed.
std::vector<QString> Screenshot(TViewer& viewer, const QString& path) {
  ShownErrors().clear();
  viewer.Dialog().Answers.push_back(path);
  const std::size_t asked = viewer.Dialog().Requests.size();
  QMetaObject::invokeMethod(viewer.Window().Actions().Screenshot, &QAction::trigger,
                            Qt::QueuedConnection);
  for (int i = 0; i < 200 && viewer.Dialog().Requests.size() == asked; ++i) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  EXPECT_EQ(viewer.Dialog().Requests.size(), asked + 1) << "the command never ran";
  QCoreApplication::processEvents();
  return ShownErrors();
}

struct TRow {
  std::string Target;
  QString Message;
};

void PrintTable(const std::vector<TRow>& rows) {
  std::printf("%-34s | %s\n", "Save target", "Message shown");
  for (const TRow& row : rows) {
    std::printf("%-34s | %s\n", row.Target.c_str(), row.Message.toUtf8().constData());
  }
}

const QByteArray kOldContent = "the picture saved last time\n";

}  // namespace

TEST(BadSaveTargets, EachIsRefusedWithAClearMessageAndLosesNothing) {
  QTemporaryDir base;
  ASSERT_TRUE(base.isValid());
  const QString root = base.path();
  ASSERT_TRUE(QDir(root).mkdir(QStringLiteral("locked")));
  ASSERT_TRUE(QDir(root).mkdir(QStringLiteral("album.jpg")));
  const QString longName =
      root + QLatin1Char('/') + QString(300, QLatin1Char('n')) + QStringLiteral(".jpg");

  struct TCase {
    std::string Target;
    QString Path;
    QString Expected;
    bool Existing;        // a file of that name is there before the save
    bool NeedsFileModes;  // only meaningful while file modes apply
  };
  const std::vector<TCase> cases = {
      {"no extension", root + "/shot", "Saving bitmap failed.", true, false},
      {"unknown extension (.xyz)", root + "/shot.xyz", "Saving bitmap failed.", true, false},
      {"icon (.ico)", root + "/shot.ico", "Saving bitmap failed.", true, false},
      {"HD Photo (.hdp)", root + "/shot.hdp", "Saving bitmap failed.", true, false},
      {"folder that does not exist", root + "/missing/shot.jpg",
       CannotCreate(root + "/missing/shot.jpg", "No such file or directory"), false, false},
      {"folder without write permission", root + "/locked/shot.jpg",
       CannotCreate(root + "/locked/shot.jpg", "Permission denied"), true, true},
      {"existing read-only file", root + "/readonly.jpg",
       CannotCreate(root + "/readonly.jpg", "Permission denied"), true, true},
      {"name too long for the file system", longName, CannotCreate(longName, "File name too long"),
       false, false},
      {"a folder's name", root + "/album.jpg", CannotCreate(root + "/album.jpg", "Is a directory"),
       false, false},
  };
  for (const TCase& c : cases) {
    if (c.Existing) WriteAll(c.Path, kOldContent);
  }
  ASSERT_EQ(::chmod(QFile::encodeName(root + "/readonly.jpg").constData(), 0444), 0);
  ASSERT_EQ(::chmod(QFile::encodeName(root + "/locked").constData(), 0555), 0);

  TViewer viewer;
  std::vector<TRow> rows;
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Target);
    std::optional<TFileModesApply> modes;
    if (c.NeedsFileModes) {
      modes.emplace();
      if (!modes->Holds()) {
        rows.push_back({c.Target, "(skipped: cannot make file modes apply here)"});
        continue;
      }
    }
    const std::vector<QString> shown = Screenshot(viewer, c.Path);
    modes.reset();
    ASSERT_EQ(shown.size(), 1u) << "one message, once";
    EXPECT_EQ(shown[0].toStdString(), c.Expected.toStdString());
    rows.push_back({c.Target, shown[0]});
    if (c.Existing) {
      EXPECT_EQ(ReadAll(c.Path), kOldContent) << "the file there before was changed";
    }
  }

  // The disk-full case runs in a child of its own; it prints its row.
  const TChildOutcome child = RunSelf("BadSaveTargets.DISABLED_DiskThatFillsDuringTheWrite",
                                      {{"ORVANTH_TEST_FOLDER", root.toStdString()}});
  EXPECT_TRUE(child.Exited && child.Status == 0) << "the child failed or crashed";
  const std::string marker = "ROW|";
  const std::size_t at = child.Output.find(marker);
  if (at != std::string::npos) {
    const std::string row =
        child.Output.substr(at + marker.size(), child.Output.find('\n', at) - at - marker.size());
    const std::size_t bar = row.find('|');
    rows.push_back({row.substr(0, bar), QString::fromStdString(row.substr(bar + 1))});
  }

  // The viewer goes on: a good name still saves, and nothing else was left behind.
  ASSERT_EQ(::chmod(QFile::encodeName(root + "/locked").constData(), 0755), 0);
  EXPECT_TRUE(Screenshot(viewer, root + "/good.jpg").empty());
  EXPECT_EQ(QImage(root + "/good.jpg").size(),
            viewer.Window().View()->size() * viewer.Window().devicePixelRatio());
  const QStringList expected = {"album.jpg", "full.jpg", "good.jpg", "locked",  "readonly.jpg",
                                "shot",      "shot.hdp", "shot.ico", "shot.xyz"};
  QStringList left =
      QDir(root).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
  EXPECT_EQ(left.join(' ').toStdString(), expected.join(' ').toStdString());
  EXPECT_EQ(
      QDir(root + "/locked").entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
      QStringList{"shot.jpg"});

  PrintTable(rows);
}

// Run by the test above in a child process: the file size limit covers the whole process.
TEST(BadSaveTargets, DISABLED_DiskThatFillsDuringTheWrite) {
  const char* folder = std::getenv("ORVANTH_TEST_FOLDER");
  ASSERT_NE(folder, nullptr);
  const QString path = QString::fromLocal8Bit(folder) + "/full.jpg";
  WriteAll(path, kOldContent);
  TViewer viewer;

  // A write past the limit fails with EFBIG instead of killing the process.
  ::signal(SIGXFSZ, SIG_IGN);
  rlimit limit{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &limit), 0);
  const rlimit full{64 * 1024, limit.rlim_max};
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &full), 0);
  const std::vector<QString> shown = Screenshot(viewer, path);
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);

  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].toStdString(),
            QStringLiteral("Cannot write file \"%1\". File too large.").arg(path).toStdString());
  EXPECT_EQ(ReadAll(path), kOldContent);
  std::printf("ROW|disk that fills during the write|%s\n", shown[0].toUtf8().constData());
}
