#include "app/WindowPlacement.h"

#include <algorithm>

QRect PlaceClientArea(QSize client, QMargins frame, QRect available) {
  const qint64 roomWidth = std::max(1, available.width() - frame.left() - frame.right());
  const qint64 roomHeight = std::max(1, available.height() - frame.top() - frame.bottom());
  const qint64 width = client.width(), height = client.height();
  if (width > roomWidth || height > roomHeight) {
    // The side that runs out of room first takes all of it; the other follows, rounded
    // down so that the window never pokes out of the area by a pixel.
    if (roomWidth * height <= roomHeight * width)
      client = QSize(int(roomWidth), int(std::max<qint64>(1, roomWidth * height / width)));
    else
      client = QSize(int(std::max<qint64>(1, roomHeight * width / height)), int(roomHeight));
  }
  QRect framed(QPoint(), client.grownBy(frame));
  framed.moveCenter(available.center());
  return QRect(framed.topLeft() + QPoint(frame.left(), frame.top()), client);
}
