#pragma once
// GIF output, which Qt's image writers lack: the picture reduced to one 256-colour palette
// by median cut. GIF has no partial transparency, so the colour is written as stored
// (premultiplied pixels appear laid over black), as for JPEG.

#include <QIODevice>
#include <QImage>

namespace orvanth::screenshot {

// False when the image cannot be written as GIF (empty, larger than the format allows,
// out of memory) or the device refused the bytes.
bool WriteGif(const QImage& image, QIODevice& device);

}  // namespace orvanth::screenshot
