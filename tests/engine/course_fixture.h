#pragma once
// A made installation with one small filled course, the run's settings pointing at
// it, a private temporary folder and a scripted presenter recording every box.
// Settings, paths and the presenter are put back after each test.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "core/presenter.h"
#include "core/scripted_presenter.h"
#include "core/settings.h"
#include "course_maker.h"
#include "support/test_support.h"

namespace package_testing {

class CourseTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  std::string Course(const std::string& name = "") const;
  std::string Scratch(const std::string& name) const;  // a path in the test's folder

  testing_support::TempDir dir_;
  course_maker::MadeCourse made_;
  tolvarin::ScriptedPresenter* presenter_ = nullptr;

 private:
  tolvarin::RunSettings settings_;
  tolvarin::RunPaths paths_;
  std::unique_ptr<tolvarin::MessagePresenter> previous_;
  std::string oldTmp_;
  bool hadTmp_ = false;
};

// Rows of a table (deleted ones too); -1 when it does not open.
long RowCount(const std::string& dbf);

}  // namespace package_testing
