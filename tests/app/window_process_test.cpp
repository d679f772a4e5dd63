// The real program with a display: a bad Mode shows the facility's box in a real
// window (under Xvfb), and without a display it still prints the box and ends.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

extern char** environ;

#include <gtest/gtest.h>

#include "core/terminate.h"
#include "host_run.h"

namespace {

namespace fs = std::filesystem;
using app_testing::HostRun;
using app_testing::RunResult;

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

// An X server of its own for one test, stopped when the test ends.
class VirtualDisplay {
 public:
  explicit VirtualDisplay(const std::string& xvfb) {
    int fds[2];
    if (::pipe(fds) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 3);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::string a0 = xvfb, a1 = "-displayfd", a2 = "3", a3 = "-nolisten", a4 = "tcp", a5 = "-screen", a6 = "0",
                a7 = "1024x768x24";
    char* argv[] = {a0.data(), a1.data(), a2.data(), a3.data(), a4.data(), a5.data(), a6.data(), a7.data(), nullptr};
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
    if (!number.empty()) display_ = ":" + number;
  }
  ~VirtualDisplay() {
    if (pid_ == 0) return;
    ::kill(pid_, SIGTERM);
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
  }
  VirtualDisplay(const VirtualDisplay&) = delete;
  VirtualDisplay& operator=(const VirtualDisplay&) = delete;
  const std::string& Name() const { return display_; }

 private:
  pid_t pid_ = 0;
  std::string display_;
};

TEST(WindowProcess, BadModeShowsTheFacilityBoxOnTheDisplay) {
  const std::string xvfb = FindProgram("Xvfb");
  if (xvfb.empty()) GTEST_SKIP() << "Xvfb is not installed";
  VirtualDisplay display(xvfb);
  ASSERT_FALSE(display.Name().empty()) << "Xvfb did not start";

  HostRun host;
  host.HostIni("");
  testing_support::WriteFile(host.Scratch() + "/window-answers.txt", "OK\n");
  const std::string transcript = host.Scratch() + "/window-transcript.txt";
  host.AddEnvironment("DISPLAY=" + display.Name());
  host.AddEnvironment("TOLVARIN_WINDOW_ANSWERS=" + host.Scratch() + "/window-answers.txt");
  host.AddEnvironment("TOLVARIN_WINDOW_TRANSCRIPT=" + transcript);
  host.AddEnvironment("QT_QPA_PLATFORM=xcb");
  const std::string runtime = host.Scratch() + "/runtime";
  fs::create_directory(runtime);
  fs::permissions(runtime, fs::perms::owner_all);
  host.AddEnvironment("XDG_RUNTIME_DIR=" + runtime);
  const RunResult run = host.RunUnscripted({"Mode:Backup"});

  EXPECT_EQ(run.status, tolvarin::kTerminateStatus) << run.stderrText;
  const std::vector<tolvarin::ShownBox> boxes = tolvarin::ReadTranscript(transcript);
  ASSERT_EQ(boxes.size(), 1u) << run.stderrText;
  EXPECT_EQ(boxes[0].kind, "Facility");
  EXPECT_EQ(boxes[0].box.text, "Invalid Mode parameter.");
  EXPECT_EQ(boxes[0].box.captions, std::vector<std::string>{"OK"});
  // The box was a window: nothing went to the console.
  EXPECT_EQ(run.stderrText.find("Invalid Mode parameter."), std::string::npos) << run.stderrText;
}

TEST(WindowProcess, WithoutADisplayTheBoxIsPrinted) {
  HostRun host;
  host.HostIni("");
  const RunResult run = host.RunUnscripted({"Mode:Backup"});
  EXPECT_EQ(run.status, tolvarin::kTerminateStatus);
  EXPECT_NE(run.stderrText.find("Invalid Mode parameter."), std::string::npos) << run.stderrText;
}

}  // namespace
