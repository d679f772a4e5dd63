// How a table drives its production index: created with the table (flag byte),
// opened with it, asked before every append and write-back (a unique tag refuses a
// duplicate and nothing is written), followed by moves when a tag is selected, and
// rebuilt by pack.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/xbase/table.h"
#include "tag_test_util.h"
#include "table_test_util.h"

namespace {

namespace fs = std::filesystem;
using namespace xbase;
using testing_support::ReadFile;
using testing_support::TempDir;
using xbase_test::AppendRow;
using xbase_test::Engine;

class TableWithIndex : public ::testing::Test {
 protected:
  void SetUp() override {
    path = (dir.path() / "keys.dbf").string();
    data = d4create(engine.code(), path, {{"id", 'C', 4, 0}, {"name", 'C', 8, 0}},
                    {{"ID", "id", "", kUniqueError, 0}, {"NAME", "name", "", kUniqueNone, 0}});
    ASSERT_NE(data, 0) << code4errorCode(engine.code(), 0);
    for (const auto& [id, name] : std::vector<std::pair<std::string, std::string>>{
             {"0003", "carol"}, {"0001", "alice"}, {"0002", "bob"}}) {
      ASSERT_EQ(AppendRow(data, {id, name}), 0);
    }
  }
  std::vector<std::string> Walk(int direction) {
    std::vector<std::string> ids;
    int rc = direction > 0 ? d4top(data) : d4bottom(data);
    for (; rc == 0; rc = d4skip(data, direction)) ids.push_back(f4str(d4field(data, "id")));
    return ids;
  }
  TempDir dir;
  Engine engine;
  std::string path;
  Data4 data = 0;
};

TEST_F(TableWithIndex, CreateWritesTheIndexAndTheFlagAndOpenFindsIt) {
  ASSERT_EQ(d4close(data), 0);
  EXPECT_EQ(ReadFile(path)[28], '\x01');
  EXPECT_TRUE(fs::exists(dir.path() / "keys.cdx"));
  data = d4open(engine.code(), path);
  EXPECT_NE(d4tag(data, "id"), 0);
  d4close(data);
  code4autoOpen(engine.code(), 0);
  data = d4open(engine.code(), path);
  ASSERT_NE(data, 0);
  EXPECT_EQ(d4tag(data, "id"), 0);  // not opened
}

TEST_F(TableWithIndex, MovesFollowTheSelectedTagAndNaturalOrderOtherwise) {
  ASSERT_EQ(d4tagSelect(data, d4tag(data, "ID")), 0);
  EXPECT_EQ(Walk(1), (std::vector<std::string>{"0001", "0002", "0003"}));
  EXPECT_EQ(Walk(-1), (std::vector<std::string>{"0003", "0002", "0001"}));
  ASSERT_EQ(d4top(data), 0);
  EXPECT_EQ(d4skip(data, -1), kBof);
  EXPECT_EQ(f4str(d4field(data, "id")), "0001");
  ASSERT_EQ(d4bottom(data), 0);
  EXPECT_EQ(d4skip(data, 1), kEof);
  EXPECT_EQ(d4skip(data, -1), 0);
  EXPECT_EQ(f4str(d4field(data, "id")), "0003");
  ASSERT_EQ(d4tagSelect(data, 0), 0);
  EXPECT_EQ(Walk(1), (std::vector<std::string>{"0003", "0001", "0002"}));
}

TEST_F(TableWithIndex, UniqueTagRefusesADuplicateAppendAndNothingIsWritten) {
  const auto size = fs::file_size(path);
  ASSERT_EQ(d4appendStart(data, 0), 0);
  f4assign(d4field(data, "id"), "0002");
  f4assign(d4field(data, "name"), "dup");
  EXPECT_EQ(d4append(data), kUnique);
  EXPECT_EQ(d4recCount(data), 3);
  EXPECT_EQ(fs::file_size(path), size);
  ASSERT_EQ(d4tagSelect(data, d4tag(data, "NAME")), 0);
  EXPECT_EQ(Walk(1).size(), 3u);  // no stray key either
  ASSERT_EQ(AppendRow(data, {"0004", "dave"}), 0);
  EXPECT_EQ(d4recCount(data), 4);
}

TEST_F(TableWithIndex, UniqueTagRefusesAChangedRecordWhenItIsWrittenBack) {
  ASSERT_EQ(d4go(data, 1), 0);
  f4assign(d4field(data, "id"), "0001");  // record 2 holds it
  EXPECT_EQ(d4skip(data, 1), kUnique);
  EXPECT_EQ(d4recNo(data), 1);  // not moved
  EXPECT_EQ(f4str(d4field(data, "id")), "0003");  // the buffer is what the file holds
  ASSERT_EQ(d4go(data, 1), 0);
  f4assign(d4field(data, "id"), "0009");
  ASSERT_EQ(d4flush(data), 0);
  ASSERT_EQ(d4tagSelect(data, d4tag(data, "ID")), 0);
  EXPECT_EQ(Walk(1), (std::vector<std::string>{"0001", "0002", "0009"}));
}

TEST_F(TableWithIndex, PackRebuildsTheTags) {
  ASSERT_EQ(d4go(data, 2), 0);  // "0001"
  ASSERT_EQ(d4delete(data), 0);
  ASSERT_EQ(d4pack(data), 0);
  ASSERT_EQ(d4tagSelect(data, d4tag(data, "ID")), 0);
  EXPECT_EQ(Walk(1), (std::vector<std::string>{"0002", "0003"}));
  EXPECT_EQ(d4seek(data, "0002"), 0);
  EXPECT_EQ(d4recNo(data), 2);  // renumbered
  ASSERT_EQ(AppendRow(data, {"0001", "again"}), 0);  // its key is free again
}

// A table large enough that a rebuild sorts its tags side by side: character keys
// of up to and over eight bytes, numbers, dates, and a unique tag whose duplicates
// must stay with the first record that has the key.
class LargeTable : public ::testing::Test {
 protected:
  static constexpr long kRows = 12000;
  void SetUp() override {
    data = d4create(engine.code(), (dir.path() / "large.dbf").string(),
                    {{"id", 'C', 6, 0}, {"grp", 'N', 3, 0}, {"day", 'D', 8, 0}, {"name", 'C', 12, 0}},
                    {{"ID", "id", "", kUniqueError, 0},
                     {"GRP", "grp", "", kUniqueNone, 0},
                     {"DAY", "day", "", kUniqueNone, 0},
                     {"NAME", "name", "", kUniqueNone, 0},
                     {"FIRSTNAME", "name", "", kUniqueContinue, 0}});
    ASSERT_NE(data, 0) << code4errorCode(engine.code(), 0);
    for (long i = 0; i < kRows; ++i) {
      const long n = (i * 7919) % kRows;  // every id once, in scrambled order
      char id[8], grp[8], day[16], name[16];
      std::snprintf(id, sizeof id, "%06ld", n);
      std::snprintf(grp, sizeof grp, "%ld", n % 37);
      std::snprintf(day, sizeof day, "2026%02ld%02ld", 1 + n % 12, 1 + n % 28);
      std::snprintf(name, sizeof name, "name%06ld", n % 500);
      ASSERT_EQ(AppendRow(data, {id, grp, day, name}), 0);
    }
  }
  TempDir dir;
  Engine engine;
  Data4 data = 0;
};

TEST_F(LargeTable, ReindexAndPackLeaveEveryTagWhole) {
  ASSERT_EQ(d4reindex(data), 0);
  EXPECT_EQ(tag_test::TagProblems(data), std::vector<std::string>{});
  for (long recno = 7; recno <= kRows; recno += 7) {
    ASSERT_EQ(d4go(data, recno), 0);
    ASSERT_EQ(d4delete(data), 0);
  }
  ASSERT_EQ(d4pack(data), 0);
  EXPECT_EQ(d4recCount(data), kRows - kRows / 7);
  EXPECT_EQ(tag_test::TagProblems(data), std::vector<std::string>{});
  // The unique tag keeps the first record of each name: walking it meets the names
  // in order, each once, on the lowest record number that has it.
  ASSERT_EQ(d4tagSelect(data, d4tag(data, "FIRSTNAME")), 0);
  std::vector<std::string> names;
  for (int rc = d4top(data); rc == 0; rc = d4skip(data, 1)) {
    const std::string name = f4str(d4field(data, "name"));
    names.push_back(name);
    ASSERT_EQ(d4tagSelect(data, d4tag(data, "NAME")), 0);
    ASSERT_EQ(d4seek(data, name), 0);
    const long first = d4recNo(data);
    ASSERT_EQ(d4tagSelect(data, d4tag(data, "FIRSTNAME")), 0);
    ASSERT_EQ(d4seek(data, name), 0);
    EXPECT_EQ(d4recNo(data), first) << name;
  }
  EXPECT_EQ(names.size(), 500u);
  EXPECT_TRUE(std::is_sorted(names.begin(), names.end()));
}

// The index's hint of the records ahead names what the walk meets next, in both
// directions and across leaves, or nothing.
TEST_F(LargeTable, UpcomingNamesTheRecordsAWalkMeetsNext) {
  detail::Table* table = detail::Registry::Get().FindTable(data);
  ASSERT_NE(table, nullptr);
  const int tag = 3;  // NAME
  ASSERT_EQ(table->Index()->Tag(tag).name, "NAME");
  ASSERT_EQ(d4tagSelect(data, d4tag(data, "NAME")), 0);
  for (int direction : {1, -1}) {
    std::vector<long> order;
    std::vector<std::vector<long>> hints;
    for (int rc = direction > 0 ? d4top(data) : d4bottom(data); rc == 0; rc = d4skip(data, direction)) {
      order.push_back(d4recNo(data));
      std::vector<long> ahead;
      for (int distance = 1; distance <= 8; ++distance)
        ahead.push_back(table->Index()->Upcoming(tag, direction, distance));
      hints.push_back(ahead);
    }
    ASSERT_EQ(order.size(), static_cast<size_t>(kRows));
    long named = 0;
    for (size_t k = 0; k < order.size(); ++k) {
      for (size_t d = 1; d <= 8; ++d) {
        const long hint = hints[k][d - 1];
        if (hint == 0) continue;
        ++named;
        ASSERT_LT(k + d, order.size()) << "a hint past the end, step " << k;
        EXPECT_EQ(hint, order[k + d]) << "step " << k << ", distance " << d;
      }
    }
    EXPECT_GT(named, static_cast<long>(order.size()) * 8 / 2);
  }
}

}  // namespace
