#include "core/progress.h"

#include <algorithm>
#include <cmath>
#include <iostream>
#include <utility>

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
  out_ << "[";
  if (percent_ >= 0)
    out_ << (percent_ < 10 ? "  " : percent_ < 100 ? " " : "") << percent_ << "%";
  else
    out_ << "    ";
  out_ << "] " << step_;
  if (!detail_.empty()) out_ << (step_.empty() ? "" : ": ") << detail_;
  out_ << "\n";
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

}  // namespace tolvarin
