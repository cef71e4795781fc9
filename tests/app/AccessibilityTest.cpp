// What assistive technology learns about the main window, asked in-process as a screen
// reader's bridge would ask: names, roles, states, the texts over the view, and the events
// raised when another body is selected.

#include <private/qguiapplication_p.h>
#include <qpa/qplatformaccessibility.h>
#include <qpa/qplatformintegration.h>
#include <QAccessible>
#include <QTest>

#include <vector>

#include "scene/BodyCatalogue.h"
#include "tests/app/MainWindowFixture.h"

namespace apptest {

namespace {

struct TAccessibleEvent {
  QAccessible::Event Type;
  QObject* Object;
  QString Text;  // the value a value change carries, else the object's name at the time
};

std::vector<TAccessibleEvent>& Events() {
  static std::vector<TAccessibleEvent> events;
  return events;
}

void Record(QAccessibleEvent* event) {
  QString text;
  if (event->type() == QAccessible::ValueChanged) {
    text = static_cast<QAccessibleValueChangeEvent*>(event)->value().toString();
  } else if (QAccessibleInterface* iface = event->accessibleInterface()) {
    text = iface->text(QAccessible::Name);
  }
  Events().push_back({event->type(), event->object(), text});
}

QPlatformAccessibility* PlatformAccessibility() {
  return QGuiApplicationPrivate::platformIntegration()->accessibility();
}

}  // namespace

class Accessibility : public MainWindow {
 public:
  // As with a screen reader running from before the windows open. Without an AT-SPI bus
  // nothing would switch accessibility on; the events go to the recorder, not to a bus.
  static void SetUpTestSuite() {
    if (PlatformAccessibility()) PlatformAccessibility()->setActive(true);
    QAccessible::installUpdateHandler(&Record);
    MainWindow::SetUpTestSuite();
  }
  static void TearDownTestSuite() {
    MainWindow::TearDownTestSuite();
    if (PlatformAccessibility()) PlatformAccessibility()->setActive(false);
    QAccessible::installUpdateHandler(nullptr);
    Events().clear();
  }

 protected:
  void SetUp() override {
    ASSERT_TRUE(QAccessible::isActive()) << "this platform offers no accessibility";
    MainWindow::SetUp();
    Events().clear();
  }

  static QAccessibleInterface* Of(QObject* object) {
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(object);
    EXPECT_NE(iface, nullptr) << object->objectName().toStdString();
    return iface;
  }
  // The events of `type` raised for `object` since the last clear.
  static std::vector<QString> EventsOf(QAccessible::Event type, QObject* object) {
    std::vector<QString> texts;
    for (const TAccessibleEvent& e : Events()) {
      if (e.Type == type && e.Object == object) texts.push_back(e.Text);
    }
    return texts;
  }
};

TEST_F(Accessibility, ViewIsAFocusedCanvasWithItsNameDescriptionAndBody) {
  QAccessibleInterface* view = Of(viewer().View());
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(view->role(), QAccessible::Canvas);
  EXPECT_EQ(view->text(QAccessible::Name), QString("3D view of Orvanth and its moons"));
  const QString description = view->text(QAccessible::Description);
  EXPECT_TRUE(description.contains("arrow keys")) << description.toStdString();
  EXPECT_TRUE(description.contains("1 to 5")) << description.toStdString();
  EXPECT_EQ(view->text(QAccessible::Value), QString("Orvanth"));
  EXPECT_TRUE(view->state().focusable);
  EXPECT_TRUE(view->state().focused);
  // A screen reader asking the window where its focus is finds the view.
  QAccessibleInterface* focus = Of(&viewer())->focusChild();
  ASSERT_NE(focus, nullptr);
  EXPECT_EQ(focus->object(), viewer().View());
}

TEST_F(Accessibility, NameLabelAndFactSheetReadAsText) {
  TMainWindow& f = viewer();
  const QString captions = orvanth::FactCaptions();
  for (int index = 1; index <= orvanth::kBodyCount; ++index) {
    ClickButton(f.BodyButton(BodyOfKey(index)));
    const QString name = QString::fromUtf8(orvanth::Body(BodyOfKey(index)).Name);
    struct TCase {
      QWidget* Widget;
      QString Text;
    };
    const TCase cases[] = {{f.Overlays().NameLabel, name},
                           {f.Overlays().FactSheetCaptions, captions},
                           {f.Overlays().FactSheetValues, orvanth::FactValues(BodyOfKey(index))}};
    for (const TCase& c : cases) {
      QAccessibleInterface* iface = Of(c.Widget);
      ASSERT_NE(iface, nullptr);
      const std::string what = c.Widget->objectName().toStdString() + " for " + name.toStdString();
      EXPECT_EQ(iface->role(), QAccessible::StaticText) << what;
      EXPECT_EQ(iface->text(QAccessible::Name), c.Text) << what;
    }
  }
  // Hidden until "Show info", and a screen reader is told so.
  EXPECT_TRUE(Of(f.Overlays().FactSheetValues)->state().invisible);
  f.Actions().ShowInfo->toggle();
  EXPECT_FALSE(Of(f.Overlays().FactSheetValues)->state().invisible);
  EXPECT_FALSE(Of(f.Overlays().FactSheetCaptions)->state().invisible);
}

TEST_F(Accessibility, ButtonsAndMenuItemsAreNamedByTheirCaptions) {
  for (const orvanth::TBodyInfo& body : orvanth::kBodies) {
    QAccessibleInterface* button = Of(viewer().BodyButton(body.Id));
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->role(), QAccessible::Button) << body.Name;
    EXPECT_EQ(button->text(QAccessible::Name), viewer().BodyButton(body.Id)->text()) << body.Name;
    EXPECT_EQ(button->text(QAccessible::Name), QString::fromUtf8(body.Name));
  }

  struct TItem {
    const char* Text;
    const char* Shortcut;
    bool Checkable;
  };
  const TItem items[] = {{"Auto-rotate", "", true},       {"Show names", "", true},
                         {"Show info", "", true},         {"Full screen", "F11", true},
                         {"Screenshot", "Ctrl+S", false}, {"About", "F1", false},
                         {"Exit", "Ctrl+Q", false}};
  QAccessibleInterface* menu = Of(viewer().Overlays().ContextMenu);
  ASSERT_NE(menu, nullptr);
  ASSERT_EQ(menu->childCount(), int(std::size(items)));
  for (int i = 0; i < menu->childCount(); ++i) {
    QAccessibleInterface* item = menu->child(i);
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->role(), QAccessible::MenuItem) << items[i].Text;
    EXPECT_EQ(item->text(QAccessible::Name), QString(items[i].Text)) << "in display order";
    EXPECT_EQ(item->text(QAccessible::Accelerator), QString(items[i].Shortcut)) << items[i].Text;
    EXPECT_EQ(item->state().checkable, items[i].Checkable) << items[i].Text;
  }
}

TEST_F(Accessibility, SelectingAnotherBodyAnnouncesItsName) {
  TMainWindow& f = viewer();
  const QPoint centre(f.View()->width() / 2, f.View()->height() / 2);
  struct TWay {
    const char* Name;
    std::function<void(int)> Select;
  };
  const TWay ways[] = {
      {"its button", [this](int index) { ClickButton(viewer().BodyButton(BodyOfKey(index))); }},
      {"its key", [this](int index) { PressKey(Qt::Key(Qt::Key_0 + index)); }},
      {"a press on it", [this, centre](int) { Click(centre); }},
  };
  struct TBody {
    int Index;
    rt3d::TSphere* Sphere;
  };
  for (const TWay& way : ways) {
    for (const TBody& body : {TBody{2, f.Scene().Bodies[orvanth::TBodyId::Io]},
                              TBody{3, f.Scene().Bodies[orvanth::TBodyId::Europa]},
                              TBody{5, f.Scene().Bodies[orvanth::TBodyId::Callisto]}}) {
      const QString name = QString::fromUtf8(orvanth::Body(BodyOfKey(body.Index)).Name);
      const std::string what = name.toStdString() + " by " + way.Name;
      // The body in the middle of the view, the planet named, the view focused.
      ClickButton(f.BodyButton(BodyOfKey(body.Index)));
      ASSERT_EQ(ObjectAt(centre), body.Sphere) << what;
      f.ShowBody(orvanth::TBodyId::Orvanth);
      f.View()->setFocus();
      Events().clear();

      way.Select(body.Index);
      ASSERT_EQ(f.Overlays().NameLabel->text(), name) << what;
      EXPECT_EQ(EventsOf(QAccessible::ValueChanged, f.View()), std::vector<QString>{name}) << what;
      EXPECT_EQ(Of(f.View())->text(QAccessible::Value), name) << what;
      EXPECT_EQ(EventsOf(QAccessible::NameChanged, f.Overlays().NameLabel),
                std::vector<QString>{name})
          << what;
      EXPECT_EQ(EventsOf(QAccessible::NameChanged, f.Overlays().FactSheetValues).size(), 1u)
          << what;

      // The same body again tells nothing new.
      Events().clear();
      way.Select(body.Index);
      EXPECT_TRUE(EventsOf(QAccessible::ValueChanged, f.View()).empty()) << what << " again";
      EXPECT_TRUE(EventsOf(QAccessible::NameChanged, f.Overlays().NameLabel).empty())
          << what << " again";
    }
  }
}

}  // namespace apptest
