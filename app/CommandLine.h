#pragma once
// What the program's own command line asks for. It is read before the application object
// exists, so --help and --version answer without a display, and the toolkit is handed none
// of it.

#include <string>
#include <vector>

namespace orvanth {

struct TCommandLine {
  enum class TAction { Run, Help, Version, Fail };
  TAction Action = TAction::Run;
  std::string Output;   // Help and Version: the text for standard output
  std::string Problem;  // Fail: the one line for standard error
  int ExitStatus() const { return Action == TAction::Fail ? 2 : 0; }
};

// Options are taken in order, as GNU programs do: the first of --help, --version or a
// wrong argument decides. `args` excludes the program name.
TCommandLine ParseCommandLine(const std::vector<std::string>& args);

}  // namespace orvanth
