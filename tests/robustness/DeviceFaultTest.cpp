// The built program on a driver that offers less than OpenGL 3.3: it must say so on
// standard error and in a message box, and end with a failure status, not a crash.
//
// The message box is modal and the program has no switch to skip it, so the test plays
// the user: it finds the box among the X windows by the child's process id and closes it
// with the window manager's close request, which works with or without a window manager.
// Oversized textures and shaders that do not compile are covered by the render tests.

#include <xcb/xcb.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "Viewer.h"
#include "tests/Wayland.h"

using namespace robustness;

namespace {

class TXConnection {
 public:
  TXConnection() : FConnection(xcb_connect(nullptr, nullptr)) {}
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

}  // namespace

TEST(DeviceFaults, WithoutOpenGL33TheProgramSaysSoAndEndsWithAFailure) {
  SKIP_ON_WAYLAND("finds and closes the message box among the X server's windows");
  TXConnection x;
  ASSERT_TRUE(x.Ok()) << "needs the X display";
  // Mesa's software renderer can be told to offer less than it has; such a driver gives
  // no 3.3 core context at all.
  TProcess viewer = StartProcess({ORVANTH_VIEWER}, {{"MESA_GL_VERSION_OVERRIDE", "3.0"},
                                                    {"MESA_GLSL_VERSION_OVERRIDE", "130"}});
  ASSERT_GT(viewer.Pid, 0);

  xcb_window_t box = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (box == 0 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    box = x.ShownWindowOf(viewer.Pid);
  }
  std::string title;
  if (box != 0) {
    title = x.Title(box);
    // Closed the way a user closes it; a box that ignored this would hang the program.
    x.RequestClose(box);
  }
  const TChildOutcome outcome = FinishProcess(viewer, 30000);

  EXPECT_NE(box, 0u) << "no message box appeared; output:\n" << outcome.Output;
  EXPECT_NE(title.find("Error"), std::string::npos) << "box title: " << title;
  EXPECT_TRUE(outcome.Exited) << "ended by signal " << outcome.Status << "\n" << outcome.Output;
  EXPECT_NE(outcome.Status, 0) << "a failure reported as success";
  EXPECT_NE(outcome.Output.find("Cannot create OpenGL 3.3 device for 'TGLContext'."),
            std::string::npos)
      << "standard error said:\n"
      << outcome.Output;
  // In a sanitizer build the program is checked too, leaks at its exit included.
  for (const char* report : {"ERROR: AddressSanitizer", "ERROR: LeakSanitizer", "runtime error:"}) {
    EXPECT_EQ(outcome.Output.find(report), std::string::npos) << outcome.Output;
  }
}
