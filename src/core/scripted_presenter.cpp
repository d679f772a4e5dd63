#include "core/scripted_presenter.h"

#include <cstdlib>
#include <fstream>

#include "core/script_steps.h"
#include "core/strings.h"

namespace tolvarin {
namespace {

std::string Escape(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '\t': out += "\\t"; break;
      case '\r': out += "\\r"; break;
      case '\n': out += "\\n"; break;
      default: out += c;
    }
  }
  return out;
}

std::string Unescape(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 == text.size()) {
      out += text[i];
      continue;
    }
    const char c = text[++i];
    out += c == 't' ? '\t' : c == 'r' ? '\r' : c == 'n' ? '\n' : c;
  }
  return out;
}

std::vector<std::string> SplitOn(const std::string& text, char delimiter) {
  std::vector<std::string> parts;
  size_t pos = 0;
  for (size_t hit; (hit = text.find(delimiter, pos)) != std::string::npos; pos = hit + 1)
    parts.push_back(text.substr(pos, hit - pos));
  parts.push_back(text.substr(pos));
  return parts;
}

const char* KindName(BoxKind kind) { return kind == BoxKind::Facility ? "Facility" : "System"; }

// The button an answer names; 0 when it names none of this box's.
int ButtonOf(const BoxRequest& box, const std::string& answer) {
  const int count = static_cast<int>(box.captions.size());
  const std::string word = Trim(answer);
  if (word.empty() || EqualsNoCase(word, "default"))
    return (box.defaultButton >= 1 && box.defaultButton <= count) ? box.defaultButton : 1;
  if (EqualsNoCase(word, "esc")) return box.cancelButton;
  if (word.find_first_not_of("0123456789") == std::string::npos) return std::atoi(word.c_str());
  for (int i = 0; i < count; ++i)
    if (EqualsNoCase(RemoveAll(box.captions[static_cast<size_t>(i)], "&"), RemoveAll(word, "&"))) return i + 1;
  return 0;
}

}  // namespace

bool NamesAButton(const BoxRequest& box, const std::string& answer) {
  const std::string word = Trim(answer);
  if (word.empty() || EqualsNoCase(word, "default") || EqualsNoCase(word, "esc")) return true;
  if (word.find_first_not_of("0123456789") == std::string::npos) return true;
  for (const std::string& caption : box.captions)
    if (EqualsNoCase(RemoveAll(caption, "&"), RemoveAll(word, "&"))) return true;
  return false;
}

ScriptedPresenter::ScriptedPresenter(std::vector<std::string> answers, std::string transcriptFile)
    : answers_(answers.begin(), answers.end()), transcriptFile_(std::move(transcriptFile)) {}

void ScriptedPresenter::Push(const std::string& answer) { answers_.push_back(answer); }

int ScriptedPresenter::Ask(const BoxRequest& box) {
  if (box.modeless) {
    // Nobody answers a box that does not wait: it takes no answer from the script.
    Record(ShownBox{KindName(box.kind), box, "modeless"});
    return box.cancelButton;
  }
  std::string answer = "default";
  if (!answers_.empty()) {
    answer = answers_.front();
    answers_.pop_front();
  }
  if (IsWindowStep(ParseScriptStep(answer))) {
    Record(ShownBox{KindName(box.kind), box, "unexpected"});
    FailScript("a box was shown where the script expected \"" + answer + "\": " + box.title + ": " + box.text);
  }
  const int button = ButtonOf(box, answer);
  if (!NamesAButton(box, answer)) {
    Record(ShownBox{KindName(box.kind), box, "unexpected"});
    FailScript("the answer \"" + answer + "\" names no button of the box " + box.title + ": " + box.text);
  }
  Record(ShownBox{KindName(box.kind), box, std::to_string(button)});
  return button;
}

std::string ScriptedPresenter::BrowseFolder(const FolderRequest& request) {
  std::string answer;
  if (!answers_.empty()) {
    answer = answers_.front();
    answers_.pop_front();
  }
  BoxRequest shown;
  shown.title = request.title;
  shown.text = request.startFolder;
  Record(ShownBox{"Folder", shown, answer});
  return answer;
}

std::string ScriptedPresenter::InputBox(const InputRequest& request) {
  std::string answer = request.defaultText;
  if (!answers_.empty()) {
    answer = answers_.front();
    answers_.pop_front();
  }
  BoxRequest shown;
  shown.title = request.title;
  shown.text = request.prompt;
  shown.captions = {request.defaultText};
  Record(ShownBox{"Input", shown, answer});
  return answer;
}

void ScriptedPresenter::Record(ShownBox entry) {
  if (!transcriptFile_.empty()) {
    // Appended and flushed per box, so a run that ends abruptly still leaves it.
    std::ofstream out(transcriptFile_, std::ios::out | std::ios::app | std::ios::binary);
    out << TranscriptLine(entry) << "\n";
  }
  shown_.push_back(std::move(entry));
}

std::string TranscriptLine(const ShownBox& entry) {
  std::string captions;
  for (size_t i = 0; i < entry.box.captions.size(); ++i) captions += (i ? "|" : "") + Escape(entry.box.captions[i]);
  return entry.kind + "\t" + Escape(entry.box.title) + "\t" + Escape(entry.box.text) + "\t" +
         std::to_string(entry.box.icon) + "\t" + captions + "\t" + std::to_string(entry.box.defaultButton) + "\t" +
         std::to_string(entry.box.cancelButton) + "\t" + Escape(entry.answer);
}

std::vector<ShownBox> ReadTranscript(const std::string& file) {
  std::vector<ShownBox> entries;
  std::ifstream in(file, std::ios::binary);
  std::string line;
  while (std::getline(in, line)) {
    const std::vector<std::string> fields = SplitOn(line, '\t');
    if (fields.size() < 8) continue;
    ShownBox entry;
    entry.kind = fields[0];
    entry.box.kind = fields[0] == "Facility" ? BoxKind::Facility : BoxKind::System;
    entry.box.title = Unescape(fields[1]);
    entry.box.text = Unescape(fields[2]);
    entry.box.icon = std::atoi(fields[3].c_str());
    if (!fields[4].empty())
      for (const std::string& caption : SplitOn(fields[4], '|')) entry.box.captions.push_back(Unescape(caption));
    entry.box.defaultButton = std::atoi(fields[5].c_str());
    entry.box.cancelButton = std::atoi(fields[6].c_str());
    entry.answer = Unescape(fields[7]);
    entries.push_back(std::move(entry));
  }
  return entries;
}

std::vector<std::string> ReadAnswersFile(const std::string& file) {
  std::vector<std::string> answers;
  std::ifstream in(file, std::ios::binary);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    answers.push_back(line);
  }
  return answers;
}

bool InstallScriptedPresenterFromEnvironment() {
  const char* answers = std::getenv(kAnswersVariable);
  const char* transcript = std::getenv(kTranscriptVariable);
  if (!(answers && *answers) && !(transcript && *transcript)) return false;
  SetPresenter(std::make_unique<ScriptedPresenter>(answers && *answers ? ReadAnswersFile(answers)
                                                                       : std::vector<std::string>{},
                                                   transcript ? transcript : ""));
  return true;
}

}  // namespace tolvarin
