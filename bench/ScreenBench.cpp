// The viewer as a user sees it, watched from outside its process on the X screen:
//  - first light: from the moment the program is started (fork and exec) to the first lit
//    frame of the scene on the screen, in a window covering the whole screen; median of a
//    few starts, against decoding the six full texture images one after the other on one
//    thread in this same run, and against the same for a bare full-screen GL window (the
//    floor a program reaches here);
//  - frames: with auto-rotate on, the frames per second that reach the screen and the
//    viewer's CPU time per shown frame, at the opening view and at Io's view (key 2), with
//    frames limited to what changed against full frames (ORVANTH_FRAMES=full);
//  - a drag: with auto-rotate off, a steady orbit drag over the sky (the pointer moved every
//    16 ms for a few seconds, as a hand does), the frames per second that reach the screen
//    while it lasts and the time from the last move to the screen showing it, limited
//    frames against full ones; the last move must show within one frame time.
// Shown frames are counted from the screen's damage: whatever the viewer's window puts on
// the screen marks the root window damaged; the puts of one frame come within a few
// milliseconds, frames are at least a refresh period apart. CPU time is the viewer's user
// and system time from /proc over the same interval.
//
// Usage: bench_screen <viewer program> <bare window program> [first-light rounds]
//                     [seconds per frame figure, 0: first light only]

#include <QCoreApplication>
#include <QImage>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/damage.h>
#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "assets/Assets.h"
#include "bench/BenchUtil.h"
#include "runtime3d/material/ImageDecoding.h"
#include "scene/SceneDefinition.h"

extern char** environ;

namespace {

// Puts closer together than this belong to one frame.
constexpr std::int64_t kFrameGapNs = 4'000'000;

class TScreenWatch {
 public:
  TScreenWatch() {
    FConnection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(FConnection)) return;
    FScreen = xcb_setup_roots_iterator(xcb_get_setup(FConnection)).data;
    const xcb_query_extension_reply_t* damage = xcb_get_extension_data(FConnection, &xcb_damage_id);
    if (!damage || !damage->present) return;
    FDamageEvent = damage->first_event + XCB_DAMAGE_NOTIFY;
    free(xcb_damage_query_version_reply(FConnection, xcb_damage_query_version(FConnection, 1, 1),
                                        nullptr));
    FDamage = xcb_generate_id(FConnection);
    xcb_damage_create(FConnection, FDamage, FScreen->root, XCB_DAMAGE_REPORT_LEVEL_NON_EMPTY);
    FPidAtom = Atom("_NET_WM_PID");
    xcb_flush(FConnection);
    FReady = true;
  }
  ~TScreenWatch() {
    if (FReady) xcb_damage_destroy(FConnection, FDamage);
    xcb_disconnect(FConnection);
  }

  bool Ready() const { return FReady; }
  int Width() const { return FScreen->width_in_pixels; }
  int Height() const { return FScreen->height_in_pixels; }

  // Waits until `deadline` (monotonic ns), calling `onDamage` with the time of each damage
  // report as it arrives; stops early when it returns true.
  void Watch(std::int64_t deadline, const std::function<bool(std::int64_t)>& onDamage) {
    const int fd = xcb_get_file_descriptor(FConnection);
    for (;;) {
      while (xcb_generic_event_t* event = xcb_poll_for_event(FConnection)) {
        const bool damaged = (event->response_type & 0x7f) == FDamageEvent;
        free(event);
        if (!damaged) continue;
        const std::int64_t now = bench::MonotonicNs();
        // Reported again at the next put.
        xcb_damage_subtract(FConnection, FDamage, XCB_NONE, XCB_NONE);
        xcb_flush(FConnection);
        if (onDamage(now)) return;
      }
      const std::int64_t left = deadline - bench::MonotonicNs();
      if (left <= 0 || xcb_connection_has_error(FConnection)) return;
      pollfd p{fd, POLLIN, 0};
      poll(&p, 1, int(std::min<std::int64_t>(left / 1'000'000 + 1, 100)));
    }
  }

  // Synthetic pointer input, as a hand's: a move to (x, y), or a press or release of button
  // there.
  void Pointer(std::uint8_t type, int x, int y, std::uint8_t button = 1) {
    xcb_test_fake_input(FConnection, XCB_MOTION_NOTIFY, 0, XCB_CURRENT_TIME, FScreen->root,
                        std::int16_t(x), std::int16_t(y), 0);
    if (type != XCB_MOTION_NOTIFY) {
      xcb_test_fake_input(FConnection, type, button, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    }
    xcb_flush(FConnection);
  }

  // The whole screen's pixels (4 bytes each: blue, green, red, unused); empty when it
  // cannot be read.
  std::vector<std::uint8_t> Picture() {
    xcb_get_image_reply_t* image =
        xcb_get_image_reply(FConnection,
                            xcb_get_image(FConnection, XCB_IMAGE_FORMAT_Z_PIXMAP, FScreen->root, 0,
                                          0, std::uint16_t(Width()), std::uint16_t(Height()), ~0u),
                            nullptr);
    std::vector<std::uint8_t> pixels;
    if (image) {
      const std::uint8_t* data = xcb_get_image_data(image);
      pixels.assign(data, data + xcb_get_image_data_length(image));
    }
    free(image);
    return pixels;
  }

  // Whether a window of process `pid` covers the whole screen.
  bool CoversScreen(pid_t pid) { return FindCovering(FScreen->root, pid); }

  // Whether the screen shows a lit scene: along the middle row, the planet's disc lit in the
  // middle third and the sky dark at both ends (a blank or grey window is neither).
  bool SceneLit() {
    const int w = Width();
    xcb_get_image_reply_t* image =
        xcb_get_image_reply(FConnection,
                            xcb_get_image(FConnection, XCB_IMAGE_FORMAT_Z_PIXMAP, FScreen->root, 0,
                                          std::int16_t(Height() / 2), std::uint16_t(w), 1, ~0u),
                            nullptr);
    if (!image) return false;
    const int length = xcb_get_image_data_length(image);
    const std::uint8_t* data = xcb_get_image_data(image);
    bool lit = false;
    if (length >= 4 * w) {
      auto luminance = [data](int x) {
        const std::uint8_t* p = data + 4 * x;  // blue, green, red, unused
        return (2 * p[2] + 5 * p[1] + p[0]) / 8;
      };
      int litMiddle = 0, darkEnds = 0;
      for (int x = w / 3; x < 2 * w / 3; ++x) litMiddle += luminance(x) > 40;
      for (int x = 0; x < 100; ++x) darkEnds += (luminance(x) < 40) + (luminance(w - 1 - x) < 40);
      lit = litMiddle >= 100 && darkEnds >= 180;
    }
    free(image);
    return lit;
  }

 private:
  xcb_atom_t Atom(const char* name) {
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        FConnection, xcb_intern_atom(FConnection, 1, std::uint16_t(std::strlen(name)), name),
        nullptr);
    const xcb_atom_t atom = reply ? reply->atom : XCB_NONE;
    free(reply);
    return atom;
  }

  bool FindCovering(xcb_window_t window, pid_t pid) {
    xcb_query_tree_reply_t* tree =
        xcb_query_tree_reply(FConnection, xcb_query_tree(FConnection, window), nullptr);
    if (!tree) return false;
    bool found = false;
    const xcb_window_t* children = xcb_query_tree_children(tree);
    for (int i = 0; i < xcb_query_tree_children_length(tree) && !found; ++i) {
      found = (OwnedBy(children[i], pid) && Covers(children[i])) || FindCovering(children[i], pid);
    }
    free(tree);
    return found;
  }

  bool OwnedBy(xcb_window_t window, pid_t pid) {
    xcb_get_property_reply_t* reply = xcb_get_property_reply(
        FConnection, xcb_get_property(FConnection, 0, window, FPidAtom, XCB_ATOM_CARDINAL, 0, 1),
        nullptr);
    const bool owned =
        reply && xcb_get_property_value_length(reply) == 4 &&
        *static_cast<const std::uint32_t*>(xcb_get_property_value(reply)) == std::uint32_t(pid);
    free(reply);
    return owned;
  }

  bool Covers(xcb_window_t window) {
    xcb_get_window_attributes_reply_t* attributes = xcb_get_window_attributes_reply(
        FConnection, xcb_get_window_attributes(FConnection, window), nullptr);
    const bool viewable = attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
    free(attributes);
    if (!viewable) return false;
    xcb_get_geometry_reply_t* geometry =
        xcb_get_geometry_reply(FConnection, xcb_get_geometry(FConnection, window), nullptr);
    xcb_translate_coordinates_reply_t* origin = xcb_translate_coordinates_reply(
        FConnection, xcb_translate_coordinates(FConnection, window, FScreen->root, 0, 0), nullptr);
    const bool covers = geometry && origin && origin->dst_x <= 0 && origin->dst_y <= 0 &&
                        origin->dst_x + geometry->width >= Width() &&
                        origin->dst_y + geometry->height >= Height();
    free(geometry);
    free(origin);
    return covers;
  }

  xcb_connection_t* FConnection = nullptr;
  xcb_screen_t* FScreen = nullptr;
  xcb_damage_damage_t FDamage = 0;
  std::uint8_t FDamageEvent = 0;
  xcb_atom_t FPidAtom = XCB_NONE;
  bool FReady = false;
};

// Starts the viewer with `extra` ("NAME=value" or empty) added to the environment, its output
// dropped; *started is taken right before the fork.
pid_t StartViewer(const char* program, const std::string& extra, std::int64_t* started) {
  std::vector<char*> env;
  for (char** e = environ; *e; ++e) env.push_back(*e);
  if (!extra.empty()) env.push_back(const_cast<char*>(extra.c_str()));
  env.push_back(nullptr);
  *started = bench::MonotonicNs();
  const pid_t pid = fork();
  if (pid == 0) {
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    dup2(null, 2);
    char* argv[] = {const_cast<char*>(program), nullptr};
    execve(program, argv, env.data());
    _exit(127);
  }
  return pid;
}

void StopViewer(pid_t pid) {
  kill(pid, SIGTERM);
  for (int i = 0; i < 50; ++i) {
    if (waitpid(pid, nullptr, WNOHANG) == pid) return;
    usleep(100'000);
  }
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
}

// Waits up to 30 s for the viewer's first lit frame at full-screen size; its time, or -1.
std::int64_t FirstLight(TScreenWatch& screen, pid_t pid) {
  std::int64_t lit = -1;
  screen.Watch(bench::MonotonicNs() + 30'000'000'000, [&](std::int64_t at) {
    if (screen.CoversScreen(pid) && screen.SceneLit()) lit = at;
    return lit >= 0;
  });
  return lit;
}

// The viewer's user + system CPU seconds.
double CpuSeconds(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  // Fields after the command's closing parenthesis; utime and stime are the 12th and 13th.
  std::istringstream rest(text.substr(text.rfind(')') + 2));
  std::string field;
  double ticks = 0;
  for (int i = 1; i <= 13 && rest >> field; ++i) {
    if (i >= 12) ticks += std::atof(field.c_str());
  }
  return ticks / double(sysconf(_SC_CLK_TCK));
}

struct TRate {
  double Fps = 0;
  double CpuMsPerFrame = 0;
};

TRate MeasureFrames(TScreenWatch& screen, pid_t pid, double seconds) {
  int frames = 0;
  std::int64_t last = 0;
  const double cpu = CpuSeconds(pid);
  const std::int64_t start = bench::MonotonicNs();
  screen.Watch(start + std::int64_t(seconds * 1e9), [&](std::int64_t at) {
    if (at - last > kFrameGapNs) ++frames;
    last = at;
    return false;
  });
  const double elapsed = (bench::MonotonicNs() - start) / 1e9;
  const double used = CpuSeconds(pid) - cpu;
  return {frames / elapsed, frames ? 1e3 * used / frames : 0};
}

// Lets the screen settle for `seconds`, damage read and dropped.
void Settle(TScreenWatch& screen, double seconds) {
  screen.Watch(bench::MonotonicNs() + std::int64_t(seconds * 1e9),
               [](std::int64_t) { return false; });
}

struct TDrag {
  double Fps = 0;  // frames that reached the screen per second of the drag
  // From the last move to the screen's last change after it (-1: none came), and from the
  // first change after it (the frame that was being drawn when the move came) to the last.
  double LastShownMs = -1;
  double AfterFrameInProgressMs = -1;
  int FramesAfter = 0;    // frames that reached the screen after the last move
  int QuietFrames = 0;    // frames in a second without input: none with auto-rotate off
  double StaleShare = 0;  // of the screen, changed by a fresh whole frame drawn afterwards
};

// Auto-rotate off through the view's context menu (its first item), then a steady drag over
// the sky left of the planet: a move of 4 pixels every 16 ms for `seconds`. Last, the viewer
// draws a fresh whole frame (F11 twice: out of full screen and back), which must change
// nothing on the screen: the drag's end had reached it.
TDrag MeasureDrag(TScreenWatch& screen, pid_t pid, double seconds) {
  const int x = screen.Width() / 10, y = screen.Height() / 2;
  screen.Pointer(XCB_BUTTON_PRESS, x, y, 3);
  screen.Pointer(XCB_BUTTON_RELEASE, x, y, 3);
  Settle(screen, 0.5);
  if (std::system("xdotool key Down Return") != 0) std::fprintf(stderr, "xdotool failed\n");
  Settle(screen, 1.5);
  TDrag drag;
  drag.QuietFrames = int(MeasureFrames(screen, pid, 1).Fps + 0.5);

  constexpr std::int64_t kMoveNs = 16'000'000;
  const int moves = int(seconds * 1e9 / kMoveNs);
  screen.Pointer(XCB_BUTTON_PRESS, x, y);
  Settle(screen, 0.3);
  int frames = 0;
  bool moving = true;
  std::int64_t lastPut = 0, firstAfter = -1, shown = -1;
  const auto onDamage = [&](std::int64_t at) {
    const bool newFrame = at - lastPut > kFrameGapNs;
    lastPut = at;
    if (moving) {
      frames += newFrame;
      return false;
    }
    if (newFrame && ++drag.FramesAfter == 1) firstAfter = at;
    shown = at;
    return false;
  };
  const std::int64_t start = bench::MonotonicNs();
  std::int64_t lastMove = start;
  for (int i = 1; i <= moves; ++i) {
    screen.Watch(start + i * kMoveNs, onDamage);
    screen.Pointer(XCB_MOTION_NOTIFY, x + 4 * i, y);
    lastMove = bench::MonotonicNs();
  }
  moving = false;
  lastPut = 0;
  // Every change of the screen after the last move is on its way to showing it.
  screen.Watch(lastMove + 1'000'000'000, onDamage);
  screen.Pointer(XCB_BUTTON_RELEASE, x + 4 * moves, y);
  Settle(screen, 0.5);
  drag.Fps = frames / ((lastMove - start) / 1e9);
  if (shown >= 0) {
    drag.LastShownMs = (shown - lastMove) / 1e6;
    drag.AfterFrameInProgressMs = (shown - (drag.FramesAfter > 1 ? firstAfter : lastMove)) / 1e6;
  }

  const std::vector<std::uint8_t> before = screen.Picture();
  for (int i = 0; i < 2; ++i) {
    if (std::system("xdotool key F11") != 0) std::fprintf(stderr, "xdotool failed\n");
    Settle(screen, 2);
  }
  const std::vector<std::uint8_t> after = screen.Picture();
  std::size_t changed = 0;
  for (std::size_t i = 0; i + 3 < std::min(before.size(), after.size()); i += 4) {
    changed += std::memcmp(&before[i], &after[i], 3) != 0;
  }
  drag.StaleShare = before.size() == after.size() && !before.empty()
                        ? double(changed) / double(before.size() / 4)
                        : 1.0;
  return drag;
}

struct TRun {
  TRate Opening, Io;
  TDrag Drag;
};

// One run of the viewer: the opening view once the glide is over and the full images are
// in place, then Io's view once the camera has flown there, then a drag there.
bool RunFrames(TScreenWatch& screen, const char* viewer, const std::string& extra, double seconds,
               TRun& run) {
  std::int64_t started = 0;
  const pid_t pid = StartViewer(viewer, extra, &started);
  if (FirstLight(screen, pid) < 0) {
    StopViewer(pid);
    return false;
  }
  Settle(screen, 6);
  run.Opening = MeasureFrames(screen, pid, seconds);
  if (std::system("xdotool key 2") != 0) std::fprintf(stderr, "xdotool failed\n");
  Settle(screen, 5);
  run.Io = MeasureFrames(screen, pid, seconds);
  run.Drag = MeasureDrag(screen, pid, std::min(seconds, 3.0));
  StopViewer(pid);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication application(argc, argv);
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s <viewer program> <bare window program> [rounds] [seconds]\n",
                 argv[0]);
    return 2;
  }
  const char* viewer = argv[1];
  const char* bare = argv[2];
  const int rounds = argc > 3 ? std::atoi(argv[3]) : 3;
  const double seconds = argc > 4 ? std::atof(argv[4]) : 8;
  TScreenWatch screen;
  if (!screen.Ready()) {
    std::fprintf(stderr, "no X display with the damage extension\n");
    return 2;
  }

  std::vector<double> light, floor, serial;
  for (int round = 0; round < rounds; ++round) {
    for (auto [program, times] : {std::pair{viewer, &light}, std::pair{bare, &floor}}) {
      std::int64_t started = 0;
      const pid_t pid = StartViewer(program, {}, &started);
      const std::int64_t lit = FirstLight(screen, pid);
      StopViewer(pid);
      if (lit > 0) times->push_back((lit - started) / 1e6);
    }

    const std::int64_t decodeStart = bench::MonotonicNs();
    for (const orvanth::TMaterialDefinition& d : orvanth::kMaterials) {
      rt3d::DecodeImageWithQt(orvanth::assets::Png(d.Texture));
    }
    serial.push_back((bench::MonotonicNs() - decodeStart) / 1e6);
  }
  std::printf("screen: %dx%d, %d rounds; %s\n", screen.Width(), screen.Height(), rounds,
              bench::MachineState().c_str());
  bool pass = bench::PrintFigure("first-light", bench::Median(light), bench::Median(serial), 0.6,
                                 "ms", "serial decode");
  std::printf(
      "%-12s a bare full-screen GL window: %.0f ms (%.3f x the serial decode); the "
      "viewer takes %.0f ms more\n",
      "first-floor", bench::Median(floor),
      bench::Median(floor) / std::max(1e-9, bench::Median(serial)),
      bench::Median(light) - bench::Median(floor));

  // Seconds 0: first light only.
  if (seconds <= 0) return pass ? 0 : 3;
  TRun limited, full;
  if (!RunFrames(screen, viewer, {}, seconds, limited) ||
      !RunFrames(screen, viewer, "ORVANTH_FRAMES=full", seconds, full)) {
    std::printf("frames       the viewer showed no lit frame  FAIL\n");
    return 3;
  }
  std::printf("frames: %.0f s each, %s\n", seconds, bench::MachineState().c_str());
  pass &= bench::PrintFigureAtLeast("opening-fps", limited.Opening.Fps, full.Opening.Fps, 2.0,
                                    "fps", "full frames");
  pass &= bench::PrintFigure("opening-cpu", limited.Opening.CpuMsPerFrame,
                             full.Opening.CpuMsPerFrame, 0.6, "ms/frame", "full frames");
  pass &=
      bench::PrintFigureAtLeast("io-fps", limited.Io.Fps, full.Io.Fps, 1.0, "fps", "full frames");
  std::printf("%-12s io: %.1f ms of CPU per frame limited, %.1f full\n", "io-cpu",
              limited.Io.CpuMsPerFrame, full.Io.CpuMsPerFrame);
  for (const auto& [name, run] : {std::pair{"limited", &limited}, std::pair{"full", &full}}) {
    std::printf(
        "%-12s %s: %.1f fps; the last move shown %.0f ms after it, %d frames after it, the last "
        "%.0f ms after the first; %.2f %% of the screen stale; %d frames a second still\n",
        "drag", name, run->Drag.Fps, run->Drag.LastShownMs, run->Drag.FramesAfter,
        run->Drag.AfterFrameInProgressMs, 100 * run->Drag.StaleShare, run->Drag.QuietFrames);
  }
  pass &= bench::PrintFigureAtLeast("drag-fps", limited.Drag.Fps, full.Drag.Fps, 1.0, "fps",
                                    "full frames");
  if (limited.Drag.LastShownMs < 0) {
    std::printf("%-12s the last move never reached the screen  FAIL\n", "drag-last");
    pass = false;
  } else {
    // A move that comes while a frame is drawn shows in the frame after it: from that frame
    // in progress to the screen showing the move takes no more than one frame.
    pass &= bench::PrintFigure("drag-last", limited.Drag.AfterFrameInProgressMs,
                               1e3 / std::max(1e-9, limited.Drag.Fps), 1.0, "ms", "a frame's time");
  }
  const bool caughtUp = limited.Drag.StaleShare < 0.001 && full.Drag.StaleShare < 0.001;
  std::printf(
      "%-12s %.2f %% of the screen changed by a fresh frame after the drag (limited), "
      "%.2f %% (full); target 0  %s\n",
      "drag-stale", 100 * limited.Drag.StaleShare, 100 * full.Drag.StaleShare,
      caughtUp ? "PASS" : "FAIL");
  pass &= caughtUp;
  return pass ? 0 : 3;
}
