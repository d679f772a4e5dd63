// Seeks and walks on tags: the codes 0/2/3 and where each leaves the table,
// prefix keys, text on numeric tags, seek-next runs, walks both ways, tag names
// cut to ten characters, and the two uniqueness codes.
#include <gtest/gtest.h>

#include "tag_test_util.h"

namespace {

using namespace xbase;
using testing_support::TempDir;
using tag_test::TagProblems;
using xbase_test::AppendRow;
using xbase_test::Engine;

class Seeks : public ::testing::Test {
 protected:
  void SetUp() override {
    data = d4create(engine.code(), (dir.path() / "sesquests").string(),
                    {{"session_id", 'C', 7, 0},
                     {"quest_id", 'C', 7, 0},
                     {"version", 'N', 4, 0},
                     {"order", 'N', 4, 0},
                     {"when", 'D', 8, 0},
                     {"done", 'L', 1, 0}},
                    {{"SESSION_ID", "session_id", "", 0, 0},
                     {"SESVERQUEST", "session_id+STR(version,2,0)+STR(order,3,0)", "", 0, 0},
                     {"Order", "order", "", 0, 0},
                     {"WHEN", "when", "", 0, 0},
                     {"DONE", "done", "", 0, 0}});
    ASSERT_NE(data, 0);
    // rec: session  quest   ver order when      done
    const std::vector<std::vector<std::string>> rows = {
        {"0000003", "0000010", "1", "12", "20240131", "T"},  // 1
        {"0000001", "0000011", "2", "-4", "19991231", "F"},  // 2
        {"0000005", "0000012", "1", "7", "", "T"},           // 3
        {"0000001", "0000013", "1", "12", "20240131", "F"},  // 4
        {"0000001", "0000014", "1", "3", "20000101", "T"},   // 5
        {"0000002", "0000015", "3", "100", "20101010", "F"}, // 6
    };
    for (const auto& r : rows) ASSERT_EQ(AppendRow(data, r), 0);
  }
  void TearDown() override { d4close(data); }

  void Select(const char* tag) {
    Tag4 t = d4tag(data, tag);
    ASSERT_NE(t, 0) << tag;
    ASSERT_EQ(d4tagSelect(data, t), 0);
  }
  std::vector<long> Walk(bool backwards = false) {
    std::vector<long> out;
    for (int rc = backwards ? d4bottom(data) : d4top(data); rc == 0; rc = d4skip(data, backwards ? -1 : 1))
      out.push_back(d4recNo(data));
    return out;
  }

  Engine engine;
  TempDir dir;
  Data4 data = 0;
};

TEST_F(Seeks, CodesAndPositionsOnACharacterTag) {
  Select("session_id");
  struct Case {
    const char* key;
    int code;
    long recno;
  };
  const Case cases[] = {
      {"0000001", 0, 2},        // first record with the key (record order among equals)
      {"0000002", 0, 6},
      {"0000004", kAfter, 3},   // next greater key
      {"0000000", kAfter, 2},
      {"0000009", kEof, 0},     // past every key
      {"000000", 0, 2},         // a shorter key matches as a prefix
      {"00000", 0, 2},
      {"", 0, 2},
      {"0000003XYZ", 0, 1},     // a longer key is cut to the key length
      {"1", kEof, 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(d4seek(data, c.key), c.code) << c.key;
    EXPECT_EQ(d4recNo(data), c.recno) << c.key;
    EXPECT_EQ(d4eof(data), c.code == kEof) << c.key;
  }
}

TEST_F(Seeks, TextOnNumericAndDateTagsIsTakenAsItsValue) {
  Select("ORDER");
  EXPECT_EQ(d4seek(data, "12"), 0);
  EXPECT_EQ(d4recNo(data), 1);
  EXPECT_EQ(d4seek(data, "  12.00"), 0);
  EXPECT_EQ(d4recNo(data), 1);
  EXPECT_EQ(d4seek(data, "-4"), 0);
  EXPECT_EQ(d4recNo(data), 2);
  EXPECT_EQ(d4seek(data, "8"), kAfter);
  EXPECT_EQ(d4recNo(data), 1);  // 12 is the next greater
  EXPECT_EQ(d4seek(data, "101"), kEof);
  EXPECT_EQ(d4seekDouble(data, 100), 0);
  EXPECT_EQ(d4recNo(data), 6);
  EXPECT_EQ(t4type(d4tag(data, "ORDER")), 'N');
  EXPECT_EQ(t4keyLen(d4tag(data, "ORDER")), 8);

  Select("WHEN");
  EXPECT_EQ(t4type(d4tag(data, "WHEN")), 'D');
  EXPECT_EQ(d4seek(data, "20240131"), 0);
  EXPECT_EQ(d4recNo(data), 1);
  EXPECT_EQ(d4seek(data, "20000102"), kAfter);
  EXPECT_EQ(d4recNo(data), 6);
  EXPECT_EQ(Walk(), (std::vector<long>{3, 2, 5, 6, 1, 4}));  // the blank date first

  Select("DONE");
  EXPECT_EQ(Walk(), (std::vector<long>{2, 4, 6, 1, 3, 5}));
  EXPECT_EQ(d4seek(data, "T"), 0);
  EXPECT_EQ(d4recNo(data), 1);
}

TEST_F(Seeks, SeekNextRunsThroughEqualKeysThenStops) {
  Select("SESSION_ID");
  ASSERT_EQ(d4seek(data, "0000001"), 0);
  std::vector<long> run{d4recNo(data)};
  int rc;
  while ((rc = d4seekNext(data, "0000001")) == 0) run.push_back(d4recNo(data));
  EXPECT_EQ(run, (std::vector<long>{2, 4, 5}));
  EXPECT_EQ(rc, kAfter);
  EXPECT_EQ(d4recNo(data), 6);  // on the next key
  // The last key's run ends at the end of file.
  ASSERT_EQ(d4seek(data, "0000005"), 0);
  EXPECT_EQ(d4seekNext(data, "0000005"), kEof);
  // Off the key, seek-next seeks.
  ASSERT_EQ(d4seek(data, "0000003"), 0);
  EXPECT_EQ(d4seekNext(data, "0000001"), 0);
  EXPECT_EQ(d4recNo(data), 2);
}

TEST_F(Seeks, LastRecordOfAKeyByTheNextKeyAndOneBack) {
  Select("SESSION_ID");
  ASSERT_EQ(d4seek(data, "0000001"), 0);
  ASSERT_EQ(d4seek(data, "0000002"), 0);  // "...1" with its last character raised
  ASSERT_EQ(d4skip(data, -1), 0);
  EXPECT_EQ(d4recNo(data), 5);
  // Before every key: back from the first record is the beginning of file.
  ASSERT_EQ(d4seek(data, "0000000"), kAfter);
  EXPECT_EQ(d4skip(data, -1), kBof);
}

TEST_F(Seeks, WalksBothWaysKeepDeletedRecords) {
  Select("SESVERQUES");
  ASSERT_EQ(d4go(data, 4), 0);
  ASSERT_EQ(d4delete(data), 0);
  const std::vector<long> forward = Walk();
  EXPECT_EQ(forward, (std::vector<long>{5, 4, 2, 6, 1, 3}));
  std::vector<long> back = Walk(true);
  std::reverse(back.begin(), back.end());
  EXPECT_EQ(back, forward);
  // Part of a composite key is a prefix.
  EXPECT_EQ(d4seek(data, "0000001 1"), 0);
  EXPECT_EQ(d4recNo(data), 5);
  EXPECT_EQ(d4seek(data, "0000001 2"), 0);
  EXPECT_EQ(d4recNo(data), 2);
  EXPECT_EQ(TagProblems(data), std::vector<std::string>());
}

TEST_F(Seeks, TagNamesAreCutToTenAndFoundWithoutRegardToCase) {
  const Tag4 t = d4tag(data, "SESVERQUEST");
  ASSERT_NE(t, 0);
  EXPECT_EQ(t4name(t), "SESVERQUES");
  EXPECT_EQ(d4tag(data, "sesverques"), t);
  EXPECT_EQ(d4tag(data, "SesVerQuestion"), t);
  EXPECT_EQ(d4tag(data, "SESVERQUE"), 0);
  EXPECT_EQ(d4tag(data, "NOSUCHTAG"), 0);
  EXPECT_EQ(t4name(d4tag(data, "order")), "ORDER");
  EXPECT_EQ(t4expr(t), "session_id+STR(version,2,0)+STR(order,3,0)");
  EXPECT_EQ(t4keyLen(t), 12);
  EXPECT_EQ(t4type(t), 'C');
  // Creation order, then 0 after the last.
  std::vector<std::string> names;
  for (Tag4 tag = d4tagNext(data, 0); tag; tag = d4tagNext(data, tag)) names.push_back(t4name(tag));
  EXPECT_EQ(names, (std::vector<std::string>{"SESSION_ID", "SESVERQUES", "ORDER", "WHEN", "DONE"}));
  // The stored key at the current position.
  ASSERT_EQ(d4tagSelect(data, t), 0);
  ASSERT_EQ(d4seek(data, "0000002"), 0);
  EXPECT_EQ(t4key(t), "0000002 3100");
  EXPECT_EQ(d4tagSelected(data), t);
  EXPECT_EQ(d4tagSelect(data, 0), 0);
  EXPECT_EQ(d4tagSelected(data), 0);
}

TEST_F(Seeks, ChangedKeysMoveAndOtherProcessesFindThem) {
  Select("SESSION_ID");
  ASSERT_EQ(d4seek(data, "0000005"), 0);
  ASSERT_EQ(f4assign(d4field(data, "session_id"), "0000000"), 0);
  // The seek writes the change back first, then finds the record under its new key.
  EXPECT_EQ(d4seek(data, "0000000"), 0);
  EXPECT_EQ(d4recNo(data), 3);
  EXPECT_EQ(d4seek(data, "0000005"), kEof);
  // A second handle (as another process would) sees the change.
  Data4 other = d4open(engine.code(), (dir.path() / "sesquests").string());
  ASSERT_NE(other, 0);
  ASSERT_EQ(d4tagSelect(other, d4tag(other, "SESSION_ID")), 0);
  EXPECT_EQ(d4seek(other, "0000000"), 0);
  EXPECT_EQ(d4recNo(other), 3);
  ASSERT_EQ(AppendRow(other, {"0000004", "0000099", "1", "1", "", "F"}), 0);
  d4close(other);
  EXPECT_EQ(d4seek(data, "0000004"), 0);
  EXPECT_EQ(d4recNo(data), 7);
  EXPECT_EQ(TagProblems(data), std::vector<std::string>());
}

class Unique : public ::testing::Test {
 protected:
  void SetUp() override {
    data = d4create(engine.code(), (dir.path() / "standard").string(),
                    {{"tree_id", 'N', 8, 0}, {"node_id", 'N', 8, 0}, {"name", 'C', 10, 0}},
                    {{"STANDARDID", "STR(tree_id,3,0)+STR(node_id,7,0)", "", kUniqueError, 0},
                     {"NAME", "name", "", kUniqueContinue, 0},
                     {"NODE_ID", "node_id", "", 0, 0}});
    ASSERT_NE(data, 0);
    ASSERT_EQ(AppendRow(data, {"5", "1234", "alpha"}), 0);
    ASSERT_EQ(AppendRow(data, {"5", "1235", "beta"}), 0);
  }
  void TearDown() override { d4close(data); }
  Engine engine;
  TempDir dir;
  Data4 data = 0;
};

TEST_F(Unique, ErrorCodeRefusesTheAppendAndWritesNothing) {
  EXPECT_EQ(t4unique(d4tag(data, "STANDARDID")), kUniqueError);
  // The three-character tree key finds the tree's first node on the ten-character tag.
  ASSERT_EQ(d4tagSelect(data, d4tag(data, "STANDARDID")), 0);
  EXPECT_EQ(d4seek(data, "  5"), 0);
  EXPECT_EQ(d4recNo(data), 1);
  EXPECT_EQ(d4seek(data, "  6"), kEof);
  EXPECT_EQ(AppendRow(data, {"5", "1234", "gamma"}), kUnique);
  EXPECT_EQ(d4recCount(data), 2);
  ASSERT_EQ(d4tagSelect(data, d4tag(data, "NODE_ID")), 0);
  EXPECT_EQ(d4seek(data, "1234"), 0);
  EXPECT_EQ(d4recNo(data), 1);
  EXPECT_EQ(d4skip(data, 1), 0);
  EXPECT_EQ(d4recNo(data), 2);
  // A write-back onto an existing key is refused too; the record stays as it was.
  ASSERT_EQ(d4go(data, 2), 0);
  ASSERT_EQ(f4assignLong(d4field(data, "node_id"), 1234), 0);
  EXPECT_EQ(d4flush(data), kUnique);
  ASSERT_EQ(d4go(data, 2), 0);
  EXPECT_EQ(f4long(d4field(data, "node_id")), 1235);
  // The code survives closing and opening the table.
  d4close(data);
  data = d4open(engine.code(), (dir.path() / "standard").string());
  ASSERT_NE(data, 0);
  EXPECT_EQ(t4unique(d4tag(data, "STANDARDID")), kUniqueError);
  EXPECT_EQ(AppendRow(data, {"5", "1235", "delta"}), kUnique);
  EXPECT_EQ(TagProblems(data), std::vector<std::string>());
}

TEST_F(Unique, ContinueCodeKeepsTheFirstRecordWithTheKey) {
  EXPECT_EQ(AppendRow(data, {"6", "1", "alpha"}), 0);
  EXPECT_EQ(AppendRow(data, {"6", "2", "alpha"}), 0);
  EXPECT_EQ(d4recCount(data), 4);
  const Tag4 name = d4tag(data, "NAME");
  ASSERT_EQ(d4tagSelect(data, name), 0);
  std::vector<long> walk;
  for (int rc = d4top(data); rc == 0; rc = d4skip(data, 1)) walk.push_back(d4recNo(data));
  EXPECT_EQ(walk, (std::vector<long>{1, 2}));
  EXPECT_EQ(d4seek(data, "alpha"), 0);
  EXPECT_EQ(d4recNo(data), 1);
  EXPECT_EQ(TagProblems(data), std::vector<std::string>());
  // The holder's key changes: the next record with "alpha" takes it over.
  ASSERT_EQ(d4go(data, 1), 0);
  ASSERT_EQ(f4assign(d4field(data, "name"), "omega"), 0);
  ASSERT_EQ(d4flush(data), 0);
  EXPECT_EQ(d4seek(data, "alpha"), 0);
  EXPECT_EQ(d4recNo(data), 3);
  EXPECT_EQ(TagProblems(data), std::vector<std::string>());
  ASSERT_EQ(d4reindex(data), 0);
  EXPECT_EQ(d4seek(data, "alpha"), 0);
  EXPECT_EQ(d4recNo(data), 3);
  EXPECT_EQ(TagProblems(data), std::vector<std::string>());
}

TEST_F(Unique, ExpressionsOfTheKeyTagEvaluateOnTheCurrentRecord) {
  const Expr4 e = expr4parse(data, "STR(tree_id,3,0)+STR(node_id,7,0)");
  ASSERT_NE(e, 0);
  ASSERT_EQ(d4go(data, 2), 0);
  EXPECT_EQ(expr4str(e), "  5   1235");
  EXPECT_EQ(expr4len(e), 10);
  EXPECT_EQ(expr4type(e), 'C');
  ASSERT_EQ(d4go(data, 1), 0);
  EXPECT_EQ(expr4str(e), "  5   1234");
  expr4free(e);
  EXPECT_EQ(expr4str(e), "");
  EXPECT_EQ(expr4parse(data, "STR(no_such_field,3,0)"), 0);
  EXPECT_EQ(expr4parse(data, "name+tree_id"), 0);
  const Expr4 n = expr4parse(data, "node_id");
  EXPECT_EQ(expr4str(n), "    1234");
  EXPECT_EQ(expr4type(n), 'N');
}

}  // namespace
