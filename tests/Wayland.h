#pragma once
// Test programs on a Wayland display.

#include <QGuiApplication>

#include <gtest/gtest.h>

// A test program that gives itself a runtime folder of its own keeps the display it was
// started on: the compositor's socket is named by its full path. Call it before changing
// XDG_RUNTIME_DIR.
inline void KeepWaylandDisplay() {
  const QByteArray name = qgetenv("WAYLAND_DISPLAY");
  if (name.isEmpty() || name.startsWith('/') || qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
    return;
  }
  qputenv("WAYLAND_DISPLAY", qgetenv("XDG_RUNTIME_DIR") + "/" + name);
}

// Tests that talk to the X server themselves (read its screen, send it requests or look
// through its windows) have no such server to ask on Wayland, where a client can neither
// read the screen nor see other windows: they skip themselves there and say why.

// The platform of this test program, or the one a program it starts would pick.
inline bool OnWayland() {
  if (qGuiApp != nullptr) return QGuiApplication::platformName().startsWith(u"wayland");
  const QString chosen = qEnvironmentVariable("QT_QPA_PLATFORM");
  if (!chosen.isEmpty()) return chosen.startsWith(u"wayland");
  return qEnvironmentVariableIsEmpty("DISPLAY") && !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

#define SKIP_ON_WAYLAND(why) \
  if (OnWayland()) GTEST_SKIP() << "on Wayland: " << (why)
