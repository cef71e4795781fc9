#pragma once
// The 2D parts of the main window as data: the body's name over the view, the fact
// sheet, the button panel, and the context menu.

#include <QAction>
#include <QFrame>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <array>

#include "scene/BodyCatalogue.h"
#include "scene/Text.h"

namespace orvanth {

struct TButtonDefinition {
  const char* Name;
  const char* Text;
  QPoint Position;  // in the panel
  int TabOrder;
  TBodyId Body;
};

// The context menu's commands, in display order; the first four are switches.
struct TMenuActions {
  QAction* AutoRotate = nullptr;
  QAction* ShowNames = nullptr;
  QAction* ShowInfo = nullptr;
  QAction* FullScreen = nullptr;
  QAction* Screenshot = nullptr;
  QAction* About = nullptr;
  QAction* Exit = nullptr;
};

struct TMenuItemDefinition {
  QAction* TMenuActions::*Action;  // where BuildOverlays puts it
  const char* Name;
  const char* Text;
  bool IsChecked;  // at start; the first four items are switches
  bool Checkable;
  const char* Shortcut;  // the key that chooses it without the menu, shown beside it; "" none
};

// In the order they are made (the panel's focus chain follows TabOrder).
extern const std::array<TButtonDefinition, kBodyCount> kButtons;
// In display order.
extern const std::array<TMenuItemDefinition, 7> kMenuItems;

inline constexpr QSize kButtonSize{80, 26};
inline constexpr QRect kPanelGeometry{40, 40, 145, 233};
inline constexpr float kPanelOpacity = 0.8f;
inline constexpr int kLabelHeight = 40;

struct TOverlays {
  QLabel* NameLabel = nullptr;
  QFrame* ButtonPanel = nullptr;
  TByBody<QPushButton*> BodyButtons;
  QMenu* ContextMenu = nullptr;
  TMenuActions Actions;
  TText* FactSheetCaptions = nullptr;
  TText* FactSheetValues = nullptr;
};

// NameLabel goes on the view; the panel and the fact sheet on the window, over the view.
// The menu's items are the window's too, so their shortcuts work while it is active.
TOverlays BuildOverlays(QWidget* window, QWidget* view);

}  // namespace orvanth
