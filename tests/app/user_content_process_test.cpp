// User-content runs through the real program: the login of an interactive run and
// the frame of an unattended one (operation words, the course's control files).
#include <gtest/gtest.h>

#include <filesystem>

#include "construction/blank_tables.h"
#include "construction/schema.h"
#include "core/terminate.h"
#include "data/codebase.h"
#include "engine/startup.h"
#include "host_run.h"

namespace fs = std::filesystem;
using app_testing::HostRun;
using app_testing::RunResult;

namespace {

constexpr const char* kCourse = "Databases/Corvane/Math/Algebra";

class UserContentProcess : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (tolvarin::Engine().EngineHandle == 0) tolvarin::InitCodeBase();
  }
  void SetUp() override {
    host.HostIni("");
    fs::create_directories(host.At(kCourse));
  }
  // The brand folder gets the users of a new database (LATSEK and MENTOR).
  void PutUsers() {
    tolvarin::DefineDatabase();
    const std::string blank = host.Scratch() + "/Blank";
    tolvarin::CreateBlankTables(blank);
    for (const char* file : {"users.dbf", "users.cdx"})
      fs::copy_file(blank + "/" + file, host.At(std::string("Databases/Corvane/") + file));
  }
  void PutControlFiles(const std::string& dbf, const std::string& cdx) {
    host.Put(std::string(kCourse) + "/control2.dbf", dbf);
    host.Put(std::string(kCourse) + "/control2.cdx", cdx);
  }
  std::string Course(const std::string& name) const { return host.At(std::string(kCourse) + "/" + name); }
  RunResult Unattended(const std::string& operation, const std::string& backup = "BackupPath:Backups") {
    return host.RunHere({"Operation:" + operation, backup, "CoursePath:" + host.At(kCourse)});
  }

  HostRun host;
};

TEST_F(UserContentProcess, LoginFindsTheExactUserAndChecksThePassword) {
  PutUsers();
  struct Row {
    const char* user;
    const char* password;
    int status;
    const char* kind;
    const char* text;
  } rows[] = {
      // Name and password are compared without regard to case or surrounding blanks.
      {"UserName:latsek", "Password: 580246 ", tolvarin::kNotAvailableStatus, "System", "You are logged in"},
      {"UserName:Mentor", "Password:tobrin", tolvarin::kNotAvailableStatus, "System", "You are logged in"},
      // A name that only begins another user's name finds no user.
      {"UserName:LATSE", "Password:580246", tolvarin::kTerminateStatus, "System", "The user cannot be found."},
      {"UserName:NOBODY", "Password:580246", tolvarin::kTerminateStatus, "System", "The user cannot be found."},
      {"UserName:LATSEK", "Password:TOBRIN", tolvarin::kTerminateStatus, "Facility",
       "The user cannot be authenticated."},
      {"UserName:LATSEK", "Password:", tolvarin::kTerminateStatus, "Facility", "The user cannot be authenticated."},
      {"UserName:", "Password:580246", tolvarin::kTerminateStatus, "System", "cannot be run directly"},
  };
  for (const Row& row : rows) {
    const RunResult run =
        host.RunHere({"Interactive:TRUE", row.user, row.password, "CoursePath:" + host.At(kCourse)});
    EXPECT_EQ(run.status, row.status) << row.user << run.stderrText;
    ASSERT_EQ(run.boxes.size(), 1u) << row.user;
    EXPECT_EQ(run.boxes[0].kind, row.kind) << row.user;
    EXPECT_NE(run.boxes[0].box.text.find(row.text), std::string::npos) << row.user << ": " << run.boxes[0].box.text;
  }
  // Without a BackupPath the login makes the databases' Backup folder.
  EXPECT_TRUE(fs::is_directory(host.At("Databases/Corvane/Math/Algebra/../../../Backup")));
}

TEST_F(UserContentProcess, AnUnknownOperationStopsWithItsBox) {
  for (const char* word : {"", "COPY"}) {
    const RunResult run = Unattended(word);
    EXPECT_EQ(run.status, tolvarin::kTerminateStatus) << word;
    ASSERT_EQ(run.boxes.size(), 1u) << word;
    EXPECT_EQ(run.boxes[0].box.text,
              "No Operation specified to Corvane Backup and Restore System.  Please call 1-888-CORVANE for more "
              "information.");
  }
}

TEST_F(UserContentProcess, AMissingCourseEndsTheRunSilently) {
  const RunResult run = host.RunHere({"Operation:BACKUP", "BackupPath:Backups", "CoursePath:" + host.At("nowhere")});
  EXPECT_EQ(run.status, tolvarin::kTerminateStatus);
  EXPECT_TRUE(run.boxes.empty());
}

TEST_F(UserContentProcess, EveryOperationWithoutItsCourseEndsSilentlyAndWritesNothing) {
  for (const char* word : {"RESTORE", "LUDORAIMPORT", "GBEXPORT"}) {
    const RunResult run = host.RunHere({std::string("Operation:") + word, "BackupPath:Backups", "Exam:20001",
                                        "CoursePath:" + host.At("nowhere")});
    EXPECT_EQ(run.status, tolvarin::kTerminateStatus) << word;
    EXPECT_TRUE(run.boxes.empty()) << word;
    EXPECT_FALSE(fs::exists(host.At("nowhere"))) << word;
    EXPECT_TRUE(fs::is_empty(host.At("Backups"))) << word;
    EXPECT_FALSE(fs::exists(host.Temp() + "/cortemp")) << word;
    EXPECT_FALSE(fs::exists(host.Temp() + "/UpgradeInPlace")) << word;
  }
}

TEST_F(UserContentProcess, ARestoreInAnyCasePutsTheSavedControlFilesBackOnceItsBackupPassedItsChecks) {
  PutControlFiles("live dbf", "live cdx");
  host.Put(std::string(kCourse) + "/control2.dbf.save", "saved dbf");
  host.Put(std::string(kCourse) + "/control2.cdx.save", "saved cdx");
  // A refused restore (Backups is no backup yet) leaves them as they were.
  EXPECT_NE(Unattended("restore").status, 0);
  EXPECT_EQ(testing_support::ReadFile(Course("control2.dbf")), "live dbf");
  EXPECT_EQ(testing_support::ReadFile(Course("control2.dbf.save")), "saved dbf");
  host.Put("Backups/TOLVARIN.INI", "[Tolvarin]\r\nCreated=2026-01-01 10:00:00\r\nType=UserContent\r\n");
  host.Put("Backups/Status.DBF", "[Version]\r\nSchema=3\r\n");
  Unattended("restore");
  EXPECT_EQ(testing_support::ReadFile(Course("control2.dbf")), "saved dbf");
  EXPECT_EQ(testing_support::ReadFile(Course("control2.cdx")), "saved cdx");
  EXPECT_FALSE(fs::exists(Course("control2.dbf.save")));
  EXPECT_FALSE(fs::exists(Course("control2.cdx.save")));
}

TEST_F(UserContentProcess, ARestoreWithoutSavedControlFilesLeavesThemAlone) {
  PutControlFiles("live dbf", "live cdx");
  Unattended("RESTORE");
  EXPECT_EQ(testing_support::ReadFile(Course("control2.dbf")), "live dbf");
  EXPECT_EQ(testing_support::ReadFile(Course("control2.cdx")), "live cdx");
}

TEST_F(UserContentProcess, ABackupThatDidNotRunToItsEndLeavesTheCourseAlone) {
  PutControlFiles("live dbf", "live cdx");
  host.Put(std::string(kCourse) + "/quests.dbf", "rows");
  const RunResult run = Unattended("BACKUP");
  EXPECT_NE(run.status, 0);
  EXPECT_TRUE(fs::exists(Course("quests.dbf")));
  EXPECT_TRUE(fs::exists(Course("control2.dbf")));
  EXPECT_FALSE(fs::exists(Course("control2.dbf.save")));
}

TEST_F(UserContentProcess, ABackupFolderThatHoldsTheCourseIsRefused) {
  host.Put(std::string(kCourse) + "/quests.dbf", "rows");
  for (const std::string& backup : {std::string(kCourse), std::string("Databases/Corvane/Math"),
                                   std::string("Databases"), std::string(".")}) {
    const RunResult run = Unattended("BACKUP", "BackupPath:" + host.At(backup));
    EXPECT_EQ(run.status, tolvarin::kTerminateStatus) << backup;
    ASSERT_EQ(run.boxes.size(), 1u) << backup;
    EXPECT_NE(run.boxes[0].box.text.find("may not be the course folder"), std::string::npos);
    EXPECT_TRUE(fs::exists(Course("quests.dbf"))) << backup;
  }
}

}  // namespace
