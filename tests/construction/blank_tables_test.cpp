#include "construction/blank_tables.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "construction/schema.h"
#include "core/files.h"
#include "core/settings.h"
#include "core/strings.h"
#include "core/text_cipher.h"
#include "core/xml.h"
#include "data/codebase.h"
#include "data/key_text.h"
#include "support/test_support.h"

namespace tolvarin {
namespace {

namespace fs = std::filesystem;
using testing_support::TempDir;

const char* const kDefaultDocument =
    "<printopt><print_exam>True</print_exam><exam_columns>0</exam_columns><bold_correct_answers>False</bo"
    "ld_correct_answers><lang_switch>0</lang_switch><student_answer_sheet>False</student_answer_sheet><te"
    "acher_answer_key>True</teacher_answer_key><answer_page_columns>2</answer_page_columns><reference_tab"
    "les>False</reference_tables><quest_id_list_by_num>False</quest_id_list_by_num><quest_id_list_by_exam"
    ">False</quest_id_list_by_exam><quest_gen_by_quest>False</quest_gen_by_quest><quest_gen_by_cat>False<"
    "/quest_gen_by_cat><num_versions>1</num_versions><num_copies>1</num_copies><first_quest_num>1</first_"
    "quest_num><first_page_num>1</first_page_num><question_order>0</question_order><mult_choice_first>Fal"
    "se</mult_choice_first><answer_order>0</answer_order><header1><left></left><center></center><right></"
    "right></header1><header2><left></left><center></center><right></right></header2><headers_after_page_"
    "1>0</headers_after_page_1><footer><left></left><center></center><right></right></footer><version_lab"
    "els>0</version_labels><go_on_stop_enabled>False</go_on_stop_enabled><quest_num_format>1</quest_num_f"
    "ormat><show_answer_blanks>False</show_answer_blanks><show_question_id>False</show_question_id><answe"
    "r_choices>3</answer_choices><answer_layout>1</answer_layout><answer_choice_format>3</answer_choice_f"
    "ormat><question_spacing>1</question_spacing><answer_spacing>0</answer_spacing><free_resp_answer_line"
    "s>1</free_resp_answer_lines><answer_lines_on_test>False</answer_lines_on_test><answer_lines_on_sheet"
    ">False</answer_lines_on_sheet><draw_answer_lines>False</draw_answer_lines><quest_font>Times New Roma"
    "n</quest_font><quest_font_size>12</quest_font_size><quest_font_bold>False</quest_font_bold><quest_nu"
    "m_font>Times New Roman</quest_num_font><quest_num_font_size>12</quest_num_font_size><quest_num_font_"
    "bold>False</quest_num_font_bold><answer_font>Times New Roman</answer_font><answer_font_size>12</answ"
    "er_font_size><answer_font_bold>False</answer_font_bold><answer_choice_font>Times New Roman</answer_c"
    "hoice_font><answer_choice_font_size>12</answer_choice_font_size><answer_choice_font_bold>False</answ"
    "er_choice_font_bold><header_font>Times New Roman</header_font><header_font_size>14</header_font_size"
    "><header_font_bold>True</header_font_bold></printopt>";

TEST(PrintOptDocument, DefaultDocumentIsExactlyTheListedOne) {
  EXPECT_EQ(DefaultPrintOptXml(), kDefaultDocument);
}

// The value a converted document holds for one element (the group content for groups).
std::string ConvertedValue(const OldPrintOptions& old, const std::string& tag, const PrintingFonts& fonts = {}) {
  for (const auto& e : ConvertPrintOptions(old, fonts)) {
    if (e.Tag != tag) continue;
    if (e.Children.empty()) return e.Value;
    std::string joined;
    for (const auto& [child, value] : e.Children) joined += child + "=" + value + ";";
    return joined;
  }
  ADD_FAILURE() << "no element " << tag;
  return "";
}

TEST(PrintOptDocument, ConversionKeepsTheElementsOfTheDefaultDocumentInOrder) {
  const auto converted = ConvertPrintOptions({}, {});
  const auto defaults = DefaultPrintOptElements();
  ASSERT_EQ(converted.size(), defaults.size());
  ASSERT_EQ(converted.size(), 52u);
  for (size_t i = 0; i < converted.size(); ++i) EXPECT_EQ(converted[i].Tag, defaults[i].Tag) << i;
}

TEST(PrintOptDocument, ConversionFollowsTheBitRulesFieldByField) {
  struct Case {
    const char* tag;
    OldPrintOptions old;
    std::string value;
  };
  auto with = [](auto set) {
    OldPrintOptions o;
    set(o);
    return o;
  };
  const std::vector<Case> cases = {
      {"print_exam", with([](auto& o) { o.PrintType = 0; }), "True"},
      {"print_exam", with([](auto& o) { o.PrintType = 1024; }), "False"},
      {"exam_columns", with([](auto& o) { o.TestOpt = 0; }), "0"},
      {"exam_columns", with([](auto& o) { o.TestOpt = 32; }), "1"},
      {"exam_columns", with([](auto& o) { o.TestOpt = 1; }), "2"},
      {"exam_columns", with([](auto& o) { o.TestOpt = 33; }), "0"},
      {"exam_columns", with([](auto& o) { o.TestOpt = 32 + 4; }), "1"},
      {"bold_correct_answers", with([](auto& o) { o.TestOpt = 4; }), "True"},
      {"bold_correct_answers", with([](auto& o) { o.TestOpt = 3; }), "False"},
      {"lang_switch", with([](auto& o) { o.TestOpt = -1; }), "0"},
      {"student_answer_sheet", with([](auto& o) { o.PrintType = 1; }), "True"},
      {"teacher_answer_key", with([](auto& o) { o.PrintType = 4; }), "True"},
      {"teacher_answer_key", with([](auto& o) { o.PrintType = 1; }), "False"},
      {"answer_page_columns", with([](auto& o) { o.Appendice = 16; }), "1"},
      {"answer_page_columns", with([](auto& o) { o.Appendice = 0; }), "2"},
      {"answer_page_columns", with([](auto& o) { o.Appendice = 48; }), "4"},
      {"answer_page_columns", with([](auto& o) { o.Appendice = 32; }), "2"},
      {"reference_tables", with([](auto& o) { o.TestOpt = 16; }), "True"},
      {"quest_id_list_by_num", with([](auto& o) { o.Appendice = 4; }), "True"},
      {"quest_id_list_by_exam", with([](auto& o) { o.Appendice = 8; }), "True"},
      {"quest_id_list_by_exam", with([](auto& o) { o.Appendice = 4; }), "False"},
      {"quest_gen_by_quest", with([](auto& o) { o.Appendice = 1; }), "True"},
      {"quest_gen_by_cat", with([](auto& o) { o.Appendice = 2; }), "True"},
      {"num_versions", with([](auto& o) { o.TestOpt = -1; }), "1"},
      {"first_page_num", with([](auto& o) { o.TestOpt = -1; }), "1"},
      {"question_order", with([](auto& o) { o.TestOpt = 0; }), "0"},
      {"question_order", with([](auto& o) { o.TestOpt = 256; }), "1"},
      {"question_order", with([](auto& o) { o.TestOpt = 8; }), "2"},
      {"question_order", with([](auto& o) { o.TestOpt = 264; }), "0"},
      {"mult_choice_first", with([](auto& o) { o.TestOpt = 264; }), "True"},
      {"mult_choice_first", with([](auto& o) { o.TestOpt = 256; }), "False"},
      {"answer_order", with([](auto& o) { o.PrintType = 512; }), "1"},
      {"answer_order", with([](auto& o) { o.PrintType = 511; }), "0"},
      {"header1", with([](auto& o) { o.HeaderL1 = " a "; o.HeaderC1 = "b  "; o.HeaderR1 = "c"; }),
       "left=a;center=b;right=c;"},
      {"header2", with([](auto& o) { o.HeaderL2 = "x"; o.HeaderR2 = " z"; }), "left=x;center=;right=z;"},
      {"headers_after_page_1", with([](auto& o) { o.PrintType = 256; }), "1"},
      {"headers_after_page_1", with([](auto& o) { o.PrintType = 255; }), "0"},
      {"footer", with([](auto& o) { o.Footer1 = "left "; o.Footer2 = " right"; }), "left=left;center=;right=right;"},
      {"version_labels", with([](auto& o) { o.PrintType2 = 4; }), "1"},
      {"version_labels", with([](auto& o) { o.PrintType2 = 3; }), "0"},
      {"go_on_stop_enabled", with([](auto& o) { o.PrintType = -1; }), "False"},
      {"quest_num_format", with([](auto&) {}), "1"},
      {"show_answer_blanks", with([](auto& o) { o.PrintType = 2048; }), "True"},
      {"show_question_id", with([](auto& o) { o.TestOpt = 128; }), "True"},
      {"answer_choices", with([](auto& o) { o.PrintType = 64; }), "0"},
      {"answer_choices", with([](auto& o) { o.PrintType = 192; }), "1"},
      {"answer_choices", with([](auto& o) { o.PrintType = 0; }), "3"},
      {"answer_choices", with([](auto& o) { o.PrintType = 128; }), "0"},
      {"answer_layout", with([](auto&) {}), "1"},
      {"answer_choice_format", with([](auto&) {}), "3"},
      {"question_spacing", with([](auto& o) { o.NumbSpcMc = 2; }), "2"},
      {"question_spacing", with([](auto& o) { o.NumbSpcMc = 3; }), "0"},
      {"question_spacing", with([](auto& o) { o.NumbSpcMc = -1; }), "0"},
      {"answer_spacing", with([](auto&) {}), "0"},
      {"free_resp_answer_lines", with([](auto& o) { o.NumbSpcFr = 7; }), "7"},
      {"answer_lines_on_test", with([](auto& o) { o.PrintType2 = 1; }), "True"},
      {"answer_lines_on_sheet", with([](auto& o) { o.PrintType2 = 2; }), "True"},
      {"answer_lines_on_sheet", with([](auto& o) { o.PrintType2 = 1; }), "False"},
      {"draw_answer_lines", with([](auto& o) { o.TestOpt = 2; }), "True"},
      {"quest_font_bold", with([](auto&) {}), "False"},
      {"header_font_bold", with([](auto&) {}), "True"},
  };
  for (const Case& c : cases) EXPECT_EQ(ConvertedValue(c.old, c.tag), c.value) << c.tag;
}

TEST(PrintOptDocument, ConversionTakesTheHostFonts) {
  PrintingFonts fonts;
  fonts.PrimaryFontName = "Arial";
  fonts.PrimaryFontSize = 11;
  fonts.HeaderFontName = "Verdana";
  fonts.HeaderFontSize = 16;
  for (const char* tag : {"quest_font", "quest_num_font", "answer_font", "answer_choice_font"})
    EXPECT_EQ(ConvertedValue({}, tag, fonts), "Arial") << tag;
  for (const char* tag : {"quest_font_size", "quest_num_font_size", "answer_font_size", "answer_choice_font_size"})
    EXPECT_EQ(ConvertedValue({}, tag, fonts), "11") << tag;
  EXPECT_EQ(ConvertedValue({}, "header_font", fonts), "Verdana");
  EXPECT_EQ(ConvertedValue({}, "header_font_size", fonts), "16");
  EXPECT_EQ(ConvertedValue({}, "quest_font_size"), "10");  // default without host settings
}

TEST(PrintOptDocument, ConvertedDocumentWritesOneElementLinePerOption) {
  OldPrintOptions old;
  old.HeaderL1 = "Name";
  const std::string doc = PrintOptXmlDocument(ConvertPrintOptions(old, {}));
  EXPECT_EQ(doc.rfind("<printopt>\r\n<print_exam>True</print_exam>\r\n<exam_columns>0</exam_columns>\r\n", 0), 0u);
  EXPECT_NE(doc.find("<header1><left>Name</left><center></center><right></right></header1>\r\n"), std::string::npos);
  const std::string end = "<header_font_bold>True</header_font_bold>\r\n</printopt>\r\n";
  ASSERT_GE(doc.size(), end.size());
  EXPECT_EQ(doc.substr(doc.size() - end.size()), end);
  long position = 1;
  EXPECT_EQ(GetXmlValue(doc, "left", "?", position), "Name");
}

TEST(EditionGroups, MapEditionCodesToCourseGroups) {
  const std::vector<std::pair<int, int>> cases = {{1, 0}, {5, 0}, {15, 0}, {2, 2},  {3, 1},  {6, 1},  {7, 1},
                                                  {4, 3}, {8, 7}, {9, 5},  {10, 6}, {11, 4}, {0, -1}, {12, -1},
                                                  {13, -1}, {14, -1}, {16, -1}, {-3, -1}};
  for (const auto& [code, group] : cases) EXPECT_EQ(EditionGroup(code), group) << code;
}

class BlankTables : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (Engine().EngineHandle == 0) InitCodeBase();
  }
  void SetUp() override {
    DefineDatabase();
    blank_ = dir_.str() + "/Databases/Blank";
  }
  xbase::Data4 Open(const std::string& name) {
    const xbase::Data4 data = xbase::d4open(Engine().EngineHandle, blank_ + "/" + name + ".dbf");
    EXPECT_NE(data, 0) << name;
    return data;
  }

  TempDir dir_;
  std::string blank_;
};

TEST_F(BlankTables, CreatesEveryLiveTableThatConformsToItsSchemaEntry) {
  CreateBlankTables(blank_);  // makes the missing folders too
  int made = 0;
  for (const TableDef& def : TableDefs()) {
    const fs::path dbf = fs::path(blank_) / (def.TableName + ".dbf");
    if (def.Skip) {
      EXPECT_FALSE(fs::exists(dbf)) << def.TableName;
      continue;
    }
    ++made;
    ASSERT_TRUE(fs::exists(dbf)) << def.TableName;
    EXPECT_TRUE(fs::exists(fs::path(blank_) / (def.TableName + ".cdx"))) << def.TableName;
    const bool hasMemo =
        std::any_of(def.Fields.begin(), def.Fields.end(), [](const FieldDef& f) { return f.Type == "M"; });
    EXPECT_EQ(fs::exists(fs::path(blank_) / (def.TableName + ".fpt")), hasMemo) << def.TableName;
    xbase::Data4 data = Open(def.TableName);
    EXPECT_EQ(TableMatchesDef(data, def, true), true) << def.TableName;
    for (const TagDef& tag : def.Tags) {
      const xbase::Tag4 t = xbase::d4tag(data, tag.Name);
      ASSERT_NE(t, 0) << def.TableName << " " << tag.Name;
      EXPECT_EQ(xbase::t4expr(t), tag.Expression) << def.TableName << " " << tag.Name;
      EXPECT_EQ(xbase::t4unique(t), tag.Unique) << def.TableName << " " << tag.Name;
    }
    const long expectedRows = def.TableName == "users" ? 2 : def.TableName == "printopt" ? 1 : 0;
    EXPECT_EQ(xbase::d4recCount(data), expectedRows) << def.TableName;
    xbase::d4close(data);
  }
  EXPECT_EQ(made, 26);
  EXPECT_EQ(std::distance(fs::directory_iterator(blank_), fs::directory_iterator()),
            26 * 2 + 8);  // dbf and cdx each, fpt for the eight tables with memo fields
}

// Other FoxPro-compatible software reads these files: the dump tool's checks must find nothing.
TEST_F(BlankTables, PassTheTableChecksOfTheDumpTool) {
  // Beside the program, or in the build's bin folder two levels above this test program.
  fs::path xbdump = testing_support::TolvarinBinary().parent_path() / "xbdump";
  if (!fs::exists(xbdump)) xbdump = fs::read_symlink("/proc/self/exe").parent_path() / "../../bin/xbdump";
  if (!fs::exists(xbdump)) GTEST_SKIP() << "xbdump is not built";
  CreateBlankTables(blank_);
  std::string output;
  if (FILE* pipe = popen(("\"" + xbdump.string() + "\" \"" + blank_ + "\" 2>&1").c_str(), "r")) {
    char buffer[4096];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) output.append(buffer, n);
    EXPECT_EQ(pclose(pipe), 0);
  }
  EXPECT_NE(output.find("END tables=26 problems=0 CLEAN"), std::string::npos) << output;
  EXPECT_EQ(output.find("PROBLEM"), std::string::npos) << output;
}

TEST_F(BlankTables, UsersHoldTheTwoBuiltInUsersMasterFirst) {
  CreateBlankTables(blank_);
  const xbase::Data4 users = Open("users");
  const auto field = [&](const char* name) { return xbase::d4field(users, name); };
  struct Expected {
    const char* id;
    const char* name;
    const char* password;
  };
  const Expected expected[] = {{"0001001", "LATSEK", "580246"}, {kSecondUserID, kSecondUserName, kSecondPassword}};
  ASSERT_EQ(xbase::d4recCount(users), 2);
  for (long rec = 1; rec <= 2; ++rec) {
    ASSERT_EQ(xbase::d4go(users, rec), 0);
    const Expected& e = expected[rec - 1];
    EXPECT_EQ(Trim(xbase::f4str(field("user_id"))), e.id);
    EXPECT_EQ(Trim(xbase::f4str(field("user_name"))), e.name);
    const std::string stored = xbase::f4str(field("password"));
    EXPECT_EQ(stored[0], kCipherMarker);
    EXPECT_EQ(stored.find(e.password), std::string::npos);
    // Read back as the login reads it: trimmed, then deciphered.
    EXPECT_EQ(DecryptText(Trim(stored)), e.password) << e.name;
    EXPECT_TRUE(xbase::f4true(field("edit_pswd")));
  }
  EXPECT_EQ(std::string(kSecondUserName).size(), 6u);
  xbase::d4close(users);
}

TEST_F(BlankTables, PrintOptHoldsTheDefaultRowWithItsDocument) {
  CreateBlankTables(blank_);
  const xbase::Data4 printopt = Open("printopt");
  ASSERT_EQ(xbase::d4top(printopt), 0);
  EXPECT_EQ(xbase::f4str(xbase::d4field(printopt, "user_id")), "9999999");
  EXPECT_EQ(xbase::f4str(xbase::d4field(printopt, "print_id")), "0000001");
  EXPECT_EQ(Trim(xbase::f4str(xbase::d4field(printopt, "descript"))), "Default");
  EXPECT_EQ(Trim(xbase::f4str(xbase::d4field(printopt, "default"))), "");
  EXPECT_EQ(xbase::f4memoStr(xbase::d4field(printopt, "xml")), kDefaultDocument);
  xbase::d4close(printopt);
}

TEST_F(BlankTables, SecondRunReplacesEveryTableAndClearsOtherFiles) {
  CreateBlankTables(blank_);
  testing_support::WriteFile(fs::path(blank_) / "stray.txt", "x");
  fs::create_directories(fs::path(blank_) / "sub");
  testing_support::WriteFile(fs::path(blank_) / "sub" / "kept.txt", "y");
  {
    const xbase::Data4 exiles = Open("exiles");
    xbase::d4appendStart(exiles, 0);
    xbase::d4blank(exiles);
    xbase::d4append(exiles);
    xbase::d4close(exiles);
  }
  CreateBlankTables(blank_);
  EXPECT_FALSE(fs::exists(fs::path(blank_) / "stray.txt"));
  EXPECT_TRUE(fs::exists(fs::path(blank_) / "sub" / "kept.txt"));  // no recursion
  const xbase::Data4 exiles = Open("exiles");
  EXPECT_EQ(xbase::d4recCount(exiles), 0);
  xbase::d4close(exiles);
  const xbase::Data4 users = Open("users");
  EXPECT_EQ(xbase::d4recCount(users), 2);
  xbase::d4close(users);
}

TEST_F(BlankTables, BuildPrintOptXmlConvertsAnOldRowWithTheHostFonts) {
  Settings().AppPath = dir_.str();
  testing_support::WriteFile(dir_.path() / "kestal.ini",
                             "[Printing]\r\nPrimary FontName=Arial\r\nPrimary FontSize=11\r\n");
  std::vector<FieldDef> oldFields = {MakeFieldDef("print_id", 7, 0),   MakeFieldDef("testOpt", 5, 1),
                                     MakeFieldDef("printType", 5, 1),  MakeFieldDef("printType2", 5, 1),
                                     MakeFieldDef("appendice", 5, 1),  MakeFieldDef("numbspcmc", 2, 1),
                                     MakeFieldDef("numbspcfr", 2, 1),  MakeFieldDef("headerl1", 40, 0),
                                     MakeFieldDef("headerc1", 40, 0),  MakeFieldDef("headerr1", 40, 0),
                                     MakeFieldDef("headerl2", 40, 0),  MakeFieldDef("headerc2", 40, 0),
                                     MakeFieldDef("headerr2", 40, 0),  MakeFieldDef("footer1", 40, 0),
                                     MakeFieldDef("footer2", 40, 0)};
  fs::create_directories(dir_.path() / "old");
  const xbase::Data4 old = d4create(dir_.str() + "/old/printopt.dbf", oldFields, {});
  ASSERT_NE(old, 0);
  xbase::d4appendStart(old, 0);
  xbase::d4blank(old);
  xbase::f4assignLong(xbase::d4field(old, "testOpt"), 32 + 4);
  xbase::f4assignLong(xbase::d4field(old, "printType"), 1024 + 192);
  xbase::f4assignLong(xbase::d4field(old, "numbspcfr"), 3);
  xbase::f4assign(xbase::d4field(old, "headerl1"), "Period");
  xbase::f4assign(xbase::d4field(old, "footer2"), "Page");
  ASSERT_EQ(xbase::d4append(old), 0);
  ASSERT_EQ(xbase::d4top(old), 0);

  const TableDef def = GetTableDef("printopt");
  const xbase::Data4 fresh = d4create(dir_.str() + "/printopt.dbf", def.Fields, def.Tags);
  ASSERT_NE(fresh, 0);
  xbase::d4appendStart(fresh, 0);
  xbase::d4blank(fresh);
  BuildPrintOptXml(old, fresh);
  ASSERT_EQ(xbase::d4append(fresh), 0);
  ASSERT_EQ(xbase::d4top(fresh), 0);
  const std::string doc = xbase::f4memoStr(xbase::d4field(fresh, "xml"));
  auto value = [&doc](const char* tag) {
    long position = 1;
    return GetXmlValue(doc, tag, "?", position);
  };
  EXPECT_EQ(value("print_exam"), "False");
  EXPECT_EQ(value("exam_columns"), "1");
  EXPECT_EQ(value("bold_correct_answers"), "True");
  EXPECT_EQ(value("answer_choices"), "1");
  EXPECT_EQ(value("free_resp_answer_lines"), "3");
  EXPECT_EQ(value("left"), "Period");
  EXPECT_EQ(value("footer"), "<left></left><center></center><right>Page</right>");
  EXPECT_EQ(value("quest_font"), "Arial");
  EXPECT_EQ(value("answer_choice_font_size"), "11");
  EXPECT_EQ(value("header_font"), "Times New Roman");
  EXPECT_EQ(value("header_font_size"), "14");
  xbase::d4close(old);
  xbase::d4close(fresh);
}

TEST_F(BlankTables, AddUserPermissionOnlyForUsersWhoCannotEditPasswords) {
  CreateBlankTables(blank_);
  const std::string folder = dir_.str() + "/brand";
  fs::create_directories(folder);
  for (const char* ext : {".dbf", ".cdx"})
    fs::copy_file(fs::path(blank_) / (std::string("userpermissions") + ext),
                  fs::path(folder) / (std::string("userpermissions") + ext));
  fs::copy_file(fs::path(blank_) / "users.dbf", fs::path(folder) / "users.dbf");
  fs::copy_file(fs::path(blank_) / "users.cdx", fs::path(folder) / "users.cdx");
  const xbase::Data4 users = xbase::d4open(Engine().EngineHandle, folder + "/users.dbf");
  ASSERT_NE(users, 0);
  ASSERT_EQ(xbase::d4go(users, 1), 0);
  AddUserPermission(users, folder, "0001001", 42);  // edit_pswd is true: nothing
  xbase::f4assign(xbase::d4field(users, "edit_pswd"), "F");
  AddUserPermission(users, folder, "0000005", 42);
  AddUserPermission(users, folder, "0000005", 42);  // a pass run again after a stop adds no second row
  xbase::d4close(users);

  const xbase::Data4 permissions = xbase::d4open(Engine().EngineHandle, folder + "/userpermissions.dbf");
  ASSERT_NE(permissions, 0);
  ASSERT_EQ(xbase::d4recCount(permissions), 1);
  ASSERT_EQ(xbase::d4top(permissions), 0);
  EXPECT_EQ(xbase::f4str(xbase::d4field(permissions, "user_id")), "0000005");
  EXPECT_EQ(xbase::f4str(xbase::d4field(permissions, "perm_type")), "A");
  const std::string permID = TrimTrailingWhitespace(xbase::f4str(xbase::d4field(permissions, "perm_id")));
  EXPECT_EQ(DecryptText(permID), FormatID(42));
  xbase::d4close(permissions);
}

}  // namespace
}  // namespace tolvarin
