// The real program on an installation whose file system fills while it works: a
// game import (Operation:LUDORAIMPORT) started with a little more room each time.
// The engine never kills the program with a signal: an import that cannot finish
// says so and ends with a non-zero status, and every table of its course still
// opens with its tags clean.
#include <gtest/gtest.h>

#include <cstdio>
#include <algorithm>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
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
