#pragma once
// Where the main window goes when it is not full screen.

#include <QMargins>
#include <QRect>
#include <QSize>

// The client geometry of a window whose client area is `client` and whose frame adds
// `frame`, on a screen whose free area is `available`: the framed window centred in that
// area. A framed window larger than the area is shrunk to fit it, with the client area's
// aspect kept; one that fits keeps its size.
QRect PlaceClientArea(QSize client, QMargins frame, QRect available);
