#include "runtime3d/render/ComposePresenter.h"

#include <utility>

#include <QEvent>
#include <QOpenGLContext>
#include <QOpenGLFunctions_3_3_Core>
#include <QOpenGLVersionFunctionsFactory>

#include "runtime3d/render/GLSharedPicture.h"

namespace rt3d {

TComposePresenter::TComposePresenter(QWidget& view, TGLSharedPicture& picture,
                                     std::function<void()> painted, std::function<void()> unusable)
    : QOpenGLWidget(&view),
      FPicture(picture),
      FPainted(std::move(painted)),
      FUnusable(std::move(unusable)) {
  setObjectName(QStringLiteral("ComposePresenter"));
  setAttribute(Qt::WA_TransparentForMouseEvents);
  setFocusPolicy(Qt::NoFocus);
  // Only a copy of the finished picture lands here: no depth, stencil or samples.
  QSurfaceFormat surface = format();
  surface.setDepthBufferSize(0);
  surface.setStencilBufferSize(0);
  surface.setSamples(0);
  setFormat(surface);
  setGeometry(view.rect());
  lower();
  view.installEventFilter(this);
}

TComposePresenter::~TComposePresenter() {
  if (FGL && context()) {
    makeCurrent();
    ReleaseGL();
    doneCurrent();
  }
}

void TComposePresenter::ReleaseGL() {
  if (FGL) FPicture.ReleaseShowing(*FGL);
  FGL = nullptr;
}

void TComposePresenter::initializeGL() {
  // Without objects shared with the device there is nothing to show here.
  QOpenGLContext* shared = QOpenGLContext::globalShareContext();
  if (shared && QOpenGLContext::areSharing(context(), shared)) {
    FGL = QOpenGLVersionFunctionsFactory::get<TGLFunctions>(context());
    if (FGL && !FGL->initializeOpenGLFunctions()) FGL = nullptr;
  }
  // Called again for each new context (the widget moved to another window): the objects
  // made in the old one go with it.
  connect(context(), &QOpenGLContext::aboutToBeDestroyed, this, [this] {
    makeCurrent();
    ReleaseGL();
    doneCurrent();
  });
}

void TComposePresenter::paintGL() {
  if (!FGL) {
    if (!FUnusableSaid) {
      FUnusableSaid = true;
      QMetaObject::invokeMethod(this, FUnusable, Qt::QueuedConnection);
    }
    return;
  }
  FPicture.ShowIn(*FGL, defaultFramebufferObject(), size() * devicePixelRatio());
  FPainted();
}

bool TComposePresenter::eventFilter(QObject* watched, QEvent* event) {
  if (watched == parent() && event->type() == QEvent::Resize) setGeometry(parentWidget()->rect());
  return QOpenGLWidget::eventFilter(watched, event);
}

}  // namespace rt3d
