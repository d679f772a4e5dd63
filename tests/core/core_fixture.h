#pragma once
// A host folder for one test: AppPath points at a fresh folder, boxes are answered
// by a script and recorded, and the run-wide writable-folder record starts empty.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "core/files.h"
#include "core/presenter.h"
#include "core/scripted_presenter.h"
#include "core/settings.h"
#include "support/test_support.h"

namespace core_testing {

// Writes a file, making its folders first.
void Put(const std::string& file, const std::string& bytes);

class HostFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    tolvarin::Settings().AppPath = dir_.str();
    tolvarin::Settings().Mode = 0;
    tolvarin::WritableFolders().clear();
    auto presenter = std::make_unique<tolvarin::ScriptedPresenter>();
    presenter_ = presenter.get();
    previous_ = tolvarin::SetPresenter(std::move(presenter));
  }
  void TearDown() override {
    tolvarin::SetPresenter(std::move(previous_));
    tolvarin::Settings().AppPath.clear();
    tolvarin::WritableFolders().clear();
  }
  std::string App() const { return dir_.str(); }
  std::string At(const std::string& relative) const { return dir_.str() + "/" + relative; }
  const std::vector<tolvarin::ShownBox>& Shown() const { return presenter_->Shown(); }
  tolvarin::ScriptedPresenter& Script() { return *presenter_; }
  std::vector<std::string> Entries(const std::string& relative = "") const;

  testing_support::TempDir dir_;
  tolvarin::ScriptedPresenter* presenter_ = nullptr;
  std::unique_ptr<tolvarin::MessagePresenter> previous_;
};

}  // namespace core_testing
