#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "core/console_presenter.h"
#include "construction/blank_tables.h"
#include "construction/schema.h"
#include "core/run_log.h"
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
      if (entry.path().filename().string().find("_fix") != std::string::npos ||
          entry.path().filename().string().find("_new") != std::string::npos)
        return true;
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
  // A data file too short to hold any record layout.
  auto bytes = ReadBytes(course_ / "users.dbf");
  bytes.resize(40);
  WriteBytes(course_ / "users.dbf", bytes);
  EXPECT_EQ(stepOf("users", course_.string()), "Can't determine record width");
}

// A garbled field name is known by the blank copy's field in its place.
TEST_F(RepairTest, AGarbledFieldNameIsTakenFromTheBlankCopy) {
  const fs::path dbf = Prepare("users");
  auto bytes = ReadBytes(dbf);
  const std::string text(bytes.begin(), bytes.end());
  const auto at = text.find("PASSWORD");
  ASSERT_NE(at, std::string::npos);
  bytes[at] = 'X';
  WriteBytes(dbf, bytes);
  EXPECT_EQ(CountRecoverableRecords("users", course_.string()), 120);
  const xbase::Data4 data = OpenTable(dbf.string(), 0, true, false);
  ASSERT_NE(data, 0);
  EXPECT_EQ(LiveRecords(data), AsCopied(Fixtures() / "users.dbf"));
  xbase::d4close(data);
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

// A repair stopped while its rebuilt table takes the table's place puts the
// table's own files back.
TEST_F(RepairTest, ARepairThatFailsAfterReplacingTheTablePutsItsFilesBack) {
  for (const char* step : {"old data file removed", "memo file replaced", "index replaced"}) {
    SCOPED_TRACE(step);
    Prepare("quests");
    CountAbove65535(course_ / "quests.dbf");
    const auto before = TableFiles("quests");
    SetRepairStepHook([step](const std::string& name) {
      if (name == step) throw std::runtime_error("stopped");
    });
    EXPECT_EQ(OpenTable((course_ / "quests.dbf").string(), 0, false, true), 0);
    SetRepairStepHook(nullptr);
    EXPECT_EQ(TableFiles("quests"), before);
    EXPECT_FALSE(WorkFilesLeft("quests"));
  }
}

// A blank copy without its index cannot be rebuilt into a table that opens: the
// table stays as it was.
TEST_F(RepairTest, ABlankCopyWithoutItsIndexLeavesTheTableAlone) {
  const fs::path dbf = Prepare("quests");
  CountAbove65535(dbf);
  fs::remove(blank_ / "quests.cdx");
  const auto before = TableFiles("quests");
  EXPECT_EQ(OpenTable(dbf.string(), 0, false, true), 0);
  EXPECT_EQ(TableFiles("quests"), before);
  EXPECT_EQ(BoxTexts(), (std::vector<std::string>{"Unable to locate blank quests.cdx file."}));
  EXPECT_FALSE(WorkFilesLeft("quests"));
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

// A memo file too short to read: the rows are kept with empty memo fields, and
// the memo file is kept beside the table.
TEST_F(RepairTest, AnUnreadableMemoFileKeepsTheRowsWithEmptyMemos) {
  const fs::path dbf = Prepare("quests");
  CountAbove65535(dbf);
  const auto memo = ReadBytes(course_ / "quests.fpt");
  const std::vector<std::uint8_t> shortMemo(memo.begin(), memo.begin() + 6);
  WriteBytes(course_ / "quests.fpt", shortMemo);
  const xbase::Data4 data = OpenTable(dbf.string());
  ASSERT_NE(data, 0);
  EXPECT_EQ(LiveRecords(data), AsCopied(Fixtures() / "quests.dbf", 1, kAll, true));
  xbase::d4close(data);
  EXPECT_EQ(ReadBytes(course_ / "quests_memo_1.fpt"), shortMemo);
  EXPECT_FALSE(WorkFilesLeft("quests"));
  ASSERT_EQ(BoxTexts().size(), 1u);
  EXPECT_NE(BoxTexts()[0].find("quests_memo_1.fpt"), std::string::npos);
}

// --- Damage as a user's machine leaves it: one way each, on realistic tables --

struct Expect {
  long first = 1;
  long last = kAll;
  bool emptyMemos = false;
};

std::size_t HeaderLength(const std::vector<std::uint8_t>& b) { return Get16(b, 8); }
std::size_t RecordLength(const std::vector<std::uint8_t>& b) { return Get16(b, 10); }

Expect Damage(const fs::path& dbf, const std::function<void(std::vector<std::uint8_t>&)>& change,
              Expect expect = {}) {
  auto b = ReadBytes(dbf);
  change(b);
  WriteBytes(dbf, b);
  return expect;
}

// The record area's end: the records, without the end-of-file byte.
std::size_t RecordsEnd(const std::vector<std::uint8_t>& b) {
  return HeaderLength(b) + Get32(b, 4) * RecordLength(b);
}

std::vector<std::uint8_t> Garbage(const std::string& kind, std::size_t length) {
  std::vector<std::uint8_t> bytes(length);
  std::mt19937 random(7);
  const std::string text =
      "0 0\r\nThe quick brown fox jumps over the lazy dog; 1234567 0000001 lorem ipsum dolor sit amet. ";
  for (std::size_t i = 0; i < length; ++i) {
    if (kind == "binary") bytes[i] = static_cast<std::uint8_t>(random());
    if (kind == "text") bytes[i] = static_cast<std::uint8_t>(text[i % text.size()]);
    if (kind == "blanks") bytes[i] = ' ';
    if (kind == "zeros") bytes[i] = 0;
  }
  return bytes;
}

// Garbage after the end-of-file byte, or in its place (the file then has none).
Expect GarbageAfter(const fs::path& dbf, const std::string& kind, bool overEndByte) {
  return Damage(dbf, [&](std::vector<std::uint8_t>& b) {
    b.resize(RecordsEnd(b) + (overEndByte ? 0 : 1));
    const auto garbage = Garbage(kind, 3 * RecordLength(b) + 11);
    b.insert(b.end(), garbage.begin(), garbage.end());
  });
}

struct RepairCase {
  std::string damage;
  std::function<Expect(const fs::path& dbf)> apply;
};

std::vector<RepairCase> RepairCases() {
  std::vector<RepairCase> cases = {
      {"header length too large", [](const fs::path& dbf) {
         return Damage(dbf, [](auto& b) { b[8] = static_cast<std::uint8_t>(b[8] + 7); });
       }},
      {"header length too small", [](const fs::path& dbf) {
         return Damage(dbf, [](auto& b) { b[8] = static_cast<std::uint8_t>(b[8] - 3); });
       }},
      {"header length zero", [](const fs::path& dbf) {
         return Damage(dbf, [](auto& b) { b[8] = b[9] = 0; });
       }},
      {"record length", [](const fs::path& dbf) {
         return Damage(dbf, [](auto& b) { b[10] = static_cast<std::uint8_t>(b[10] + 3); });
       }},
      {"field width", [](const fs::path& dbf) {
         return Damage(dbf, [](auto& b) { b[32 + 32 + 16] = static_cast<std::uint8_t>(b[32 + 32 + 16] + 1); });
       }},
      {"version byte", [](const fs::path& dbf) { return Damage(dbf, [](auto& b) { b[0] = 0x47; }); }},
      {"record count too small", [](const fs::path& dbf) { CountTooSmall(dbf); return Expect{}; }},
      {"record count too large", [](const fs::path& dbf) {
         return Damage(dbf, [](auto& b) { Put32(b, 4, Get32(b, 4) + 50); });
       }},
      {"record count 0 on a non-empty file", [](const fs::path& dbf) {
         return Damage(dbf, [](auto& b) { Put32(b, 4, 0); });
       }},
      {"truncated mid-record", [](const fs::path& dbf) {
         auto b = ReadBytes(dbf);
         const long n = static_cast<long>(Get32(b, 4));
         b.resize(RecordsEnd(b) - RecordLength(b) + RecordLength(b) / 3);
         WriteBytes(dbf, b);
         return Expect{1, n - 1};
       }},
      {"missing index", [](const fs::path& dbf) { return MissingIndex(dbf), Expect{}; }},
      {"zeroed index", [](const fs::path& dbf) {
         const fs::path cdx = fs::path(dbf).replace_extension(".cdx");
         WriteBytes(cdx, std::vector<std::uint8_t>(fs::file_size(cdx), 0));
         return Expect{};
       }},
      {"truncated index", [](const fs::path& dbf) {
         const fs::path cdx = fs::path(dbf).replace_extension(".cdx");
         auto b = ReadBytes(cdx);
         b.resize(b.size() / 2 + 100);
         WriteBytes(cdx, b);
         return Expect{};
       }},
      {"missing memo file", [](const fs::path& dbf) {
         const fs::path fpt = fs::path(dbf).replace_extension(".fpt");
         const bool hadMemo = fs::exists(fpt);
         fs::remove(fpt);
         return Expect{1, kAll, hadMemo};
       }},
  };
  for (const char* kind : {"binary", "text", "blanks", "zeros"}) {
    cases.push_back({std::string(kind) + " garbage after the records",
                     [kind](const fs::path& dbf) { return GarbageAfter(dbf, kind, false); }});
    cases.push_back({std::string(kind) + " garbage in place of the end byte",
                     [kind](const fs::path& dbf) { return GarbageAfter(dbf, kind, true); }});
  }
  return cases;
}

// Every case keeps every row the table held, row by row, with a sound index; none
// shows a box or leaves a work file.
TEST_F(RepairTest, EveryDamageKeepsEveryRecoverableRow) {
  SetDebugLogSwitch(false);
  for (const auto& repairCase : RepairCases()) {
    for (const char* table : {"quests", "exams", "users", "templates", "standard"}) {
      SCOPED_TRACE(repairCase.damage + " on " + table);
      const fs::path dbf = Prepare(table);
      const std::size_t boxesBefore = BoxTexts().size();
      const Expect expect = repairCase.apply(dbf);
      const auto expected =
          AsCopied(Fixtures() / (std::string(table) + ".dbf"), expect.first, expect.last, expect.emptyMemos);
      ASSERT_GT(expected.size(), 50u);
      // A damaged table the engine still opens is repaired on demand.
      const xbase::Data4 opens = xbase::d4open(Engine().EngineHandle, dbf.string());
      if (opens != 0) xbase::d4close(opens);
      xbase::code4errorCode(Engine().EngineHandle, 0);
      const xbase::Data4 data = OpenTable(dbf.string(), 0, opens != 0, false);
      ASSERT_NE(data, 0);
      const auto rebuilt = LiveRecords(data);
      EXPECT_EQ(rebuilt.size(), expected.size());
      for (std::size_t i = 0; i < std::min(rebuilt.size(), expected.size()); ++i) {
        if (rebuilt[i] != expected[i]) {
          ADD_FAILURE() << "record " << i + 1 << " differs:\n" << rebuilt[i].substr(0, 120) << "\n"
                        << expected[i].substr(0, 120);
          break;
        }
      }
      // The index was rebuilt: the first tag finds every row again.
      const xbase::Tag4 tag = xbase::d4tagNext(data, 0);
      ASSERT_NE(tag, 0);
      xbase::d4tagSelect(data, tag);
      long walked = 0;
      for (int rc = xbase::d4top(data); rc == 0; rc = xbase::d4skip(data, 1)) ++walked;
      if (xbase::t4unique(tag) == 0) {
        EXPECT_EQ(walked, static_cast<long>(expected.size()));
      }
      xbase::d4close(data);
      EXPECT_FALSE(WorkFilesLeft(table));
      // Only a memo file that is gone is worth a word to the user.
      const auto boxes = BoxTexts();
      EXPECT_EQ(boxes.size() - boxesBefore, expect.emptyMemos ? 1u : 0u) << boxes.back();
      DeleteTableFiles(course_.string(), table);
    }
  }
}

// A healthy empty table, or one cut off after its header, is repaired to an empty
// table; a header that is not sound with no row to read fails and leaves the files.
TEST_F(RepairTest, NoRowsToReadIsAnEmptyTableOnlyUnderASoundHeader) {
  for (const std::size_t tail : {std::size_t{1}, std::size_t{0}}) {
    SCOPED_TRACE(tail);
    const fs::path dbf = Prepare("users");
    auto b = ReadBytes(dbf);
    b.resize(HeaderLength(b) + tail);
    Put32(b, 4, tail == 1 ? 0 : 120);
    WriteBytes(dbf, b);
    const xbase::Data4 data = OpenTable(dbf.string(), 0, true, true);
    ASSERT_NE(data, 0);
    EXPECT_EQ(xbase::d4recCount(data), 0);
    xbase::d4close(data);
    EXPECT_FALSE(WorkFilesLeft("users"));
  }
  // Descriptors and records overwritten: nothing can be read.
  const fs::path dbf = Prepare("users");
  auto b = ReadBytes(dbf);
  const auto text = Garbage("binary", b.size() - 32);
  std::copy(text.begin(), text.end(), b.begin() + 32);
  WriteBytes(dbf, b);
  const auto before = TableFiles("users");
  EXPECT_EQ(OpenTable(dbf.string(), 0, true, true), 0);
  EXPECT_EQ(TableFiles("users"), before);
  EXPECT_FALSE(WorkFilesLeft("users"));
}

// Fix files a stopped repair left are the only copy of their rows: a later repair
// moves them aside, says where, and makes its own.
TEST_F(RepairTest, ASecondRepairKeepsTheFixFilesItFinds) {
  const fs::path dbf = Prepare("quests");
  CopyFixture("users", course_);
  fs::rename(course_ / "users.dbf", course_ / "quests_fix.dbf");
  fs::rename(course_ / "users.cdx", course_ / "quests_fix.cdx");
  const auto earlier = ReadBytes(course_ / "quests_fix.dbf");
  CountAbove65535(dbf);
  const xbase::Data4 data = OpenTable(dbf.string());
  ASSERT_NE(data, 0);
  EXPECT_EQ(LiveRecords(data), AsCopied(Fixtures() / "quests.dbf"));
  xbase::d4close(data);
  EXPECT_EQ(ReadBytes(course_ / "quests_fix_1.dbf"), earlier);
  EXPECT_TRUE(fs::exists(course_ / "quests_fix_1.cdx"));
  EXPECT_FALSE(fs::exists(course_ / "quests_fix.dbf"));
  ASSERT_EQ(BoxTexts().size(), 1u);
  EXPECT_NE(BoxTexts()[0].find((course_ / "quests_fix_1.dbf").string()), std::string::npos);

  // Once more: the first aside name is taken, the next one is used.
  fs::copy_file(course_ / "quests_fix_1.dbf", course_ / "quests_fix.dbf");
  CountAbove65535(dbf);
  const xbase::Data4 again = OpenTable(dbf.string());
  ASSERT_NE(again, 0);
  xbase::d4close(again);
  EXPECT_EQ(ReadBytes(course_ / "quests_fix_2.dbf"), earlier);
  EXPECT_EQ(ReadBytes(course_ / "quests_fix_1.dbf"), earlier);
}

// The debug log says when a repair kept fewer records than the header claimed.
TEST_F(RepairTest, FewerRecordsThanClaimedAreLogged) {
  const fs::path dbf = Prepare("users");
  InitDebugLog();  // in this test's folder
  SetDebugLogSwitch(true);
  Damage(dbf, [](auto& b) {
    b.resize(RecordsEnd(b) - 2 * RecordLength(b));  // two records gone, the count still 120
  });
  const xbase::Data4 data = OpenTable(dbf.string());
  ASSERT_NE(data, 0);
  xbase::d4close(data);
  SetDebugLogSwitch(false);
  std::ifstream in(DebugLogName());
  const std::string log((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_NE(log.find("the header claimed 120 records; 118 were read"), std::string::npos) << log;
}

// A run killed at any step of a repair leaves a table that the next open makes
// whole, with every row.
TEST_F(RepairTest, ARepairKilledAtAnyStepIsMadeWholeByTheNextOpen) {
  for (const char* step : {"fix copy written", "rebuilt table written", "old data file removed",
                           "memo file replaced", "index replaced", "table replaced"}) {
    SCOPED_TRACE(step);
    const fs::path dbf = Prepare("quests");
    CountAbove65535(dbf);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      SetRepairStepHook([step](const std::string& name) {
        if (name == step) raise(SIGKILL);
      });
      OpenTable(dbf.string(), 0, false, true);
      _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));
    const xbase::Data4 data = OpenTable(dbf.string());
    ASSERT_NE(data, 0);
    EXPECT_EQ(LiveRecords(data), AsCopied(Fixtures() / "quests.dbf"));
    xbase::d4close(data);
    // Fix files stay only as copies: moved aside by the next repair, or, killed just
    // after the table was replaced, beside the whole table.
    for (const auto& entry : fs::directory_iterator(course_)) {
      const std::string name = entry.path().filename().string();
      EXPECT_EQ(name.find("_new"), std::string::npos) << name;
      if (name.find("_fix") != std::string::npos && std::string(step) != "table replaced") {
        EXPECT_NE(name.find("_fix_1"), std::string::npos) << name;
      }
    }
    for (const auto& entry : fs::directory_iterator(course_)) fs::remove(entry.path());
  }
}

}  // namespace
}  // namespace tolvarin
