#include <gtest/gtest.h>

#include <QStringList>

#include "scene/BodyCatalogue.h"

using namespace orvanth;

TEST(FactSheet, CaptionColumnHasItsExactShape) {
  const QString captions = FactCaptions();
  EXPECT_EQ(captions.size(), 193);
  const QStringList lines = captions.split(QLatin1Char('\n'));
  ASSERT_EQ(lines.size(), 11);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(lines[i].size(), 17) << "line " << i + 1;
  EXPECT_EQ(lines[10], QStringLiteral("       Other:"));
  EXPECT_EQ(lines[0], QStringLiteral("            Mass:"));
  EXPECT_FALSE(captions.endsWith(QLatin1Char('\n')));
}

TEST(FactSheet, ValueColumnsHaveElevenLinesAndTheirExactLengths) {
  const int lengths[kBodyCount] = {122, 127, 128, 127, 133};
  for (TBodyId id : kBodyIds) {
    const QString values = FactValues(id);
    EXPECT_EQ(values.size(), lengths[int(id)]) << "body " << Body(id).Name;
    EXPECT_EQ(values.split(QLatin1Char('\n')).size(), 11) << "body " << Body(id).Name;
    EXPECT_FALSE(values.endsWith(QLatin1Char('\n')));
  }
}

TEST(FactSheet, SpecialCharactersAreTheRightCodePoints) {
  EXPECT_TRUE(FactValues(TBodyId::Ganymede).contains(QStringLiteral("1.2 \u03bcPa"))) << "Greek mu";
  EXPECT_FALSE(FactValues(TBodyId::Ganymede).contains(QChar(0x00B5))) << "not the micro sign";
  EXPECT_TRUE(FactValues(TBodyId::Orvanth).contains(QStringLiteral("1.898\u00d710^27 kg")));
  EXPECT_TRUE(FactValues(TBodyId::Orvanth).contains(QStringLiteral("km\u00b3")));
  EXPECT_TRUE(FactValues(TBodyId::Orvanth).contains(QStringLiteral("m/s\u00b2")));
  EXPECT_TRUE(FactValues(TBodyId::Orvanth).contains(QStringLiteral("3.13\u00b0")));
  EXPECT_TRUE(FactValues(TBodyId::Orvanth).endsWith(QStringLiteral("79 moons")));
  for (TBodyId id : kMoons) {
    EXPECT_TRUE(FactValues(id).endsWith(QStringLiteral("Moon of Orvanth"))) << Body(id).Name;
  }
}

TEST(BodyTable, DistancesPutTheCameraJustOutsideEachBodyOrOrbit) {
  const float radius[kBodyCount] = {5, 7, 9, 12, 16};
  const float clearance[kBodyCount] = {2, 2, 2, 3, 3};
  for (const TBodyInfo& body : kBodies) {
    const int i = int(body.Id);
    EXPECT_FLOAT_EQ(-body.CameraDistanceZ, radius[i] + clearance[i]) << body.Name;
    if (body.Id != TBodyId::Orvanth) {
      EXPECT_FLOAT_EQ(body.OrbitRadius, radius[i]) << body.Name;
    }
  }
  EXPECT_STREQ(Body(TBodyId::Ganymede).Name, "Ganymede");
}
