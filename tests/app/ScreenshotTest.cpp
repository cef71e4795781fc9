// The "Screenshot" command with an answering save dialog, and the picture the view makes
// of the scene as stored.

#include <QDir>
#include <QImageReader>
#include <QTemporaryDir>

#include "screenshot/ScriptedSaveDialog.h"
#include "tests/app/MainWindowFixture.h"

namespace apptest {

namespace {

// The pixels of `area` where `a` and `b` differ by more than `tolerance` in some channel,
// and the box around them.
int DifferingPixels(const QImage& a, const QImage& b, const QRect& area, int tolerance,
                    QRect* box = nullptr) {
  int count = 0;
  QRect around;
  for (int y = area.top(); y <= area.bottom(); ++y) {
    for (int x = area.left(); x <= area.right(); ++x) {
      const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
      if (std::abs(qRed(p) - qRed(q)) > tolerance || std::abs(qGreen(p) - qGreen(q)) > tolerance ||
          std::abs(qBlue(p) - qBlue(q)) > tolerance ||
          std::abs(qAlpha(p) - qAlpha(q)) > tolerance) {
        ++count;
        around |= QRect(x, y, 1, 1);
      }
    }
  }
  if (box) *box = around;
  return count;
}

}  // namespace

class Screenshot : public MainWindow {
 protected:
  void SetUp() override {
    MainWindow::SetUp();
    ASSERT_TRUE(folder.isValid());
    auto dialog = std::make_unique<orvanth::screenshot::TScriptedSaveDialog>();
    dialog->DefaultExt = viewer().SaveDialog().DefaultExt;
    dialog->Filter = viewer().SaveDialog().Filter;
    dialog->FileName = viewer().SaveDialog().FileName;
    dialog->FilterIndex = viewer().SaveDialog().FilterIndex;
    dialog->SetInitialDir(viewer().SaveDialog().InitialDir());
    dialog_ = dialog.get();
    viewer().ReplaceSaveDialog(std::move(dialog));
  }

  // Chooses "Screenshot" and answers the dialog with `name` in the test's folder.
  QString Take(const QString& name) {
    const QString path = folder.filePath(name);
    dialog_->Answers.push_back(path);
    ChooseMenuItem(viewer().Actions().Screenshot);
    return path;
  }
  QStringList Files() const { return QDir(folder.path()).entryList(QDir::Files); }
  QSize PixelSize() { return viewer().View()->RenderTargetSize(); }

  QTemporaryDir folder;
  orvanth::screenshot::TScriptedSaveDialog* dialog_ = nullptr;
};

TEST_F(Screenshot, SavesTheViewAtItsPixelSizeInTheContainerOfTheExtension) {
  const QSize expected = (QSizeF(viewer().View()->size()) * viewer().devicePixelRatioF()).toSize();
  ASSERT_EQ(PixelSize(), expected);
  struct TCase {
    const char* Name;
    QByteArray Format;
  };
  const TCase cases[] = {{"shot.jpg", "jpeg"}, {"SHOT.JPG", "jpeg"}, {"shot.bmp", "bmp"}};
  QString previous;
  for (const TCase& c : cases) {
    const QString path = Take(c.Name);
    EXPECT_TRUE(ErrorMessages().empty()) << c.Name;
    QImageReader reader(path);
    EXPECT_EQ(reader.format(), c.Format) << c.Name;
    EXPECT_EQ(reader.size(), expected) << c.Name;
    EXPECT_EQ(viewer().SaveDialog().FileName, path);

    // The dialog opens in the pictures folder made at start-up, with the last name.
    ASSERT_FALSE(dialog_->Requests.empty());
    const auto& request = dialog_->Requests.back();
    EXPECT_TRUE(request.InitialDir.endsWith("Talvoren/Planets"))
        << request.InitialDir.toStdString();
    EXPECT_TRUE(QDir(request.InitialDir).exists());
    EXPECT_EQ(request.InitialDir + "/", viewer().PicturesFolder());
    if (!previous.isEmpty()) {
      EXPECT_EQ(request.FileName, previous);
    }
    previous = path;
  }
}

TEST_F(Screenshot, HasTheBodyNameAtTheTopOnlyWhenNamesAreShown) {
  const QImage named(Take("named.jpg"));
  ChooseMenuItem(viewer().Actions().ShowNames);
  ASSERT_FALSE(viewer().Overlays().NameLabel->isVisible());
  const QImage unnamed(Take("unnamed.jpg"));
  ASSERT_FALSE(named.isNull());
  ASSERT_EQ(named.size(), unnamed.size());

  QRect text;
  const QRect strip(0, 0, named.width(), 40);
  EXPECT_GT(DifferingPixels(named, unnamed, strip, 40, &text), 30) << "the name is drawn";
  EXPECT_NEAR(text.center().x(), named.width() / 2, 15) << "centred over the view";
  // Below the strip (and the coding blocks that reach into it) nothing else differs.
  const QRect below(0, 48, named.width(), named.height() - 48);
  EXPECT_EQ(DifferingPixels(named, unnamed, below, 3), 0);
}

TEST_F(Screenshot, NeverShowsTheFactSheetOrThePanel) {
  const QImage plain(Take("plain.jpg"));
  ChooseMenuItem(viewer().Actions().ShowInfo);
  PressKey(Qt::Key_Space);
  ASSERT_TRUE(viewer().Overlays().FactSheetCaptions->isVisible());
  ASSERT_FALSE(viewer().Overlays().ButtonPanel->isVisible());
  const QImage withSheet(Take("sheet.jpg"));
  ASSERT_FALSE(plain.isNull());
  ASSERT_EQ(plain.size(), withSheet.size());
  const double ratio = viewer().devicePixelRatioF();
  const QRect sheet(viewer().Overlays().FactSheetCaptions->geometry().topLeft() * ratio,
                    viewer().Overlays().FactSheetValues->geometry().bottomRight() * ratio);
  EXPECT_EQ(DifferingPixels(plain, withSheet, sheet, 3), 0) << "the fact sheet is not in it";
  const QRect panel(viewer().Overlays().ButtonPanel->geometry().topLeft() * ratio,
                    viewer().Overlays().ButtonPanel->geometry().bottomRight() * ratio);
  EXPECT_EQ(DifferingPixels(plain, withSheet, panel, 3), 0) << "the panel is not in it";
  EXPECT_EQ(DifferingPixels(plain, withSheet, plain.rect(), 3), 0);
}

TEST_F(Screenshot, CancelWritesNothingAndKeepsTheFileName) {
  const QString earlier = folder.filePath("earlier.jpg");
  dialog_->FileName = earlier;
  dialog_->Answers.push_back(std::nullopt);
  ChooseMenuItem(viewer().Actions().Screenshot);
  ASSERT_EQ(dialog_->Requests.size(), 1u) << "the dialog was asked";
  EXPECT_EQ(dialog_->Requests[0].FileName, earlier);
  EXPECT_TRUE(Files().isEmpty());
  EXPECT_EQ(dialog_->FileName, earlier);
  EXPECT_TRUE(ErrorMessages().empty());
}

TEST_F(Screenshot, FailedSaveIsReportedAndTheViewerGoesOn) {
  struct TCase {
    const char* Name;
    QString Message;
  };
  const TCase cases[] = {
      {"x.xyz", "Saving bitmap failed."},
      {"noext", "Saving bitmap failed."},
      {"missing/shot.jpg", "Cannot create file \"" + folder.filePath("missing/shot.jpg") + "\""},
  };
  for (const TCase& c : cases) {
    ErrorMessages().clear();
    Take(c.Name);
    ASSERT_EQ(ErrorMessages().size(), 1u) << c.Name;
    EXPECT_TRUE(ErrorMessages()[0].startsWith(c.Message)) << ErrorMessages()[0].toStdString();
    EXPECT_TRUE(Files().isEmpty()) << c.Name << ": nothing left behind";
    ClickButton(viewer().BodyButton(orvanth::TBodyId::Io));
    EXPECT_EQ(viewer().Overlays().NameLabel->text(), QString("Io"));
    ClickButton(viewer().BodyButton(orvanth::TBodyId::Orvanth));
  }
}

// The scene as stored, seen from the camera's stored place with the pivots set and
// nothing moving: the planet in the middle, about 85 % of the view high, and the star
// field behind everything else.
TEST_F(Screenshot, StoredViewShowsThePlanetCentredInTheSky) {
  ChooseMenuItem(viewer().Actions().AutoRotate);
  ASSERT_FALSE(viewer().Actions().AutoRotate->isChecked());
  ASSERT_EQ(CameraZ(), -15);
  const QImage scene = viewer().View()->MakeScreenshot();
  viewer().Scene().Bodies[orvanth::TBodyId::Orvanth]->SetVisible(false);
  const QImage withoutPlanet = viewer().View()->MakeScreenshot();
  viewer().Scene().Bodies[orvanth::TBodyId::Orvanth]->SetVisible(true);
  ASSERT_FALSE(scene.isNull());
  ASSERT_EQ(scene.size(), PixelSize());

  const int w = scene.width(), h = scene.height();
  QRect column, row;
  DifferingPixels(scene, withoutPlanet, QRect(w / 2, 0, 1, h), 8, &column);
  DifferingPixels(scene, withoutPlanet, QRect(0, h / 2, w, 1), 8, &row);
  // A sphere of radius 5 seen from 15 away under a 45 degree view: tan(asin(1/3)) /
  // tan(22.5) of the height, 85.4 %.
  EXPECT_NEAR(column.height() / double(h), 0.854, 0.01);
  EXPECT_NEAR(column.center().y(), h / 2.0, 3);
  EXPECT_NEAR(row.width(), column.height(), 4) << "round";
  EXPECT_NEAR(row.center().x(), w / 2.0, 3);

  int transparent = 0;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) transparent += qAlpha(scene.pixel(x, y)) != 255;
  }
  EXPECT_EQ(transparent, 0) << "the sky covers every pixel no body does";
  // And it is a star field, not an empty black.
  int stars = 0;
  for (int y = h - 200; y < h; ++y) {
    for (int x = 0; x < 300; ++x) stars += qGray(scene.pixel(x, y)) > 80;
  }
  EXPECT_GT(stars, 0);
}

}  // namespace apptest
