#pragma once
// The steps of a scripted run, one per line of the answers file. Besides the answers
// to boxes (a button number, a caption, "esc", "default"; for a prompt, the text),
// a driven window run takes steps that act on the window in front:
//   click:NAME       presses the control NAME (its objectName)
//   text:NAME=TEXT   types TEXT into the field NAME, replacing what it held
//   pick:NAME=TEXT   makes the entry whose text is TEXT current in the list NAME; in a
//                    multi-select list it clicks the entry as the mouse does: an entry
//                    not selected is added to the selection (a selected one taken out),
//                    and the others stay as they were
//   open:NAME=TEXT   picks the entry and opens it (a double click: a folder list's folder)
//   shot:NAME        saves the window's picture as NAME.png in TOLVARIN_WINDOW_SHOTS
//   close:NAME       closes the window in front, whose objectName is NAME, as its close box does
// Boxes take answers and windows take window steps. A box shown when the next step
// is a window step, a window shown when the next step is an answer or none is left,
// and a step naming no usable control fail the run (FailScript): what was expected
// and what was shown go to stderr and the run ends with kScriptFailedStatus.
#include <optional>
#include <string>

namespace tolvarin {

inline constexpr int kScriptFailedStatus = 5;

enum class StepKind { Answer, Click, Text, Pick, Open, Shot, Close };

struct ScriptStep {
  StepKind kind = StepKind::Answer;
  std::string control;  // window steps: the control's name (shot: the picture's name)
  std::string value;    // Answer: the line itself; Text, Pick, Open: the text after "="
};

// A line of the answers file as a step; anything that is not a window step is an answer.
ScriptStep ParseScriptStep(const std::string& line);
bool IsWindowStep(const ScriptStep& step);

// Ends a scripted run that went otherwise than its script: "TOLVARIN SCRIPT: " and
// the reason on stderr, then the end of the process with kScriptFailedStatus.
[[noreturn]] void FailScript(const std::string& reason);

}  // namespace tolvarin
