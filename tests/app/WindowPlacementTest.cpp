// Where the main window goes when it leaves full screen: its size as built where that fits
// the screen's free area, else shrunk to fit with its aspect kept; centred either way.

#include <QMargins>
#include <QRect>

#include <gtest/gtest.h>

#include <cmath>

#include "app/WindowPlacement.h"

namespace {

constexpr QSize kBuilt{1332, 829};
// A caption bar and thin borders, as openbox draws them.
constexpr QMargins kFrame{1, 22, 1, 5};

struct TPlacementCase {
  const char* Name;
  QRect Available;
  QMargins Frame;
  QRect Expected;  // the client area
};

const TPlacementCase kPlacementCases[] = {
    {"full HD: unchanged and centred", {0, 0, 1920, 1080}, kFrame, {294, 134, 1332, 829}},
    {"frame exactly fits", {0, 0, 1334, 856}, kFrame, {1, 22, 1332, 829}},
    {"one pixel too low: height decides", {0, 0, 1334, 855}, kFrame, {2, 22, 1330, 828}},
    {"800x600: width decides", {0, 0, 800, 600}, kFrame, {1, 60, 798, 496}},
    {"portrait 1080x1920", {0, 0, 1080, 1920}, kFrame, {1, 633, 1078, 670}},
    {"a panel takes the top of 1366x768", {0, 30, 1366, 738}, kFrame, {112, 52, 1142, 711}},
    {"a second screen to the right", {1920, 0, 1280, 1024}, kFrame, {1921, 123, 1278, 795}},
    {"before the frame is known, 800x600", {0, 0, 800, 600}, QMargins(), {0, 51, 800, 497}},
};

TEST(WindowPlacement, ShrinksToTheFreeAreaKeepingTheAspectAndCentres) {
  for (const TPlacementCase& c : kPlacementCases) {
    SCOPED_TRACE(c.Name);
    const QRect placed = PlaceClientArea(kBuilt, c.Frame, c.Available);
    EXPECT_EQ(placed, c.Expected);
    EXPECT_TRUE(c.Available.contains(placed.marginsAdded(c.Frame))) << "frame off the area";
    // The shape as built: one side follows from the other, within the pixel that rounding
    // takes off.
    const double aspect = double(kBuilt.width()) / kBuilt.height();
    EXPECT_TRUE(std::abs(placed.height() - placed.width() / aspect) < 1 ||
                std::abs(placed.width() - placed.height() * aspect) < 1)
        << placed.width() << "x" << placed.height();
  }
}

}  // namespace
