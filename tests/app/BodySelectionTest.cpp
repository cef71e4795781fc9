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
    TForm2& f = form();
    return {{1, f.Button11, f.Sphere1, "Orvanth", -7, 0},
            {2, f.Button4, f.Sphere3, "Io", -9, 7},
            {3, f.Button8, f.Sphere4, "Europa", -11, 9},
            {4, f.Button1, f.Sphere5, "Ganymede", -15, 12},
            {5, f.Button2, f.Sphere6, "Callisto", -19, 16}};
  }
  QPoint ViewCentre() {
    return {form().Viewport3D1->width() / 2, form().Viewport3D1->height() / 2};
  }
  rt3d::TPoint3D CameraPosition() { return form().Camera1->LocalToAbsolute3D({0, 0, 0}); }
  QPoint PointOnPlanet() {
    const int w = form().Viewport3D1->width();
    QPoint p;
    EXPECT_TRUE(FindPointIn(QRect(w / 2 - 100, 100, 200, 100), form().Sphere1, p));
    return p;
  }
};

TEST_F(Bodies, ButtonPutsTheBodyInTheMiddleOfTheView) {
  // Bodies part way round their orbits, and the rig left turned by earlier drags.
  Advance(50);
  for (const TBody& body : AllBodies()) {
    form().Dummy1->RotationAngle().SetX(25);
    form().Dummy1->RotationAngle().SetY(70);
    form().ShowBodyInfo(body.Index == 1 ? 2 : 1);
    ClickButton(body.Button);

    EXPECT_EQ(form().Label1->text(), QString(body.Name));
    EXPECT_EQ(form().Text2->Text(), orvanth::FactValues(body.Index)) << body.Name;
    EXPECT_FALSE(form().Text2->isVisible()) << "the fact sheet stays hidden";
    EXPECT_EQ(CameraZ(), body.CameraZ) << body.Name;
    EXPECT_EQ(RigX(), 0) << body.Name;
    const float angle = body.Sphere->RotationAngle().Y();
    const double yaw = body.Index == 1 ? angle : angle - 90.0;
    EXPECT_NEAR(AngleStep(yaw, RigY()), 0, 1e-4) << body.Name;

    const rt3d::TPoint3D camera = CameraPosition();
    if (body.Index == 1) {
      // Always the same meridian of the planet, whatever its spin has reached.
      const rt3d::TPoint3D seen = form().Sphere1->AbsoluteToLocal3D(camera);
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
  const QPoint before = ViewPointOf(form().Sphere6);
  Advance(30);
  EXPECT_NE(ViewPointOf(form().Sphere6), before);
}

TEST_F(Bodies, PressOnABodyNamesItAndStartsADragWithoutMovingTheCamera) {
  for (const TBody& body : AllBodies()) {
    for (Qt::MouseButton button : {Qt::LeftButton, Qt::MiddleButton}) {
      // The body in the middle of the view, then something else named.
      ClickButton(body.Button);
      const QPoint at = body.Index == 1 ? PointOnPlanet() : ViewCentre();
      ASSERT_EQ(ObjectAt(at), body.Sphere) << body.Name;
      form().ShowBodyInfo(body.Index == 1 ? 5 : 1);
      form().Camera1->Position().SetZ(body.CameraZ - 1);
      const float x = RigX(), y = RigY();

      Press(at, button);
      EXPECT_EQ(form().Label1->text(), QString(body.Name));
      EXPECT_EQ(form().Text2->Text(), orvanth::FactValues(body.Index)) << body.Name;
      EXPECT_TRUE(Dragging) << body.Name;
      EXPECT_EQ(form().FDown.X, at.x());
      EXPECT_EQ(form().FDown.Y, at.y());
      EXPECT_EQ(CameraZ(), body.CameraZ - 1) << body.Name << ": the camera stays";
      EXPECT_EQ(RigX(), x);
      EXPECT_EQ(RigY(), y);
      Release(at, button);
      EXPECT_FALSE(Dragging);
    }
  }
}

TEST_F(Bodies, RightPressOnABodyOpensTheMenuAndChangesNothingElse) {
  ClickButton(form().Button4);
  form().ShowBodyInfo(1);
  const QPoint at = ViewCentre();
  ASSERT_EQ(ObjectAt(at), form().Sphere3);
  const float x = RigX(), y = RigY();

  Press(at, Qt::RightButton);
  ASSERT_TRUE(WaitFor([this] { return form().PopupMenu1->isVisible(); }));
  EXPECT_EQ(form().PopupMenu1->pos(), form().mapToGlobal(at)) << "at the pointer";
  EXPECT_EQ(form().Label1->text(), QString("Orvanth"));
  EXPECT_EQ(form().Text2->Text(), orvanth::FactValues(1));
  EXPECT_FALSE(Dragging);
  Release(at, Qt::RightButton);
  form().PopupMenu1->close();
  EXPECT_TRUE(WaitFor([this] { return !form().PopupMenu1->isVisible(); }));
  EXPECT_EQ(CameraZ(), -9);
  EXPECT_EQ(RigX(), x);
  EXPECT_EQ(RigY(), y);
  EXPECT_FALSE(form().Text1->isVisible());
}

TEST_F(Bodies, FactSheetRowsLineUpForEveryBody) {
  const QStringList captions = form().Text1->Text().split('\n');
  ASSERT_EQ(captions.size(), 11);
  EXPECT_EQ(captions[9], QString("Surface Pressure:"));
  for (const TBody& body : AllBodies()) {
    ClickButton(body.Button);
    const QStringList values = form().Text2->Text().split('\n');
    EXPECT_EQ(values.size(), 11) << body.Name;
    EXPECT_EQ(values.last(), QString(body.Index == 1 ? "79 moons" : "Moon of Orvanth"));
  }
  ClickButton(form().Button1);
  // Greek small letter mu, not the micro sign.
  EXPECT_EQ(form().Text2->Text().split('\n')[9], QString::fromUtf8("1.2 \u03BCPa"));
  EXPECT_FALSE(form().Text2->Text().contains(QChar(0x00B5)));
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
    const bool shown = form().Panel1->isVisible();
    PressKey(c.Key, c.Modifiers);
    EXPECT_EQ(form().Panel1->isVisible() != shown, c.Toggles) << c.Name;
    EXPECT_EQ(form().Label1->text(), QString("Orvanth")) << c.Name << " selected nothing";
  }
}

TEST_F(Bodies, FocusedButtonTakesTheSpaceAndKeepsTheFocusOverPressesOnTheView) {
  ClickButton(form().Button4);
  ASSERT_EQ(QApplication::focusWidget(), form().Button4) << "a clicked button takes the focus";
  for (Qt::Key key : {Qt::Key_Space, Qt::Key_Return}) {
    form().ShowBodyInfo(1);
    form().Camera1->Position().SetZ(-20);
    PressKey(key);
    EXPECT_EQ(form().Label1->text(), QString("Io")) << "the key clicked the button";
    EXPECT_EQ(CameraZ(), -9);
    EXPECT_TRUE(form().Panel1->isVisible()) << "and did not toggle the panel";
  }
  // A press on the view leaves the focus where it is.
  Click(BareViewPoint());
  form().ShowBodyInfo(1);
  PressKey(Qt::Key_Space);
  EXPECT_EQ(form().Label1->text(), QString("Io"));
  EXPECT_TRUE(form().Panel1->isVisible());
}

TEST_F(Bodies, DoubleClickOnTheViewOrABodyTogglesThePanel) {
  DoubleClick(BareViewPoint());
  EXPECT_FALSE(form().Panel1->isVisible());
  EXPECT_EQ(form().Label1->text(), QString("Orvanth"));

  ClickButton(form().Button8);
  form().ShowBodyInfo(1);
  ASSERT_EQ(ObjectAt(ViewCentre()), form().Sphere4);
  DoubleClick(ViewCentre());
  EXPECT_TRUE(form().Panel1->isVisible());
  EXPECT_EQ(form().Label1->text(), QString("Europa")) << "named by its presses";
  EXPECT_EQ(CameraZ(), -11) << "not flown to";
  EXPECT_FALSE(Dragging);
}

// The name strip and the fact sheet lie over the view but take no input: a press, a
// wheel turn or a double click there acts on whatever the view has beneath.
TEST_F(Bodies, OverlaysPassInputToTheView) {
  ChooseMenuItem(form().MenuItem3);
  ASSERT_TRUE(form().Text1->isVisible());
  ASSERT_TRUE(form().Text2->isVisible());
  for (QWidget* overlay :
       std::initializer_list<QWidget*>{form().Label1, form().Text1, form().Text2}) {
    const QString name = overlay->objectName();
    const QRect area(overlay->mapTo(&form(), QPoint()), overlay->size());
    QPoint bare;
    ASSERT_TRUE(FindPointIn(area.adjusted(0, 0, -60, 0), nullptr, bare)) << name.toStdString();
    ASSERT_EQ(form().childAt(bare), form().Viewport3D1) << name.toStdString();

    form().Dummy1->RotationAngle().SetY(0);
    form().Camera1->Position().SetZ(-15);
    Press(bare);
    MoveTo(bare + QPoint(25, 0));
    MoveTo(bare + QPoint(50, 0));
    Release(bare + QPoint(50, 0));
    EXPECT_NEAR(RigY(), 50 * 0.3 * (8.0 / 33 + 0.1), 1e-3) << name.toStdString();

    Wheel(bare, 120);
    EXPECT_EQ(CameraZ(), -14) << name.toStdString();

    const bool shown = form().Panel1->isVisible();
    DoubleClick(bare);
    EXPECT_NE(form().Panel1->isVisible(), shown) << name.toStdString();

    Click(bare, Qt::RightButton);
    EXPECT_TRUE(WaitFor([this] { return form().PopupMenu1->isVisible(); })) << name.toStdString();
    form().PopupMenu1->close();
    EXPECT_TRUE(WaitFor([this] { return !form().PopupMenu1->isVisible(); }));
  }

  // Over the planet the press names the planet.
  form().Dummy1->RotationAngle().SetY(0);
  form().Camera1->Position().SetZ(-15);
  form().ShowBodyInfo(2);
  QPoint onPlanet;
  ASSERT_TRUE(FindPointIn(form().Text2->geometry(), form().Sphere1, onPlanet));
  Click(onPlanet);
  EXPECT_EQ(form().Label1->text(), QString("Orvanth"));
}

TEST_F(Bodies, PanelFaceSwallowsPressWheelAndRightClick) {
  const QPoint face = form().Panel1->geometry().topLeft() + QPoint(8, 8);
  ASSERT_EQ(form().childAt(face), form().Panel1);
  Press(face);
  MoveTo(face + QPoint(0, 40));
  MoveTo(BareViewPoint());
  Release(BareViewPoint());
  EXPECT_FALSE(Dragging);
  EXPECT_EQ(RigX(), 0);
  EXPECT_EQ(RigY(), 0);

  Wheel(face, 120);
  Wheel(face, -120);
  EXPECT_EQ(CameraZ(), -15);

  Click(face, Qt::RightButton);
  QTest::qWait(50);
  EXPECT_FALSE(form().PopupMenu1->isVisible());

  DoubleClick(face);
  EXPECT_TRUE(form().Panel1->isVisible());
}

}  // namespace apptest
