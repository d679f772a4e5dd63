// Preloaded (LD_PRELOAD) into the program under test to stop a run at an exact
// step: the process kills itself right after the n-th file deletion, rename or
// positioned write on a path of a given pattern, as a crash or a power cut would
// stop it there. Without its control file it changes nothing.
//
// TOLVARIN_KILL_POINT names the control file, read once at start-up:
//   call=unlink|rename|pwrite|* the kind of call watched (*: every kind, for a log)
//   match=<pattern>             only calls on a path the pattern matches count (fnmatch:
//                               "*" stands for any text, "/" included)
//   at=<n>                      kill after the n-th counted call (0 or none: never)
//   log=<file>                  each counted call is appended as "<kind> <path>", one a line
// A rename counts by its new path, a write by the path of the file written.
#include <dlfcn.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <signal.h>
#include <sys/types.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

struct Control {
  bool armed = false;  // the control file was read
  std::string call;
  std::string match;
  long at = 0;
  std::string log;
  long counted = 0;
};

Control& State() {
  static Control control;
  return control;
}

template <typename F>
F Real(const char* name) {
  return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

__attribute__((constructor)) void ReadControl() {
  const char* file = std::getenv("TOLVARIN_KILL_POINT");
  if (file == nullptr || *file == '\0') return;
  FILE* in = std::fopen(file, "r");
  if (in == nullptr) return;
  Control& control = State();
  char line[4096];
  while (std::fgets(line, sizeof line, in) != nullptr) {
    std::string text(line);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    const std::size_t eq = text.find('=');
    if (eq == std::string::npos) continue;
    const std::string key = text.substr(0, eq);
    const std::string value = text.substr(eq + 1);
    if (key == "call") control.call = value;
    if (key == "match") control.match = value;
    if (key == "at") control.at = std::atol(value.c_str());
    if (key == "log") control.log = value;
  }
  std::fclose(in);
  control.armed = !control.call.empty();
}

void Append(const std::string& file, const std::string& line) {
  const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
  if (fd < 0) return;
  const std::string text = line + "\n";
  if (::write(fd, text.data(), text.size()) < 0) {
  }
  ::close(fd);
}

// Called after a watched call went through.
void Counted(const char* call, const std::string& path) {
  Control& control = State();
  if (!control.armed || (control.call != call && control.call != "*") ||
      fnmatch(control.match.c_str(), path.c_str(), 0) != 0) {
    return;
  }
  ++control.counted;
  if (!control.log.empty()) Append(control.log, std::string(call) + " " + path);
  if (control.at > 0 && control.counted == control.at) ::kill(::getpid(), SIGKILL);
}

std::string PathAt(int dirfd, const char* path) {
  if (path == nullptr) return "";
  if (path[0] == '/' || dirfd == AT_FDCWD) return path;
  char folder[4096];
  const std::string link = "/proc/self/fd/" + std::to_string(dirfd);
  const ssize_t n = ::readlink(link.c_str(), folder, sizeof folder - 1);
  if (n <= 0) return path;
  return std::string(folder, static_cast<std::size_t>(n)) + "/" + path;
}

std::string PathOf(int fd) {
  char path[4096];
  const std::string link = "/proc/self/fd/" + std::to_string(fd);
  const ssize_t n = ::readlink(link.c_str(), path, sizeof path - 1);
  return n <= 0 ? std::string() : std::string(path, static_cast<std::size_t>(n));
}

bool WatchingWrites() { return State().armed && (State().call == "pwrite" || State().call == "*"); }

}  // namespace

extern "C" {

int unlink(const char* path) {
  static const auto real = Real<int (*)(const char*)>("unlink");
  const int rc = real(path);
  if (rc == 0) Counted("unlink", path);
  return rc;
}

int unlinkat(int dirfd, const char* path, int flags) {
  static const auto real = Real<int (*)(int, const char*, int)>("unlinkat");
  const std::string full = PathAt(dirfd, path);
  const int rc = real(dirfd, path, flags);
  if (rc == 0 && (flags & AT_REMOVEDIR) == 0) Counted("unlink", full);
  return rc;
}

int remove(const char* path) {
  static const auto real = Real<int (*)(const char*)>("remove");
  const int rc = real(path);
  if (rc == 0) Counted("unlink", path);
  return rc;
}

int rename(const char* from, const char* to) {
  static const auto real = Real<int (*)(const char*, const char*)>("rename");
  const int rc = real(from, to);
  if (rc == 0) Counted("rename", to);
  return rc;
}

int renameat(int fromfd, const char* from, int tofd, const char* to) {
  static const auto real = Real<int (*)(int, const char*, int, const char*)>("renameat");
  const std::string full = PathAt(tofd, to);
  const int rc = real(fromfd, from, tofd, to);
  if (rc == 0) Counted("rename", full);
  return rc;
}

ssize_t pwrite(int fd, const void* bytes, size_t count, off_t offset) {
  static const auto real = Real<ssize_t (*)(int, const void*, size_t, off_t)>("pwrite");
  const ssize_t n = real(fd, bytes, count, offset);
  if (n > 0 && WatchingWrites()) Counted("pwrite", PathOf(fd));
  return n;
}

ssize_t pwrite64(int fd, const void* bytes, size_t count, off_t offset) {
  static const auto real = Real<ssize_t (*)(int, const void*, size_t, off_t)>("pwrite64");
  const ssize_t n = real(fd, bytes, count, offset);
  if (n > 0 && WatchingWrites()) Counted("pwrite", PathOf(fd));
  return n;
}

}  // extern "C"
