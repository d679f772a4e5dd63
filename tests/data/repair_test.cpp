#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "core/console_presenter.h"
#include "construction/blank_tables.h"
#include "construction/schema.h"
#include "core/terminate.h"
#include "data/codebase.h"
#include "data/open_table.h"
#include "table_fixture.h"

namespace fs = std::filesystem;

namespace tolvarin {
namespace {

using tolvarin_test::ReadBytes;
using tolvarin_test::WriteBytes;

std::uint32_t Get32(const std::vector<std::uint8_t>& b, std::size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<std::uint32_t>(b[at + 3]) << 24);
}
std::uint16_t Get16(const std::vector<std::uint8_t>& b, std::size_t at) {
  return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}
void Put32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
}

class RepairTest : public tolvarin_test::TableFolderTest {
 protected:
  // A course copy of the fixture table and its blank copy.
  fs::path Prepare(const std::string& table) {
    CopyFixture(table, course_);
    MakeBlank(table);
    return course_ / (table + ".dbf");
  }
  std::vector<std::string> TableFiles(const std::string& table) const {
    std::vector<std::string> contents;
    for (const char* extension : {".dbf", ".cdx", ".fpt"}) {
      const fs::path file = course_ / (table + extension);
      contents.push_back(fs::exists(file) ? testing_support::ReadFile(file) : "<none>");
    }
    return contents;
  }
  bool WorkFilesLeft(const std::string& table) const {
    for (const auto& entry : fs::directory_iterator(course_))
      if (entry.path().filename().string().find("_fix") != std::string::npos) return true;
    for (const auto& entry : fs::directory_iterator(blank_))
      if (entry.path().filename().string().rfind("_" + table, 0) == 0) return true;
    return false;
  }
};

// Every fixture table, memo widths 4 and 10 among them.
TEST_F(RepairTest, CountsEveryRecordOfEveryFixtureTable) {
  for (const auto& entry : fs::directory_iterator(Fixtures())) {
    if (entry.path().extension() != ".dbf") continue;
    const std::string table = entry.path().stem().string();
    Prepare(table);
    EXPECT_EQ(CountRecoverableRecords(table, course_.string()), 120) << table;
  }
  EXPECT_FALSE(WorkFilesLeft("quests"));
}

TEST_F(RepairTest, FourByteMemoTablesKeepTheirLastRecords) {
  for (const char* table : {"templates", "memoattributes", "mathanswers", "mathtemplates", "racesettings"}) {
    const fs::path dbf = Prepare(table);
    auto bytes = ReadBytes(dbf);
    Put32(bytes, 4, 3);  // the header claims three records
    WriteBytes(dbf, bytes);
    const auto expected = AsCopied(Fixtures() / (std::string(table) + ".dbf"));
    const xbase::Data4 data = OpenTable(dbf.string(), 0, true, false);
    ASSERT_NE(data, 0) << table;
    EXPECT_EQ(LiveRecords(data), expected) << table;
    xbase::d4close(data);
  }
}

TEST_F(RepairTest, TenRecordsOfWidth25AndTheEndByteCountTen) {
  CreateTable(blank_ / "narrow.dbf", {"text:C:24"}, {"text=text"});
  CreateTable(course_ / "narrow.dbf", {"text:C:24"}, {"text=text"});
  const xbase::Data4 data = xbase::d4open(Engine().EngineHandle, (course_ / "narrow.dbf").string());
  ASSERT_NE(data, 0);
  for (int i = 0; i < 10; ++i) {
    xbase::d4appendStart(data, 0);
    xbase::d4blank(data);
    xbase::f4assign(xbase::d4field(data, "text"), "row " + std::to_string(i));
    xbase::d4append(data);
  }
  xbase::d4close(data);
  const auto bytes = ReadBytes(course_ / "narrow.dbf");
  ASSERT_EQ(Get16(bytes, 10), 25);
  ASSERT_EQ(bytes.size(), Get16(bytes, 8) + 251u);
  EXPECT_EQ(CountRecoverableRecords("narrow", course_.string()), 10);
}

TEST_F(RepairTest, ABlankCopyThatHoldsRowsIsMeasuredEmptied) {
  CopyFixture("users", course_);
  CopyFixture("users", blank_);
  EXPECT_EQ(CountRecoverableRecords("users", course_.string()), 120);
  EXPECT_EQ(ReadBytes(blank_ / "users.dbf"), ReadBytes(Fixtures() / "users.dbf"));
  EXPECT_FALSE(WorkFilesLeft("users"));
}

TEST_F(RepairTest, CountFailuresNameTheirStep) {
  auto stepOf = [](const std::string& table, const std::string& folder) -> std::string {
    try {
      CountRecoverableRecords(table, folder);
    } catch (const RepairError& error) {
      return error.what();
    }
    return "no error";
  };
  CopyFixture("users", course_);
  EXPECT_EQ(stepOf("users", course_.string()), "Can't open blank table");
  EXPECT_EQ(stepOf("missing", course_.string()), "Can't read table bytes");
  MakeBlank("users");
  // A damaged header that lacks a field of the blank copy.
  auto bytes = ReadBytes(course_ / "users.dbf");
  const std::string text(bytes.begin(), bytes.end());
  const auto at = text.find("PASSWORD");
  ASSERT_NE(at, std::string::npos);
  bytes[at] = 'X';
  WriteBytes(course_ / "users.dbf", bytes);
  EXPECT_EQ(stepOf("users", course_.string()), "Can't determine record width");
}

struct Damage {
  const char* name;
  const char* table;
  bool opens;  // the engine opens the damaged table: only a forced repair rebuilds it
  // Damages the files; the record numbers that stay readable.
  std::pair<long, long> (*apply)(const fs::path& dbf);
};

constexpr long kAll = 0x7fffffff;

std::pair<long, long> CountTooSmall(const fs::path& dbf) {
  auto b = ReadBytes(dbf);
  Put32(b, 4, Get32(b, 4) / 2);
  WriteBytes(dbf, b);
  return {1, kAll};
}
std::pair<long, long> CountAbove65535(const fs::path& dbf) {
  auto b = ReadBytes(dbf);
  Put32(b, 4, 70000);
  WriteBytes(dbf, b);
  return {1, kAll};
}
std::pair<long, long> TruncatedLastRecord(const fs::path& dbf) {
  auto b = ReadBytes(dbf);
  const std::uint32_t n = Get32(b, 4);
  const std::size_t h = Get16(b, 8);
  const std::size_t r = Get16(b, 10);
  b.resize(h + (n - 1) * r + r / 3);
  WriteBytes(dbf, b);
  return {1, static_cast<long>(n - 1)};
}
std::pair<long, long> FirstRecordDeleted(const fs::path& dbf) {
  auto b = ReadBytes(dbf);
  b[Get16(b, 8)] = '*';
  Put32(b, 4, 0);
  WriteBytes(dbf, b);
  return {2, kAll};
}
std::pair<long, long> GarbageAfterRecords(const fs::path& dbf) {
  auto b = ReadBytes(dbf);
  for (int i = 0; i < 37; ++i) b.push_back(static_cast<std::uint8_t>(0xE0 + i % 7));
  Put32(b, 4, Get32(b, 4) + 5);
  WriteBytes(dbf, b);
  return {1, kAll};
}
std::pair<long, long> MissingIndex(const fs::path& dbf) {
  fs::remove(fs::path(dbf).replace_extension(".cdx"));
  return {1, kAll};
}
std::pair<long, long> CorruptIndex(const fs::path& dbf) {
  const fs::path cdx = fs::path(dbf).replace_extension(".cdx");
  auto b = ReadBytes(cdx);
  for (std::size_t i = 0; i < 1024 && i < b.size(); ++i) b[i] = static_cast<std::uint8_t>(0xA5 ^ i);
  WriteBytes(cdx, b);
  return {1, kAll};
}

TEST_F(RepairTest, DamagedTablesAreRebuiltWithEveryReadableRecord) {
  const Damage damages[] = {
      {"count too small", "users", true, CountTooSmall},
      {"count too small", "quests", true, CountTooSmall},
      {"count above 65535", "templates", false, CountAbove65535},
      {"count above 65535", "users", false, CountAbove65535},
      {"truncated last record", "users", false, TruncatedLastRecord},
      {"truncated last record", "quests", false, TruncatedLastRecord},
      {"first record deleted", "sesquests", true, FirstRecordDeleted},
      {"first record deleted", "quests", true, FirstRecordDeleted},
      {"garbage after the records", "users", false, GarbageAfterRecords},
      {"garbage after the records", "descript", false, GarbageAfterRecords},
      {"missing index", "exams", false, MissingIndex},
      {"corrupt index", "standard", false, CorruptIndex},
  };
  for (const auto& damage : damages) {
    SCOPED_TRACE(std::string(damage.name) + " on " + damage.table);
    const fs::path dbf = Prepare(damage.table);
    const auto [first, last] = damage.apply(dbf);
    // What the damaged table held, as the rebuilt table holds it.
    const auto expected = AsCopied(Fixtures() / (std::string(damage.table) + ".dbf"), first, last);
    ASSERT_GT(expected.size(), 50u);
    const xbase::Data4 data = OpenTable(dbf.string(), 0, damage.opens, false);
    ASSERT_NE(data, 0);
    const auto rebuilt = LiveRecords(data);
    EXPECT_EQ(rebuilt.size(), expected.size());
    for (std::size_t i = 0; i < std::min(rebuilt.size(), expected.size()); ++i) {
      if (rebuilt[i] != expected[i]) {
        ADD_FAILURE() << "record " << i + 1 << " differs:\n" << rebuilt[i].substr(0, 200) << "\n"
                      << expected[i].substr(0, 200);
        break;
      }
    }
    EXPECT_EQ(xbase::d4recCount(data), static_cast<long>(expected.size()));
    // The index was rebuilt: every key tag finds the rows again.
    EXPECT_NE(xbase::d4tagNext(data, 0), 0);
    xbase::d4close(data);
    EXPECT_FALSE(WorkFilesLeft(damage.table));
    EXPECT_TRUE(BoxTexts().empty());
    DeleteTableFiles(course_.string(), damage.table);
  }
}

// More than half of the last record is left: the count rounds up and the record
// comes back with the missing bytes blank.
TEST_F(RepairTest, AMostlyPresentLastRecordIsKeptWithItsTailBlank) {
  for (const char* table : {"users", "templates"}) {
    SCOPED_TRACE(table);
    const fs::path dbf = Prepare(table);
    auto b = ReadBytes(dbf);
    const std::uint32_t n = Get32(b, 4);
    const std::size_t h = Get16(b, 8);
    const std::size_t r = Get16(b, 10);
    const std::uint8_t lastFlag = b[h + (n - 1) * r];
    b.resize(h + (n - 1) * r + 2 * r / 3);
    WriteBytes(dbf, b);
    auto expected = AsCopied(Fixtures() / (std::string(table) + ".dbf"), 1, n - 1);
    const xbase::Data4 data = OpenTable(dbf.string());
    ASSERT_NE(data, 0);
    auto rebuilt = LiveRecords(data);
    ASSERT_EQ(rebuilt.size(), expected.size() + (lastFlag == ' ' ? 1 : 0));
    rebuilt.resize(expected.size());
    EXPECT_EQ(rebuilt, expected);
    xbase::d4close(data);
  }
}

// The blank copies the construction writes from the schema serve the repair of
// tables another program wrote.
TEST_F(RepairTest, BlankTablesMadeFromTheSchemaRebuildPeerTables) {
  DefineDatabase();
  CreateBlankTables(blank_.string());
  for (const auto& entry : fs::directory_iterator(Fixtures())) {
    if (entry.path().extension() != ".dbf") continue;
    const std::string table = entry.path().stem().string();
    SCOPED_TRACE(table);
    CopyFixture(table, course_);
    const fs::path dbf = course_ / (table + ".dbf");
    CountAbove65535(dbf);
    const auto expected = AsCopied(Fixtures() / (table + ".dbf"));
    const xbase::Data4 data = OpenTable(dbf.string());
    ASSERT_NE(data, 0);
    EXPECT_EQ(LiveRecords(data), expected);
    xbase::d4close(data);
  }
  EXPECT_TRUE(BoxTexts().empty());
}

TEST_F(RepairTest, ForcedRepairOfAHealthyTableRebuildsIt) {
  const fs::path dbf = Prepare("quests");
  const auto expected = AsCopied(Fixtures() / "quests.dbf");
  const xbase::Data4 data = OpenTable(dbf.string(), 0, true, false);
  ASSERT_NE(data, 0);
  // Records marked deleted are gone; blank character fields hold "0".
  EXPECT_EQ(xbase::d4recCount(data), static_cast<long>(expected.size()));
  EXPECT_LT(expected.size(), 120u);
  EXPECT_EQ(LiveRecords(data), expected);
  const xbase::Tag4 tag = xbase::d4tag(data, "QUEST_ID");
  ASSERT_NE(tag, 0);
  xbase::d4tagSelect(data, tag);
  xbase::d4top(data);
  const std::string firstKey = xbase::f4str(xbase::d4field(data, "quest_id"));
  EXPECT_EQ(xbase::d4seek(data, firstKey), 0);
  xbase::d4close(data);
  EXPECT_FALSE(WorkFilesLeft("quests"));
  EXPECT_EQ(LastRepairPath(), dbf.string());
}

TEST_F(RepairTest, SilentRepairWithoutABlankCopyLeavesTheTableAlone) {
  CopyFixture("quests", course_);
  CountAbove65535(course_ / "quests.dbf");
  const auto before = TableFiles("quests");
  EXPECT_EQ(OpenTable((course_ / "quests.dbf").string(), 0, false, true), 0);
  EXPECT_EQ(TableFiles("quests"), before);
  EXPECT_TRUE(BoxTexts().empty());
}

// The fix copy must hold the damaged data before anything of the table goes.
TEST_F(RepairTest, AFixCopyThatCannotBeWrittenLeavesTheTableAlone) {
  for (const char* blocked : {"quests_fix.dbf", "quests_fix.fpt"}) {
    SCOPED_TRACE(blocked);
    Prepare("quests");
    CountTooSmall(course_ / "quests.dbf");
    const auto before = TableFiles("quests");
    fs::create_directories(course_ / blocked / "in-the-way");
    EXPECT_EQ(RepairTable((course_ / "quests.dbf").string(), true), 0);
    EXPECT_EQ(TableFiles("quests"), before);
    fs::remove_all(course_ / blocked);
  }
}

// The record count is found from the blank copy in "blank", but the copy that
// replaces the table comes from "Blank", which lacks it: the repair stops after the
// table's files were taken away, and puts them back.
TEST_F(RepairTest, ARepairThatFailsAfterReplacingTheTablePutsItsFilesBack) {
  CopyFixture("quests", course_);
  CountAbove65535(course_ / "quests.dbf");
  const fs::path lower = root_ / "blank";
  fs::create_directories(lower);
  for (const char* extension : {".dbf", ".cdx", ".fpt"})
    fs::copy_file(Fixtures() / (std::string("quests") + extension), lower / (std::string("quests") + extension));
  const auto before = TableFiles("quests");
  EXPECT_EQ(OpenTable((course_ / "quests.dbf").string(), 0, false, true), 0);
  EXPECT_EQ(TableFiles("quests"), before);
  EXPECT_EQ(BoxTexts(), (std::vector<std::string>{"Unable to locate blank quests.dbf file.",
                                                  "Unable to locate blank quests.cdx file."}));
}

TEST_F(RepairTest, AFailedRepairTellsTheUserAndEndsTheRun) {
  CopyFixture("users", course_);
  CountAbove65535(course_ / "users.dbf");
  const std::string path = (course_ / "Users.DBF").string();
  std::string shown = path;
  std::transform(shown.begin(), shown.end(), shown.begin(), [](unsigned char c) { return std::tolower(c); });
  EXPECT_EXIT(
      {
        SetPresenter(std::make_unique<ConsolePresenter>());
        SetTerminateCleanup([] { CloseCodeBase(); });
        OpenTable(path);
      },
      ::testing::ExitedWithCode(kTerminateStatus),
      "Table: " + shown +
          " could not be opened\\. An attempt to automatically correct the table has failed\\.(.|\r|\n)*"
          "Error Message = Can't open blank table(.|\r|\n)*Please call 1-888-CORVANE for further assistance\\.");
}

// When the fix copy itself cannot be opened, the table becomes its empty blank
// copy and the fix files keep the damaged data.
TEST_F(RepairTest, AnUnreadableFixCopyLeavesTheBlankTableAndKeepsTheFixFiles) {
  const fs::path dbf = Prepare("quests");
  CountAbove65535(dbf);
  const auto memo = ReadBytes(course_ / "quests.fpt");
  WriteBytes(course_ / "quests.fpt", std::vector<std::uint8_t>(memo.begin(), memo.begin() + 6));
  const xbase::Data4 data = OpenTable(dbf.string());
  ASSERT_NE(data, 0);
  EXPECT_EQ(xbase::d4recCount(data), 0);
  xbase::d4close(data);
  EXPECT_TRUE(fs::exists(course_ / "quests_fix.dbf"));
  EXPECT_TRUE(fs::exists(course_ / "quests_fix.fpt"));
  EXPECT_EQ(ReadBytes(course_ / "quests_fix.fpt").size(), 6u);
}

}  // namespace
}  // namespace tolvarin
