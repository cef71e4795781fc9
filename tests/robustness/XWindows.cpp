#include "XWindows.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

namespace robustness {

TPrivateXServer::TPrivateXServer(const char* screen) {
  int ready[2];
  if (::pipe2(ready, O_CLOEXEC) != 0) return;
  FPid = ::fork();
  if (FPid == 0) {
    // The server writes its display number to descriptor 3 once it takes connections.
    ::dup2(ready[1], 3);
    const int quiet = ::open("/dev/null", O_WRONLY);
    ::dup2(quiet, STDOUT_FILENO);
    ::dup2(quiet, STDERR_FILENO);
    ::execlp("Xvfb", "Xvfb", "-displayfd", "3", "-screen", "0", screen, "-nolisten", "tcp",
             static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::close(ready[1]);
  std::string number;
  char c = 0;
  pollfd wait{ready[0], POLLIN, 0};
  while (FPid > 0 && ::poll(&wait, 1, 20000) > 0 && ::read(ready[0], &c, 1) == 1 && c != '\n')
    number += c;
  ::close(ready[0]);
  if (c == '\n' && !number.empty()) FDisplay = ":" + number;
}

TPrivateXServer::~TPrivateXServer() {
  if (FPid <= 0) return;
  ::kill(FPid, SIGTERM);
  ::waitpid(FPid, nullptr, 0);
}

}  // namespace robustness
