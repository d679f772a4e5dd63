#include "construction/schema.h"

#include <algorithm>
#include <cctype>
#include <initializer_list>
#include <utility>

#include "data/codebase.h"

namespace tolvarin {
namespace {

// Field type codes of MakeFieldDef.
constexpr int C = 0;
constexpr int N = 1;
constexpr int M = 2;
constexpr int L = 3;
constexpr int D = 4;
constexpr int Doc = 5;  // memo holding a whole document or raw content

struct FieldSpec {
  const char* name;
  int type;
  int length;
};

struct TagSpec {
  const char* name;
  const char* expression;
  int unique = 0;
};

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

std::string Upper(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return text;
}

std::string Trim(const std::string& text) {
  const auto first = text.find_first_not_of(' ');
  if (first == std::string::npos) return "";
  const auto last = text.find_last_not_of(' ');
  return text.substr(first, last - first + 1);
}

struct EntrySpec {
  const char* tableName;
  std::int32_t kind;
  bool skip;
  const char* keyField = "";
  const char* nameField = "";
  const char* key2Field = "";
  const char* oldName = "";
};

TableDef MakeEntry(const EntrySpec& entry, std::initializer_list<FieldSpec> fields,
                   std::initializer_list<TagSpec> tags) {
  TableDef def;
  def.TableName = entry.tableName;
  def.Kind = entry.kind;
  def.Skip = entry.skip;
  def.OldName = entry.oldName;
  def.KeyField = entry.keyField;
  def.NameField = entry.nameField;
  def.Key2Field = entry.key2Field;
  def.Fields.reserve(fields.size());
  for (const auto& f : fields) def.Fields.push_back(MakeFieldDef(f.name, f.length, f.type));
  def.Tags.reserve(tags.size());
  for (const auto& t : tags) def.Tags.push_back(MakeTagDef(t.name, t.expression, t.unique, 0));
  return def;
}

TableDef Obsolete(const char* name) { return MakeEntry({name, kKindObsolete, true}, {}, {}); }

// The three attribute-value tables share one layout but for the value's type.
TableDef AttributeValues(const char* name, FieldSpec value) {
  return MakeEntry({name, kKindCourse, false},
                   {{"table_name", C, 20}, {"table_id", C, 40}, {"attr_key", C, 20}, value},
                   {{"ATTR_KEY", "attr_key"},
                    {"ROW", "table_name+table_id"},
                    {"TABLE_NAME", "table_name"},
                    {"PRIMARYKEY", "table_name+table_id+attr_key", 15}});
}

}  // namespace

std::vector<TableDef>& TableDefs() {
  static std::vector<TableDef> defs;
  return defs;
}

void DefineDatabase() {
  auto& defs = TableDefs();
  defs.clear();
  defs.reserve(100);

  // 1-10: tables of older databases that no longer exist.
  for (const char* name :
       {"status", "control", "primary", "control2", "tables", "foxuser", "unit", "topic", "chapter", "subtopic"}) {
    defs.push_back(Obsolete(name));
  }
  // 11: obsolete too; its layout is kept but never used.
  defs.push_back(MakeEntry({"brandcontrol", kKindCommon, true}, {{"table", C, 8}, {"record_id", C, 7}},
                           {{"TABLE", "table"}}));
  // 12
  defs.push_back(MakeEntry({"rftables", kKindCourse, false},
                           {{"table_id", C, 7}, {"image_id", C, 7}, {"descript", C, 44}},
                           {{"TABLE_ID", "table_id"}}));
  // 13
  defs.push_back(MakeEntry({"users", kKindCommon, false, "user_id", "user_name"},
                           {{"user_id", C, 7}, {"user_name", C, 20}, {"password", C, 8}, {"edit_pswd", L, 1}},
                           {{"EDIT_PSWD", "edit_pswd"},
                            {"PASSWORD", "password"},
                            {"USER_ID", "user_id"},
                            {"USER_NAME", "user_name"},
                            {"USER_PSWD", "user_name+password"}}));
  // 14
  defs.push_back(MakeEntry({"userpermissions", kKindCommon, false, "user_id"},
                           {{"user_id", C, 7}, {"perm_type", C, 1}, {"perm_id", C, 14}},
                           {{"USER_ID", "user_id"}, {"USERPERM", "user_id+perm_type+perm_id"}}));
  // 15
  defs.push_back(MakeEntry({"attributes", kKindCourse, false},
                           {{"attr_key", C, 20}, {"name", C, 64}, {"type", N, 4}},
                           {{"Name", "name"}, {"ATTR_KEY", "attr_key", 15}}));
  // 16-18
  defs.push_back(AttributeValues("charattributes", {"attr_value", C, 128}));
  defs.push_back(AttributeValues("memoattributes", {"attr_value", M, 4}));
  defs.push_back(AttributeValues("enumattributes", {"attr_value", C, 128}));
  // 19
  defs.push_back(MakeEntry({"enumvalues", kKindCourse, false},
                           {{"attr_key", C, 20}, {"attr_value", C, 20}, {"name", C, 64}},
                           {{"ATTR_KEY", "attr_key"}, {"PRIMARYKEY", "attr_key+attr_value", 15}}));
  // 20
  defs.push_back(MakeEntry({"classes", kKindCourse, false, "class_id", "section"},
                           {{"class_id", C, 7}, {"course", C, 7}, {"section", C, 64}, {"user_id", C, 7}},
                           {{"CLASS_ID", "class_id"}, {"USER_ID", "user_id"}, {"COURSE", "course"}}));
  // 21
  defs.push_back(MakeEntry({"descript", kKindCourse, false, "descriptid"},
                           {{"descriptid", C, 7}, {"descript", M, 10}, {"image_id", C, 7}, {"picturepos", N, 1}},
                           {{"DESCRIPTID", "descriptid"}}));
  // 22
  defs.push_back(MakeEntry({"exams", kKindCourse, false, "exam_id", "name"},
                           {{"exam_id", C, 7},
                            {"user_id", C, 7},
                            {"unit_id", C, 7},
                            {"date", D, 8},
                            {"name", C, 50},
                            {"blockview", N, 1},
                            {"print_id", C, 7}},
                           {{"EXAM_ID", "exam_id"},
                            {"USER_ID", "user_id"},
                            {"DATE", "date"},
                            {"UNIT_ID", "unit_id"},
                            {"USERUNITID", "user_id+unit_id", 25},
                            {"PRINT_ID", "print_id"},
                            {"Name", "name"},
                            {"NAME_DATE", "name+DTOC(date,1)", 25}}));
  // 23
  defs.push_back(MakeEntry({"examques", kKindCourse, false, "exam_q_id"},
                           {{"exam_q_id", C, 7},
                            {"exam_id", C, 7},
                            {"quest_id", C, 7},
                            {"quest_num", C, 3},
                            {"ansorder", C, 7},
                            {"ansopt", C, 7},
                            {"version", N, 4}},
                           {{"EXAM_ID", "exam_id"},
                            {"EXAM_QUEST", "exam_id+quest_num"},
                            {"EXAM_Q_ID", "exam_q_id"},
                            {"QUEST_ID", "quest_id"},
                            {"QUEST_NUM", "quest_num"},
                            {"ANSORDER", "ansorder"},
                            {"ANSOPT", "ansopt"},
                            {"EXAMVERQ", "exam_id+STR(version,2,0)+quest_num"}}));
  // 24
  defs.push_back(MakeEntry({"exiles", kKindCourse, false},
                           {{"exile_id", C, 7}, {"user_id", C, 7}, {"quest_id", C, 7}},
                           {{"EXILE_ID", "exile_id"},
                            {"USER_ID", "user_id"},
                            {"QUEST_ID", "quest_id"},
                            {"USER_QUEST", "user_id+quest_id"}}));
  // 25
  defs.push_back(MakeEntry({"mathanswers", kKindCourse, false},
                           {{"session_id", C, 7},
                            {"answer1", M, 4},
                            {"answer2", M, 4},
                            {"answer3", M, 4},
                            {"answer4", M, 4},
                            {"answer5", M, 4},
                            {"correctans", N, 1},
                            {"order", N, 2},
                            {"player", N, 1},
                            {"solution", Doc, 10}},
                           {{"SESSION_ID", "session_id"}, {"Order", "order"}, {"SESQUEST", "session_id+STR(order,2)"}}));
  // 26
  defs.push_back(MakeEntry({"mathtemplates", kKindCourse, false},
                           {{"templateid", C, 7},
                            {"name", C, 254},
                            {"order", C, 7},
                            {"node_id", C, 7},
                            {"blob", Doc, 4},
                            {"levels", C, 7},
                            {"flags", C, 254},
                            {"group_id", C, 7}},
                           {{"MORDER", "order"},
                            {"NODEID", "node_id"},
                            {"TEMPLATEID", "templateid"},
                            {"GROUPID", "group_id"}}));
  // 27
  defs.push_back(MakeEntry({"printopt", kKindCourse, false, "print_id", "descript"},
                           {{"print_id", C, 7}, {"user_id", C, 7}, {"descript", C, 64}, {"default", N, 1}, {"xml", M, 10}},
                           {{"Default", "default"},
                            {"DESCRIPT", "descript"},
                            {"PRINT_ID", "print_id"},
                            {"USER_ID", "user_id"}}));
  // 28
  defs.push_back(MakeEntry({"quests", kKindCourse, false, "quest_id"},
                           {{"quest_id", C, 7},
                            {"subtopicid", C, 7},
                            {"difficulty", N, 1},
                            {"user_id", C, 7},
                            {"descriptid", C, 7},
                            {"table_id", C, 7},
                            {"question", M, 10},
                            {"exam_id", C, 7},
                            {"essay", N, 1},
                            {"answer1", M, 10},
                            {"answer2", M, 10},
                            {"answer3", M, 10},
                            {"answer4", M, 10},
                            {"answer5", M, 10},
                            {"answer1pct", C, 7},
                            {"answer2pct", C, 7},
                            {"answer3pct", C, 7},
                            {"answer4pct", C, 7},
                            {"answer5pct", C, 7},
                            {"correctans", N, 1},
                            {"blockview", N, 1}},
                           {{"DIFFICULTY", "difficulty"},
                            {"QUEST_ID", "quest_id"},
                            {"SUBTOPICID", "subtopicid"},
                            {"USER_ID", "user_id"},
                            {"ESSAY", "essay"},
                            {"TABLE_ID", "table_id"},
                            {"DESCRIPTID", "descriptid"}}));
  // 29
  defs.push_back(MakeEntry({"questype", kKindCourse, false, "quest_id"},
                           {{"quest_id", C, 7}, {"type", N, 2}, {"media_type", N, 2}, {"taxonomy", N, 2}},
                           {{"QUEST_ID", "quest_id"}, {"TYPE", "type"}, {"TAXONOMY", "taxonomy"}}));
  // 30
  defs.push_back(MakeEntry({"racesettings", kKindCourse, false},
                           {{"templateid", C, 7}, {"node_id", C, 7}, {"data", Doc, 4}},
                           {{"TEMPLATEID", "templateid"}, {"NODEID", "node_id"}}));
  // 31
  defs.push_back(MakeEntry({"sessions", kKindCourse, false, "session_id", "name"},
                           {{"session_id", C, 7},
                            {"name", C, 50},
                            {"datetime", C, 12},
                            {"area", N, 4},
                            {"course", N, 4},
                            {"type", N, 4}},
                           {{"SESSION_ID", "session_id"},
                            {"COURSE", "course"},
                            {"Name", "name"},
                            {"DATETIME", "datetime"},
                            {"TYPE", "type"},
                            {"AREA", "area"}}));
  // 32
  defs.push_back(MakeEntry({"sesquests", kKindCourse, false, "sesques_id", "", "", "sesquest"},
                           {{"session_id", C, 7},
                            {"quest_id", C, 7},
                            {"answ_order", C, 5},
                            {"sesques_id", C, 7},
                            {"version", N, 4},
                            {"order", N, 4}},
                           {{"SESSION_ID", "session_id"},
                            {"SESQUES_ID", "sesques_id"},
                            {"QUEST_ID", "quest_id"},
                            {"SESVERQUEST", "session_id+STR(version,2,0)+STR(order,3,0)"}}));
  // 33
  defs.push_back(MakeEntry({"sesresults", kKindCourse, false, "sesquesstu", "", "", "sesresul"},
                           {{"student_id", C, 7}, {"answer", C, 1}, {"sesques_id", C, 7}, {"time", N, 20}},
                           {{"STUDENT_ID", "student_id"},
                            {"SESQUES_ID", "sesques_id"},
                            {"SESQUESSTU", "sesques_id+student_id"}}));
  // 34
  defs.push_back(MakeEntry({"standard", kKindCourse, false, "standardid", "descript", "node_id"},
                           {{"tree_id", N, 8}, {"node_id", N, 8}, {"parent_id", N, 8}, {"order", N, 4}, {"descript", C, 254}},
                           {{"TREE_ID", "tree_id"},
                            {"NODE_ID", "node_id"},
                            {"STANDARDID", "STR(tree_id,3,0)+STR(node_id,7,0)", 15},
                            {"PARENT_ID", "parent_id"},
                            {"TREEPRNTID", "STR(tree_id,3,0)+STR(parent_id,7,0)+STR(order,3,0)"}}));
  // 35
  defs.push_back(MakeEntry({"StanQues", kKindCourse, false, "stanquesid", "", "quest_id"},
                           {{"tree_id", N, 8}, {"node_id", N, 8}, {"quest_id", N, 8}},
                           {{"QUEST_ID", "quest_id"},
                            {"TREE_ID", "tree_id"},
                            {"NODE_ID", "node_id"},
                            {"STANDARDID", "STR(tree_id,3,0)+STR(node_id,7,0)"},
                            {"TREEQUESID", "STR(tree_id,3,0)+STR(quest_id,7,0)"},
                            {"STANQUESID", "STR(tree_id,3,0)+STR(node_id,7,0)+STR(quest_id,7,0)", 15}}));
  // 36: the display field name is not a field of the table (the field is studen_num); kept as the host has it.
  defs.push_back(MakeEntry({"students", kKindCourse, false, "student_id", "student_num"},
                           {{"student_id", C, 7},
                            {"class_id", C, 7},
                            {"last_name", C, 16},
                            {"first_name", C, 16},
                            {"studen_num", C, 32},
                            {"remote_num", N, 4},
                            {"password", C, 254}},
                           {{"CLASS_ID", "class_id"},
                            {"STUDENT_ID", "student_id"},
                            {"REMOTE_NUM", "remote_num"},
                            {"STUDEN_NUM", "studen_num"}}));
  // 37
  defs.push_back(MakeEntry({"templates", kKindCourse, false, "templateid", "name"},
                           {{"templateid", C, 7},
                            {"name", C, 254},
                            {"area_id", C, 7},
                            {"course_id", C, 7},
                            {"user_id", C, 7},
                            {"blob", Doc, 4},
                            {"comment", C, 254}},
                           {{"AREA_ID", "area_id"},
                            {"COURSE_ID", "course_id"},
                            {"USER_ID", "user_id"},
                            {"TEMPLATEID", "templateid"},
                            {"USERCOURSE", "user_id+course_id"}}));
  defs.shrink_to_fit();
}

TableDef GetTableDef(const std::string& tableName) {
  const std::string wanted = Upper(tableName);
  for (const auto& def : TableDefs()) {
    if (Upper(def.TableName) == wanted) return def;
  }
  return TableDef{};
}

bool SameFieldType(const std::string& a, const std::string& b) {
  auto normal = [](const std::string& type) {
    const std::string t = Upper(type);
    if (t == "I") return std::string("N");
    if (t == "X") return std::string("M");
    return t;
  };
  return normal(a) == normal(b);
}

std::optional<bool> TableMatchesDef(xbase::Data4 table, const TableDef& def, bool checkLengths) {
  if (def.TableName.empty() || def.Skip) return std::nullopt;
  const int count = xbase::d4numFields(table);
  if (count != static_cast<int>(def.Fields.size())) return false;
  for (int j = 1; j <= count; ++j) {
    const xbase::Field4 field = xbase::d4fieldJ(table, j);
    const std::string name = Lower(Trim(xbase::f4name(field)));
    const auto match = std::find_if(def.Fields.begin(), def.Fields.end(),
                                    [&](const FieldDef& f) { return Lower(Trim(f.Name)) == name; });
    if (match == def.Fields.end()) return false;
    if (!SameFieldType(std::string(1, xbase::f4type(field)), match->Type)) return false;
    if (checkLengths && xbase::f4len(field) != match->Len) return false;
  }
  for (const auto& tag : def.Tags) {
    if (xbase::d4tag(table, tag.Name) == 0) return false;
  }
  return true;
}

std::string GetTagValue(const TableDef& def, xbase::Data4 table, const std::string& fallback) {
  if (def.KeyField.empty()) return fallback;
  std::string result;
  for (const auto& tag : def.Tags) {
    if (Lower(tag.Name) != def.KeyField) continue;
    result.clear();
    const xbase::Expr4 expr = xbase::expr4parse(table, tag.Expression);
    if (expr != 0) {
      result = expr4str(expr);
      xbase::expr4free(expr);
    }
  }
  return result;
}

}  // namespace tolvarin
