#include "ui/repair_rules.h"

namespace tolvarin::ui {

std::vector<std::string> FilesToRepair(const std::vector<std::string>& listed, const std::vector<bool>& selected,
                                       bool all) {
  std::vector<std::string> files;
  for (std::size_t i = 0; i < listed.size(); ++i)
    if (all || (i < selected.size() && selected[i])) files.push_back(listed[i]);
  return files;
}

}  // namespace tolvarin::ui
