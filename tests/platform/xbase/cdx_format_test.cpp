// The bytes we write: the worked example of the file-format notes (three records,
// tags NAME and PRICE) must give leaves byte for byte as the other program wrote
// them, whether the keys went in one by one or by a reindex; and damaged index
// files are refused with the index error, never a crash or an endless walk.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <map>

#include "platform/xbase/cdx_node.h"
#include "tag_test_util.h"

namespace {

using namespace xbase;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;
using xbase_test::AppendRow;
using xbase_test::Engine;
using xbase_test::Le32;

std::string Hex(const std::string& bytes) {
  static const char* d = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    out += d[c >> 4];
    out += d[c & 15];
  }
  return out;
}

// A page image from (offset, hex bytes) pieces over zeros.
std::string Page(std::initializer_list<std::pair<int, const char*>> pieces) {
  std::string page(512, '\0');
  for (auto [at, hex] : pieces) {
    for (size_t i = 0; hex[i] && hex[i + 1]; i += 2) {
      while (hex[i] == ' ') ++i;
      page[static_cast<size_t>(at++)] = static_cast<char>(std::stoi(std::string(hex + i, 2), nullptr, 16));
    }
  }
  return page;
}

// Root page of each tag, by name, read from the file's directory leaf.
std::map<std::string, std::string> RootPages(const std::string& cdx) {
  std::map<std::string, std::string> out;
  const std::uint32_t dir = Le32(cdx, 0);
  detail::CdxNode node;
  detail::DecodeNode(reinterpret_cast<const unsigned char*>(cdx.data()) + dir, 10, ' ', node);
  for (int i = 0; i < node.Count(); ++i) {
    std::string name(node.Key(i, 10));
    name.erase(name.find_last_not_of(' ') + 1);
    const std::uint32_t header = node.recnos[static_cast<size_t>(i)];
    out[name] = cdx.substr(Le32(cdx, header), 512);
  }
  return out;
}

class WorkedExample : public ::testing::Test {
 protected:
  void SetUp() override {
    data = d4create(engine.code(), (dir.path() / "ex2x").string(),
                    {{"NAME", 'C', 10, 0}, {"PRICE", 'N', 6, 2}, {"NOTES", 'M', 10, 0}},
                    {{"NAME", "NAME", "", 0, 0}, {"PRICE", "PRICE", "", 0, 0}});
    ASSERT_NE(data, 0);
    ASSERT_EQ(AppendRow(data, {"PEAR", " 12.50", "Green and sweet"}), 0);
    ASSERT_EQ(AppendRow(data, {"APPLE", " -3.25", ""}), 0);
    ASSERT_EQ(AppendRow(data, {"APRICOT", "100.00", "Orange"}), 0);
    ASSERT_EQ(d4go(data, 3), 0);
    ASSERT_EQ(d4delete(data), 0);
    ASSERT_EQ(d4flush(data), 0);
  }
  void TearDown() override { d4close(data); }
  std::string Cdx() { return ReadFile(dir.path() / "ex2x.cdx"); }

  Engine engine;
  TempDir dir;
  Data4 data = 0;
  // The two leaves of the notes' example (pages 0xA00 and 0x1000 there).
  const std::string nameLeaf = Page({{0, "0300 0300 ffff ffff ffff ffff d101 ffff"},
                                     {16, "0000 0f0f 1004 0403 0200 5003 0032 0100"},
                                     {32, "60"},
                                     {0x1f0, "0000 5045 4152 5249 434f 5441 5050 4c45"}});
  const std::string priceLeaf = Page({{0, "0300 0300 ffff ffff ffff ffff d401 ffff"},
                                      {16, "0000 0f0f 1004 0403 0200 0001 0060 0300"},
                                      {32, "61"},
                                      {0x1f0, "0000 0000 0059 c029 3ff5 ffff ffff ffff"}});
};

TEST_F(WorkedExample, KeysAddedOneByOneGiveTheOtherProgramsLeaves) {
  auto roots = RootPages(Cdx());
  ASSERT_EQ(roots.size(), 2u);
  EXPECT_EQ(Hex(roots["NAME"]), Hex(nameLeaf));
  EXPECT_EQ(Hex(roots["PRICE"]), Hex(priceLeaf));
}

TEST_F(WorkedExample, ReindexGivesTheSameLeavesAndHeaders) {
  ASSERT_EQ(d4reindex(data), 0);
  const std::string cdx = Cdx();
  auto roots = RootPages(cdx);
  EXPECT_EQ(Hex(roots["NAME"]), Hex(nameLeaf));
  EXPECT_EQ(Hex(roots["PRICE"]), Hex(priceLeaf));
  EXPECT_EQ(cdx.size() % 512, 0u);
  // Directory header: key length 10, options E0, signature 1, empty expressions.
  EXPECT_EQ(Hex(cdx.substr(12, 4)), "0a00e001");
  EXPECT_EQ(Hex(cdx.substr(0x1f6, 10)), "00000100010000000100");
  // The header of NAME: key length 10, options 60, pool "NAME" NUL NUL.
  const std::uint32_t dir = Le32(cdx, 0);
  detail::CdxNode node;
  detail::DecodeNode(reinterpret_cast<const unsigned char*>(cdx.data()) + dir, 10, ' ', node);
  ASSERT_EQ(node.Count(), 2);
  EXPECT_EQ(std::string(node.Key(0, 10)), "NAME      ");
  EXPECT_EQ(std::string(node.Key(1, 10)), "PRICE     ");
  const std::string header = cdx.substr(node.recnos[0], 1024);
  EXPECT_EQ(Hex(header.substr(12, 4)), "0a006001");
  EXPECT_EQ(Hex(header.substr(0x1f6, 10)), "00000500010000000500");
  EXPECT_EQ(header.substr(512, 6), std::string("NAME\0\0", 6));
}

TEST(CdxKeys, NumbersAndDatesSortAsBytes) {
  EXPECT_EQ(Hex(detail::EncodeDouble(0)), "8000000000000000");
  EXPECT_EQ(Hex(detail::EncodeDouble(-0.0)), "8000000000000000");
  EXPECT_EQ(Hex(detail::EncodeDouble(12.5)), "c029000000000000");
  EXPECT_EQ(Hex(detail::EncodeDouble(-3.25)), "3ff5ffffffffffff");
  EXPECT_EQ(Hex(detail::EncodeDouble(-0.01)), "407b851eb851eb84");
  EXPECT_EQ(Hex(detail::EncodeDouble(2460151)), "c142c4fb80000000");  // 2023-07-25
  EXPECT_EQ(detail::DecodeDouble(detail::EncodeDouble(-1234.5)), -1234.5);
  EXPECT_LT(detail::EncodeDouble(-2), detail::EncodeDouble(-1));
  EXPECT_LT(detail::EncodeDouble(-1), detail::EncodeDouble(0.5));
}

// --- damaged files ----------------------------------------------------------

class DamagedIndex : public ::testing::Test {
 protected:
  // A table with enough records for a three-level tree on a 10-byte key.
  void SetUp() override {
    Data4 data = d4create(engine.code(), (dir.path() / "t").string(), {{"ID", 'C', 10, 0}, {"N", 'N', 6, 0}},
                          {{"ID", "ID", "", 0, 0}, {"N", "N", "", 0, 0}});
    ASSERT_NE(data, 0);
    for (int i = 0; i < 3000; ++i)
      ASSERT_EQ(AppendRow(data, {"k" + std::to_string(i * 7919 % 3000), std::to_string(i)}), 0);
    d4close(data);
    good = ReadFile(dir.path() / "t.cdx");
    const std::uint32_t dirRoot = Le32(good, 0);
    detail::CdxNode node;
    detail::DecodeNode(reinterpret_cast<const unsigned char*>(good.data()) + dirRoot, 10, ' ', node);
    idHeader = node.recnos[0];
    idRoot = Le32(good, idHeader);
  }

  // Opens the table over the given index bytes and walks and seeks every tag: the
  // index error somewhere, never a crash or a hang.
  int Exercise(const std::string& cdx) {
    WriteFile(dir.path() / "t.cdx", cdx);
    code4errorCode(engine.code(), 0);
    Data4 data = d4open(engine.code(), (dir.path() / "t").string());
    if (data == 0) return code4errorCode(engine.code(), 0);
    int worst = 0;
    for (Tag4 tag = d4tagNext(data, 0); tag; tag = d4tagNext(data, tag)) {
      d4tagSelect(data, tag);
      long steps = 0;
      int rc = d4top(data);
      while (rc == 0 && steps < 100000) {
        rc = d4skip(data, 1);
        ++steps;
      }
      if (rc < 0) worst = rc;
      rc = d4seek(data, "k1");
      if (rc < 0) worst = rc;
      rc = d4bottom(data);
      if (rc < 0) worst = rc;
      EXPECT_LT(steps, 100000);
    }
    for (const auto& c : detail::CheckTags(data))
      if (c.damaged) worst = kErrorIndex;
    d4close(data);
    return worst;
  }

  void Put32(std::string& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + static_cast<size_t>(i)] = static_cast<char>(v >> (8 * i));
  }
  void PutBe32(std::string& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + static_cast<size_t>(i)] = static_cast<char>(v >> (24 - 8 * i));
  }

  Engine engine;
  TempDir dir;
  std::string good;
  std::uint32_t idHeader = 0, idRoot = 0;
};

TEST_F(DamagedIndex, TheUndamagedFileWalksClean) { EXPECT_EQ(Exercise(good), 0); }

TEST_F(DamagedIndex, EveryKindOfDamageIsTheIndexError) {
  ASSERT_EQ(good[idRoot] & 2, 0) << "the ID tag should have an interior root";
  auto firstChild = [&](std::uint32_t node) {
    std::uint32_t c = 0;
    for (int i = 0; i < 4; ++i) c = c << 8 | static_cast<unsigned char>(good[node + 12 + 10 + 4 + i]);
    return c;
  };
  const std::uint32_t child = firstChild(idRoot);
  std::uint32_t leaf = child;
  while ((good[leaf] & 2) == 0) leaf = firstChild(leaf);
  struct Case {
    const char* what;
    std::function<void(std::string&)> damage;
  };
  const std::vector<Case> cases = {
      {"empty file", [](std::string& b) { b.clear(); }},
      {"truncated to the header", [](std::string& b) { b.resize(1024); }},
      {"truncated mid-tree", [&](std::string& b) { b.resize(b.size() / 2); }},
      {"interior key count too large", [&](std::string& b) { b[idRoot + 2] = 100; }},
      {"interior child key count too large", [&](std::string& b) { b[child + 2] = static_cast<char>(0xff); }},
      {"leaf key count too large", [&](std::string& b) { b[leaf + 2] = static_cast<char>(0xff); }},
      {"child pointer outside the file", [&](std::string& b) { PutBe32(b, idRoot + 12 + 10 + 4, 0x7ffffe00); }},
      {"child pointer not on a page", [&](std::string& b) { PutBe32(b, idRoot + 12 + 10 + 4, child + 3); }},
      {"child pointer loops to the root", [&](std::string& b) { PutBe32(b, idRoot + 12 + 10 + 4, idRoot); }},
      {"sibling chain loops", [&](std::string& b) { Put32(b, leaf + 8, leaf); }},
      {"entry width reads past the page", [&](std::string& b) { b[leaf + 23] = 9; }},
      {"widths do not add up", [&](std::string& b) { b[leaf + 20] = 20; }},
      {"masks do not match the widths", [&](std::string& b) { b[leaf + 19] = static_cast<char>(0xff); }},
      {"free space does not match", [&](std::string& b) { b[leaf + 12] = static_cast<char>(b[leaf + 12] + 1); }},
      {"expression pool longer than its page", [&](std::string& b) { b[idHeader + 510] = 0x10;
                                                                      b[idHeader + 511] = 2; }},
      {"key length zero", [&](std::string& b) { b[idHeader + 12] = 0; }},
      {"root outside the file", [&](std::string& b) { Put32(b, idHeader, 0x40000000); }},
      {"directory root zero", [&](std::string& b) { Put32(b, 0, 0); }},
      {"not a compound index", [&](std::string& b) { b[14] = 0; }},
      {"update cut short", [&](std::string& b) { b[28] = 1; }},
  };
  for (const auto& c : cases) {
    std::string bad = good;
    c.damage(bad);
    EXPECT_EQ(Exercise(bad), kErrorIndex) << c.what;
  }
}

// Random bytes over single pages never crash (the fuzz target does this at scale).
TEST_F(DamagedIndex, ScrambledPagesNeverCrash) {
  unsigned seed = 12345;
  for (int round = 0; round < 60; ++round) {
    std::string bad = good;
    for (int k = 0; k < 8; ++k) {
      seed = seed * 1103515245u + 12345u;
      const size_t at = 1024 + (seed >> 8) % (bad.size() - 1024);
      seed = seed * 1103515245u + 12345u;
      bad[at] = static_cast<char>(seed >> 16);
    }
    int rc = Exercise(bad);
    EXPECT_TRUE(rc == 0 || rc == kErrorIndex) << rc;
  }
}

}  // namespace
