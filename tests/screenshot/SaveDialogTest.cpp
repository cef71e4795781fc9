#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDirIterator>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest/QTest>

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>

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

// A process fixes its settings paths at its first use of settings, so the dialogs run in a new
// process (the death test's) with a temporary home and configuration folder. That process
// runs this test from the top again: it finds the home through the environment.
TEST(SaveDialogTest, LeavesNoSettingsFileInTheUsersConfigFolder) {
  const char* const homeVariable = "ORVANTH_TEST_DIALOG_HOME";
  const QString inherited = qEnvironmentVariable(homeVariable);
  std::optional<QTemporaryDir> made;
  if (inherited.isEmpty()) made.emplace();
  const QString home = inherited.isEmpty() ? made->path() : inherited;
  ASSERT_FALSE(home.isEmpty());
  const QByteArray savedHome = qgetenv("HOME"), savedConfig = qgetenv("XDG_CONFIG_HOME");
  qputenv(homeVariable, home.toLocal8Bit());
  qputenv("HOME", home.toLocal8Bit());
  qputenv("XDG_CONFIG_HOME", (home + "/config").toLocal8Bit());
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        // One name confirmed, one dialog cancelled: both close the dialog, which is when it
        // writes its history.
        TSaveDialog dialog;
        Configure(dialog);
        dialog.SetInitialDir(home);
        WhenDialogShows([](QFileDialog& shown) {
          shown.selectFile("moon");
          auto* buttons = shown.findChild<QDialogButtonBox*>("buttonBox");
          if (buttons == nullptr) return shown.reject();
          buttons->button(QDialogButtonBox::Save)->click();
        });
        const bool confirmed = dialog.Execute();
        WhenDialogShows([](QFileDialog& shown) { shown.reject(); });
        dialog.Execute();
        std::exit(confirmed ? 0 : 3);
      },
      ::testing::ExitedWithCode(0), "");
  const auto restore = [](const char* name, const QByteArray& value) {
    if (value.isNull()) {
      qunsetenv(name);
    } else {
      qputenv(name, value);
    }
  };
  restore("HOME", savedHome);
  restore("XDG_CONFIG_HOME", savedConfig);
  qunsetenv(homeVariable);

  QStringList left;
  QDirIterator files(home, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
  while (files.hasNext()) left << files.next().mid(home.size() + 1);
  EXPECT_EQ(left, QStringList()) << "files the dialog left in the home folder";
}

}  // namespace
}  // namespace orvanth::screenshot
