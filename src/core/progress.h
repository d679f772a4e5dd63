#pragma once
// The seam through which long operations report how far they are. The Qt progress
// windows implement it in a window session; the console sink prints one line.
#include <cstdint>
#include <functional>
#include <memory>
#include <ostream>
#include <string>

namespace tolvarin {

// What the step window shows when it runs an interactive transfer.
enum class ProgressOperation { None, Backup, Migrate, Restore };
struct ProgressPage {
  ProgressOperation operation = ProgressOperation::None;
  std::string title;    // "" : the window keeps "Progress"
  std::string message;  // the line kept for NotifyPackagingProgress
  bool showMessage = false;  // the migration leaves the line as it was
};
// By Operation and ImportMode: export, migration (ImportMode 6) or import.
ProgressPage ProgressPageFor(int operation, long importMode, const std::string& courseName,
                             const std::string& appPath, const std::string& packagePath,
                             const std::string& workingFolder);
// Two windows show progress in a window session: the step window (frmProgress2),
// which also runs the interactive transfers, and the bar window (frmProgress) of
// the construction. A console run prints lines instead.
class ProgressSink {
 public:
  virtual ~ProgressSink() = default;
  // The step window's line; the window shows itself when it is not on screen.
  virtual void Step(const std::string& text) = 0;
  // The line under a running operation's message ("Copying table: x"); "" leaves
  // the message alone.
  virtual void Detail(const std::string& text) = 0;
  // The bar window filled to a fraction 0..1 (1 and above closes it).
  virtual void Fraction(double done) = 0;
  // The bar window at current/total (0 when total is 0); current >= total closes
  // it. A message "" keeps the last line.
  virtual void Bar(const std::string& message, std::int32_t current, std::int32_t total) {
    if (!message.empty()) Step(message);
    Fraction(current >= total ? 1.0 : static_cast<double>(current) / total);
  }
  // The same at a fraction, the bar's left edge left where it is.
  virtual void BarFraction(const std::string& message, double fraction) {
    if (!message.empty()) Step(message);
    Fraction(fraction);
  }
  // One step of the bar window's indeterminate bar.
  virtual void Working(const std::string& message) {
    if (!message.empty() && message != lastWorking_) Step(message);
    lastWorking_ = message;
  }
  // Closes whatever progress window is on screen.
  virtual void Close() {}
  // Runs a long operation under the step window: the page's title and message
  // are shown first, the operation runs, and the window closes when it returns.
  // Without a display the operation simply runs.
  virtual void RunOperation(const ProgressPage& page, const std::function<void()>& operation) {
    if (page.showMessage) Step(page.message);
    operation();
  }
  // Lets the window system run between the steps of a long loop.
  virtual void Pump() {}
  // Replaces the running operation's message (the migration learns its target folder
  // only once it runs).
  virtual void OperationMessage(const std::string& text) { Step(text); }

 private:
  std::string lastWorking_;
};

// Prints one progress line per report on a terminal (stderr by default).
class ConsoleProgress : public ProgressSink {
 public:
  explicit ConsoleProgress(std::ostream& out);
  ConsoleProgress();
  void Step(const std::string& text) override;
  void Detail(const std::string& text) override;
  void Fraction(double done) override;

 private:
  void Print();
  std::ostream& out_;
  std::string step_;
  std::string detail_;
  int percent_ = -1;
};

// The sink in force; a console sink until another is installed.
ProgressSink& Progress();
std::unique_ptr<ProgressSink> SetProgress(std::unique_ptr<ProgressSink> sink);

// The progress windows' members as the engine and the construction call them.
// "Processing tables in " & the upper-cased folder & " folder".
void NotifyUpdateProgress(const std::string& folder);
void NotifyUpdateProgress2(const std::string& text);
// The running operation's message, replaced.
void NotifyOperationMessage(const std::string& text);
// Export (Operation 1): the operation's message, a blank line and action ": " item;
// import (Operation 2): the message alone; any other operation: nothing.
void NotifyPackagingProgress(const std::string& item, const std::string& action);
// The bar at current/total (0 when total is 0); current >= total closes the window.
void ShowProgressBar(const std::string& message, std::int32_t current, std::int32_t total);
void ShowProgessBarDbl(const std::string& message, double fraction);
void ShowWorkingBar(const std::string& message);
void UpdateFile(const std::string& name);  // ShowWorkingBar(name)
void UnloadProgressWindows();
// Lets the window system run (a long loop that reports nothing calls it).
void DoEvents();

// Runs the page's operation under the step window (an operation None runs nothing).
void RunProgressPage(const ProgressPage& page, const std::function<void()>& operation);

}  // namespace tolvarin
