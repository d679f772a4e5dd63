// The restore's application of gradebook backups, oldest first, to the live folder.
#include "engine/modes/gradebook_restore.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "core/strings.h"
#include "data/codebase.h"
#include "engine/modes/precision_backup.h"
#include "engine/modes/restore_point.h"
#include "platform/zip/zip.h"
#include "gradebook_fixture.h"
#include "platform/xbase/xbase.h"
#include "support/test_support.h"

namespace fs = std::filesystem;

namespace gradebook_testing {
namespace {

using namespace tolvarin;

class GradebookRestoreTest : public GradebookTest {
 protected:
  void SetUp() override {
    GradebookTest::SetUp();
    PutBlank("students", brand_);
    AddRows(brand_ / "students.dbf", {{{"student_id", "0000001"}, {"last_name", "Abel"}},
                                     {{"student_id", "0000002"}, {"last_name", "Baker"}},
                                     {{"student_id", "0000003"}, {"last_name", "Cruz"}}});
    PutBlank("charattributes", brand_);
    AddRows(brand_ / "charattributes.dbf",
            {{{"table_name", "students"}, {"table_id", "0000001"}, {"attr_key", "nickname"}, {"attr_value", "Al"}},
             {{"table_name", "students"}, {"table_id", "3"}, {"attr_key", "nickname"}, {"attr_value", "Cee"}}});
  }

  // A precision backup of students 1 to 3 of the brand folder, as the gradebook makes one.
  void Backup(const std::string& folderName) const {
    const fs::path folder = root_ / "Backup" / folderName;
    fs::create_directories(folder);
    testing_support::WriteFile(folder / kBackupProfileName,
                               "<CourseBackupProfile><Path>" + brand_.string() +
                                   "/</Path><TableBackupProfile><Name>students</Name><Tag>student_id</Tag>"
                                   "<ID>0000001</ID><ID>0000002</ID><ID>0000003</ID></TableBackupProfile>"
                                   "</CourseBackupProfile>");
    ASSERT_EQ(RunPrecisionBackup(folder.string(), blank_.string()).Skipped, 0);
  }

  // Sets a field of the live row with the key on the tag; delete marks it deleted.
  void Change(const std::string& table, const std::string& tag, const std::string& key, const std::string& field,
              const std::string& value, bool remove = false) const {
    const xbase::Data4 data = xbase::d4open(Context(), (brand_ / (table + ".dbf")).string());
    ASSERT_NE(data, 0);
    xbase::d4tagSelect(data, xbase::d4tag(data, tag));
    ASSERT_EQ(xbase::d4seek(data, key), 0) << key;
    if (remove) {
      xbase::d4delete(data);
      xbase::d4pack(data);
    } else {
      xbase::f4assign(xbase::d4field(data, field), value);
    }
    xbase::d4close(data);
  }
  static xbase::Code4 Context() { return tolvarin::Engine().EngineHandle; }

  std::vector<std::string> Students() const { return Rows(brand_ / "students.dbf", {"student_id", "last_name"}); }
  std::vector<std::string> Attributes() const {
    return Rows(brand_ / "charattributes.dbf", {"table_id", "attr_key", "attr_value"});
  }
};

TEST_F(GradebookRestoreTest, IncrementsAreAppliedOneToNInNumberOrderWithTheirAttributes) {
  Backup("GradebookBackup1");
  Change("students", "student_id", "0000002", "last_name", "Baker2");
  Change("charattributes", "primarykey", AttributeRowKey("students", "0000001") + "nickname", "attr_value", "Ally");
  Change("students", "student_id", "0000003", "", "", true);
  Backup("GradebookBackup2");
  Change("students", "student_id", "0000002", "last_name", "Baker10");
  Backup("GradebookBackup10");

  // Everything changed since, the attribute of student 3 included.
  Change("students", "student_id", "0000001", "last_name", "Xavier");
  Change("students", "student_id", "0000002", "last_name", "Young");
  AddRows(brand_ / "students.dbf", {{{"student_id", "0000003"}, {"last_name", "Zed"}}});
  Change("charattributes", "primarykey", AttributeRowKey("students", "0000001") + "nickname", "attr_value", "Zap");

  const auto backups = ListGradebookBackups((root_ / "Backup").string());
  ASSERT_EQ(backups.size(), 3u);

  ProfileApplication result = RestoreFromIncrements(backups, 2, brand_.string(), "");
  EXPECT_EQ(result.Skipped, 0);
  EXPECT_EQ(Students(), (std::vector<std::string>{"0000001|Abel", "0000002|Baker2"}));
  // Student 3 was gone at backup 2: so are its row and its attribute (stored under the plain number).
  EXPECT_EQ(Attributes(), (std::vector<std::string>{"0000001|nickname|Ally"}));
  EXPECT_EQ(TagProblems(brand_ / "students.dbf"), "");
  EXPECT_EQ(TagProblems(brand_ / "charattributes.dbf"), "");

  // "GradebookBackup10" comes after "GradebookBackup2".
  RestoreFromIncrements(backups, 10, brand_.string(), "");
  EXPECT_EQ(Students(), (std::vector<std::string>{"0000001|Abel", "0000002|Baker10"}));

  // Backup 1 alone brings student 3 back with its attribute.
  RestoreFromIncrements(backups, 1, brand_.string(), "");
  EXPECT_EQ(Students(), (std::vector<std::string>{"0000001|Abel", "0000002|Baker", "0000003|Cruz"}));
  EXPECT_EQ(Attributes(), (std::vector<std::string>{"0000001|nickname|Al", "3|nickname|Cee"}));
}

TEST_F(GradebookRestoreTest, AProfileForAnotherFolderOrWithUnsafeNamesChangesNothing) {
  Backup("GradebookBackup1");
  Change("students", "student_id", "0000001", "last_name", "Xavier");
  const auto backups = ListGradebookBackups((root_ / "Backup").string());
  const ProfileApplication other = RestoreFromIncrements(backups, 1, brand_.string(), "Math/Algebra");
  EXPECT_EQ(other.Rows, 0);
  EXPECT_EQ(Students()[0], "0000001|Xavier");
  EXPECT_EQ(ApplyBackupProfile(backups[0].Folder, brand_.string(), "../..").Skipped, 1);

  testing_support::WriteFile(fs::path(backups[0].Folder) / kBackupProfileName,
                             "<CourseBackupProfile><Path>" + brand_.string() +
                                 "/</Path><TableBackupProfile><Name>../Corvane/students</Name><Tag>student_id</Tag>"
                                 "<ID>0000001</ID></TableBackupProfile></CourseBackupProfile>");
  const ProfileApplication unsafe = ApplyBackupProfile(backups[0].Folder, brand_.string(), "");
  EXPECT_EQ(unsafe.Skipped, 1);
  EXPECT_EQ(Students()[0], "0000001|Xavier");
}

// The brand folder as the dialog lists it, and three backups with changes between.
class RestorePointTest : public GradebookRestoreTest {
 protected:
  void SetUp() override {
    GradebookRestoreTest::SetUp();
    Backup("GradebookBackup1");
    Change("students", "student_id", "0000002", "last_name", "Baker2");
    Backup("GradebookBackup2");
    Change("students", "student_id", "0000003", "", "", true);
    Backup("GradebookBackup3");
    // The live state the user now wants to leave.
    Change("students", "student_id", "0000001", "last_name", "Xavier");
    AddRows(brand_ / "students.dbf", {{{"student_id", "0000004"}, {"last_name", "Dunn"}}});
    live_ = Students();
    backups_ = ListGradebookBackups((root_ / "Backup").string());
    ASSERT_EQ(backups_.size(), 3u);
  }
  void TearDown() override {
    SetRestorePointWriter({});
    GradebookRestoreTest::TearDown();
  }
  GradebookRestoreOutcome Restore(std::size_t index, const fs::path& folder) const {
    return RestoreFoldersFromBackup(backups_, index, {{"Students \\ Teachers", folder.string(), -1}},
                                    root_.string(), brand_.string());
  }
  // The students table as a restore point holds it.
  std::vector<std::string> StudentsIn(const fs::path& zip) const {
    const fs::path out = temp_.path() / ("out-" + zip.stem().string());
    EXPECT_TRUE(zipio::ExtractAll(zip.string(), out.string(), "").ok);
    return Rows(out / "students.dbf", {"student_id", "last_name"});
  }

  std::vector<std::string> live_;
  std::vector<GradebookBackup> backups_;
};

TEST_F(RestorePointTest, TheFolderGoesIntoACheckedRestorePointThenBackupsOneToNAreApplied) {
  const GradebookRestoreOutcome outcome = Restore(2, brand_);
  ASSERT_EQ(outcome.Folders.size(), 1u);
  EXPECT_TRUE(outcome.Folders[0].Restored) << outcome.Folders[0].Why;
  EXPECT_EQ(GradebookRestoreMessage(outcome), kDatabasesRestored);
  // Backup 3's state: 2 changed by backup 2, 3 gone by backup 3, and 4 never backed up.
  EXPECT_EQ(Students(), (std::vector<std::string>{"0000001|Abel", "0000002|Baker2"}));
  EXPECT_EQ(TagProblems(brand_ / "students.dbf"), "");
  const fs::path first = root_ / "Backup" / "RestorePoint1.zip";
  EXPECT_EQ(outcome.Folders[0].RestorePoint, first.string());
  EXPECT_EQ(StudentsIn(first), live_);

  // The next restore takes the next free restore point and keeps the first.
  Restore(0, brand_);
  EXPECT_EQ(Students(), (std::vector<std::string>{"0000001|Abel", "0000002|Baker", "0000003|Cruz"}));
  EXPECT_EQ(StudentsIn(root_ / "Backup" / "RestorePoint2.zip"), (std::vector<std::string>{"0000001|Abel",
                                                                                           "0000002|Baker2"}));
  EXPECT_EQ(StudentsIn(first), live_);
}

TEST_F(RestorePointTest, AFolderThatCannotBeRestoredIsLeftAsItWasAndNamed) {
  struct Case {
    const char* what;
    std::function<void()> damage;
    const char* inMessage;
  };
  const std::vector<Case> cases{
      {"the restore point is not written",
       [] {
         SetRestorePointWriter([](const std::string&, const std::vector<std::string>&) {
           return zipio::Outcome{false, "the disk is full", {}, {}};
         });
       },
       "could not be written (the disk is full)"},
      {"an increment cannot be applied",
       [this] {
         testing_support::WriteFile(root_ / "Backup" / "GradebookBackup2" / "students.dbf", std::string(2000, 'x'));
       },
       "it was left as it was (its files are also kept in"},
      {"the folder is not one of the databases", [] {}, "is not a folder of the databases"},
      {"an increment is missing",
       [this] {
         fs::remove(root_ / "Backup" / "GradebookBackup2" / kBackupProfileName);
         backups_ = ListGradebookBackups((root_ / "Backup").string());
       },
       "Backup 2 is missing"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    c.damage();
    const bool outside = std::string(c.what).find("not one of") != std::string::npos;
    const GradebookRestoreOutcome outcome = Restore(backups_.size() - 1, outside ? temp_.path() : brand_);
    const std::string message = GradebookRestoreMessage(outcome);
    EXPECT_NE(message, kDatabasesRestored);
    EXPECT_NE(message.find(c.inMessage), std::string::npos) << message;
    EXPECT_EQ(Students(), live_);
    EXPECT_EQ(TagProblems(brand_ / "students.dbf"), "");
    SetRestorePointWriter({});
  }
}

TEST_F(RestorePointTest, AFolderNoBackupNamesKeepsItsTablesAndALeftoverStagingIsDropped) {
  PutBlank("classes", course_);
  AddRows(course_ / "classes.dbf", {{{"class_id", "0000010"}, {"section", "Algebra"}}});
  // What a restore killed before it marked its new tables left in the folder.
  fs::create_directories(course_ / ".tolvarin-swap");
  testing_support::WriteFile(course_ / ".tolvarin-swap" / "classes.dbf", "half made");
  const auto files = FilesBelow(course_);
  const GradebookRestoreOutcome outcome = RestoreFoldersFromBackup(
      backups_, backups_.size() - 1, {{"Algebra", course_.string(), 1001}}, root_.string(), brand_.string());
  EXPECT_EQ(GradebookRestoreMessage(outcome), kDatabasesRestored);
  EXPECT_FALSE(fs::exists(course_ / ".tolvarin-swap"));
  auto expected = files;
  std::erase_if(expected, [](const std::string& file) { return file.find(".tolvarin-swap") != std::string::npos; });
  EXPECT_EQ(FilesBelow(course_), expected);
  EXPECT_EQ(Rows(course_ / "classes.dbf", {"class_id", "section"}), (std::vector<std::string>{"0000010|Algebra"}));
}

}  // namespace
}  // namespace gradebook_testing
