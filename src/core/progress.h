#pragma once
// The seam through which long operations report how far they are. The Qt progress
// windows implement it in a window session; the console sink prints one line.
#include <memory>
#include <string>

namespace tolvarin {

class ProgressSink {
 public:
  virtual ~ProgressSink() = default;
  virtual void Step(const std::string& text) = 0;          // the step text
  virtual void Detail(const std::string& text) = 0;        // "copying table"/"packaging file" line
  virtual void Fraction(double done) = 0;                  // 0.0 .. 1.0
};

ProgressSink& Progress();
std::unique_ptr<ProgressSink> SetProgress(std::unique_ptr<ProgressSink> sink);

}  // namespace tolvarin
