#include "dialog_tables.h"

#include "construction/blank_tables.h"
#include "construction/schema.h"
#include "core/settings.h"
#include "data/catalogue.h"
#include "data/codebase.h"
#include "data/table_catalogue.h"
#include "data/table_registry.h"

namespace fs = std::filesystem;

namespace ui_testing {

using namespace tolvarin;

void DialogTablesTest::SetUp() {
  WindowTest::SetUp();
  if (Engine().EngineHandle == 0) InitCodeBase();
  root_ = temp_.path() / "Databases";
  blank_ = root_ / "Blank";
  brand_ = root_ / "Corvane";
  course_ = brand_ / "Math" / "Algebra";
  fs::create_directories(course_);
  Settings().AppPath = temp_.str();
  Paths().DatabasesRoot = root_.string();
  Paths().BrandFolder = brand_.string();
  InitTableCatalogue();
  ResetRegistry();
  if (TableDefs().empty()) DefineDatabase();
  CreateBlankTables(blank_.string());
  gradebook_testing::CopyBlank(blank_, "students", brand_);
  gradebook_testing::AddRows(brand_ / "students.dbf", {{{"student_id", "0000001"}, {"last_name", "Abel"}},
                                                       {{"student_id", "0000002"}, {"last_name", "Baker"}}});
  Areas().Records.assign(1, AreaRecord{});
  AreaRecord& area = Areas().Records[0];
  area.Name = "Math";
  area.AreaID = 2;
  area.Path = (brand_ / "Math").string();
  area.Courses[1].Loaded = true;
  area.Courses[1].CourseID = 1;
  area.Courses[1].DisplayName = "Algebra";
  area.Courses[1].Path = course_.string();
  Areas().Count = 1;
}

void DialogTablesTest::TearDown() {
  ResetRegistry();
  Areas() = AreaCatalogue{};
  Paths() = RunPaths{};
  Settings() = RunSettings{};
  WindowTest::TearDown();
}

std::vector<std::string> DialogTablesTest::Students() const {
  return gradebook_testing::Rows(brand_ / "students.dbf", {"student_id", "last_name"});
}

}  // namespace ui_testing
