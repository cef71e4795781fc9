#pragma once
// Images, file helpers and child processes shared by the screenshot tests.

#include <QByteArray>
#include <QImage>
#include <QString>
#include <QStringList>

#include <functional>
#include <ostream>
#include <string>

// Readable QString values in test failures.
inline void PrintTo(const QString& text, std::ostream* out) {
  *out << '"' << text.toStdString() << '"';
}

namespace orvanth::screenshot::testing {

// 64 x 48, opaque, 8 x 6 flat blocks of distinct colours (block centres survive lossy
// encoders and palette reduction).
QImage BlockImage();
// Colour of the block around pixel (x, y) of BlockImage.
QRgb BlockColour(int x, int y);
// Opaque random pixels: no encoder can squeeze it much.
QImage NoiseImage(int width, int height);

QByteArray ReadFile(const QString& path);
void WriteFile(const QString& path, const QByteArray& bytes);
// Every entry of a folder, hidden ones included, sorted.
QStringList FilesIn(const QString& folder);

// Runs `save` and names its outcome: "ok", or "<exception class>|<message>".
std::string Attempt(const std::function<void()>& save);

// Runs `body` in a forked child and returns what it returned (or "threw|<message>").
// A child that dies reports "died".
std::string InChildProcess(const std::function<std::string()>& body);

// In a child process: gives up root, so permission checks apply. False when that fails.
bool BecomeUnprivileged();

// Loads every encoder plug-in in this process, so that forked children need not.
void LoadEncoders();

}  // namespace orvanth::screenshot::testing
