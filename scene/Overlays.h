#pragma once
// The 2D parts of the main window as data: the body's name over the view, the fact
// sheet, the button panel, and the context menu.

#include <QAction>
#include <QFrame>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <array>

#include "scene/Text.h"

namespace orvanth {

struct TButtonDefinition {
  const char* Name;
  const char* Text;
  QPoint Position;  // in the panel
  int TabOrder;
  int BodyIndex;
};

struct TMenuItemDefinition {
  const char* Name;
  const char* Text;
  bool IsChecked;  // at start; the first four items are switches
  bool Checkable;
  const char* Shortcut;  // the key that chooses it without the menu, shown beside it; "" none
};

// In stored order.
extern const std::array<TButtonDefinition, 5> kButtons;
// In display order.
extern const std::array<TMenuItemDefinition, 7> kMenuItems;

inline constexpr QSize kButtonSize{80, 26};
inline constexpr QRect kPanelGeometry{40, 40, 145, 233};
inline constexpr float kPanelOpacity = 0.8f;
inline constexpr int kLabelHeight = 40;

struct TOverlays {
  QLabel* NameLabel = nullptr;
  QFrame* ButtonPanel = nullptr;
  std::array<QPushButton*, 5> Buttons{};  // in kButtons order
  QMenu* ContextMenu = nullptr;
  std::array<QAction*, 7> MenuItems{};  // in kMenuItems order
  TText* FactSheetCaptions = nullptr;
  TText* FactSheetValues = nullptr;

  QPushButton* ButtonNamed(std::string_view name) const;
  QAction* MenuItemNamed(std::string_view name) const;
};

// NameLabel goes on the view; the panel and the fact sheet on the window, over the view.
// The menu's items are the window's too, so their shortcuts work while it is active.
TOverlays BuildOverlays(QWidget* window, QWidget* view);

}  // namespace orvanth
