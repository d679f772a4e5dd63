#include "data/category_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "core/strings.h"
#include "data/codebase.h"
#include "data/record_ops.h"
#include "data/table_catalogue.h"
#include "data/table_registry.h"
#include "support/test_support.h"

namespace tolvarin {
namespace {

namespace fs = std::filesystem;

using Node = std::tuple<long, long, long, long, std::string>;  // tree, node, parent, order, descript

struct Row {
  int id;
  int parent;  // ignored for units
  const char* descript;
};

std::string Id(int n) {
  char text[16];
  std::snprintf(text, sizeof text, "%07d", n);
  return text;
}

// An old classification table as older course databases held it.
void MakeLevel(const fs::path& folder, const char* file, const char* idField, const char* parentField,
               const std::vector<Row>& rows) {
  std::vector<xbase::FieldInfo> fields{{idField, 'C', 7, 0, 0}};
  std::vector<xbase::TagInfo> tags{{idField, idField, "", xbase::kUniqueNone, 0}};
  if (parentField) {
    fields.push_back({parentField, 'C', 7, 0, 0});
    tags.push_back({parentField, parentField, "", xbase::kUniqueNone, 0});
  }
  fields.push_back({"DESCRIPT", 'C', 60, 0, 0});
  tags.push_back({"DESCRIPT", "descript", "", xbase::kUniqueNone, 0});
  const xbase::Data4 data = xbase::d4create(Engine().EngineHandle, (folder / file).string(), fields, tags);
  ASSERT_NE(data, 0) << file;
  for (const Row& r : rows) {
    xbase::d4appendStart(data);
    xbase::d4blank(data);
    xbase::f4assign(xbase::d4field(data, idField), Id(r.id));
    if (parentField) xbase::f4assign(xbase::d4field(data, parentField), Id(r.parent));
    xbase::f4assign(xbase::d4field(data, "descript"), r.descript);
    ASSERT_EQ(xbase::d4append(data), 0);
  }
  xbase::d4close(data);
}

// An outline with letters, numbers, roman numerals, unnumbered items, the reserved
// units 998 and 999, a "major exams" chapter and a subtopic repeating its topic.
class OldOutline : public ::testing::Test {
 protected:
  void SetUp() override {
    if (Engine().EngineHandle == 0) InitCodeBase();
    MakeLevel(dir_.path(), "units.dbf", "UNIT_ID", nullptr,
              {{1, 0, "A. Algebra"},
               {2, 0, "B) Geometry"},
               {3, 0, "  C. Calculus"},
               {7, 0, "Statistics"},
               {998, 0, "Exams"},
               {999, 0, "Unassigned"}});
    MakeLevel(dir_.path(), "chapters.dbf", "CHAPTER_ID", "UNIT_ID",
              {{10, 1, "1. Linear"},
               {11, 1, "2) Quadratic"},
               {12, 7, "3. Probability"},
               {13, 7, "Review"},
               {14, 7, "Projects"},
               {15, 7, "MAJOR Exams"}});
    MakeLevel(dir_.path(), "topics.dbf", "TOPIC_ID", "CHAPTER_ID",
              {{100, 10, "I. Slopes"},
               {101, 10, "II. Lines"},
               {102, 10, "III. Systems"},
               {103, 10, "IV) Matrices"},
               {104, 11, "Factoring"},
               {105, 11, "Roots"}});
    MakeLevel(dir_.path(), "subtopic.dbf", "SUBTOPICID", "TOPIC_ID",
              {{1000, 100, "1. Rise"},
               {1001, 100, "2. Run"},
               {1002, 101, "Parallel"},
               {1003, 101, "LINES"},
               // A topic that is not there (past every topic) must not end the copy.
               {1004, 900, "Orphan"},
               {1005, 100, "Grade"},
               {999, 101, "Unassigned"}});
    // The node table: the schema's standards table written by another program, emptied.
    for (const char* name : {"standard.dbf", "standard.cdx"}) {
      fs::copy_file(testing_support::SharedDir() / "fixtures/xbase/peer-made" / name, dir_.path() / name);
      fs::permissions(dir_.path() / name, fs::perms::owner_write, fs::perm_options::add);
    }
    OpenStandardTable(dir_.str(), "", nodes_);
    ASSERT_NE(nodes_.Data, 0);
    ZapTable(nodes_.Data);
  }
  void TearDown() override { CloseTableRecord(nodes_); }

  std::vector<Node> Nodes() {
    std::vector<Node> rows;
    xbase::d4tagSelect(nodes_.Data, 0);
    for (int code = xbase::d4top(nodes_.Data); code == 0; code = xbase::d4skip(nodes_.Data, 1)) {
      rows.emplace_back(xbase::f4long(nodes_.Tree_id), xbase::f4long(nodes_.Node_id), xbase::f4long(nodes_.Parent_id),
                        xbase::f4long(nodes_.Order), Trim(xbase::f4str(nodes_.Descript)));
    }
    std::sort(rows.begin(), rows.end());
    return rows;
  }

  testing_support::TempDir dir_;
  StandardRecord nodes_;
};

TEST_F(OldOutline, OneInitialiserChainsAllFourLevelsAndDetectsTheirNumbering) {
  CategoryTable units;
  units.InitAsUnitsTable(dir_.str());
  const CategoryTable* chapters = units.Child();
  ASSERT_NE(chapters, nullptr);
  const CategoryTable* topics = chapters->Child();
  ASSERT_NE(topics, nullptr);
  const CategoryTable* subtopics = topics->Child();
  ASSERT_NE(subtopics, nullptr);
  EXPECT_EQ(subtopics->Child(), nullptr);
  EXPECT_EQ(units.Parent(), nullptr);
  EXPECT_EQ(subtopics->Parent(), topics);

  const struct {
    const CategoryTable* level;
    const char* name;
    int base;
    char style;
  } levels[] = {{&units, "units", 1000, 'A'},
                {chapters, "chapters", 2000, '1'},
                {topics, "topics", 3000, 'I'},
                // Labelled 1 and 2 only: not numbered.
                {subtopics, "subtopic", 4000, ' '}};
  for (const auto& l : levels) {
    EXPECT_NE(l.level->TableHandle(), 0) << l.name;
    EXPECT_EQ(l.level->TableName(), l.name);
    EXPECT_EQ(l.level->Base(), l.base);
    EXPECT_EQ(l.level->NumberingStyle(), l.style) << l.name;
    EXPECT_NE(l.level->IdField(), 0);
    EXPECT_NE(l.level->DescriptionTag(), 0);
  }
  EXPECT_EQ(units.ParentField(), 0);
  EXPECT_NE(subtopics->ParentField(), 0);
  EXPECT_EQ(units.GetMapping(7), 1007);
  EXPECT_EQ(subtopics->GetMapping(7), 4007);
}

TEST_F(OldOutline, EveryLevelLandsInTreeOneWithItsParentsOrdersAndDescriptions) {
  CategoryTable units;
  units.InitAsUnitsTable(dir_.str());
  for (CategoryTable* level = &units; level != nullptr; level = level->Child()) level->CopyToStandardTree(nodes_);

  EXPECT_EQ(Nodes(), (std::vector<Node>{
                         {1, 1001, 1, 1, "Algebra"},
                         {1, 1002, 1, 2, "Geometry"},
                         {1, 1003, 1, 3, "Calculus"},
                         {1, 1007, 1, 801, "Statistics"},
                         {1, 2010, 1001, 1, "Linear"},
                         {1, 2011, 1001, 2, "Quadratic"},
                         {1, 2012, 1007, 3, "Probability"},
                         {1, 2013, 1007, 801, "Review"},
                         {1, 2014, 1007, 802, "Projects"},
                         {1, 3100, 2010, 1, "Slopes"},
                         {1, 3101, 2010, 2, "Lines"},
                         {1, 3102, 2010, 3, "Systems"},
                         {1, 3103, 2010, 4, "Matrices"},
                         {1, 3104, 2011, 801, "Factoring"},
                         {1, 3105, 2011, 802, "Roots"},
                         {1, 5000, 3100, 801, "1. Rise"},
                         {1, 5001, 3100, 802, "2. Run"},
                         {1, 5002, 3101, 801, "Parallel"},
                         {1, 5004, 3900, 801, "Orphan"},
                         {1, 5005, 3100, 803, "Grade"},
                     }));
}

TEST_F(OldOutline, TrimmedDescriptionOfTheCurrentRow) {
  CategoryTable units;
  units.InitAsUnitsTable(dir_.str());
  const struct {
    int id;
    const char* text;
    int order;
  } cases[] = {{2, "Geometry", 2}, {3, "Calculus", 3}, {7, "Statistics", 801}, {998, "Exams", 802}};
  for (const auto& c : cases) {
    ASSERT_TRUE(SeekTag(units.TableHandle(), units.IdTag(), Id(c.id)));
    std::int32_t order = 0;
    EXPECT_EQ(units.GetTrimmedDescription(order), c.text);
    EXPECT_EQ(order, c.order) << c.id;
  }
}

TEST_F(OldOutline, CopyToStandardFillsTheCoursesNodeTable) {
  OpenStandardTable(dir_.str(), "", Catalogue().Standard);
  ASSERT_NE(Catalogue().Standard.Data, 0);
  {
    CategoryTable units;
    units.InitAsUnitsTable(dir_.str());
    units.CopyToStandard();
    ASSERT_EQ(xbase::d4flush(Catalogue().Standard.Data), 0);
  }
  CloseTableRecord(Catalogue().Standard);
  // The course's table is the same file as the one this test reads.
  OpenStandardTable(dir_.str(), "", nodes_);
  EXPECT_EQ(Nodes().size(), 4u);
}

}  // namespace
}  // namespace tolvarin
