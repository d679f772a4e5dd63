#include "data/table_records.h"

#include "core/paths.h"
#include "data/codebase.h"
#include "data/open_table.h"
#include "data/table_registry.h"

namespace tolvarin {

namespace {

// Closes what the record held, then opens folder/<file> into a cleared record.
template <typename Record>
Data4 Begin(const std::string& folder, const std::string& file, Record& record) {
  if (record.Data != 0) CloseTableRecord(record);
  record = Record{};
  record.Data = OpenTable(JoinPath(folder, file), 0, false, false);
  return record.Data;
}

Field4 F(Data4 data, std::string_view name) { return xbase::d4field(data, name); }
Tag4 T(Data4 data, std::string_view name) { return xbase::d4tag(data, name); }

// Members older tables may lack are bound with the engine's messages off.
class QuietBinding {
 public:
  QuietBinding() { xbase::code4errOff(Engine().EngineHandle, 1); }
  ~QuietBinding() { xbase::code4errOff(Engine().EngineHandle, 0); }
  QuietBinding(const QuietBinding&) = delete;
  QuietBinding& operator=(const QuietBinding&) = delete;
};

void Finish(Data4 data, TableRef& ref, Field4 keyField, Tag4 keyTag) {
  ref.Data = data;
  ref.KeyField = keyField;
  ref.KeyTag = keyTag;
  xbase::d4tagSelect(data, 0);
}

}  // namespace

Field4 QuestsRecord::AnswerField(int n) const {
  switch (n) {
    case 1: return Answer1;
    case 2: return Answer2;
    case 3: return Answer3;
    case 4: return Answer4;
    case 5: return Answer5;
    default: return 0;
  }
}

Field4 QuestsRecord::AnswerPctField(int n) const {
  switch (n) {
    case 1: return Answer1Pct;
    case 2: return Answer2Pct;
    case 3: return Answer3Pct;
    case 4: return Answer4Pct;
    case 5: return Answer5Pct;
    default: return 0;
  }
}

void OpenDescriptTable(const std::string& folder, DescriptRecord& r) {
  const Data4 d = Begin(folder, "descript.dbf", r);
  r.DescriptID = F(d, "DescriptID");
  r.Descript = F(d, "Descript");
  r.Image_id = F(d, "Image_id");
  r.PicturePos = F(d, "PicturePos");
  r.DescriptIDTag = T(d, "DescriptID");
  r.Ref.TableName = "DESCRIPT";
  Finish(d, r.Ref, r.DescriptID, r.DescriptIDTag);
}

void OpenQuestsTable(const std::string& folder, QuestsRecord& r) {
  const Data4 d = Begin(folder, "quests.dbf", r);
  r.AnswerCount = HasField(d, "ANSWER5PCT") ? 5 : 4;
  r.Quest_id = F(d, "quest_id");
  r.SubTopicID = F(d, "SubTopicID");
  r.Difficulty = F(d, "difficulty");
  r.User_ID = F(d, "user_ID");
  r.DescriptID = F(d, "descriptID");
  r.Table_id = F(d, "Table_id");
  r.Question = F(d, "question");
  r.Exam_ID = F(d, "Exam_ID");
  r.Essay = F(d, "Essay");
  r.Answer1 = F(d, "answer1");
  r.Answer2 = F(d, "answer2");
  r.Answer3 = F(d, "answer3");
  r.Answer4 = F(d, "answer4");
  r.Answer5 = F(d, "answer5");
  r.Answer1Pct = F(d, "answer1pct");
  r.Answer2Pct = F(d, "answer2pct");
  r.Answer3Pct = F(d, "answer3pct");
  r.Answer4Pct = F(d, "answer4pct");
  if (r.AnswerCount == 5) r.Answer5Pct = F(d, "answer5pct");
  r.CorrectAns = F(d, "correctans");
  r.BlockView = F(d, "BlockView");
  r.Quest_idTag = T(d, "quest_id");
  r.SubTopicIDTag = T(d, "SubTopicID");
  r.DescriptIDTag = T(d, "descriptID");
  r.EssayTag = T(d, "Essay");
  r.DifficultyTag = T(d, "difficulty");
  r.User_IDTag = T(d, "user_ID");
  r.Ref.TableName = "QUESTS";
  Finish(d, r.Ref, r.Quest_id, r.Quest_idTag);
}

void OpenQuesTypeTable(const std::string& folder, QuesTypeRecord& r) {
  const Data4 d = Begin(folder, "questype.dbf", r);
  const bool taxonomy = HasField(d, "taxonomy");
  r.Quest_id = F(d, "quest_id");
  r.Type = F(d, "type");
  r.Media_type = F(d, "media_type");
  if (taxonomy) r.Taxonomy = F(d, "taxonomy");
  r.Quest_idTag = T(d, "quest_id");
  r.TypeTag = T(d, "type");
  if (taxonomy) r.TaxonomyTag = T(d, "taxonomy");
  Finish(d, r.Ref, r.Quest_id, r.Quest_idTag);
}

void OpenExamsTable(const std::string& folder, ExamsRecord& r) {
  const Data4 d = Begin(folder, "exams.dbf", r);
  r.Exam_id = F(d, "Exam_id");
  r.User_id = F(d, "User_id");
  r.Unit_id = F(d, "Unit_id");
  r.Date = F(d, "Date");
  r.Name = F(d, "Name");
  r.BlockView = F(d, "BlockView");
  r.Print_ID = F(d, "Print_ID");
  r.Exam_idTag = T(d, "Exam_id");
  r.User_idTag = T(d, "User_id");
  r.Unit_idTag = T(d, "Unit_id");
  r.UserUnitIDTag = T(d, "UserUnitID");
  r.DateTag = T(d, "Date");
  r.NameTag = T(d, "Name");
  r.Name_DateTag = T(d, "Name_Date");
  r.Print_IDTag = T(d, "Print_ID");
  r.Ref.TableName = "exams";
  Finish(d, r.Ref, r.Exam_id, r.Exam_idTag);
}

void OpenExamQuesTable(const std::string& folder, ExamQuesRecord& r) {
  const Data4 d = Begin(folder, "examques.dbf", r);
  r.Exam_Q_id = F(d, "Exam_Q_id");
  r.Exam_id = F(d, "Exam_id");
  r.Quest_id = F(d, "Quest_id");
  r.Quest_Num = F(d, "Quest_Num");
  r.AnsOrder = F(d, "ANSORDER");
  r.AnsOpt = F(d, "ANSOPT");
  r.Version = F(d, "VERSION");
  r.Exam_Q_idTag = T(d, "Exam_Q_id");
  r.Exam_idTag = T(d, "Exam_id");
  r.Quest_idTag = T(d, "Quest_id");
  r.Exam_QuestTag = T(d, "Exam_Quest");
  r.Ref.TableName = "examques";
  Finish(d, r.Ref, r.Exam_Q_id, r.Exam_Q_idTag);
}

void OpenPrintOptTable(const std::string& folder, PrintOptRecord& r) {
  const Data4 d = Begin(folder, "printopt.dbf", r);
  r.Print_ID = F(d, "Print_ID");
  r.User_ID = F(d, "User_ID");
  r.Descript = F(d, "descript");
  r.Default = F(d, "Default");
  r.Xml = F(d, "xml");
  r.Print_idTag = T(d, "print_id");
  r.User_IDTag = T(d, "User_ID");
  r.DescriptTag = T(d, "descript");
  r.DefaultTag = T(d, "Default");
  Finish(d, r.Ref, r.Print_ID, r.Print_idTag);
}

void OpenTemplatesTable(const std::string& folder, TemplatesRecord& r) {
  const Data4 d = Begin(folder, "templates.dbf", r);
  r.Blob = F(d, "blob");
  r.TemplateID = F(d, "templateid");
  r.Area_id = F(d, "area_id");
  r.Course_id = F(d, "course_id");
  r.User_id = F(d, "user_id");
  r.Comment = F(d, "comment");
  r.Name = F(d, "name");
  r.TemplateIDTag = T(d, "templateid");
  r.Area_idTag = T(d, "area_id");
  r.User_idTag = T(d, "user_id");
  r.UserCourseTag = T(d, "UserCourse");
  Finish(d, r.Ref, r.TemplateID, r.TemplateIDTag);
}

void OpenUsersTable(const std::string& folder, UsersRecord& r) {
  const Data4 d = Begin(folder, "users.dbf", r);
  r.User_ID = F(d, "User_ID");
  r.User_Name = F(d, "User_Name");
  r.Password = F(d, "Password");
  r.Edit_Pswd = F(d, "Edit_Pswd");
  r.User_IDTag = T(d, "User_ID");
  r.User_NameTag = T(d, "User_Name");
  r.User_PswdTag = T(d, "User_Pswd");
  Finish(d, r.Ref, r.User_ID, r.User_IDTag);
}

void OpenUserPermissionsTable(const std::string& folder, UserPermissionsRecord& r) {
  const Data4 d = Begin(folder, "userpermissions.dbf", r);
  r.User_ID = F(d, "User_ID");
  r.Perm_Type = F(d, "Perm_Type");
  r.Perm_ID = F(d, "Perm_ID");
  r.User_IDTag = T(d, "User_ID");
  r.UserPermTag = T(d, "UserPerm");
  Finish(d, r.Ref, r.User_ID, r.User_IDTag);
}

void OpenClassesTable(const std::string& folder, ClassesRecord& r) {
  const Data4 d = Begin(folder, "classes.dbf", r);
  // Older class tables have only class_id, user_id and section.
  const bool full = HasField(d, "year");
  r.Class_id = F(d, "class_id");
  r.User_id = F(d, "user_id");
  if (full) {
    r.Period = F(d, "period");
    r.Semester = F(d, "semester");
    r.Year = F(d, "year");
    r.Block = F(d, "block");
  }
  r.Section = F(d, "section");
  if (full) {
    r.Grade = F(d, "grade");
    r.Variation = F(d, "variation");
  }
  r.Class_idTag = T(d, "class_id");
  r.User_idTag = T(d, "user_id");
  Finish(d, r.Ref, r.Class_id, r.Class_idTag);
}

void OpenStudentsTable(const std::string& folder, StudentsRecord& r) {
  const Data4 d = Begin(folder, "students.dbf", r);
  r.Student_id = F(d, "student_id");
  {
    QuietBinding quiet;
    r.First_name = F(d, "first_name");
    // Tables without first_name keep the whole name in "Name".
    r.Last_name = r.First_name != 0 ? F(d, "last_name") : F(d, "Name");
  }
  r.Class_id = F(d, "class_id");
  r.Studen_num = F(d, "studen_num");
  r.Remote_num = F(d, "remote_num");
  {
    QuietBinding quiet;
    r.Password = F(d, "password");
  }
  r.Student_idTag = T(d, "student_id");
  r.Remote_numTag = T(d, "remote_num");
  r.Class_idTag = T(d, "class_id");
  Finish(d, r.Ref, r.Student_id, r.Student_idTag);
}

void OpenStudentClassTable(const std::string& folder, StudentClassRecord& r) {
  const Data4 d = Begin(folder, "studentclass.dbf", r);
  r.Class_id = F(d, "class_id");
  r.Student_id = F(d, "student_id");
  r.Class_idTag = T(d, "class_id");
  r.Student_idTag = T(d, "student_id");
  r.Clst_idTag = T(d, "clst_id");
  Finish(d, r.Ref, 0, r.Clst_idTag);
}

void OpenSessionsTable(const std::string& folder, SessionsRecord& r) {
  const Data4 d = Begin(folder, "sessions.dbf", r);
  r.Session_id = F(d, "session_id");
  r.Name = F(d, "name");
  r.DateTime = F(d, "datetime");
  {
    QuietBinding quiet;
    r.Area = F(d, "area");
    r.Type = F(d, "type");
  }
  r.Session_idTag = T(d, "session_id");
  r.DateTimeTag = T(d, "datetime");
  r.NameTag = T(d, "name");
  {
    QuietBinding quiet;
    r.TypeTag = T(d, "type");
    r.AreaTag = T(d, "area");
  }
  Finish(d, r.Ref, r.Session_id, r.Session_idTag);
}

void OpenSesQuestsTable(const std::string& folder, SesQuestsRecord& r) {
  const Data4 d = Begin(folder, "sesquests.dbf", r);
  r.Session_id = F(d, "session_id");
  r.Quest_id = F(d, "quest_id");
  r.Answ_order = F(d, "answ_order");
  r.SesQues_id = F(d, "sesques_id");
  r.Order = F(d, "order");
  r.Version = F(d, "version");
  r.Quest_idTag = T(d, "quest_id");
  r.Session_idTag = T(d, "session_id");
  r.SesQues_idTag = T(d, "sesques_id");
  r.SesVerQuesTag = T(d, "sesverques");
  Finish(d, r.Ref, r.SesQues_id, r.SesQues_idTag);
}

void OpenSesResultsTable(const std::string& folder, SesResultsRecord& r) {
  const Data4 d = Begin(folder, "sesresults.dbf", r);
  r.SesQues_id = F(d, "sesques_id");
  r.Student_id = F(d, "student_id");
  r.Answer = F(d, "answer");
  r.Time = F(d, "time");
  r.SesQues_idTag = T(d, "sesques_id");
  r.Student_idTag = T(d, "student_id");
  r.SesQuesStuTag = T(d, "sesquesstu");
  Finish(d, r.Ref, 0, 0);
}

void OpenStandardTable(const std::string& folder, const std::string& fileName, StandardRecord& r) {
  const Data4 d = Begin(folder, fileName.empty() ? "standard.dbf" : fileName, r);
  r.Tree_id = F(d, "tree_id");
  r.Node_id = F(d, "node_id");
  r.Parent_id = F(d, "parent_id");
  r.Descript = F(d, "descript");
  r.Order = F(d, "order");
  r.Tree_idTag = T(d, "tree_id");
  r.Node_idTag = T(d, "node_id");
  r.Parent_idTag = T(d, "parent_id");
  r.StandardIDTag = T(d, "standardid");
  r.TreePrntIDTag = T(d, "treeprntid");
  Finish(d, r.Ref, 0, r.StandardIDTag);
}

void OpenStanQuesTable(const std::string& folder, StanQuesRecord& r) {
  const Data4 d = Begin(folder, "stanques.dbf", r);
  r.Tree_id = F(d, "tree_id");
  r.Node_id = F(d, "node_id");
  r.Quest_id = F(d, "quest_id");
  r.Tree_idTag = T(d, "tree_id");
  r.Node_idTag = T(d, "node_id");
  r.Quest_idTag = T(d, "quest_id");
  r.StandardIDTag = T(d, "StandardID");
  r.TreeQuesIDTag = T(d, "treequesid");
  r.StanQuesIDTag = T(d, "stanquesid");
  Finish(d, r.Ref, 0, r.StanQuesIDTag);
}

void OpenAttributesTable(const std::string& folder, AttributesRecord& r) {
  const Data4 d = Begin(folder, "Attributes.dbf", r);
  r.Attr_key = F(d, "attr_key");
  r.Name = F(d, "name");
  r.Type = F(d, "type");
  r.Attr_keyTag = T(d, "attr_key");
  r.NameTag = T(d, "name");
  xbase::d4tagSelect(d, 0);
}

namespace {

void OpenAttributeValues(const std::string& folder, const std::string& file, AttributeValuesRecord& r) {
  const Data4 d = Begin(folder, file, r);
  r.Table_name = F(d, "table_name");
  r.Table_id = F(d, "table_id");
  r.Attr_key = F(d, "attr_key");
  r.Attr_value = F(d, "attr_value");
  r.Table_nameTag = T(d, "table_name");
  r.RowTag = T(d, "row");
  r.Attr_keyTag = T(d, "attr_key");
  r.PrimaryKeyTag = T(d, "primarykey");
  xbase::d4tagSelect(d, 0);
}

}  // namespace

void OpenMemoAttributesTable(const std::string& folder, AttributeValuesRecord& r) {
  OpenAttributeValues(folder, "MemoAttributes.dbf", r);
}

void OpenCharAttributesTable(const std::string& folder, AttributeValuesRecord& r) {
  OpenAttributeValues(folder, "CharAttributes.dbf", r);
}

void OpenEnumAttributesTable(const std::string& folder, AttributeValuesRecord& r) {
  OpenAttributeValues(folder, "EnumAttributes.dbf", r);
}

void OpenEnumValuesTable(const std::string& folder, EnumValuesRecord& r) {
  const Data4 d = Begin(folder, "EnumValues.dbf", r);
  r.Attr_key = F(d, "attr_key");
  r.Attr_value = F(d, "attr_value");
  r.Name = F(d, "name");
  r.Attr_keyTag = T(d, "attr_key");
  r.PrimaryKeyTag = T(d, "primarykey");
  xbase::d4tagSelect(d, 0);
}

}  // namespace tolvarin
