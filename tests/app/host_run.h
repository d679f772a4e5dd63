#pragma once
// Runs the real tolvarin program on a host folder made for one test, with scripted
// answers to its boxes, and reads back what it showed, logged and resolved.
#include <map>
#include <string>
#include <vector>

#include "core/scripted_presenter.h"
#include "support/test_support.h"

namespace app_testing {

struct RunResult {
  int status = -1;
  std::vector<tolvarin::ShownBox> boxes;
  std::map<std::string, std::string> settings;  // empty when start-up never dispatched
  std::string stderrText;
};

class HostRun {
 public:
  HostRun();
  // The host folder (AppPath of the runs unless a test says otherwise).
  std::string App() const { return app_; }
  std::string At(const std::string& relative) const { return app_ + "/" + relative; }
  void Put(const std::string& relative, const std::string& bytes) const;
  // Kestal.INI's Tolvarin section, written under the given name.
  void HostIni(const std::string& tolvarinLines, const std::string& name = "Kestal.INI") const;
  std::string Log() const;  // tolvarin.log, "" when none
  std::vector<std::string> LogLines() const;
  std::vector<std::string> Entries(const std::string& relative = "") const;

  // Runs the program with these arguments (AppPath is not added).
  RunResult Run(const std::vector<std::string>& args, const std::vector<std::string>& answers = {},
                const std::string& binary = "") const;
  // As a console run: no answers and no transcript, so boxes go to stderr.
  RunResult RunUnscripted(const std::vector<std::string>& args) const;
  // With real windows on an X display (see virtual_display.h): the steps drive the
  // boxes and the windows as TOLVARIN_WINDOW_ANSWERS does (core/script_steps.h), and
  // the boxes come back from the window transcript. A run that went otherwise than
  // its steps ends with status 5 (kScriptFailedStatus) and says why on stderr.
  RunResult RunOnDisplay(const std::vector<std::string>& args, const std::vector<std::string>& steps,
                         const std::string& display) const;
  // The environment RunOnDisplay gives the program with these steps, for a run the
  // test starts itself (spawned_run.h, RunAndKillAt).
  std::vector<std::string> DisplayEnvironment(const std::vector<std::string>& steps, const std::string& display) const;
  // Run with AppPath:<host folder> in front.
  RunResult RunHere(const std::vector<std::string>& args, const std::vector<std::string>& answers = {}) const;

  std::string Scratch() const { return dir_.str(); }
  // The program's temporary folder in these runs (TMPDIR is the test's own unless
  // AddEnvironment names one): its staging folders "cortemp" and "UpgradeInPlace".
  std::string Temp() const;
  // An entry ("NAME=value") added to the environment of the runs, in place of one of
  // the same name added before. A display is never passed on otherwise: a console
  // run stays a console run on any machine.
  void AddEnvironment(const std::string& entry);
  // The folder the runs start in (this test's own when none is named).
  void SetWorkingFolder(const std::string& folder) { workingFolder_ = folder; }
  // The program the runs start.
  static std::string Program();

 private:
  // Writes the answers file and gives every entry of the run's environment.
  std::vector<std::string> Environment(const std::vector<std::string>& answers, bool scripted,
                                       const std::string& display) const;
  RunResult Start(const std::vector<std::string>& args, const std::vector<std::string>& answers,
                  const std::string& binary, bool scripted, const std::string& display) const;

  testing_support::TempDir dir_;
  std::string app_;
  std::vector<std::string> environment_;
  std::string workingFolder_;
};

// Every line of a text, CR LF or LF ended.
std::vector<std::string> Lines(const std::string& text);
// What a run said: its stderr and every box it showed ("[title] text" a line), for a failure message.
std::string Shown(const RunResult& run);

}  // namespace app_testing
