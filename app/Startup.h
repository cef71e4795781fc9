#pragma once
// The whole run of the viewer, from the first line of main() to the end of the event loop.

#include <functional>

class TMainWindow;

// Holds the animation clock until the window's first frame is on screen: then the opening
// glide and the spins start from where they stand, so the user sees all of the glide. Call
// it right after making the window, before the event loop runs.
void HoldUntilFirstFrame(TMainWindow& window);

// Starts decoding the textures, makes the application and both windows, shows the main
// window and runs the event loop; returns the exit code. `shown` runs right after the main
// window is shown (the program passes none; measuring tools use it to watch the window).
// Of the command line only the program's name reaches the toolkit; SIGTERM, SIGINT and
// SIGHUP end the loop as the Exit command does.
int RunViewer(int argc, char** argv, const std::function<void(TMainWindow&)>& shown = {});
