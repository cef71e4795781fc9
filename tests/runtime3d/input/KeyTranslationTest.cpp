#include <gtest/gtest.h>

#include "runtime3d/input/KeyTranslation.h"

using namespace rt3d;

namespace {

TEST(KeyTranslationTest, KeyAndKeyCharOfAPress) {
  constexpr auto none = Qt::NoModifier;
  constexpr auto shiftKey = Qt::ShiftModifier;
  constexpr auto ctrl = Qt::ControlModifier;
  constexpr auto alt = Qt::AltModifier;
  constexpr auto keypad = Qt::KeypadModifier;
  struct Case {
    const char* name;
    int qtKey;
    QString text;
    Qt::KeyboardModifiers modifiers;
    TKeyDown expected;
  } cases[] = {
      {"plain space", Qt::Key_Space, " ", none, {0, u' ', 0}},
      {"Ctrl+space", Qt::Key_Space, " ", ctrl, {vkSpace, 0, ssCtrl}},
      {"Ctrl+space without text", Qt::Key_Space, "", ctrl, {vkSpace, 0, ssCtrl}},
      {"AltGr arriving as Ctrl+Alt", Qt::Key_At, "@", ctrl | alt, {0, u'@', 0}},
      {"AltGr as group switch", Qt::Key_At, "@", Qt::GroupSwitchModifier, {0, u'@', 0}},
      {"AltGr with Shift keeps Shift",
       Qt::Key_BraceLeft,
       "{",
       ctrl | alt | shiftKey,
       {0, u'{', ssShift}},
      {"Ctrl+Alt with no character", Qt::Key_F1, "", ctrl | alt, {vkF1, 0, ssCtrl | ssAlt}},
      {"Enter", Qt::Key_Return, "\r", none, {vkReturn, 0, 0}},
      {"keypad Enter", Qt::Key_Enter, "\r", keypad, {vkReturn, 0, 0}},
      {"Tab", Qt::Key_Tab, "\t", none, {vkTab, 0, 0}},
      {"Shift+Tab", Qt::Key_Backtab, "", shiftKey, {vkTab, 0, ssShift}},
      {"Escape", Qt::Key_Escape, "\x1b", none, {vkEscape, 0, 0}},
      {"Backspace", Qt::Key_Backspace, "\b", none, {vkBack, 0, 0}},
      {"Delete types nothing", Qt::Key_Delete, "\x7f", none, {vkDelete, 0, 0}},
      {"letter", Qt::Key_A, "a", none, {0, u'a', 0}},
      {"Shift+letter", Qt::Key_A, "A", shiftKey, {0, u'A', ssShift}},
      {"Ctrl+letter as a control character", Qt::Key_A, "\x01", ctrl, {'A', 0, ssCtrl}},
      {"Ctrl+letter as the letter", Qt::Key_A, "a", ctrl, {'A', 0, ssCtrl}},
      {"Alt+letter", Qt::Key_Z, "z", alt, {'Z', 0, ssAlt}},
      {"digit", Qt::Key_5, "5", none, {0, u'5', 0}},
      {"keypad digit with Ctrl", Qt::Key_5, "5", ctrl | keypad, {101, 0, ssCtrl}},
      {"Ctrl+Shift+1 on a US keyboard",
       Qt::Key_Exclam,
       "!",
       ctrl | shiftKey,
       {'1', 0, ssCtrl | ssShift}},
      {"F5", Qt::Key_F5, "", none, {116, 0, 0}},
      {"Shift+F12", Qt::Key_F12, "", shiftKey, {123, 0, ssShift}},
      {"left arrow", Qt::Key_Left, "", none, {vkLeft, 0, 0}},
      {"Shift alone", Qt::Key_Shift, "", shiftKey, {vkShift, 0, ssShift}},
      {"a letter with no virtual key", Qt::Key_Eacute, "\u00e9", none, {0, u'\u00e9', 0}},
      {"Ctrl and a letter with no virtual key",
       Qt::Key_Eacute,
       "\u00e9",
       ctrl,
       {0, u'\u00e9', ssCtrl}},
      {"a character outside 16 bits", Qt::Key_unknown, "\U0001F600", none, {0, 0, 0}},
  };
  for (const Case& c : cases) {
    const std::optional<TKeyDown> down = TranslateKey(c.qtKey, c.text, c.modifiers);
    ASSERT_TRUE(down.has_value()) << c.name;
    EXPECT_EQ(down->Key, c.expected.Key) << c.name;
    EXPECT_EQ(int(down->KeyChar), int(c.expected.KeyChar)) << c.name;
    EXPECT_EQ(down->Shift, c.expected.Shift) << c.name;
  }
}

TEST(KeyTranslationTest, DeadKeyRaisesNothing) {
  EXPECT_FALSE(TranslateKey(Qt::Key_Dead_Acute, "", Qt::NoModifier).has_value());
  EXPECT_FALSE(TranslateKey(Qt::Key_Dead_Circumflex, "^", Qt::ShiftModifier).has_value());
}

}  // namespace
