// Tag options beyond the schema's: descending order, FOR conditions, and a tag
// whose expression this engine cannot evaluate (foreign functions).
#include <gtest/gtest.h>

#include "platform/xbase/cdx_node.h"
#include "tag_test_util.h"

namespace {

using namespace xbase;
using tag_test::TagProblems;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;
using xbase_test::AppendRow;
using xbase_test::Engine;
using xbase_test::Le32;

const std::vector<std::string> kClean;

class TagOptions : public ::testing::Test {
 public:
  void Make(const std::vector<TagInfo>& tags) {
    data = d4create(engine.code(), (dir.path() / "t").string(), {{"id", 'C', 6, 0}, {"n", 'N', 4, 0}}, tags);
    ASSERT_NE(data, 0);
    const std::vector<std::pair<const char*, const char*>> rows = {
        {"delta", "4"}, {"alpha", "1"}, {"echo", "5"}, {"bravo", "2"}, {"alpha", "6"}, {"charly", "3"}};
    for (auto [id, n] : rows) ASSERT_EQ(AppendRow(data, {id, n}), 0);
  }
  std::vector<long> Walk(const char* tag, bool backwards = false) {
    EXPECT_EQ(d4tagSelect(data, d4tag(data, tag)), 0);
    std::vector<long> out;
    for (int rc = backwards ? d4bottom(data) : d4top(data); rc == 0; rc = d4skip(data, backwards ? -1 : 1))
      out.push_back(d4recNo(data));
    return out;
  }
  void TearDown() override {
    if (data) d4close(data);
  }
  Engine engine;
  TempDir dir;
  Data4 data = 0;
};

TEST_F(TagOptions, DescendingTagsWalkAndSeekFromTheTop) {
  Make({{"ID", "id", "", 0, kDescending}, {"N", "n", "", 0, 0}});
  EXPECT_TRUE(t4descending(d4tag(data, "ID")));
  EXPECT_EQ(Walk("ID"), (std::vector<long>{3, 1, 6, 4, 5, 2}));
  EXPECT_EQ(Walk("ID", true), (std::vector<long>{2, 5, 4, 6, 1, 3}));
  EXPECT_EQ(d4seek(data, "charly"), 0);
  EXPECT_EQ(d4recNo(data), 6);
  EXPECT_EQ(d4seek(data, "c"), 0);  // prefix
  EXPECT_EQ(d4recNo(data), 6);
  EXPECT_EQ(d4seek(data, "cat"), kAfter);  // next in walking order: bravo
  EXPECT_EQ(d4recNo(data), 4);
  EXPECT_EQ(d4seek(data, "aaa"), kEof);
  d4close(data);
  data = d4open(engine.code(), (dir.path() / "t").string());
  ASSERT_NE(data, 0);
  EXPECT_TRUE(t4descending(d4tag(data, "ID")));
  EXPECT_EQ(Walk("ID"), (std::vector<long>{3, 1, 6, 4, 5, 2}));
}

TEST_F(TagOptions, ForConditionsKeepOnlyTheRecordsTheyAccept) {
  Make({{"BIG", "id", "n > 2 .AND. .NOT. DELETED()", 0, 0}, {"N", "n", "", 0, 0}});
  EXPECT_EQ(t4filter(d4tag(data, "BIG")), "n > 2 .AND. .NOT. DELETED()");
  EXPECT_EQ(Walk("BIG"), (std::vector<long>{5, 6, 1, 3}));
  // A change that makes a record fail the condition takes it out, and back in.
  ASSERT_EQ(d4go(data, 6), 0);
  ASSERT_EQ(f4assignLong(d4field(data, "n"), 0), 0);
  ASSERT_EQ(d4flush(data), 0);
  EXPECT_EQ(Walk("BIG"), (std::vector<long>{5, 1, 3}));
  ASSERT_EQ(d4go(data, 2), 0);
  ASSERT_EQ(f4assignLong(d4field(data, "n"), 9), 0);
  ASSERT_EQ(d4flush(data), 0);
  EXPECT_EQ(Walk("BIG"), (std::vector<long>{2, 5, 1, 3}));
  EXPECT_EQ(TagProblems(data), kClean);
  ASSERT_EQ(d4reindex(data), 0);
  EXPECT_EQ(Walk("BIG"), (std::vector<long>{2, 5, 1, 3}));
  EXPECT_EQ(TagProblems(data), kClean);
}

// Closes the table made with tags ID and ODD, gives ODD a function of another
// program (same length, unknown here) and opens it again.
void GiveOddAForeignFunction(TagOptions& test) {
  d4close(test.data);
  test.data = 0;
  std::string cdx = ReadFile(test.dir.path() / "t.cdx");
  const std::uint32_t dirRoot = Le32(cdx, 0);
  detail::CdxNode node;
  detail::DecodeNode(reinterpret_cast<const unsigned char*>(cdx.data()) + dirRoot, 10, ' ', node);
  ASSERT_EQ(std::string(node.Key(1, 10)), "ODD       ");
  const std::uint32_t header = node.recnos[1];
  ASSERT_EQ(cdx.substr(header + 512, 9), "UPPER(id)");
  cdx.replace(header + 512, 9, "NORMA(id)");
  WriteFile(test.dir.path() / "t.cdx", cdx);
  test.data = d4open(test.engine.code(), (test.dir.path() / "t").string());
  ASSERT_NE(test.data, 0);
}

TEST_F(TagOptions, ATagWeCannotEvaluateStillOpensAndRefusesWritesThatNeedIt) {
  Make({{"ID", "id", "", 0, 0}, {"ODD", "UPPER(id)", "", 0, 0}});
  GiveOddAForeignFunction(*this);
  if (HasFatalFailure()) return;
  const Tag4 odd = d4tag(data, "ODD");
  ASSERT_NE(odd, 0);
  EXPECT_EQ(t4expr(odd), "NORMA(id)");
  // Reading goes on: its entries walk, the other tag seeks.
  EXPECT_EQ(Walk("ODD").size(), 6u);
  ASSERT_EQ(d4tagSelect(data, d4tag(data, "ID")), 0);
  EXPECT_EQ(d4seek(data, "echo"), 0);
  // Writes that need its key fail and leave everything as it was.
  const std::string before = ReadFile(dir.path() / "t.cdx");
  EXPECT_EQ(AppendRow(data, {"golf", "7"}), kErrorExpr);
  EXPECT_EQ(d4recCount(data), 6);
  ASSERT_EQ(d4go(data, 1), 0);
  ASSERT_EQ(f4assign(d4field(data, "id"), "zulu"), 0);
  EXPECT_EQ(d4flush(data), kErrorExpr);
  EXPECT_EQ(d4reindex(data), kErrorExpr);
  EXPECT_EQ(ReadFile(dir.path() / "t.cdx"), before);
  ASSERT_EQ(d4go(data, 1), 0);
  EXPECT_EQ(f4str(d4field(data, "id")), "delta ");
}

// A pack would move records that the index could not follow: it is refused before
// a single record or index byte changes.
TEST_F(TagOptions, PackIsRefusedBeforeAnyRecordMovesWhenATagCannotBeRebuilt) {
  Make({{"ID", "id", "", 0, 0}, {"ODD", "UPPER(id)", "", 0, 0}});
  ASSERT_EQ(d4go(data, 2), 0);
  ASSERT_EQ(d4delete(data), 0);
  ASSERT_EQ(d4flush(data), 0);
  GiveOddAForeignFunction(*this);
  if (HasFatalFailure()) return;
  const std::string dbfBefore = ReadFile(dir.path() / "t.dbf");
  const std::string cdxBefore = ReadFile(dir.path() / "t.cdx");
  EXPECT_EQ(d4pack(data), kErrorExpr);
  EXPECT_EQ(ReadFile(dir.path() / "t.dbf"), dbfBefore);
  EXPECT_EQ(ReadFile(dir.path() / "t.cdx"), cdxBefore);
  EXPECT_EQ(d4recCount(data), 6);
  // The index still finds every record where it is.
  ASSERT_EQ(d4tagSelect(data, d4tag(data, "ID")), 0);
  EXPECT_EQ(d4seek(data, "echo"), 0);
  EXPECT_EQ(d4recNo(data), 3);
  EXPECT_EQ(d4seek(data, "charly"), 0);
  EXPECT_EQ(d4recNo(data), 6);
  EXPECT_EQ(Walk("ODD").size(), 6u);
}

}  // namespace
