#pragma once
// Whether there is a display to show the window on, asked before the application object is
// made: without one the toolkit would abort with a message about reinstalling.

#include <string>

namespace orvanth {

// Empty when the window can be shown; otherwise the one line that says why not. When only
// one kind of display is usable, the toolkit is pointed at it (QT_QPA_PLATFORM), so a
// Wayland session without an X server works; a platform the user chose is left as it is.
std::string PrepareDisplay();

}  // namespace orvanth
