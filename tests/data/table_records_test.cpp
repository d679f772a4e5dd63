#include "data/table_records.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "data/codebase.h"
#include "data/table_catalogue.h"
#include "table_fixture.h"

namespace fs = std::filesystem;

namespace tolvarin {
namespace {

class TableRecordsTest : public tolvarin_test::TableFolderTest {
 protected:
  void SetUp() override {
    TableFolderTest::SetUp();
    for (const auto& entry : fs::directory_iterator(Fixtures())) {
      if (entry.path().extension() == ".dbf") CopyFixture(entry.path().stem().string(), course_);
    }
  }
  // The name of the field a handle stands for, "" for 0.
  static std::string NameOf(Field4 field) { return field == 0 ? "" : xbase::f4name(field); }
  static std::string TagNameOf(Tag4 tag) { return tag == 0 ? "" : xbase::t4name(tag); }
  template <typename Record>
  static void ExpectHeader(const Record& r, Field4 keyField, Tag4 keyTag) {
    EXPECT_NE(r.Data, 0);
    EXPECT_EQ(r.Ref.Data, r.Data);
    EXPECT_EQ(r.Ref.KeyField, keyField);
    EXPECT_EQ(r.Ref.KeyTag, keyTag);
    EXPECT_EQ(xbase::d4tagSelected(r.Data), 0);  // natural order
  }
  static void ExpectFields(const std::vector<Field4>& handles, const std::vector<std::string>& names) {
    ASSERT_EQ(handles.size(), names.size());
    for (std::size_t i = 0; i < handles.size(); ++i) EXPECT_EQ(NameOf(handles[i]), names[i]) << i;
  }
  static void ExpectTags(const std::vector<Tag4>& handles, const std::vector<std::string>& names) {
    ASSERT_EQ(handles.size(), names.size());
    for (std::size_t i = 0; i < handles.size(); ++i) EXPECT_EQ(TagNameOf(handles[i]), names[i]) << i;
  }
  std::string Course() const { return course_.string(); }
};

TEST_F(TableRecordsTest, QuestsAndDescriptBindEveryMember) {
  QuestsRecord q;
  OpenQuestsTable(Course(), q);
  ExpectHeader(q, q.Quest_id, q.Quest_idTag);
  EXPECT_EQ(q.Ref.TableName, "QUESTS");
  EXPECT_EQ(q.AnswerCount, 5);
  ExpectFields({q.Quest_id, q.SubTopicID, q.Difficulty, q.User_ID, q.DescriptID, q.Table_id, q.Question, q.Exam_ID,
                q.Essay, q.Answer1, q.Answer2, q.Answer3, q.Answer4, q.Answer5, q.Answer1Pct, q.Answer2Pct,
                q.Answer3Pct, q.Answer4Pct, q.Answer5Pct, q.CorrectAns, q.BlockView},
               {"QUEST_ID", "SUBTOPICID", "DIFFICULTY", "USER_ID", "DESCRIPTID", "TABLE_ID", "QUESTION", "EXAM_ID",
                "ESSAY", "ANSWER1", "ANSWER2", "ANSWER3", "ANSWER4", "ANSWER5", "ANSWER1PCT", "ANSWER2PCT",
                "ANSWER3PCT", "ANSWER4PCT", "ANSWER5PCT", "CORRECTANS", "BLOCKVIEW"});
  ExpectTags({q.Quest_idTag, q.SubTopicIDTag, q.DescriptIDTag, q.EssayTag, q.DifficultyTag, q.User_IDTag},
             {"QUEST_ID", "SUBTOPICID", "DESCRIPTID", "ESSAY", "DIFFICULTY", "USER_ID"});
  EXPECT_EQ(q.AnswerPctField(5), q.Answer5Pct);
  EXPECT_EQ(q.AnswerField(1), q.Answer1);
  EXPECT_EQ(q.AnswerField(6), 0);

  DescriptRecord d;
  OpenDescriptTable(Course(), d);
  ExpectHeader(d, d.DescriptID, d.DescriptIDTag);
  EXPECT_EQ(d.Ref.TableName, "DESCRIPT");
  ExpectFields({d.DescriptID, d.Descript, d.Image_id, d.PicturePos}, {"DESCRIPTID", "DESCRIPT", "IMAGE_ID", "PICTUREPOS"});
  ExpectTags({d.DescriptIDTag}, {"DESCRIPTID"});
  CloseTableRecord(q);
  CloseTableRecord(d);
  EXPECT_EQ(q.Data, 0);
  EXPECT_EQ(q.Quest_id, 0);
}

TEST_F(TableRecordsTest, QuestsWithFourAnswersLeaveTheFifthPictureUnbound) {
  const fs::path other = temp_.path() / "four";
  CreateTable(other / "quests.dbf",
              {"quest_id:C:7", "answer1:M:10", "answer5:M:10", "answer1pct:C:7", "answer4pct:C:7"},
              {"quest_id=quest_id"});
  QuestsRecord q;
  OpenQuestsTable(other.string(), q);
  EXPECT_EQ(q.AnswerCount, 4);
  EXPECT_EQ(q.Answer5Pct, 0);
  EXPECT_NE(q.Answer4Pct, 0);
  EXPECT_NE(q.Answer5, 0);
  EXPECT_EQ(q.SubTopicID, 0);
  CloseTableRecord(q);
}

TEST_F(TableRecordsTest, ExamTablesBindEveryMember) {
  ExamsRecord e;
  OpenExamsTable(Course(), e);
  ExpectHeader(e, e.Exam_id, e.Exam_idTag);
  EXPECT_EQ(e.Ref.TableName, "exams");
  ExpectFields({e.Exam_id, e.User_id, e.Unit_id, e.Date, e.Name, e.BlockView, e.Print_ID},
               {"EXAM_ID", "USER_ID", "UNIT_ID", "DATE", "NAME", "BLOCKVIEW", "PRINT_ID"});
  ExpectTags({e.Exam_idTag, e.User_idTag, e.Unit_idTag, e.UserUnitIDTag, e.DateTag, e.NameTag, e.Name_DateTag,
              e.Print_IDTag},
             {"EXAM_ID", "USER_ID", "UNIT_ID", "USERUNITID", "DATE", "NAME", "NAME_DATE", "PRINT_ID"});
  ExamQuesRecord q;
  OpenExamQuesTable(Course(), q);
  ExpectHeader(q, q.Exam_Q_id, q.Exam_Q_idTag);
  EXPECT_EQ(q.Ref.TableName, "examques");
  ExpectFields({q.Exam_Q_id, q.Exam_id, q.Quest_id, q.Quest_Num, q.AnsOrder, q.AnsOpt, q.Version},
               {"EXAM_Q_ID", "EXAM_ID", "QUEST_ID", "QUEST_NUM", "ANSORDER", "ANSOPT", "VERSION"});
  ExpectTags({q.Exam_Q_idTag, q.Exam_idTag, q.Quest_idTag, q.Exam_QuestTag},
             {"EXAM_Q_ID", "EXAM_ID", "QUEST_ID", "EXAM_QUEST"});
  CloseTableRecord(e);
  CloseTableRecord(q);
}

TEST_F(TableRecordsTest, BrandTablesBindEveryMember) {
  UsersRecord u;
  OpenUsersTable(Course(), u);
  ExpectHeader(u, u.User_ID, u.User_IDTag);
  ExpectFields({u.User_ID, u.User_Name, u.Password, u.Edit_Pswd}, {"USER_ID", "USER_NAME", "PASSWORD", "EDIT_PSWD"});
  ExpectTags({u.User_IDTag, u.User_NameTag, u.User_PswdTag}, {"USER_ID", "USER_NAME", "USER_PSWD"});
  UserPermissionsRecord p;
  OpenUserPermissionsTable(Course(), p);
  ExpectHeader(p, p.User_ID, p.User_IDTag);
  ExpectFields({p.User_ID, p.Perm_Type, p.Perm_ID}, {"USER_ID", "PERM_TYPE", "PERM_ID"});
  ExpectTags({p.User_IDTag, p.UserPermTag}, {"USER_ID", "USERPERM"});
  PrintOptRecord o;
  OpenPrintOptTable(Course(), o);
  ExpectHeader(o, o.Print_ID, o.Print_idTag);
  ExpectFields({o.Print_ID, o.User_ID, o.Descript, o.Default, o.Xml}, {"PRINT_ID", "USER_ID", "DESCRIPT", "DEFAULT", "XML"});
  ExpectTags({o.Print_idTag, o.User_IDTag, o.DescriptTag, o.DefaultTag}, {"PRINT_ID", "USER_ID", "DESCRIPT", "DEFAULT"});
  TemplatesRecord t;
  OpenTemplatesTable(Course(), t);
  ExpectHeader(t, t.TemplateID, t.TemplateIDTag);
  ExpectFields({t.Blob, t.TemplateID, t.Area_id, t.Course_id, t.User_id, t.Comment, t.Name},
               {"BLOB", "TEMPLATEID", "AREA_ID", "COURSE_ID", "USER_ID", "COMMENT", "NAME"});
  ExpectTags({t.TemplateIDTag, t.Area_idTag, t.User_idTag, t.UserCourseTag},
             {"TEMPLATEID", "AREA_ID", "USER_ID", "USERCOURSE"});
  for (auto* data : {&u.Data, &p.Data, &o.Data, &t.Data}) CloseTable(*data);
}

TEST_F(TableRecordsTest, ClassesWithoutYearBindOnlyIdentifiersAndSection) {
  ClassesRecord c;
  OpenClassesTable(Course(), c);
  ExpectHeader(c, c.Class_id, c.Class_idTag);
  ExpectFields({c.Class_id, c.User_id, c.Section}, {"CLASS_ID", "USER_ID", "SECTION"});
  for (Field4 unbound : {c.Period, c.Semester, c.Year, c.Block, c.Grade, c.Variation}) EXPECT_EQ(unbound, 0);
  ExpectTags({c.Class_idTag, c.User_idTag}, {"CLASS_ID", "USER_ID"});
  CloseTableRecord(c);

  const fs::path full = temp_.path() / "full";
  CreateTable(full / "classes.dbf",
              {"class_id:C:7", "user_id:C:7", "period:C:7", "semester:C:7", "year:C:4", "block:C:7",
               "section:C:64", "grade:C:7", "variation:C:7"},
              {"class_id=class_id", "user_id=user_id"});
  OpenClassesTable(full.string(), c);
  ExpectFields({c.Class_id, c.User_id, c.Period, c.Semester, c.Year, c.Block, c.Section, c.Grade, c.Variation},
               {"CLASS_ID", "USER_ID", "PERIOD", "SEMESTER", "YEAR", "BLOCK", "SECTION", "GRADE", "VARIATION"});
  CloseTableRecord(c);
}

TEST_F(TableRecordsTest, StudentsBindTheNameFieldWhenFirstNameIsMissing) {
  StudentsRecord s;
  OpenStudentsTable(Course(), s);
  ExpectHeader(s, s.Student_id, s.Student_idTag);
  ExpectFields({s.Student_id, s.First_name, s.Last_name, s.Class_id, s.Studen_num, s.Remote_num, s.Password},
               {"STUDENT_ID", "FIRST_NAME", "LAST_NAME", "CLASS_ID", "STUDEN_NUM", "REMOTE_NUM", "PASSWORD"});
  ExpectTags({s.Student_idTag, s.Remote_numTag, s.Class_idTag}, {"STUDENT_ID", "REMOTE_NUM", "CLASS_ID"});
  CloseTableRecord(s);

  const fs::path old = temp_.path() / "old";
  CreateTable(old / "students.dbf", {"student_id:C:7", "name:C:32", "class_id:C:7"}, {"student_id=student_id"});
  OpenStudentsTable(old.string(), s);
  EXPECT_EQ(s.First_name, 0);
  EXPECT_EQ(NameOf(s.Last_name), "NAME");
  EXPECT_EQ(s.Password, 0);
  EXPECT_EQ(s.Remote_numTag, 0);
  CloseTableRecord(s);
}

TEST_F(TableRecordsTest, SessionTablesBindTheirOptionalMembersWhenPresent) {
  SessionsRecord s;
  OpenSessionsTable(Course(), s);
  ExpectHeader(s, s.Session_id, s.Session_idTag);
  ExpectFields({s.Session_id, s.Name, s.DateTime, s.Area, s.Type}, {"SESSION_ID", "NAME", "DATETIME", "AREA", "TYPE"});
  ExpectTags({s.Session_idTag, s.DateTimeTag, s.NameTag, s.TypeTag, s.AreaTag},
             {"SESSION_ID", "DATETIME", "NAME", "TYPE", "AREA"});
  CloseTableRecord(s);
  const fs::path old = temp_.path() / "old";
  CreateTable(old / "sessions.dbf", {"session_id:C:7", "name:C:50", "datetime:C:12"}, {"session_id=session_id"});
  OpenSessionsTable(old.string(), s);
  EXPECT_NE(s.Session_id, 0);
  for (Field4 unbound : {s.Area, s.Type}) EXPECT_EQ(unbound, 0);
  for (Tag4 unbound : {s.TypeTag, s.AreaTag, s.NameTag}) EXPECT_EQ(unbound, 0);
  CloseTableRecord(s);

  SesQuestsRecord q;
  OpenSesQuestsTable(Course(), q);
  ExpectHeader(q, q.SesQues_id, q.SesQues_idTag);
  ExpectFields({q.Session_id, q.Quest_id, q.Answ_order, q.SesQues_id, q.Order, q.Version},
               {"SESSION_ID", "QUEST_ID", "ANSW_ORDER", "SESQUES_ID", "ORDER", "VERSION"});
  ExpectTags({q.Quest_idTag, q.Session_idTag, q.SesQues_idTag, q.SesVerQuesTag},
             {"QUEST_ID", "SESSION_ID", "SESQUES_ID", "SESVERQUES"});
  SesResultsRecord r;
  OpenSesResultsTable(Course(), r);
  ExpectHeader(r, 0, 0);
  ExpectFields({r.SesQues_id, r.Student_id, r.Answer, r.Time}, {"SESQUES_ID", "STUDENT_ID", "ANSWER", "TIME"});
  ExpectTags({r.SesQues_idTag, r.Student_idTag, r.SesQuesStuTag}, {"SESQUES_ID", "STUDENT_ID", "SESQUESSTU"});
  CloseTableRecord(q);
  CloseTableRecord(r);
}

TEST_F(TableRecordsTest, QuesTypeBindsTaxonomyOnlyWhenTheTableHasIt) {
  QuesTypeRecord t;
  OpenQuesTypeTable(Course(), t);
  ExpectHeader(t, t.Quest_id, t.Quest_idTag);
  ExpectFields({t.Quest_id, t.Type, t.Media_type, t.Taxonomy}, {"QUEST_ID", "TYPE", "MEDIA_TYPE", "TAXONOMY"});
  ExpectTags({t.Quest_idTag, t.TypeTag, t.TaxonomyTag}, {"QUEST_ID", "TYPE", "TAXONOMY"});
  CloseTableRecord(t);
  const fs::path old = temp_.path() / "old";
  CreateTable(old / "questype.dbf", {"quest_id:C:7", "type:N:2", "media_type:N:2"},
              {"quest_id=quest_id", "type=type", "taxonomy=type"});
  OpenQuesTypeTable(old.string(), t);
  EXPECT_EQ(t.Taxonomy, 0);
  EXPECT_EQ(t.TaxonomyTag, 0);  // not bound although a tag of that name exists
  EXPECT_NE(t.TypeTag, 0);
  CloseTableRecord(t);
}

TEST_F(TableRecordsTest, StandardsTablesAndStudentClassUseCompositeKeyTags) {
  StandardRecord s;
  OpenStandardTable(Course(), "", s);
  ExpectHeader(s, 0, s.StandardIDTag);
  ExpectFields({s.Tree_id, s.Node_id, s.Parent_id, s.Descript, s.Order},
               {"TREE_ID", "NODE_ID", "PARENT_ID", "DESCRIPT", "ORDER"});
  ExpectTags({s.Tree_idTag, s.Node_idTag, s.Parent_idTag, s.StandardIDTag, s.TreePrntIDTag},
             {"TREE_ID", "NODE_ID", "PARENT_ID", "STANDARDID", "TREEPRNTID"});
  // A second standards table under another name, open at the same time.
  fs::copy_file(course_ / "standard.dbf", course_ / "state.dbf");
  fs::copy_file(course_ / "standard.cdx", course_ / "state.cdx");
  StandardRecord other;
  OpenStandardTable(Course(), "state.dbf", other);
  EXPECT_NE(other.Data, 0);
  EXPECT_NE(other.Data, s.Data);
  EXPECT_NE(xbase::d4recCount(s.Data), -1);
  CloseTableRecord(other);
  CloseTableRecord(s);

  StanQuesRecord q;
  OpenStanQuesTable(Course(), q);
  ExpectHeader(q, 0, q.StanQuesIDTag);
  ExpectFields({q.Tree_id, q.Node_id, q.Quest_id}, {"TREE_ID", "NODE_ID", "QUEST_ID"});
  ExpectTags({q.Tree_idTag, q.Node_idTag, q.Quest_idTag, q.StandardIDTag, q.TreeQuesIDTag, q.StanQuesIDTag},
             {"TREE_ID", "NODE_ID", "QUEST_ID", "STANDARDID", "TREEQUESID", "STANQUESID"});
  CloseTableRecord(q);

  CreateTable(course_ / "studentclass.dbf", {"class_id:C:7", "student_id:C:7"},
              {"class_id=class_id", "student_id=student_id", "clst_id=class_id+student_id"});
  StudentClassRecord c;
  OpenStudentClassTable(Course(), c);
  ExpectHeader(c, 0, c.Clst_idTag);
  ExpectFields({c.Class_id, c.Student_id}, {"CLASS_ID", "STUDENT_ID"});
  ExpectTags({c.Class_idTag, c.Student_idTag, c.Clst_idTag}, {"CLASS_ID", "STUDENT_ID", "CLST_ID"});
  CloseTableRecord(c);
}

TEST_F(TableRecordsTest, AttributeTablesBindWithoutAHeader) {
  AttributesRecord a;
  OpenAttributesTable(Course(), a);
  EXPECT_NE(a.Data, 0);
  ExpectFields({a.Attr_key, a.Name, a.Type}, {"ATTR_KEY", "NAME", "TYPE"});
  ExpectTags({a.Attr_keyTag, a.NameTag}, {"ATTR_KEY", "NAME"});
  CloseTableRecord(a);
  using Opener = void (*)(const std::string&, AttributeValuesRecord&);
  for (Opener open : {Opener{OpenMemoAttributesTable}, Opener{OpenCharAttributesTable},
                      Opener{OpenEnumAttributesTable}}) {
    AttributeValuesRecord v;
    open(Course(), v);
    EXPECT_NE(v.Data, 0);
    ExpectFields({v.Table_name, v.Table_id, v.Attr_key, v.Attr_value},
                 {"TABLE_NAME", "TABLE_ID", "ATTR_KEY", "ATTR_VALUE"});
    ExpectTags({v.Table_nameTag, v.RowTag, v.Attr_keyTag, v.PrimaryKeyTag},
               {"TABLE_NAME", "ROW", "ATTR_KEY", "PRIMARYKEY"});
    CloseTableRecord(v);
  }
  EnumValuesRecord e;
  OpenEnumValuesTable(Course(), e);
  ExpectFields({e.Attr_key, e.Attr_value, e.Name}, {"ATTR_KEY", "ATTR_VALUE", "NAME"});
  ExpectTags({e.Attr_keyTag, e.PrimaryKeyTag}, {"ATTR_KEY", "PRIMARYKEY"});
  CloseTableRecord(e);
}

TEST_F(TableRecordsTest, OpeningAgainClosesTheTableTheRecordHeld) {
  UsersRecord u;
  OpenUsersTable(Course(), u);
  const Data4 first = u.Data;
  OpenUsersTable(Course(), u);
  EXPECT_NE(u.Data, 0);
  EXPECT_NE(u.Data, first);
  EXPECT_LT(xbase::d4recCount(first), 0);  // the first handle is closed
  CloseTableRecord(u);
  EXPECT_EQ(u.Data, 0);
  EXPECT_EQ(u.User_ID, 0);
  EXPECT_EQ(u.Ref.Data, 0);
}

}  // namespace
}  // namespace tolvarin
