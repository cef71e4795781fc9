#pragma once
// The About window: the program's picture, title, maker and web address, and "OK".
// Built hidden at start-up, shown by the main window's "About" command, hidden again
// by "OK" or a close request; it lives as long as the program.

#include <QImage>
#include <QLabel>
#include <QToolButton>
#include <QUrl>
#include <QWidget>

#include <functional>

// A picture scaled to fit its box with its proportions kept, centred; what it leaves
// uncovered shows the window behind.
class TImage : public QWidget {
 public:
  using QWidget::QWidget;

  void SetPicture(const QImage& picture);
  const QImage& Picture() const { return FPicture; }
  // Where the picture is drawn, in the control's coordinates.
  QRectF PictureRect() const;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QImage FPicture;
  QImage FScaled;  // FPicture at its drawn size in device pixels
};

// A label that reports a click: press and release of the left button over it.
class TLabel : public QLabel {
  Q_OBJECT
 public:
  using QLabel::QLabel;

 signals:
  void Click();

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  bool FPressed = false;
};

class TAboutWindow : public QWidget {
  Q_OBJECT
 public:
  // The page the address label shows and opens.
  static const QString WebAddress;
  static const QString WebAddressText;

  // Opens a web address in the user's browser. Tests replace it.
  static std::function<void(const QUrl&)> OpenUrl;

  // `mainWindow` is what the window centres over and hands the activation back to.
  explicit TAboutWindow(QWidget* mainWindow = nullptr);
  void SetMainWindow(QWidget* mainWindow);

  TImage* Picture;
  TLabel* TitleLabel;
  TLabel* MakerLabel;
  TLabel* AddressLabel;
  QToolButton* OkButton;

  void OpenWebPage();
  void CloseAndReturn();

  // Showing centres the window over the main window each time.
  void setVisible(bool visible) override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  // Not the main window: a close request only hides it.
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;
  // Watches the main window's state.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void CentreOverMainWindow();
  // Some window managers (openbox) minimise the window a dialog stands over along with
  // it. A full-screen main window has no border and no taskbar entry to come back by: so
  // this window does not stay minimised with it.
  void KeepMainWindowReachable();

  QWidget* FMainWindow;
};

// The About window of the running program, created hidden at start-up.
extern TAboutWindow* TheAboutWindow;
