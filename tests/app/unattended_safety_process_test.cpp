// The unattended backup and restore as the host runs them unwatched, through the real
// program: bad input, retried runs and what killed runs left never cost the course
// or its backup a byte, and a backup keeps the course's own tables for its restore.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <set>

#include "course_maker.h"
#include "course_tables.h"
#include "data/codebase.h"
#include "host_run.h"
#include "support/held_file.h"

namespace fs = std::filesystem;
using app_testing::HostRun;
using app_testing::Rows;
using app_testing::RunResult;
using app_testing::Tables;
using app_testing::TreeBytes;
using testing_support::HeldFile;

namespace {

void CopyFolder(const fs::path& from, const fs::path& to) {
  fs::remove_all(to);
  fs::copy(from, to, fs::copy_options::recursive | fs::copy_options::copy_symlinks);
}

class UnattendedSafety : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (tolvarin::Engine().EngineHandle == 0) tolvarin::InitCodeBase();
  }
  void SetUp() override {
    course_maker::CourseOptions options;
    options.questions = 80;
    made = course_maker::MakeCourse(host.Scratch() + "/Install", options);
    other = course_maker::AddCourse(made.install, "Chemistry", 1, "Chemistry");
    course = made.install.course;
    backup = host.Scratch() + "/Backup";
    testing_support::WriteFile(course + "/control2.dbf", "control table");
    testing_support::WriteFile(course + "/control2.cdx", "control index");
    // A table of the course that no backup carries rows of, given rows.
    for (const char* ext : {".dbf", ".cdx", ".fpt"})
      fs::copy_file(course + "/descript" + ext, course + "/mathanswers" + ext, fs::copy_options::overwrite_existing);
    CopyFolder(course, host.Scratch() + "/Whole");
    const RunResult backed = host.Run(Args("BACKUP"));
    ASSERT_EQ(backed.status, 0) << backed.stderrText;
    ASSERT_TRUE(Tables(course).empty());
    CopyFolder(course, host.Scratch() + "/Emptied");
    CopyFolder(backup, host.Scratch() + "/Saved");
  }
  std::vector<std::string> Args(const std::string& operation, const std::string& backupPath = "",
                                const std::string& coursePath = "") const {
    std::vector<std::string> args{"AppPath:" + made.install.app, "Mode:UserContent", "Operation:" + operation,
                                  "CoursePath:" + (coursePath.empty() ? course : coursePath)};
    if (backupPath != "-") args.push_back("BackupPath:" + (backupPath.empty() ? backup : backupPath));
    return args;
  }
  // The course whole (as before its backup) or emptied by it; the backup as written.
  void Reset(bool emptied) const {
    CopyFolder(host.Scratch() + (emptied ? "/Emptied" : "/Whole"), course);
    CopyFolder(host.Scratch() + "/Saved", backup);
  }
  // Holds a file of the course as another program would, for one case.
  void Hold(const std::string& file, HeldFile::Hold how = HeldFile::Hold::Immutable) {
    holds.push_back(std::make_unique<HeldFile>(file, how));
  }
  bool HoldsWork() const {
    for (const auto& held : holds)
      if (!held->Works()) return false;
    return true;
  }
  // Each table of the course that the Blank folder has, as a reinstall leaves it.
  void ReinstallBlankTables() const {
    const auto blank = Tables(made.install.blank);
    for (const auto& [name, path] : Tables(course)) {
      if (!blank.count(name)) continue;
      for (const char* ext : {".dbf", ".cdx", ".fpt"}) {
        fs::remove(fs::path(path).replace_extension(ext));
        const fs::path from = fs::path(blank.at(name)).replace_extension(ext);
        if (fs::exists(from)) fs::copy_file(from, fs::path(course) / from.filename());
      }
    }
  }
  std::string Told(const RunResult& run) const {
    std::string told;
    for (const auto& shown : run.boxes) told += shown.box.text + "\n";
    return told + testing_support::ReadFile(made.install.app + "/tolvarin.log");
  }

  void ExpectBadInputToldAndNoFileChanged(const std::string& operation);

  void TearDown() override { holds.clear(); }

  HostRun host;
  course_maker::MadeCourse made;
  std::string other, course, backup;
  std::vector<std::unique_ptr<HeldFile>> holds;
};

// Bad input, one table of cases for both operations: each is told and leaves every
// file of the course, the backup and the folder BackupPath names as it was.
void UnattendedSafety::ExpectBadInputToldAndNoFileChanged(const std::string& operation) {
  const course_maker::Installation& in = made.install;
  const std::string staging = host.Temp() + "/UpgradeInPlace";
  std::vector<std::string> manyWords;
  for (int i = 0; i < 10000; ++i) manyWords.push_back("Word" + std::to_string(i));
  struct Case {
    std::string name;
    std::string operation;
    std::string backupPath;  // "" the backup, "-" none
    std::string coursePath;  // "" the course
    std::function<void()> prepare;
    std::vector<std::string> extra;
    std::string told;  // in a box, or in the run log where the host wants no box
    int status = 0;    // the status it ends with; 0: any but 0
  };
  std::vector<Case> cases = {
      {"no course folder", "BACKUP", "", in.area + "/Nowhere", nullptr, {}, "does not exist"},
      {"no course folder", "RESTORE", "", in.area + "/Nowhere", nullptr, {}, "does not exist"},
      {"no BackupPath, run in the course", "BACKUP", "-", "", [&] { host.SetWorkingFolder(course); }, {},
       "No BackupPath specified"},
      {"no BackupPath, run in the course", "RESTORE", "-", "", [&] { host.SetWorkingFolder(course); }, {},
       "No BackupPath specified"},
      {"a course its backup emptied", "BACKUP", "", "", [&] { CopyFolder(host.Scratch() + "/Emptied", course); }, {},
       "was backed up and emptied already"},
      {"a course without tables or saved control files", "BACKUP", "", "",
       [&] {
         CopyFolder(host.Scratch() + "/Emptied", course);
         fs::remove(course + "/control2.dbf.save");
         fs::remove(course + "/control2.cdx.save");
       },
       {}, "holds no tables"},
      // A table file the host holds open (or read-only) would stay behind alone when
      // the course is emptied: the backup is refused before it writes anything.
      {"quests.dbf held", "BACKUP", "", "", [&] { Hold(course + "/quests.dbf"); }, {}, "quests.dbf\" is held", 1},
      {"students.dbf held", "BACKUP", "", "", [&] { Hold(course + "/students.dbf"); }, {}, "students.dbf\" is held", 1},
      {"the control index held", "BACKUP", "", "", [&] { Hold(course + "/control2.cdx"); }, {},
       "control2.cdx\" is held", 1},
      // A course that lost its content never replaces a backup that holds it.
      {"a course reinstalled with blank tables", "BACKUP", "", "", [&] { ReinstallBlankTables(); }, {},
       "holds none of the rows of its backup", 1},
      {"a course a failed restore left: the control files and the kept tables back", "BACKUP", "", "",
       [&] {
         CopyFolder(host.Scratch() + "/Emptied", course);
         for (const char* file : {"control2.dbf", "control2.cdx"})
           fs::rename(course + "/" + file + ".save", course + "/" + file);
         const auto carried = Tables(backup);
         for (const auto& [name, path] : Tables(backup + "/CourseTables")) {
           if (name == "control2" || (carried.count(name) && name != "standard")) continue;
           for (const char* ext : {".dbf", ".cdx", ".fpt"}) {
             const fs::path from = fs::path(path).replace_extension(ext);
             if (fs::exists(from)) fs::copy_file(from, fs::path(course) / from.filename());
           }
         }
       },
       {}, "holds none of the rows of its backup", 1},
      {"a host file of binary garbage", "BACKUP", "", "",
       [&] { testing_support::WriteFile(in.app + "/Kestal.INI", std::string("\x00\x01\xfe[Tolv\x00\x07", 10)); },
       {}, "is not an initialisation file"},
      {"a command line of 10,000 words", "BACKUP", "", "", nullptr, manyWords, "command line is longer"},
      {"an unterminated quote", "BACKUP", "", "", nullptr, {"UserName:\"Smith"}, "never closed"},
      {"Status.DBF that is a table", "RESTORE", "", "",
       [&] { fs::copy_file(backup + "/quests.dbf", backup + "/Status.DBF", fs::copy_options::overwrite_existing); },
       {}, "Status.DBF"},
      {"no TOLVARIN.INI", "RESTORE", "", "", [&] { fs::remove(backup + "/TOLVARIN.INI"); }, {},
       "is not a Corvane Backup Folder"},
      {"quests.dbf cut in half", "RESTORE", "", "",
       [&] { fs::resize_file(backup + "/quests.dbf", fs::file_size(backup + "/quests.dbf") / 2); }, {},
       "the table quests (quests.dbf)"},
      {"an empty index", "RESTORE", "", "", [&] { fs::resize_file(backup + "/quests.cdx", 0); }, {},
       "the table quests (quests.cdx)"},
      {"a table that links outside", "RESTORE", "", "",
       [&] {
         fs::remove(backup + "/quests.dbf");
         fs::create_symlink(host.Scratch() + "/Whole/quests.dbf", backup + "/quests.dbf");
       },
       {}, "holds a link, quests.dbf"},
      {"the restore's staging folder", "RESTORE", staging, "", [&] { CopyFolder(backup, staging); }, {},
       "working folder of the program"},
  };
  const std::pair<const char*, std::string> databaseFolders[] = {
      {"the course", course},          {"its area", in.area},  {"the brand folder", in.brand},
      {"the databases root", in.databases}, {"AppPath", in.app}, {"the Blank folder", in.blank},
      {"another course", other}};
  for (const auto& [name, folder] : databaseFolders)
    for (const char* operation : {"BACKUP", "RESTORE"})
      cases.push_back({std::string("BackupPath is ") + name, operation, folder, "", nullptr, {},
                       std::string(operation) == "RESTORE" ? "is not a Corvane Backup Folder" : "Nothing was changed"});

  bool dirty = true;
  for (const Case& c : cases) {
    if (c.operation != operation) continue;
    SCOPED_TRACE(c.name + " (" + c.operation + ")");
    if (dirty || c.prepare) Reset(c.operation == "RESTORE");
    fs::remove_all(made.install.app + "/tolvarin.log");
    host.SetWorkingFolder("");
    const std::string savedIni = testing_support::ReadFile(made.install.app + "/Kestal.INI");
    if (c.prepare) c.prepare();
    const std::string backupPath = c.backupPath == "-" || c.backupPath.empty() ? backup : c.backupPath;
    const std::vector<fs::path> watched = {course, backup, backupPath, backup + ".tolvarin-new",
                                           in.app + "/Kestal.INI"};
    const auto before = TreeBytes(watched);
    std::vector<std::string> args = Args(c.operation, c.backupPath, c.coursePath);
    args.insert(args.end(), c.extra.begin(), c.extra.end());
    if (!HoldsWork()) {
      std::printf("skipped \"%s\": no file can be held here\n", c.name.c_str());
      holds.clear();
      continue;
    }
    const RunResult run = host.Run(args);
    holds.clear();
    if (c.status != 0)
      EXPECT_EQ(run.status, c.status);
    else
      EXPECT_NE(run.status, 0);
    EXPECT_NE(Told(run).find(c.told), std::string::npos) << Told(run).substr(0, 2000);
    const auto after = TreeBytes(watched);
    dirty = after != before;
    EXPECT_FALSE(dirty);
    for (const auto& [file, bytes] : before)
      if (!after.count(file) || after.at(file) != bytes) ADD_FAILURE() << "changed: " << file;
    for (const auto& [file, bytes] : after)
      if (!before.count(file)) ADD_FAILURE() << "written: " << file;
    testing_support::WriteFile(made.install.app + "/Kestal.INI", savedIni);
    fs::remove_all(staging);
  }
}

TEST_F(UnattendedSafety, BadInputToABackupIsToldAndChangesNoFile) { ExpectBadInputToldAndNoFileChanged("BACKUP"); }
TEST_F(UnattendedSafety, BadInputToARestoreIsToldAndChangesNoFile) { ExpectBadInputToldAndNoFileChanged("RESTORE"); }

// A backup empties the course of every table, also of those whose rows it does not
// carry; without a reinstalled course the restore puts the course's own copies back
// and then restores the rows into them.
TEST_F(UnattendedSafety, ARestoreIntoTheEmptiedCourseBringsBackTheTablesNoBackupCarries) {
  EXPECT_TRUE(fs::exists(backup + "/CourseTables/mathanswers.dbf"));
  const RunResult restored = host.Run(Args("RESTORE"));
  ASSERT_EQ(restored.status, 0) << restored.stderrText;
  // Every table is back; one the backup carries no rows of as the course had it.
  const auto whole = Tables(host.Scratch() + "/Whole");
  const auto carried = Tables(backup);
  const auto live = Tables(course);
  for (const auto& [name, path] : whole) {
    if (name == "control2") continue;  // the host's own file, put back from its saved copy
    ASSERT_TRUE(live.count(name)) << name;
    if (!carried.count(name)) {
      EXPECT_EQ(Rows(live.at(name)), Rows(path)) << name;
    }
  }
  EXPECT_FALSE(Rows(live.at("mathanswers")).empty());
}

// What a run killed while a new backup took the old one's place left: the next run
// finishes or undoes it, and the restore then brings every row back.
TEST_F(UnattendedSafety, ARunFinishesAKilledReplacementOfTheBackupFolder) {
  const std::string fresh = backup + ".tolvarin-new", old = backup + ".tolvarin-old";
  const auto quests = Rows(backup + "/quests.dbf");
  struct Case {
    const char* name;
    std::function<void()> leave;
  } cases[] = {
      {"the old one stepped aside", [&] { fs::rename(backup, old); }},
      {"the old one stepped aside, the new one beside it",
       [&] {
         fs::rename(backup, old);
         CopyFolder(host.Scratch() + "/Saved", fresh);
         fs::create_directories(backup);  // as the start of the next run makes it
       }},
      {"an unfinished new one beside the old one",
       [&] {
         fs::create_directories(fresh);
         testing_support::WriteFile(fresh + "/quests.dbf", "half");
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Reset(true);
    c.leave();
    const RunResult restored = host.Run(Args("RESTORE"));
    ASSERT_EQ(restored.status, 0) << restored.stderrText;
    EXPECT_EQ(Rows(Tables(course).at("quests")), quests);
    EXPECT_FALSE(fs::exists(fresh));
    EXPECT_FALSE(fs::exists(old));
    EXPECT_EQ(TreeBytes({backup}).size(), TreeBytes({host.Scratch() + "/Saved"}).size());
  }
}

// A second backup writes its folder beside the first and replaces it only once it is
// checked; an earlier backup's own pictures stay with the new one.
TEST_F(UnattendedSafety, ABackupOverAnEarlierOneReplacesItWhole) {
  Reset(false);
  testing_support::WriteFile(backup + "/logo.gif", "the teacher's logo");
  testing_support::WriteFile(backup + "/0098765.gif", "an earlier backup's image");
  const RunResult backed = host.Run(Args("BACKUP"));
  ASSERT_EQ(backed.status, 0) << Told(backed);
  EXPECT_EQ(testing_support::ReadFile(backup + "/logo.gif"), "the teacher's logo");
  EXPECT_FALSE(fs::exists(backup + "/0098765.gif"));
  EXPECT_FALSE(fs::exists(backup + ".tolvarin-new"));
  EXPECT_FALSE(fs::exists(backup + ".tolvarin-old"));
  EXPECT_EQ(Rows(backup + "/quests.dbf"), Rows(host.Scratch() + "/Saved/quests.dbf"));
}

// A table file that will not go though nothing tells so beforehand (append-only: its
// permissions say it may be written) stops the emptying of the course after its
// backup: every file taken away so far is put back, a table's three files together,
// and the run ends with status 1. Once the file is free the next backup empties it.
TEST_F(UnattendedSafety, ACourseThatCannotBeWhollyEmptiedIsPutBackAsItWas) {
  Reset(false);
  const auto before = TreeBytes({course});
  Hold(course + "/quests.fpt", HeldFile::Hold::AppendOnly);
  if (!HoldsWork()) GTEST_SKIP() << "no file can be held here";
  const RunResult held = host.Run(Args("BACKUP"));
  holds.clear();
  EXPECT_EQ(held.status, 1);
  EXPECT_NE(Told(held).find("could not be emptied of its tables: the file quests.fpt could not be taken away"),
            std::string::npos)
      << Told(held);
  EXPECT_TRUE(TreeBytes({course}) == before);
  EXPECT_EQ(Rows(backup + "/quests.dbf"), Rows(host.Scratch() + "/Saved/quests.dbf"));

  const RunResult again = host.Run(Args("BACKUP"));
  ASSERT_EQ(again.status, 0) << Told(again);
  EXPECT_TRUE(Tables(course).empty());
  EXPECT_TRUE(app_testing::FileBytes(course, {".dbf", ".cdx", ".fpt"}).empty());
}

// A kill between the moves of the control pair, or between the deletions of a
// table's files: the next run makes the pair whole and drops the index and memo
// files that lost their data file.
TEST_F(UnattendedSafety, ARunMendsWhatAKilledRunLeftOfTheCourseFiles) {
  struct Case {
    const char* name;
    const char* operation;
    std::function<void()> leave;
    std::vector<const char*> present, absent;
  } cases[] = {
      {"a restore moved the data file back only", "RESTORE",
       [&] { fs::rename(course + "/control2.dbf.save", course + "/control2.dbf"); },
       {"control2.dbf", "control2.cdx"}, {"control2.dbf.save", "control2.cdx.save"}},
      {"a backup saved the data file aside only", "BACKUP",
       [&] { fs::rename(course + "/control2.dbf", course + "/control2.dbf.save"); },
       {"control2.dbf.save", "control2.cdx.save"}, {"control2.dbf", "control2.cdx"}},
      {"a deletion left an index and a memo", "RESTORE",
       [&] {
         testing_support::WriteFile(course + "/oldnotes.cdx", "index");
         testing_support::WriteFile(course + "/oldnotes.fpt", "memo");
       },
       {"control2.dbf"}, {"oldnotes.cdx", "oldnotes.fpt"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Reset(std::string(c.operation) == "RESTORE");
    c.leave();
    const RunResult run = host.Run(Args(c.operation));
    ASSERT_EQ(run.status, 0) << run.stderrText;
    for (const char* file : c.present) EXPECT_TRUE(fs::exists(course + "/" + file)) << file;
    for (const char* file : c.absent) EXPECT_FALSE(fs::exists(course + "/" + file)) << file;
  }
}

}  // namespace
