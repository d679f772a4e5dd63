#pragma once
// A databases folder for the table tests: a course folder and a brand folder
// holding copies of the peer-made fixture tables, a Blank folder holding emptied
// copies, and a scripted presenter that records every box.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "core/presenter.h"
#include "core/scripted_presenter.h"
#include "platform/xbase/xbase.h"
#include "support/test_support.h"

namespace tolvarin_test {

class TableFolderTest : public ::testing::Test {
 public:
  // The peer-made fixture folder (read only).
  static std::filesystem::path Fixtures();

 protected:
  void SetUp() override;
  void TearDown() override;

  // Copies fixture tables (by name, without extension) into a folder.
  void CopyFixture(const std::string& table, const std::filesystem::path& folder) const;
  // Puts an emptied copy of a fixture table into the Blank folder.
  void MakeBlank(const std::string& table) const;
  // Creates a table with the engine (fields "name:type:len"; tags "name=expr").
  static void CreateTable(const std::filesystem::path& dbf, const std::vector<std::string>& fields,
                          const std::vector<std::string>& tags);

  // Every live record in natural order, one text per record: each field's bytes
  // (memo: their text) joined by "|".
  static std::vector<std::string> LiveRecords(const std::filesystem::path& dbf);
  // The same on an open table.
  static std::vector<std::string> LiveRecords(xbase::Data4 data);
  // What the rows of a table look like once copied into a blank copy: blank
  // character fields hold "0".
  // Only records firstRecord to lastRecord are taken; emptyMemos: as rebuilt without
  // their memo file.
  static std::vector<std::string> AsCopied(const std::filesystem::path& dbf, long firstRecord = 1,
                                           long lastRecord = 0x7fffffff, bool emptyMemos = false);

  // Texts of the boxes shown so far.
  std::vector<std::string> BoxTexts() const;

  testing_support::TempDir temp_;
  std::filesystem::path root_;    // the databases root
  std::filesystem::path course_;  // a course folder
  std::filesystem::path brand_;   // the brand folder
  std::filesystem::path blank_;   // root/Blank
  tolvarin::ScriptedPresenter* presenter_ = nullptr;

 private:
  std::unique_ptr<tolvarin::MessagePresenter> previous_;
};

std::vector<std::uint8_t> ReadBytes(const std::filesystem::path& file);
void WriteBytes(const std::filesystem::path& file, const std::vector<std::uint8_t>& bytes);

}  // namespace tolvarin_test
