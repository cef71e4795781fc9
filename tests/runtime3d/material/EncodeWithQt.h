#pragma once
// Images written by Qt's writers: the stored bytes the decoder tests start from.

#include <cstdint>
#include <vector>

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageWriter>

#include <gtest/gtest.h>

namespace rt3d::test {

inline std::vector<std::uint8_t> EncodeWithQt(const QImage& image, const char* format = "png") {
  QByteArray data;
  QBuffer buffer(&data);
  buffer.open(QIODevice::WriteOnly);
  QImageWriter writer(&buffer, format);
  EXPECT_TRUE(writer.write(image)) << writer.errorString().toStdString();
  return std::vector<std::uint8_t>(data.begin(), data.end());
}

}  // namespace rt3d::test
