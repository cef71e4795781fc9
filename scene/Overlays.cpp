#include "scene/Overlays.h"

#include <QContextMenuEvent>
#include <QGraphicsOpacityEffect>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>

#include "scene/HaloLabel.h"

namespace orvanth {

const std::array<TButtonDefinition, kBodyCount> kButtons = {{
    // name, caption, position in the panel, tab order, body
    {"GanymedeButton", "Ganymede", {32, 144}, 4, TBodyId::Ganymede},
    {"CallistoButton", "Callisto", {32, 184}, 3, TBodyId::Callisto},
    {"IoButton", "Io", {32, 64}, 2, TBodyId::Io},
    {"EuropaButton", "Europa", {32, 104}, 1, TBodyId::Europa},
    {"OrvanthButton", "Orvanth", {32, 24}, 0, TBodyId::Orvanth},
}};

const std::array<TMenuItemDefinition, 7> kMenuItems = {{
    {&TMenuActions::AutoRotate, "AutoRotateAction", "Auto-rotate", true, true, ""},
    {&TMenuActions::ShowNames, "ShowNamesAction", "Show names", true, true, ""},
    {&TMenuActions::ShowInfo, "ShowInfoAction", "Show info", false, true, ""},
    {&TMenuActions::FullScreen, "FullScreenAction", "Full screen", true, true, "F11"},
    {&TMenuActions::Screenshot, "ScreenshotAction", "Screenshot", false, false, "Ctrl+S"},
    {&TMenuActions::About, "AboutAction", "About", false, false, "F1"},
    {&TMenuActions::Exit, "ExitAction", "Exit", false, false, "Ctrl+Q"},
}};

namespace {

// The panel's face and the buttons' skin.
const char* const kPanelStyle =
    "QFrame#ButtonPanel { background-color: #35356F; border: none;"
    " border-radius: 8px; }";
const char* const kButtonStyle =
    "QPushButton { color: black; border: 1px solid #ACACAC; border-radius: 0px; padding: 0px;"
    " background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #F0F0F0, stop:1 #E5E5E5); }"
    "QPushButton:hover { border-color: #7EB4EA;"
    " background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #ECF4FC, stop:1 #DCECFC); }"
    "QPushButton:pressed { border-color: #569DE5;"
    " background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #DAECFC, stop:1 #C4E0FC); }"
    "QPushButton:focus { border-color: #3399FF; }";

// A panel that keeps every press, wheel turn and right click on its face to itself.
class TPanel : public QFrame {
 public:
  using QFrame::QFrame;

 protected:
  void mousePressEvent(QMouseEvent* e) override { e->accept(); }
  void mouseReleaseEvent(QMouseEvent* e) override { e->accept(); }
  void mouseDoubleClickEvent(QMouseEvent* e) override { e->accept(); }
  void mouseMoveEvent(QMouseEvent* e) override { e->accept(); }
  void wheelEvent(QWheelEvent* e) override { e->accept(); }
  void contextMenuEvent(QContextMenuEvent* e) override { e->accept(); }
};

// A body button leaves the arrow keys to the window, where they turn the view as they do
// everywhere else in it; Tab moves between the buttons.
class TBodyButton : public QPushButton {
 public:
  using QPushButton::QPushButton;

 protected:
  void keyPressEvent(QKeyEvent* e) override {
    switch (e->key()) {
      case Qt::Key_Left:
      case Qt::Key_Right:
      case Qt::Key_Up:
      case Qt::Key_Down:
        e->ignore();
        return;
      default:
        QPushButton::keyPressEvent(e);
    }
  }
};

TText* MakeFactText(QWidget* window, const char* name, QPoint position, Qt::Alignment align) {
  auto* text = new TText(window);
  text->setObjectName(QString::fromLatin1(name));
  text->setGeometry(QRect(position, QSize(200, 300)));
  text->SetFontSize(18);
  text->SetFontColor(Qt::white);
  text->SetHorzAlign(align);
  return text;
}

}  // namespace

TOverlays BuildOverlays(QWidget* window, QWidget* view) {
  TOverlays o;

  o.NameLabel = new THaloLabel(view);
  o.NameLabel->setObjectName(QStringLiteral("NameLabel"));
  o.NameLabel->setAttribute(Qt::WA_TransparentForMouseEvents);
  o.NameLabel->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
  QFont labelFont = o.NameLabel->font();
  labelFont.setPixelSize(22);
  o.NameLabel->setFont(labelFont);
  o.NameLabel->setStyleSheet(QStringLiteral("color: #BABABA; background: transparent;"));
  o.NameLabel->setGeometry(0, 0, view->width(), kLabelHeight);

  o.ButtonPanel = new TPanel(window);
  o.ButtonPanel->setObjectName(QStringLiteral("ButtonPanel"));
  o.ButtonPanel->setGeometry(kPanelGeometry);
  o.ButtonPanel->setStyleSheet(QString::fromLatin1(kPanelStyle) +
                               QString::fromLatin1(kButtonStyle));
  auto* opacity = new QGraphicsOpacityEffect(o.ButtonPanel);
  opacity->setOpacity(kPanelOpacity);
  o.ButtonPanel->setGraphicsEffect(opacity);
  std::array<QPushButton*, kBodyCount> byTab{};
  for (const TButtonDefinition& d : kButtons) {
    auto* button = new TBodyButton(QString::fromUtf8(d.Text), o.ButtonPanel);
    button->setObjectName(QString::fromLatin1(d.Name));
    button->setGeometry(QRect(d.Position, kButtonSize));
    button->setFocusPolicy(Qt::StrongFocus);
    button->setAutoDefault(false);
    QFont buttonFont = button->font();
    buttonFont.setPixelSize(14);
    button->setFont(buttonFont);
    o.BodyButtons[d.Body] = button;
    byTab[size_t(d.TabOrder)] = button;
  }
  // Tab order: Orvanth, Europa, Io, Callisto, Ganymede.
  for (size_t i = 1; i < byTab.size(); ++i) QWidget::setTabOrder(byTab[i - 1], byTab[i]);

  o.ContextMenu = new QMenu(window);
  o.ContextMenu->setObjectName(QStringLiteral("ContextMenu"));
  for (const TMenuItemDefinition& d : kMenuItems) {
    QAction* item = o.ContextMenu->addAction(QString::fromUtf8(d.Text));
    item->setObjectName(QString::fromLatin1(d.Name));
    item->setCheckable(d.Checkable);
    item->setChecked(d.IsChecked);
    item->setShortcut(QKeySequence(QString::fromLatin1(d.Shortcut)));
    item->setShortcutVisibleInContextMenu(true);
    // One press, one command: a held F11 must not flicker between full screen and not.
    item->setAutoRepeat(false);
    // The shortcut of an item that lives only in a closed popup menu never fires.
    window->addAction(item);
    o.Actions.*d.Action = item;
  }

  // Drawn over everything else, in this order.
  o.FactSheetCaptions = MakeFactText(window, "FactSheetCaptions", {536, 9}, Qt::AlignRight);
  o.FactSheetValues = MakeFactText(window, "FactSheetValues", {328, 17}, Qt::AlignLeft);
  return o;
}

}  // namespace orvanth
