#pragma once
// An X server of its own (Xvfb, 1024x768) for the process tests that run the real
// program with windows; stopped when the object goes. Name() is "" when Xvfb is not
// installed or did not start: such tests skip.
#include <string>

#include <sys/types.h>

namespace app_testing {

class VirtualDisplay {
 public:
  VirtualDisplay();
  ~VirtualDisplay();
  VirtualDisplay(const VirtualDisplay&) = delete;
  VirtualDisplay& operator=(const VirtualDisplay&) = delete;
  const std::string& Name() const { return display_; }
  // Why Name() is empty.
  const std::string& Missing() const { return missing_; }

 private:
  pid_t pid_ = 0;
  std::string display_;
  std::string missing_;
};

}  // namespace app_testing
