#include "data/id_ranges.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/settings.h"
#include "data/codebase.h"
#include "data/table_registry.h"
#include "support/test_support.h"

namespace tolvarin {
namespace {

class OfficeModeGuard {
 public:
  explicit OfficeModeGuard(int mode) : saved_(Settings().OfficeMode) { Settings().OfficeMode = mode; }
  ~OfficeModeGuard() { Settings().OfficeMode = saved_; }

 private:
  int saved_;
};

void EnsureEngine() {
  if (Engine().EngineHandle == 0) InitCodeBase();
}

// A table with one seven-digit identifier field and its tag, holding the given ids.
class IdTable {
 public:
  IdTable(const std::string& tableName, const std::vector<int>& ids) {
    EnsureEngine();
    data_ = xbase::d4create(Engine().EngineHandle, (dir_.path() / "ids.dbf").string(),
                            {{"ITEM_ID", 'C', 7, 0, 0}, {"NAME", 'C', 10, 0, 0}},
                            {{"ITEM_ID", "item_id", "", xbase::kUniqueNone, 0}});
    EXPECT_NE(data_, 0);
    ref_.TableName = tableName;
    ref_.Data = data_;
    ref_.KeyField = xbase::d4field(data_, "item_id");
    ref_.KeyTag = xbase::d4tag(data_, "item_id");
    for (int id : ids) {
      xbase::d4appendStart(data_);
      xbase::d4blank(data_);
      char text[16];
      std::snprintf(text, sizeof text, "%07d", id);
      xbase::f4assign(ref_.KeyField, text);
      EXPECT_EQ(xbase::d4append(data_), 0);
    }
  }
  ~IdTable() { xbase::d4close(data_); }
  const TableRef& Ref() const { return ref_; }

 private:
  testing_support::TempDir dir_;
  xbase::Data4 data_ = 0;
  TableRef ref_;
};

TEST(IdRanges, WindowByTableNameInAnyCase) {
  InitIdRanges();
  OfficeModeGuard office(0);
  const IdRange publisher{1, 18999}, custom{20000, 29999}, users{1, 999}, classes{1, 99999};
  const struct {
    const char* name;
    IdRange expected;
  } cases[] = {
      {"users", users},         {"Users", users},         {"USERS", users},       {"classes", classes},
      {"Classes", classes},     {"PRINTOPT", publisher},  {"templates", publisher}, {"STANDARD", publisher},
      {"stanques", publisher},  {"", publisher},          {"quests", custom},     {"Descript", custom},
      {"EXAMS", custom},        {"examques", custom},     {"ExamQues", custom},   {"QUESTYPE", publisher},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(GetIdRange(c.name), c.expected) << c.name;
  }
}

TEST(IdRanges, QuestionWindowFollowsOfficeModeAtEachCall) {
  InitIdRanges();
  {
    OfficeModeGuard office(1);
    EXPECT_EQ(GetQuestionIDRange(), (IdRange{1, 18999}));
    EXPECT_EQ(GetIdRange("QUESTS"), (IdRange{1, 18999}));
    EXPECT_EQ(GetIdRange("users"), (IdRange{1, 999}));
  }
  OfficeModeGuard office(0);
  EXPECT_EQ(GetQuestionIDRange(), (IdRange{20000, 29999}));
  EXPECT_EQ(GetIdRange("exams"), (IdRange{20000, 29999}));
}

TEST(IdRanges, NewRecordKeyComesFromTheTablesWindow) {
  InitIdRanges();
  const struct {
    const char* table;
    int officeMode;
    std::vector<int> ids;
    const char* expected;
  } cases[] = {
      // A custom-window table whose rows all lie below the window starts at its first identifier.
      {"QUESTS", 0, {5, 18000}, "0020000"},
      {"QUESTS", 0, {5, 20005, 20010, 30500}, "0020011"},
      {"quests", 1, {5, 20005}, "0000006"},
      {"EXAMS", 0, {}, "0020000"},
      {"USERS", 0, {}, "0000001"},
      {"USERS", 0, {3, 17, 1200}, "0000018"},
      {"CLASSES", 0, {100000}, "0000001"},
      {"PRINTOPT", 0, {1, 2, 19000}, "0000003"},
      // The window's last identifier in use: the lowest free one below it.
      {"USERS", 0, {3, 999}, "0000001"},
      {"USERS", 0, {1, 999}, "0000002"},
      {"USERS", 0, {1, 2, 2, 3, 5, 999}, "0000004"},
      {"QUESTS", 0, {20000, 20001, 29999, 30000}, "0020002"},
  };
  for (const auto& c : cases) {
    OfficeModeGuard office(c.officeMode);
    IdTable table(c.table, c.ids);
    EXPECT_EQ(GetNewRecordKey(table.Ref()), c.expected) << c.table << " with " << c.ids.size() << " rows";
  }
}

// A full window hands out nothing rather than an identifier in use.
TEST(IdRanges, AFullWindowGivesNoKey) {
  InitIdRanges();
  OfficeModeGuard office(0);
  std::vector<int> ids;
  for (int id = 1; id <= 999; ++id) ids.push_back(id);
  IdTable full("USERS", ids);
  EXPECT_EQ(GetNewRecordKey(full.Ref()), "");
  EXPECT_EQ(GetNewRecordKeyInRange(full.Ref(), IdRange{5, 7}), "");
  EXPECT_EQ(GetNewRecordKeyInRange(full.Ref(), IdRange{5, 1200}), "0001000");
}

TEST(IdRanges, NewRecordKeyKeepsTheCurrentRecord) {
  InitIdRanges();
  OfficeModeGuard office(0);
  IdTable table("QUESTS", {20001, 20002, 7});
  const xbase::Data4 data = table.Ref().Data;
  ASSERT_EQ(xbase::d4go(data, 3), 0);
  EXPECT_EQ(GetNewRecordKey(table.Ref()), "0020003");
  EXPECT_EQ(xbase::d4recNo(data), 3);
  EXPECT_EQ(xbase::f4str(table.Ref().KeyField), "0000007");
}

TEST(IdRanges, NewRecordKeysOnTablesWrittenByAnotherProgram) {
  InitIdRanges();
  OfficeModeGuard office(0);
  testing_support::TempDir dir;
  testing_support::CopyFolder(testing_support::SharedDir() / "fixtures/xbase/peer-made", dir.path());
  EnsureEngine();
  // Every user and question identifier there lies above the windows.
  TableRef users = GetTableRef("users", dir.str());
  ASSERT_NE(users.Data, 0);
  ASSERT_NE(users.KeyTag, 0);
  EXPECT_EQ(GetNewRecordKey(users), "0000001");
  TableRef quests = GetTableRef("quests", dir.str());
  ASSERT_NE(quests.Data, 0);
  EXPECT_EQ(GetNewRecordKey(quests), "0020000");
  CloseTable(users.Data);
  CloseTable(quests.Data);
}

TEST(IdRanges, UserLevelIsZeroUntilTheLoginSetsIt) {
  EXPECT_EQ(UserAccessLevel(), 0);
  SetUserAccessLevel(1);
  EXPECT_EQ(UserAccessLevel(), 1);
  SetUserAccessLevel(2);
  EXPECT_EQ(UserAccessLevel(), 2);
  SetUserAccessLevel(0);
}

}  // namespace
}  // namespace tolvarin
