#pragma once
// How a view's frames reach the screen. On a software rasterizer the picture already sits in
// main memory: reading it back and painting it as the widget's face is a plain copy, far
// cheaper than having the window composed by GL. On a GPU the read-back stalls the pipeline
// and moves ~8 MB per 1080p frame: there the picture stays on the GPU and the window system
// composes it with the window.

#include <QString>
#include <QStringView>

namespace rt3d {

enum class TPresentation {
  Copy,     // read back and painted as the widget's face
  Compose,  // handed to a GL child widget that the window composes
};

// The environment variable that forces a presentation: "copy" or "compose".
inline constexpr char kPresentationVariable[] = "ORVANTH_PRESENTATION";

struct TPresentationChoice {
  TPresentation Presentation = TPresentation::Copy;
  // Empty, or the one line to show when the forced value means nothing.
  QString Warning;
};

// The presentation for a device whose GL_RENDERER is `renderer`, with `forced` the value of
// the variable (empty when unset). A software rasterizer, or no renderer known, gets the
// copy; any other the composition. An unknown value is warned about and ignored.
TPresentationChoice ChoosePresentation(QStringView renderer, QStringView forced);

// The choice for a view made now: the variable, else the renderer of this machine's
// device (asked once per process, and only when the variable does not decide). Prints the
// warning on standard error.
TPresentation ViewPresentation();

// Before the QApplication exists: the surface format every context asks for and, unless the
// copy is forced, GL contexts that share their objects, so that a composing child widget
// can show the picture the view's own context drew.
void PrepareGLForViews();

}  // namespace rt3d
