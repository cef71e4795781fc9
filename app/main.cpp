// Moons of Orvanth: a 3D viewer of the gas giant Orvanth and its four large moons.

#include <csignal>
#include <cstdio>

#include "app/CommandLine.h"
#include "app/DisplayCheck.h"
#include "app/LargePages.h"
#include "app/Startup.h"

int main(int argc, char** argv) {
  // A file-size limit must fail the write with a message, not kill the viewer.
  std::signal(SIGXFSZ, SIG_IGN);

  const orvanth::TCommandLine command =
      orvanth::ParseCommandLine(std::vector<std::string>(argv + (argc > 0), argv + argc));
  switch (command.Action) {
    case orvanth::TCommandLine::TAction::Help:
    case orvanth::TCommandLine::TAction::Version:
      std::fputs(command.Output.c_str(), stdout);
      return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
    case orvanth::TCommandLine::TAction::Fail:
      std::fprintf(stderr, "%s\n", command.Problem.c_str());
      return command.ExitStatus();
    case orvanth::TCommandLine::TAction::Run:
      break;
  }
  // Early, before the toolkit starts: the program may start again from here.
  orvanth::RestartWithLargePages(argv);
  if (const std::string problem = orvanth::PrepareDisplay(); !problem.empty()) {
    std::fprintf(stderr, "%s\n", problem.c_str());
    return 1;
  }
  return RunViewer(argc, argv);
}
