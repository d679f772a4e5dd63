#include "spawned_run.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <cerrno>
#include <thread>

extern char** environ;

namespace app_testing {

SpawnedRun::SpawnedRun(const std::string& program, const std::vector<std::string>& args,
                       const std::vector<std::string>& environment) {
  std::vector<std::string> all{program};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::vector<std::string> variables;
  for (char** e = environ; *e; ++e) {
    const std::string entry = *e;
    const std::string name = entry.substr(0, entry.find('=') + 1);
    // A console run stays one on any machine, as with HostRun.
    bool replaced = name == "DISPLAY=" || name == "WAYLAND_DISPLAY=";
    for (const std::string& mine : environment) replaced = replaced || mine.rfind(name, 0) == 0;
    if (!replaced) variables.push_back(entry);
  }
  variables.insert(variables.end(), environment.begin(), environment.end());
  std::vector<char*> envp;
  for (std::string& v : variables) envp.push_back(v.data());
  envp.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  pid_t pid = 0;
  if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data()) == 0) pid_ = pid;
  posix_spawn_file_actions_destroy(&actions);
  ending_.started = pid_ > 0;
}

SpawnedRun::~SpawnedRun() {
  if (pid_ > 0 && !reaped_) Kill();
}

bool SpawnedRun::Reap(int flags) {
  if (pid_ <= 0 || reaped_) return true;
  int status = 0;
  struct rusage usage {};
  pid_t got;
  while ((got = wait4(pid_, &status, flags, &usage)) < 0 && errno == EINTR) {
  }
  if (got == 0) return false;  // still running
  reaped_ = true;
  if (got < 0) return true;  // nothing left to wait for
  ending_.peakKb = usage.ru_maxrss;
  if (WIFEXITED(status)) ending_.status = WEXITSTATUS(status);
  ending_.killed = WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
  return true;
}

bool SpawnedRun::Ended() { return Reap(WNOHANG); }

Ending SpawnedRun::Wait() {
  Reap(0);
  return ending_;
}

Ending SpawnedRun::Kill() {
  if (pid_ > 0 && !reaped_) ::kill(pid_, SIGKILL);
  return Wait();
}

Ending RunUntil(const std::string& program, const std::vector<std::string>& args, const std::function<bool()>& stop,
                const std::vector<std::string>& environment) {
  SpawnedRun run(program, args, environment);
  while (run.Started() && !run.Ended()) {
    if (stop()) return run.Kill();
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  return run.Wait();
}

Ending RunAndKill(const std::string& program, const std::vector<std::string>& args, std::chrono::milliseconds delay,
                  const std::vector<std::string>& environment) {
  const auto until = std::chrono::steady_clock::now() + delay;
  return RunUntil(program, args, [&] { return std::chrono::steady_clock::now() >= until; }, environment);
}

}  // namespace app_testing
