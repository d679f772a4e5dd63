// restore_steps_bench FOLDER [QUESTIONS]: times a whole restore of the realistic course
// (20,000 questions by default) into an empty course: the selection, the identifier
// maps and the copy. The floor is the engine copying the same tables' records into
// blank copies by position with no selection or mapping, measured in the same run.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "course_maker.h"
#include "core/settings.h"
#include "data/codebase.h"
#include "data/record_ops.h"
#include "data/table_catalogue.h"
#include "engine/transfer/database_sets.h"
#include "engine/transfer/id_mapping.h"
#include "engine/transfer/row_copy.h"
#include "engine/transfer/selection.h"

using namespace tolvarin;
using Clock = std::chrono::steady_clock;

namespace {

double Ms(Clock::time_point from) { return std::chrono::duration<double, std::milli>(Clock::now() - from).count(); }

void Point(DatabaseSet& set, const std::string& course) {
  set.CourseFolder = course;
  set.AreaFolder = course + "/..";
  set.BrandFolder = course + "/../..";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: transfer_bench FOLDER [QUESTIONS]\n");
    return 2;
  }
  namespace fs = std::filesystem;
  fs::remove_all(argv[1]);
  course_maker::CourseOptions options;
  options.questions = argc > 2 ? std::atoi(argv[2]) : 20000;
  const auto made = course_maker::MakeCourse(argv[1], options);
  const std::string target = course_maker::AddCourse(made.install, "Target", 4, "Target");
  const std::string floor = course_maker::AddCourse(made.install, "Floor", 5, "Floor");

  InitTableCatalogue();
  Settings().AppPath = made.install.app;
  Settings().IncludeTestContent = Settings().IncludeGradebookContent = true;
  Settings().Operation = 2;
  Paths().DatabasesRoot = made.install.databases;
  Paths().CoursePath = target;
  Paths().AreaFolder = made.install.area;

  const auto start = Clock::now();
  Point(Src(), made.install.course);
  Point(Dest(), target);
  InitSrc();
  InitDest();
  const double open = Ms(start);
  auto t = Clock::now();
  SelectAllRecords();
  const double select = Ms(t);
  t = Clock::now();
  if (!BuildMappings()) return 1;
  const double map = Ms(t);
  t = Clock::now();
  CopyTables();
  const double copy = Ms(t);
  UninitSrc();
  UninitDest();
  const double total = Ms(start);

  // The floor: every record of the same tables copied by position, nothing else.
  t = Clock::now();
  for (const char* table : {"quests", "descript", "questype", "exams", "examques", "printopt", "sessions", "sesquests",
                            "sesresults", "templates", "classes", "students", "stanques", "charattributes",
                            "enumattributes", "memoattributes"}) {
    const xbase::Data4 from = xbase::d4open(Engine().EngineHandle, made.install.course + "/" + table + ".dbf");
    const xbase::Data4 to = xbase::d4open(Engine().EngineHandle, floor + "/" + table + ".dbf");
    for (int rc = xbase::d4top(from); rc == 0; rc = xbase::d4skip(from, 1)) {
      xbase::d4appendStart(to, 0);
      CopyFieldsByPosition(from, to);
      xbase::d4append(to);
    }
    xbase::d4close(from);
    xbase::d4close(to);
  }
  const double floorMs = Ms(t);

  std::printf("course: %d questions\n", options.questions);
  std::printf("open both sets     %9.1f ms\n", open);
  std::printf("select all records %9.1f ms\n", select);
  std::printf("build the maps     %9.1f ms\n", map);
  std::printf("copy rows, images  %9.1f ms\n", copy);
  std::printf("whole restore      %9.1f ms   floor (plain record copy of the same tables) %9.1f ms   ratio %.2f\n",
              total, floorMs, total / floorMs);
  return 0;
}
