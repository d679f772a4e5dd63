#include "virtual_display.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

extern char** environ;

namespace app_testing {
namespace {

std::string FindProgram(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::string dirs = path ? path : "/usr/bin:/bin";
  size_t pos = 0;
  while (pos <= dirs.size()) {
    const size_t end = dirs.find(':', pos);
    const std::string dir = dirs.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
    const std::string candidate = dir + "/" + name;
    if (!dir.empty() && ::access(candidate.c_str(), X_OK) == 0) return candidate;
    if (end == std::string::npos) break;
    pos = end + 1;
  }
  return "";
}

}  // namespace

VirtualDisplay::VirtualDisplay() {
  const std::string xvfb = FindProgram("Xvfb");
  if (xvfb.empty()) {
    missing_ = "Xvfb is not installed";
    return;
  }
  missing_ = "Xvfb did not start";
  int fds[2];
  if (::pipe(fds) != 0) return;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], 3);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  // -noreset: by default the server starts over whenever its last client leaves, and a
  // run that connects in that moment (right after the run before it ended or was
  // killed) is refused its display now and then.
  std::string a0 = xvfb, a1 = "-displayfd", a2 = "3", a3 = "-nolisten", a4 = "tcp", a5 = "-screen", a6 = "0",
              a7 = "1024x768x24", a8 = "-noreset";
  char* argv[] = {a0.data(), a1.data(), a2.data(), a3.data(), a4.data(), a5.data(), a6.data(), a7.data(), a8.data(),
                  nullptr};
  if (posix_spawn(&pid_, xvfb.c_str(), &actions, nullptr, argv, environ) != 0) pid_ = 0;
  posix_spawn_file_actions_destroy(&actions);
  ::close(fds[1]);
  // The server writes its display number once it accepts connections.
  pollfd ready{fds[0], POLLIN, 0};
  std::string number;
  while (pid_ != 0 && ::poll(&ready, 1, 20000) > 0) {
    char c = 0;
    if (::read(fds[0], &c, 1) != 1 || c == '\n') break;
    number += c;
  }
  ::close(fds[0]);
  if (!number.empty()) {
    display_ = ":" + number;
    missing_.clear();
  }
}

VirtualDisplay::~VirtualDisplay() {
  if (pid_ == 0) return;
  ::kill(pid_, SIGTERM);
  int status = 0;
  while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
  }
}

}  // namespace app_testing
