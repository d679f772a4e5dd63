#pragma once
// The presenter of a run without a display: prints every box on stderr and answers
// its default button, so nothing ever waits for a user who is not there.
#include <ostream>

#include "core/presenter.h"

namespace tolvarin {

class ConsolePresenter : public MessagePresenter {
 public:
  explicit ConsolePresenter(std::ostream& out);
  ConsolePresenter();  // stderr
  int Ask(const BoxRequest& box) override;
  std::string BrowseFolder(const FolderRequest& request) override;  // "" (cancelled)
  std::string InputBox(const InputRequest& request) override;       // the default text

 private:
  std::ostream& out_;
};

// The box as plain text, as the console shows it and a copy of the box gives it.
std::string BoxAsText(const BoxRequest& box);

}  // namespace tolvarin
