#pragma once
// The folder screenshots are offered in: <documents>/Talvoren/Planets/.

#include <QString>

namespace orvanth::screenshot {

// Sets `PicturesFolder` to the user's documents folder followed by "Talvoren/Planets/",
// creating each of the two folders, one level at a time, when it is missing (a link to a
// folder counts as present); failures to create are ignored. When there is no documents
// folder `PicturesFolder` becomes empty and nothing is created. Returns whether the
// documents folder was found.
bool PreparePicturesFolder(QString& PicturesFolder);

// The same below a given documents folder; an empty path or one that is not an existing
// folder counts as not found. The documents folder itself is never created.
bool PreparePicturesFolder(QString& PicturesFolder, const QString& documentsFolder);

}  // namespace orvanth::screenshot
