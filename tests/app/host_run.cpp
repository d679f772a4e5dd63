#include "host_run.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "engine/startup.h"

extern char** environ;

namespace fs = std::filesystem;

namespace app_testing {
namespace {

// The program under test: TOLVARIN_BINARY when the runner sets it, else the one built
// beside this test program (build/<kind>/bin/tolvarin).
std::string ProgramUnderTest() {
  if (const char* env = std::getenv("TOLVARIN_BINARY"); env && *env) return env;
  std::error_code ec;
  const fs::path self = fs::read_symlink("/proc/self/exe", ec);
  if (!ec) {
    const fs::path beside = self.parent_path().parent_path().parent_path() / "bin" / "tolvarin";
    if (fs::exists(beside)) return beside.string();
  }
  return testing_support::TolvarinBinary().string();
}

}  // namespace

HostRun::HostRun() : app_(dir_.str() + "/Host") { fs::create_directories(app_); }

void HostRun::Put(const std::string& relative, const std::string& bytes) const {
  const fs::path file = At(relative);
  fs::create_directories(file.parent_path());
  testing_support::WriteFile(file, bytes);
}

void HostRun::HostIni(const std::string& tolvarinLines, const std::string& name) const {
  Put(name, "[Edition]\r\nVersion=7\r\n\r\n[Tolvarin]\r\n" + tolvarinLines);
}

std::string HostRun::Log() const {
  return fs::exists(At("tolvarin.log")) ? testing_support::ReadFile(At("tolvarin.log")) : "";
}

std::vector<std::string> HostRun::LogLines() const { return Lines(Log()); }

std::vector<std::string> HostRun::Entries(const std::string& relative) const {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(relative.empty() ? app_ : At(relative)))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

void HostRun::AddEnvironment(const std::string& entry) {
  const std::string name = entry.substr(0, entry.find('=') + 1);
  std::erase_if(environment_, [&](const std::string& own) { return own.rfind(name, 0) == 0; });
  environment_.push_back(entry);
}

std::string HostRun::Program() { return ProgramUnderTest(); }

std::string HostRun::Temp() const { return dir_.str() + "/tmp/tolvarin-" + std::to_string(::getuid()); }

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    std::string line = text.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    if (end == std::string::npos) break;
    pos = end + 1;
  }
  return lines;
}

RunResult HostRun::Run(const std::vector<std::string>& args, const std::vector<std::string>& answers,
                       const std::string& binary) const {
  return Start(args, answers, binary, true, "");
}

RunResult HostRun::RunUnscripted(const std::vector<std::string>& args) const {
  std::vector<std::string> all{"AppPath:" + app_};
  all.insert(all.end(), args.begin(), args.end());
  return Start(all, {}, "", false, "");
}

RunResult HostRun::RunOnDisplay(const std::vector<std::string>& args, const std::vector<std::string>& steps,
                                const std::string& display) const {
  return Start(args, steps, "", false, display);
}

std::vector<std::string> HostRun::Environment(const std::vector<std::string>& answers, bool scripted,
                                              const std::string& display) const {
  const std::string answersFile = dir_.str() + "/answers.txt";
  const std::string transcriptFile = dir_.str() + "/transcript.txt";
  const std::string settingsFile = dir_.str() + "/settings.txt";
  std::string script;
  for (const std::string& answer : answers) script += answer + "\n";
  testing_support::WriteFile(answersFile, script);
  fs::remove(transcriptFile);
  fs::remove(settingsFile);

  std::vector<std::string> envStrings;
  // An entry the test adds replaces this process's own of the same name.
  const auto added = [this](const std::string& entry) {
    const std::string name = entry.substr(0, entry.find('=') + 1);
    return std::any_of(environment_.begin(), environment_.end(),
                       [&](const std::string& own) { return own.rfind(name, 0) == 0; });
  };
  for (char** e = environ; *e; ++e) {
    const std::string entry = *e;
    if (added(entry)) continue;
    if (entry.rfind("TOLVARIN_ANSWERS=", 0) == 0 || entry.rfind("TOLVARIN_TRANSCRIPT=", 0) == 0 ||
        entry.rfind("TOLVARIN_SETTINGS_DUMP=", 0) == 0 || entry.rfind("DISPLAY=", 0) == 0 ||
        entry.rfind("WAYLAND_DISPLAY=", 0) == 0 || entry.rfind("TMPDIR=", 0) == 0)
      continue;
    envStrings.push_back(entry);
  }
  // The staging folders under the temporary folder are the test's own, never shared
  // with the runs of other tests at the same time.
  if (std::none_of(environment_.begin(), environment_.end(),
                   [](const std::string& entry) { return entry.rfind("TMPDIR=", 0) == 0; })) {
    fs::create_directories(dir_.str() + "/tmp");
    envStrings.push_back("TMPDIR=" + dir_.str() + "/tmp");
  }
  if (scripted) {
    envStrings.push_back(std::string(tolvarin::kAnswersVariable) + "=" + answersFile);
    envStrings.push_back(std::string(tolvarin::kTranscriptVariable) + "=" + transcriptFile);
  }
  if (!display.empty()) {
    // Real windows on the test's own X server, each box and window driven by the steps.
    const std::string runtime = dir_.str() + "/runtime";
    fs::create_directories(runtime);
    fs::permissions(runtime, fs::perms::owner_all);
    envStrings.push_back("DISPLAY=" + display);
    envStrings.push_back("QT_QPA_PLATFORM=xcb");
    envStrings.push_back("XDG_RUNTIME_DIR=" + runtime);
    envStrings.push_back("TOLVARIN_WINDOW_ANSWERS=" + answersFile);
    envStrings.push_back("TOLVARIN_WINDOW_TRANSCRIPT=" + transcriptFile);
  }
  envStrings.push_back(std::string(tolvarin::kSettingsDumpVariable) + "=" + settingsFile);
  envStrings.insert(envStrings.end(), environment_.begin(), environment_.end());
  // A program with windows keeps what Qt's libraries keep: the same suppressions
  // as the test programs.
  if (!std::getenv("LSAN_OPTIONS"))
    envStrings.push_back(std::string("LSAN_OPTIONS=suppressions=") + TOLVARIN_LSAN_SUPPRESSIONS);
  return envStrings;
}

std::vector<std::string> HostRun::DisplayEnvironment(const std::vector<std::string>& steps,
                                                     const std::string& display) const {
  return Environment(steps, false, display);
}

RunResult HostRun::Start(const std::vector<std::string>& args, const std::vector<std::string>& answers,
                         const std::string& binary, bool scripted, const std::string& display) const {
  const std::string transcriptFile = dir_.str() + "/transcript.txt";
  const std::string settingsFile = dir_.str() + "/settings.txt";
  const std::string stderrFile = dir_.str() + "/stderr.txt";
  std::vector<std::string> envStrings = Environment(answers, scripted, display);

  const std::string program = binary.empty() ? ProgramUnderTest() : binary;
  std::vector<std::string> argStrings{program};
  argStrings.insert(argStrings.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : argStrings) argv.push_back(a.data());
  argv.push_back(nullptr);

  std::vector<char*> envp;
  for (std::string& e : envStrings) envp.push_back(e.data());
  envp.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 2, stderrFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  if (!workingFolder_.empty()) posix_spawn_file_actions_addchdir_np(&actions, workingFolder_.c_str());
  RunResult result;
  pid_t pid = 0;
  const int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) {
    result.stderrText = std::string("cannot start ") + program + ": " + std::strerror(rc);
    return result;
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  result.boxes = tolvarin::ReadTranscript(transcriptFile);
  if (fs::exists(settingsFile))
    for (const std::string& line : Lines(testing_support::ReadFile(settingsFile))) {
      const size_t eq = line.find('=');
      if (eq != std::string::npos) result.settings[line.substr(0, eq)] = line.substr(eq + 1);
    }
  result.stderrText = testing_support::ReadFile(stderrFile);
  return result;
}

RunResult HostRun::RunHere(const std::vector<std::string>& args, const std::vector<std::string>& answers) const {
  std::vector<std::string> all{"AppPath:" + app_};
  all.insert(all.end(), args.begin(), args.end());
  return Run(all, answers);
}

std::string Shown(const RunResult& run) {
  std::string text = run.stderrText;
  for (const tolvarin::ShownBox& box : run.boxes) text += "\n[" + box.box.title + "] " + box.box.text;
  return text;
}

}  // namespace app_testing
