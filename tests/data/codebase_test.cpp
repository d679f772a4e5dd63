#include "data/codebase.h"

#include <gtest/gtest.h>

#include "data/field_defs.h"
#include "support/test_support.h"

namespace tolvarin {
namespace {

using testing_support::TempDir;

TEST(CodeBase, CloseWithoutContextDoesNothing) {
  EngineContext saved = Engine();
  Engine().EngineHandle = 0;
  Engine().LastEngineCode = 1234;
  CloseCodeBase();
  EXPECT_EQ(Engine().LastEngineCode, 1234);
  EXPECT_EQ(Engine().EngineHandle, 0);
  Engine() = saved;
}

TEST(CodeBase, InitReplacesTheContextAndCloseKeepsTheHandle) {
  EngineContext saved = Engine();
  InitCodeBase();
  const xbase::Code4 first = Engine().EngineHandle;
  EXPECT_NE(first, 0);
  InitCodeBase();
  const xbase::Code4 second = Engine().EngineHandle;
  EXPECT_NE(second, 0);
  EXPECT_NE(second, first);
  CloseCodeBase();
  EXPECT_EQ(Engine().EngineHandle, second);
  EXPECT_EQ(Engine().LastEngineCode, 0);
  Engine().EngineHandle = first;
  CloseCodeBase();
  if (saved.EngineHandle == 0) {
    Engine() = EngineContext{};
  } else {
    Engine() = saved;
  }
}

class CodeBaseTable : public ::testing::Test {
 protected:
  void SetUp() override {
    if (Engine().EngineHandle == 0) InitCodeBase();
    data_ = d4create(dir_.str() + "/Sample.dbf",
                     {MakeFieldDef("code", 7, 0), MakeFieldDef("count", 6, 1), MakeFieldDef("note", 10, 2),
                      MakeFieldDef("when", 8, 4)},
                     {MakeTagDef("CODE", "code", 0, 0), MakeTagDef("CODECOUNT", "code+STR(count,6,0)", 0, 0)});
    ASSERT_NE(data_, 0);
    ASSERT_EQ(xbase::d4appendStart(data_, 0), 0);
    xbase::d4blank(data_);
  }
  void TearDown() override { xbase::d4close(data_); }
  xbase::Field4 Field(const char* name) { return xbase::d4field(data_, name); }

  TempDir dir_;
  xbase::Data4 data_ = 0;
};

TEST_F(CodeBaseTable, CreateBuildsTheTableFromTheDefinitions) {
  EXPECT_EQ(Engine().LastEngineCode, 0);
  EXPECT_EQ(xbase::d4numFields(data_), 4);
  EXPECT_EQ(xbase::f4type(Field("note")), 'M');
  EXPECT_EQ(xbase::f4len(Field("code")), 7);
  EXPECT_EQ(f4name(Field("count")), "COUNT");
  EXPECT_NE(xbase::d4tag(data_, "CODECOUNT"), 0);
  EXPECT_NE(d4fileName(data_).find("Sample.dbf"), std::string::npos);
}

TEST_F(CodeBaseTable, TextsAreCopiedByLengthBlanksKept) {
  EXPECT_EQ(f4assign(Field("code"), "12"), 0);
  EXPECT_EQ(f4str(Field("code")), "12     ");
  EXPECT_EQ(f4memoStr(Field("note")), "");
  xbase::f4memoAssign(Field("note"), std::string("a\0b  ", 5));
  EXPECT_EQ(f4memoStr(Field("note")), std::string("a\0b  ", 5));
  std::string byRef = "old";
  f4memoStrByRef(Field("note"), byRef);
  EXPECT_EQ(byRef, std::string("a\0b  ", 5));
  EXPECT_EQ(f4assignInt(Field("count"), -7), 0);
  EXPECT_EQ(xbase::f4long(Field("count")), -7);
}

TEST_F(CodeBaseTable, ExpressionTextIsCutToItsLength) {
  f4assign(Field("code"), "AB");
  xbase::f4assignLong(Field("count"), 42);
  const xbase::Expr4 expr = xbase::expr4parse(data_, "code+STR(count,6,0)");
  ASSERT_NE(expr, 0);
  EXPECT_EQ(expr4str(expr), "AB         42");
  xbase::expr4free(expr);
}

TEST(CodeBaseTexts, EngineStringsStopAtTheirEndOr256Characters) {
  EXPECT_EQ(b4String(nullptr), "");
  EXPECT_EQ(b4String("name"), "name");
  const std::string longer(300, 'x');
  EXPECT_EQ(b4String(longer.c_str()), std::string(256, 'x'));
}

TEST(CodeBaseDates, FormatIsCutToThePicture) {
  EXPECT_EQ(date4format("20240315", "MM/DD/CCYY"), "03/15/2024");
  EXPECT_EQ(date4format("20240315", "CCYYMMDD").size(), 8u);
}

}  // namespace
}  // namespace tolvarin
