// Selecting bodies with the panel's buttons and by pressing on them, and the ways of
// showing and hiding the panel; the 2D overlays over the view and what input they take.

#include <QTest>

#include "runtime3d/core/Camera.h"
#include "scene/BodyCatalogue.h"
#include "tests/app/MainWindowFixture.h"

namespace apptest {

class Bodies : public MainWindow {
 protected:
  struct TBody {
    int Index;
    QPushButton* Button;
    rt3d::TSphere* Sphere;
    const char* Name;
    float CameraZ;
    float OrbitRadius;  // 0 for the planet
  };
  std::vector<TBody> AllBodies() {
    TMainWindow& f = viewer();
    return {{1, f.BodyButton(orvanth::TBodyId::Orvanth),
             f.Scene().Bodies[orvanth::TBodyId::Orvanth], "Orvanth", -7, 0},
            {2, f.BodyButton(orvanth::TBodyId::Io), f.Scene().Bodies[orvanth::TBodyId::Io], "Io",
             -9, 7},
            {3, f.BodyButton(orvanth::TBodyId::Europa), f.Scene().Bodies[orvanth::TBodyId::Europa],
             "Europa", -11, 9},
            {4, f.BodyButton(orvanth::TBodyId::Ganymede),
             f.Scene().Bodies[orvanth::TBodyId::Ganymede], "Ganymede", -15, 12},
            {5, f.BodyButton(orvanth::TBodyId::Callisto),
             f.Scene().Bodies[orvanth::TBodyId::Callisto], "Callisto", -19, 16}};
  }
  QPoint ViewCentre() { return {viewer().View()->width() / 2, viewer().View()->height() / 2}; }
  rt3d::TPoint3D CameraPosition() { return viewer().Scene().Camera->LocalToAbsolute3D({0, 0, 0}); }
  QPoint PointOnPlanet() {
    const int w = viewer().View()->width();
    QPoint p;
    EXPECT_TRUE(FindPointIn(QRect(w / 2 - 100, 100, 200, 100),
                            viewer().Scene().Bodies[orvanth::TBodyId::Orvanth], p));
    return p;
  }
};

TEST_F(Bodies, ButtonPutsTheBodyInTheMiddleOfTheView) {
  // Bodies part way round their orbits, and the rig left turned by earlier drags.
  Advance(50);
  for (const TBody& body : AllBodies()) {
    viewer().Scene().CameraRig->RotationAngle().SetX(25);
    viewer().Scene().CameraRig->RotationAngle().SetY(70);
    viewer().ShowBody(BodyOfKey(body.Index == 1 ? 2 : 1));
    ClickButton(body.Button);

    EXPECT_EQ(viewer().Overlays().NameLabel->text(), QString(body.Name));
    EXPECT_EQ(viewer().Overlays().FactSheetValues->Text(),
              orvanth::FactValues(BodyOfKey(body.Index)))
        << body.Name;
    EXPECT_FALSE(viewer().Overlays().FactSheetValues->isVisible()) << "the fact sheet stays hidden";
    EXPECT_EQ(CameraZ(), body.CameraZ) << body.Name;
    EXPECT_EQ(RigX(), 0) << body.Name;
    const float angle = body.Sphere->RotationAngle().Y();
    const double yaw = body.Index == 1 ? angle : angle - 90.0;
    EXPECT_NEAR(AngleStep(yaw, RigY()), 0, 1e-4) << body.Name;

    const rt3d::TPoint3D camera = CameraPosition();
    if (body.Index == 1) {
      // Always the same meridian of the planet, whatever its spin has reached.
      const rt3d::TPoint3D seen =
          viewer().Scene().Bodies[orvanth::TBodyId::Orvanth]->AbsoluteToLocal3D(camera);
      EXPECT_NEAR(seen.X, 0, 1e-4);
      EXPECT_NEAR(seen.Y, 0, 1e-4);
      EXPECT_LT(seen.Z, 0);
    } else {
      // On the line from the planet through the moon, beyond the moon.
      const rt3d::TPoint3D moon = body.Sphere->LocalToAbsolute3D({0, 0, 0});
      const float k = -body.CameraZ / body.OrbitRadius;
      EXPECT_NEAR(camera.X, moon.X * k, 1e-3) << body.Name;
      EXPECT_NEAR(camera.Y, 0, 1e-3) << body.Name;
      EXPECT_NEAR(camera.Z, moon.Z * k, 1e-3) << body.Name;
    }
    EXPECT_EQ(ObjectAt(ViewCentre()), body.Sphere) << body.Name << " in the middle of the view";
    EXPECT_EQ(ViewPointOf(body.Sphere), ViewCentre()) << body.Name;
  }
  // The spheres go on turning; the moon drifts out of the middle again.
  const QPoint before = ViewPointOf(viewer().Scene().Bodies[orvanth::TBodyId::Callisto]);
  Advance(30);
  EXPECT_NE(ViewPointOf(viewer().Scene().Bodies[orvanth::TBodyId::Callisto]), before);
}

TEST_F(Bodies, PressOnABodyNamesItAndStartsADragWithoutMovingTheCamera) {
  for (const TBody& body : AllBodies()) {
    for (Qt::MouseButton button : {Qt::LeftButton, Qt::MiddleButton}) {
      // The body in the middle of the view, then something else named.
      ClickButton(body.Button);
      const QPoint at = body.Index == 1 ? PointOnPlanet() : ViewCentre();
      ASSERT_EQ(ObjectAt(at), body.Sphere) << body.Name;
      viewer().ShowBody(BodyOfKey(body.Index == 1 ? 5 : 1));
      viewer().Scene().Camera->Position().SetZ(body.CameraZ - 1);
      const float x = RigX(), y = RigY();

      Press(at, button);
      EXPECT_EQ(viewer().Overlays().NameLabel->text(), QString(body.Name));
      EXPECT_EQ(viewer().Overlays().FactSheetValues->Text(),
                orvanth::FactValues(BodyOfKey(body.Index)))
          << body.Name;
      EXPECT_TRUE(viewer().Orbit().Dragging()) << body.Name;
      EXPECT_EQ(viewer().Orbit().LastDragPoint().X, at.x());
      EXPECT_EQ(viewer().Orbit().LastDragPoint().Y, at.y());
      EXPECT_EQ(CameraZ(), body.CameraZ - 1) << body.Name << ": the camera stays";
      EXPECT_EQ(RigX(), x);
      EXPECT_EQ(RigY(), y);
      Release(at, button);
      EXPECT_FALSE(viewer().Orbit().Dragging());
    }
  }
}

TEST_F(Bodies, RightPressOnABodyOpensTheMenuAndChangesNothingElse) {
  ClickButton(viewer().BodyButton(orvanth::TBodyId::Io));
  viewer().ShowBody(orvanth::TBodyId::Orvanth);
  const QPoint at = ViewCentre();
  ASSERT_EQ(ObjectAt(at), viewer().Scene().Bodies[orvanth::TBodyId::Io]);
  const float x = RigX(), y = RigY();

  Press(at, Qt::RightButton);
  ASSERT_TRUE(WaitFor([this] { return viewer().Overlays().ContextMenu->isVisible(); }));
  EXPECT_EQ(viewer().Overlays().ContextMenu->pos(), viewer().mapToGlobal(at)) << "at the pointer";
  EXPECT_EQ(viewer().Overlays().NameLabel->text(), QString("Orvanth"));
  EXPECT_EQ(viewer().Overlays().FactSheetValues->Text(), orvanth::FactValues(BodyOfKey(1)));
  EXPECT_FALSE(viewer().Orbit().Dragging());
  Release(at, Qt::RightButton);
  viewer().Overlays().ContextMenu->close();
  EXPECT_TRUE(WaitFor([this] { return !viewer().Overlays().ContextMenu->isVisible(); }));
  EXPECT_EQ(CameraZ(), -9);
  EXPECT_EQ(RigX(), x);
  EXPECT_EQ(RigY(), y);
  EXPECT_FALSE(viewer().Overlays().FactSheetCaptions->isVisible());
}

TEST_F(Bodies, FactSheetRowsLineUpForEveryBody) {
  const QStringList captions = viewer().Overlays().FactSheetCaptions->Text().split('\n');
  ASSERT_EQ(captions.size(), 11);
  EXPECT_EQ(captions[9], QString("Surface Pressure:"));
  for (const TBody& body : AllBodies()) {
    ClickButton(body.Button);
    const QStringList values = viewer().Overlays().FactSheetValues->Text().split('\n');
    EXPECT_EQ(values.size(), 11) << body.Name;
    EXPECT_EQ(values.last(), QString(body.Index == 1 ? "79 moons" : "Moon of Orvanth"));
  }
  ClickButton(viewer().BodyButton(orvanth::TBodyId::Ganymede));
  // Greek small letter mu, not the micro sign.
  EXPECT_EQ(viewer().Overlays().FactSheetValues->Text().split('\n')[9],
            QString::fromUtf8("1.2 \u03BCPa"));
  EXPECT_FALSE(viewer().Overlays().FactSheetValues->Text().contains(QChar(0x00B5)));
}

TEST_F(Bodies, SpaceAloneTogglesThePanel) {
  struct TCase {
    Qt::Key Key;
    Qt::KeyboardModifiers Modifiers;
    bool Toggles;
    const char* Name;
  };
  const TCase cases[] = {
      {Qt::Key_Space, Qt::NoModifier, true, "space"},
      {Qt::Key_Space, Qt::ShiftModifier, true, "shift+space types a space too"},
      {Qt::Key_Space, Qt::ControlModifier, false, "ctrl+space has no character"},
      {Qt::Key_Space, Qt::AltModifier, false, "alt+space"},
      {Qt::Key_A, Qt::NoModifier, false, "a"},
      {Qt::Key_Return, Qt::NoModifier, false, "enter"},
      {Qt::Key_F1, Qt::NoModifier, false, "a key with no character"},
  };
  for (const TCase& c : cases) {
    const bool shown = viewer().Overlays().ButtonPanel->isVisible();
    PressKey(c.Key, c.Modifiers);
    EXPECT_EQ(viewer().Overlays().ButtonPanel->isVisible() != shown, c.Toggles) << c.Name;
    EXPECT_EQ(viewer().Overlays().NameLabel->text(), QString("Orvanth"))
        << c.Name << " selected nothing";
  }
}

TEST_F(Bodies, FocusedButtonTakesTheSpaceAndKeepsTheFocusOverPressesOnTheView) {
  ClickButton(viewer().BodyButton(orvanth::TBodyId::Io));
  ASSERT_EQ(QApplication::focusWidget(), viewer().BodyButton(orvanth::TBodyId::Io))
      << "a clicked button takes the focus";
  for (Qt::Key key : {Qt::Key_Space, Qt::Key_Return}) {
    viewer().ShowBody(orvanth::TBodyId::Orvanth);
    viewer().Scene().Camera->Position().SetZ(-20);
    PressKey(key);
    EXPECT_EQ(viewer().Overlays().NameLabel->text(), QString("Io")) << "the key clicked the button";
    EXPECT_EQ(CameraZ(), -9);
    EXPECT_TRUE(viewer().Overlays().ButtonPanel->isVisible()) << "and did not toggle the panel";
  }
  // A press on the view leaves the focus where it is.
  Click(BareViewPoint());
  viewer().ShowBody(orvanth::TBodyId::Orvanth);
  PressKey(Qt::Key_Space);
  EXPECT_EQ(viewer().Overlays().NameLabel->text(), QString("Io"));
  EXPECT_TRUE(viewer().Overlays().ButtonPanel->isVisible());
}

TEST_F(Bodies, DoubleClickOnTheViewOrABodyTogglesThePanel) {
  DoubleClick(BareViewPoint());
  EXPECT_FALSE(viewer().Overlays().ButtonPanel->isVisible());
  EXPECT_EQ(viewer().Overlays().NameLabel->text(), QString("Orvanth"));

  ClickButton(viewer().BodyButton(orvanth::TBodyId::Europa));
  viewer().ShowBody(orvanth::TBodyId::Orvanth);
  ASSERT_EQ(ObjectAt(ViewCentre()), viewer().Scene().Bodies[orvanth::TBodyId::Europa]);
  DoubleClick(ViewCentre());
  EXPECT_TRUE(viewer().Overlays().ButtonPanel->isVisible());
  EXPECT_EQ(viewer().Overlays().NameLabel->text(), QString("Europa")) << "named by its presses";
  EXPECT_EQ(CameraZ(), -11) << "not flown to";
  EXPECT_FALSE(viewer().Orbit().Dragging());
}

// The name strip and the fact sheet lie over the view but take no input: a press, a
// wheel turn or a double click there acts on whatever the view has beneath.
TEST_F(Bodies, OverlaysPassInputToTheView) {
  ChooseMenuItem(viewer().Actions().ShowInfo);
  ASSERT_TRUE(viewer().Overlays().FactSheetCaptions->isVisible());
  ASSERT_TRUE(viewer().Overlays().FactSheetValues->isVisible());
  for (QWidget* overlay : std::initializer_list<QWidget*>{viewer().Overlays().NameLabel,
                                                          viewer().Overlays().FactSheetCaptions,
                                                          viewer().Overlays().FactSheetValues}) {
    const QString name = overlay->objectName();
    const QRect area(overlay->mapTo(&viewer(), QPoint()), overlay->size());
    QPoint bare;
    ASSERT_TRUE(FindPointIn(area.adjusted(0, 0, -60, 0), nullptr, bare)) << name.toStdString();
    ASSERT_EQ(viewer().childAt(bare), viewer().View()) << name.toStdString();

    viewer().Scene().CameraRig->RotationAngle().SetY(0);
    viewer().Scene().Camera->Position().SetZ(-15);
    Press(bare);
    MoveTo(bare + QPoint(25, 0));
    MoveTo(bare + QPoint(50, 0));
    Release(bare + QPoint(50, 0));
    EXPECT_NEAR(RigY(), 50 * 0.3 * (8.0 / 33 + 0.1), 1e-3) << name.toStdString();

    Wheel(bare, 120);
    EXPECT_EQ(CameraZ(), -14) << name.toStdString();

    const bool shown = viewer().Overlays().ButtonPanel->isVisible();
    DoubleClick(bare);
    EXPECT_NE(viewer().Overlays().ButtonPanel->isVisible(), shown) << name.toStdString();

    Click(bare, Qt::RightButton);
    EXPECT_TRUE(WaitFor([this] { return viewer().Overlays().ContextMenu->isVisible(); }))
        << name.toStdString();
    viewer().Overlays().ContextMenu->close();
    EXPECT_TRUE(WaitFor([this] { return !viewer().Overlays().ContextMenu->isVisible(); }));
  }

  // Over the planet the press names the planet.
  viewer().Scene().CameraRig->RotationAngle().SetY(0);
  viewer().Scene().Camera->Position().SetZ(-15);
  viewer().ShowBody(orvanth::TBodyId::Io);
  QPoint onPlanet;
  ASSERT_TRUE(FindPointIn(viewer().Overlays().FactSheetValues->geometry(),
                          viewer().Scene().Bodies[orvanth::TBodyId::Orvanth], onPlanet));
  Click(onPlanet);
  EXPECT_EQ(viewer().Overlays().NameLabel->text(), QString("Orvanth"));
}

TEST_F(Bodies, PanelFaceSwallowsPressWheelAndRightClick) {
  const QPoint face = viewer().Overlays().ButtonPanel->geometry().topLeft() + QPoint(8, 8);
  ASSERT_EQ(viewer().childAt(face), viewer().Overlays().ButtonPanel);
  Press(face);
  MoveTo(face + QPoint(0, 40));
  MoveTo(BareViewPoint());
  Release(BareViewPoint());
  EXPECT_FALSE(viewer().Orbit().Dragging());
  EXPECT_EQ(RigX(), 0);
  EXPECT_EQ(RigY(), 0);

  Wheel(face, 120);
  Wheel(face, -120);
  EXPECT_EQ(CameraZ(), -15);

  Click(face, Qt::RightButton);
  QTest::qWait(50);
  EXPECT_FALSE(viewer().Overlays().ContextMenu->isVisible());

  DoubleClick(face);
  EXPECT_TRUE(viewer().Overlays().ButtonPanel->isVisible());
}

}  // namespace apptest
