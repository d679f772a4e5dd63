#include "course_maker.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "core/settings.h"
#include "data/catalogue.h"
#include "data/codebase.h"
#include "platform/xbase/tag_check.h"
#include "platform/xbase/xbase.h"
#include "support/test_support.h"

namespace {

namespace fs = std::filesystem;
using course_maker::CourseOptions;
using course_maker::MakeCourse;
using testing_support::ReadFile;
using testing_support::TempDir;

long LiveAndDeleted(const std::string& folder, const std::string& table, long* deleted = nullptr) {
  const xbase::Data4 data = xbase::d4open(tolvarin::Engine().EngineHandle, folder + "/" + table + ".dbf");
  EXPECT_NE(data, 0) << table;
  long count = 0, marked = 0;
  for (int rc = xbase::d4top(data); rc == 0; rc = xbase::d4skip(data, 1)) {
    ++count;
    if (xbase::d4deleted(data)) ++marked;
  }
  for (const auto& check : xbase::detail::CheckTags(data)) EXPECT_TRUE(check.Problems().empty()) << table << " " << check.Line();
  xbase::d4close(data);
  if (deleted) *deleted = marked;
  return count;
}

TEST(CourseMaker, SameSeedGivesTheSameCourseAndAnotherSeedAnother) {
  TempDir a, b, c;
  CourseOptions options;
  options.questions = 300;
  const auto first = MakeCourse(a.str(), options);
  const auto second = MakeCourse(b.str(), options);
  options.seed = 2;
  const auto third = MakeCourse(c.str(), options);
  for (const char* file : {"quests.fpt", "examques.dbf", "templates.fpt", "stanques.dbf", "sesresults.dbf"}) {
    EXPECT_EQ(ReadFile(first.install.course + "/" + file), ReadFile(second.install.course + "/" + file)) << file;
  }
  EXPECT_NE(ReadFile(first.install.course + "/quests.fpt"), ReadFile(third.install.course + "/quests.fpt"));
  EXPECT_EQ(first.content.imageFiles, second.content.imageFiles);
}

TEST(CourseMaker, LaysOutAnInstallationTheCatalogueReadsWithRowsInRealisticProportions) {
  TempDir dir;
  const auto saved = tolvarin::Paths();
  const auto made = MakeCourse(dir.str());
  const auto& c = made.content;
  ASSERT_TRUE(fs::exists(made.install.app + "/Kestal.INI"));
  ASSERT_TRUE(fs::exists(made.install.blank + "/quests.dbf"));

  tolvarin::Paths().BrandFolder = made.install.brand;
  tolvarin::LoadAreas();
  ASSERT_EQ(tolvarin::Areas().Count, 1);
  const auto& course = tolvarin::Areas().Records[0].Courses[3];
  EXPECT_TRUE(course.Loaded);
  EXPECT_EQ(course.DisplayName, "Biology");
  tolvarin::Areas() = tolvarin::AreaCatalogue();
  tolvarin::Paths() = saved;

  // Every row is in its table, every tag agrees with its rows.
  const std::string& f = made.install.course;
  long deleted = 0;
  EXPECT_EQ(LiveAndDeleted(f, "quests", &deleted), static_cast<long>(c.questions.size()));
  EXPECT_EQ(deleted, 3);
  EXPECT_EQ(LiveAndDeleted(f, "examques"), static_cast<long>(c.examQuestions.size()));
  EXPECT_EQ(LiveAndDeleted(f, "stanques"), static_cast<long>(c.links.size()));
  EXPECT_EQ(LiveAndDeleted(f, "sesresults"), static_cast<long>(c.results.size()));
  EXPECT_EQ(LiveAndDeleted(f, "templates"), static_cast<long>(c.activities.size()));
  EXPECT_EQ(LiveAndDeleted(made.install.brand, "users"), 2 + 4);

  std::set<std::int32_t> questionIds;
  int publisher = 0;
  for (const auto& q : c.questions) {
    questionIds.insert(q.id);
    if (q.id < 20000) ++publisher;
  }
  EXPECT_EQ(questionIds.size(), 2000u);
  EXPECT_EQ(publisher, 1200);
  for (const auto& eq : c.examQuestions) EXPECT_TRUE(questionIds.count(eq.questId));
  bool sessionActivity = false;
  for (const auto& a : c.activities) sessionActivity = sessionActivity || a.sessionId != 0;
  EXPECT_TRUE(sessionActivity);
  bool userNode = false;
  for (const auto& n : c.nodes) userNode = userNode || n.node >= 20000;
  EXPECT_TRUE(userNode);
  for (std::size_t i = 0; i < c.imageIds.size(); ++i)
    EXPECT_EQ(ReadFile(f + "/" + c.imageFiles[i]), course_maker::ImageBytes(c.imageIds[i]));
}

}  // namespace
