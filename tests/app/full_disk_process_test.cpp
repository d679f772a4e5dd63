// The unattended operations on a disk that fills up, through the real program. Each
// case puts one folder on a small file system of its own (the installation with the
// course, the folder that holds the backup, or TMPDIR), measures what one whole run
// writes there, and then runs the operation again from the same start with only a
// part of that room left: early, midway and late in its work. A run either ends
// non-zero with a message and leaves every file of the course and of the backup as it
// was, byte for byte, or is wholly done; one that failed, run again once the disk has
// room, ends as one whole run does.
//
// A case is an operation (how the folders look before it and its command line) and
// a disk. Another operation joins with a row of Operations() and its rows of kCases.
//
// After them, a game import started with a little more room each time: the engine
// never kills the program with a signal, and every table of its course still opens.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <ostream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "course_maker.h"
#include "course_tables.h"
#include "data/codebase.h"
#include "host_run.h"
#include "support/small_disk.h"

namespace fs = std::filesystem;
using app_testing::HostRun;
using app_testing::RunResult;
using testing_support::SmallDisk;

namespace {

// Every run of a case sees the same time: the automatic backup's four-day rule and
// the description files' Created come out alike.
constexpr const char* kNow = "2024-03-18 10:00:00";
constexpr std::uintmax_t kDiskBytes = 96u << 20;

enum class Disk { Course, Backup, Temp };

std::string DiskName(Disk disk) {
  switch (disk) {
    case Disk::Course: return "course";
    case Disk::Backup: return "backup";
    case Disk::Temp: return "temp";
  }
  return "";
}

// Where one layout's folders lie.
struct Layout {
  fs::path install;     // the installation: AppPath and the databases with the course
  fs::path backupRoot;  // holds BackupPath and whatever a run writes beside it
  fs::path temp;        // TMPDIR
  std::string App() const { return (install / "Host").string(); }
  std::string Course() const { return (install / "Host/Databases/Corvane/Science/Biology").string(); }
  std::string Backup() const { return (backupRoot / "Backup").string(); }
};

// The words of a run after AppPath.
std::vector<std::string> Words(const Layout& at, const std::string& mode, const std::string& operation) {
  std::vector<std::string> words{"AppPath:" + at.App(), "Mode:" + mode, "CoursePath:" + at.Course(),
                                 "BackupPath:" + at.Backup()};
  if (!operation.empty()) words.push_back("Operation:" + operation);
  return words;
}

// Runs the program with these words at this time ("yyyy-mm-dd hh:nn:ss").
using Runner = std::function<RunResult(const std::vector<std::string>& words, const std::string& now)>;

// One unattended operation as the host runs it.
struct Operation {
  std::string name;
  // Brings the template layout (a whole course, an empty backup root) to what the
  // folders hold before the run.
  std::function<void(const Layout&, const Runner&)> prepare;
  std::function<std::vector<std::string>(const Layout&)> words;
};

const std::vector<Operation>& Operations() {
  static const std::vector<Operation> operations = {
      // Over an earlier backup of the same course, made by a whole run.
      {"BACKUP",
       [](const Layout& at, const Runner& run) {
         const fs::path whole = at.install.string() + "-whole";
         fs::copy(at.Course(), whole, fs::copy_options::recursive);
         ASSERT_EQ(run(Words(at, "UserContent", "BACKUP"), kNow).status, 0);
         fs::remove_all(at.Course());
         fs::rename(whole, at.Course());
       },
       [](const Layout& at) { return Words(at, "UserContent", "BACKUP"); }},
      // Into the oldest of five good slots, each a whole automatic backup.
      {"DIRECTCOPY",
       [](const Layout& at, const Runner& run) {
         for (const char* day : {"2024-02-27", "2024-03-02", "2024-03-06", "2024-03-10", "2024-03-14"})
           ASSERT_EQ(run(Words(at, "DIRECTCOPY", ""), std::string(day) + " 10:00:00").status, 0);
       },
       [](const Layout& at) { return Words(at, "DIRECTCOPY", ""); }},
      // A game package in BackupPath: another course's backup, read as it stands, with an
      // activity file naming its questions and the blank tables it lacked (which every
      // import of it makes there, and which made once are no change of a later run).
      {"LUDORAIMPORT",
       [](const Layout& at, const Runner& run) {
         course_maker::CourseOptions options;
         options.questions = 40;
         options.seed = 2;
         const course_maker::MadeCourse other = course_maker::MakeCourse(at.install.string() + "-game", options);
         ASSERT_EQ(run({"AppPath:" + other.install.app, "Mode:UserContent", "Operation:BACKUP",
                        "CoursePath:" + other.install.course, "BackupPath:" + at.Backup()},
                       kNow)
                       .status,
                   0);
         for (const char* file : {"TOLVARIN.INI", "Status.DBF", "CourseTables"}) fs::remove_all(at.Backup() + "/" + file);
         std::string activity = "<activity>\n";
         for (const auto& q : other.content.questions) {
           const std::string id = std::to_string(q.id);
           if (!q.deleted) activity += "<question_id>" + std::string(7 - id.size(), '0') + id + "</question_id>\n";
         }
         const fs::path lda = at.Backup() + "/game.lda";
         testing_support::WriteFile(lda, activity + "</activity>\n");
         const Layout copy{at.install.string() + "-copy", at.backupRoot, at.temp};
         fs::copy(at.install, copy.install, fs::copy_options::recursive);
         ASSERT_EQ(run(Words(copy, "UserContent", "LUDORAIMPORT"), kNow).status, 0);
         fs::remove_all(copy.install);
         testing_support::WriteFile(lda, activity + "</activity>\n");
       },
       [](const Layout& at) { return Words(at, "UserContent", "LUDORAIMPORT"); }},
  };
  return operations;
}

struct DiskCase {
  const char* operation;
  Disk disk;
};
const DiskCase kCases[] = {
    {"BACKUP", Disk::Backup},     {"BACKUP", Disk::Course},     {"BACKUP", Disk::Temp},
    {"DIRECTCOPY", Disk::Backup}, {"DIRECTCOPY", Disk::Course}, {"DIRECTCOPY", Disk::Temp},
    // The package's disk is the backup one; a game import stages nothing in TMPDIR.
    {"LUDORAIMPORT", Disk::Backup}, {"LUDORAIMPORT", Disk::Course}, {"LUDORAIMPORT", Disk::Temp},
};

void PrintTo(const DiskCase& c, std::ostream* out) { *out << c.operation << " on the " << DiskName(c.disk) << " disk"; }

const Operation& OperationNamed(const std::string& name) {
  for (const Operation& operation : Operations())
    if (operation.name == name) return operation;
  throw std::runtime_error("no operation " + name);
}

// Every file below the folder by its path there.
std::map<std::string, fs::path> FilesBelow(const fs::path& folder) {
  std::map<std::string, fs::path> files;
  if (!fs::exists(folder)) return files;
  for (auto it = fs::recursive_directory_iterator(folder); it != fs::recursive_directory_iterator(); ++it)
    if (it->is_regular_file() && !it->is_symlink()) files[fs::relative(it->path(), folder).generic_string()] = it->path();
  return files;
}

// What the folders hold, alike for two whole runs: a table by its rows (the engine
// writes the day into a table's header), its index and memo files by their names (the
// rows carry their content), a description file without the checksums of its record,
// every other file by its bytes.
std::map<std::string, std::string> Picture(const std::vector<fs::path>& folders) {
  std::map<std::string, std::string> picture;
  for (const fs::path& folder : folders) {
    for (const auto& [name, path] : FilesBelow(folder)) {
      const std::string key = folder.filename().string() + "/" + name;
      std::string extension = path.extension().string();
      std::transform(extension.begin(), extension.end(), extension.begin(), ::tolower);
      if (path.filename() == "tolvarin.log") continue;
      if (extension == ".dbf" && path.filename() != "Status.DBF") {
        std::string rows;
        for (const std::string& row : app_testing::Rows(path)) rows += row + "\n";
        picture[key] = rows;
      } else if (extension == ".cdx" || extension == ".fpt") {
        picture[key] = "";
      } else if (path.filename() == "TOLVARIN.INI") {
        std::string kept;
        bool contents = false;
        for (std::string line : app_testing::Lines(testing_support::ReadFile(path))) {
          if (!line.empty() && line.front() == '[') contents = line == "[Contents]";
          if (contents && line.find('=') != std::string::npos) line = line.substr(0, line.rfind(' '));
          kept += line + "\n";
        }
        picture[key] = kept;
      } else {
        picture[key] = testing_support::ReadFile(path);
      }
    }
  }
  return picture;
}

// The names where two pictures differ, for the failure message.
std::string Differences(const std::map<std::string, std::string>& a, const std::map<std::string, std::string>& b) {
  std::string differ;
  for (const auto& [name, content] : a)
    if (!b.count(name) || b.at(name) != content) differ += " " + name;
  for (const auto& [name, content] : b)
    if (!a.count(name)) differ += " +" + name;
  return differ;
}

class FullDiskRun : public ::testing::TestWithParam<DiskCase> {
 protected:
  static void SetUpTestSuite() {
    if (tolvarin::Engine().EngineHandle == 0) tolvarin::InitCodeBase();
  }

  // The layout's folders emptied and filled from the template.
  void Lay(const Layout& from, const Layout& to) const {
    for (const fs::path& folder : {to.install, to.backupRoot, to.temp}) {
      fs::remove_all(folder);
      fs::create_directories(folder);
    }
    fs::copy(from.install, to.install, fs::copy_options::recursive);
    fs::copy(from.backupRoot, to.backupRoot, fs::copy_options::recursive);
  }

  static RunResult Run(HostRun& host, const std::vector<std::string>& words, const std::string& now = kNow) {
    host.AddEnvironment("TOLVARIN_CLOCK=" + now);
    return host.Run(words);
  }

  static std::string Told(const RunResult& run, const Layout& at) {
    std::string told;
    for (const auto& shown : run.boxes) told += shown.box.text + "\n";
    const fs::path log = at.App() + "/tolvarin.log";
    if (fs::exists(log))
      for (const std::string& line : app_testing::Lines(testing_support::ReadFile(log)))
        if (line.find("TOLVARIN ERROR") != std::string::npos) told += line + "\n";
    return told;
  }
};

TEST_P(FullDiskRun, EndsWhollyDoneOrAsItWasAndARunWithRoomEndsAsOneWholeRun) {
  const DiskCase c = GetParam();
  const Operation& operation = OperationNamed(c.operation);
  std::string whyNot;
  const auto disk = testing_support::SmallDisk::Make(kDiskBytes, &whyNot);
  if (!disk) GTEST_SKIP() << whyNot;

  testing_support::TempDir scratch;
  HostRun host;
  host.AddEnvironment("TMPDIR=" + (scratch.path() / "template-tmp").string());
  const Runner run = [&](const std::vector<std::string>& words, const std::string& now) {
    return Run(host, words, now);
  };

  // The template: a small course and what the operation finds before it.
  const Layout model{scratch.path() / "template", scratch.path() / "template-backups",
                     scratch.path() / "template-tmp"};
  fs::create_directories(model.backupRoot);
  fs::create_directories(model.temp);
  course_maker::CourseOptions options;
  options.questions = 80;
  course_maker::MakeCourse(model.install.string(), options);
  ASSERT_TRUE(fs::exists(model.Course() + "/quests.dbf"));
  operation.prepare(model, run);
  if (HasFatalFailure()) return;

  // The case's layout: one of its folders on the small disk.
  const fs::path small = disk->path();
  const Layout at{c.disk == Disk::Course ? small / "install" : scratch.path() / "install",
                  c.disk == Disk::Backup ? small / "backups" : scratch.path() / "backups",
                  c.disk == Disk::Temp ? small / "tmp" : scratch.path() / "tmp"};
  HostRun caseHost;
  caseHost.AddEnvironment("TMPDIR=" + at.temp.string());
  const std::vector<fs::path> watched = {at.Course(), at.backupRoot};

  // One whole run with room: what it leaves, and the most it held on the disk.
  Lay(model, at);
  const std::uintmax_t freeBefore = disk->Free();
  std::atomic<bool> running{true};
  std::uintmax_t leastFree = freeBefore;
  std::thread watcher([&] {
    while (running) {
      leastFree = std::min(leastFree, disk->Free());
      std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
  });
  const RunResult whole = Run(caseHost, operation.words(at));
  running = false;
  watcher.join();
  ASSERT_EQ(whole.status, 0) << whole.stderrText;
  const auto wholePicture = Picture(watched);
  const std::uintmax_t written = freeBefore - std::min(leastFree, disk->Free());

  std::vector<std::uintmax_t> sizes{0};
  for (const double part : {0.3, 0.6, 0.8, 0.97})
    if (const auto size = static_cast<std::uintmax_t>(written * part); size > sizes.back() + 4096) sizes.push_back(size);

  int failed = 0;
  for (const std::uintmax_t size : sizes) {
    SCOPED_TRACE(std::string(c.operation) + " on a full " + DiskName(c.disk) + " disk with " + std::to_string(size) +
                 " of " + std::to_string(written) + " bytes free");
    Lay(model, at);
    const auto before = app_testing::TreeBytes(watched);
    ASSERT_TRUE(disk->LeaveFree(size));
    const RunResult filled = Run(caseHost, operation.words(at));
    disk->Unfill();
    if (filled.status == 0) {
      EXPECT_EQ(Picture(watched), wholePicture) << Differences(Picture(watched), wholePicture);
    } else {
      ++failed;
      EXPECT_TRUE(filled.status == 1 || filled.status == 3) << filled.status << " " << filled.stderrText;
      EXPECT_FALSE(Told(filled, at).empty()) << "no message";
      const auto after = app_testing::TreeBytes(watched);
      EXPECT_TRUE(after == before) << Told(filled, at) << Differences(after, before);
    }
    std::printf("  %ju bytes free: status %d %s\n", size, filled.status, Told(filled, at).substr(0, 160).c_str());
    if (filled.status == 0) continue;
    // Freed of the fault, the host runs it again.
    const RunResult again = Run(caseHost, operation.words(at));
    EXPECT_EQ(again.status, 0) << again.stderrText;
    EXPECT_EQ(Picture(watched), wholePicture) << Differences(Picture(watched), wholePicture);
  }
  std::printf("%s, %s disk: a whole run wrote %ju bytes there; %d of %zu runs on a fuller disk failed\n",
              c.operation, DiskName(c.disk).c_str(), written, failed, sizes.size());
}

INSTANTIATE_TEST_SUITE_P(Cases, FullDiskRun, ::testing::ValuesIn(kCases), [](const auto& info) {
  return std::string(info.param.operation) + "_" + DiskName(info.param.disk) + "_disk";
});

class FullDiskProcess : public ::testing::Test {
 protected:
  void SetUp() override {
    if (tolvarin::Engine().EngineHandle == 0) tolvarin::InitCodeBase();
    std::string why;
    disk = SmallDisk::Make(64u << 20, &why);
    if (!disk) GTEST_SKIP() << why;
    course_maker::CourseOptions options;
    options.questions = 200;
    made = course_maker::MakeCourse((disk->path() / "Install").string(), options);
    // The installation as it was, to lay it out again before every run.
    fs::copy(disk->path() / "Install", pristine(), fs::copy_options::recursive);
  }
  fs::path pristine() const { return fs::path(host.Scratch()) / "Pristine"; }
  void PutBack() const {
    fs::remove_all(disk->path() / "Install");
    fs::copy(pristine(), disk->path() / "Install", fs::copy_options::recursive);
  }
  // Runs the program on the installation as it was with room bytes left free, for
  // each room; the runs that could not finish.
  int RunAtEveryRoom(const std::vector<std::string>& args, const std::vector<std::uintmax_t>& rooms) {
    int stopped = 0;
    std::string statuses;
    for (const std::uintmax_t room : rooms) {
      SCOPED_TRACE(std::to_string(room) + " bytes of room");
      PutBack();
      if (!disk->LeaveFree(room)) {
        ADD_FAILURE() << "the disk cannot be filled to leave that room";
        continue;
      }
      const RunResult run = host.Run(args);
      disk->Unfill();
      EXPECT_LT(run.status, 128) << "the program died of signal " << run.status - 128 << "\n" << run.stderrText;
      statuses += " " + std::to_string(room / 1024) + "K:" + std::to_string(run.status);
      if (run.status != 0) {
        ++stopped;
        EXPECT_FALSE(run.boxes.empty()) << "a run that stops says why (status " << run.status << ")";
      }
      app_testing::FolderRows(made.install.course);  // every table opens as it is, its tags clean
      if (HasFailure()) break;
    }
    std::printf("room:status%s\n", statuses.c_str());
    return stopped;
  }

  HostRun host;
  std::unique_ptr<SmallDisk> disk;
  course_maker::MadeCourse made;
};

// From a full disk to about what the run writes: a page or two apart up to 64 KiB,
// then an eighth of it apart.
std::vector<std::uintmax_t> Rooms(std::uintmax_t written) {
  std::vector<std::uintmax_t> rooms;
  const std::uintmax_t near = std::min<std::uintmax_t>(written, 65536);
  const std::uintmax_t step = written < 32768 ? 4096 : 8192;
  for (std::uintmax_t r = 0; r <= near; r += step) rooms.push_back(r);
  for (std::uintmax_t r = 65536 + written / 8; r < written; r += written / 8) rooms.push_back(r);
  return rooms;
}

// What a run on the installation as it was takes of the disk.
std::uintmax_t Written(const SmallDisk& disk, const std::function<void()>& run) {
  const std::uintmax_t before = disk.Free();
  run();
  const std::uintmax_t after = disk.Free();
  return before > after ? before - after : 0;
}

TEST_F(FullDiskProcess, AGameImportThatFillsTheDiskEndsWithAMessageAndNoSignal) {
  // The game package: another seed's course, backed up and read as it stands.
  course_maker::CourseOptions options;
  options.questions = 200;
  options.seed = 7;
  const course_maker::MadeCourse other = course_maker::MakeCourse(host.Scratch() + "/Other", options);
  const std::string package = host.Scratch() + "/Package";
  ASSERT_EQ(host.Run({"AppPath:" + other.install.app, "Mode:UserContent", "Operation:BACKUP",
                      "CoursePath:" + other.install.course, "BackupPath:" + package})
                .status,
            0);
  fs::remove(package + "/TOLVARIN.INI");
  fs::remove(package + "/Status.DBF");
  const std::vector<std::string> args{"AppPath:" + made.install.app, "Mode:UserContent", "Operation:LUDORAIMPORT",
                                      "CoursePath:" + made.install.course, "BackupPath:" + package};
  const std::uintmax_t written = Written(*disk, [&] { ASSERT_EQ(host.Run(args).status, 0); });
  std::printf("the import writes %ju bytes\n", written);
  ASSERT_GT(written, 65536u);
  EXPECT_GT(RunAtEveryRoom(args, Rooms(written)), 0);
}

}  // namespace
