// The production indexes another FoxPro-compatible program wrote: our tag checks
// must reproduce the TAG lines of its canonical dumps, and the tags must stay right
// while we append, change, delete, pack and reindex (on copies of the folders).
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>

#include "tag_test_util.h"

namespace {

using namespace xbase;
using tag_test::FixtureDir;
using tag_test::TagLines;
using tag_test::TagProblems;
using tag_test::Tables;
using xbase_test::Engine;

// TAG lines of the given dump, by table file name (lower case).
std::map<std::string, std::vector<std::string>> DumpTagLines(const std::string& folder) {
  std::ifstream in(FixtureDir("") / (folder + ".dump"));
  std::map<std::string, std::vector<std::string>> out;
  std::string line, table;
  while (std::getline(in, line)) {
    if (line.rfind("TABLE ", 0) == 0) {
      table = line.substr(6, line.find(' ', 6) - 6);
      out[table];
    } else if (line.rfind("TAG ", 0) == 0) {
      out[table].push_back(line);
    }
  }
  return out;
}

std::string Lower(std::string s) {
  for (auto& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

class TagFixtures : public ::testing::TestWithParam<std::string> {};

TEST_P(TagFixtures, TagLinesEqualTheGivenDump) {
  const auto expected = DumpTagLines(GetParam());
  ASSERT_EQ(expected.size(), 26u);
  Engine engine;
  int tables = 0;
  for (const auto& path : Tables(FixtureDir(GetParam()))) {
    const std::string file = Lower(path.filename().string());
    Data4 data = d4open(engine.code(), path.string());
    ASSERT_NE(data, 0) << file;
    auto it = expected.find(file);
    ASSERT_NE(it, expected.end()) << file;
    EXPECT_EQ(TagLines(data), it->second) << file;
    d4close(data);
    ++tables;
  }
  EXPECT_EQ(tables, 26);
}

// Appends copies, changes every field of a record, deletes one, then packs and
// reindexes; the other program's index must read clean after every step and
// after reopening.
TEST_P(TagFixtures, ForeignIndexesStayCleanUnderEveryWrite) {
  testing_support::TempDir dir;
  testing_support::CopyFolder(FixtureDir(GetParam()), dir.path());
  Engine engine;
  for (const auto& path : Tables(dir.path())) {
    const std::string file = path.filename().string();
    SCOPED_TRACE(file);
    Data4 data = d4open(engine.code(), path.string());
    ASSERT_NE(data, 0);
    const long before = d4recCount(data);
    // Appends: copies of the first five records (duplicate keys everywhere).
    Data4 source = d4open(engine.code(), path.string());
    ASSERT_NE(source, 0);
    for (long r = 1; r <= 5; ++r) {
      ASSERT_EQ(d4go(source, r), 0);
      EXPECT_EQ(tag_test::AppendCopy(source, data), 0);
    }
    d4close(source);
    EXPECT_EQ(d4recCount(data), before + 5);
    EXPECT_EQ(TagProblems(data), std::vector<std::string>()) << "after appends";

    // Write-back of a record whose every key changes, including the holder of a
    // unique key.
    for (long r : {2L, 1L}) {
      ASSERT_EQ(d4go(data, r), 0);
      for (int j = 1; j <= d4numFields(data); ++j) {
        Field4 f = d4fieldJ(data, j);
        switch (f4type(f)) {
          case 'C': f4assign(f, "changed" + std::to_string(r)); break;
          case 'N': f4assignLong(f, 7 + r); break;
          case 'D': f4assign(f, "20240131"); break;
          case 'L': f4assign(f, "T"); break;
          default: break;
        }
      }
      EXPECT_EQ(d4flush(data), 0);
    }
    EXPECT_EQ(TagProblems(data), std::vector<std::string>()) << "after write-back";

    ASSERT_EQ(d4go(data, 3), 0);
    EXPECT_EQ(d4delete(data), 0);
    EXPECT_EQ(d4flush(data), 0);
    EXPECT_EQ(TagProblems(data), std::vector<std::string>()) << "after delete";

    long deleted = 0;
    for (long r = 1; r <= d4recCount(data); ++r) {
      ASSERT_EQ(d4go(data, r), 0);
      deleted += d4deleted(data) ? 1 : 0;
    }
    EXPECT_GE(deleted, 1);
    EXPECT_EQ(d4pack(data), 0);
    EXPECT_EQ(TagProblems(data), std::vector<std::string>()) << "after pack";
    EXPECT_EQ(d4reindex(data), 0);
    EXPECT_EQ(TagProblems(data), std::vector<std::string>()) << "after reindex";
    d4close(data);

    data = d4open(engine.code(), path.string());
    ASSERT_NE(data, 0);
    EXPECT_EQ(d4recCount(data), before + 5 - deleted);
    EXPECT_EQ(TagProblems(data), std::vector<std::string>()) << "reopened";
    d4close(data);
  }
}

INSTANTIATE_TEST_SUITE_P(Folders, TagFixtures, ::testing::Values("peer-made", "peer-made-flexmemo"),
                         [](const auto& info) { return info.param == "peer-made" ? "Common" : "Flexmemo"; });

}  // namespace
