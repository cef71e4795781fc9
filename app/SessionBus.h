#pragma once
// The D-Bus session bus: used when the session gives one, never started by the program.

namespace orvanth {

// With no session bus given, D-Bus starts one for the X display on the first connection
// (dbus-launch --autolaunch), which outlives the program and leaves files in the home and
// runtime folders. When the environment names no bus, no user bus waits in the runtime
// folder and no bus was started for the display before, this names an address D-Bus cannot
// open, so the program goes without one; otherwise it changes nothing and a screen reader
// finds the program through the bus it has. Call it before the application object exists.
void UseOnlyAGivenSessionBus();

}  // namespace orvanth
