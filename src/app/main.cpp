// The tolvarin program: the host's command line in, one run of start-up, the chosen
// mode and the end of the run.
#include <unistd.h>

#include <climits>
#include <string>
#include <vector>

#include "core/command_line.h"
#include "core/scripted_presenter.h"
#include "engine/startup.h"
#include "ui/window_session.h"

namespace {

// The folder the executable runs from: the default AppPath.
std::string ProgramFolder(const char* argv0) {
  char buffer[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  std::string path = n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string(argv0 ? argv0 : "");
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

int main(int argc, char** argv) {
  tolvarin::SetCommandLine(tolvarin::JoinArguments(std::vector<std::string>(argv + 1, argv + argc)));
  // Scripted answers (tests) come first; then real windows when there is a display;
  // otherwise the console, so that an unattended run on a headless machine never
  // waits for anyone.
  if (!tolvarin::InstallScriptedPresenterFromEnvironment() && tolvarin::ui::DisplayAvailable())
    tolvarin::ui::StartWindowSession();
  tolvarin::Main(ProgramFolder(argv[0]));
}
