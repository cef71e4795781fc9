#include "Fixtures.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImageWriter>
#include <QRandomGenerator>

#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

#include "runtime3d/core/Exceptions.h"

namespace orvanth::screenshot::testing {

QRgb BlockColour(int x, int y) {
  const int column = x / 8;
  const int row = y / 8;
  return qRgb(column * 36, row * 50, 240 - 8 * (column + row));
}

QImage BlockImage() {
  QImage image(64, 48, QImage::Format_ARGB32_Premultiplied);
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) image.setPixel(x, y, BlockColour(x, y));
  }
  return image;
}

QImage NoiseImage(int width, int height) {
  QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
  QRandomGenerator random(42);
  for (int y = 0; y < height; ++y) {
    auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < width; ++x) row[x] = 0xFF000000u | (random.generate() & 0xFFFFFFu);
  }
  return image;
}

QByteArray ReadFile(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

void WriteFile(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
    throw std::runtime_error("cannot write fixture " + path.toStdString());
  }
}

QStringList FilesIn(const QString& folder) {
  return QDir(folder).entryList(
      QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

std::string Attempt(const std::function<void()>& save) {
  try {
    save();
    return "ok";
  } catch (const rt3d::EBitmapSavingFailed& e) {
    return std::string("EBitmapSavingFailed|") + e.what();
  } catch (const rt3d::EFCreateError& e) {
    return std::string("EFCreateError|") + e.what();
  } catch (const rt3d::EWriteError& e) {
    return std::string("EWriteError|") + e.what();
  } catch (const std::exception& e) {
    return std::string("other|") + e.what();
  }
}

std::string InChildProcess(const std::function<std::string()>& body) {
  int channel[2];
  if (::pipe(channel) != 0) return "no pipe";
  const pid_t child = ::fork();
  if (child < 0) return "no fork";
  if (child == 0) {
    ::close(channel[0]);
    std::string report;
    try {
      report = body();
    } catch (const std::exception& e) {
      report = std::string("threw|") + e.what();
    }
    const char* bytes = report.data();
    std::size_t left = report.size();
    while (left > 0) {
      const ssize_t written = ::write(channel[1], bytes, left);
      if (written <= 0) break;
      bytes += written;
      left -= std::size_t(written);
    }
    // No destructors or atexit handlers of the parent's objects in the child.
    ::_exit(0);
  }
  ::close(channel[1]);
  std::string report;
  char buffer[4096];
  for (ssize_t got; (got = ::read(channel[0], buffer, sizeof buffer)) > 0;)
    report.append(buffer, std::size_t(got));
  ::close(channel[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return "died";
  return report;
}

bool BecomeUnprivileged() {
  if (::geteuid() != 0) return true;
  constexpr uid_t kNobody = 65534;
  return ::setgroups(0, nullptr) == 0 && ::setgid(kNobody) == 0 && ::setuid(kNobody) == 0 &&
         ::geteuid() == kNobody;
}

void LoadEncoders() {
  const QImage pixel = BlockImage().copy(0, 0, 1, 1);
  for (const char* format : {"bmp", "jpeg", "png", "tiff"}) {
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QImageWriter(&buffer, format).write(pixel);
  }
}

}  // namespace orvanth::screenshot::testing
