// One run at a time on a course, a backup, a package or the databases: through the
// real program, a run on a folder another run holds waits for it, and when it cannot
// get it in time it is refused before it writes anything; two runs started together
// on one course end as the two one after the other would, or with one refused.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "core/run_lock.h"
#include "core/scripted_presenter.h"
#include "course_maker.h"
#include "course_tables.h"
#include "data/codebase.h"
#include "engine/startup.h"
#include "host_run.h"
#include "spawned_run.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using app_testing::HostRun;
using app_testing::RunResult;
using app_testing::SpawnedRun;
using testing_support::ReadFile;
using testing_support::WriteFile;

namespace {

constexpr const char* kClock = "TOLVARIN_CLOCK=2026-03-02 10:00:00";
constexpr const char* kRefused = "Another copy of the program is working on \"";

std::string Refusal(const std::string& folder) {
  return kRefused + folder + "\".  Nothing was changed; please try again once it has finished.";
}

// A file's bytes with the trial's own folder written "<trial>", and, in the records
// that name a data file's size and checksum (a backup's description, an import's
// note), its checksum left out: a data file's header carries the day it was written.
std::string Masked(const fs::path& file, std::string bytes, const std::string& root) {
  for (std::size_t at; (at = bytes.find(root)) != std::string::npos;) bytes.replace(at, root.size(), "<trial>");
  if (file.filename() != "TOLVARIN.INI" && file.filename() != ".tolvarin-imported") return bytes;
  std::string out;
  for (std::size_t at = 0; at < bytes.size();) {
    std::size_t end = bytes.find('\n', at);
    end = end == std::string::npos ? bytes.size() : end + 1;
    std::string line = bytes.substr(at, end - at);
    const std::string name = line.substr(0, line.find_first_of("= "));
    if (name.size() > 4 && name.compare(name.size() - 4, 4, ".dbf") == 0) line = line.substr(0, line.rfind(' ')) + "\n";
    out += line;
    at = end;
  }
  return out;
}

// What a folder tree holds: every table's live rows (its tags must read clean), the
// names of its index and memo files, every other file's bytes and every folder. The
// logs, the temporary folder and the tests' own files are left out.
using State = std::map<std::string, std::string>;
State Snapshot(const fs::path& root) {
  State state;
  for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it) {
    const fs::path& path = it->path();
    const std::string relative = fs::relative(path, root).string();
    const std::string name = path.filename().string();
    if (it->is_directory()) {
      if (relative == "tmp" || relative == "Install/Host/logs" || relative == "runs") {
        it.disable_recursion_pending();
        continue;
      }
      state["folder " + relative] = "";
      for (const auto& [table, rows] : app_testing::FolderRows(path)) {
        std::string text;
        for (const std::string& row : rows) text += row + "\n";
        state["rows " + relative + "/" + table] = text;
      }
      continue;
    }
    if (name == "tolvarin.log") continue;
    std::string ext = path.extension().string();
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (ext == ".dbf" && name != "Status.DBF") continue;  // read as rows; the version file is text
    state["file " + relative] =
        (ext == ".cdx" || ext == ".fpt") ? "" : Masked(path, ReadFile(path), fs::weakly_canonical(root).string());
  }
  return state;
}

std::string Differences(const State& expected, const State& actual) {
  std::string text;
  for (const auto& [key, value] : expected) {
    const auto found = actual.find(key);
    if (found == actual.end())
      text += "  missing: " + key + "\n";
    else if (found->second != value)
      text += "  differs: " + key + "\n";
  }
  for (const auto& [key, value] : actual)
    if (!expected.count(key)) text += "  extra: " + key + "\n";
  return text;
}

// A host installation with a filled course (Biology), a backup of another course of
// it, and a game package: made once, copied for every trial.
struct Template {
  testing_support::TempDir dir;
  std::string root() const { return dir.str(); }
};

void Build(const Template& t) {
  course_maker::CourseOptions options;
  options.questions = 10;
  const course_maker::MadeCourse course = course_maker::MakeCourse(t.root() + "/Install", options);
  course_maker::CourseOptions other = options;
  other.seed = 2;
  const std::string chemistry = course_maker::AddCourse(course.install, "Chemistry", 4, "Chemistry");
  course_maker::FillCourse(chemistry, other);
  HostRun host;
  host.AddEnvironment(kClock);
  const RunResult backed = host.Run({"AppPath:" + course.install.app, "Mode:UserContent", "Operation:BACKUP",
                                     "CoursePath:" + chemistry, "BackupPath:" + t.root() + "/Backup"});
  ASSERT_EQ(backed.status, 0) << backed.stderrText;
  // The game package: such a backup without its description, with an activity file.
  fs::copy(t.root() + "/Backup", t.root() + "/Package", fs::copy_options::recursive);
  fs::remove(t.root() + "/Package/TOLVARIN.INI");
  fs::remove(t.root() + "/Package/Status.DBF");
  WriteFile(t.root() + "/Package/game.lda",
            "<activity>\n<question_id>0020000</question_id>\n<node_id>0020001</node_id>\n</activity>\n");
}

const Template& Made() {
  static const Template made;
  static const bool built = (Build(made), true);
  (void)built;
  return made;
}

// One copy of the template, and the program's runs on it.
class Trial {
 public:
  explicit Trial(const std::string& folder) : root_(folder) {
    fs::copy(Made().root(), root_, fs::copy_options::recursive);
    fs::create_directories(Temp());
    fs::permissions(Temp(), fs::perms::owner_all);
    fs::create_directories(root_ + "/runs");
  }
  std::string Root() const { return root_; }
  std::string App() const { return root_ + "/Install/Host"; }
  std::string Databases() const { return App() + "/Databases"; }
  std::string Course() const { return Databases() + "/Corvane/Science/Biology"; }
  std::string Backup() const { return root_ + "/Backup"; }
  std::string Package() const { return root_ + "/Package"; }
  // The program's private temporary folder in the runs, and its lock folder.
  std::string Temp() const { return root_ + "/tmp/tolvarin-" + std::to_string(::getuid()); }
  std::string Locks() const { return Temp() + "/locks"; }
  std::string Log() const { return App() + "/tolvarin.log"; }

  std::vector<std::string> Args(const std::string& kind) const {
    const std::vector<std::string> app{"AppPath:" + App()};
    if (kind == "NEWUPGRADE") return {app[0], "Mode:NEWUPGRADE"};
    if (kind == "DIRECTCOPY") return {app[0], "Mode:DIRECTCOPY", "CoursePath:" + Course()};
    const std::string from = kind == "LUDORAIMPORT" ? Package() : Backup();
    return {app[0], "Mode:UserContent", "Operation:" + kind, "CoursePath:" + Course(), "BackupPath:" + from};
  }
  // The environment of a run; its boxes go to its own transcript.
  std::vector<std::string> Environment(const std::string& transcript, const std::string& wait) const {
    std::vector<std::string> entries{kClock, "TMPDIR=" + root_ + "/tmp",
                                     std::string(tolvarin::kTranscriptVariable) + "=" + transcript};
    if (!wait.empty()) entries.push_back("TOLVARIN_LOCK_WAIT=" + wait);
    return entries;
  }
  std::string Transcript(const std::string& name) const { return root_ + "/runs/" + name + ".txt"; }

 private:
  std::string root_;
};

struct Ended {
  int status = -1;
  bool refused = false;  // told that another copy holds a folder
};

Ended Outcome(const app_testing::Ending& ending, const std::string& transcript) {
  Ended ended{ending.killed ? -1 : ending.status, false};
  for (const tolvarin::ShownBox& box : tolvarin::ReadTranscript(transcript))
    ended.refused = ended.refused || box.box.text.rfind(kRefused, 0) == 0;
  return ended;
}

// Runs the kinds one after the other on a fresh trial: their statuses and the end state.
struct Sequence {
  std::vector<int> statuses;
  State state;
};

class RunLockProcess : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (tolvarin::Engine().EngineHandle == 0) tolvarin::InitCodeBase();
  }
  std::string NewFolder() { return scratch_.str() + "/trial" + std::to_string(++trials_); }
  Sequence OneAfterTheOther(const std::vector<std::string>& kinds) {
    const Trial trial(NewFolder());
    Sequence sequence;
    int n = 0;
    for (const std::string& kind : kinds) {
      const std::string transcript = trial.Transcript("seq" + std::to_string(++n));
      SpawnedRun run(HostRun::Program(), trial.Args(kind), trial.Environment(transcript, "0"));
      const Ended ended = Outcome(run.Wait(), transcript);
      EXPECT_FALSE(ended.refused) << kind;
      sequence.statuses.push_back(ended.status);
    }
    sequence.state = Snapshot(trial.Root());
    return sequence;
  }

  testing_support::TempDir scratch_;
  int trials_ = 0;
};

// A run meets a folder that another run holds (the test holds it here, as a run
// does): it is refused at once, names the folder, and leaves every folder as it was;
// a course whose tables another run is staging keeps them.
TEST_F(RunLockProcess, ARunOnAFolderAnotherRunHoldsIsRefusedAndWritesNothing) {
  const Trial trial(NewFolder());
  // What another run is in the middle of: tables staged for a swap into the course.
  fs::create_directories(trial.Course() + "/.tolvarin-swap");
  for (const char* file : {"quests.dbf", "quests.cdx", "quests.fpt"})
    fs::copy_file(trial.Course() + "/" + file, trial.Course() + "/.tolvarin-swap/" + file);
  const struct {
    std::string held;
    std::string kind;
    std::string named;  // the folder the refusal names
  } cases[] = {
      {trial.Databases() + "/CORVANE/science/BIOLOGY", "BACKUP", trial.Course()},
      {trial.Course(), "RESTORE", trial.Course()},
      {trial.Backup() + "/", "RESTORE", trial.Backup()},
      {trial.Package(), "LUDORAIMPORT", trial.Package()},
      {trial.Databases(), "DIRECTCOPY", fs::weakly_canonical(trial.Databases()).string()},  // an upgrade holds it
      {trial.Course(), "NEWUPGRADE", trial.Databases()},
      {trial.Databases() + "/Backup/Corvane/Science/Biology", "DIRECTCOPY",
       trial.Databases() + "/Backup/Corvane/Science/Biology"},
  };
  const State before = Snapshot(trial.Root());
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.kind + " while " + c.held + " is held");
    const tolvarin::LockAttempt holder = tolvarin::TakeFolderLocks({c.held}, trial.Locks(), 0ms);
    ASSERT_TRUE(holder.taken) << holder.error << holder.busy;
    const std::string transcript = trial.Transcript("refused" + std::to_string(++n));
    SpawnedRun run(HostRun::Program(), trial.Args(c.kind), trial.Environment(transcript, "0"));
    const app_testing::Ending ending = run.Wait();
    EXPECT_EQ(ending.status, tolvarin::kOperationFailedStatus);
    const auto boxes = tolvarin::ReadTranscript(transcript);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].box.text, Refusal(c.named));
    EXPECT_EQ(Differences(before, Snapshot(trial.Root())), "");
  }
  // The run log says why each ended (the upgrade and the slots write no step lines).
  std::size_t told = 0;
  for (const std::string& line : app_testing::Lines(ReadFile(trial.Log())))
    told += line.rfind(std::string("TOLVARIN ERROR: ") + kRefused, 0) == 0;
  EXPECT_EQ(told, std::size(cases));
}

// Every mode holds the folders it works on: the staging folders of the exam export
// and the supplemental package, the whole area of a recovery (its chooser may turn to
// another course), the databases of the upgrades, the restore points and the repair,
// the folders a precision backup's profile names.
TEST_F(RunLockProcess, EveryModeHoldsTheFoldersItWorksOn) {
  const Trial trial(NewFolder());
  const std::string app = "AppPath:" + trial.App(), course = "CoursePath:" + trial.Course();
  const std::string area = trial.Databases() + "/Corvane/Science", chemistry = area + "/Chemistry";
  const std::string cortemp = trial.Temp() + "/cortemp", trees = trial.Root() + "/Trees";
  const std::string gradebook = trial.Databases() + "/Backup/GradebookBackup1";
  fs::create_directories(trees);
  fs::create_directories(gradebook);
  WriteFile(gradebook + "/backupprofile.xml", "<CourseBackupProfile><Path>" + trial.Course() +
                                                  "/</Path><TableBackupProfile><Name>quests</Name><Tag>quest_id</Tag>"
                                                  "<ID>0020000</ID></TableBackupProfile></CourseBackupProfile>");
  const struct {
    std::string held;
    std::vector<std::string> args;
    std::string named;
  } cases[] = {
      {cortemp, {app, "Mode:UserContent", "Operation:GBExport", course, "Exam:1", "PackagePath:x.zip"}, cortemp},
      {cortemp, {app, "Mode:CREATESUPPLEMENTALPACKAGE", course, "IDStart:1", "IDEnd:9"}, cortemp},
      {chemistry, {app, "Mode:RECOVER", course}, area},
      {chemistry, {app, "Interactive:TRUE", "UserName:latsek", "Password:580246", course}, area},
      {trees, {app, "Mode:INSTALLSTANDARDTREES", "SrcPath:" + trees, "DestPath:" + trial.Course()}, trees},
      {trial.Course(), {app, "Mode:PRECISIONBACKUP", "BackupPath:" + gradebook}, trial.Course()},
      {trial.Course(), {app, "Mode:PRECISIONRESTORE"}, trial.Databases()},
      {trial.Course(), {app, "Mode:REPAIRCORRUPTTABLE"}, trial.Databases()},
      {trial.Course(), {app, "Mode:APPENDPACKAGE"}, trial.Databases()},
      {trial.Course(), {app, "Mode:GRADEBOOKUPDATE", "BackupPath:" + trial.Course(), "CoursePath:" + chemistry},
       trial.Course()},
  };
  const State before = Snapshot(trial.Root());
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args[1] + " while " + c.held + " is held");
    const tolvarin::LockAttempt holder = tolvarin::TakeFolderLocks({c.held}, trial.Locks(), 0ms);
    ASSERT_TRUE(holder.taken) << holder.error << holder.busy;
    const std::string transcript = trial.Transcript("mode" + std::to_string(++n));
    SpawnedRun run(HostRun::Program(), c.args, trial.Environment(transcript, "0"));
    EXPECT_EQ(run.Wait().status, tolvarin::kOperationFailedStatus);
    const auto boxes = tolvarin::ReadTranscript(transcript);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].box.text, Refusal(c.named));
    EXPECT_EQ(Differences(before, Snapshot(trial.Root())), "");
  }
}

// A run waits for a folder that another run holds, and goes on once it is free.
TEST_F(RunLockProcess, ARunWaitsForTheCourseAndGoesOnOnceTheOtherRunLetsGo) {
  const Trial trial(NewFolder());
  const Sequence alone = OneAfterTheOther({"BACKUP"});
  tolvarin::LockAttempt holder = tolvarin::TakeFolderLocks({trial.Course()}, trial.Locks(), 0ms);
  ASSERT_TRUE(holder.taken);
  const std::string transcript = trial.Transcript("waiting");
  SpawnedRun run(HostRun::Program(), trial.Args("BACKUP"), trial.Environment(transcript, "600000"));
  const std::string waiting = "Waiting for another copy of the program to finish with \"" + trial.Course() + "\"";
  const auto deadline = std::chrono::steady_clock::now() + 90s;
  while (ReadFile(trial.Log()).find(waiting) == std::string::npos && !run.Ended() &&
         std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(5ms);
  ASSERT_FALSE(run.Ended()) << "the run did not wait";
  ASSERT_NE(ReadFile(trial.Log()).find(waiting), std::string::npos);
  holder.locks.Release();
  const Ended ended = Outcome(run.Wait(), transcript);
  EXPECT_EQ(ended.status, 0);
  EXPECT_FALSE(ended.refused);
  State now = Snapshot(trial.Root());
  EXPECT_EQ(Differences(alone.state, now), "");
}

// The kernel drops a killed run's locks: the next run goes on at once.
TEST_F(RunLockProcess, ARunKilledWhileItHoldsTheCourseLeavesNoLockBehind) {
  const Trial trial(NewFolder());
  const std::vector<std::string> environment = trial.Environment(trial.Transcript("killed"), "0");
  // "main non" is the operation's first line, written once the run holds its folders.
  ASSERT_TRUE(app_testing::RunAndKillAt(trial.Args("RESTORE"), trial.Log(), "main non", {}, environment));
  const std::string transcript = trial.Transcript("after");
  SpawnedRun run(HostRun::Program(), trial.Args("RESTORE"), trial.Environment(transcript, "0"));
  const Ended ended = Outcome(run.Wait(), transcript);
  EXPECT_FALSE(ended.refused);
  EXPECT_EQ(ended.status, 0);
}

// Two runs started together on one course, for every pair of kinds: they end as the
// two one after the other would (in either order), or with one of them refused and
// the other's end state alone. Each pair is started with no wait, with a long one
// (the second always waits) and with the program's own.
class RunPairProcess : public RunLockProcess, public ::testing::WithParamInterface<std::pair<const char*, const char*>> {};

TEST_P(RunPairProcess, TwoRunsStartedTogetherEndAsOneAfterTheOtherOrWithOneRefused) {
  const std::string a = GetParam().first, b = GetParam().second;
  const Sequence onlyA = OneAfterTheOther({a}), onlyB = a == b ? onlyA : OneAfterTheOther({b});
  const Sequence ab = OneAfterTheOther({a, b}), ba = a == b ? ab : OneAfterTheOther({b, a});
  std::map<std::string, int> outcomes;
  for (const char* wait : {"0", "600000", ""}) {
    const Trial trial(NewFolder());
    const std::string transcriptA = trial.Transcript("a"), transcriptB = trial.Transcript("b");
    SpawnedRun runA(HostRun::Program(), trial.Args(a), trial.Environment(transcriptA, wait));
    SpawnedRun runB(HostRun::Program(), trial.Args(b), trial.Environment(transcriptB, wait));
    const Ended endA = Outcome(runA.Wait(), transcriptA), endB = Outcome(runB.Wait(), transcriptB);
    const State state = Snapshot(trial.Root());
    SCOPED_TRACE(a + " and " + b + ", wait " + (*wait ? wait : "default"));
    ASSERT_FALSE(endA.refused && endB.refused) << "both were refused";
    if (endA.refused || endB.refused) {
      const Sequence& other = endA.refused ? onlyB : onlyA;
      EXPECT_EQ((endA.refused ? endA : endB).status, tolvarin::kOperationFailedStatus);
      EXPECT_EQ((endA.refused ? endB : endA).status, other.statuses[0]);
      EXPECT_EQ(Differences(other.state, state), "");
      ++outcomes[endA.refused ? "first refused" : "second refused"];
      continue;
    }
    const std::vector<int> statuses{endA.status, endB.status};
    const bool likeAB = statuses == ab.statuses && state == ab.state;
    const bool likeBA = std::vector<int>{endB.status, endA.status} == ba.statuses && state == ba.state;
    EXPECT_TRUE(likeAB || likeBA) << "statuses " << endA.status << " " << endB.status << "; against " << a
                                  << " then " << b << ":\n"
                                  << Differences(ab.state, state) << "against " << b << " then " << a << ":\n"
                                  << Differences(ba.state, state);
    ++outcomes[likeAB ? "one after the other" : "the second first"];
  }
  std::string counts;
  for (const auto& [outcome, count] : outcomes) counts += " " + outcome + ": " + std::to_string(count) + ";";
  const auto shown = [](const std::vector<int>& statuses) {
    std::string text;
    for (const int status : statuses) text += (text.empty() ? "" : ",") + std::to_string(status);
    return text;
  };
  std::printf("PAIR %s+%s (alone %s/%s, one after the other %s, the other way %s):%s\n", a.c_str(), b.c_str(),
              shown(onlyA.statuses).c_str(), shown(onlyB.statuses).c_str(), shown(ab.statuses).c_str(),
              shown(ba.statuses).c_str(), counts.c_str());
}

std::vector<std::pair<const char*, const char*>> EveryPair() {
  static const char* kinds[] = {"BACKUP", "RESTORE", "LUDORAIMPORT", "DIRECTCOPY", "NEWUPGRADE"};
  std::vector<std::pair<const char*, const char*>> pairs;
  for (std::size_t i = 0; i < std::size(kinds); ++i)
    for (std::size_t j = i; j < std::size(kinds); ++j) pairs.emplace_back(kinds[i], kinds[j]);
  return pairs;
}

INSTANTIATE_TEST_SUITE_P(EveryPair, RunPairProcess, ::testing::ValuesIn(EveryPair()),
                         [](const auto& info) { return std::string(info.param.first) + "_" + info.param.second; });

}  // namespace
