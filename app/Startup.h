#pragma once
// The whole run of the viewer, from the first line of main() to the end of the event loop.

#include <functional>
#include <memory>

class TMainWindow;
namespace rt3d {
class TDecodeBatch;
}

// Until the window's first frame is on screen, the animation clock is held and the full
// texture images wait to be decoded: every core goes to that frame. Then the opening glide
// and the spins start from where they stand, so the user sees all of the glide, and the
// full images decode, each taking its small version's place when ready. Call it right
// after making the window, before the event loop runs.
void HoldUntilFirstFrame(TMainWindow& window, std::shared_ptr<rt3d::TDecodeBatch> fullImages);

// Starts decoding the textures, makes the application and both windows, shows the main
// window and runs the event loop; returns the exit code. `shown` runs right after the main
// window is shown (the program passes none; measuring tools use it to watch the window).
int RunViewer(int argc, char** argv, const std::function<void(TMainWindow&)>& shown = {});
