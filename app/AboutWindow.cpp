#include "app/AboutWindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QGraphicsDropShadowEffect>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QWindow>

#include <algorithm>
#include <cmath>
#include <numbers>

#include "assets/Assets.h"

TAboutWindow* TheAboutWindow = nullptr;

const QString TAboutWindow::WebAddress = QStringLiteral("https://www.talvoren.example/");
const QString TAboutWindow::WebAddressText = QStringLiteral("www.talvoren.example");

std::function<void(const QUrl&)> TAboutWindow::OpenUrl = [](const QUrl& url) {
  // Whether a browser came up is not reported: the window stays as it is either way.
  QDesktopServices::openUrl(url);
};

// ---- TImage

void TImage::SetPicture(const QImage& picture) {
  FPicture = picture.convertToFormat(QImage::Format_ARGB32_Premultiplied);
  FScaled = QImage();
  update();
}

QRectF TImage::PictureRect() const {
  if (FPicture.isNull() || width() <= 0 || height() <= 0) return {};
  const double scale =
      std::min(double(width()) / FPicture.width(), double(height()) / FPicture.height());
  QRectF area(0, 0, FPicture.width() * scale, FPicture.height() * scale);
  area.moveCenter(QRectF(rect()).center());
  return area;
}

void TImage::paintEvent(QPaintEvent*) {
  const QRectF area = PictureRect();
  if (area.isEmpty()) return;
  // Scaled once per size with area averaging: a plain smooth transform would alias at
  // this much reduction.
  const double ratio = devicePixelRatioF();
  const QRect pixels(QPoint(std::lround(area.x() * ratio), std::lround(area.y() * ratio)),
                     QSize(std::lround(area.width() * ratio), std::lround(area.height() * ratio)));
  if (FScaled.size() != pixels.size()) {
    FScaled = FPicture.scaled(pixels.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
  }
  FScaled.setDevicePixelRatio(ratio);
  QPainter painter(this);
  painter.drawImage(QPointF(pixels.topLeft()) / ratio, FScaled);
}

// ---- TLabel

void TLabel::mousePressEvent(QMouseEvent* event) {
  FPressed = event->button() == Qt::LeftButton;
  QLabel::mousePressEvent(event);
}

void TLabel::mouseReleaseEvent(QMouseEvent* event) {
  const bool click =
      FPressed && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
  FPressed = false;
  QLabel::mouseReleaseEvent(event);
  if (click) emit Click();
}

// ---- TAboutWindow

namespace {

struct TextControl {
  QRect Bounds;
  QString Text;
  int FontSize;  // logical pixels
  QRgb Colour;
};

// Face and weight come from the platform; size and colour are the window's own.
template <typename Control>
void ApplyText(Control* control, const TextControl& settings, QPalette::ColorRole role) {
  control->setGeometry(settings.Bounds);
  control->setText(settings.Text);
  QFont font = QApplication::font(control);
  font.setPixelSize(settings.FontSize);
  control->setFont(font);
  QPalette palette = control->palette();
  palette.setColor(role, QColor::fromRgba(settings.Colour));
  control->setPalette(palette);
}

TLabel* MakeLabel(QWidget* parent, const TextControl& settings) {
  auto* label = new TLabel(parent);
  ApplyText(label, settings, QPalette::WindowText);
  label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  return label;
}

QImage AboutPicture() {
  const auto png = orvanth::assets::Png(orvanth::assets::Image::About);
  return QImage::fromData(png.data(), int(png.size()), "PNG");
}

}  // namespace

TAboutWindow::TAboutWindow(QWidget* mainWindow)
    : QWidget(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowStaysOnTopHint),
      FMainWindow(nullptr) {
  SetMainWindow(mainWindow);
  setWindowTitle(QStringLiteral("About"));
  setFixedSize(515, 265);

  Picture = new TImage(this);
  Picture->setGeometry(32, 32, 205, 135);
  Picture->SetPicture(AboutPicture());

  TitleLabel =
      MakeLabel(this, {{264, 32, 249, 41}, QStringLiteral("Moons of Orvanth"), 26, 0xFFADC5E7});
  auto* titleShadow = new QGraphicsDropShadowEffect(TitleLabel);
  titleShadow->setColor(QColor(0x00, 0xFF, 0xFF, 128));  // aqua at half opacity
  const double direction = 45.0 * std::numbers::pi / 180.0;
  titleShadow->setOffset(2.0 * std::cos(direction), 2.0 * std::sin(direction));
  titleShadow->setBlurRadius(1.0);  // softness 0.1: barely blurred
  TitleLabel->setGraphicsEffect(titleShadow);

  MakerLabel =
      MakeLabel(this, {{264, 80, 177, 25}, QStringLiteral("Talvoren Com Ltd."), 16, 0xFFB8B7B7});

  AddressLabel = MakeLabel(this, {{264, 142, 233, 25}, WebAddressText, 16, 0xFF6D90D0});
  AddressLabel->setCursor(Qt::PointingHandCursor);
  connect(AddressLabel, &TLabel::Click, this, &TAboutWindow::OpenWebPage);

  OkButton = new QToolButton(this);
  ApplyText(OkButton, {{217, 194, 80, 33}, QStringLiteral("OK"), 16, 0xFFB8B7B7},
            QPalette::ButtonText);
  OkButton->setAutoRaise(true);
  // Flat until the pointer is over it; then a light veil, so the light text stays
  // readable on the dark fill (the platform's raised panel would be near white).
  OkButton->setStyleSheet(QStringLiteral(
      "QToolButton { border: 1px solid transparent; border-radius: 3px; background: transparent; }"
      "QToolButton:hover { border-color: rgba(255, 255, 255, 70);"
      " background: rgba(255, 255, 255, 30); }"
      "QToolButton:pressed { background: rgba(255, 255, 255, 55); }"));
  OkButton->setFocusPolicy(Qt::NoFocus);
  connect(OkButton, &QToolButton::clicked, this, &TAboutWindow::CloseAndReturn);
}

void TAboutWindow::SetMainWindow(QWidget* mainWindow) {
  if (FMainWindow != nullptr) FMainWindow->window()->removeEventFilter(this);
  FMainWindow = mainWindow;
  if (FMainWindow != nullptr) FMainWindow->window()->installEventFilter(this);
}

void TAboutWindow::OpenWebPage() {
  OpenUrl(QUrl(WebAddress));
}

void TAboutWindow::CloseAndReturn() {
  hide();
  if (FMainWindow != nullptr) {
    QWidget* main = FMainWindow->window();
    main->raise();
    main->activateWindow();
  }
}

void TAboutWindow::setVisible(bool visible) {
  if (visible && !isVisible()) CentreOverMainWindow();
  QWidget::setVisible(visible);
}

void TAboutWindow::CentreOverMainWindow() {
  QRect area;
  if (FMainWindow != nullptr && FMainWindow->isVisible()) {
    area = QRect(FMainWindow->mapToGlobal(QPoint(0, 0)), FMainWindow->size());
    // Kept above the main window by the window manager too, also when that is full
    // screen.
    create();
    if (QWindow* main = FMainWindow->window()->windowHandle()) {
      windowHandle()->setTransientParent(main);
    }
  } else {
    QScreen* screen =
        FMainWindow != nullptr ? FMainWindow->screen() : QGuiApplication::primaryScreen();
    if (screen == nullptr) return;
    area = screen->availableGeometry();
  }
  // The client area goes to the centre; the frame, whatever its size, around it.
  QRect bounds(QPoint(0, 0), size());
  bounds.moveCenter(area.center());
  setGeometry(bounds);
}

void TAboutWindow::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  QLinearGradient fill(0.0, 0.0, 0.0, height());
  fill.setColorAt(0.0, QColor::fromRgba(0xFF244477));
  fill.setColorAt(1.0, QColor::fromRgba(0xFF14141E));
  painter.fillRect(rect(), fill);
}

void TAboutWindow::closeEvent(QCloseEvent* event) {
  event->ignore();
  hide();
}

void TAboutWindow::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::WindowStateChange) KeepMainWindowReachable();
}

bool TAboutWindow::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::WindowStateChange && FMainWindow != nullptr &&
      watched == FMainWindow->window()) {
    KeepMainWindowReachable();
  }
  return false;
}

void TAboutWindow::KeepMainWindowReachable() {
  if (FMainWindow == nullptr || !isVisible() || !isMinimized()) return;
  const QWidget* main = FMainWindow->window();
  // This window comes back, and the window manager brings the main window with it as it
  // took it along. Changing the main window's own state instead would make it leave full
  // screen and enter it again on the way.
  if (main->isMinimized() && main->isFullScreen())
    setWindowState(windowState() & ~Qt::WindowMinimized);
}
