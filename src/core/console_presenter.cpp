#include "core/console_presenter.h"

#include <iostream>

namespace tolvarin {
namespace {

const char* IconWord(int icon) {
  switch (icon) {
    case 16:
      return "Stop";
    case 32:
      return "Question";
    case 48:
      return "Exclamation";
    case 64:
      return "Information";
    default:
      return "";
  }
}

}  // namespace

std::string BoxAsText(const BoxRequest& box) {
  const std::string rule = "---------------------------\r\n";
  std::string text = rule + box.title + "\r\n" + rule + box.text + "\r\n" + rule;
  for (const std::string& caption : box.captions)
    if (!caption.empty()) text += caption + "   ";
  text += "\r\n" + rule;
  return text;
}

ConsolePresenter::ConsolePresenter(std::ostream& out) : out_(out) {}
ConsolePresenter::ConsolePresenter() : out_(std::cerr) {}

int ConsolePresenter::Ask(const BoxRequest& box) {
  int answer = box.modeless ? box.cancelButton : box.defaultButton;
  if (!box.modeless && (answer < 1 || answer > static_cast<int>(box.captions.size()))) answer = 1;
  out_ << "[" << box.title << "]";
  if (*IconWord(box.icon)) out_ << " (" << IconWord(box.icon) << ")";
  out_ << "\n" << box.text << "\n";
  for (size_t i = 0; i < box.captions.size(); ++i) out_ << (i ? "  " : "") << "[" << box.captions[i] << "]";
  if (!box.captions.empty() && !box.modeless)
    out_ << "  -> " << box.captions[static_cast<size_t>(answer - 1)];
  out_ << "\n";
  out_.flush();
  return answer;
}

std::string ConsolePresenter::BrowseFolder(const FolderRequest& request) {
  out_ << "[" << request.title << "] folder prompt: no display, cancelled\n";
  out_.flush();
  return "";
}

std::string ConsolePresenter::InputBox(const InputRequest& request) {
  out_ << "[" << request.title << "] " << request.prompt << " -> " << request.defaultText << "\n";
  out_.flush();
  return request.defaultText;
}

}  // namespace tolvarin
