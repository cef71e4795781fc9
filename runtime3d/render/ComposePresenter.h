#pragma once
// The view's presentation on a GPU: a GL child widget that covers the view under its other
// children and is blind to the pointer. It shows the picture the view's own context drew
// (TGLSharedPicture) and the window system composes it with the window; the 2D children
// paint over it as over the copied picture, and every pointer event still goes to the view.
//
// It only shows: the view's frame loop draws and publishes the picture, then asks it to
// paint.

#include <functional>

#include <QOpenGLWidget>

#include "runtime3d/render/GLDevice.h"

namespace rt3d {

class TGLSharedPicture;

class TComposePresenter : public QOpenGLWidget {
 public:
  // painted is called after each paint that showed the picture. unusable is called once,
  // from the event loop, when this widget's GL context cannot use the device's objects: the
  // view then presents by copy.
  TComposePresenter(QWidget& view, TGLSharedPicture& picture, std::function<void()> painted,
                    std::function<void()> unusable);
  ~TComposePresenter() override;

 protected:
  void initializeGL() override;
  void paintGL() override;
  // Follows the view's size.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void ReleaseGL();

  TGLSharedPicture& FPicture;
  std::function<void()> FPainted;
  std::function<void()> FUnusable;
  TGLFunctions* FGL = nullptr;
  bool FUnusableSaid = false;
};

}  // namespace rt3d
