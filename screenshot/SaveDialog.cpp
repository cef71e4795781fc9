#include "screenshot/SaveDialog.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QSettings>
#include <QTemporaryDir>

#include <algorithm>

namespace orvanth::screenshot {

namespace {

// The extension a single-pattern mask such as "*.bmp" stands for; empty for "*.*" or a
// list of patterns.
QString SuffixOfNameFilter(const QString& nameFilter) {
  const qsizetype open = nameFilter.lastIndexOf(u'(');
  const qsizetype close = nameFilter.lastIndexOf(u')');
  if (open < 0 || close < open) return {};
  const QStringList patterns =
      nameFilter.mid(open + 1, close - open - 1).split(u' ', Qt::SkipEmptyParts);
  if (patterns.size() != 1 || !patterns[0].startsWith(QStringLiteral("*."))) return {};
  const QString suffix = patterns[0].mid(2);
  if (suffix.contains(u'*') || suffix.contains(u'?') || suffix.contains(u'[')) return {};
  return suffix;
}

// The file dialog keeps its history and layout in the user's settings, read when it opens and
// written when it closes. The viewer keeps no settings: the user's settings of this process
// go to a folder of this run, removed when the program ends.
void KeepUserSettingsForThisRun() {
  static QTemporaryDir folder;
  static const bool redirected = [] {
    // Without a temporary folder, a path that cannot be made: nothing is written at all.
    const QString path = folder.isValid() ? folder.path() : QStringLiteral("/dev/null/settings");
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, path);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, path);
    return true;
  }();
  (void)redirected;
}

}  // namespace

void ISaveDialog::SetInitialDir(const QString& folder) {
  FInitialDir = folder;
  while (FInitialDir.size() > 1 && FInitialDir.endsWith(u'/')) FInitialDir.chop(1);
}

bool ISaveDialog::Execute() {
  TRequest request;
  request.InitialDir = FInitialDir;
  request.DefaultSuffix = DefaultExt.startsWith(u'.') ? DefaultExt.mid(1) : DefaultExt;
  request.NameFilters = NameFilters(Filter);
  const int lastFilter = std::max(0, int(request.NameFilters.size()) - 1);
  request.SelectedFilter = std::clamp(FilterIndex - 1, 0, lastFilter);
  request.FileName = FileName;
  request.Title = Title;
  const std::optional<TAnswer> answer = Run(request);
  if (!answer || answer->FileName.isEmpty()) return false;
  FileName = answer->FileName;
  FilterIndex = answer->SelectedFilter + 1;
  return true;
}

QStringList NameFilters(const QString& filter) {
  const QStringList parts = filter.split(u'|');
  QStringList result;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    const QString masks = parts[i + 1].split(u';', Qt::SkipEmptyParts).join(u' ');
    result << QStringLiteral("%1 (%2)").arg(parts[i], masks);
  }
  return result;
}

std::optional<ISaveDialog::TAnswer> TSaveDialog::Run(const TRequest& request) {
  KeepUserSettingsForThisRun();
  QFileDialog dialog(FOwner, request.Title);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  // The screenshot replaces an existing file without a question.
  dialog.setOption(QFileDialog::DontConfirmOverwrite);
  if (!request.InitialDir.isEmpty()) dialog.setDirectory(request.InitialDir);
  const auto suffixFor = [&](const QString& nameFilter) {
    const QString suffix = SuffixOfNameFilter(nameFilter);
    return suffix.isEmpty() ? request.DefaultSuffix : suffix;
  };
  if (!request.NameFilters.isEmpty()) {
    dialog.setNameFilters(request.NameFilters);
    const QString selected = request.NameFilters[request.SelectedFilter];
    dialog.selectNameFilter(selected);
    // A typed name without extension gets the one of the type the user picked, so that
    // choosing "bmp" saves a bitmap.
    dialog.setDefaultSuffix(suffixFor(selected));
    QObject::connect(
        &dialog, &QFileDialog::filterSelected, &dialog,
        [&](const QString& nameFilter) { dialog.setDefaultSuffix(suffixFor(nameFilter)); });
  } else {
    dialog.setDefaultSuffix(request.DefaultSuffix);
  }
  // The name only: the folder is InitialDir's.
  if (!request.FileName.isEmpty()) dialog.selectFile(QFileInfo(request.FileName).fileName());

  const bool confirmed = dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty();
  if (FOwner != nullptr) FOwner->activateWindow();
  if (!confirmed) return std::nullopt;
  const int selectedFilter = int(request.NameFilters.indexOf(dialog.selectedNameFilter()));
  return TAnswer{dialog.selectedFiles().constFirst(), std::max(0, selectedFilter)};
}

}  // namespace orvanth::screenshot
