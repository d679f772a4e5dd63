#pragma once
// A presenter that answers from a script and records every box it was shown. Tests
// use it in process; the real binary installs it when the environment names an
// answers file or a transcript file.
#include <deque>
#include <string>
#include <vector>

#include "core/presenter.h"

namespace tolvarin {

// Environment variables of a scripted run of the real binary.
inline constexpr const char* kAnswersVariable = "TOLVARIN_ANSWERS";
inline constexpr const char* kTranscriptVariable = "TOLVARIN_TRANSCRIPT";

// Answers, one per prompt in order. For a box: a button number, a caption (matched
// without regard to case, "&" ignored), "esc" (the cancel button) or "default". For
// a folder or input prompt: the text itself ("" cancels).

// What one prompt showed and how it was answered.
struct ShownBox {
  std::string kind;   // "System", "Facility", "Folder" or "Input"
  BoxRequest box;     // for Folder and Input: title, text (the prompt) and default
  std::string answer; // the button number, or the text given
};

class ScriptedPresenter : public MessagePresenter {
 public:
  ScriptedPresenter() = default;
  explicit ScriptedPresenter(std::vector<std::string> answers, std::string transcriptFile = "");
  // Queues further answers; when they run out a box answers its default button,
  // a folder prompt "" and an input box its default text.
  void Push(const std::string& answer);

  int Ask(const BoxRequest& box) override;
  std::string BrowseFolder(const FolderRequest& request) override;
  std::string InputBox(const InputRequest& request) override;

  const std::vector<ShownBox>& Shown() const { return shown_; }

 private:
  void Record(ShownBox entry);

  std::deque<std::string> answers_;
  std::vector<ShownBox> shown_;
  std::string transcriptFile_;
};

// The transcript file holds one line per prompt, fields separated by TAB:
// kind, title, text, icon, captions joined by "|", default, cancel, answer.
// TAB, CR, LF and "\" inside a field are written as \t, \r, \n and \\.
std::string TranscriptLine(const ShownBox& entry);
// Reads a transcript back (tests).
std::vector<ShownBox> ReadTranscript(const std::string& file);
// One answer per line; a trailing CR is dropped.
std::vector<std::string> ReadAnswersFile(const std::string& file);

// Whether a box's answer names one of its buttons: a number, "esc", "default" (or
// an empty line) or one of its captions. A caption the box does not have fails a
// scripted run (FailScript) instead of pressing no button.
bool NamesAButton(const BoxRequest& box, const std::string& answer);

// Installs the scripted presenter when TOLVARIN_ANSWERS or TOLVARIN_TRANSCRIPT is
// set; returns whether it did.
bool InstallScriptedPresenterFromEnvironment();

}  // namespace tolvarin
