#include "engine/course_fixture.h"

#include <cstdlib>

#include "data/catalogue.h"
#include "data/codebase.h"
#include "platform/xbase/xbase.h"

namespace package_testing {

void CourseTest::SetUp() {
  settings_ = tolvarin::Settings();
  paths_ = tolvarin::Paths();
  if (const char* old = std::getenv("TMPDIR")) oldTmp_ = old, hadTmp_ = true;
  std::filesystem::create_directories(dir_.path() / "tmp");
  ::setenv("TMPDIR", (dir_.path() / "tmp").c_str(), 1);
  if (tolvarin::Engine().EngineHandle == 0) tolvarin::InitCodeBase();

  course_maker::CourseOptions options;
  options.questions = 60;
  made_ = course_maker::MakeCourse((dir_.path() / "host").string(), options);
  auto& s = tolvarin::Settings();
  s.AppPath = made_.install.app;
  s.Mode = 0;
  s.Interactive = false;
  auto& p = tolvarin::Paths();
  p.DatabasesRoot = made_.install.databases;
  p.BrandFolder = made_.install.brand;
  p.Brand = "Corvane";
  tolvarin::LoadAreas();
  tolvarin::SetCurrentArea(tolvarin::Areas().Records[0]);
  tolvarin::SetCurrentCourse(tolvarin::Areas().Records[0].Courses[options.courseId]);

  auto presenter = std::make_unique<tolvarin::ScriptedPresenter>();
  presenter_ = presenter.get();
  previous_ = tolvarin::SetPresenter(std::move(presenter));
}

void CourseTest::TearDown() {
  tolvarin::SetPresenter(std::move(previous_));
  tolvarin::SetCurrentCourse(tolvarin::CourseRecord());
  tolvarin::SetCurrentArea(tolvarin::AreaRecord());
  tolvarin::Areas() = tolvarin::AreaCatalogue();
  tolvarin::Settings() = settings_;
  tolvarin::Paths() = paths_;
  if (hadTmp_)
    ::setenv("TMPDIR", oldTmp_.c_str(), 1);
  else
    ::unsetenv("TMPDIR");
}

std::string CourseTest::Course(const std::string& name) const {
  return name.empty() ? made_.install.course : made_.install.course + "/" + name;
}

std::string CourseTest::Scratch(const std::string& name) const { return (dir_.path() / name).string(); }

long RowCount(const std::string& dbf) {
  const xbase::Data4 data = xbase::d4open(tolvarin::Engine().EngineHandle, dbf);
  if (data == 0) return -1;
  const long count = xbase::d4recCount(data);
  xbase::d4close(data);
  return count;
}

}  // namespace package_testing
