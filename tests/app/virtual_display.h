#pragma once
// An X server of its own (Xvfb, 1024x768) for the process tests that run the real
// program with windows; stopped when the object goes. Name() is "" when Xvfb is not
// installed or did not start: such tests skip.
#include <gtest/gtest.h>

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

// The fixture of a suite whose tests run the real program with windows: one display
// for the whole suite, and every test skipped when there is none. A suite's own
// SetUp calls DisplayTest::SetUp() first and returns when IsSkipped().
class DisplayTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { display_ = new VirtualDisplay; }
  static void TearDownTestSuite() {
    delete display_;
    display_ = nullptr;
  }
  void SetUp() override {
    if (display_->Name().empty()) GTEST_SKIP() << display_->Missing();
  }
  // The display's name, for HostRun::RunOnDisplay.
  static const std::string& Display() { return display_->Name(); }

 private:
  static inline VirtualDisplay* display_ = nullptr;
};

}  // namespace app_testing
