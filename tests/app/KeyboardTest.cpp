// The keyboard does what the pointer does: turning, zooming, selecting, full screen, the
// menu and its commands; keys reach the viewer only while its window has the focus.

#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <ostream>

#include "app/Application.h"
#include "screenshot/ScriptedSaveDialog.h"
#include "tests/app/MainWindowFixture.h"

namespace apptest {

namespace {

struct TKey {
  Qt::Key Key;
  Qt::KeyboardModifiers Modifiers = Qt::NoModifier;
};

// What the keys act on, to tell that a key did nothing.
struct TViewerState {
  float RigX, RigY, CameraZ;
  QString Name, Facts;
  bool Panel, FullScreen, AboutShown;
  friend bool operator==(const TViewerState&, const TViewerState&) = default;
};

std::string KeyName(const TKey& k) {
  return QKeySequence(QKeyCombination(k.Modifiers, k.Key)).toString().toStdString();
}

void PrintTo(const TViewerState& s, std::ostream* os) {
  *os << "{rig " << s.RigX << ", " << s.RigY << ", camera " << s.CameraZ << ", "
      << s.Name.toStdString() << (s.Panel ? ", panel" : "") << (s.FullScreen ? ", full screen" : "")
      << (s.AboutShown ? ", About shown" : "") << "}";
}

}  // namespace

class Keyboard : public MainWindow {
 protected:
  TViewerState State() {
    TMainWindow& f = viewer();
    return {RigX(),
            RigY(),
            CameraZ(),
            f.Overlays().NameLabel->text(),
            f.Overlays().FactSheetValues->Text(),
            f.Overlays().ButtonPanel->isVisible(),
            f.Actions().FullScreen->isChecked(),
            TheAboutWindow->isVisible()};
  }
  void TurnRigTo(float x, float y) {
    viewer().Scene().CameraRig->RotationAngle().SetX(x);
    viewer().Scene().CameraRig->RotationAngle().SetY(y);
  }
  bool IsWindowed() {
    return !viewer().isFullScreen() && viewer().frameGeometry() != viewer().geometry();
  }
  // Gives the focus to a panel button, or back to the view.
  void FocusButton(bool button) {
    if (button) {
      viewer().BodyButton(orvanth::TBodyId::Europa)->setFocus(Qt::TabFocusReason);
    } else {
      viewer().View()->setFocus(Qt::TabFocusReason);
    }
  }
  QWidget* Focused() { return QApplication::focusWidget(); }
  QWidget* ExpectedFocus(bool button) {
    return button ? static_cast<QWidget*>(viewer().BodyButton(orvanth::TBodyId::Europa))
                  : viewer().View();
  }
};

TEST_F(Keyboard, ArrowKeysTurnTheRigAsATwentyPixelDragWould) {
  struct TCase {
    Qt::Key Key;
    QPoint Drag;
    double TurnX, TurnY;  // degrees, with the camera at -15
  };
  // 20 x 0.3 x (8/33 + 0.1)
  const TCase cases[] = {{Qt::Key_Left, {-20, 0}, 0, -2.0545},
                         {Qt::Key_Right, {20, 0}, 0, 2.0545},
                         {Qt::Key_Up, {0, -20}, 2.0545, 0},
                         {Qt::Key_Down, {0, 20}, -2.0545, 0}};
  for (bool button : {false, true}) {
    for (float z : {-6.0f, -15.0f, -38.0f}) {
      for (const TCase& c : cases) {
        const std::string name = KeyName({c.Key}) + " at " + std::to_string(z) +
                                 (button ? " with a button focused" : "");
        viewer().Scene().Camera->Position().SetZ(z);
        TurnRigTo(12, 30);
        // One move of 20 pixels.
        const QPoint start = DragStart();
        Press(start);
        MoveTo(start + c.Drag);
        Release(start + c.Drag);
        const float dragX = RigX(), dragY = RigY();

        TurnRigTo(12, 30);
        FocusButton(button);
        PressKey(c.Key);
        EXPECT_EQ(RigX(), dragX) << name;
        EXPECT_EQ(RigY(), dragY) << name;
        if (z == -15.0f) {
          EXPECT_NEAR(AngleStep(12, RigX()), c.TurnX, 1e-3) << name;
          EXPECT_NEAR(AngleStep(30, RigY()), c.TurnY, 1e-3) << name;
        }
        EXPECT_EQ(CameraZ(), z) << name;
        EXPECT_FALSE(viewer().Orbit().Dragging()) << name;
        EXPECT_EQ(Focused(), ExpectedFocus(button)) << name << ": the focus stays";
      }
    }
  }
}

TEST_F(Keyboard, ArrowKeysTurnWithShiftButNotWithCtrlOrAlt) {
  struct TCase {
    Qt::KeyboardModifiers Modifiers;
    bool Turns;
    const char* Name;
  };
  const TCase cases[] = {{Qt::ShiftModifier, true, "shift"},
                         {Qt::ControlModifier, false, "ctrl"},
                         {Qt::AltModifier, false, "alt"},
                         {Qt::ControlModifier | Qt::AltModifier, false, "ctrl+alt"}};
  for (const TCase& c : cases) {
    TurnRigTo(0, 0);
    PressKey(Qt::Key_Right, c.Modifiers);
    EXPECT_EQ(RigY() != 0, c.Turns) << c.Name;
    EXPECT_EQ(RigX(), 0) << c.Name;
  }
}

TEST_F(Keyboard, HeldArrowKeyRepeats) {
  PressKey(Qt::Key_Down);
  PressKey(Qt::Key_Down);
  PressKey(Qt::Key_Down);
  PressKey(Qt::Key_Down);
  const float fourPresses = RigX();
  TurnRigTo(0, 0);
  HoldKey(Qt::Key_Down, 3);
  EXPECT_EQ(RigX(), fourPresses) << "a press and three repeats turn as four presses";
  EXPECT_NEAR(AngleStep(0, RigX()), -4 * 2.0545, 1e-3);
}

TEST_F(Keyboard, ZoomKeysStepOnceWithinTheWheelsLimits) {
  struct TCase {
    TKey Key;
    float From, To;
    const char* Name;
  };
  const TCase cases[] = {
      {{Qt::Key_Plus}, -15, -14, "+"},
      {{Qt::Key_Plus, Qt::ShiftModifier}, -15, -14, "+ typed with shift"},
      {{Qt::Key_Equal}, -15, -14, "= (+ without shift)"},
      {{Qt::Key_Plus, Qt::KeypadModifier}, -15, -14, "keypad +"},
      {{Qt::Key_PageUp}, -15, -14, "Page Up"},
      {{Qt::Key_Minus}, -15, -16, "-"},
      {{Qt::Key_Minus, Qt::KeypadModifier}, -15, -16, "keypad -"},
      {{Qt::Key_PageDown}, -15, -16, "Page Down"},
      {{Qt::Key_Plus}, -6, -6, "+ at the nearest distance is refused"},
      {{Qt::Key_PageUp}, -6, -6, "Page Up at the nearest distance is refused"},
      {{Qt::Key_Minus}, -6, -7, "- from the nearest distance"},
      {{Qt::Key_Minus}, -39, -39, "- at the farthest distance is refused"},
      {{Qt::Key_PageDown}, -39, -39, "Page Down at the farthest distance is refused"},
      {{Qt::Key_Equal}, -39, -38, "= from the farthest distance"},
      {{Qt::Key_Plus, Qt::ControlModifier}, -15, -15, "ctrl + is not a zoom key"},
      {{Qt::Key_PageUp, Qt::AltModifier}, -15, -15, "alt Page Up is not a zoom key"},
  };
  for (bool button : {false, true}) {
    for (const TCase& c : cases) {
      viewer().Scene().Camera->Position().SetZ(c.From);
      FocusButton(button);
      PressKey(c.Key.Key, c.Key.Modifiers);
      EXPECT_EQ(CameraZ(), c.To) << c.Name << (button ? " with a button focused" : "");
      EXPECT_EQ(RigX(), 0) << c.Name;
      EXPECT_EQ(RigY(), 0) << c.Name;
    }
  }
}

TEST_F(Keyboard, DigitKeysSelectTheirBodyAsItsButtonDoes) {
  // Bodies part way round their orbits, so each selection turns the rig its own way.
  Advance(50);
  struct TCase {
    TKey Key;
    int Body;
  };
  const TCase cases[] = {
      {{Qt::Key_1}, 1}, {{Qt::Key_2}, 2}, {{Qt::Key_3}, 3},
      {{Qt::Key_4}, 4}, {{Qt::Key_5}, 5}, {{Qt::Key_4, Qt::KeypadModifier}, 4},
  };
  for (const TCase& c : cases) {
    const std::string name = "key " + std::to_string(c.Key.Key - Qt::Key_0);
    ClickButton(viewer().BodyButton(BodyOfKey(c.Body)));
    const TViewerState byButton = State();

    TurnRigTo(25, 70);
    viewer().Scene().Camera->Position().SetZ(-20);
    viewer().ShowBody(BodyOfKey(c.Body == 1 ? 2 : 1));
    viewer().View()->setFocus();
    PressKey(c.Key.Key, c.Key.Modifiers);
    EXPECT_EQ(State(), byButton) << name;
    EXPECT_EQ(Focused(), viewer().View()) << name << ": the focus stays on the view";
  }
}

TEST_F(Keyboard, OtherDigitsAndShiftedDigitsSelectNothing) {
  const TKey keys[] = {{Qt::Key_0},
                       {Qt::Key_6},
                       {Qt::Key_9},
                       {Qt::Key_Exclam, Qt::ShiftModifier},  // shift+1
                       {Qt::Key_2, Qt::AltModifier},
                       {Qt::Key_3, Qt::ControlModifier}};
  viewer().ShowBody(orvanth::TBodyId::Ganymede);
  const TViewerState before = State();
  for (const TKey& k : keys) {
    PressKey(k.Key, k.Modifiers);
    EXPECT_EQ(State(), before) << KeyName(k);
  }
}

TEST_F(Keyboard, EscapeLeavesFullScreenAndF11TogglesItWithTheMenuMarkInStep) {
  struct TStep {
    Qt::Key Key;
    bool FullScreen;
    const char* Name;
  };
  const TStep steps[] = {
      {Qt::Key_Escape, false, "Escape leaves full screen"},
      {Qt::Key_Escape, false, "Escape in a window does nothing"},
      {Qt::Key_F11, true, "F11 enters full screen"},
      {Qt::Key_F11, false, "F11 leaves it"},
      {Qt::Key_F11, true, "F11 enters it again"},
  };
  viewer().ShowBody(orvanth::TBodyId::Europa);
  for (bool button : {false, true}) {
    for (const TStep& s : steps) {
      TViewerState expected = State();
      expected.FullScreen = s.FullScreen;
      FocusButton(button);
      PressKey(s.Key);
      EXPECT_EQ(viewer().Actions().FullScreen->isChecked(), s.FullScreen) << s.Name;
      EXPECT_TRUE(WaitFor([&] { return s.FullScreen ? CoversScreen() : IsWindowed(); }))
          << s.Name << (button ? " with a button focused" : "");
      EXPECT_EQ(viewer().FullScreen(), s.FullScreen) << s.Name;
      EXPECT_EQ(State(), expected) << s.Name << ": nothing else changes";
    }
  }
}

TEST_F(Keyboard, MenuItemsShowTheShortcutsThatChooseThem) {
  // A dialog that is cancelled, and counts how often it was asked.
  auto scripted = std::make_unique<orvanth::screenshot::TScriptedSaveDialog>();
  orvanth::screenshot::TScriptedSaveDialog* dialog = scripted.get();
  std::unique_ptr<orvanth::screenshot::ISaveDialog> real =
      viewer().ReplaceSaveDialog(std::move(scripted));
  struct TCase {
    QAction* Item;
    const char* Shortcut;  // as the menu shows it; "" none
    std::function<bool()> Ran;
  };
  const TCase cases[] = {
      {viewer().Actions().AutoRotate, "", {}},
      {viewer().Actions().ShowNames, "", {}},
      {viewer().Actions().ShowInfo, "", {}},
      {viewer().Actions().FullScreen, "F11",
       [this] {
         return !viewer().Actions().FullScreen->isChecked() &&
                WaitFor([this] { return IsWindowed(); });
       }},
      {viewer().Actions().Screenshot, "Ctrl+S", [dialog] { return dialog->Requests.size() == 1; }},
      {viewer().Actions().About, "F1", [] { return TheAboutWindow->isVisible(); }},
      {viewer().Actions().Exit, "Ctrl+Q", {}},
  };
  for (bool button : {false, true}) {
    for (const TCase& c : cases) {
      const std::string name = c.Item->objectName().toStdString();
      EXPECT_EQ(c.Item->shortcut().toString(), QString(c.Shortcut)) << name;
      EXPECT_TRUE(c.Item->shortcut().isEmpty() || c.Item->isShortcutVisibleInContextMenu()) << name;
      if (c.Item->shortcut().isEmpty()) continue;

      // The key as the menu shows it, whatever the table says.
      SetUp();
      dialog->Requests.clear();
      FocusButton(button);
      const QKeyCombination key = c.Item->shortcut()[0];
      if (c.Item == viewer().Actions().Exit) {
        EXPECT_EQ(RunEventLoop([&] { PressKey(key.key(), key.keyboardModifiers()); }), 0)
            << "the key ends the program";
        continue;
      }
      PressKey(key.key(), key.keyboardModifiers());
      EXPECT_TRUE(c.Ran()) << name << " ran once" << (button ? " with a button focused" : "");
      EXPECT_EQ(Focused(), ExpectedFocus(button)) << name;
    }
  }
  viewer().ReplaceSaveDialog(std::move(real));
}

TEST_F(Keyboard, MenuKeyAndShiftF10OpenTheMenuToChooseFromByKeys) {
  QMenu* menu = viewer().Overlays().ContextMenu;
  const QPoint centre = viewer().View()->mapToGlobal(viewer().View()->rect().center());
  for (TKey open : {TKey{Qt::Key_Menu}, TKey{Qt::Key_F10, Qt::ShiftModifier}}) {
    const std::string name = KeyName(open);
    PressKey(open.Key, open.Modifiers);
    ASSERT_TRUE(WaitFor([menu] { return menu->isVisible(); })) << name;
    EXPECT_TRUE(menu->geometry().contains(centre)) << name << ": in the middle of the view";

    // Escape closes the menu and nothing else: the window stays full screen.
    QTest::keyClick(menu, Qt::Key_Escape);
    EXPECT_TRUE(WaitFor([menu] { return !menu->isVisible(); })) << name;
    EXPECT_TRUE(viewer().Actions().FullScreen->isChecked()) << name;
    EXPECT_TRUE(CoversScreen()) << name;

    // Down to the third item, "Show info", and Enter chooses it.
    PressKey(open.Key, open.Modifiers);
    ASSERT_TRUE(WaitFor([menu] { return menu->isVisible(); })) << name;
    for (int i = 0; i < 3; ++i) QTest::keyClick(menu, Qt::Key_Down);
    ASSERT_EQ(menu->activeAction(), viewer().Actions().ShowInfo) << name;
    QTest::keyClick(menu, Qt::Key_Return);
    EXPECT_TRUE(WaitFor([menu] { return !menu->isVisible(); })) << name;
    EXPECT_TRUE(viewer().Actions().ShowInfo->isChecked()) << name;
    EXPECT_TRUE(viewer().Overlays().FactSheetValues->isVisible()) << name;
    viewer().Actions().ShowInfo->toggle();
  }
  // F10 alone and Ctrl+F10 open nothing.
  for (TKey other : {TKey{Qt::Key_F10}, TKey{Qt::Key_F10, Qt::ControlModifier}}) {
    PressKey(other.Key, other.Modifiers);
    QTest::qWait(50);
    EXPECT_FALSE(menu->isVisible());
  }
}

TEST_F(Keyboard, TabMovesThroughTheButtonsAndBackToTheView) {
  TMainWindow& f = viewer();
  ASSERT_EQ(Focused(), f.View()) << "the view holds the focus at first";
  // The panel's stored tab order: Orvanth, Europa, Io, Callisto, Ganymede.
  const std::vector<QWidget*> ring = {
      f.BodyButton(orvanth::TBodyId::Orvanth),  f.BodyButton(orvanth::TBodyId::Europa),
      f.BodyButton(orvanth::TBodyId::Io),       f.BodyButton(orvanth::TBodyId::Callisto),
      f.BodyButton(orvanth::TBodyId::Ganymede), f.View()};
  for (QWidget* next : ring) {
    PressKey(Qt::Key_Tab);
    EXPECT_EQ(Focused(), next) << "Tab to " << next->objectName().toStdString();
  }
  for (auto it = ring.rbegin() + 1; it != ring.rend(); ++it) {
    PressKey(Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(Focused(), *it) << "Shift+Tab to " << (*it)->objectName().toStdString();
  }
  // Nothing but the view to go to while the panel is hidden.
  f.View()->setFocus();
  PressKey(Qt::Key_Space);
  ASSERT_FALSE(f.Overlays().ButtonPanel->isVisible());
  PressKey(Qt::Key_Tab);
  EXPECT_EQ(Focused(), f.View());
  EXPECT_EQ(f.Overlays().NameLabel->text(), QString("Orvanth"));
}

// While a modal dialog is open every key goes to it: those the window system would send
// the main window are dropped, and neither the window's keys nor the menu's shortcuts act.
TEST_F(Keyboard, NoKeyReachesTheViewerWhileADialogIsOpen) {
  const TKey keys[] = {{Qt::Key_Left},
                       {Qt::Key_Up},
                       {Qt::Key_Plus},
                       {Qt::Key_Minus},
                       {Qt::Key_PageUp},
                       {Qt::Key_3},
                       {Qt::Key_Space},
                       {Qt::Key_Menu},
                       {Qt::Key_F11},
                       {Qt::Key_F1},
                       {Qt::Key_Q, Qt::ControlModifier},
                       {Qt::Key_S, Qt::ControlModifier}};
  // Types the keys at the main window and into the open dialog, then closes the dialog.
  const auto typeIntoDialog = [this, &keys] {
    ASSERT_TRUE(WaitFor([] { return QApplication::activeModalWidget() != nullptr; }))
        << "no dialog opened";
    QWidget* dialog = QApplication::activeModalWidget();
    EXPECT_TRUE(WaitFor([dialog] { return QApplication::activeWindow() == dialog; }))
        << "the dialog never got active";
    for (const TKey& k : keys) QTest::keyClick(window(), k.Key, k.Modifiers);
    QTest::keyClick(window(), Qt::Key_Escape);
    for (const TKey& k : keys) {
      // Space would press the message box's button and close it early.
      if (k.Key == Qt::Key_Space) continue;
      QWidget* focused = dialog->focusWidget() ? dialog->focusWidget() : dialog;
      QTest::keyClick(focused, k.Key, k.Modifiers);
    }
    EXPECT_TRUE(dialog->isVisible()) << "the dialog stays open until it is closed";
    QTest::keyClick(dialog, Qt::Key_Escape);
  };

  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());
  const auto real = TApplication::ShowErrorMessage;
  struct TCase {
    const char* Name;
    std::function<void()> Prepare;
  };
  const TCase cases[] = {
      {"the save dialog", [] {}},
      {"the error message box",
       [&] {
         // A name in a folder that does not exist: saving fails and the error box opens.
         auto dialog = std::make_unique<orvanth::screenshot::TScriptedSaveDialog>();
         dialog->Answers.push_back(folder.filePath("missing/shot.jpg"));
         viewer().ReplaceSaveDialog(std::move(dialog));
         TApplication::ShowErrorMessage = [](const QString& message) {
           QMessageBox::critical(QApplication::activeWindow(), QStringLiteral("Error"), message);
         };
       }},
  };
  viewer().ShowBody(orvanth::TBodyId::Io);
  for (const TCase& c : cases) {
    c.Prepare();
    const TViewerState before = State();
    const int exitCode = RunEventLoop([&] {
      QTimer::singleShot(0, qApp, typeIntoDialog);
      PressKey(Qt::Key_S, Qt::ControlModifier);
      // Ctrl+Q, had it acted, would have ended this loop before the timer.
      QTimer::singleShot(100, qApp, [] { QCoreApplication::exit(7); });
    });
    TApplication::ShowErrorMessage = real;
    EXPECT_EQ(exitCode, 7) << c.Name << ": the program went on";
    EXPECT_EQ(State(), before) << c.Name;
    EXPECT_FALSE(viewer().Overlays().ContextMenu->isVisible()) << c.Name;
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr) << c.Name << " closed";
  }
}

TEST_F(Keyboard, KeysTypedIntoTheAboutWindowStayThere) {
  PressKey(Qt::Key_F1);
  ASSERT_TRUE(WaitFor([] { return TheAboutWindow->isVisible(); }));
  TheAboutWindow->activateWindow();
  ASSERT_TRUE(WaitFor([] { return QApplication::activeWindow() == TheAboutWindow; }))
      << "the About window never got active";
  const TViewerState before = State();
  // F11 stands for the menu's shortcuts: they belong to the main window too.
  const TKey keys[] = {{Qt::Key_Left},     {Qt::Key_Down}, {Qt::Key_Plus},
                       {Qt::Key_PageDown}, {Qt::Key_2},    {Qt::Key_Space},
                       {Qt::Key_Menu},     {Qt::Key_F11},  {Qt::Key_Escape}};
  for (const TKey& k : keys) {
    // Through the window system, and straight to the window.
    QTest::keyClick(TheAboutWindow->windowHandle(), k.Key, k.Modifiers);
    QTest::keyClick(TheAboutWindow, k.Key, k.Modifiers);
    EXPECT_EQ(State(), before) << KeyName(k);
  }
  QTest::qWait(50);
  EXPECT_EQ(State(), before);
  EXPECT_FALSE(viewer().Overlays().ContextMenu->isVisible());
}

}  // namespace apptest
