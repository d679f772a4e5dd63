#include "data/table_catalogue.h"

#include <array>
#include <map>

#include "core/paths.h"
#include "core/strings.h"
#include "data/codebase.h"
#include "data/table_registry.h"

namespace tolvarin {

namespace {

bool& Initialised() {
  static bool initialised = false;
  return initialised;
}

constexpr std::array<std::string_view, 18> kCourseTables = {
    "CLASSES",  "STUDENTCLASS",   "SESSIONS", "SESQUESTS",      "SESRESULTS", "STANDARD",
    "STANQUES", "QUESPVAL",       "GBSCHOOLEXAMS", "ACTCLASS",  "MATHACTIVITIES", "TEMPLATES",
    "QUESTS",   "EXAMS",          "EXAMQUES", "EXAMQUESTS",     "DESCRIPT",   "QUESTYPE"};

}  // namespace

void InitTableCatalogue() {
  Initialised() = true;
  if (Engine().EngineHandle == 0) InitCodeBase();
  // A new run of lookups: the keys go, entries already made stay where they are.
  ResetRegistryKeys();
}

bool TableCatalogueInitialised() { return Initialised(); }

std::int32_t IsCourseTable(std::string_view name) {
  const std::string upper = ToUpper(std::string(name));
  for (const auto course : kCourseTables)
    if (upper == course) return 1;
  return 0;
}

std::string TableKeyFieldName(std::string_view name) {
  static const std::map<std::string, std::string> keys = {
      {"users", "user_id"},          {"userpermissions", "user_id"}, {"quests", "quest_id"},
      {"questype", "quest_id"},      {"classes", "class_id"},        {"students", "student_id"},
      {"descript", "descriptid"},    {"sessions", "session_id"},     {"sesquests", "sesques_id"},
      {"sesresults", "sesquesstu"},  {"standard", "StandardID"},     {"stanques", "stanquesid"},
      {"studentclass", "clst_id"},   {"templates", "TemplateID"},    {"exams", "exam_id"},
      {"examques", "exam_q_id"},     {"gbschoolexams", "sc_exam_id"}, {"mathactivities", "activityid"},
      {"actclass", "activityid"}};
  const auto found = keys.find(ToLower(std::string(name)));
  return found == keys.end() ? std::string() : found->second;
}

std::string TableFileTitle(const TableRef& ref) {
  if (ref.Data == 0) return "";
  return GetFileName(d4fileName(ref.Data), false);
}

std::string TableFolder(const TableRef& ref) {
  if (ref.Data == 0) return "";
  std::string folder = GetFolderOfPath(d4fileName(ref.Data));
  if (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  return folder;
}

CatalogueRecords& Catalogue() {
  static CatalogueRecords records;
  return records;
}

namespace {

template <typename Record>
void Forget(Record& record, xbase::Data4 data) {
  if (record.Data == data) record = Record{};
}

void Forget(TableRef& ref, xbase::Data4 data) {
  if (ref.Data == data) ref = TableRef{};
}

}  // namespace

void ForgetCatalogueHandle(xbase::Data4 data) {
  if (data == 0) return;
  auto& c = Catalogue();
  Forget(c.Descript, data);
  Forget(c.ExamQues, data);
  Forget(c.Exams, data);
  Forget(c.Quests, data);
  Forget(c.QuesType, data);
  Forget(c.SesQuests, data);
  Forget(c.SesResults, data);
  Forget(c.Sessions, data);
  Forget(c.Standard, data);
  Forget(c.StanQues, data);
  Forget(c.Templates, data);
  Forget(c.MathTemplates, data);
  Forget(c.MathAnswers, data);
  Forget(c.Classes, data);
  Forget(c.Students, data);
  Forget(c.Users, data);
  Forget(c.UserPermissions, data);
  Forget(c.PrintOpt, data);
  Forget(c.ClassStudents, data);
  Forget(c.CharAttributes, data);
  Forget(c.MemoAttributes, data);
  Forget(c.EnumAttributes, data);
}

TableRef* CatalogueHeader(std::string_view name) {
  auto& c = Catalogue();
  const std::string upper = ToUpper(std::string(name));
  const std::map<std::string, TableRef*> headers = {
      {"DESCRIPT", &c.Descript.Ref},       {"EXAMQUES", &c.ExamQues.Ref},
      {"EXAMS", &c.Exams.Ref},             {"QUESTS", &c.Quests.Ref},
      {"QUESTYPE", &c.QuesType.Ref},       {"SESQUESTS", &c.SesQuests.Ref},
      {"SESRESULTS", &c.SesResults.Ref},   {"SESSIONS", &c.Sessions.Ref},
      {"STANDARD", &c.Standard.Ref},       {"STANQUES", &c.StanQues.Ref},
      {"TEMPLATES", &c.Templates.Ref},     {"MATHTEMPLATES", &c.MathTemplates},
      {"MATHANSWERS", &c.MathAnswers},     {"CLASSES", &c.Classes.Ref},
      {"STUDENTS", &c.Students.Ref},       {"USERS", &c.Users.Ref},
      {"USERPERMISSIONS", &c.UserPermissions.Ref}, {"PRINTOPT", &c.PrintOpt.Ref},
      {"CLASSSTUDENTS", &c.ClassStudents}, {"CHARATTRIBUTES", &c.CharAttributes},
      {"MEMOATTRIBUTES", &c.MemoAttributes}, {"ENUMATTRIBUTES", &c.EnumAttributes}};
  const auto found = headers.find(upper);
  return found == headers.end() ? nullptr : found->second;
}

}  // namespace tolvarin
