#include "app/DisplayCheck.h"

#include <QDir>
#include <QLibraryInfo>
#include <QStringList>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>

namespace orvanth {

namespace {

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

// A Wayland compositor accepts every connection on its socket; talking to it is left to the
// toolkit.
bool WaylandUsable() {
  if (!Env("WAYLAND_SOCKET").empty()) return true;
  const std::string name = Env("WAYLAND_DISPLAY");
  if (name.empty()) return false;
  std::string path = name;
  if (name[0] != '/') {
    const std::string runtime = Env("XDG_RUNTIME_DIR");
    if (runtime.empty()) return false;
    path = runtime + "/" + name;
  }
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) return false;
  std::memcpy(address.sun_path, path.c_str(), path.size());
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  const bool connected = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  close(fd);
  return connected;
}

// An X server may refuse the connection (authorisation), so the answer comes from a real one.
bool XUsable() {
  if (Env("DISPLAY").empty()) return false;
  xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
  const bool usable = xcb_connection_has_error(connection) == 0;
  xcb_disconnect(connection);
  return usable;
}

bool WaylandPluginInstalled() {
  const QDir platforms(QLibraryInfo::path(QLibraryInfo::PluginsPath) +
                       QStringLiteral("/platforms"));
  return !platforms.entryList({QStringLiteral("libqwayland*")}, QDir::Files).isEmpty();
}

std::string Shown(const char* name) {
  const std::string value = Env(name);
  return value.empty() ? std::string(name) + " is not set" : std::string(name) + "=" + value;
}

}  // namespace

std::string PrepareDisplay() {
  const std::string prefix = "moons-of-orvanth: ";
  const std::string chosen = Env("QT_QPA_PLATFORM");
  // "xcb", "wayland-egl:option", "wayland;xcb": the first is the one tried first.
  const std::string first = chosen.substr(0, chosen.find_first_of(";:"));
  if (!first.empty() && first != "xcb" && first.rfind("wayland", 0) != 0) return {};

  const bool wayland = WaylandUsable();
  const bool x = XUsable();
  if (!first.empty()) {
    const bool waylandListed = chosen.find("wayland") != std::string::npos;
    const bool xListed = chosen.find("xcb") != std::string::npos;
    if ((waylandListed && wayland) || (xListed && x)) return {};
    return prefix + "cannot connect to the display QT_QPA_PLATFORM=" + chosen + " asks for (" +
           Shown("WAYLAND_DISPLAY") + ", " + Shown("DISPLAY") + ")";
  }

  if (!wayland && !x) {
    if (Env("DISPLAY").empty() && Env("WAYLAND_DISPLAY").empty()) {
      return prefix +
             "no display to show the window on (neither DISPLAY nor WAYLAND_DISPLAY is set)";
    }
    return prefix + "cannot connect to a display (" + Shown("WAYLAND_DISPLAY") + ", " +
           Shown("DISPLAY") + ")";
  }
  if (wayland && !x) {
    if (!WaylandPluginInstalled()) {
      return prefix + "showing a window on Wayland needs the package qt6-wayland (" +
             Shown("WAYLAND_DISPLAY") + ", DISPLAY is not usable)";
    }
    setenv("QT_QPA_PLATFORM", "wayland", 1);
  } else if (x && !wayland) {
    setenv("QT_QPA_PLATFORM", "xcb", 1);
  }
  // Both: the toolkit picks by the kind of session, as for any other program.
  return {};
}

}  // namespace orvanth
