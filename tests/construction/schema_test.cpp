#include "construction/schema.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "data/codebase.h"
#include "support/test_support.h"

namespace tolvarin {
namespace {

using testing_support::TempDir;

const FieldDef* FindField(const TableDef& def, const std::string& name) {
  for (const auto& f : def.Fields)
    if (f.Name == name) return &f;
  return nullptr;
}

const TagDef* FindTag(const TableDef& def, const std::string& name) {
  for (const auto& t : def.Tags)
    if (t.Name == name) return &t;
  return nullptr;
}

TEST(Schema, DefineDatabaseFillsThirtySevenEntriesInSchemaOrderFromNothing) {
  DefineDatabase();
  TableDefs().front().TableName = "changed";
  DefineDatabase();
  const auto& defs = TableDefs();
  ASSERT_EQ(defs.size(), 37u);
  const std::vector<std::string> obsolete = {"status",  "control", "primary", "control2", "tables",      "foxuser",
                                             "unit",    "topic",   "chapter", "subtopic", "brandcontrol"};
  for (size_t i = 0; i < obsolete.size(); ++i) {
    EXPECT_EQ(defs[i].TableName, obsolete[i]);
    EXPECT_TRUE(defs[i].Skip) << obsolete[i];
  }
  EXPECT_TRUE(defs[0].Fields.empty());
  EXPECT_EQ(defs[10].Kind, kKindCommon);
  EXPECT_EQ(defs[10].Fields.size(), 2u);  // brandcontrol keeps its unused layout
  const auto live = std::count_if(defs.begin(), defs.end(), [](const TableDef& d) { return !d.Skip; });
  EXPECT_EQ(live, 26);
  EXPECT_EQ(defs[11].TableName, "rftables");
  EXPECT_EQ(defs[36].TableName, "templates");
  for (const auto& d : defs) {
    if (d.Skip) continue;
    EXPECT_TRUE(d.Kind == kKindCommon || d.Kind == kKindCourse) << d.TableName;
    EXPECT_FALSE(d.Fields.empty()) << d.TableName;
    EXPECT_FALSE(d.Tags.empty()) << d.TableName;
    for (const auto& f : d.Fields) {
      EXPECT_EQ(f.Dec, 0);
      EXPECT_EQ(f.Nulls, 0);
    }
    for (const auto& t : d.Tags) {
      EXPECT_TRUE(t.Filter.empty());
      EXPECT_EQ(t.Descending, 0);
    }
  }
}

// The file-format details that are easiest to get wrong.
TEST(Schema, LayoutsKeepMemoWidthsMixedCaseNamesAndUniqueness) {
  DefineDatabase();
  struct FieldCase {
    const char* table;
    const char* field;
    const char* type;
    int length;
  };
  for (const FieldCase& c : std::vector<FieldCase>{{"descript", "descript", "M", 10},
                                                   {"memoattributes", "attr_value", "M", 4},
                                                   {"mathanswers", "answer1", "M", 4},
                                                   {"mathanswers", "solution", "M", 10},
                                                   {"mathtemplates", "blob", "M", 4},
                                                   {"racesettings", "data", "M", 4},
                                                   {"templates", "blob", "M", 4},
                                                   {"quests", "answer5", "M", 10},
                                                   {"printopt", "xml", "M", 10},
                                                   {"users", "edit_pswd", "L", 1},
                                                   {"exams", "date", "D", 8},
                                                   {"sesresults", "time", "N", 20},
                                                   {"students", "password", "C", 254}}) {
    const TableDef def = GetTableDef(c.table);
    const FieldDef* f = FindField(def, c.field);
    ASSERT_NE(f, nullptr) << c.table << "." << c.field;
    EXPECT_EQ(f->Type, c.type) << c.table << "." << c.field;
    EXPECT_EQ(f->Len, c.length) << c.table << "." << c.field;
  }
  EXPECT_EQ(GetTableDef("StanQues").TableName, "StanQues");
  EXPECT_NE(FindTag(GetTableDef("attributes"), "Name"), nullptr);
  EXPECT_NE(FindTag(GetTableDef("mathanswers"), "Order"), nullptr);
  EXPECT_NE(FindTag(GetTableDef("printopt"), "Default"), nullptr);
  EXPECT_EQ(FindTag(GetTableDef("exams"), "NAME_DATE")->Expression, "name+DTOC(date,1)");
  EXPECT_EQ(FindTag(GetTableDef("exams"), "USERUNITID")->Unique, 25);
  EXPECT_EQ(FindTag(GetTableDef("standard"), "STANDARDID")->Unique, 15);
  EXPECT_EQ(FindTag(GetTableDef("StanQues"), "STANDARDID")->Unique, 0);
  EXPECT_EQ(FindTag(GetTableDef("sesquests"), "SESVERQUEST")->Expression,
            "session_id+STR(version,2,0)+STR(order,3,0)");
  EXPECT_EQ(GetTableDef("sesquests").OldName, "sesquest");
  EXPECT_EQ(GetTableDef("sesresults").OldName, "sesresul");
  EXPECT_EQ(GetTableDef("sesresults").KeyField, "sesquesstu");
  EXPECT_EQ(GetTableDef("students").NameField, "student_num");
  EXPECT_EQ(GetTableDef("standard").Key2Field, "node_id");
  EXPECT_EQ(GetTableDef("StanQues").Key2Field, "quest_id");
  EXPECT_EQ(GetTableDef("users").Kind, kKindCommon);
  EXPECT_EQ(GetTableDef("printopt").Kind, kKindCourse);
}

TEST(Schema, MakeFieldDefMapsTypeCodes) {
  const std::map<int, std::string> expected = {{0, "C"}, {1, "N"}, {2, "M"}, {3, "L"},
                                               {4, "D"}, {5, "M"}, {6, ""},  {-1, ""}};
  for (const auto& [code, type] : expected) {
    const FieldDef f = MakeFieldDef("f", 9, code);
    EXPECT_EQ(f.Type, type) << code;
    EXPECT_EQ(f.Name, "f");
    EXPECT_EQ(f.Len, 9);
    EXPECT_EQ(f.Dec, 0);
    EXPECT_EQ(f.Nulls, 0);
  }
}

TEST(Schema, MakeTagDefSetsDescendingOnlyForPositiveFlags) {
  EXPECT_EQ(MakeTagDef("t", "a+b", 15, 1).Descending, 10);
  EXPECT_EQ(MakeTagDef("t", "a+b", 15, 0).Descending, 0);
  EXPECT_EQ(MakeTagDef("t", "a+b", 15, -1).Descending, 0);
  const TagDef t = MakeTagDef("t", "a+b", 25, 0);
  EXPECT_EQ(t.Unique, 25);
  EXPECT_EQ(t.Expression, "a+b");
  EXPECT_TRUE(t.Filter.empty());
}

TEST(Schema, GetTableDefIgnoresCaseAndHandsOutCopies) {
  DefineDatabase();
  EXPECT_EQ(GetTableDef("STANQUES").TableName, "StanQues");
  EXPECT_EQ(GetTableDef("stanques").TableName, "StanQues");
  const TableDef none = GetTableDef("nosuchtable");
  EXPECT_TRUE(none.TableName.empty());
  EXPECT_FALSE(none.Skip);
  EXPECT_TRUE(none.Fields.empty());
  EXPECT_TRUE(none.Tags.empty());
  TableDef copy = GetTableDef("users");
  copy.Fields.clear();
  EXPECT_EQ(GetTableDef("users").Fields.size(), 4u);
}

TEST(Schema, SameFieldTypeReadsIAsNAndXAsM) {
  struct Case {
    const char* a;
    const char* b;
    bool same;
  };
  for (const Case& c : std::vector<Case>{{"N", "N", true},
                                         {"I", "N", true},
                                         {"N", "I", true},
                                         {"X", "M", true},
                                         {"M", "X", true},
                                         {"I", "I", true},
                                         {"C", "N", false},
                                         {"M", "C", false},
                                         {"I", "M", false},
                                         {"X", "N", false},
                                         {"D", "L", false}}) {
    EXPECT_EQ(SameFieldType(c.a, c.b), c.same) << c.a << " " << c.b;
  }
}

// Tables made with the engine, to compare with schema entries.
class SchemaTable : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (Engine().EngineHandle == 0) InitCodeBase();
  }
  void SetUp() override { DefineDatabase(); }
  void TearDown() override {
    for (auto data : open_) xbase::d4close(data);
  }

  xbase::Data4 Create(const std::string& name, const std::vector<FieldDef>& fields, const std::vector<TagDef>& tags) {
    const xbase::Data4 data = d4create(dir_.str() + "/" + name + ".dbf", fields, tags);
    EXPECT_NE(data, 0) << name;
    open_.push_back(data);
    return data;
  }
  xbase::Data4 CreateFromDef(const TableDef& def) { return Create(def.TableName, def.Fields, def.Tags); }

  TempDir dir_;
  std::vector<xbase::Data4> open_;
};

TEST_F(SchemaTable, TableMatchesDefComparesFieldsByNameTypeAndLength) {
  const TableDef def = GetTableDef("classes");
  EXPECT_EQ(TableMatchesDef(CreateFromDef(def), def, true), true);

  TableDef reordered = def;
  std::reverse(reordered.Fields.begin(), reordered.Fields.end());
  EXPECT_EQ(TableMatchesDef(Create("reordered", reordered.Fields, def.Tags), def, true), true);

  TableDef more = def;
  more.Fields.push_back(MakeFieldDef("extra", 5, 0));
  EXPECT_EQ(TableMatchesDef(Create("more", more.Fields, def.Tags), def, true), false);

  TableDef fewer = def;
  fewer.Fields.pop_back();  // user_id; the tag on it goes too so the table can be made
  std::vector<TagDef> fewerTags;
  for (const auto& t : def.Tags)
    if (t.Name != "USER_ID") fewerTags.push_back(t);
  EXPECT_EQ(TableMatchesDef(Create("fewer", fewer.Fields, fewerTags), def, true), false);

  TableDef renamed = def;
  renamed.Fields[2].Name = "sectionx";
  EXPECT_EQ(TableMatchesDef(Create("renamed", renamed.Fields, def.Tags), def, true), false);

  TableDef longer = def;
  longer.Fields[2].Len = 80;
  const xbase::Data4 longerTable = Create("longer", longer.Fields, def.Tags);
  EXPECT_EQ(TableMatchesDef(longerTable, def, true), false);
  EXPECT_EQ(TableMatchesDef(longerTable, def, false), true);

  TableDef retyped = def;
  retyped.Fields[2].Type = "M";
  retyped.Fields[2].Len = 10;
  EXPECT_EQ(TableMatchesDef(Create("retyped", retyped.Fields, {}), def, false), false);
}

TEST_F(SchemaTable, TableMatchesDefAcceptsIntegerAndBinaryMemoFields) {
  const std::vector<FieldDef> schemaFields = {MakeFieldDef("id", 4, 1), MakeFieldDef("doc", 4, 2)};
  TableDef def;
  def.TableName = "typed";
  def.Kind = kKindCourse;
  def.Fields = schemaFields;
  std::vector<FieldDef> live = schemaFields;
  live[0].Type = "I";
  live[1].Type = "X";
  const xbase::Data4 table = Create("typed", live, {});
  ASSERT_EQ(xbase::f4type(xbase::d4field(table, "id")), 'I');
  EXPECT_EQ(TableMatchesDef(table, def, false), true);
}

TEST_F(SchemaTable, TableMatchesDefNeedsEverySchemaTagButAllowsMore) {
  const TableDef def = GetTableDef("exiles");
  std::vector<TagDef> moreTags = def.Tags;
  moreTags.push_back(MakeTagDef("EXTRA", "quest_id+exile_id", 0, 0));
  EXPECT_EQ(TableMatchesDef(Create("moretags", def.Fields, moreTags), def, true), true);

  std::vector<TagDef> changed = def.Tags;
  changed[0].Expression = "user_id";
  changed[0].Unique = 15;
  EXPECT_EQ(TableMatchesDef(Create("changed", def.Fields, changed), def, true), true);

  std::vector<TagDef> lacking(def.Tags.begin(), def.Tags.end() - 1);
  EXPECT_EQ(TableMatchesDef(Create("lacking", def.Fields, lacking), def, true), false);
}

TEST_F(SchemaTable, TableMatchesDefGivesNoVerdictForEmptyOrObsoleteEntries) {
  const TableDef def = GetTableDef("exiles");
  const xbase::Data4 table = CreateFromDef(def);
  EXPECT_FALSE(TableMatchesDef(table, TableDef{}, true).has_value());
  TableDef skipped = def;
  skipped.Skip = true;
  EXPECT_FALSE(TableMatchesDef(table, skipped, true).has_value());
  EXPECT_FALSE(TableMatchesDef(table, GetTableDef("brandcontrol"), true).has_value());
}

// Every schema key tag, on a record with known values.
TEST_F(SchemaTable, GetTagValueGivesTheKeyTextOfEveryKeyTag) {
  struct Case {
    const char* table;
    std::vector<std::pair<const char*, std::string>> values;
    std::string key;
  };
  const std::vector<Case> cases = {
      {"users", {{"user_id", "0001001"}}, "0001001"},
      {"userpermissions", {{"user_id", "0000042"}}, "0000042"},
      {"classes", {{"class_id", "0000007"}}, "0000007"},
      {"descript", {{"descriptid", "0000012"}}, "0000012"},
      {"exams", {{"exam_id", "0020001"}}, "0020001"},
      {"examques", {{"exam_q_id", "0000100"}}, "0000100"},
      {"printopt", {{"print_id", "0000001"}}, "0000001"},
      {"quests", {{"quest_id", "0019999"}}, "0019999"},
      {"questype", {{"quest_id", "0000003"}}, "0000003"},
      {"sessions", {{"session_id", "0000004"}}, "0000004"},
      {"sesquests", {{"sesques_id", "0000005"}}, "0000005"},
      {"sesresults", {{"sesques_id", "0000005"}, {"student_id", "0000009"}}, "00000050000009"},
      {"standard", {{"tree_id", "1"}, {"node_id", "20001"}}, "  1  20001"},
      {"StanQues", {{"tree_id", "12"}, {"node_id", "345"}, {"quest_id", "6789"}}, " 12    345   6789"},
      {"students", {{"student_id", "0000077"}}, "0000077"},
      {"templates", {{"templateid", "0000008"}}, "0000008"},
      // A key shorter than its field keeps the field's blanks: the key text is the whole width.
      {"users", {{"user_id", "42"}}, "42     "},
  };
  int keyTables = 0;
  for (const auto& def : TableDefs())
    if (!def.Skip && !def.KeyField.empty()) ++keyTables;
  EXPECT_EQ(keyTables, 16);

  int n = 0;
  for (const Case& c : cases) {
    const TableDef def = GetTableDef(c.table);
    const xbase::Data4 table = Create(std::string(c.table) + std::to_string(n++), def.Fields, def.Tags);
    ASSERT_EQ(xbase::d4appendStart(table, 0), 0);
    xbase::d4blank(table);
    for (const auto& [field, value] : c.values) ASSERT_EQ(xbase::f4assign(xbase::d4field(table, field), value), 0);
    ASSERT_EQ(xbase::d4append(table), 0) << c.table;
    ASSERT_EQ(xbase::d4top(table), 0);
    EXPECT_EQ(GetTagValue(def, table, "fallback"), c.key) << c.table;
  }
}

TEST_F(SchemaTable, GetTagValueFallsBackWithoutKeyAndIsEmptyWhenNoTagParses) {
  const TableDef def = GetTableDef("rftables");
  const xbase::Data4 table = CreateFromDef(def);
  EXPECT_EQ(GetTagValue(def, table, "fallback text"), "fallback text");

  TableDef broken = GetTableDef("users");
  const xbase::Data4 users = Create("users", broken.Fields, broken.Tags);
  for (auto& t : broken.Tags) t.Expression = "no_such_field";
  EXPECT_EQ(GetTagValue(broken, users, "x"), "");
  TableDef unmatched = GetTableDef("users");
  unmatched.KeyField = "nosuchtag";
  EXPECT_EQ(GetTagValue(unmatched, users, "x"), "");
}

}  // namespace
}  // namespace tolvarin
