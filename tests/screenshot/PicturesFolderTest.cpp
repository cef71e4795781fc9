#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "Fixtures.h"
#include "screenshot/PicturesFolder.h"

namespace orvanth::screenshot {
namespace {

using testing::FilesIn;
using testing::WriteFile;

class PicturesFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(FTemp.isValid());
    FDocuments = FTemp.path() + "/Documents";
    ASSERT_TRUE(QDir().mkdir(FDocuments));
  }

  QTemporaryDir FTemp;
  QString FDocuments;
};

TEST_F(PicturesFolderTest, BuildsThePathAndCreatesBothFoldersOnce) {
  // The documents path as the platform may hand it: with or without a final "/".
  for (const QString& documents : {FDocuments, FDocuments + "/"}) {
    SCOPED_TRACE(documents.toStdString());
    const QString expected = FDocuments + "/Talvoren/Planets/";
    QString picturesFolder;
    ASSERT_TRUE(PreparePicturesFolder(picturesFolder, documents));
    EXPECT_EQ(picturesFolder, expected);
    EXPECT_TRUE(QFileInfo(expected).isDir());

    // A later start finds both folders and leaves what is in them alone.
    WriteFile(expected + "earlier.jpg", "shot");
    QString again = "stale";
    ASSERT_TRUE(PreparePicturesFolder(again, documents));
    EXPECT_EQ(again, expected);
    EXPECT_EQ(FilesIn(expected), QStringList{"earlier.jpg"});
    EXPECT_EQ(FilesIn(FDocuments), QStringList{"Talvoren"});
    ASSERT_TRUE(QDir(FDocuments + "/Talvoren").removeRecursively());
  }
}

TEST_F(PicturesFolderTest, NoDocumentsFolderLeavesItEmptyAndCreatesNothing) {
  const QString file = FTemp.path() + "/a-file";
  WriteFile(file, "x");
  for (const QString& documents : {QString(), FTemp.path() + "/missing", file}) {
    SCOPED_TRACE(documents.toStdString());
    QString picturesFolder = "previous value";
    EXPECT_FALSE(PreparePicturesFolder(picturesFolder, documents));
    EXPECT_TRUE(picturesFolder.isEmpty());
  }
  EXPECT_EQ(FilesIn(FTemp.path()), (QStringList{"Documents", "a-file"}));
}

TEST_F(PicturesFolderTest, LinksToFoldersCountAsFolders) {
  // The documents folder itself reached through a link: the path keeps the link.
  const QString linkedDocuments = FTemp.path() + "/DocumentsLink";
  ASSERT_TRUE(QFile::link(FDocuments, linkedDocuments));
  QString picturesFolder;
  ASSERT_TRUE(PreparePicturesFolder(picturesFolder, linkedDocuments));
  EXPECT_EQ(picturesFolder, linkedDocuments + "/Talvoren/Planets/");
  EXPECT_TRUE(QFileInfo(FDocuments + "/Talvoren/Planets").isDir());
  ASSERT_TRUE(QDir(FDocuments + "/Talvoren").removeRecursively());

  // "Talvoren" a link to a folder elsewhere: used as it is, "Planets" made inside.
  const QString elsewhere = FTemp.path() + "/Elsewhere";
  ASSERT_TRUE(QDir().mkdir(elsewhere));
  ASSERT_TRUE(QFile::link(elsewhere, FDocuments + "/Talvoren"));
  ASSERT_TRUE(PreparePicturesFolder(picturesFolder, FDocuments));
  EXPECT_EQ(picturesFolder, FDocuments + "/Talvoren/Planets/");
  EXPECT_TRUE(QFileInfo(FDocuments + "/Talvoren").isSymLink());
  EXPECT_TRUE(QFileInfo(elsewhere + "/Planets").isDir());
}

TEST_F(PicturesFolderTest, AFolderThatCannotBeCreatedIsIgnored) {
  // A file squatting on the name: the path is still built, the save later reports it.
  WriteFile(FDocuments + "/Talvoren", "not a folder");
  QString picturesFolder;
  EXPECT_TRUE(PreparePicturesFolder(picturesFolder, FDocuments));
  EXPECT_EQ(picturesFolder, FDocuments + "/Talvoren/Planets/");
  EXPECT_TRUE(QFileInfo(FDocuments + "/Talvoren").isFile());
}

TEST_F(PicturesFolderTest, UsesThePlatformDocumentsFolder) {
  // XDG_DOCUMENTS_DIR moves the documents folder without touching the user's real one.
  const QByteArray savedHome = qgetenv("HOME");
  const QByteArray savedConfig = qgetenv("XDG_CONFIG_HOME");
  const QString config = FTemp.path() + "/config";
  ASSERT_TRUE(QDir().mkdir(config));
  WriteFile(config + "/user-dirs.dirs", "XDG_DOCUMENTS_DIR=\"" + FDocuments.toUtf8() + "\"\n");
  qputenv("HOME", FTemp.path().toUtf8());
  qputenv("XDG_CONFIG_HOME", config.toUtf8());
  QString picturesFolder;
  const bool found = PreparePicturesFolder(picturesFolder);
  qputenv("HOME", savedHome);
  savedConfig.isNull() ? qunsetenv("XDG_CONFIG_HOME") : qputenv("XDG_CONFIG_HOME", savedConfig);
  EXPECT_TRUE(found);
  EXPECT_EQ(picturesFolder, FDocuments + "/Talvoren/Planets/");
}

}  // namespace
}  // namespace orvanth::screenshot
