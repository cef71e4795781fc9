#pragma once
// A key press as the runtime's key-down event sees it: one `Key` (the runtime's own
// virtual-key code: Tab 9, Enter 13, space 32, letters and digits as their upper-case
// ASCII codes) and one `KeyChar` (the character it typed), combined from Qt's key code,
// text and modifiers.

#include <QString>
#include <Qt>
#include <cstdint>
#include <optional>

#include "runtime3d/core/Types.h"

namespace rt3d {

// Virtual-key codes the program meets by name.
enum : std::uint16_t {
  vkBack = 8,
  vkTab = 9,
  vkReturn = 13,
  vkShift = 16,
  vkControl = 17,
  vkMenu = 18,
  vkEscape = 27,
  vkSpace = 32,
  vkPrior = 33,  // Page Up
  vkNext = 34,   // Page Down
  vkLeft = 37,
  vkUp = 38,
  vkRight = 39,
  vkDown = 40,
  vkDelete = 46,
  vkApps = 93,  // the menu key
  vkF1 = 112,
  vkF10 = 121,
};

struct TKeyDown {
  std::uint16_t Key = 0;
  char16_t KeyChar = 0;
  TShiftState Shift = 0;
  friend bool operator==(const TKeyDown&, const TKeyDown&) = default;
};

// The virtual key of a Qt key code (letters and digits by their ASCII codes, punctuation
// as on a US keyboard); 0 when there is none.
std::uint16_t VirtualKeyOf(int qtKey, Qt::KeyboardModifiers modifiers);

// ssShift, ssAlt, ssCtrl of the modifiers; AltGr (Qt::GroupSwitchModifier) counts as
// Ctrl+Alt held, as it does where the key arrives that way.
TShiftState ShiftStateOf(Qt::KeyboardModifiers modifiers);

// The key-down event of one key press, or nothing for a dead key.
//  - a typed character at or above " " with both Alt and Ctrl (AltGr) drops both;
//  - a typed character at or above " " without Alt, Ctrl or Command leaves Key 0;
//  - with any of those held, or for a control character, a non-zero Key clears KeyChar.
// So a plain space is Key 0, KeyChar " ", and Ctrl+space is Key 32, KeyChar 0.
std::optional<TKeyDown> TranslateKey(int qtKey, const QString& text,
                                     Qt::KeyboardModifiers modifiers);

}  // namespace rt3d
