#include "data/key_text.h"

#include <gtest/gtest.h>

#include "data/field_defs.h"
#include "data/catalogue.h"
#include "data/codebase.h"
#include "support/test_support.h"

namespace tolvarin {
namespace {

TEST(KeyText, FormatIDWritesSevenDigitsAndKeepsLongerNumbers) {
  EXPECT_EQ(FormatID(0), "0000000");
  EXPECT_EQ(FormatID(42), "0000042");
  EXPECT_EQ(FormatID(9999999), "9999999");
  EXPECT_EQ(FormatID(12345678), "12345678");
}

TEST(KeyText, AlignedKeyTextsPadButNeverCut) {
  EXPECT_EQ(KeyText3(1) + KeyText7(20001), "  1  20001");
  EXPECT_EQ(KeyText7(42), "     42");
  EXPECT_EQ(KeyText3(42), " 42");
  EXPECT_EQ(KeyText3(12345), "12345");
  EXPECT_EQ(KeyText7(123456789), "123456789");
  EXPECT_EQ(KeyText40("quests"), "quests" + std::string(34, ' '));
  const std::string longer(45, 'x');
  EXPECT_EQ(KeyText40(longer), longer);
}

TEST(KeyText, SeriesIdentifiersMakeAndParse) {
  EXPECT_EQ(MakeSeriesID(1, 3, 5), "S010305");
  EXPECT_EQ(MakeSeriesID(2, 1, 16), "S020116");
  EXPECT_EQ(MakeSeriesID(123, 0, 7), "S1230007");
  std::int16_t a = -1, b = -1, c = -1;
  ParseSeriesID("S020107", a, b, c);
  EXPECT_EQ(a, 2);
  EXPECT_EQ(b, 1);
  EXPECT_EQ(c, 7);
  ParseSeriesID("S0201", a, b, c);
  EXPECT_EQ(a, 2);
  EXPECT_EQ(b, 1);
  EXPECT_EQ(c, 0);
  ParseSeriesID("S03", a, b, c);
  EXPECT_EQ(a, 3);
  EXPECT_EQ(b, 0);
  EXPECT_EQ(c, 0);
}

// Questions of a course whose year values are 100, 200, ... 1600.
class SeriesID : public ::testing::Test {
 protected:
  void SetUp() override {
    if (Engine().EngineHandle == 0) InitCodeBase();
    savedCourse_ = CurrentCourse();
    savedArea_ = CurrentArea();
    CourseRecord course;
    course.CourseID = 1;
    for (int i = 0; i < kCourseYears; ++i) course.Years[static_cast<size_t>(i)] = 100 * (i + 1);
    AreaRecord area;
    area.AreaID = 2;
    SetCurrentCourse(course);
    SetCurrentArea(area);

    ref_.Data = d4create(dir_.str() + "/questions.dbf", {MakeFieldDef("id", 7, 0), MakeFieldDef("series", 7, 0)},
                         {MakeTagDef("ID", "id", 0, 0)});
    ASSERT_NE(ref_.Data, 0);
    ref_.KeyField = xbase::d4field(ref_.Data, "id");
    ref_.KeyTag = xbase::d4tag(ref_.Data, "ID");
    series_ = xbase::d4field(ref_.Data, "series");
    Add("0000250", "");
    Add("0000300", "S020107");
  }
  void TearDown() override {
    xbase::d4close(ref_.Data);
    SetCurrentCourse(savedCourse_);
    SetCurrentArea(savedArea_);
  }
  void Add(const char* id, const char* series) {
    xbase::d4appendStart(ref_.Data, 0);
    xbase::d4blank(ref_.Data);
    xbase::f4assign(ref_.KeyField, id);
    xbase::f4assign(series_, series);
    ASSERT_EQ(xbase::d4append(ref_.Data), 0);
  }

  testing_support::TempDir dir_;
  TableRef ref_;
  xbase::Field4 series_ = 0;
  CourseRecord savedCourse_;
  AreaRecord savedArea_;
};

TEST_F(SeriesID, CountsTheYearValuesBelowTheIdentifier) {
  EXPECT_EQ(SeriesIDOf(ref_, series_, 50), "S020100");     // below the 1998 value
  EXPECT_EQ(SeriesIDOf(ref_, series_, 250), "S020102");
  EXPECT_EQ(SeriesIDOf(ref_, series_, 200), "S020101");    // a value equal to the identifier is not below it
  EXPECT_EQ(SeriesIDOf(ref_, series_, 5000), "S020116");   // above all sixteen
}

TEST_F(SeriesID, AStoredSeriesIdentifierIsTakenAsItStands) {
  EXPECT_EQ(SeriesIDOf(ref_, series_, 300), "S020107");
  ASSERT_EQ(xbase::d4go(ref_.Data, 2), 0);
  EXPECT_EQ(SeriesIDOf(ref_, series_, -1), "S020107");     // the current record
  ASSERT_EQ(xbase::d4go(ref_.Data, 1), 0);
  EXPECT_EQ(SeriesIDOf(ref_, series_, -1), "S020100");     // -1 also counts below -1: none
}

}  // namespace
}  // namespace tolvarin
