#include "transfer_fixture.h"

#include <filesystem>

#include "core/settings.h"
#include "data/codebase.h"
#include "data/table_catalogue.h"
#include "data/table_registry.h"
#include "engine/transfer/database_sets.h"
#include "engine/transfer/id_mapping.h"
#include "engine/transfer/selection.h"
#include "engine/transfer/table_mapping.h"
#include "engine/transfer/transfer_state.h"

namespace fs = std::filesystem;
using namespace tolvarin;

namespace transfer_test {

void TransferTest::SetUp() {
  if (Engine().EngineHandle == 0) InitCodeBase();
  auto scripted = std::make_unique<ScriptedPresenter>();
  presenter_ = scripted.get();
  previous_ = SetPresenter(std::move(scripted));
  Settings() = RunSettings{};
  Settings().IncludeTestContent = true;
  Settings().IncludeGradebookContent = true;
  Paths() = RunPaths{};
  Transfer() = TransferFlags{};
  InitTableCatalogue();
  ResetRegistry();
  ResetTableMappings();
}

void TransferTest::TearDown() {
  UninitSrc();
  UninitDest();
  Src() = DatabaseSet{};
  Dest() = DatabaseSet{};
  ResetTableMappings();
  for (const auto& entry : RegistryEntries()) {
    xbase::Data4 data = entry.Data;
    CloseTable(data);
  }
  ResetRegistry();
  SetPresenter(std::move(previous_));
  Settings() = RunSettings{};
  Paths() = RunPaths{};
  CloseCodeBase();
  InitCodeBase();
}

const course_maker::MadeCourse& TransferTest::Shared() {
  static testing_support::TempDir dir;
  static const course_maker::MadeCourse made = course_maker::MakeCourse(dir.str());
  return made;
}

course_maker::MadeCourse TransferTest::Fresh(const course_maker::CourseOptions& options) {
  const fs::path folder = temp_.path() / ("install" + std::to_string(options.seed) + "_" + std::to_string(options.questions));
  return course_maker::MakeCourse(folder.string(), options);
}

void TransferTest::UseCourse(const course_maker::Installation& install, const std::string& course) {
  Settings().AppPath = install.app;
  Paths().CoursePath = course.empty() ? install.course : course;
  Paths().AreaFolder = install.area;
  Paths().BrandFolder = install.brand;
  Paths().DatabasesRoot = install.databases;
}

void TransferTest::OpenSource(const std::string& courseFolder) {
  DatabaseSet& s = Src();
  s.CourseFolder = courseFolder;
  s.AreaFolder = courseFolder + "/..";
  s.BrandFolder = courseFolder + "/../..";
  InitSrc();
}

void TransferTest::OpenDestination(const std::string& courseFolder) {
  DatabaseSet& d = Dest();
  d.CourseFolder = courseFolder;
  d.AreaFolder = courseFolder + "/..";
  d.BrandFolder = courseFolder + "/../..";
  InitDest();
}

std::string TransferTest::MapImport(int questions, course_maker::MadeCourse& made) {
  made = Fresh({.seed = 1, .questions = questions});
  const std::string dest = course_maker::AddCourse(made.install, "Chemistry", 4, "Chemistry");
  course_maker::FillCourse(dest, {.seed = 2, .questions = questions});
  UseCourse(made.install, dest);
  Settings().Operation = 2;
  Settings().Interactive = true;
  OpenSource(made.install.course);
  OpenDestination(dest);
  SelectAllRecords();
  EXPECT_TRUE(BuildMappings());
  return dest;
}

}  // namespace transfer_test
