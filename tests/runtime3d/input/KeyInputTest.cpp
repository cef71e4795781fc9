#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QVBoxLayout>
#include <QWidget>
#include <vector>

#include <gtest/gtest.h>

#include "runtime3d/input/KeyInput.h"

using namespace rt3d;

namespace rt3d {
void PrintTo(const TKeyDown& k, std::ostream* os) {
  *os << "{Key " << k.Key << ", KeyChar " << int(k.KeyChar) << ", Shift " << k.Shift << "}";
}
}  // namespace rt3d

namespace {

// A window with two buttons and a line edit, its OnKeyDown recording every call.
class WindowKeys : public ::testing::Test {
 protected:
  WindowKeys() {
    auto* layout = new QVBoxLayout(&window);
    for (QWidget* w :
         {static_cast<QWidget*>(first), static_cast<QWidget*>(second), static_cast<QWidget*>(edit)})
      layout->addWidget(w);
    QObject::connect(first, &QPushButton::clicked, [this] { ++firstClicks; });
    QObject::connect(second, &QPushButton::clicked, [this] { ++secondClicks; });
    keys->OnKeyDown = [this](QObject* sender, std::uint16_t& key, char16_t& keyChar,
                             TShiftState shift) {
      EXPECT_EQ(sender, &window);
      seen.push_back({key, keyChar, shift});
    };
    window.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
    window.activateWindow();
    // Activation is up to the window manager; keys are sent to widgets directly anyway.
    (void)QTest::qWaitForWindowActive(&window);
  }

  // What Qt does with a real key: it goes to the focused widget, else to the window.
  QWidget* Receiver() { return window.focusWidget() ? window.focusWidget() : &window; }
  void Click(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QTest::keyClick(Receiver(), key, modifiers);
  }

  QWidget window;
  QPushButton* first = new QPushButton("First");
  QPushButton* second = new QPushButton("Second");
  QLineEdit* edit = new QLineEdit;
  TWindowKeyInput* keys = new TWindowKeyInput(&window);
  std::vector<TKeyDown> seen;
  int firstClicks = 0;
  int secondClicks = 0;
};

TEST_F(WindowKeys, WithNothingFocusedTheWindowGetsEachPressOnce) {
  if (QWidget* focused = window.focusWidget()) focused->clearFocus();
  ASSERT_EQ(window.focusWidget(), nullptr);
  Click(Qt::Key_Space);
  Click(Qt::Key_Space, Qt::ControlModifier);  // the Ctrl key itself goes down first
  Click(Qt::Key_F5);
  EXPECT_EQ(seen, (std::vector<TKeyDown>{
                      {0, u' ', 0}, {vkControl, 0, ssCtrl}, {vkSpace, 0, ssCtrl}, {116, 0, 0}}));
}

TEST_F(WindowKeys, FocusedButtonTakesSpaceAndEnterAsExactlyOneClick) {
  struct Case {
    const char* name;
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
  } cases[] = {
      {"space", Qt::Key_Space, Qt::NoModifier},
      {"Enter", Qt::Key_Return, Qt::NoModifier},
      {"keypad Enter", Qt::Key_Enter, Qt::KeypadModifier},
  };
  for (const Case& c : cases) {
    first->setFocus();
    firstClicks = 0;
    seen.clear();
    Click(c.key, c.modifiers);
    QCoreApplication::processEvents();
    EXPECT_EQ(firstClicks, 1) << c.name;
    EXPECT_TRUE(seen.empty()) << c.name << ": the window must not see it";
    EXPECT_FALSE(first->isDown()) << c.name;
  }
}

TEST_F(WindowKeys, FocusedButtonPassesOtherKeysToTheWindow) {
  first->setFocus();
  Click(Qt::Key_Space, Qt::ShiftModifier);  // not an empty Shift: no click
  Click(Qt::Key_X);
  Click(Qt::Key_Return, Qt::ControlModifier);
  QCoreApplication::processEvents();
  EXPECT_EQ(firstClicks, 0);
  EXPECT_EQ(seen, (std::vector<TKeyDown>{{vkShift, 0, ssShift},
                                         {0, u' ', ssShift},
                                         {0, u'x', 0},
                                         {vkControl, 0, ssCtrl},
                                         {vkReturn, 0, ssCtrl}}));
}

TEST_F(WindowKeys, TabMovesTheFocusAndIsConsumed) {
  first->setFocus();
  Click(Qt::Key_Tab);
  EXPECT_EQ(window.focusWidget(), second);
  Click(Qt::Key_Tab);
  EXPECT_EQ(window.focusWidget(), edit);
  Click(Qt::Key_Backtab, Qt::ShiftModifier);
  EXPECT_EQ(window.focusWidget(), second);
  EXPECT_EQ(seen, (std::vector<TKeyDown>{{vkShift, 0, ssShift}})) << "only the Shift key";
  EXPECT_EQ(firstClicks + secondClicks, 0);
}

TEST_F(WindowKeys, OtherFocusedWidgetsGetTheKeyFirst) {
  edit->setFocus();
  Click(Qt::Key_A);
  Click(Qt::Key_F5);  // a line edit has no use for it
  EXPECT_EQ(edit->text(), "a");
  EXPECT_EQ(seen, (std::vector<TKeyDown>{{116, 0, 0}}));
}

}  // namespace
