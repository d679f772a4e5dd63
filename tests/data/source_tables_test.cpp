// The check of a source folder's tables on their bytes: tables another program
// wrote pass as they are, and each kind of damage that would restore as empty
// texts or lost rows is named.
#include "data/source_tables.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>

#include "platform/xbase/dbf.h"
#include "platform/xbase/fpt.h"
#include "support/test_support.h"

namespace fs = std::filesystem;
namespace xd = xbase::detail;
using testing_support::ReadFile;
using testing_support::WriteFile;

namespace {

fs::path PeerMade(const std::string& folder) { return testing_support::SharedDir() / "fixtures/xbase" / folder; }

// A copy of a peer-made folder's quests table alone, and where its first live
// record's memo lives, for the damage cases to aim at.
struct QuestsCopy {
  testing_support::TempDir dir;
  fs::path dbf, fpt;
  std::size_t pointerAt = 0;  // offset in the .dbf of that record's first non-empty memo pointer
  int pointerWidth = 0;
  std::uint64_t memoAt = 0;   // offset in the .fpt of the memo it points to
  std::uint64_t blockSize = 0;

  explicit QuestsCopy(const std::string& folder) {
    for (const char* ext : {".dbf", ".cdx", ".fpt"})
      fs::copy_file(PeerMade(folder) / (std::string("quests") + ext), dir.path() / (std::string("quests") + ext));
    dbf = dir.path() / "quests.dbf";
    fpt = dir.path() / "quests.fpt";
    fs::permissions(dbf, fs::perms::owner_write, fs::perm_options::add);
    fs::permissions(fpt, fs::perms::owner_write, fs::perm_options::add);
    const std::string bytes = ReadFile(dbf), memo = ReadFile(fpt);
    xd::DbfHeader header;
    EXPECT_EQ(xd::ParseDbfHeader(bytes, static_cast<std::int64_t>(bytes.size()), header), xbase::kSuccess);
    blockSize = static_cast<unsigned char>(memo[6]) << 8 | static_cast<unsigned char>(memo[7]);
    for (long n = 0; n < header.count && pointerWidth == 0; ++n) {
      const std::size_t record = header.headerLength + static_cast<std::size_t>(n) * header.recordLength;
      if (bytes[record] == '*') continue;
      for (const auto& field : header.fields) {
        const int width = xd::MemoPointerWidth(field.layout);
        std::uint32_t block = 0;
        if (width == 0 || !xd::ParseMemoPointer(std::string_view(bytes).substr(record + field.layout.offset, width), block) ||
            block == 0)
          continue;
        pointerAt = record + field.layout.offset;
        pointerWidth = width;
        memoAt = block * blockSize;
        break;
      }
    }
    EXPECT_NE(pointerWidth, 0) << "the fixture has a live record with a memo";
  }

  void Patch(const fs::path& file, std::uint64_t at, const std::string& bytes) const {
    std::string all = ReadFile(file);
    all.replace(at, bytes.size(), bytes);
    WriteFile(file, all);
  }
  void PointAt(std::uint32_t block) const {
    std::string text(static_cast<std::size_t>(pointerWidth), ' ');
    xd::FormatMemoPointer(block, text.data(), pointerWidth);
    Patch(dbf, pointerAt, text);
  }
};

std::string Be32(std::uint32_t v) {
  return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8), static_cast<char>(v)};
}

}  // namespace

TEST(SourceTables, TablesAnotherProgramWroteAreSound) {
  // Deleted rows, multi-block and rewritten memos, a 1024-byte memo header with its
  // own free list: nothing of it is damage.
  for (const char* folder : {"peer-made", "peer-made-flexmemo"})
    EXPECT_EQ(tolvarin::SourceTableProblems(PeerMade(folder).string()), std::vector<std::string>{}) << folder;
}

struct Damage {
  const char* name;
  std::function<void(const QuestsCopy&)> make;
  const char* named;  // the file the problem must name
};

void PrintTo(const Damage& damage, std::ostream* out) { *out << damage.name; }

class SourceTableDamage : public ::testing::TestWithParam<Damage> {};

TEST_P(SourceTableDamage, IsNamed) {
  QuestsCopy copy("peer-made");
  ASSERT_TRUE(tolvarin::SourceTableProblems(copy.dir.str()).empty());
  GetParam().make(copy);
  const std::vector<std::string> problems = tolvarin::SourceTableProblems(copy.dir.str());
  ASSERT_EQ(problems.size(), 1u) << tolvarin::SummarizeProblems(problems, 9);
  EXPECT_EQ(problems[0].rfind(GetParam().named, 0), 0u) << problems[0];
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SourceTableDamage,
    ::testing::Values(
        Damage{"PointerPastTheEnd",
               [](const QuestsCopy& c) { c.PointAt(static_cast<std::uint32_t>(fs::file_size(c.fpt) / c.blockSize + 5)); },
               "quests.fpt: the memo of record"},
        Damage{"PointerIntoTheHeader", [](const QuestsCopy& c) { c.PointAt(1); }, "quests.fpt: the memo of record"},
        Damage{"LengthOfTwoGiB", [](const QuestsCopy& c) { c.Patch(c.fpt, c.memoAt + 4, Be32(0x80000000u)); },
               "quests.fpt"},
        Damage{"LengthOfFourGiB", [](const QuestsCopy& c) { c.Patch(c.fpt, c.memoAt + 4, Be32(0xFFFFFFFFu)); },
               "quests.fpt"},
        // Block size 0 reads as bytes, so every pointer of a file written in blocks
        // of 64 then falls inside the header or elsewhere.
        Damage{"BlockSizeZero", [](const QuestsCopy& c) { c.Patch(c.fpt, 6, std::string(2, '\0')); }, "quests.fpt"},
        Damage{"MemoFileCutShort", [](const QuestsCopy& c) { fs::resize_file(c.fpt, fs::file_size(c.fpt) / 2); },
               "quests.fpt"},
        Damage{"MemoFileShorterThanItsHeader", [](const QuestsCopy& c) { fs::resize_file(c.fpt, 100); },
               "quests.fpt: the memo file is shorter"},
        Damage{"MemoFileMissing", [](const QuestsCopy& c) { fs::remove(c.fpt); }, "quests.fpt: the memo file is missing"},
        Damage{"DataFileCutInHalf", [](const QuestsCopy& c) { fs::resize_file(c.dbf, fs::file_size(c.dbf) / 2); },
               "quests.dbf "},
        Damage{"HeaderGarbage", [](const QuestsCopy& c) { c.Patch(c.dbf, 0, std::string(40, '\x7f')); },
               "quests.dbf is not a table"},
        // A file of holes: a few MB on disk that a restore would stage at full size.
        Damage{"SparseMemoFile", [](const QuestsCopy& c) { fs::resize_file(c.fpt, std::uint64_t{2} << 30); },
               "quests.fpt: 2147483648 bytes"}),
    [](const ::testing::TestParamInfo<Damage>& info) { return std::string(info.param.name); });

TEST(SourceTables, ALostMemoOfADeletedRowOrAnAbandonedTailIsNoDamage) {
  QuestsCopy copy("peer-made");
  // The record of the memo marked deleted, and its memo lost: it is never copied.
  std::string bytes = ReadFile(copy.dbf);
  xd::DbfHeader header;
  ASSERT_EQ(xd::ParseDbfHeader(bytes, static_cast<std::int64_t>(bytes.size()), header), xbase::kSuccess);
  const std::size_t record = header.headerLength + (copy.pointerAt - header.headerLength) / header.recordLength *
                                                       static_cast<std::size_t>(header.recordLength);
  bytes[record] = '*';
  WriteFile(copy.dbf, bytes);
  copy.PointAt(static_cast<std::uint32_t>(fs::file_size(copy.fpt) / copy.blockSize + 5));
  // And as much again of abandoned runs at the end of the memo file.
  fs::resize_file(copy.fpt, fs::file_size(copy.fpt) * 2);
  EXPECT_EQ(tolvarin::SourceTableProblems(copy.dir.str()), std::vector<std::string>{});
}

TEST(SourceTables, ASummaryShowsTheFirstProblemsAndCountsTheRest) {
  EXPECT_EQ(tolvarin::SummarizeProblems({"a", "b"}), "a\nb");
  EXPECT_EQ(tolvarin::SummarizeProblems({"a", "b", "c", "d", "e"}), "a\nb\nc\n(and 2 more)");
  EXPECT_EQ(tolvarin::SummarizeProblems({}), "");
}
