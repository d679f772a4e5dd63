// Key and filter expressions: every form the schema uses, the functions foreign
// tags carry, and clean refusal of what cannot be parsed.
#include <gtest/gtest.h>

#include "platform/xbase/expr.h"

namespace {

using xbase::detail::Expression;
using xbase::detail::FieldLayout;
using xbase::detail::RecordLayout;

class Expressions : public ::testing::Test {
 protected:
  void SetUp() override {
    int at = 1;
    auto add = [&](const char* name, char type, int len, int dec = 0) {
      layout.fields.push_back(FieldLayout{name, type, at, len, dec});
      at += len;
    };
    add("NAME", 'C', 10);
    add("CODE", 'C', 3);
    add("TREE_ID", 'N', 8);
    add("PRICE", 'N', 6, 2);
    add("DATE", 'D', 8);
    add("DONE", 'L', 1);
    add("NOTES", 'M', 10);
    add("COUNT", 'I', 4);
    layout.recordLength = at;
    layout.memoText = [](std::string_view, const FieldLayout&) { return std::string("memo text"); };
    record = std::string(" ") + "Smith     " + "ab " + "      42" + " -3.25" + "20240131" + "T" + "         1" +
             std::string("\x07\x00\x00\x00", 4);
    ASSERT_EQ(static_cast<int>(record.size()), layout.recordLength);
  }
  std::string Text(const std::string& expr) {
    auto e = Expression::Parse(expr, layout);
    if (!e) return "<no parse>";
    return e->Text(record, 9);
  }

  RecordLayout layout;
  std::string record;
};

TEST_F(Expressions, SchemaFormsGiveTheirKeyTexts) {
  struct Case {
    const char* expr;
    const char* text;
    char type;
    int length;
  };
  const Case cases[] = {
      {"name", "Smith     ", 'C', 10},
      {"NAME+code", "Smith     ab ", 'C', 13},
      {"STR(tree_id,3,0)+STR(tree_id,7,0)", " 42     42", 'C', 10},
      {"STR(tree_id,2)", "42", 'C', 2},
      {"STR(tree_id,1,0)", "*", 'C', 1},
      {"STR(price,6,2)", " -3.25", 'C', 6},
      {"STR(price,4,2)", "-3.3", 'C', 4},
      {"STR(price)", "        -3", 'C', 10},
      // Decimals far beyond the width fall back to what fits, at once.
      {"STR(price,6,39395)", "-3.250", 'C', 6},
      {"name+DTOC(date,1)", "Smith     20240131", 'C', 18},
      {"DTOS(date)", "20240131", 'C', 8},
      {"DTOC(date)", "01/31/24", 'C', 8},
      {"tree_id", "      42", 'N', 8},
      {"date", "20240131", 'D', 8},
      {"done", "T", 'L', 1},
  };
  for (const auto& c : cases) {
    auto e = Expression::Parse(c.expr, layout);
    ASSERT_TRUE(e) << c.expr;
    EXPECT_EQ(e->Text(record), c.text) << c.expr;
    EXPECT_EQ(e->Type(), c.type) << c.expr;
    EXPECT_EQ(e->Length(), c.length) << c.expr;
  }
}

TEST_F(Expressions, FunctionsOfForeignTags) {
  EXPECT_EQ(Text("UPPER(name)"), "SMITH     ");
  EXPECT_EQ(Text("LOWER(name)+code"), "smith     ab ");
  EXPECT_EQ(Text("LEFT(name,3)"), "Smi");
  EXPECT_EQ(Text("RIGHT(code,2)"), "b ");
  EXPECT_EQ(Text("SUBSTR(name,2,3)"), "mit");
  EXPECT_EQ(Text("SUBS(name,2)"), "mith     ");
  EXPECT_EQ(Text("TRIM(name)+code"), "Smithab      ");
  EXPECT_EQ(Text("ALLTRIM(' x ')+'|'"), "x|  ");
  EXPECT_EQ(Text("LTRIM(STR(tree_id,5))"), "42   ");
  EXPECT_EQ(Text("RTRIM(code)+'!'"), "ab! ");
  EXPECT_EQ(Text("name-code"), "Smithab      ");
  EXPECT_EQ(Text("STR(VAL('12.5')*2,5,1)"), " 25.0");
  EXPECT_EQ(Text("STR(count,3)"), "  7");
  EXPECT_EQ(Text("LEFT(notes,4)"), "memo");
  EXPECT_EQ(Text("IIF(done,'y','n')"), "y");
  EXPECT_EQ(Text("DELETED()"), "F");
  EXPECT_EQ(Text("tree_id > 40 .AND. .NOT. DELETED()"), "T");
  EXPECT_EQ(Text("code = 'a'"), "T");
  EXPECT_EQ(Text("code == 'a'"), "F");
  EXPECT_EQ(Text("DTOS(date+1)"), "20240201");
  EXPECT_EQ(Text("DTOS(CTOD('02/29/2024'))"), "20240229");
  EXPECT_EQ(Text("STR(RECNO(),3)"), "  9");
  EXPECT_EQ(Text("alias->name"), "Smith     ");
}

TEST_F(Expressions, NumbersOutOfRangeAreHeldToTheirRange) {
  EXPECT_EQ(Text("LEFT(name,99999999999999999999999)"), "Smith     ");
  EXPECT_EQ(Text("RIGHT(code,-99999999999999999999999)"), "   ");
  EXPECT_EQ(Text("SUBSTR(name,99999999999999999999,2)"), "  ");
  EXPECT_EQ(Text("SUBSTR(name,2,99999999999999999999)"), "mith     ");
  EXPECT_EQ(Text("DTOS(date+99999999999999999999999)"), "        ");
  EXPECT_EQ(Text("DTOC(date-99999999999999999999999)"), "  /  /  ");
  EXPECT_EQ(Text("STR(99999999999999999999999*99999999999999999999999,5)"), "*****");
}

TEST_F(Expressions, BlankValues) {
  std::string blank(static_cast<size_t>(layout.recordLength), ' ');
  auto e = Expression::Parse("name+DTOC(date,1)", layout);
  ASSERT_TRUE(e);
  EXPECT_EQ(e->Text(blank), std::string(18, ' '));
  auto d = Expression::Parse("DTOC(date)", layout);
  EXPECT_EQ(d->Text(blank), "  /  /  ");
  auto n = Expression::Parse("STR(tree_id,3,0)", layout);
  EXPECT_EQ(n->Text(blank), "  0");
  auto v = Expression::Parse("date", layout);
  EXPECT_EQ(v->Evaluate(blank).number, 0);
  EXPECT_EQ(v->Evaluate(record).number, 2460341);  // Julian day of 2024-01-31
}

TEST_F(Expressions, WhatCannotBeParsedGivesNoExpression) {
  const char* bad[] = {
      "",           "nosuch",        "name+",          "STR(name,3)",   "name+tree_id", "UPPER(tree_id)",
      "(name",      "name)",         "STR(tree_id,x)", "FOO(name)",     "'open",        "LEFT(name)",
      "name name",  "DTOS(name)",    "tree_id*name",   ".AND.",         "IIF(name,1,2)", "STR(tree_id,0)",
      "STR(tree_id,3,0,1)",          "SUB(name,1)",    "name-tree_id",  "\x01\x02",     "UPPER(name",
  };
  for (const char* text : bad) EXPECT_FALSE(Expression::Parse(text, layout)) << text;
  std::string deep(5000, '(');
  EXPECT_FALSE(Expression::Parse(deep, layout));
  std::string nested;
  for (int i = 0; i < 300; ++i) nested += "(";
  nested += "1";
  for (int i = 0; i < 300; ++i) nested += ")";
  EXPECT_FALSE(Expression::Parse(nested, layout));
}

// A chain of operators makes one tree level per operator, which evaluation recurses
// through: a long chain is refused, a chain of sensible length still works.
TEST_F(Expressions, OperatorChainsAreBounded) {
  auto chain = [](int terms, const char* op) {
    std::string text = "1";
    for (int i = 1; i < terms; ++i) text += std::string(op) + "1";
    return text;
  };
  auto fine = Expression::Parse(chain(150, "+"), layout);
  ASSERT_TRUE(fine);
  EXPECT_EQ(fine->Evaluate(std::string(static_cast<size_t>(layout.recordLength), ' ')).number, 150);
  for (const char* op : {"-", "+", "*", "-  -"}) EXPECT_FALSE(Expression::Parse(chain(700, op), layout)) << op;
  std::string logical = ".T.";
  for (int i = 0; i < 300; ++i) logical += " .AND. .T.";
  EXPECT_FALSE(Expression::Parse(logical, layout));
}

}  // namespace
