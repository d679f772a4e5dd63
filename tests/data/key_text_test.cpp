#include "data/key_text.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace tolvarin
