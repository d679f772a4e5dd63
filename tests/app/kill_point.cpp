#include "kill_point.h"

#include <signal.h>

#include <cstdlib>
#include <filesystem>
#include <map>

#include "support/test_support.h"

namespace app_testing {

namespace fs = std::filesystem;

KillPoint::KillPoint(HostRun& host) : host_(host), control_(host.Scratch() + "/kill-point.txt") {
  host_.AddEnvironment(std::string("LD_PRELOAD=") + TOLVARIN_KILL_POINT_LIBRARY);
  host_.AddEnvironment("TOLVARIN_KILL_POINT=" + control_);
  // The sanitizers' runtime wants to come first among the libraries; it still works after ours.
  const char* asan = std::getenv("ASAN_OPTIONS");
  host_.AddEnvironment(std::string("ASAN_OPTIONS=") + (asan && *asan ? std::string(asan) + ":" : "") +
                       "verify_asan_link_order=0");
}

KillPoint::~KillPoint() { Disarm(); }

void KillPoint::Arm(const KillStep& step, const std::string& log) {
  std::string text = "call=" + step.call + "\nmatch=" + step.match + "\nat=" + std::to_string(step.at) + "\n";
  if (!log.empty()) text += "log=" + log + "\n";
  testing_support::WriteFile(control_, text);
}

void KillPoint::Disarm() {
  std::error_code ignored;
  fs::remove(control_, ignored);
}

std::vector<std::string> KillPoint::Steps(const std::string& call, const std::string& match,
                                          const std::vector<std::string>& args, RunResult* run) {
  return Steps(call, match, [&] { return host_.RunHere(args); }, run);
}

std::vector<std::pair<std::string, std::string>> KillPoint::Logged(const KillStep& watch,
                                                                   const std::function<RunResult()>& start,
                                                                   RunResult* run) {
  const std::string log = host_.Scratch() + "/kill-point-steps.txt";
  std::error_code ignored;
  fs::remove(log, ignored);
  Arm(watch, log);
  const RunResult result = start();
  Disarm();
  if (run != nullptr) *run = result;
  std::vector<std::pair<std::string, std::string>> calls;
  if (!fs::exists(log)) return calls;
  for (const std::string& line : Lines(testing_support::ReadFile(log))) {
    const std::size_t blank = line.find(' ');
    if (blank != std::string::npos) calls.emplace_back(line.substr(0, blank), line.substr(blank + 1));
  }
  return calls;
}

std::vector<std::string> KillPoint::Steps(const std::string& call, const std::string& match,
                                          const std::function<RunResult()>& start, RunResult* run) {
  std::vector<std::string> paths;
  for (const auto& [kind, path] : Logged({call, match, 0}, start, run)) paths.push_back(path);
  return paths;
}

std::vector<ListedStep> KillPoint::EveryStep(const std::string& match, const std::vector<std::string>& args,
                                             RunResult* run) {
  std::vector<ListedStep> steps;
  std::map<std::string, long> counted;  // call -> its steps so far
  for (const auto& [kind, path] : Logged({"*", match, 0}, [&] { return host_.RunHere(args); }, run)) {
    steps.push_back({{kind, match, ++counted[kind]}, path});
  }
  return steps;
}

bool KillPoint::KilledAt(const KillStep& step, const std::vector<std::string>& args, RunResult* run) {
  return KilledAt(step, [&] { return host_.RunHere(args); }, run);
}

bool KillPoint::KilledAt(const KillStep& step, const std::function<RunResult()>& start, RunResult* run) {
  Arm(step, "");
  const RunResult result = start();
  Disarm();
  if (run != nullptr) *run = result;
  return result.status == 128 + SIGKILL;
}

}  // namespace app_testing
