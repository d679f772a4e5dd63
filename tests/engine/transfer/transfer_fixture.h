#pragma once
// A transfer test's ground: a realistic course made once per test program (copied
// for tests that write), the run's settings of an unattended user-content run, a
// scripted presenter, and the two database sets closed again afterwards.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "core/presenter.h"
#include "core/scripted_presenter.h"
#include "course_maker.h"
#include "support/test_support.h"

namespace transfer_test {

class TransferTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // The shared course of 2,000 questions (seed 1); read it, never write it.
  static const course_maker::MadeCourse& Shared();
  // A fresh installation of its own under this test's folder.
  course_maker::MadeCourse Fresh(const course_maker::CourseOptions& options = {});
  // Points the run at an installation's course (CoursePath, AreaFolder, AppPath).
  void UseCourse(const course_maker::Installation& install, const std::string& course = "");
  // Opens SRC on a course folder (brand folder two levels up) and DEST on another.
  void OpenSource(const std::string& courseFolder);
  void OpenDestination(const std::string& courseFolder);
  // An interactive import, mapped but not copied: a fresh course of this many
  // questions into a course beside it that holds other content (seed 2), SRC and
  // DEST open, every row selected and BuildMappings run. Returns the destination.
  std::string MapImport(int questions, course_maker::MadeCourse& made);

  testing_support::TempDir temp_;
  tolvarin::ScriptedPresenter* presenter_ = nullptr;

 private:
  std::unique_ptr<tolvarin::MessagePresenter> previous_;
};

}  // namespace transfer_test
