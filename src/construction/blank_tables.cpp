#include "construction/blank_tables.h"

#include "construction/schema.h"
#include "core/files.h"
#include "core/ini_file.h"
#include "core/paths.h"
#include "core/settings.h"
#include "core/strings.h"
#include "core/text_cipher.h"
#include "core/xml.h"
#include "data/codebase.h"
#include "data/key_text.h"
#include "data/record_ops.h"
#include "data/table_records.h"
#include "data/table_registry.h"

namespace tolvarin {
namespace {

const char* Bool(bool value) { return value ? "True" : "False"; }

bool Bit(std::int32_t field, std::int32_t mask) { return (field & mask) != 0; }

// field AND mask looked up in (masked value, result) pairs; otherwise the fallback.
int Masked(std::int32_t field, std::int32_t mask, std::initializer_list<std::pair<int, int>> cases, int fallback) {
  const int masked = field & mask;
  for (const auto& [from, to] : cases) {
    if (masked == from) return to;
  }
  return fallback;
}

PrintOptElement Value(const char* tag, const std::string& value) { return {tag, value, {}}; }
PrintOptElement Value(const char* tag, int value) { return {tag, std::to_string(value), {}}; }
PrintOptElement Group(const char* tag, const std::string& left, const std::string& center, const std::string& right) {
  return {tag, "", {{"left", left}, {"center", center}, {"right", right}}};
}

std::string GroupContent(const PrintOptElement& element) {
  std::string content;
  for (const auto& [tag, value] : element.Children) content += MakeXmlElement(tag, value);
  return content;
}

std::string ElementContent(const PrintOptElement& element) {
  return element.Children.empty() ? element.Value : GroupContent(element);
}

void AppendUser(xbase::Data4 users, const char* id, const char* name, const char* password) {
  AppendBlank(users);
  f4assign(xbase::d4field(users, "user_id"), id);
  f4assign(xbase::d4field(users, "user_name"), name);
  f4assign(xbase::d4field(users, "password"), EncryptText(password));
  f4assign(xbase::d4field(users, "edit_pswd"), "T");
  Engine().LastEngineCode = xbase::d4append(users);
}

void AppendDefaultPrintOpt(xbase::Data4 printopt) {
  AppendBlank(printopt);
  f4assign(xbase::d4field(printopt, "user_id"), "9999999");
  f4assign(xbase::d4field(printopt, "print_id"), "0000001");
  f4assign(xbase::d4field(printopt, "descript"), "Default");
  xbase::f4memoAssign(xbase::d4field(printopt, "xml"), DefaultPrintOptXml());
  Engine().LastEngineCode = xbase::d4append(printopt);
}

std::int32_t NumberField(xbase::Data4 table, const char* name) {
  const xbase::Field4 field = xbase::d4field(table, name);
  return field == 0 ? 0 : static_cast<std::int32_t>(xbase::f4long(field));
}

std::string TextField(xbase::Data4 table, const char* name) {
  const xbase::Field4 field = xbase::d4field(table, name);
  return field == 0 ? "" : Trim(f4str(field));
}

}  // namespace

void CreateBlankTables(const std::string& blankFolder) {
  if (FolderExists(blankFolder)) {
    DeleteFolderFiles(blankFolder, false, "");
  } else {
    CreateFolderTree(blankFolder);
  }
  for (const TableDef& def : TableDefs()) {
    if (def.Skip) continue;
    xbase::Data4 data = d4create(JoinPath(blankFolder, def.TableName + ".dbf"), def.Fields, def.Tags);
    if (data == 0) continue;
    if (EqualsNoCase(def.TableName, "users")) {
      AppendUser(data, kMasterUserID, kMasterUserName, kMasterPassword);
      AppendUser(data, kSecondUserID, kSecondUserName, kSecondPassword);
    } else if (EqualsNoCase(def.TableName, "printopt")) {
      AppendDefaultPrintOpt(data);
    }
    CloseTable(data);
  }
}

std::vector<PrintOptElement> DefaultPrintOptElements() {
  return {
      Value("print_exam", "True"),
      Value("exam_columns", "0"),
      Value("bold_correct_answers", "False"),
      Value("lang_switch", "0"),
      Value("student_answer_sheet", "False"),
      Value("teacher_answer_key", "True"),
      Value("answer_page_columns", "2"),
      Value("reference_tables", "False"),
      Value("quest_id_list_by_num", "False"),
      Value("quest_id_list_by_exam", "False"),
      Value("quest_gen_by_quest", "False"),
      Value("quest_gen_by_cat", "False"),
      Value("num_versions", "1"),
      Value("num_copies", "1"),
      Value("first_quest_num", "1"),
      Value("first_page_num", "1"),
      Value("question_order", "0"),
      Value("mult_choice_first", "False"),
      Value("answer_order", "0"),
      Group("header1", "", "", ""),
      Group("header2", "", "", ""),
      Value("headers_after_page_1", "0"),
      Group("footer", "", "", ""),
      Value("version_labels", "0"),
      Value("go_on_stop_enabled", "False"),
      Value("quest_num_format", "1"),
      Value("show_answer_blanks", "False"),
      Value("show_question_id", "False"),
      Value("answer_choices", "3"),
      Value("answer_layout", "1"),
      Value("answer_choice_format", "3"),
      Value("question_spacing", "1"),
      Value("answer_spacing", "0"),
      Value("free_resp_answer_lines", "1"),
      Value("answer_lines_on_test", "False"),
      Value("answer_lines_on_sheet", "False"),
      Value("draw_answer_lines", "False"),
      Value("quest_font", "Times New Roman"),
      Value("quest_font_size", "12"),
      Value("quest_font_bold", "False"),
      Value("quest_num_font", "Times New Roman"),
      Value("quest_num_font_size", "12"),
      Value("quest_num_font_bold", "False"),
      Value("answer_font", "Times New Roman"),
      Value("answer_font_size", "12"),
      Value("answer_font_bold", "False"),
      Value("answer_choice_font", "Times New Roman"),
      Value("answer_choice_font_size", "12"),
      Value("answer_choice_font_bold", "False"),
      Value("header_font", "Times New Roman"),
      Value("header_font_size", "14"),
      Value("header_font_bold", "True"),
  };
}

std::string DefaultPrintOptXml() {
  std::string document = "<printopt>";
  for (const auto& element : DefaultPrintOptElements()) document += MakeXmlElement(element.Tag, ElementContent(element));
  return document + "</printopt>";
}

std::vector<PrintOptElement> ConvertPrintOptions(const OldPrintOptions& old, const PrintingFonts& fonts) {
  const int spacing = (old.NumbSpcMc >= 0 && old.NumbSpcMc <= 2) ? old.NumbSpcMc : 0;
  return {
      Value("print_exam", Bool(!Bit(old.PrintType, 1024))),
      Value("exam_columns", Masked(old.TestOpt, 33, {{0, 0}, {32, 1}, {1, 2}}, 0)),
      Value("bold_correct_answers", Bool(Bit(old.TestOpt, 4))),
      Value("lang_switch", 0),
      Value("student_answer_sheet", Bool(Bit(old.PrintType, 1))),
      Value("teacher_answer_key", Bool(Bit(old.PrintType, 4))),
      Value("answer_page_columns", Masked(old.Appendice, 48, {{16, 1}, {0, 2}, {48, 4}}, 2)),
      Value("reference_tables", Bool(Bit(old.TestOpt, 16))),
      Value("quest_id_list_by_num", Bool(Bit(old.Appendice, 4))),
      Value("quest_id_list_by_exam", Bool(Bit(old.Appendice, 8))),
      Value("quest_gen_by_quest", Bool(Bit(old.Appendice, 1))),
      Value("quest_gen_by_cat", Bool(Bit(old.Appendice, 2))),
      Value("num_versions", 1),
      Value("num_copies", 1),
      Value("first_quest_num", 1),
      Value("first_page_num", 1),
      Value("question_order", Masked(old.TestOpt, 264, {{0, 0}, {256, 1}, {8, 2}}, 0)),
      Value("mult_choice_first", Bool((old.TestOpt & 264) == 264)),
      Value("answer_order", Masked(old.PrintType, 512, {{0, 0}, {512, 1}}, 0)),
      Group("header1", Trim(old.HeaderL1), Trim(old.HeaderC1), Trim(old.HeaderR1)),
      Group("header2", Trim(old.HeaderL2), Trim(old.HeaderC2), Trim(old.HeaderR2)),
      Value("headers_after_page_1", Masked(old.PrintType, 256, {{0, 0}, {256, 1}}, 0)),
      Group("footer", Trim(old.Footer1), "", Trim(old.Footer2)),
      Value("version_labels", Masked(old.PrintType2, 4, {{0, 0}, {4, 1}}, 0)),
      Value("go_on_stop_enabled", "False"),
      Value("quest_num_format", 1),
      Value("show_answer_blanks", Bool(Bit(old.PrintType, 2048))),
      Value("show_question_id", Bool(Bit(old.TestOpt, 128))),
      Value("answer_choices", Masked(old.PrintType, 192, {{64, 0}, {192, 1}, {0, 3}}, 0)),
      Value("answer_layout", 1),
      Value("answer_choice_format", 3),
      Value("question_spacing", spacing),
      Value("answer_spacing", 0),
      Value("free_resp_answer_lines", old.NumbSpcFr),
      Value("answer_lines_on_test", Bool(Bit(old.PrintType2, 1))),
      Value("answer_lines_on_sheet", Bool(Bit(old.PrintType2, 2))),
      Value("draw_answer_lines", Bool(Bit(old.TestOpt, 2))),
      Value("quest_font", fonts.PrimaryFontName),
      Value("quest_font_size", fonts.PrimaryFontSize),
      Value("quest_font_bold", "False"),
      Value("quest_num_font", fonts.PrimaryFontName),
      Value("quest_num_font_size", fonts.PrimaryFontSize),
      Value("quest_num_font_bold", "False"),
      Value("answer_font", fonts.PrimaryFontName),
      Value("answer_font_size", fonts.PrimaryFontSize),
      Value("answer_font_bold", "False"),
      Value("answer_choice_font", fonts.PrimaryFontName),
      Value("answer_choice_font_size", fonts.PrimaryFontSize),
      Value("answer_choice_font_bold", "False"),
      Value("header_font", fonts.HeaderFontName),
      Value("header_font_size", fonts.HeaderFontSize),
      Value("header_font_bold", "True"),
  };
}

std::string PrintOptXmlDocument(const std::vector<PrintOptElement>& elements) {
  std::string lines;
  for (const auto& element : elements) lines += MakeXmlLine(element.Tag, ElementContent(element));
  return MakeXmlLine("printopt", "\r\n" + lines);
}

PrintingFonts ReadPrintingFonts() {
  PrintingFonts fonts;
  const IniFileState previous = CurrentIniFile();
  IniSetFile("Printing", JoinPath(Settings().AppPath, "Kestal.INI"));
  fonts.PrimaryFontName = IniGetString("Primary FontName", fonts.PrimaryFontName);
  fonts.PrimaryFontSize = IniGetInt("Primary FontSize", fonts.PrimaryFontSize);
  fonts.HeaderFontName = IniGetString("First Test Page Header FontName", fonts.HeaderFontName);
  fonts.HeaderFontSize = IniGetInt("First Test Page Header FontSize", fonts.HeaderFontSize);
  // Reading the host's settings must not move other readers off their file.
  if (previous.set) IniSetFile(previous.section, previous.file);
  return fonts;
}

void BuildPrintOptXml(xbase::Data4 oldTable, xbase::Data4 newTable) {
  OldPrintOptions old;
  old.TestOpt = NumberField(oldTable, "testOpt");
  old.PrintType = NumberField(oldTable, "printType");
  old.PrintType2 = NumberField(oldTable, "printType2");
  old.Appendice = NumberField(oldTable, "appendice");
  old.NumbSpcMc = NumberField(oldTable, "numbspcmc");
  old.NumbSpcFr = NumberField(oldTable, "numbspcfr");
  old.HeaderL1 = TextField(oldTable, "headerl1");
  old.HeaderC1 = TextField(oldTable, "headerc1");
  old.HeaderR1 = TextField(oldTable, "headerr1");
  old.HeaderL2 = TextField(oldTable, "headerl2");
  old.HeaderC2 = TextField(oldTable, "headerc2");
  old.HeaderR2 = TextField(oldTable, "headerr2");
  old.Footer1 = TextField(oldTable, "footer1");
  old.Footer2 = TextField(oldTable, "footer2");
  const std::string document = PrintOptXmlDocument(ConvertPrintOptions(old, ReadPrintingFonts()));
  xbase::f4memoAssign(xbase::d4field(newTable, "xml"), document);
}

bool AddUserPermission(xbase::Data4 usersTable, const std::string& folder, const std::string& userID,
                       std::int32_t number) {
  if (xbase::f4true(xbase::d4field(usersTable, "edit_pswd"))) return true;
  UserPermissionsRecord permissions;
  OpenUserPermissionsTable(folder, permissions);
  if (permissions.Data == 0) return false;
  // A pass that was stopped after this row was written runs again: keep one row.
  // The row is known by its content, read from the rows themselves, since an older
  // table may lack the tag over them.
  const std::string permID = EncryptText(FormatID(number));
  bool held = false;
  xbase::d4tagSelect(permissions.Data, 0);
  for (int rc = xbase::d4top(permissions.Data); rc == xbase::kSuccess && !held;
       rc = xbase::d4skip(permissions.Data, 1)) {
    held = !xbase::d4deleted(permissions.Data) && Trim(f4str(permissions.User_ID)) == Trim(userID) &&
           Trim(f4str(permissions.Perm_Type)) == "A" && Trim(f4str(permissions.Perm_ID)) == Trim(permID);
  }
  bool written = true;
  if (!held) {
    AppendBlank(permissions.Data);
    f4assign(permissions.User_ID, userID);
    f4assign(permissions.Perm_Type, "A");
    f4assign(permissions.Perm_ID, permID);
    Engine().LastEngineCode = xbase::d4append(permissions.Data);
    written = Engine().LastEngineCode == xbase::kSuccess;
  }
  CloseTableRecord(permissions);
  return written;
}

int EditionGroup(int editionCode) {
  switch (editionCode) {
    case 1: case 5: case 15: return 0;
    case 2: return 2;
    case 3: case 6: case 7: return 1;
    case 4: return 3;
    case 8: return 7;
    case 9: return 5;
    case 10: return 6;
    case 11: return 4;
    default: return -1;
  }
}

}  // namespace tolvarin
