#pragma once
// The X server as the robustness tests see it from outside the program: its windows, found
// by the process that owns them, and a private server of their own.

#include <sys/types.h>
#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace robustness {

class TXConnection {
 public:
  // The display $DISPLAY names, or the one given (":57").
  explicit TXConnection(const char* display = nullptr)
      : FConnection(xcb_connect(display, nullptr)) {}
  ~TXConnection() { xcb_disconnect(FConnection); }
  TXConnection(const TXConnection&) = delete;
  TXConnection& operator=(const TXConnection&) = delete;

  bool Ok() const { return xcb_connection_has_error(FConnection) == 0; }

  xcb_atom_t Atom(const char* name) {
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        FConnection, xcb_intern_atom(FConnection, 0, uint16_t(std::strlen(name)), name), nullptr);
    const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    free(reply);
    return atom;
  }

  // A shown window of process `pid`, searched through the whole tree (a window manager
  // puts client windows inside frames of its own); 0 when there is none.
  xcb_window_t ShownWindowOf(pid_t pid) {
    const xcb_atom_t pidAtom = Atom("_NET_WM_PID");
    return Search(xcb_setup_roots_iterator(xcb_get_setup(FConnection)).data->root, pid, pidAtom);
  }

  struct TRect {
    int X = 0, Y = 0, Width = 0, Height = 0;
  };
  // The window's area on the screen, and that of the top-level window holding it: the
  // window manager's frame around it, or the window itself when it has none.
  struct TPlacement {
    TRect Client, Frame;
  };
  TPlacement Placement(xcb_window_t window) {
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(FConnection)).data->root;
    TPlacement placement{Area(window, root), {}};
    xcb_window_t top = window;
    while (true) {
      xcb_query_tree_reply_t* tree =
          xcb_query_tree_reply(FConnection, xcb_query_tree(FConnection, top), nullptr);
      const xcb_window_t parent = tree ? tree->parent : root;
      free(tree);
      if (parent == root || parent == XCB_WINDOW_NONE) break;
      top = parent;
    }
    placement.Frame = Area(top, root);
    return placement;
  }

  std::string Title(xcb_window_t window) {
    xcb_get_property_reply_t* reply = xcb_get_property_reply(
        FConnection,
        xcb_get_property(FConnection, 0, window, Atom("_NET_WM_NAME"), Atom("UTF8_STRING"), 0, 256),
        nullptr);
    std::string title;
    if (reply) {
      title.assign(static_cast<const char*>(xcb_get_property_value(reply)),
                   std::size_t(xcb_get_property_value_length(reply)));
    }
    free(reply);
    return title;
  }

  // What the close button of the window's frame sends.
  void RequestClose(xcb_window_t window) {
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = window;
    event.type = Atom("WM_PROTOCOLS");
    event.data.data32[0] = Atom("WM_DELETE_WINDOW");
    event.data.data32[1] = XCB_CURRENT_TIME;
    xcb_send_event(FConnection, 0, window, XCB_EVENT_MASK_NO_EVENT,
                   reinterpret_cast<const char*>(&event));
    xcb_flush(FConnection);
  }

 private:
  TRect Area(xcb_window_t window, xcb_window_t root) {
    TRect area;
    xcb_get_geometry_reply_t* geometry =
        xcb_get_geometry_reply(FConnection, xcb_get_geometry(FConnection, window), nullptr);
    xcb_translate_coordinates_reply_t* origin = xcb_translate_coordinates_reply(
        FConnection, xcb_translate_coordinates(FConnection, window, root, 0, 0), nullptr);
    if (geometry && origin)
      area = {origin->dst_x, origin->dst_y, geometry->width, geometry->height};
    free(geometry);
    free(origin);
    return area;
  }

  xcb_window_t Search(xcb_window_t window, pid_t pid, xcb_atom_t pidAtom) {
    xcb_get_property_reply_t* owner = xcb_get_property_reply(
        FConnection, xcb_get_property(FConnection, 0, window, pidAtom, XCB_ATOM_CARDINAL, 0, 1),
        nullptr);
    const bool ours = owner && xcb_get_property_value_length(owner) == 4 &&
                      *static_cast<const uint32_t*>(xcb_get_property_value(owner)) == uint32_t(pid);
    free(owner);
    if (ours) {
      xcb_get_window_attributes_reply_t* attributes = xcb_get_window_attributes_reply(
          FConnection, xcb_get_window_attributes(FConnection, window), nullptr);
      const bool shown = attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
      free(attributes);
      if (shown) return window;
    }
    xcb_query_tree_reply_t* tree =
        xcb_query_tree_reply(FConnection, xcb_query_tree(FConnection, window), nullptr);
    xcb_window_t found = 0;
    if (tree) {
      const xcb_window_t* children = xcb_query_tree_children(tree);
      for (int i = 0; i < xcb_query_tree_children_length(tree) && found == 0; ++i) {
        found = Search(children[i], pid, pidAtom);
      }
    }
    free(tree);
    return found;
  }

  xcb_connection_t* FConnection;
};

// An Xvfb of the test's own, on a display number the server picks itself: a display no
// other program has used, so nothing on it was started by anyone else. Ended with the
// object.
class TPrivateXServer {
 public:
  explicit TPrivateXServer(const char* screen = "1024x768x24");
  ~TPrivateXServer();
  TPrivateXServer(const TPrivateXServer&) = delete;
  TPrivateXServer& operator=(const TPrivateXServer&) = delete;

  // ":N" once the server takes connections; empty when it could not be started.
  const std::string& Display() const { return FDisplay; }

 private:
  pid_t FPid = -1;
  std::string FDisplay;
};

}  // namespace robustness
