#include "core/progress.h"

#include <algorithm>
#include <cmath>
#include <iostream>
#include <utility>

#include "core/settings.h"
#include "core/strings.h"

namespace tolvarin {
namespace {

std::unique_ptr<ProgressSink>& Installed() {
  static std::unique_ptr<ProgressSink> sink;
  return sink;
}

}  // namespace

ConsoleProgress::ConsoleProgress(std::ostream& out) : out_(out) {}
ConsoleProgress::ConsoleProgress() : out_(std::cerr) {}

void ConsoleProgress::Step(const std::string& text) {
  step_ = text;
  detail_.clear();
  Print();
}

void ConsoleProgress::Detail(const std::string& text) {
  if (text == detail_) return;  // nothing in the line changed
  detail_ = text;
  Print();
}

void ConsoleProgress::Fraction(double done) {
  const int percent = static_cast<int>(std::lround(std::clamp(done, 0.0, 1.0) * 100));
  if (percent == percent_) return;  // one line per visible change
  percent_ = percent;
  Print();
}

void ConsoleProgress::Print() {
  // A line with nothing to tell (an import's per-table report without a step) is
  // left out. A step is printed each time it is begun, also when its text repeats
  // (the construction begins the same step at every folder).
  if (step_.empty() && detail_.empty()) return;
  std::string line = "[";
  if (percent_ >= 0)
    line += std::string(percent_ < 10 ? "  " : percent_ < 100 ? " " : "") + std::to_string(percent_) + "%";
  else
    line += "    ";
  line += "] " + step_;
  if (!detail_.empty()) line += (step_.empty() ? "" : ": ") + detail_;
  out_ << line << "\n";
  out_.flush();
}

ProgressSink& Progress() {
  auto& sink = Installed();
  if (!sink) sink = std::make_unique<ConsoleProgress>();
  return *sink;
}

std::unique_ptr<ProgressSink> SetProgress(std::unique_ptr<ProgressSink> sink) {
  return std::exchange(Installed(), std::move(sink));
}

void NotifyUpdateProgress(const std::string& folder) {
  NotifyUpdateProgress2("Processing tables in " + ToUpper(folder) + " folder");
}

void NotifyUpdateProgress2(const std::string& text) { Progress().Step(text); }

void NotifyPackagingProgress(const std::string& item, const std::string& action) {
  switch (Settings().Operation) {
    case 1: Progress().Detail(action + ": " + item); break;
    case 2: Progress().Detail(""); break;
    default: break;
  }
}

void ShowProgressBar(const std::string& message, std::int32_t current, std::int32_t total) {
  Progress().Bar(message, current, total);
}

void ShowProgessBarDbl(const std::string& message, double fraction) { Progress().BarFraction(message, fraction); }

void ShowWorkingBar(const std::string& message) { Progress().Working(message); }

void UpdateFile(const std::string& name) { ShowWorkingBar(name); }

void UnloadProgressWindows() { Progress().Close(); }

void NotifyOperationMessage(const std::string& text) { Progress().OperationMessage(text); }

void DoEvents() { Progress().Pump(); }

ProgressPage ProgressPageFor(int operation, long importMode, const std::string& courseName,
                             const std::string& appPath, const std::string& packagePath,
                             const std::string& workingFolder) {
  ProgressPage page;
  if (operation == 1 && importMode != 6) {
    page.operation = ProgressOperation::Backup;
    page.title = "Backup Progress";
    page.message = "Backing up content from " + courseName + " database installed in \"" + appPath +
                   "\" to Corvane Backup File \"" + packagePath + "\"";
    page.showMessage = true;
  } else if (operation == 1) {
    page.operation = ProgressOperation::Migrate;
    page.title = "Migration Progress";
    page.message = "Migrating content from " + courseName + " to " + workingFolder + ".";
  } else if (operation == 2) {
    page.operation = ProgressOperation::Restore;
    page.title = "Restore Progress";
    page.message = "Restoring content to " + courseName + " database installed in \"" + appPath +
                   "\" from Corvane Backup File \"" + packagePath + "\"";
    page.showMessage = true;
  }
  return page;
}

void RunProgressPage(const ProgressPage& page, const std::function<void()>& operation) {
  if (page.operation == ProgressOperation::None) {
    Progress().RunOperation(page, [] {});
    return;
  }
  Progress().RunOperation(page, operation);
}

}  // namespace tolvarin
