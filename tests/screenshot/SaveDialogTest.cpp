#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest/QTest>

#include <gtest/gtest.h>

#include "Fixtures.h"
#include "screenshot/SaveDialog.h"
#include "screenshot/ScriptedSaveDialog.h"

namespace orvanth::screenshot {
namespace {

// The dialog as the viewer's main window stores it.
template <typename Dialog>
void Configure(Dialog& dialog) {
  dialog.DefaultExt = "jpg";
  dialog.Filter = "jpg|*.jpg|bmp|*.bmp";
}

TEST(SaveDialogTest, CancelKeepsTheFileNameAndConfirmTakesTheChosenPath) {
  TScriptedSaveDialog dialog;
  Configure(dialog);
  dialog.FileName = "/home/u/Documents/Talvoren/Planets/last.jpg";
  dialog.SetInitialDir("/home/u/Documents/Talvoren/Planets/");
  dialog.Answers = {std::nullopt, QString("/home/u/new.bmp")};

  EXPECT_FALSE(dialog.Execute());
  EXPECT_EQ(dialog.FileName, "/home/u/Documents/Talvoren/Planets/last.jpg");
  EXPECT_TRUE(dialog.Execute());
  EXPECT_EQ(dialog.FileName, "/home/u/new.bmp");
  EXPECT_FALSE(dialog.Execute()) << "an empty script cancels";
  EXPECT_EQ(dialog.FileName, "/home/u/new.bmp");

  ASSERT_EQ(dialog.Requests.size(), 3u);
  const ISaveDialog::TRequest& first = dialog.Requests[0];
  EXPECT_EQ(first.InitialDir, "/home/u/Documents/Talvoren/Planets");
  EXPECT_EQ(first.DefaultSuffix, "jpg");
  EXPECT_EQ(first.NameFilters, (QStringList{"jpg (*.jpg)", "bmp (*.bmp)"}));
  EXPECT_EQ(first.SelectedFilter, 0);
  EXPECT_EQ(first.FileName, "/home/u/Documents/Talvoren/Planets/last.jpg");
  EXPECT_EQ(dialog.Requests[2].FileName, "/home/u/new.bmp") << "the last path is the next preset";
}

TEST(SaveDialogTest, InitialDirIsKeptWithoutTrailingSlash) {
  const std::pair<const char*, const char*> cases[] = {
      {"/home/u/Planets/", "/home/u/Planets"},
      {"/home/u/Planets", "/home/u/Planets"},
      {"/", "/"},
      {"", ""},
      {"/a//", "/a"},
  };
  TScriptedSaveDialog dialog;
  for (const auto& [given, kept] : cases) {
    dialog.SetInitialDir(given);
    EXPECT_EQ(dialog.InitialDir(), QString(kept)) << given;
  }
}

TEST(SaveDialogTest, FilterPairsBecomeNameFilters) {
  const std::pair<const char*, QStringList> cases[] = {
      {"jpg|*.jpg|bmp|*.bmp", {"jpg (*.jpg)", "bmp (*.bmp)"}},
      {"Images|*.jpg;*.jpeg|All|*.*", {"Images (*.jpg *.jpeg)", "All (*.*)"}},
      {"jpg|*.jpg|dangling", {"jpg (*.jpg)"}},
      {"", {}},
  };
  for (const auto& [filter, expected] : cases) EXPECT_EQ(NameFilters(filter), expected) << filter;
}

// Answers the real dialog from inside its event loop once it is up.
void WhenDialogShows(const std::function<void(QFileDialog&)>& answer) {
  QTimer::singleShot(0, [answer] {
    auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    if (dialog == nullptr) return WhenDialogShows(answer);
    answer(*dialog);
  });
}

TEST(SaveDialogTest, TheQtDialogOpensInInitialDirAndNeverAsksToOverwrite) {
  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());
  TSaveDialog dialog;
  Configure(dialog);
  dialog.FilterIndex = 2;
  dialog.FileName = "/elsewhere/last.bmp";
  dialog.SetInitialDir(folder.path() + "/");

  QString shownFolder, shownSuffix, shownFilter, shownName;
  QStringList shownFilters;
  bool confirmsOverwrite = true;
  WhenDialogShows([&](QFileDialog& shown) {
    shownFolder = shown.directory().absolutePath();
    shownSuffix = shown.defaultSuffix();
    shownFilters = shown.nameFilters();
    shownFilter = shown.selectedNameFilter();
    confirmsOverwrite = !shown.testOption(QFileDialog::DontConfirmOverwrite);
    if (auto* edit = shown.findChild<QLineEdit*>("fileNameEdit")) shownName = edit->text();
    shown.reject();
  });
  EXPECT_FALSE(dialog.Execute());
  EXPECT_EQ(dialog.FileName, "/elsewhere/last.bmp");
  EXPECT_EQ(shownFolder, folder.path());
  EXPECT_EQ(shownFilters, (QStringList{"jpg (*.jpg)", "bmp (*.bmp)"}));
  EXPECT_EQ(shownFilter, "bmp (*.bmp)");
  EXPECT_EQ(shownSuffix, "bmp") << "the selected type's extension";
  EXPECT_EQ(shownName, "last.bmp");
  EXPECT_FALSE(confirmsOverwrite);

  WhenDialogShows([&](QFileDialog& shown) {
    // As a user would: pick the type, type a bare name, press Save.
    auto* types = shown.findChild<QComboBox*>("fileTypeCombo");
    auto* buttons = shown.findChild<QDialogButtonBox*>("buttonBox");
    if (types == nullptr || buttons == nullptr) return shown.reject();
    QTest::keyClick(types, Qt::Key_Up);
    shown.selectFile("moon");
    buttons->button(QDialogButtonBox::Save)->click();
  });
  ASSERT_TRUE(dialog.Execute());
  EXPECT_EQ(dialog.FileName, folder.path() + "/moon.jpg");
  EXPECT_EQ(dialog.FilterIndex, 1);
}

}  // namespace
}  // namespace orvanth::screenshot
