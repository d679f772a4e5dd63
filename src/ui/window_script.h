#pragma once
// A driven window run (process tests, screenshots): TOLVARIN_WINDOW_ANSWERS names
// the steps (core/script_steps.h), taken in order by the boxes and by the windows that
// take steps (the main window and the pages); TOLVARIN_WINDOW_TRANSCRIPT records each
// box, and TOLVARIN_WINDOW_SHOTS gets a picture of each box and of each "shot:" step.
#include <deque>
#include <string>
#include <vector>

#include "core/script_steps.h"

class QWidget;

namespace tolvarin::ui {

inline constexpr const char* kWindowAnswersVariable = "TOLVARIN_WINDOW_ANSWERS";
inline constexpr const char* kWindowTranscriptVariable = "TOLVARIN_WINDOW_TRANSCRIPT";
inline constexpr const char* kWindowShotsVariable = "TOLVARIN_WINDOW_SHOTS";

class WindowScript {
 public:
  // The run's script, read from the environment on first use.
  static WindowScript& Get();

  bool Driven() const { return driven_; }
  const std::string& Transcript() const { return transcript_; }
  const std::string& Shots() const { return shots_; }
  bool Empty() const { return steps_.empty(); }
  const std::string& Front() const { return steps_.front(); }
  std::string Pop();
  // Replaces the steps and drives the windows (tests).
  void Reset(std::vector<std::string> steps);

 private:
  bool driven_ = false;
  std::deque<std::string> steps_;
  std::string transcript_;
  std::string shots_;
};

// Applies one window step to the window: "" when done, otherwise why it could not.
// A click returns once the pressed button's handler has (a page it opens included).
std::string ApplyWindowStep(QWidget& window, const ScriptStep& step);

// In a driven run, takes the window steps at the front of the script one after another
// on this window once it is drawn and in front, while it stays on screen; a window met
// with an answer or nothing at the front fails the run. Does nothing otherwise.
void TakeWindowSteps(QWidget& window);

// Saves the window's picture as <TOLVARIN_WINDOW_SHOTS>/<name>.png when the run has shots.
void SaveShot(QWidget& window, const std::string& name);

}  // namespace tolvarin::ui
