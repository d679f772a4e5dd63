#pragma once
// One record layout per known table: the table handle and a handle for every field
// and tag the system uses, filled by that table's open routine in a folder the
// caller names. Members the routine does not bind (an optional field the table
// lacks, a layout member the table no longer has) stay 0.
//
// Fields are named after the table's field; tags carry the suffix "Tag". The
// header `Ref` repeats Data, KeyField and KeyTag; ATTRIBUTES, the three
// attribute-value tables and ENUMVALUES have no header.
#include <cstdint>
#include <string>

#include "data/table_ref.h"
#include "data/table_registry.h"
#include "platform/xbase/xbase.h"

namespace tolvarin {

using xbase::Data4;
using xbase::Field4;
using xbase::Tag4;

struct DescriptRecord {
  TableRef Ref;
  Data4 Data = 0;
  Field4 DescriptID = 0, Descript = 0, Image_id = 0, PicturePos = 0;
  Tag4 DescriptIDTag = 0;
};

struct QuestsRecord {
  TableRef Ref;
  Data4 Data = 0;
  std::int16_t AnswerCount = 0;  // 5 when the table has ANSWER5PCT, else 4
  Field4 Quest_id = 0, SubTopicID = 0, Difficulty = 0, User_ID = 0, DescriptID = 0, Table_id = 0;
  Field4 Question = 0, Exam_ID = 0, Essay = 0;
  Field4 Answer1 = 0, Answer2 = 0, Answer3 = 0, Answer4 = 0, Answer5 = 0;
  Field4 Answer1Pct = 0, Answer2Pct = 0, Answer3Pct = 0, Answer4Pct = 0, Answer5Pct = 0;  // Answer5Pct: 5 answers only
  Field4 CorrectAns = 0, BlockView = 0;
  Tag4 Quest_idTag = 0, SubTopicIDTag = 0, DescriptIDTag = 0, EssayTag = 0, DifficultyTag = 0, User_IDTag = 0;

  // Answer n (1 to 5) and its picture field; 0 outside 1..5.
  Field4 AnswerField(int n) const;
  Field4 AnswerPctField(int n) const;
};

struct QuesTypeRecord {
  TableRef Ref;
  Data4 Data = 0;
  Field4 Quest_id = 0, Type = 0, Media_type = 0, Taxonomy = 0;  // Taxonomy only when the table has it
  Tag4 Quest_idTag = 0, TypeTag = 0, TaxonomyTag = 0;
};

struct ExamsRecord {
  TableRef Ref;
  Data4 Data = 0;
  Field4 Exam_id = 0, User_id = 0, Unit_id = 0, Date = 0, Name = 0, BlockView = 0, Print_ID = 0;
  Tag4 Exam_idTag = 0, User_idTag = 0, Unit_idTag = 0, UserUnitIDTag = 0, DateTag = 0, NameTag = 0,
       Name_DateTag = 0, Print_IDTag = 0;
};

struct ExamQuesRecord {
  TableRef Ref;
  Data4 Data = 0;
  Field4 Exam_Q_id = 0, Exam_id = 0, Quest_id = 0, Quest_Num = 0, AnsOrder = 0, AnsOpt = 0, Version = 0;
  Tag4 Exam_Q_idTag = 0, Exam_idTag = 0, Quest_idTag = 0, Exam_QuestTag = 0;
};

struct PrintOptRecord {
  TableRef Ref;
  Data4 Data = 0;
  Field4 Print_ID = 0, User_ID = 0, Descript = 0, Default = 0, Xml = 0;
  Tag4 Print_idTag = 0, User_IDTag = 0, DescriptTag = 0, DefaultTag = 0;
};

struct TemplatesRecord {
  TableRef Ref;
  Data4 Data = 0;
  Field4 Blob = 0, TemplateID = 0, Area_id = 0, Course_id = 0, User_id = 0, Comment = 0, Name = 0;
  Tag4 TemplateIDTag = 0, Area_idTag = 0, User_idTag = 0, UserCourseTag = 0;
};

struct UsersRecord {
  TableRef Ref;
  Data4 Data = 0;
  Field4 User_ID = 0, User_Name = 0, Password = 0, Edit_Pswd = 0;
  Tag4 User_IDTag = 0, User_NameTag = 0, User_PswdTag = 0;
};

struct UserPermissionsRecord {
  TableRef Ref;
  Data4 Data = 0;
  Field4 User_ID = 0, Perm_Type = 0, Perm_ID = 0;
  Tag4 User_IDTag = 0, UserPermTag = 0;
};

struct ClassesRecord {
  TableRef Ref;
  Data4 Data = 0;
  // Period, Semester, Year, Block, Grade and Variation only when the table has "year".
  Field4 Class_id = 0, User_id = 0, Period = 0, Semester = 0, Year = 0, Block = 0, Section = 0, Grade = 0,
         Variation = 0;
  Tag4 Class_idTag = 0, User_idTag = 0;
};

struct StudentsRecord {
  TableRef Ref;
  Data4 Data = 0;
  // Without first_name the field "Name" is bound in Last_name.
  Field4 Student_id = 0, First_name = 0, Last_name = 0, Class_id = 0, Studen_num = 0, Remote_num = 0,
         Password = 0;
  Tag4 Student_idTag = 0, Remote_numTag = 0, Class_idTag = 0;
};

struct StudentClassRecord {
  TableRef Ref;
  Data4 Data = 0;
  Field4 Class_id = 0, Student_id = 0;
  Tag4 Class_idTag = 0, Student_idTag = 0, Clst_idTag = 0;
};

struct SessionsRecord {
  TableRef Ref;
  Data4 Data = 0;
  Field4 Session_id = 0, Name = 0, DateTime = 0, Area = 0, Type = 0;  // Area, Type optional
  Tag4 Session_idTag = 0, DateTimeTag = 0, NameTag = 0, TypeTag = 0, AreaTag = 0;  // TypeTag, AreaTag optional
};

struct SesQuestsRecord {
  TableRef Ref;
  Data4 Data = 0;
  Field4 Session_id = 0, Quest_id = 0, Answ_order = 0, SesQues_id = 0, Order = 0, Version = 0;
  Tag4 Quest_idTag = 0, Session_idTag = 0, SesQues_idTag = 0, SesVerQuesTag = 0;
};

struct SesResultsRecord {
  TableRef Ref;
  Data4 Data = 0;
  Field4 SesQues_id = 0, Student_id = 0, Answer = 0, Time = 0;
  Tag4 SesQues_idTag = 0, Student_idTag = 0, SesQuesStuTag = 0;
};

struct StandardRecord {
  TableRef Ref;
  Data4 Data = 0;
  Field4 Tree_id = 0, Node_id = 0, Parent_id = 0, Descript = 0, Order = 0;
  Tag4 Tree_idTag = 0, Node_idTag = 0, Parent_idTag = 0, StandardIDTag = 0, TreePrntIDTag = 0;
};

struct StanQuesRecord {
  TableRef Ref;
  Data4 Data = 0;
  Field4 Tree_id = 0, Node_id = 0, Quest_id = 0;
  Tag4 Tree_idTag = 0, Node_idTag = 0, Quest_idTag = 0, StandardIDTag = 0, TreeQuesIDTag = 0, StanQuesIDTag = 0;
};

struct AttributesRecord {
  Data4 Data = 0;
  Field4 Attr_key = 0, Name = 0, Type = 0;
  Tag4 Attr_keyTag = 0, NameTag = 0;
};

// MEMOATTRIBUTES, CHARATTRIBUTES and ENUMATTRIBUTES share one layout.
struct AttributeValuesRecord {
  Data4 Data = 0;
  Field4 Table_name = 0, Table_id = 0, Attr_key = 0, Attr_value = 0;
  Tag4 Table_nameTag = 0, RowTag = 0, Attr_keyTag = 0, PrimaryKeyTag = 0;
};

struct EnumValuesRecord {
  Data4 Data = 0;
  Field4 Attr_key = 0, Attr_value = 0, Name = 0;
  Tag4 Attr_keyTag = 0, PrimaryKeyTag = 0;
};

// Open routines: each closes the record's table when it is open, opens
// folder/<file> through OpenTable, binds the members, fills the header and selects
// natural order. A table that cannot be opened leaves the record all 0.
void OpenDescriptTable(const std::string& folder, DescriptRecord& record);
void OpenQuestsTable(const std::string& folder, QuestsRecord& record);
void OpenQuesTypeTable(const std::string& folder, QuesTypeRecord& record);
void OpenExamsTable(const std::string& folder, ExamsRecord& record);
void OpenExamQuesTable(const std::string& folder, ExamQuesRecord& record);
void OpenPrintOptTable(const std::string& folder, PrintOptRecord& record);
void OpenTemplatesTable(const std::string& folder, TemplatesRecord& record);
void OpenUsersTable(const std::string& folder, UsersRecord& record);
void OpenUserPermissionsTable(const std::string& folder, UserPermissionsRecord& record);
void OpenClassesTable(const std::string& folder, ClassesRecord& record);
void OpenStudentsTable(const std::string& folder, StudentsRecord& record);
void OpenStudentClassTable(const std::string& folder, StudentClassRecord& record);
void OpenSessionsTable(const std::string& folder, SessionsRecord& record);
void OpenSesQuestsTable(const std::string& folder, SesQuestsRecord& record);
void OpenSesResultsTable(const std::string& folder, SesResultsRecord& record);
// fileName "" opens standard.dbf; another name lets several standards tables be open at once.
void OpenStandardTable(const std::string& folder, const std::string& fileName, StandardRecord& record);
void OpenStanQuesTable(const std::string& folder, StanQuesRecord& record);
void OpenAttributesTable(const std::string& folder, AttributesRecord& record);
void OpenMemoAttributesTable(const std::string& folder, AttributeValuesRecord& record);
void OpenCharAttributesTable(const std::string& folder, AttributeValuesRecord& record);
void OpenEnumAttributesTable(const std::string& folder, AttributeValuesRecord& record);
void OpenEnumValuesTable(const std::string& folder, EnumValuesRecord& record);

// Closes the record's table (forgetting it in the registry too) and clears every
// member, header included.
template <typename Record>
void CloseTableRecord(Record& record) {
  Data4 data = record.Data;
  CloseTable(data);
  record = Record{};
}

}  // namespace tolvarin
