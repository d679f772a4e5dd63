#pragma once
// The seam through which long operations report how far they are. The Qt progress
// windows implement it in a window session; the console sink prints one line.
#include <memory>
#include <ostream>
#include <string>

namespace tolvarin {

class ProgressSink {
 public:
  virtual ~ProgressSink() = default;
  virtual void Step(const std::string& text) = 0;          // the step text
  virtual void Detail(const std::string& text) = 0;        // "copying table"/"packaging file" line
  virtual void Fraction(double done) = 0;                  // 0.0 .. 1.0
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

}  // namespace tolvarin
