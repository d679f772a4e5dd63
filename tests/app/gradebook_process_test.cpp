// The gradebook's modes through the real program, as the gradebook starts them.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <iterator>

#include "construction/blank_tables.h"
#include "construction/schema.h"
#include "core/strings.h"
#include "data/codebase.h"
#include "engine/gradebook_fixture.h"
#include "host_run.h"

namespace fs = std::filesystem;
using app_testing::HostRun;
using app_testing::RunResult;
using namespace gradebook_testing;

namespace {

class GradebookProcess : public ::testing::Test {
 protected:
  void SetUp() override {
    if (tolvarin::Engine().EngineHandle == 0) tolvarin::InitCodeBase();
    if (tolvarin::TableDefs().empty()) tolvarin::DefineDatabase();
    host.HostIni("");
    blank_ = host.At("Databases/Blank");
    brand_ = host.At("Databases/Corvane");
    course_ = host.At("Databases/Corvane/Math/Algebra");
    tolvarin::CreateBlankTables(blank_.string());
  }
  std::string LogNotes() const {
    std::string notes;
    for (const auto& line : host.LogLines())
      if (line.find("skipped") != std::string::npos || line.find("not converted") != std::string::npos)
        notes += line + "\n";
    return notes;
  }

  HostRun host;
  fs::path blank_, brand_, course_;
};

TEST_F(GradebookProcess, PrecisionBackupMirrorsTheProfileAndRefusesHostileNames) {
  CopyBlank(blank_, "students", brand_);
  AddRows(brand_ / "students.dbf", {{{"student_id", "0000001"}, {"last_name", "Abel"}},
                                    {{"student_id", "0000002"}, {"last_name", "Baker"}}});
  CopyBlank(blank_, "charattributes", brand_);
  AddRows(brand_ / "charattributes.dbf",
          {{{"table_name", "students"}, {"table_id", "2"}, {"attr_key", "seat"}, {"attr_value", "B7"}}});
  CopyBlank(blank_, "classes", course_);
  AddRows(course_ / "classes.dbf", {{{"class_id", "0000010"}, {"section", "3Algebra"}}});

  const fs::path backup = host.At("Databases/Backup/GradebookBackup1");
  fs::create_directories(backup);
  const auto element = [](const std::string& name, const std::string& tag, const std::string& ids) {
    return "<TableBackupProfile><Name>" + name + "</Name><Tag>" + tag + "</Tag>" + ids + "</TableBackupProfile>";
  };
  testing_support::WriteFile(
      backup / "backupprofile.xml",
      "<CourseBackupProfile><Path>" + brand_.string() + "/</Path>" +
          element("students", "student_id", "<ID>0000002</ID>") +
          element("../../../../../victim", "student_id", "<ID>0000001</ID>") + "</CourseBackupProfile>" +
          "<CourseBackupProfile><Path>" + course_.string() + "/</Path>" +
          element("classes", "class_id", "<ID>0000010</ID>") + "</CourseBackupProfile>" +
          "<CourseBackupProfile><Path>" + brand_.string() + "/../../../../../victim/</Path>" +
          element("students", "student_id", "<ID>0000001</ID>") + "</CourseBackupProfile>");

  std::vector<std::string> outside = FilesBelow(host.Scratch());
  const RunResult run = host.RunHere({"Mode:PRECISIONBACKUP", "BackupPath:Databases/Backup/GradebookBackup1"});
  EXPECT_EQ(run.status, 1) << run.stderrText;  // something was skipped
  EXPECT_TRUE(run.boxes.empty());
  EXPECT_EQ(Rows(backup / "students.dbf", {"student_id", "last_name"}), (std::vector<std::string>{"0000002|Baker"}));
  EXPECT_EQ(Rows(backup / "charattributes.dbf", {"table_id", "attr_value"}), (std::vector<std::string>{"2|B7"}));
  EXPECT_EQ(Rows(backup / "Math/Algebra/classes.dbf", {"class_id", "section"}),
            (std::vector<std::string>{"0000010|3Algebra"}));
  EXPECT_EQ(TagProblems(backup / "students.dbf"), "");

  // Nothing was written outside the backup folder but the run log and the program's
  // own lock files, and the test's own files beside the host.
  std::vector<std::string> now = FilesBelow(host.Scratch());
  const auto inBackupOrLog = [](const std::string& file) {
    return file.find("Databases/Backup/GradebookBackup1/") != std::string::npos ||
           file.find("tolvarin.log") != std::string::npos || file.find('/') == std::string::npos ||
           (file.rfind("tmp/tolvarin-", 0) == 0 && file.find("/locks/") != std::string::npos);
  };
  std::erase_if(outside, inBackupOrLog);
  std::erase_if(now, inBackupOrLog);
  std::vector<std::string> added;
  std::set_difference(now.begin(), now.end(), outside.begin(), outside.end(), std::back_inserter(added));
  EXPECT_TRUE(added.empty()) << (added.empty() ? "" : added.front());
  EXPECT_EQ(now.size(), outside.size());
  const std::string notes = LogNotes();
  EXPECT_NE(notes.find("Precision backup skipped: the table name \"../../../../../victim\""), std::string::npos) << notes;
  EXPECT_NE(notes.find("leads outside the backup folder"), std::string::npos) << notes;

  // A clean profile ends with status 0.
  testing_support::WriteFile(backup / "backupprofile.xml", "<CourseBackupProfile><Path>" + course_.string() +
                                                               "/</Path>" + element("classes", "class_id", "<ID>0000010</ID>") +
                                                               "</CourseBackupProfile>");
  EXPECT_EQ(host.RunHere({"Mode:PrecisionBackup", "BackupPath:Databases/Backup/GradebookBackup1"}).status, 0);
}

TEST_F(GradebookProcess, GradebookUpdateConvertsTheClassTables) {
  // The gradebook names its database folder as BackupPath and the folder of its new,
  // empty tables as CoursePath.
  const fs::path database = host.At("Gradebook/Data");
  const fs::path work = host.At("Gradebook/New");
  CopyBlank(blank_, "classes", database);
  AddRows(database / "classes.dbf", {{{"class_id", "0000010"}, {"section", "3Algebra"}, {"user_id", "0001001"}},
                                     {{"class_id", "0000011"}, {"section", "Geometry"}, {"user_id", "0001001"}}});
  CopyBlank(blank_, "students", database);
  AddRows(database / "students.dbf", {{{"student_id", "0000001"}, {"class_id", "0000010"}}});
  CreateTable(work / "classes.dbf",
              {"class_id:C:7", "user_id:C:7", "section:C:64", "block:C:16", "grade:C:8", "period:C:8", "semester:C:8",
               "year:C:8", "variation:C:16"},
              {"class_id=class_id", "user_id=user_id"});
  CreateTable(work / "studentclass.dbf", {"class_id:C:7", "student_id:C:7"},
              {"class_id=class_id", "student_id=student_id", "clst_id=class_id+student_id"});

  const std::vector<std::string> args{"Mode:GRADEBOOKUPDATE", "BackupPath:" + database.string(),
                                      "CoursePath:" + work.string()};
  const RunResult run = host.RunHere(args);
  EXPECT_EQ(run.status, 0) << run.stderrText << LogNotes();
  EXPECT_TRUE(run.boxes.empty());
  EXPECT_EQ(Rows(database / "classes.dbf", {"class_id", "period", "section"}),
            (std::vector<std::string>{"0000010|3|Algebra", "0000011|0|Geometry"}));
  EXPECT_EQ(Rows(database / "studentclass.dbf", {"class_id", "student_id"}),
            (std::vector<std::string>{"0000010|0000001"}));
  EXPECT_EQ(TagProblems(database / "classes.dbf"), "");

  // Run again: already converted, refused, said in the log, nothing changed.
  const std::string converted = testing_support::ReadFile(database / "classes.dbf");
  EXPECT_EQ(host.RunHere(args).status, 1);
  EXPECT_EQ(testing_support::ReadFile(database / "classes.dbf"), converted);
  EXPECT_NE(LogNotes().find("Class tables not converted: the classes table of"), std::string::npos) << LogNotes();
}

}  // namespace
