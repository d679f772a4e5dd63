// Records read ahead for walks: a skip may take its record from a block read
// earlier, but what another handle (as another process) wrote becomes visible at
// top, bottom, go, seek and record count, and at once when the index or the record
// count has moved; this handle's own writes are seen straight away.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "table_test_util.h"

namespace {

using namespace xbase;
using testing_support::TempDir;
using xbase_test::AppendRow;
using xbase_test::Engine;

std::string Id(int n) {
  std::string s = std::to_string(n);
  return std::string(7 - s.size(), '0') + s;
}

class ReadAhead : public ::testing::Test {
 protected:
  // rows records: id 0000001.., note "n<recno>", tag ID on id when indexed.
  void Make(int rows, bool indexed) {
    path = (dir.path() / "t").string();
    std::vector<TagInfo> tags;
    if (indexed) tags = {{"ID", "id", "", 0, 0}};
    Data4 data = d4create(engine.code(), path, {{"id", 'C', 7, 0}, {"note", 'C', 10, 0}}, tags);
    ASSERT_NE(data, 0);
    for (int i = 1; i <= rows; ++i) {
      std::string note = std::to_string(i);
      note.insert(note.begin(), 'n');
      ASSERT_EQ(AppendRow(data, {Id(i), note}), 0);
    }
    ASSERT_EQ(d4close(data), 0);
    a = d4open(engine.code(), path);
    b = d4open(engine.code(), path);
    ASSERT_NE(a, 0);
    ASSERT_NE(b, 0);
  }
  void TearDown() override {
    if (a) d4close(a);
    if (b) d4close(b);
  }
  // b changes record recno's note (and its id when given) and writes it.
  void OtherWrites(long recno, const std::string& note, const std::string& id = "") {
    ASSERT_EQ(d4go(b, recno), 0);
    ASSERT_EQ(f4assign(d4field(b, "note"), note), 0);
    if (!id.empty()) {
      ASSERT_EQ(f4assign(d4field(b, "id"), id), 0);
    }
    ASSERT_EQ(d4flush(b), 0);
  }
  std::string Note(Data4 data) { return f4str(d4field(data, "note")); }
  Engine engine;
  TempDir dir;
  std::string path;
  Data4 a = 0;
  Data4 b = 0;
};

TEST_F(ReadAhead, OtherWritersChangesAreSeenFromEveryRefreshPoint) {
  Make(3000, false);  // several blocks
  ASSERT_EQ(d4top(a), 0);
  ASSERT_EQ(d4skip(a, 1), 0);  // reads the first block ahead
  OtherWrites(5, "other5");
  OtherWrites(2900, "other2900");
  ASSERT_EQ(d4top(a), 0);
  for (int i = 1; i < 5; ++i) ASSERT_EQ(d4skip(a, 1), 0);
  EXPECT_EQ(d4recNo(a), 5);
  EXPECT_EQ(Note(a), "other5    ");
  OtherWrites(6, "again6");
  ASSERT_EQ(d4go(a, 4), 0);
  ASSERT_EQ(d4skip(a, 2), 0);
  EXPECT_EQ(Note(a), "again6    ");
  OtherWrites(7, "count7");
  EXPECT_EQ(d4recCount(a), 3000);
  ASSERT_EQ(d4skip(a, 1), 0);
  EXPECT_EQ(Note(a), "count7    ");
  OtherWrites(2999, "bottom");
  ASSERT_EQ(d4bottom(a), 0);
  ASSERT_EQ(d4skip(a, -1), 0);
  EXPECT_EQ(Note(a), "bottom    ");
  ASSERT_EQ(d4skip(a, -99), 0);
  EXPECT_EQ(d4recNo(a), 2900);
  EXPECT_EQ(Note(a), "other2900 ");
}

TEST_F(ReadAhead, OwnWritesAreSeenByTheNextSkip) {
  Make(50, false);
  ASSERT_EQ(d4top(a), 0);
  ASSERT_EQ(d4skip(a, 2), 0);
  ASSERT_EQ(f4assign(d4field(a, "note"), "mine"), 0);
  ASSERT_EQ(d4skip(a, 1), 0);  // writes record 3 back
  ASSERT_EQ(d4skip(a, -1), 0);
  EXPECT_EQ(d4recNo(a), 3);
  EXPECT_EQ(Note(a), "mine      ");
  ASSERT_EQ(d4delete(a), 0);
  ASSERT_EQ(d4skip(a, 1), 0);
  ASSERT_EQ(d4skip(a, -1), 0);
  EXPECT_TRUE(d4deleted(a));
}

// A walk that goes on while the other handle appends reaches the new records, and
// a key change by the other handle drops what was read ahead at once.
TEST_F(ReadAhead, AppendsAndKeyChangesOfTheOtherAreSeenMidWalk) {
  Make(40, true);
  ASSERT_EQ(d4top(a), 0);
  for (int i = 1; i < 39; ++i) ASSERT_EQ(d4skip(a, 1), 0);
  ASSERT_EQ(d4recNo(a), 39);
  ASSERT_EQ(AppendRow(b, {Id(41), "new41"}), 0);
  ASSERT_EQ(d4skip(a, 2), 0);
  EXPECT_EQ(d4recNo(a), 41);
  EXPECT_EQ(Note(a), "new41     ");

  ASSERT_EQ(d4tagSelect(a, d4tag(a, "ID")), 0);
  ASSERT_EQ(d4top(a), 0);
  ASSERT_EQ(d4skip(a, 1), 0);
  // Record 30 moves to the end of the tag, with a new note.
  OtherWrites(30, "moved", "9999999");
  std::vector<long> order;
  std::string seen;
  for (int rc = d4skip(a, 1); rc == 0; rc = d4skip(a, 1)) {
    order.push_back(d4recNo(a));
    if (d4recNo(a) == 30) seen = Note(a);
  }
  ASSERT_FALSE(order.empty());
  EXPECT_EQ(order.back(), 30);
  EXPECT_EQ(seen, "moved     ");
  EXPECT_EQ(order.size(), 39u);  // 3 to 41 without 30, then 30
}

}  // namespace
