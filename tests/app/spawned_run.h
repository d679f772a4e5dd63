#pragma once
// Starts a program as a child (stderr to /dev/null), for the runs that are timed or
// killed part way: the process tests that cut a backup or restore short and the
// benchmarks. Needs nothing but POSIX, so a benchmark may link it too.
#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include <sys/types.h>

namespace app_testing {

struct Ending {
  bool started = false;
  bool killed = false;  // ended by our SIGKILL, not by itself
  int status = -1;      // its exit status when it ended by itself
  long peakKb = 0;      // its peak resident memory
};

class SpawnedRun {
 public:
  // environment: "NAME=value" entries that replace or add to this process's own
  // (DISPLAY and WAYLAND_DISPLAY are left out: a console run, as with HostRun).
  SpawnedRun(const std::string& program, const std::vector<std::string>& args,
             const std::vector<std::string>& environment = {});
  ~SpawnedRun();  // a run still going is killed and reaped
  SpawnedRun(const SpawnedRun&) = delete;
  SpawnedRun& operator=(const SpawnedRun&) = delete;

  bool Started() const { return pid_ > 0; }
  // True once it has ended (by itself or killed); never blocks.
  bool Ended();
  // Waits for its end.
  Ending Wait();
  // Kills it (SIGKILL) when still running and waits for its end.
  Ending Kill();

 private:
  bool Reap(int flags);

  pid_t pid_ = -1;
  bool reaped_ = false;
  Ending ending_;
};

// Starts the program and kills it as soon as `stop` holds (asked every 200 us), or
// lets it be when it ends first.
Ending RunUntil(const std::string& program, const std::vector<std::string>& args, const std::function<bool()>& stop,
                const std::vector<std::string>& environment = {});
// The same, killing it after `delay`.
Ending RunAndKill(const std::string& program, const std::vector<std::string>& args, std::chrono::milliseconds delay,
                  const std::vector<std::string>& environment = {});

}  // namespace app_testing
