#include "data/table_registry.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "core/console_presenter.h"
#include "core/settings.h"
#include "core/terminate.h"
#include "data/codebase.h"
#include "data/database_helper.h"
#include "data/table_catalogue.h"
#include "table_fixture.h"

namespace fs = std::filesystem;

namespace tolvarin {
namespace {

class TableRegistryTest : public tolvarin_test::TableFolderTest {
 protected:
  void SetUp() override {
    TableFolderTest::SetUp();
    for (const char* table : {"quests", "descript", "exams", "examques", "sessions", "classes"})
      CopyFixture(table, course_);
    for (const char* table : {"users", "userpermissions", "printopt", "students"}) CopyFixture(table, brand_);
    CreateTable(course_ / "quespval.dbf", {"quest_id:C:7", "p_value:N:8", "weight:N:8"}, {"quest_id=quest_id"});
  }
  static std::string Upper(const fs::path& path) {
    std::string text = path.string();
    for (auto& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
  }
};

TEST(TableCatalogue, CourseTablesAndKeyNames) {
  for (const char* name : {"classes", "StudentClass", "SESSIONS", "sesquests", "sesresults", "standard", "stanques",
                           "quespval", "gbschoolexams", "actclass", "mathactivities", "templates", "quests", "exams",
                           "examques", "examquests", "descript", "questype"})
    EXPECT_EQ(IsCourseTable(name), 1) << name;
  for (const char* name : {"students", "users", "userpermissions", "attributes", "memoattributes", "charattributes",
                           "enumattributes", "enumvalues", "printopt", "exiles", ""})
    EXPECT_EQ(IsCourseTable(name), 0) << name;

  const std::pair<const char*, const char*> keys[] = {
      {"users", "user_id"},       {"UserPermissions", "user_id"}, {"quests", "quest_id"},
      {"questype", "quest_id"},   {"classes", "class_id"},        {"students", "student_id"},
      {"descript", "descriptid"}, {"sessions", "session_id"},     {"sesquests", "sesques_id"},
      {"sesresults", "sesquesstu"}, {"standard", "StandardID"},   {"stanques", "stanquesid"},
      {"studentclass", "clst_id"}, {"templates", "TemplateID"},   {"exams", "exam_id"},
      {"examques", "exam_q_id"},  {"gbschoolexams", "sc_exam_id"}, {"mathactivities", "activityid"},
      {"actclass", "activityid"}, {"printopt", ""},               {"attributes", ""}};
  for (const auto& [table, key] : keys) EXPECT_EQ(TableKeyFieldName(table), key) << table;
}

TEST_F(TableRegistryTest, AnOpenCatalogueRecordAnswersWithoutOpeningAnything) {
  OpenQuestsTable(course_.string(), Catalogue().Quests);
  const TableRef first = GetTableRef("QUESTS", "");
  const TableRef second = GetTableRef("quests", course_.string());
  EXPECT_EQ(first.Data, Catalogue().Quests.Data);
  EXPECT_EQ(second.Data, first.Data);
  EXPECT_EQ(first.KeyTag, Catalogue().Quests.Quest_idTag);
  EXPECT_EQ(first.TableName, "QUESTS");
  EXPECT_EQ(RegistryEntries().size(), 1u);  // only the unused slot 0
}

TEST_F(TableRegistryTest, QuesPValAlwaysComesFromTheRegistry) {
  const TableRef ref = GetTableRef("QUESPVAL", "");
  ASSERT_NE(ref.Data, 0);
  EXPECT_EQ(ref.Location, 1);
  EXPECT_EQ(ref.TableName, "QUESPVAL");
  EXPECT_EQ(ref.FilePath, Upper(course_ / "quespval.dbf"));
  EXPECT_EQ(TableFileTitle(ref), "quespval");
  EXPECT_EQ(TableFolder(ref), course_.string());
  EXPECT_EQ(RegistryIndexOf(Upper(course_ / "quespval.dbf")), 1);
  EXPECT_EQ(GetTableRef("quespval", "").Data, ref.Data);  // reused
  EXPECT_EQ(RegistryEntries().size(), 2u);
}

TEST_F(TableRegistryTest, AClosedCatalogueRecordSendsTheNameToItsHomeFolder) {
  const TableRef printopt = GetTableRef("PRINTOPT", "");
  ASSERT_NE(printopt.Data, 0);
  EXPECT_EQ(printopt.Location, 0);
  EXPECT_EQ(TableFolder(printopt), brand_.string());
  EXPECT_EQ(printopt.KeyTag, 0);  // printopt has no key name in the catalogue
  const TableRef users = GetTableRef("users", "");
  EXPECT_EQ(TableFolder(users), brand_.string());
  EXPECT_NE(users.KeyTag, 0);
  EXPECT_EQ(xbase::f4name(users.KeyField), "USER_ID");
  const TableRef exams = GetTableRef("exams", "");
  EXPECT_EQ(TableFolder(exams), course_.string());
  EXPECT_EQ(exams.Location, 1);
}

TEST_F(TableRegistryTest, ACompositeKeyBindsTheTagButNoField) {
  CopyFixture("sesresults", course_);
  const TableRef ref = GetTableRef("sesresults", course_.string());
  ASSERT_NE(ref.Data, 0);
  EXPECT_NE(ref.KeyTag, 0);
  EXPECT_EQ(ref.KeyField, 0);
}

TEST_F(TableRegistryTest, ClosingARegistryTableReopensItUnderANewIndex) {
  TableRef ref = GetTableRef("quespval", "");
  const xbase::Data4 first = ref.Data;
  CloseTable(ref.Data);
  EXPECT_EQ(ref.Data, 0);
  EXPECT_EQ(RegistryEntries()[1].Data, 0);
  EXPECT_EQ(RegistryEntries()[1].FilePath, "");
  const TableRef again = GetTableRef("quespval", "");
  EXPECT_NE(again.Data, 0);
  EXPECT_NE(again.Data, first);
  EXPECT_EQ(RegistryEntries().size(), 3u);
  EXPECT_EQ(RegistryIndexOf(Upper(course_ / "quespval.dbf")), 2);
  xbase::Data4 none = 0;
  CloseTable(none);  // nothing happens
}

TEST_F(TableRegistryTest, ClosingACatalogueTableClosesItsRecord) {
  OpenUsersTable(brand_.string(), Catalogue().Users);
  xbase::Data4 data = Catalogue().Users.Ref.Data;
  CloseTable(data);
  EXPECT_EQ(Catalogue().Users.Data, 0);
  EXPECT_EQ(Catalogue().Users.Ref.Data, 0);
  // Asked again, the table comes from the registry.
  EXPECT_NE(GetTableRef("users", "").Data, 0);
  EXPECT_EQ(RegistryEntries().size(), 2u);
}

TEST_F(TableRegistryTest, AnUnknownNameIsAnInvalidTable) {
  const TableRef ref = GetTableRef("exiles", "");
  EXPECT_EQ(ref.Data, 0);
  EXPECT_EQ(ref.TableName, "");
  ASSERT_EQ(BoxTexts().size(), 1u);
  EXPECT_EQ(BoxTexts()[0], "Invalid Table");
  EXPECT_EQ(presenter_->Shown()[0].box.icon, kIconStop);
  // With another folder the registry opens it.
  CopyFixture("exiles", brand_);
  EXPECT_NE(GetTableRef("exiles", brand_.string()).Data, 0);
}

TEST_F(TableRegistryTest, FieldAndTagQueries) {
  const TableRef quests = GetTableRef("quests", course_.string());
  EXPECT_TRUE(HasField(quests.Data, "answer5pct"));
  EXPECT_TRUE(HasField(quests.Data, "QUEST_ID"));
  EXPECT_FALSE(HasField(quests.Data, "quest"));
  EXPECT_FALSE(HasField(0, "quest_id"));
  EXPECT_TRUE(TagExists(quests.Data, "quest_id"));
  EXPECT_FALSE(TagExists(quests.Data, ""));
  EXPECT_FALSE(TagExists(quests.Data, "question"));
  EXPECT_EQ(xbase::f4name(GetFieldChecked(quests, "essay")), "ESSAY");
  EXPECT_NE(GetTagChecked(quests, "SubTopicID"), 0);
}

TEST_F(TableRegistryTest, AMissingFieldStopsTheRunAsNotUpToDate) {
  const TableRef quests = GetTableRef("quests", course_.string());
  EXPECT_EXIT(
      {
        SetPresenter(std::make_unique<ConsolePresenter>());
        SetTerminateCleanup([] { CloseCodeBase(); });
        GetFieldChecked(quests, "MaxAnswerImages");
      },
      ::testing::ExitedWithCode(kTerminateStatus),
      "It appears your databases are not up to date\\. Please call 1-888-CORVANE for assistance\\.(.|\r|\n)*"
      "Table: QUESTS does not have the field MaxAnswerImages\\.(.|\r|\n)*QUEST_ID\\|SUBTOPICID\\|");
  EXPECT_EXIT(
      {
        SetPresenter(std::make_unique<ConsolePresenter>());
        SetTerminateCleanup([] { CloseCodeBase(); });
        GetTagChecked(quests, "NoSuchTag");
      },
      ::testing::ExitedWithCode(kTerminateStatus),
      "It appears your databases are not up to date(.|\r|\n)*Table: QUESTS does not have the tag NoSuchTag\\.");
}

TEST_F(TableRegistryTest, QuestAnswerCountFollowsTheQuestsTable) {
  EXPECT_EQ(QuestAnswerCount(), 5);
  const fs::path other = temp_.path() / "Other";
  CreateTable(other / "quests.dbf", {"quest_id:C:7", "answer1pct:C:7", "answer4pct:C:7"}, {"quest_id=quest_id"});
  Paths().CoursePath = other.string();
  ResetRegistryKeys();
  EXPECT_EQ(QuestAnswerCount(), 4);
}

TEST_F(TableRegistryTest, FindRecordByKeyLeavesTheFoundRowCurrent) {
  OpenQuestsTable(course_.string(), Catalogue().Quests);
  const xbase::Data4 data = Catalogue().Quests.Data;
  std::string key;
  for (long recno = 7; key.find_first_not_of(' ') == std::string::npos && recno < 120; ++recno) {
    xbase::d4go(data, recno);
    key = xbase::f4str(Catalogue().Quests.Quest_id);
  }
  xbase::d4go(data, 1);
  EXPECT_TRUE(FindRecordByKey("quests", key));
  EXPECT_EQ(DbHelper().FieldValStr("quest_id"), key.substr(0, key.find_last_not_of(' ') + 1));
  EXPECT_FALSE(FindRecordByKey("quests", "no such"));
  DbHelper().EndSeek();
}

}  // namespace
}  // namespace tolvarin
