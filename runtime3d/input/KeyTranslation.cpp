#include "runtime3d/input/KeyTranslation.h"

namespace rt3d {

namespace {

std::uint16_t KeypadKey(int qtKey) {
  if (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9) return std::uint16_t(96 + (qtKey - Qt::Key_0));
  switch (qtKey) {
    case Qt::Key_Asterisk:
      return 106;
    case Qt::Key_Plus:
      return 107;
    case Qt::Key_Minus:
      return 109;
    case Qt::Key_Period:
    case Qt::Key_Comma:
      return 110;
    case Qt::Key_Slash:
      return 111;
    default:
      return 0;
  }
}

// Punctuation and shifted digits, by where they sit on a US keyboard.
std::uint16_t PunctuationKey(int qtKey) {
  switch (qtKey) {
    case Qt::Key_Exclam:
      return '1';
    case Qt::Key_At:
      return '2';
    case Qt::Key_NumberSign:
      return '3';
    case Qt::Key_Dollar:
      return '4';
    case Qt::Key_Percent:
      return '5';
    case Qt::Key_AsciiCircum:
      return '6';
    case Qt::Key_Ampersand:
      return '7';
    case Qt::Key_Asterisk:
      return '8';
    case Qt::Key_ParenLeft:
      return '9';
    case Qt::Key_ParenRight:
      return '0';
    case Qt::Key_Semicolon:
    case Qt::Key_Colon:
      return 186;
    case Qt::Key_Equal:
    case Qt::Key_Plus:
      return 187;
    case Qt::Key_Comma:
    case Qt::Key_Less:
      return 188;
    case Qt::Key_Minus:
    case Qt::Key_Underscore:
      return 189;
    case Qt::Key_Period:
    case Qt::Key_Greater:
      return 190;
    case Qt::Key_Slash:
    case Qt::Key_Question:
      return 191;
    case Qt::Key_QuoteLeft:
    case Qt::Key_AsciiTilde:
      return 192;
    case Qt::Key_BracketLeft:
    case Qt::Key_BraceLeft:
      return 219;
    case Qt::Key_Backslash:
    case Qt::Key_Bar:
      return 220;
    case Qt::Key_BracketRight:
    case Qt::Key_BraceRight:
      return 221;
    case Qt::Key_Apostrophe:
    case Qt::Key_QuoteDbl:
      return 222;
    default:
      return 0;
  }
}

bool IsDeadKey(int qtKey) {
  return qtKey >= Qt::Key_Dead_Grave && qtKey <= Qt::Key_Dead_Longsolidusoverlay;
}

}  // namespace

std::uint16_t VirtualKeyOf(int qtKey, Qt::KeyboardModifiers modifiers) {
  if (modifiers & Qt::KeypadModifier) {
    if (std::uint16_t key = KeypadKey(qtKey)) return key;
  }
  if (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z) return std::uint16_t(qtKey);
  if (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9) return std::uint16_t(qtKey);
  if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F24)
    return std::uint16_t(vkF1 + (qtKey - Qt::Key_F1));
  switch (qtKey) {
    case Qt::Key_Backspace:
      return vkBack;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
      return vkTab;
    case Qt::Key_Clear:
      return 12;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      return vkReturn;
    case Qt::Key_Shift:
      return vkShift;
    case Qt::Key_Control:
      return vkControl;
    case Qt::Key_Alt:
    case Qt::Key_AltGr:
      return vkMenu;
    case Qt::Key_Pause:
      return 19;
    case Qt::Key_CapsLock:
      return 20;
    case Qt::Key_Escape:
      return vkEscape;
    case Qt::Key_Space:
      return vkSpace;
    case Qt::Key_PageUp:
      return vkPrior;
    case Qt::Key_PageDown:
      return vkNext;
    case Qt::Key_End:
      return 35;
    case Qt::Key_Home:
      return 36;
    case Qt::Key_Left:
      return vkLeft;
    case Qt::Key_Up:
      return vkUp;
    case Qt::Key_Right:
      return vkRight;
    case Qt::Key_Down:
      return vkDown;
    case Qt::Key_Print:
      return 44;
    case Qt::Key_Insert:
      return 45;
    case Qt::Key_Delete:
      return vkDelete;
    case Qt::Key_Meta:
    case Qt::Key_Super_L:
      return 91;
    case Qt::Key_Super_R:
      return 92;
    case Qt::Key_Menu:
      return vkApps;
    case Qt::Key_NumLock:
      return 144;
    case Qt::Key_ScrollLock:
      return 145;
    default:
      return PunctuationKey(qtKey);
  }
}

TShiftState ShiftStateOf(Qt::KeyboardModifiers modifiers) {
  TShiftState shift = 0;
  if (modifiers & Qt::ShiftModifier) shift |= ssShift;
  if (modifiers & Qt::AltModifier) shift |= ssAlt;
  if (modifiers & Qt::ControlModifier) shift |= ssCtrl;
  if (modifiers & Qt::GroupSwitchModifier) shift |= ssAlt | ssCtrl;
  return shift;
}

std::optional<TKeyDown> TranslateKey(int qtKey, const QString& text,
                                     Qt::KeyboardModifiers modifiers) {
  if (IsDeadKey(qtKey)) return std::nullopt;
  TKeyDown down;
  down.Key = VirtualKeyOf(qtKey, modifiers);
  down.Shift = ShiftStateOf(modifiers);

  // One UTF-16 unit is all a KeyChar holds: a character outside the basic plane, or text
  // of several characters, is not one typed character. DEL is what X11 reports for the
  // Delete key, which types nothing.
  const bool typed = text.size() == 1 && !text[0].isSurrogate() && text[0].unicode() != 0x7F;
  if (!typed) return down;

  const char16_t c = text[0].unicode();
  down.KeyChar = c;
  constexpr TShiftState altCtrl = ssAlt | ssCtrl;
  if (c >= u' ' && (down.Shift & altCtrl) == altCtrl) down.Shift &= TShiftState(~altCtrl);
  const bool commandHeld = (down.Shift & (ssAlt | ssCtrl | ssCommand)) != 0;
  if (c >= u' ' && !commandHeld) down.Key = 0;
  if ((commandHeld || c < u' ') && down.Key != 0) down.KeyChar = 0;
  return down;
}

}  // namespace rt3d
