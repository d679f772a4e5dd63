// transfer_bench FOLDER [QUESTIONS]: times the program's main job on a realistic
// course (20,000 questions unless told otherwise), each run through the real tolvarin
// program as the host starts it:
//   backup    Operation:BACKUP of the course into a backup folder (the course is emptied)
//   restore   Operation:RESTORE (identifiers kept) into the emptied course
//   import    Operation:LUDORAIMPORT (default remapping) of the backup into the
//             course, which then holds the same content
// Beside them, two floors measured in the same run: a raw copy of the course's table
// files, and the engine appending the same rows into blank tables with no transfer
// logic (field copies by position). Goals are ratios: backup within 2x the append
// floor, restore within 3x; peak memory of each run under 256 MB.
// On a machine shared with other work single figures wander: every round (3 unless
// told otherwise) starts from a fresh copy of the same course and measures the floors
// again, and the summary sets the best time of each beside the best floor.
// For information a third floor: the same appends into tables held whole, their tags
// rebuilt once at the end (as the backup fills its new tables).

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "course_maker.h"
#include "data/codebase.h"
#include "data/open_table.h"
#include "data/record_ops.h"
#include "platform/xbase/xbase.h"
#include "spawned_run.h"

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;
double Since(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

bool IsTableFile(const fs::path& path) {
  std::string ext = path.extension().string();
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext == ".dbf" || ext == ".cdx" || ext == ".fpt";
}

// The course's table files copied byte for byte.
double RawCopy(const fs::path& course, const fs::path& target) {
  fs::remove_all(target);
  fs::create_directories(target);
  const auto start = Clock::now();
  for (const auto& entry : fs::directory_iterator(course))
    if (IsTableFile(entry.path())) fs::copy_file(entry.path(), target / entry.path().filename());
  return Since(start);
}

// Every row of every course table appended into a blank copy of it, fields by
// position; in bulk, each blank table is held whole and its tags rebuilt once.
double Appends(const fs::path& course, const fs::path& blank, const fs::path& target, bool bulk) {
  fs::remove_all(target);
  fs::create_directories(target);
  std::vector<std::string> tables;
  for (const auto& entry : fs::directory_iterator(course))
    if (entry.path().extension() == ".dbf") tables.push_back(entry.path().stem().string());
  for (const std::string& table : tables)
    for (const char* ext : {".dbf", ".cdx", ".fpt"})
      if (fs::exists(blank / (table + ext))) fs::copy_file(blank / (table + ext), target / (table + ext));
  const auto start = Clock::now();
  const xbase::Code4 code = tolvarin::Engine().EngineHandle;
  for (const std::string& table : tables) {
    if (!fs::exists(target / (table + ".dbf"))) continue;
    xbase::Data4 from = xbase::d4open(code, (course / (table + ".dbf")).string());
    xbase::Data4 to = xbase::d4open(code, (target / (table + ".dbf")).string());
    const bool ready = from && to && (!bulk || (xbase::d4lockAll(to) == 0 && xbase::d4bulkAppend(to, 1) == 0));
    if (ready) {
      for (int rc = xbase::d4top(from); rc == 0; rc = xbase::d4skip(from, 1)) {
        xbase::d4appendStart(to);
        tolvarin::CopyFieldsByPosition(from, to);
        xbase::d4append(to);
      }
      if (bulk) xbase::d4unlock(to);
    }
    if (from) xbase::d4close(from);
    if (to) xbase::d4close(to);
  }
  return Since(start);
}

// The path under made's folder moved under to's.
std::string Moved(const std::string& path, const fs::path& made, const fs::path& to) {
  return (to / fs::path(path).lexically_relative(made)).string();
}

struct RunFigures {
  double seconds = 0;
  long peakKb = 0;
  int status = -1;
};

RunFigures RunTolvarin(const std::string& program, const std::vector<std::string>& args) {
  const auto start = Clock::now();
  app_testing::SpawnedRun run(program, args);
  const app_testing::Ending ending = run.Wait();
  return {Since(start), ending.peakKb, ending.status};
}

void Report(const char* what, const RunFigures& run, const char* floorName, double floor) {
  std::printf("%-10s %8.3f s  status %d  peak %6.1f MB   floor (%s) %8.3f s   ratio %5.2f\n", what, run.seconds,
              run.status, run.peakKb / 1024.0, floorName, floor, floor > 0 ? run.seconds / floor : 0.0);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: transfer_bench FOLDER [QUESTIONS [ROUNDS]]\n");
    return 2;
  }
  const fs::path folder = fs::absolute(argv[1]);
  course_maker::CourseOptions options;
  options.questions = argc > 2 ? std::atoi(argv[2]) : 20000;
  const int rounds = std::max(1, argc > 3 ? std::atoi(argv[3]) : 3);
  fs::remove_all(folder);
  std::printf("making a course of %d questions in %s\n", options.questions, folder.c_str());
  const fs::path madeRoot = folder / "Made";
  const course_maker::MadeCourse made = course_maker::MakeCourse(madeRoot.string(), options);
  const std::string program = (fs::path(argv[0]).parent_path() / "tolvarin").string();
  const std::string backup = (folder / "Backup").string();

  tolvarin::InitCodeBase();
  const char* phases[] = {"backup", "restore", "import"};
  const char* operations[] = {"BACKUP", "RESTORE", "LUDORAIMPORT"};
  double bestCopy = 0, bestAppend = 0, bestBulk = 0;
  std::vector<RunFigures> best(3);
  for (int round = 1; round <= rounds; ++round) {
    // A fresh copy of the made installation for every round.
    const fs::path root = folder / "Install";
    fs::remove_all(root);
    fs::remove_all(backup);
    fs::copy(madeRoot, root, fs::copy_options::recursive);
    const fs::path course = Moved(made.install.course, madeRoot, root);
    const fs::path blank = Moved(made.install.blank, madeRoot, root);
    const std::string app = Moved(made.install.app, madeRoot, root);

    const double copyFloor = RawCopy(course, folder / "RawCopy");
    const double appendFloor = Appends(course, blank, folder / "Appends", false);
    const double bulkFloor = Appends(course, blank, folder / "BulkAppends", true);
    std::printf("round %d\n", round);
    std::printf("floor: raw copy of the table files %8.3f s\n", copyFloor);
    std::printf("floor: bare appends of every row   %8.3f s\n", appendFloor);
    std::printf("       (the same appends in bulk   %8.3f s)\n", bulkFloor);
    auto keepLeast = [](double& bestSoFar, double now) { bestSoFar = bestSoFar == 0 ? now : std::min(bestSoFar, now); };
    keepLeast(bestCopy, copyFloor);
    keepLeast(bestAppend, appendFloor);
    keepLeast(bestBulk, bulkFloor);

    const std::vector<std::string> common{"AppPath:" + app, "Mode:UserContent", "CoursePath:" + course.string(),
                                          "BackupPath:" + backup};
    for (int phase = 0; phase < 3; ++phase) {
      std::vector<std::string> args = common;
      args.push_back(std::string("Operation:") + operations[phase]);
      const RunFigures run = RunTolvarin(program, args);
      Report(phases[phase], run, "appends", appendFloor);
      // The best time, the highest peak, and the status of a round that failed.
      RunFigures& b = best[static_cast<std::size_t>(phase)];
      const long peak = std::max(b.peakKb, run.peakKb);
      const int status = round > 1 && b.status != 0 ? b.status : run.status;
      if (round == 1 || run.seconds < b.seconds) b = run;
      b.peakKb = peak;
      b.status = status;
    }
  }
  std::printf("best of %d rounds (peak: the highest)\n", rounds);
  std::printf("floor: raw copy of the table files %8.3f s\n", bestCopy);
  std::printf("floor: bare appends of every row   %8.3f s\n", bestAppend);
  std::printf("       (the same appends in bulk   %8.3f s)\n", bestBulk);
  for (int phase = 0; phase < 3; ++phase) Report(phases[phase], best[static_cast<std::size_t>(phase)], "appends", bestAppend);
  tolvarin::CloseCodeBase();
  return 0;
}
