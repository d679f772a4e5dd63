#pragma once
// The box of a function that this build does not have yet.
#include <string>

namespace tolvarin::ui {

// "<what> is not part of this build of the program yet." in a plain box.
void SayNotInThisBuild(const std::string& what);

}  // namespace tolvarin::ui
