#pragma once
// A 200 x 200 3D view with a sphere of radius 5 in the middle, seen from 15 away: the
// sphere covers the centre, not the corners. Not shown yet.

#include <memory>

#include "runtime3d/core/Camera.h"
#include "runtime3d/mesh/Sphere.h"
#include "runtime3d/render/Viewport3D.h"

namespace rt3d::test {

inline std::unique_ptr<TViewport3D> MakeViewWithBody(TSphere*& body) {
  auto view = std::make_unique<TViewport3D>();
  view->resize(200, 200);
  auto* camera = new TCamera("Camera");
  view->Root()->AddObject(camera);
  camera->Position().SetPoint({0, 0, -15});
  view->SetCamera(camera);
  view->SetUsingDesignCamera(false);
  body = new TSphere();
  body->SetSubdivisionsAxes(50);
  body->SetSubdivisionsHeight(50);
  body->SetSize(10, 10, 10);
  view->Root()->AddObject(body);
  return view;
}

}  // namespace rt3d::test
