#pragma once
// The save dialog the screenshot command asks for a file name, behind a small interface
// so that tests can answer it.

#include <QString>
#include <QStringList>

#include <optional>

class QWidget;

namespace orvanth::screenshot {

class ISaveDialog {
 public:
  virtual ~ISaveDialog() = default;

  QString DefaultExt;   // added by the dialog to a typed name without one; no "."
  QString Filter;       // "|"-separated pairs of display name and mask: "jpg|*.jpg|bmp|*.bmp"
  int FilterIndex = 1;  // the selected pair, from 1
  QString FileName;     // preset name; the confirmed full path afterwards
  QString Title;        // empty: the platform's title

  // The folder the dialog opens in, every time; kept without a trailing "/".
  const QString& InitialDir() const { return FInitialDir; }
  void SetInitialDir(const QString& folder);

  // Runs the dialog. True when the user confirmed a name: FileName and FilterIndex are
  // then the user's choice. On cancel both stay as they were.
  bool Execute();

  // What Execute hands to the dialog.
  struct TRequest {
    QString InitialDir;
    QString DefaultSuffix;
    QStringList NameFilters;  // "jpg (*.jpg)"
    int SelectedFilter = 0;   // index into NameFilters
    QString FileName;
    QString Title;
  };
  struct TAnswer {
    QString FileName;
    int SelectedFilter = 0;
  };

 protected:
  // Shows the dialog; nothing when it was cancelled or closed.
  virtual std::optional<TAnswer> Run(const TRequest& request) = 0;

 private:
  QString FInitialDir;
};

// "name|mask|name|mask" as Qt name filters, "name (mask)"; several masks in one pair are
// separated by ";". A trailing name without a mask is dropped.
QStringList NameFilters(const QString& filter);

// The platform's save dialog, modal over `owner`, which becomes active again afterwards.
// It never asks before replacing an existing file: the program replaces it when saving.
class TSaveDialog : public ISaveDialog {
 public:
  explicit TSaveDialog(QWidget* owner = nullptr) : FOwner(owner) {}

 protected:
  std::optional<TAnswer> Run(const TRequest& request) override;

 private:
  QWidget* FOwner;
};

}  // namespace orvanth::screenshot
