#pragma once
// A small gradebook installation for the gradebook modes' tests: AppPath with
// Databases/Blank made from the schema, the brand folder Corvane and a course
// folder Math/Algebra below it, and helpers that write and read rows by field name.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/presenter.h"
#include "support/test_support.h"

namespace gradebook_testing {

using Row = std::map<std::string, std::string>;  // field name -> value

// Table helpers on the current engine context.
// Creates a table: fields "name:type:len", tags "name=expression".
void CreateTable(const std::filesystem::path& dbf, const std::vector<std::string>& fields,
                 const std::vector<std::string>& tags);
void AddRows(const std::filesystem::path& dbf, const std::vector<Row>& rows);
// The named fields of every live record in natural order, trimmed, joined by "|".
std::vector<std::string> Rows(const std::filesystem::path& dbf, const std::vector<std::string>& fields);
// Opens as it is and checks every tag against the records; "" when clean.
std::string TagProblems(const std::filesystem::path& dbf);
// Every file below a folder, relative, sorted (for "nothing else was written").
std::vector<std::string> FilesBelow(const std::filesystem::path& folder);
// A blank copy of a table of the blank folder in another folder.
void CopyBlank(const std::filesystem::path& blank, const std::string& table, const std::filesystem::path& folder);

class GradebookTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // A blank copy of a schema table in the folder.
  void PutBlank(const std::string& table, const std::filesystem::path& folder) const {
    CopyBlank(blank_, table, folder);
  }

  testing_support::TempDir temp_;
  std::filesystem::path app_, root_, blank_, brand_, course_;

 private:
  std::unique_ptr<tolvarin::MessagePresenter> previous_;
};

}  // namespace gradebook_testing
