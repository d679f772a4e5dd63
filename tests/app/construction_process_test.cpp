// Mode NEWUPGRADE run by the real program over installations laid out by the test,
// whole and killed part-way.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/inotify.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <thread>

#include "construction/upgrade_fixture.h"
#include "data/open_table.h"
#include "data/table_registry.h"
#include "host_run.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using namespace upgrade_testing;
using app_testing::HostRun;
using app_testing::RunResult;

std::string Xbdump() {
  fs::path tool = fs::path(HostRun::Program()).parent_path() / "xbdump";
  return fs::exists(tool) ? tool.string() : "";
}

std::string RunXbdump(const fs::path& folder) {
  std::string output;
  if (FILE* pipe = popen(("\"" + Xbdump() + "\" \"" + folder.string() + "\" 2>&1").c_str(), "r")) {
    char buffer[4096];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) output.append(buffer, n);
    pclose(pipe);
  }
  return output;
}

class ConstructionProcess : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const char* tmp = std::getenv("TMPDIR")) previousTmp = tmp;
    fs::create_directories(host.Scratch() + "/tmp");
    setenv("TMPDIR", (host.Scratch() + "/tmp").c_str(), 1);
    host.HostIni("");
    brand = fs::path(host.App()) / "Databases" / "Corvane";
    area = brand / "Science";
    course0 = area / "Biology";
    course1 = area / "Chemistry";
  }

  // Live course folders with conforming and non-conforming tables, and an old
  // single database whose rows all find a place (no old course numbers involved).
  void LayOutInstallation() {
    MakeArea(area, 1, "Science");
    MakeCourse(course0, 0);
    MakeCourse(course1, 1);
    MakeTable(brand, "users", Layout("users"),
              {User("0001001", "LATSEK"), User("0000001", "MENTOR"), User("0000005", "JONES")});
    MakeTable(course0, "quests", Layout("quests"),
              {{{"quest_id", "0020001"}, {"question", "What is a cell?"}},
               {{"quest_id", "0020002"}, {"question", "Name an organelle."}}});
    MakeTable(course0, "exams", WithField(Layout("exams"), "print_id", [](tolvarin::FieldDef& f) { f.Name = ""; }),
              {{{"exam_id", "0020001"}, {"name", "Midterm"}}, {{"exam_id", "0020002"}, {"name", "Final"}}});
    MakeTable(course0, "classes", WithField(Layout("classes"), "section", [](tolvarin::FieldDef& f) { f.Len = 40; }),
              {{{"class_id", "0000101"}, {"section", "Period 3"}, {"user_id", "0000005"}}});
    MakeTable(course0, "templates", WithField(Layout("templates"), "blob", [](tolvarin::FieldDef& f) { f.Len = 10; }),
              {{{"templateid", "0000201"}, {"blob", "<template>one</template>"}}});
    MakeTable(course0, "questype", WithoutTag(Layout("questype"), "TAXONOMY"), {{{"quest_id", "0020001"}, {"type", "3"}}});
    MakeTable(course0, "students", OldStudents(),
              {{{"student_id", "0000031"}, {"class_id", "0000101"}, {"name", "Doe, Jane"}},
               {{"student_id", "0000032"}, {"class_id", "0000101"}, {"name", "John Smith"}}});
    MakeTable(course0, "sesquest", Layout("sesquests"), {{{"sesques_id", "0000011"}, {"session_id", "0000001"}}});
    MakeTable(course0, "sesresul", Layout("sesresults"), {{{"sesques_id", "0000011"}, {"student_id", "0000031"}}});
    MakeTable(course0, "control2", Layout("brandcontrol"), {{{"table", "quests"}}});
    const fs::path old = fs::path(host.App()) / "DBF";
    MakeTable(old, "users", Layout("users"), {User("0000009", "LATSEK"), User("0000005", "SMITH")});
    MakeTable(old, "exams", Layout("exams"), {{{"exam_id", "0030001"}, {"name", "Old quiz"}}});
    MakeTable(old, "printopt", Layout("printopt"), {{{"print_id", "0000002"}, {"descript", "Old options"}}});
    // An old per-course folder of course 1, which the edition (7) puts in slot 0.
    fs::copy_file(fs::path(TOLVARIN_CONFIG_DIR) / "editions.ini", fs::path(host.App()) / "editions.ini");
    MakeTable(old / "0000001", "descript", Layout("descript"), {{{"descriptid", "0020005"}, {"descript", "Old passage"}}});
    MakeTable(old / "0000001", "sesquest", Layout("sesquests"), {{{"sesques_id", "0000021"}}});
  }

  // The distinctive texts of the installation's rows, by table.
  static std::map<std::string, std::set<std::string>> ExpectedTexts() {
    return {{"quests", {"What is a cell?", "Name an organelle."}},
            {"exams", {"Midterm", "Final", "Old quiz"}},
            {"classes", {"Period 3"}},
            {"templates", {"<template>one</template>"}},
            {"questype", {"0020001"}},
            {"students", {"0000031", "0000032"}},
            {"sesquests", {"0000011", "0000021"}},
            {"descript", {"Old passage"}},
            {"sesresults", {"0000031"}},
            {"users", {"JONES", "SMITH"}},
            {"printopt", {"Old options"}}};
  }

  // Every value any table file under the folders holds, by the table's base name
  // (former names and the swap's work names count for the table).
  static std::map<std::string, std::set<std::string>> TextsFound(const std::vector<fs::path>& roots) {
    std::map<std::string, std::set<std::string>> found;
    for (const fs::path& root : roots) {
      if (!fs::exists(root)) continue;
      for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (entry.path().extension() != ".dbf" || entry.path().parent_path().filename() == "Blank") continue;
        std::string name = entry.path().stem().string();
        for (const char* suffix : {"_new", "_old"}) {
          if (name.size() > 4 && name.substr(name.size() - 4) == suffix) name.resize(name.size() - 4);
        }
        if (name == "sesquest") name = "sesquests";
        if (name == "sesresul") name = "sesresults";
        xbase::Data4 data = xbase::d4open(Code(), entry.path().string());
        bool systemOpen = false;
        if (data == 0) {
          // A table the kill left mid-write (an index marked, a pack half done) is
          // read as the program reads it: through its own open and repair.
          xbase::code4errorCode(Code(), 0);
          data = tolvarin::OpenTable(entry.path().string(), 0, false, true);
          systemOpen = data != 0;
          if (data == 0) continue;
        }
        for (int rc = xbase::d4top(data); rc == 0; rc = xbase::d4skip(data, 1)) {
          if (xbase::d4deleted(data)) continue;
          for (int j = 1; j <= xbase::d4numFields(data); ++j) {
            const xbase::Field4 f = xbase::d4fieldJ(data, j);
            found[name].insert(tolvarin::Trim(xbase::f4type(f) == 'M' ? xbase::f4memoStr(f) : xbase::f4str(f)));
          }
        }
        if (systemOpen) {
          tolvarin::CloseTable(data);
        } else {
          xbase::d4close(data);
        }
      }
    }
    return found;
  }

  void ExpectEveryRowIn(const std::vector<fs::path>& roots, const std::string& when) {
    const auto found = TextsFound(roots);
    for (const auto& [table, texts] : ExpectedTexts()) {
      for (const std::string& text : texts) {
        EXPECT_TRUE(found.count(table) && found.at(table).count(text)) << when << ": " << table << " lost " << text;
      }
    }
  }

  // Every table of the installation opens and conforms; no work file is left.
  void ExpectInstallationUpToDate(const std::string& when) {
    for (const auto& entry : fs::recursive_directory_iterator(fs::path(host.App()) / "Databases")) {
      if (entry.path().extension() != ".dbf" || entry.path().parent_path().filename() == "Blank") continue;
      const std::string name = entry.path().stem().string();
      EXPECT_EQ(name.find("_new"), std::string::npos) << when << " " << entry.path();
      EXPECT_EQ(name.find("_old"), std::string::npos) << when << " " << entry.path();
      if (Layout(name).TableName.empty()) continue;
      EXPECT_TRUE(Conforms(entry.path(), name)) << when << " " << entry.path();
    }
  }

  void TearDown() override {
    if (previousTmp.empty()) {
      unsetenv("TMPDIR");
    } else {
      setenv("TMPDIR", previousTmp.c_str(), 1);
    }
  }

  RunResult Upgrade() { return host.RunHere({"Mode:NEWUPGRADE"}); }

  HostRun host;
  fs::path brand, area, course0, course1;
  std::string previousTmp;
};

TEST_F(ConstructionProcess, NewUpgradeBringsAnInstallationToTheSchema) {
  LayOutInstallation();
  const RunResult run = Upgrade();
  ASSERT_EQ(run.status, 0) << run.stderrText;
  EXPECT_TRUE(run.boxes.empty());
  ExpectInstallationUpToDate("after the run");
  ExpectEveryRowIn({host.App()}, "after the run");
  // The old course's results could not join the course's own: its folder is kept.
  EXPECT_FALSE(fs::exists(fs::path(host.App()) / "DBF"));
  const fs::path kept = fs::path(host.App()) / "DBF-kept";
  EXPECT_EQ(Column(kept / "0000001" / "sesquests.dbf", "sesques_id"), (std::vector<std::string>{"0000021"}));
  EXPECT_FALSE(fs::exists(kept / "0000001" / "descript.dbf"));
  // The old users stay beside the kept exams, which name them by their old numbers.
  EXPECT_TRUE(fs::exists(kept / "users.dbf"));
  std::string log;
  for (const auto& entry : fs::directory_iterator(fs::path(host.App()) / "logs")) log += testing_support::ReadFile(entry.path());
  const auto lines = KeptLines(log);
  // The tables and the folder kept, nothing else: course 0's own exams kept the old
  // quiz out of it.
  ASSERT_EQ(lines.size(), 4u) << log;
  EXPECT_NE(lines[0].find("DBF/exams.dbf"), std::string::npos) << lines[0];
  EXPECT_NE(lines[1].find("DBF/0000001/sesquests.dbf"), std::string::npos) << lines[1];
  EXPECT_NE(lines[2].find("DBF/users.dbf"), std::string::npos) << lines[2];
  EXPECT_NE(lines[3].find("DBF-kept"), std::string::npos) << lines[3];
  EXPECT_FALSE(fs::exists(course0 / "control2.dbf"));
  EXPECT_FALSE(fs::exists(course0 / "sesquest.dbf"));
  EXPECT_TRUE(fs::exists(course1 / "templates.dbf"));
  EXPECT_FALSE(fs::exists(course1 / "sesquests.dbf"));
  // The old database's rows reach every course; users merge by name.
  EXPECT_EQ(Column(course1 / "exams.dbf", "name"), (std::vector<std::string>{"Old quiz"}));
  EXPECT_EQ(Column(course0 / "descript.dbf", "descript"), (std::vector<std::string>{"Old passage"}));
  EXPECT_EQ(Column(course0 / "sesquests.dbf", "sesques_id"), (std::vector<std::string>{"0000011"}));
  EXPECT_EQ(Column(brand / "users.dbf", "user_name"),
            (std::vector<std::string>{"JONES", "LATSEK", "MENTOR", "SMITH"}));
  if (!Xbdump().empty()) {
    for (const fs::path& folder : {brand, course0, course1}) {
      const std::string dump = RunXbdump(folder);
      EXPECT_NE(dump.find("problems=0 CLEAN"), std::string::npos) << folder << "\n" << dump;
    }
  }

  const auto before = TableFiles(fs::path(host.App()) / "Databases");
  ASSERT_EQ(Upgrade().status, 0);
  EXPECT_EQ(TableFiles(fs::path(host.App()) / "Databases"), before) << "a second run rewrote a table";
}

// Every file under a folder (relative path -> bytes), but the run log, the debug
// logs and the Blank folder, which every run writes anew.
std::map<std::string, std::string> EveryFile(const fs::path& root) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (!entry.is_regular_file()) continue;
    const std::string relative = fs::relative(entry.path(), root).string();
    if (relative == "tolvarin.log" || relative.rfind("logs/", 0) == 0 || relative.rfind("Databases/Blank/", 0) == 0) {
      continue;
    }
    files[relative] = testing_support::ReadFile(entry.path());
  }
  return files;
}

// The index and memo files under a folder that have no data file beside them (in
// any case, or saved aside as ".dbf.save").
std::vector<std::string> FilesWithoutTheirData(const fs::path& root) {
  std::set<std::string> data;
  std::vector<fs::path> others;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (!entry.is_regular_file()) continue;
    const std::string name = tolvarin::ToLower(entry.path().filename().string());
    const fs::path stem = entry.path().parent_path() / tolvarin::ToLower(entry.path().stem().string());
    if (name.ends_with(".dbf")) data.insert(stem.string());
    if (name.ends_with(".dbf.save")) data.insert(fs::path(stem).replace_extension().string());
    if (name.ends_with(".cdx") || name.ends_with(".fpt")) others.push_back(entry.path());
  }
  std::vector<std::string> orphans;
  for (const fs::path& file : others) {
    const fs::path stem = file.parent_path() / tolvarin::ToLower(file.stem().string());
    if (!data.count(stem.string())) orphans.push_back(fs::relative(file, root).string());
  }
  return orphans;
}

// A deletion killed after the data file went leaves the table's index and memo
// files; the next run that lists their folder removes them and changes nothing else.
TEST_F(ConstructionProcess, IndexAndMemoFilesLeftWithoutTheirDataFileGoWithTheNextRun) {
  LayOutInstallation();
  ASSERT_EQ(Upgrade().status, 0);
  // What a second run over the brought-up installation leaves as it is.
  const fs::path app = host.App();
  const fs::path old = app / "DBF";
  std::map<std::string, std::string> kept = EveryFile(app);
  const std::string examsIndex = testing_support::ReadFile(course0 / "exams.cdx");
  fs::rename(course0 / "exams.cdx", course0 / "EXAMS.CDX");  // an index is its table's in any case
  kept.erase(fs::relative(course0 / "exams.cdx", app).string());
  struct Leftover {
    fs::path file;
    bool goes;
  };
  const std::vector<Leftover> leftovers = {
      {old / "users.cdx", true},                 // the old single database (pass 0)
      {old / "users.fpt", true},
      {old / "0000001" / "descript.cdx", true},  // an old course folder (pass 1)
      {brand / "brandcontrol.CDX", true},        // the common database (pass 2)
      {area / "exams.cdx", true},                // an area folder (pass 3)
      {area / "exams.fpt", true},
      {course0 / "sesquest.cdx", true},          // a course folder (pass 4), under a former name
      {course0 / "sesquest.fpt", true},
      {course0 / "OLDNOTES.FPT", true},
      {course0 / "quests_old.cdx", true},        // a swap's old files, its data file gone
      {course0 / "quests_old.fpt", true},
      {course1 / "control2.cdx", false},         // its data file was saved aside by a backup
      {course1 / "control2.dbf.save", false},
  };
  for (const Leftover& leftover : leftovers) {
    host.Put(fs::relative(leftover.file, app).string(), "leftover " + leftover.file.filename().string());
    if (!leftover.goes) kept[fs::relative(leftover.file, app).string()] = testing_support::ReadFile(leftover.file);
  }
  kept[fs::relative(course0 / "EXAMS.CDX", app).string()] = examsIndex;

  const RunResult run = Upgrade();

  ASSERT_EQ(run.status, 0) << run.stderrText;
  EXPECT_TRUE(run.boxes.empty());
  for (const Leftover& leftover : leftovers) EXPECT_EQ(fs::exists(leftover.file), !leftover.goes) << leftover.file;
  EXPECT_FALSE(fs::exists(old)) << "an old folder that held only leftovers stays";
  const std::map<std::string, std::string> after = EveryFile(app);
  for (const auto& [file, bytes] : kept) {
    const auto found = after.find(file);
    EXPECT_TRUE(found != after.end() && found->second == bytes) << file << (found == after.end() ? " gone" : " changed");
  }
  for (const auto& entry : after) EXPECT_TRUE(kept.count(entry.first)) << entry.first << " is new";
  EXPECT_EQ(FilesWithoutTheirData(app), std::vector<std::string>{});
}

// The files deleted in the watched folders while the program ran, in the order they
// went, each as "<folder>/<name>".
class DeletionWatch {
 public:
  explicit DeletionWatch(const std::vector<fs::path>& folders) : fd_(inotify_init1(IN_NONBLOCK)) {
    for (const fs::path& folder : folders) {
      const int watch = inotify_add_watch(fd_, folder.c_str(), IN_DELETE);
      if (watch >= 0) folders_[watch] = folder;
    }
  }
  ~DeletionWatch() { ::close(fd_); }
  std::vector<std::string> Deleted() {
    std::vector<std::string> names;
    alignas(inotify_event) char buffer[65536];
    for (ssize_t n; (n = ::read(fd_, buffer, sizeof buffer)) > 0;) {
      for (char* at = buffer; at < buffer + n;) {
        const auto* event = reinterpret_cast<const inotify_event*>(at);
        if (event->len > 0 && folders_.count(event->wd)) names.push_back((folders_[event->wd] / event->name).string());
        at += sizeof(inotify_event) + event->len;
      }
    }
    return names;
  }

 private:
  int fd_;
  std::map<int, fs::path> folders_;
};

// A kill between two deletions of a table's files must leave at most index and
// memo files without their data file, which the next run removes: every table the
// upgrade deletes or moves away, the old folder it retires included, loses its data
// file first.
TEST_F(ConstructionProcess, EveryTableLeavesDataFileFirst) {
  MakeArea(area, 1, "Science");
  MakeCourse(course0, 0);
  MakeCourse(course1, 1);
  MakeTable(brand, "users", Layout("users"), {User("0001001", "LATSEK"), User("0000001", "MENTOR")});
  fs::copy_file(fs::path(TOLVARIN_CONFIG_DIR) / "editions.ini", fs::path(host.App()) / "editions.ini");
  const fs::path old = fs::path(host.App()) / "DBF" / "0000001";  // old course 1: Biology
  MakeTable(old, "exams", WithField(Layout("exams"), "print_id", [](tolvarin::FieldDef& f) { f.Name = ""; }),
            {{{"exam_id", "0020001"}, {"name", "Midterm"}}});
  MakeTable(old, "descript", Layout("descript"), {{{"descriptid", "0020005"}, {"descript", "Old passage"}}});
  MakeTable(old, "attributes", Layout("attributes"), {{{"attr_key", "SOURCE"}, {"name", "Source"}, {"type", "1"}}});
  MakeTable(old, "memoattributes", Layout("memoattributes"),
            {{{"table_name", "EXAMS"}, {"table_id", "20001"}, {"attr_key", "SOURCE"}, {"attr_value", "Dept."}}});
  MakeTable(old, "control2", Layout("brandcontrol"), {{{"table", "exams"}}});
  DeletionWatch watch({old.parent_path(), old, brand, area, course0, course1});

  const RunResult run = Upgrade();

  ASSERT_EQ(run.status, 0) << run.stderrText;
  ASSERT_FALSE(fs::exists(old.parent_path())) << "the old folder was carried over whole";
  EXPECT_EQ(Column(course0 / "memoattributes.dbf", "attr_value"), (std::vector<std::string>{"Dept."}));
  std::set<std::string> dataGone;
  int tables = 0;
  for (const std::string& file : watch.Deleted()) {
    const fs::path path(file);
    const std::string extension = tolvarin::ToLower(path.extension().string());
    const std::string table = (path.parent_path() / tolvarin::ToLower(path.stem().string())).string();
    if (extension == ".dbf") {
      dataGone.insert(table);
      ++tables;
    } else if (extension == ".cdx" || extension == ".fpt") {
      EXPECT_TRUE(dataGone.count(table)) << file << " went before its data file";
    }
  }
  EXPECT_GE(tables, 5);  // the old folder's five tables, at the least
}

// Starts the program and kills it once its progress has reached the given line.
int RunKilledAfter(const HostRun& host, int progressLines) {
  const std::string stderrFile = host.Scratch() + "/killed-stderr.txt";
  std::vector<std::string> args{HostRun::Program(), "AppPath:" + host.App(), "Mode:NEWUPGRADE"};
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 2, stderrFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  pid_t pid = 0;
  const int rc = posix_spawn(&pid, args[0].c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return -1;
  int status = 0;
  for (;;) {
    if (waitpid(pid, &status, WNOHANG) == pid) return 0;  // ended before the kill point
    const std::string text = fs::exists(stderrFile) ? testing_support::ReadFile(stderrFile) : "";
    if (std::count(text.begin(), text.end(), '\n') >= progressLines) break;
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  kill(pid, SIGKILL);
  waitpid(pid, &status, 0);
  return 1;
}

// The run reports a step as it starts each folder and each table it rebuilds; one
// test per point of the run (about 17 steps for this installation).
class KilledConstruction : public ConstructionProcess, public ::testing::WithParamInterface<int> {};

TEST_P(KilledConstruction, LosesNoRowAndTheNextRunFinishes) {
  LayOutInstallation();
  const fs::path cortemp = fs::path(host.Scratch()) / "tmp";
  const std::string when = "killed after progress line " + std::to_string(GetParam());
  ASSERT_EQ(RunKilledAfter(host, GetParam()), 1) << when << ": the run ended first";
  // Right after the kill every row is in its folder (under its own name, a former
  // one or the swap's) or in the rebuild's copy.
  ExpectEveryRowIn({host.App(), cortemp}, when);
  const RunResult again = Upgrade();
  EXPECT_EQ(again.status, 0) << when << again.stderrText;
  EXPECT_TRUE(again.boxes.empty()) << when;
  ExpectInstallationUpToDate(when);
  ExpectEveryRowIn({host.App()}, when + ", then run again");
  EXPECT_EQ(FilesWithoutTheirData(host.App()), std::vector<std::string>{}) << when << ", then run again";
}

INSTANTIATE_TEST_SUITE_P(AtEveryFewSteps, KilledConstruction, ::testing::Values(2, 4, 6, 8, 10, 12, 14, 16));

}  // namespace
