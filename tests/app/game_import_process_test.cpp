// The unattended game import (Operation:LUDORAIMPORT) through the real program when
// something gets in its way: a file it cannot replace, a folder it cannot write, a
// link or a damaged table in the package, a full disk, a kill. Each run ends with a message and the
// course and the package as they were, or wholly imported; run again once the fault
// is gone, or after a kill, the course holds what one whole import leaves.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "course_maker.h"
#include "course_tables.h"
#include "data/codebase.h"
#include "engine/package/backup_contents.h"
#include "host_run.h"
#include "support/small_disk.h"

namespace fs = std::filesystem;
using app_testing::FolderRows;
using app_testing::HostRun;
using app_testing::RunResult;
using testing_support::ReadFile;
using testing_support::WriteFile;

namespace {

using Files = std::map<std::string, std::string>;

// Every entry below a folder by relative path: a file's bytes, a link's target, a folder.
Files Snapshot(const fs::path& folder) {
  Files files;
  for (auto it = fs::recursive_directory_iterator(folder); it != fs::recursive_directory_iterator(); ++it) {
    const std::string name = it->path().lexically_relative(folder).string();
    if (it->is_symlink()) {
      files[name] = "link to " + fs::read_symlink(it->path()).string();
    } else if (it->is_directory()) {
      files[name + "/"] = "";
    } else {
      files[name] = ReadFile(it->path());
    }
  }
  return files;
}

// The folder as the snapshot holds it, and nothing else.
void PutBack(const fs::path& folder, const Files& files) {
  for (const auto& entry : fs::directory_iterator(folder)) fs::remove_all(entry.path());
  for (const auto& [name, bytes] : files) {
    const fs::path path = folder / name;
    if (name.back() == '/') {
      fs::create_directories(path);
    } else if (bytes.rfind("link to ", 0) == 0) {
      fs::create_symlink(bytes.substr(8), path);
    } else {
      WriteFile(path, bytes);
    }
  }
}

// The snapshot with each file's bytes as their size and checksum, for comparing.
Files Digests(const Files& files) {
  Files digests;
  for (const auto& [name, bytes] : files)
    digests[name] = bytes.rfind("link to ", 0) == 0
                        ? bytes
                        : std::to_string(bytes.size()) + " bytes, checksum " + std::to_string(tolvarin::Crc32(bytes));
  return digests;
}
Files Digests(const fs::path& folder) { return Digests(Snapshot(folder)); }

bool IsTableFile(const std::string& name) {
  std::string ext = fs::path(name).extension().string();
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext == ".dbf" || ext == ".cdx" || ext == ".fpt";
}

// The immutable flag, which stops even root from replacing a file or writing a folder.
bool Immutable(const fs::path& path, bool on) {
  return std::system(("chattr " + std::string(on ? "+i '" : "-i '") + path.string() + "' 2>/dev/null").c_str()) == 0;
}

std::string Key(std::int32_t id) {
  std::string text = std::to_string(id);
  return std::string(7 - text.size(), '0') + text;
}

// What an import leaves: the course's rows, its other files and the package's files.
struct Imported {
  std::map<std::string, std::multiset<std::string>> rows;
  Files courseFiles;
  Files packageFiles;
};

class GameImportProcess : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (tolvarin::Engine().EngineHandle == 0) tolvarin::InitCodeBase();
  }

  // The course (seed 1) and the game package (a backup of another course, seed 2,
  // with an activity file naming its questions) under root; the host's own folder
  // (AppPath, with the run log) under appRoot when one is named.
  void Lay(const fs::path& root, const fs::path& appRoot = {}) {
    course_maker::CourseOptions options;
    options.questions = 40;
    made = course_maker::MakeCourse((root / "Install").string(), options);
    if (!appRoot.empty()) {
      const fs::path app = appRoot / "Host";
      fs::create_directories(app);
      for (const char* program : {"kestal.exe", "gradebook.exe"}) fs::copy_file(fs::path(made.install.app) / program, app / program);
      WriteFile(app / "Kestal.INI", "[Edition]\r\nDatabasesPath=" + made.install.databases + "\r\nVersion=7\r\n");
      made.install.app = app.string();
    }
    options.seed = 2;
    const course_maker::MadeCourse other = course_maker::MakeCourse((root / "Other").string(), options);
    package = (root / "Package").string();
    const RunResult backed = host.Run({"AppPath:" + other.install.app, "Mode:UserContent", "Operation:BACKUP",
                                       "CoursePath:" + other.install.course, "BackupPath:" + package});
    ASSERT_EQ(backed.status, 0) << backed.stderrText;
    fs::remove(package + "/TOLVARIN.INI");
    fs::remove(package + "/Status.DBF");
    fs::remove_all(package + "/CourseTables");
    // Long enough to take pages of its own when it is written aside.
    std::string activity = "<activity>\n";
    for (int round = 0; round < 24; ++round)
      for (const auto& q : other.content.questions)
        if (!q.deleted) activity += "<question_id>" + Key(q.id) + "</question_id>\n";
    WriteFile(package + "/game.lda", activity + "</activity>\n");
    courseBefore = Snapshot(made.install.course);
    packageBefore = Snapshot(package);
  }

  // One whole import, from the course and the package as laid out; both are put back.
  // (The package keeps the blank tables it lacked, which every import of it makes.)
  void ImportOnce(const std::function<void()>& measure = {}) {
    const RunResult run = Import();
    ASSERT_EQ(run.status, 0) << run.stderrText;
    ASSERT_TRUE(run.boxes.empty()) << run.boxes.front().box.text;
    if (measure) measure();
    once = Now();
    ASSERT_NE(once.packageFiles.at("game.lda"), Digests(packageBefore).at("game.lda"));
    WriteFile(fs::path(package) / "game.lda", packageBefore.at("game.lda"));
    packageBefore = Snapshot(package);
    PutBackAsLaid();
  }
  void PutBackAsLaid() const {
    PutBack(made.install.course, courseBefore);
    PutBack(package, packageBefore);
  }

  std::vector<std::string> Args() const {
    return {"AppPath:" + made.install.app, "Mode:UserContent", "Operation:LUDORAIMPORT",
            "CoursePath:" + made.install.course, "BackupPath:" + package};
  }
  RunResult Import() const { return host.Run(Args()); }

  Imported Now() const {
    Imported now{FolderRows(made.install.course), {}, Digests(package)};
    for (const auto& [name, bytes] : Digests(made.install.course))
      if (!IsTableFile(name) && name != ".tolvarin-imported") now.courseFiles[name] = bytes;
    return now;
  }
  void ExpectAsOneWholeImport() const {
    const Imported now = Now();
    EXPECT_EQ(now.rows, once.rows);
    EXPECT_EQ(now.courseFiles, once.courseFiles);
    EXPECT_EQ(now.packageFiles, once.packageFiles);
  }
  // A run that failed: non-zero, a message naming what stopped it, nothing changed
  // (with addedTables, a package that lacked tables may hold them blank: every
  // import of it makes them).
  void ExpectRefused(const RunResult& run, const std::string& named, const Files& course, const Files& pack,
                     bool addedTables = false) const {
    EXPECT_NE(run.status, 0);
    ASSERT_FALSE(run.boxes.empty()) << run.status << " " << run.stderrText;
    const std::string& text = run.boxes.back().box.text;
    EXPECT_NE(text.find(named), std::string::npos) << text;
    EXPECT_TRUE(text.find("Nothing was imported") != std::string::npos || text.find("was not changed") != std::string::npos)
        << text;
    EXPECT_EQ(Digests(made.install.course), Digests(course));
    Files now = Digests(package);
    if (addedTables)
      for (auto it = now.begin(); it != now.end();)
        it = !pack.count(it->first) && IsTableFile(it->first) ? now.erase(it) : std::next(it);
    EXPECT_EQ(now, Digests(pack));
  }

  HostRun host;
  course_maker::MadeCourse made;
  std::string package;
  Files courseBefore, packageBefore;
  Imported once;
};

// A fault the host's machine really has, put in place and taken away again.
struct Fault {
  std::string what;
  std::string named;  // what the message names
  std::function<bool()> make;
  std::function<void()> mend;
};

// Takes the fault away however the scope is left (an immutable file would outlast the test).
struct Mended {
  std::function<void()> mend;
  ~Mended() { mend(); }
};

TEST_F(GameImportProcess, AFaultLeavesTheCourseAndThePackageAsTheyWereAndARerunImportsOnce) {
  Lay(host.Scratch());
  ImportOnce();
  const fs::path course = made.install.course;
  const fs::path questionsTable = course / "quests.dbf";
  const fs::path activity = fs::path(package) / "game.lda";
  std::string picture;
  for (const auto& [name, bytes] : packageBefore)
    if (picture.empty() && fs::path(name).extension() == ".gif") picture = name;
  ASSERT_FALSE(picture.empty());
  const fs::path outside = fs::path(host.Scratch()) / "outside";
  fs::create_directories(outside);
  WriteFile(outside / "secret.gif", "a file outside the package");

  const std::vector<Fault> faults{
      {"a table file of the course is read-only", "quests.dbf", [&] { return Immutable(questionsTable, true); },
       [&] { Immutable(questionsTable, false); }},
      {"an activity file of the package is read-only", "game.lda", [&] { return Immutable(activity, true); },
       [&] { Immutable(activity, false); }},
      {"the course folder is read-only", ".tolvarin-swap", [&] { return Immutable(course, true); },
       [&] { Immutable(course, false); }},
      {"a picture of the package links outside it", picture,
       [&] {
         fs::remove(fs::path(package) / picture);
         fs::create_symlink(outside / "secret.gif", fs::path(package) / picture);
         return true;
       },
       [&] { PutBack(package, packageBefore); }},
      {"the questions' memo file of the package is a link", "quests.fpt",
       [&] {
         fs::rename(fs::path(package) / "quests.fpt", outside / "quests.fpt");
         fs::create_symlink(outside / "quests.fpt", fs::path(package) / "quests.fpt");
         return true;
       },
       [&] {
         fs::remove(outside / "quests.fpt");
         PutBack(package, packageBefore);
       }},
      // Damaged tables, which the engine would open (repaired, or with empty texts).
      {"the questions' memo file of the package is cut short", "quests.fpt",
       [&] {
         fs::resize_file(fs::path(package) / "quests.fpt", fs::file_size(fs::path(package) / "quests.fpt") / 2);
         return true;
       },
       [&] { PutBack(package, packageBefore); }},
      {"the questions of the package are cut in half", "quests.dbf",
       [&] {
         fs::resize_file(fs::path(package) / "quests.dbf", fs::file_size(fs::path(package) / "quests.dbf") / 2);
         return true;
       },
       [&] { PutBack(package, packageBefore); }},
  };
  for (const Fault& fault : faults) {
    SCOPED_TRACE(fault.what);
    PutBackAsLaid();
    const Files course = Snapshot(made.install.course);
    if (!fault.make()) {
      std::printf("skipped \"%s\": the immutable flag cannot be set here\n", fault.what.c_str());
      continue;
    }
    {
      const Mended mended{fault.mend};
      const Files pack = Snapshot(package);
      ExpectRefused(Import(), fault.named, course, pack);
    }
    const RunResult rerun = Import();
    EXPECT_EQ(rerun.status, 0) << rerun.stderrText;
    ExpectAsOneWholeImport();
  }
}

// Killed at any point and run again, the import leaves what one whole import leaves;
// so does a second start of an import that went through (a double click).
TEST_F(GameImportProcess, KilledAtAnyPointThenRunAgainItLeavesWhatOneWholeImportLeaves) {
  Lay(host.Scratch());
  ImportOnce();
  const std::string runLog = made.install.app + "/tolvarin.log";
  struct KillPoint {
    const char* marker;
    int pauseMicroseconds;
  };
  int killed = 0;
  const std::vector<KillPoint> points{{"Init SRC", 0},
                                      {"Copying table: QUESTS", 0},
                                      {"Copying images", 0},
                                      {"Putting the imported tables in place", 0},
                                      {"Putting the imported tables in place", 300},
                                      {"Putting the imported tables in place", 3000}};
  for (const KillPoint& point : points) {
    SCOPED_TRACE(std::string(point.marker) + " +" + std::to_string(point.pauseMicroseconds) + "us");
    PutBackAsLaid();
    if (app_testing::RunAndKillAt(Args(), runLog, point.marker, std::chrono::microseconds(point.pauseMicroseconds)))
      ++killed;
    const RunResult rerun = Import();
    ASSERT_EQ(rerun.status, 0) << rerun.stderrText;
    EXPECT_TRUE(rerun.boxes.empty());
    ExpectAsOneWholeImport();
    EXPECT_FALSE(fs::exists(made.install.course + "/.tolvarin-swap"));
  }
  std::printf("%d of %zu imports were killed before they ended\n", killed, points.size());
  const RunResult again = Import();
  EXPECT_EQ(again.status, 0) << again.stderrText;
  ExpectAsOneWholeImport();

  // Killed while its group moved in, and then followed by a run of another operation
  // on the course, which finishes the group but for the package's activity file (it
  // moves nothing outside the course but its own package's): the rewritten file waits
  // beside the package's, and the next import puts it in place, importing nothing.
  const fs::path activity = fs::path(package) / "game.lda";
  fs::rename(activity, activity.string() + ".tolvarin-new");
  WriteFile(activity, packageBefore.at("game.lda"));
  const RunResult completing = Import();
  EXPECT_EQ(completing.status, 0) << completing.stderrText;
  ExpectAsOneWholeImport();
}

// On a disk that fills part-way (the one of the course and the package, as the host
// has it), the import ends with a message and the course and the package as they were,
// or goes through whole; freed, a rerun imports once.
TEST_F(GameImportProcess, ADiskThatFillsLeavesTheCourseAsItWasOrWhollyImported) {
  std::string why;
  const auto disk = testing_support::SmallDisk::Make(8u << 20, &why);
  if (!disk) GTEST_SKIP() << why;
  Lay(disk->path(), host.Scratch());
  const Files fresh = packageBefore;  // without the blank tables an import makes for it
  const std::uintmax_t room = disk->Free();
  std::uintmax_t written = 0;
  ImportOnce([&] { written = room - disk->Free(); });
  // The work copies of the course's tables come first (in whole pages); the run then
  // needs about what it leaves written besides them.
  std::uintmax_t staged = 0;
  for (const auto& [name, bytes] : courseBefore)
    if (IsTableFile(name)) staged += (bytes.size() + 4095) / 4096 * 4096;
  ASSERT_GT(written, 0u);
  // While it makes the work copies, then evenly over the rest: the package's blank
  // tables, the rows, the pictures and the activity file.
  std::vector<std::uintmax_t> rooms{0, staged / 2};
  for (int k = 0; k <= 11; ++k) rooms.push_back(staged + written * k / 10);
  rooms.push_back(staged + written * 3);  // room enough
  int refused = 0, whole = 0;
  for (const std::uintmax_t free : rooms) {
    SCOPED_TRACE("free " + std::to_string(free));
    PutBack(made.install.course, courseBefore);
    PutBack(package, fresh);
    ASSERT_TRUE(disk->LeaveFree(free));
    const RunResult run = Import();
    disk->Unfill();
    if (run.status == 0) {
      ++whole;
      ExpectAsOneWholeImport();
      continue;
    }
    ++refused;
    ExpectRefused(run, "", courseBefore, fresh, true);
    const RunResult rerun = Import();
    EXPECT_EQ(rerun.status, 0) << rerun.stderrText;
    ExpectAsOneWholeImport();
  }
  std::printf("%d of %zu imports met the full disk, %d went through whole\n", refused, rooms.size(), whole);
  EXPECT_GT(refused, 0);
}

}  // namespace
