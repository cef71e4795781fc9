// The least a program here can do to light the full screen with GL: a full-screen window
// of the viewer's surface format that clears itself black with a lit band across its
// middle third, the way the screen benchmark recognises a lit scene. Its first light is the
// floor the viewer's is measured against. Runs until it is ended.

#include <QGuiApplication>
#include <QOpenGLFunctions>
#include <QOpenGLWindow>
#include <QSurfaceFormat>

#include "runtime3d/render/GLDevice.h"

namespace {

class TBareWindow : public QOpenGLWindow, protected QOpenGLFunctions {
 protected:
  void initializeGL() override { initializeOpenGLFunctions(); }
  void paintGL() override {
    const int w = int(width() * devicePixelRatio()), h = int(height() * devicePixelRatio());
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
    glEnable(GL_SCISSOR_TEST);
    glScissor(w / 3, h / 3, w / 3, h / 3);
    glClearColor(0.8f, 0.5f, 0.3f, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glDisable(GL_SCISSOR_TEST);
  }
};

}  // namespace

int main(int argc, char** argv) {
  QSurfaceFormat::setDefaultFormat(rt3d::DeviceSurfaceFormat());
  QGuiApplication application(argc, argv);
  TBareWindow window;
  window.showFullScreen();
  return application.exec();
}
