// The repair of chosen tables: safety copies first, tables held by another program
// left alone, every recoverable record kept, and a summary instead of an end.
#include "engine/modes/table_repair.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "core/files.h"
#include "data/catalogue.h"
#include "data/codebase.h"
#include "gradebook_fixture.h"
#include "platform/xbase/xbase.h"
#include "support/test_support.h"

namespace fs = std::filesystem;

namespace gradebook_testing {
namespace {

using namespace tolvarin;

class TableRepairTest : public GradebookTest {
 protected:
  void SetUp() override {
    GradebookTest::SetUp();
    for (const char* table : {"students", "classes", "users"}) PutBlank(table, brand_);
    AddRows(brand_ / "students.dbf", {{{"student_id", "0000001"}, {"last_name", "Abel"}},
                                     {{"student_id", "0000002"}, {"last_name", "Baker"}},
                                     {{"student_id", "0000003"}, {"last_name", "Cruz"}}});
    AddRows(brand_ / "classes.dbf", {{{"class_id", "0000010"}, {"section", "A"}}});
    safety_ = (root_ / "Backup" / "Repair test" / "Corvane").string();
  }
  std::vector<std::string> Students() const { return Rows(brand_ / "students.dbf", {"student_id", "last_name"}); }
  static std::vector<std::uint8_t> Bytes(const fs::path& file) { return ReadFileBytes(file.string()); }
  void Poke(const fs::path& file, std::size_t offset, std::uint8_t value) const {
    std::vector<std::uint8_t> bytes = Bytes(file);
    bytes.at(offset) = value;
    WriteFileBytes(file.string(), bytes);
  }

  std::string safety_;
};

TEST_F(TableRepairTest, DamagedTablesAreRebuiltWithEveryRecoverableRowAndSafetyCopies) {
  const fs::path dbf = brand_ / "students.dbf";
  // Header length and record width, from the header.
  const std::vector<std::uint8_t> header = Bytes(dbf);
  const std::size_t headerLength = header[8] | (header[9] << 8);
  const std::size_t width = header[10] | (header[11] << 8);
  struct Case {
    const char* what;
    std::function<void()> damage;
    std::vector<std::string> rows;
  };
  const std::vector<Case> cases{
      {"a healthy table", [] {}, {"0000001|Abel", "0000002|Baker", "0000003|Cruz"}},
      {"a record count that is too small", [&] { Poke(dbf, 4, 1); }, {"0000001|Abel", "0000002|Baker", "0000003|Cruz"}},
      {"a missing index", [&] { fs::remove(brand_ / "students.cdx"); }, {"0000001|Abel", "0000002|Baker", "0000003|Cruz"}},
      {"a data file cut inside its last record", [&] { fs::resize_file(dbf, headerLength + 2 * width + width / 3); },
       {"0000001|Abel", "0000002|Baker"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(root_ / "Backup");
    PutBlank("students", brand_);
    AddRows(dbf, {{{"student_id", "0000001"}, {"last_name", "Abel"}},
                  {{"student_id", "0000002"}, {"last_name", "Baker"}},
                  {{"student_id", "0000003"}, {"last_name", "Cruz"}}});
    c.damage();
    const std::vector<std::uint8_t> before = Bytes(dbf);
    const RepairSummary summary = RepairTables(brand_.string(), {"students.dbf"}, safety_);
    ASSERT_EQ(summary.Tables.size(), 1u);
    EXPECT_EQ(summary.Tables[0].State, TableRepairState::Repaired) << summary.Tables[0].Why;
    EXPECT_EQ(Students(), c.rows);
    EXPECT_EQ(TagProblems(dbf), "");
    EXPECT_EQ(summary.SafetyFolder, safety_);
    EXPECT_EQ(Bytes(fs::path(safety_) / "students.dbf"), before);
  }
}

TEST_F(TableRepairTest, ARepairGoesOnPastTablesItCannotRebuildOrMustNotTouch) {
  // Deleted rows go with the rebuild; the safety copy keeps them.
  const xbase::Data4 data = xbase::d4open(Engine().EngineHandle, (brand_ / "students.dbf").string());
  ASSERT_NE(data, 0);
  xbase::d4go(data, 2);
  xbase::d4delete(data);
  xbase::d4close(data);
  const std::vector<std::uint8_t> students = Bytes(brand_ / "students.dbf");
  testing_support::WriteFile(brand_ / "users.dbf", std::string(3000, 'x'));  // nothing to rebuild from
  const std::vector<std::uint8_t> users = Bytes(brand_ / "users.dbf");

  // Another program is editing a row of classes while the repair runs.
  int ready[2], done[2];
  ASSERT_EQ(::pipe(ready), 0);
  ASSERT_EQ(::pipe(done), 0);
  const pid_t child = ::fork();
  if (child == 0) {
    const xbase::Data4 held = xbase::d4open(Engine().EngineHandle, (brand_ / "classes.dbf").string());
    const char ok = held != 0 && xbase::d4lock(held, 1) == xbase::kSuccess ? '1' : '0';
    (void)!::write(ready[1], &ok, 1);
    char end = 0;
    (void)!::read(done[0], &end, 1);
    ::_exit(0);
  }
  char ok = 0;
  ASSERT_EQ(::read(ready[0], &ok, 1), 1);
  ASSERT_EQ(ok, '1');
  const std::vector<std::uint8_t> classes = Bytes(brand_ / "classes.dbf");

  const RepairSummary summary =
      RepairTables(brand_.string(), {"users.dbf", "classes.dbf", "students.dbf", "gone.dbf"}, safety_);
  (void)!::write(done[1], "x", 1);
  int status = 0;
  ::waitpid(child, &status, 0);

  ASSERT_EQ(summary.Tables.size(), 4u);
  EXPECT_EQ(summary.Tables[0].State, TableRepairState::Failed);
  EXPECT_EQ(Bytes(brand_ / "users.dbf"), users);
  EXPECT_EQ(summary.Tables[1].State, TableRepairState::Skipped);
  EXPECT_EQ(summary.Tables[1].Why, "another program is using it");
  EXPECT_EQ(Bytes(brand_ / "classes.dbf"), classes);
  EXPECT_EQ(summary.Tables[2].State, TableRepairState::Repaired);
  EXPECT_EQ(Students(), (std::vector<std::string>{"0000001|Abel", "0000003|Cruz"}));
  EXPECT_EQ(Bytes(fs::path(safety_) / "students.dbf"), students);
  EXPECT_EQ(summary.Tables[3].State, TableRepairState::Skipped);

  const std::string text = RepairSummaryText(summary);
  EXPECT_EQ(text.rfind(kFinishedProcessing, 0), 0u);
  for (const char* part : {"Repaired:\r\nstudents.dbf (2 records)", "Not repaired:\r\nclasses.dbf: another program",
                           "Could not be repaired:\r\nusers.dbf: it could not be rebuilt", "are kept in "})
    EXPECT_NE(text.find(part), std::string::npos) << part << "\n" << text;
}

TEST_F(TableRepairTest, LocationsFilesAndSafetyFolders) {
  Areas().Records.assign(1, AreaRecord{});
  Areas().Records[0].Name = "Math";
  Areas().Records[0].AreaID = 2;
  Areas().Records[0].Courses[3].Loaded = true;
  Areas().Records[0].Courses[3].DisplayName = "Algebra I";
  Areas().Records[0].Courses[3].Path = course_.string();
  Areas().Records[0].Courses[5].DisplayName = "not installed";
  Areas().Count = 1;
  const std::vector<RepairLocation> locations = RepairLocations(brand_.string());
  ASSERT_EQ(locations.size(), 2u);
  EXPECT_EQ(locations[0].Label, "Users");
  EXPECT_EQ(locations[0].Folder, brand_.string());
  EXPECT_EQ(locations[1].Label, "Math\\Algebra I");
  EXPECT_EQ(locations[1].Folder, course_.string());
  Areas() = AreaCatalogue{};

  for (const char* name : {"A.DBF", "b.dbf", "c.Dbf", "d.cdx", "e.dbf.txt"}) testing_support::WriteFile(course_ / name, "");
  EXPECT_EQ(DatabaseFilesIn(course_.string()), (std::vector<std::string>{"A.DBF", "b.dbf", "c.Dbf"}));
  EXPECT_TRUE(DatabaseFilesIn((course_ / "none").string()).empty());

  const std::string first = NewSafetyFolder(root_.string(), course_.string(), "2026-12-11 03:04:05");
  EXPECT_EQ(first, (root_ / "Backup" / "Repair 2026-12-11 03.04.05" / "Corvane" / "Math" / "Algebra").string());
  fs::create_directories(first);
  EXPECT_EQ(NewSafetyFolder(root_.string(), brand_.string(), "2026-12-11 03:04:05"),
            (root_ / "Backup" / "Repair 2026-12-11 03.04.05 (2)" / "Corvane").string());
}

}  // namespace
}  // namespace gradebook_testing
