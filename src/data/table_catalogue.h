#pragma once
// The known tables: their names and the names of their fields and tags, kept in
// one place so that the rest of the system takes them from here; which folder a
// table lives in; the process-wide catalogue records.
#include <cstdint>
#include <string>
#include <string_view>

#include "data/table_records.h"
#include "data/table_ref.h"

namespace tolvarin {

// Sets the initialised flag, starts the engine when no context exists and starts
// an empty registry.
void InitTableCatalogue();
bool TableCatalogueInitialised();

// 1 for the tables of a course folder, 0 for the brand folder's (and unknown names).
std::int32_t IsCourseTable(std::string_view name);
// The identifying field or tag of a table; "" for tables without one.
std::string TableKeyFieldName(std::string_view name);
// The name part and the folder part of the open table's file name as the engine
// reports it (the real path, not the upper-case comparison form).
std::string TableFileTitle(const TableRef& ref);
std::string TableFolder(const TableRef& ref);

// One catalogue record per table name. A record is open only while a caller has
// opened its table into it with the table's open routine. Tables without an open
// routine or without a header keep a bare header that stays closed.
struct CatalogueRecords {
  DescriptRecord Descript;
  ExamQuesRecord ExamQues;
  ExamsRecord Exams;
  QuestsRecord Quests;
  QuesTypeRecord QuesType;
  SesQuestsRecord SesQuests;
  SesResultsRecord SesResults;
  SessionsRecord Sessions;
  StandardRecord Standard;
  StanQuesRecord StanQues;
  TemplatesRecord Templates;
  TableRef MathTemplates;
  TableRef MathAnswers;
  ClassesRecord Classes;
  StudentsRecord Students;
  UsersRecord Users;
  UserPermissionsRecord UserPermissions;
  PrintOptRecord PrintOpt;
  TableRef ClassStudents;
  TableRef CharAttributes;
  TableRef MemoAttributes;
  TableRef EnumAttributes;
};
CatalogueRecords& Catalogue();
// Clears every catalogue record that holds the handle (CloseTable calls it).
void ForgetCatalogueHandle(xbase::Data4 data);
// The header of the catalogue record of that name (any case); nullptr for a name
// the catalogue does not hold.
TableRef* CatalogueHeader(std::string_view name);

// Table, field and tag names, one struct per table.
namespace names {
struct Users {
  static constexpr std::string_view Table = "users", UserID = "user_id", UserName = "user_name",
                                    UserPswd = "user_pswd", EditPswd = "edit_pswd", Password = "password";
};
struct UserPermissions {
  static constexpr std::string_view Table = "userpermissions", PermID = "perm_id", PermType = "perm_type",
                                    UserID = "user_id", UserPerm = "userperm";
};
struct Classes {
  static constexpr std::string_view Table = "classes", Block = "block", ClassID = "class_id", Grade = "grade",
                                    Period = "period", Section = "section", Year = "year", UserID = "user_id",
                                    Variation = "variation", Semester = "semester";
};
struct Students {
  static constexpr std::string_view Table = "students", ClassID = "class_id", FirstName = "first_name",
                                    LastName = "last_name", Password = "password", RemoteNum = "remote_num",
                                    StudenNum = "studen_num", StudentID = "student_id";
};
struct Sessions {
  static constexpr std::string_view Table = "sessions", DateTime = "datetime", Name = "Name",
                                    SessionID = "session_id", Type = "type";
};
struct SesQuests {
  static constexpr std::string_view Table = "sesquests", AnswOrder = "answ_order", Order = "Order",
                                    QuestID = "quest_id", SesQuesID = "sesques_id", SessionID = "session_id",
                                    Version = "Version", SesVerQues = "sesverques";
};
struct SesResults {
  static constexpr std::string_view Table = "sesresults", Answer = "answer", Time = "time",
                                    SesQuesID = "sesques_id", StudentID = "student_id",
                                    SesQuesStu = "sesquesstu";
};
struct Exams {
  static constexpr std::string_view Table = "exams", BlockView = "blockview", Date = "date", ExamID = "exam_id",
                                    Name = "Name", PrintID = "print_id", UnitID = "Unit_ID", UserID = "user_id",
                                    NameDate = "Name_Date", UserUnitID = "UserUnitID";
};
struct ExamQues {
  static constexpr std::string_view Table = "examques", AnsOpt = "ansopt", AnsOrder = "AnsOrder",
                                    ExamID = "exam_id", ExamQID = "exam_q_id", QuestID = "quest_id",
                                    QuestNum = "quest_num", Version = "Version", ExamQuestNum = "Exam_QUEST_NUM";
};
struct Quests {
  static constexpr std::string_view Table = "quests", Answer1 = "answer1", Answer2 = "answer2",
                                    Answer3 = "answer3", Answer4 = "answer4", Answer5 = "answer5",
                                    Answer1Pct = "Answer1Pct", Answer2Pct = "Answer2Pct", Answer3Pct = "Answer3Pct",
                                    Answer4Pct = "Answer4Pct", Answer5Pct = "Answer5Pct", BlockView = "BlockView",
                                    CorrectAns = "correctans", DescriptID = "descriptid",
                                    Difficulty = "difficulty", Essay = "essay", ExamID = "exam_id",
                                    MaxAnswerImages = "MaxAnswerImages", QuestID = "quest_id",
                                    Question = "Question", SourceID = "sourceID", SubtopicID = "SubtopicID",
                                    TableID = "table_ID", UserID = "user_id";
};
struct QuesType {
  static constexpr std::string_view Table = "questype", MediaType = "mediatype", QuestID = "quest_id",
                                    Taxonomy = "Taxonomy", Type = "type";
};
struct Descript {
  static constexpr std::string_view Table = "descript", Descript_ = "descript", DescriptID = "descriptid",
                                    ImageID = "image_id", PicturePos = "picturepos";
};
struct Attributes {
  static constexpr std::string_view Table = "attributes", AttrKey = "attr_key", Name = "name", Type = "type";
};
// The three attribute-value tables share their names.
struct AttributeValues {
  static constexpr std::string_view MemoTable = "memoattributes", CharTable = "charattributes",
                                    EnumTable = "enumattributes", AttrKey = "attr_key", AttrValue = "attr_value",
                                    TableID = "table_ID", TableName = "table_name", PrimaryKey = "primarykey",
                                    Row = "Row";
};
struct EnumValues {
  static constexpr std::string_view Table = "enumvalues", AttrKey = "attr_key", AttrValue = "attr_value",
                                    Name = "name", PrimaryKey = "primarykey";
};
struct Standard {
  static constexpr std::string_view Table = "standard", Descript = "descript", NodeID = "node_id",
                                    Order = "Order", ParentID = "parent_id", TreeID = "tree_id",
                                    StandardID = "StandardID", TreePrntID = "treeprntid";
};
struct StanQues {
  static constexpr std::string_view Table = "stanques", NodeID = "node_id", QuestID = "quest_id",
                                    TreeID = "tree_id", StandardID = "StandardID", StanQuesID = "stanquesid",
                                    TreeQuesID = "treequesid";
};
struct StudentClass {
  static constexpr std::string_view Table = "studentclass", ClassID = "class_id", StudentID = "student_id",
                                    ClstID = "clst_id";
};
struct Templates {
  static constexpr std::string_view Table = "templates", AreaID = "area_id", Blob = "Blob", Comment = "comment",
                                    IDInfo = "IDInfo", Name = "Name", NodeID = "node_id",
                                    TemplateID = "TemplateID", UserID = "user_id", UserCourse = "usercourse";
};
// Tables without an open routine.
struct QuesPVal {
  static constexpr std::string_view Table = "quespval", QuestID = "quest_id", PValue = "p_value",
                                    Weight = "weight";
};
struct GbSchoolExams {
  static constexpr std::string_view Table = "gbschoolexams", ScExamID = "sc_exam_id", SchlExam = "schl_exam",
                                    ExamID = "exam_id", School = "school";
};
struct MathActivities {
  static constexpr std::string_view Table = "mathactivities", ActivityID = "activityid", Name = "name",
                                    Blob = "blob";
};
struct ActClass {
  static constexpr std::string_view Table = "actclass", ActivityID = "activityid", TreeID = "treeid",
                                    NodeID = "nodeid";
};
}  // namespace names

}  // namespace tolvarin
