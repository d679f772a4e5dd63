#pragma once
// Stops a run of the real program at an exact step: right after the n-th deletion,
// rename or positioned write of a file whose path matches a pattern (the library
// tests/support/kill_point, preloaded into the program). The same run with no step
// armed counts the steps, so a test can take each one in turn.
#include <functional>
#include <string>
#include <vector>

#include "host_run.h"

namespace app_testing {

struct KillStep {
  std::string call;   // "unlink", "rename" or "pwrite"
  std::string match;  // the pattern of the path ("*" for any text, "/" included)
  long at = 0;        // the n-th such call, from 1
};

// A step a whole run took, with the file of its call.
struct ListedStep {
  KillStep step;
  std::string path;
};

class KillPoint {
 public:
  // Every later run of the host is started with the library preloaded.
  explicit KillPoint(HostRun& host);
  ~KillPoint();

  // A whole run that notes the paths of the calls it counts, in order.
  std::vector<std::string> Steps(const std::string& call, const std::string& match, const std::vector<std::string>& args,
                                 RunResult* run = nullptr);
  // The same for a run the test starts itself (one with windows: HostRun::RunOnDisplay).
  std::vector<std::string> Steps(const std::string& call, const std::string& match,
                                 const std::function<RunResult()>& start, RunResult* run = nullptr);
  // A whole run that notes every deletion, rename and write on a path of the pattern,
  // in order, each as the step that stops a later run right after it.
  std::vector<ListedStep> EveryStep(const std::string& match, const std::vector<std::string>& args,
                                    RunResult* run = nullptr);
  // A run killed right after the step; false (with the run's status) when it ended first.
  bool KilledAt(const KillStep& step, const std::vector<std::string>& args, RunResult* run = nullptr);
  // The same for a run the test starts itself (one with windows: HostRun::RunOnDisplay).
  bool KilledAt(const KillStep& step, const std::function<RunResult()>& start, RunResult* run = nullptr);

 private:
  void Arm(const KillStep& step, const std::string& log);
  // The calls a run notes in the log: (call, path) pairs in order.
  std::vector<std::pair<std::string, std::string>> Logged(const KillStep& watch, const std::function<RunResult()>& start,
                                                          RunResult* run);
  void Disarm();

  HostRun& host_;
  std::string control_;
};

}  // namespace app_testing
