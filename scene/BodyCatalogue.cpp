#include "scene/BodyCatalogue.h"

#include <QStringList>

namespace orvanth {

namespace {

struct TCaption {
  int LeadingSpaces;
  const char* Text;
};

constexpr TCaption kCaptions[] = {
    {12, "Mass:"},           {10, "Volume:"},
    {8, "Diameter:"},        {9, "Density:"},
    {1, "Surface Gravity:"}, {1, "Rotation Period:"},
    {1, "Semi-major Axis:"}, {2, "Orbital Period:"},
    {6, "Axial Tilt:"},      {0, "Surface Pressure:"},
    {7, "Other:"},
};

constexpr int kLines = 11;

// One row per fact line, one column per body (planet, Io, Europa, Ganymede, Callisto).
constexpr const char* kValues[kLines][kBodyCount] = {
    {"1.898×10^27 kg", "8.9319×10^22 kg", "4.7998×10^22 kg", "1.4819×10^23 kg", "1.076×10^23 kg"},
    {"1.431×10^15 km³", "2.53×10^10 km³", "1.593×10^10 km³", "7.66×10^10 km³", "5.9×10^10 km³"},
    {"142,984 km", "3643.2 km", "3,121.6 km", "5,268.2 km", "4,820.6 km"},
    {"1,326 kg/m³", "3.528 g/cm³", "3.013 g/cm³", "1.936 g/cm³", "1.8344 g/cm³"},
    {"24.79 m/s²", "1.796 m/s²", "1.314 m/s²", "1.428 m/s²", "1.235 m/s²"},
    {"9.925h", "Synchronous", "Synchronous", "Synchronous", "Synchronous"},
    {"778.57 million km", "421,700 km", "670,900 km", "1,070,400 km", "1,882,700 km"},
    {"4,332.59 d", "1.769 d", "3.551 d", "7.154 d", "16.689 d"},
    {"3.13°", "0.05°", "0.1°", "0.33°", "0.0°"},
    // Ganymede's pressure is in micropascals written with the Greek mu (U+03BC).
    {"70 kPa", "5..40 nbar", "10^-12 bar", "1.2 \u03bcPa", "7.5×10^-12 bar"},
    {"79 moons", "Moon of Orvanth", "Moon of Orvanth", "Moon of Orvanth", "Moon of Orvanth"},
};

}  // namespace

QString FactCaptions() {
  QStringList lines;
  for (const TCaption& caption : kCaptions) {
    lines << QString(caption.LeadingSpaces, QLatin1Char(' ')) + QString::fromUtf8(caption.Text);
  }
  return lines.join(QLatin1Char('\n'));
}

QString FactValues(TBodyId id) {
  QStringList lines;
  for (const auto& row : kValues) lines << QString::fromUtf8(row[std::size_t(id)]);
  return lines.join(QLatin1Char('\n'));
}

}  // namespace orvanth
