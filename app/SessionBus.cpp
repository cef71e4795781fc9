#include "app/SessionBus.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

namespace orvanth {

namespace {

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

// The user's own bus, where a session manager keeps it.
bool UserBusInRuntimeFolder() {
  const std::string runtime = Env("XDG_RUNTIME_DIR");
  struct stat info {};
  return !runtime.empty() && ::stat((runtime + "/bus").c_str(), &info) == 0 &&
         S_ISSOCK(info.st_mode) && info.st_uid == ::getuid();
}

std::string MachineId() {
  for (const char* path : {"/var/lib/dbus/machine-id", "/etc/machine-id"}) {
    std::ifstream file(path);
    std::string id;
    if (file >> id && !id.empty()) return id;
  }
  return {};
}

// A bus started for this display before (by another program) holds a selection named for
// the user and the machine; joining it starts nothing.
bool BusStartedForDisplay() {
  if (Env("DISPLAY").empty()) return false;
  const passwd* user = ::getpwuid(::getuid());
  const std::string machine = MachineId();
  if (user == nullptr || machine.empty()) return false;
  const std::string selection =
      std::string("_DBUS_SESSION_BUS_SELECTION_") + user->pw_name + "_" + machine;
  xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
  bool owned = false;
  if (xcb_connection_has_error(connection) == 0) {
    xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 1, uint16_t(selection.size()), selection.c_str()),
        nullptr);
    if (atom != nullptr && atom->atom != XCB_ATOM_NONE) {
      xcb_get_selection_owner_reply_t* owner = xcb_get_selection_owner_reply(
          connection, xcb_get_selection_owner(connection, atom->atom), nullptr);
      owned = owner != nullptr && owner->owner != XCB_WINDOW_NONE;
      std::free(owner);
    }
    std::free(atom);
  }
  xcb_disconnect(connection);
  return owned;
}

}  // namespace

void UseOnlyAGivenSessionBus() {
  if (!Env("DBUS_SESSION_BUS_ADDRESS").empty() || UserBusInRuntimeFolder() ||
      BusStartedForDisplay())
    return;
  // Not a transport D-Bus knows: connecting fails at once, and nothing is started.
  ::setenv("DBUS_SESSION_BUS_ADDRESS", "disabled:", 1);
}

}  // namespace orvanth
