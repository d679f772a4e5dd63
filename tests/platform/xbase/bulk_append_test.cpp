// A bulk copy into a table held whole: rows go in without their tags, a unique tag
// still refuses its duplicates, and the tags come out whole when the copy ends.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tag_test_util.h"

namespace {

using namespace xbase;
using tag_test::TagProblems;
using testing_support::TempDir;
using xbase_test::AppendRow;
using xbase_test::Engine;

const std::vector<std::string> kClean;

std::string Id(int i) {
  char id[16];
  std::snprintf(id, sizeof id, "%07d", i);
  return id;
}

class BulkAppend : public ::testing::Test {
 protected:
  void SetUp() override {
    path = (dir.path() / "rows.dbf").string();
    data = d4create(engine.code(), path, {{"id", 'C', 7, 0}, {"n", 'N', 4, 0}, {"note", 'M', 10, 0}},
                    {{"ID", "id", "", kUniqueError, 0}, {"N", "n", "", 0, 0}});
    ASSERT_NE(data, 0);
    for (int i = 1; i <= 2; ++i) ASSERT_EQ(AppendRow(data, {Id(i), std::to_string(i % 3), "before"}), 0);
  }
  int Seek(const std::string& id) {
    d4tagSelect(data, d4tag(data, "ID"));
    return d4seek(data, id);
  }
  TempDir dir;
  Engine engine;
  std::string path;
  Data4 data = 0;
};

TEST_F(BulkAppend, RefusesDuplicatesKeepsTheOldTagsUntilItEndsThenRebuildsThem) {
  EXPECT_EQ(d4bulkAppend(data, 1), kLocked);  // only for a table held whole
  ASSERT_EQ(d4lockAll(data), 0);
  ASSERT_EQ(d4bulkAppend(data, 1), 0);
  for (int i = 3; i <= 60; ++i) ASSERT_EQ(AppendRow(data, {Id(i), std::to_string(i % 3), "bulk"}), 0);
  EXPECT_EQ(AppendRow(data, {Id(2), "9", "twice"}), kUnique);   // held before the copy
  EXPECT_EQ(AppendRow(data, {Id(40), "9", "twice"}), kUnique);  // added by the copy
  // A write-back may move a unique key only to a free one.
  ASSERT_EQ(d4go(data, 5), 0);
  ASSERT_EQ(f4assign(d4field(data, "id"), Id(7)), 0);
  EXPECT_EQ(d4flush(data), kUnique);
  ASSERT_EQ(f4assign(d4field(data, "id"), Id(99)), 0);
  EXPECT_EQ(d4flush(data), 0);
  EXPECT_EQ(d4recCount(data), 60);
  // Seeks see the tags as they were.
  EXPECT_EQ(Seek(Id(1)), 0);
  EXPECT_NE(Seek(Id(30)), 0);

  ASSERT_EQ(d4bulkAppend(data, 0), 0);
  EXPECT_EQ(TagProblems(data), kClean);
  EXPECT_EQ(Seek(Id(30)), 0);
  EXPECT_EQ(d4recNo(data), 30);
  EXPECT_EQ(Seek(Id(99)), 0);
  EXPECT_EQ(d4recNo(data), 5);
  EXPECT_NE(Seek(Id(5)), 0);
  // Back to row-by-row upkeep: the tags follow every append again.
  ASSERT_EQ(AppendRow(data, {Id(61), "1", "after"}), 0);
  EXPECT_EQ(Seek(Id(61)), 0);
  EXPECT_EQ(d4unlock(data), 0);
  EXPECT_EQ(TagProblems(data), kClean);
}

TEST_F(BulkAppend, UnlockAndCloseEndTheCopy) {
  ASSERT_EQ(d4lockAll(data), 0);
  ASSERT_EQ(d4bulkAppend(data, 1), 0);
  ASSERT_EQ(AppendRow(data, {Id(3), "3", "bulk"}), 0);
  ASSERT_EQ(d4unlock(data), 0);
  EXPECT_EQ(Seek(Id(3)), 0);
  EXPECT_EQ(TagProblems(data), kClean);

  ASSERT_EQ(d4lockAll(data), 0);
  ASSERT_EQ(d4bulkAppend(data, 1), 0);
  ASSERT_EQ(AppendRow(data, {Id(4), "4", "bulk"}), 0);
  ASSERT_EQ(d4close(data), 0);
  data = d4open(engine.code(), path);
  ASSERT_NE(data, 0) << "the index reads whole after a close";
  EXPECT_EQ(TagProblems(data), kClean);
  EXPECT_EQ(Seek(Id(4)), 0);
  EXPECT_EQ(d4recCount(data), 4);
}

}  // namespace
