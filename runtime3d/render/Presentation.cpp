#include "runtime3d/render/Presentation.h"

#include <cstdio>
#include <optional>

#include <QCoreApplication>
#include <QSurfaceFormat>

#include "runtime3d/render/GLDevice.h"

namespace rt3d {

namespace {

// The presentation a value of the variable names, if any.
std::optional<TPresentation> Named(QStringView value) {
  value = value.trimmed();
  if (value.compare(u"copy", Qt::CaseInsensitive) == 0) return TPresentation::Copy;
  if (value.compare(u"compose", Qt::CaseInsensitive) == 0) return TPresentation::Compose;
  return std::nullopt;
}

}  // namespace

TPresentationChoice ChoosePresentation(QStringView renderer, QStringView forced) {
  if (const std::optional<TPresentation> named = Named(forced)) return {*named, {}};
  TPresentationChoice choice;
  if (!forced.trimmed().isEmpty()) {
    choice.Warning = QStringLiteral("%1=%2 is neither copy nor compose; choosing by the renderer.")
                         .arg(QLatin1StringView(kPresentationVariable), forced);
  }
  // Mesa's software rasterizers; swrast names itself "Software Rasterizer".
  static constexpr QStringView kSoftware[] = {u"llvmpipe", u"softpipe", u"swrast",
                                              u"software rasterizer"};
  bool software = renderer.trimmed().isEmpty();
  for (QStringView name : kSoftware)
    software = software || renderer.contains(name, Qt::CaseInsensitive);
  if (!software) choice.Presentation = TPresentation::Compose;
  return choice;
}

TPresentation ViewPresentation() {
  const QString forced = qEnvironmentVariable(kPresentationVariable);
  // The renderer is asked only when the variable does not decide.
  if (const std::optional<TPresentation> named = Named(forced)) return *named;
  const TPresentationChoice choice = ChoosePresentation(DeviceRendererName(), forced);
  if (!choice.Warning.isEmpty()) std::fprintf(stderr, "%s\n", qPrintable(choice.Warning));
  return choice.Presentation;
}

void PrepareGLForViews() {
  QSurfaceFormat::setDefaultFormat(DeviceSurfaceFormat());
  if (Named(qEnvironmentVariable(kPresentationVariable)) != TPresentation::Copy)
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
}

}  // namespace rt3d
