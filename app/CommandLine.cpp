#include "app/CommandLine.h"

namespace orvanth {

namespace {

constexpr const char* kProgram = "moons-of-orvanth";

std::string HelpText() {
  return std::string("Usage: ") + kProgram +
         " [OPTION]\n"
         "Show the gas giant Orvanth and its four moons in a full-screen 3D view.\n"
         "\n"
         "      --help     show this help and exit\n"
         "      --version  show the version and exit\n"
         "\n"
         "The window opens on the Wayland display WAYLAND_DISPLAY names or on the X display\n"
         "DISPLAY names. Mouse, keys and menu: see the manual page, man " +
         kProgram + ".\n";
}

std::string VersionText() {
  return std::string(kProgram) + " (Moons of Orvanth) " ORVANTH_VERSION
                                 "\n"
                                 "Copyright (C) 2024 Talvoren Com Ltd.\n"
                                 "License: MIT.\n";
}

TCommandLine Fail(const std::string& what) {
  TCommandLine line;
  line.Action = TCommandLine::TAction::Fail;
  line.Problem = std::string(kProgram) + ": " + what + "; try '" + kProgram + " --help'";
  return line;
}

}  // namespace

TCommandLine ParseCommandLine(const std::vector<std::string>& args) {
  bool optionsEnded = false;
  for (const std::string& arg : args) {
    if (!optionsEnded) {
      if (arg == "--help") return {TCommandLine::TAction::Help, HelpText(), {}};
      if (arg == "--version") return {TCommandLine::TAction::Version, VersionText(), {}};
      // "--" ends the options; the program takes no other arguments either.
      if (arg == "--") {
        optionsEnded = true;
        continue;
      }
      if (arg.size() > 1 && arg[0] == '-') return Fail("unknown option '" + arg + "'");
    }
    return Fail("unexpected argument '" + arg + "'");
  }
  return {};
}

}  // namespace orvanth
