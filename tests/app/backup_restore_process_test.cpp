// The program's main job through the real binary: an unattended backup of a realistic
// course into a backup folder, which empties the course of its tables, and the
// unattended restore that brings every backed-up row back with its identifier.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <set>

#include "core/terminate.h"
#include "course_maker.h"
#include "data/codebase.h"
#include "engine/startup.h"
#include "course_tables.h"
#include "host_run.h"
#include "platform/xbase/tag_check.h"
#include "platform/xbase/xbase.h"

namespace fs = std::filesystem;
using app_testing::HostRun;
using app_testing::RunResult;
using app_testing::Rows;
using app_testing::Tables;

namespace {

// Each row by its identifier and texts: a rebuilt table writes its empty numbers as 0.
std::multiset<std::string> Keys(const std::multiset<std::string>& rows) {
  std::multiset<std::string> keys;
  for (const std::string& row : rows) {
    std::string key;
    for (size_t at = 0, next; (next = row.find('|', at)) != std::string::npos; at = next + 1) {
      const std::string field = row.substr(at, next - at);
      if (field.find_first_not_of("0123456789 ") != std::string::npos || at == 0) key += field + "|";
    }
    keys.insert(key);
  }
  return keys;
}

// The live rows among the first `count` records of a table, as Rows gives them.
std::multiset<std::string> FirstRows(const fs::path& dbf, long count) {
  std::multiset<std::string> rows;
  xbase::Data4 data = xbase::d4open(tolvarin::Engine().EngineHandle, dbf.string());
  EXPECT_NE(data, 0) << dbf;
  if (data == 0) return rows;
  for (long recno = 1; recno <= count && xbase::d4go(data, recno) == 0; ++recno) {
    if (xbase::d4deleted(data)) continue;
    std::string row;
    for (int j = 1; j <= xbase::d4numFields(data); ++j) row += xbase::f4memoStr(xbase::d4fieldJ(data, j)) + "|";
    rows.insert(row);
  }
  xbase::d4close(data);
  return rows;
}

class BackupRestoreProcess : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (tolvarin::Engine().EngineHandle == 0) tolvarin::InitCodeBase();
  }
  void SetUp() override {
    course_maker::CourseOptions options;
    options.questions = 300;
    made = course_maker::MakeCourse(host.Scratch() + "/Install", options);
    backup = host.Scratch() + "/Backup";
  }
  RunResult Run(const std::string& operation) const {
    return host.Run({"AppPath:" + made.install.app, "Mode:UserContent", "Operation:" + operation,
                     "CoursePath:" + made.install.course, "BackupPath:" + backup});
  }

  HostRun host;
  course_maker::MadeCourse made;
  std::string backup;
};

TEST_F(BackupRestoreProcess, ABackupEmptiesTheCourseAndARestoreBringsEveryRowBack) {
  testing_support::WriteFile(made.install.course + "/control2.dbf", "control table");
  testing_support::WriteFile(made.install.course + "/control2.cdx", "control index");
  std::map<std::string, std::multiset<std::string>> tree;  // the standards tree and its links as the course holds them
  for (const char* table : {"standard", "stanques"}) tree[table] = Rows(Tables(made.install.course).at(table));
  const RunResult backed = Run("BACKUP");
  ASSERT_EQ(backed.status, 0) << backed.stderrText;
  EXPECT_TRUE(backed.boxes.empty());
  // The backup folder: its description without the catalogue's keys, the version
  // file, the non-empty tables, the images and the users.
  const std::string ini = testing_support::ReadFile(backup + "/TOLVARIN.INI");
  EXPECT_NE(ini.find("Type=UserContent"), std::string::npos);
  EXPECT_EQ(ini.find("AreaID"), std::string::npos);
  EXPECT_EQ(ini.find("CourseID"), std::string::npos);
  EXPECT_TRUE(fs::exists(backup + "/Status.DBF"));
  const auto backedUp = Tables(backup);
  for (const char* table : {"quests", "exams", "examques", "users", "templates", "sessions"})
    EXPECT_TRUE(backedUp.count(table)) << table;
  for (const std::string& image : made.content.imageFiles) {
    if (image.rfind("002", 0) != 0) continue;
    EXPECT_TRUE(fs::exists(backup + "/" + image)) << image;
  }

  // The course has no table left, only its saved control files.
  EXPECT_TRUE(Tables(made.install.course).empty());
  EXPECT_TRUE(fs::exists(made.install.course + "/control2.dbf.save"));
  EXPECT_TRUE(fs::exists(made.install.course + "/control2.cdx.save"));

  std::map<std::string, std::multiset<std::string>> expected;
  for (const auto& [name, path] : backedUp) expected[name] = Rows(path);

  const RunResult restored = Run("RESTORE");
  ASSERT_EQ(restored.status, 0) << restored.stderrText;
  EXPECT_EQ(testing_support::ReadFile(made.install.course + "/control2.dbf"), "control table");
  EXPECT_FALSE(fs::exists(made.install.course + "/control2.dbf.save"));
  const auto live = Tables(made.install.course);
  for (const auto& [name, rows] : expected) {
    if (name == "users") continue;  // the brand's table, never the course's
    if (tree.count(name)) continue;
    ASSERT_TRUE(live.count(name)) << name;
    const std::multiset<std::string> now = Rows(live.at(name));
    std::size_t missing = 0;
    for (const std::string& row : rows)
      if (!now.count(row)) ++missing;
    EXPECT_EQ(missing, 0u) << name << ": " << missing << " of " << rows.size() << " rows not restored as backed up";
  }
  // The backup numbers the teacher's nodes anew; the restore meets them in the
  // course's own kept tree and brings the tree back as it was, publisher's nodes too.
  for (const auto& [name, rows] : tree) EXPECT_EQ(Rows(live.at(name)), rows) << name;
}

TEST_F(BackupRestoreProcess, ARestoreOfAFolderThatIsNoBackupChangesNothing) {
  fs::create_directories(backup);
  testing_support::WriteFile(backup + "/readme.txt", "not a backup");
  const auto before = Tables(made.install.course);
  const std::multiset<std::string> quests = Rows(before.at("quests"));
  const RunResult run = Run("RESTORE");
  EXPECT_NE(run.status, 0);
  ASSERT_EQ(run.boxes.size(), 1u) << run.stderrText;
  EXPECT_NE(run.boxes[0].box.text.find("is not a Corvane Backup Folder"), std::string::npos) << run.boxes[0].box.text;
  EXPECT_EQ(Rows(Tables(made.install.course).at("quests")), quests);
}

TEST_F(BackupRestoreProcess, ABackupFolderLosesAnEarlierBackupButKeepsOtherPictures) {
  fs::create_directories(backup);
  struct Earlier {
    const char* name;
    bool stays;
  } earlier[] = {
      {"notes.txt", false},    {"quests.dbf", false},  {"0098765.gif", false}, {"0098766.jpg", false},
      {"0098767.bmp", false},  {"0098768.png", false}, {"logo.gif", true},     {"banner.jpg", true},
      {"package.zip", false},  {"TOLVARIN.INI", false},
  };
  for (const Earlier& e : earlier) testing_support::WriteFile(backup + "/" + e.name, "earlier");
  const RunResult run = Run("BACKUP");
  ASSERT_EQ(run.status, 0) << run.stderrText;
  for (const Earlier& e : earlier) {
    const bool earlierThere = fs::exists(backup + "/" + e.name) &&
                              testing_support::ReadFile(backup + "/" + e.name) == "earlier";
    EXPECT_EQ(earlierThere, e.stays) << e.name;
  }
  // An unattended backup writes no package; the course keeps no table file of any kind.
  for (const auto& entry : fs::directory_iterator(backup)) EXPECT_NE(entry.path().extension(), ".zip");
  for (const auto& entry : fs::directory_iterator(made.install.course)) {
    std::string ext = entry.path().extension().string();
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    EXPECT_TRUE(ext != ".dbf" && ext != ".cdx" && ext != ".fpt") << entry.path();
  }
}

TEST_F(BackupRestoreProcess, ARestoreNeverTakesWhatAnEarlierRestoreLeftInItsStagingFolder) {
  // The activities travel in an earlier restore's staging folder only.
  const std::string staging = host.Temp() + "/UpgradeInPlace";
  fs::create_directories(staging);
  for (const auto& entry : fs::directory_iterator(made.install.course))
    if (entry.path().stem() == "templates") fs::copy_file(entry.path(), staging / entry.path().filename());
  ASSERT_FALSE(Rows(staging + "/templates.dbf").empty());
  ASSERT_EQ(Run("BACKUP").status, 0);
  app_testing::ForgetBackupRecord(backup);  // an older backup, taken without the record's check
  for (const char* ext : {".dbf", ".cdx", ".fpt"}) fs::remove(backup + "/templates" + ext);

  const RunResult restored = Run("RESTORE");
  ASSERT_EQ(restored.status, 0) << restored.stderrText;
  const auto live = Tables(made.install.course);
  ASSERT_TRUE(live.count("quests"));
  const std::size_t activities = live.count("templates") ? Rows(live.at("templates")).size() : 0;
  EXPECT_EQ(activities, 0u);
}

TEST_F(BackupRestoreProcess, ARestoreOfABackupOfAnUnknownVersionChangesNothing) {
  fs::create_directories(backup);
  testing_support::WriteFile(backup + "/TOLVARIN.INI", "[Tolvarin]\r\nCreated=2026-01-01 10:00:00\r\nType=UserContent\r\n");
  const auto before = Tables(made.install.course);
  const std::multiset<std::string> quests = Rows(before.at("quests"));
  for (const char* schema : {"9", "2", "x"}) {
    testing_support::WriteFile(backup + "/Status.DBF", std::string("[Version]\r\nSchema=") + schema + "\r\n");
    const RunResult run = Run("RESTORE");
    EXPECT_NE(run.status, 0) << schema;
    ASSERT_EQ(run.boxes.size(), 1u) << schema << run.stderrText;
    EXPECT_NE(run.boxes[0].box.text.find("does not know"), std::string::npos) << run.boxes[0].box.text;
    EXPECT_EQ(Rows(Tables(made.install.course).at("quests")), quests) << schema;
  }
}

// A backup from before backups recorded what they hold is repaired as any table is.
TEST_F(BackupRestoreProcess, ARestoreRepairsTheDamagedIndexesOfABackupFolder) {
  ASSERT_EQ(Run("BACKUP").status, 0);
  app_testing::ForgetBackupRecord(backup);
  const std::string saved = host.Scratch() + "/Saved";
  fs::copy(backup, saved);
  const std::string emptied = host.Scratch() + "/Emptied";
  fs::copy(made.install.course, emptied);
  const auto keys = [](const fs::path& dbf) { return Keys(Rows(dbf)); };
  const std::multiset<std::string> quests = keys(backup + "/quests.dbf");
  const std::multiset<std::string> exams = keys(backup + "/exams.dbf");
  struct Damage {
    const char* what;
    std::function<void()> apply;
  } damages[] = {
      {"garbage index", [&] { testing_support::WriteFile(backup + "/quests.cdx", std::string(4096, '\x5a')); }},
      {"no index", [&] { fs::remove(backup + "/exams.cdx"); }},
      {"cut index", [&] { fs::resize_file(backup + "/quests.cdx", fs::file_size(backup + "/quests.cdx") / 3); }},
  };
  for (const Damage& damage : damages) {
    // Each case from the same backup into the same emptied course.
    fs::remove_all(backup);
    fs::copy(saved, backup);
    fs::remove_all(made.install.course);
    fs::copy(emptied, made.install.course);
    damage.apply();
    const RunResult restored = Run("RESTORE");
    ASSERT_EQ(restored.status, 0) << damage.what << restored.stderrText;
    const auto live = Tables(made.install.course);
    EXPECT_TRUE(keys(live.at("quests")) == quests) << damage.what;
    EXPECT_TRUE(keys(live.at("exams")) == exams) << damage.what;
  }
}

TEST_F(BackupRestoreProcess, ARestoreTakesTheWholeRowsOfABackupTableCutShort) {
  ASSERT_EQ(Run("BACKUP").status, 0);
  app_testing::ForgetBackupRecord(backup);  // a backup that records its rows is refused instead
  const std::string dbf = backup + "/quests.dbf";
  const std::string bytes = testing_support::ReadFile(dbf);
  ASSERT_GT(bytes.size(), 12u);
  const auto word = [&](size_t at) { return static_cast<unsigned char>(bytes[at]) | static_cast<unsigned char>(bytes[at + 1]) << 8; };
  const size_t header = word(8), record = word(10);
  const long records = static_cast<long>((bytes.size() - header) / record);
  ASSERT_GT(records, 10);
  const long kept = records / 2;
  const std::multiset<std::string> whole = Keys(FirstRows(dbf, kept));
  ASSERT_FALSE(whole.empty());
  // Cut in the middle of the record after them, as a copy that stopped part way.
  fs::resize_file(dbf, header + kept * record + record / 2);
  const RunResult restored = Run("RESTORE");
  ASSERT_EQ(restored.status, 0) << restored.stderrText;
  EXPECT_TRUE(Keys(Rows(Tables(made.install.course).at("quests"))) == whole);
}

}  // namespace
