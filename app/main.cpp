// Moons of Orvanth: a 3D viewer of the gas giant Orvanth and its four large moons.

#include <csignal>

#include "app/Startup.h"

int main(int argc, char** argv) {
  // A file-size limit must fail the write with a message, not kill the viewer.
  std::signal(SIGXFSZ, SIG_IGN);

  return RunViewer(argc, argv);
}
