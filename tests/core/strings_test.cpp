#include "core/strings.h"

#include <gtest/gtest.h>

namespace {

using namespace tolvarin;

TEST(Texts, ReplaceAndRemove) {
  EXPECT_EQ(ReplaceAll("aaa", "a", "aa"), "aaaaaa");
  EXPECT_EQ(ReplaceAll("a.b.c", ".", ""), "abc");
  EXPECT_EQ(ReplaceAll("abc", "", "x"), "abc");
  EXPECT_EQ(RemoveAll("NUNULLLL", "NULL"), "");
  EXPECT_EQ(RemoveAll("xNULLy", "NULL"), "xy");
  EXPECT_EQ(ReplaceEachChar("a,b;c", ",;", " "), "a b c");
  EXPECT_EQ(ReplaceAt("abcdef", 2, 3, "XY"), "aXYef");
  EXPECT_EQ(ReplaceAt("abc", 4, 0, "d"), "abcd");
}

TEST(Texts, PaddingAndTrimming) {
  EXPECT_EQ(PadLeft("12", 5), "   12");
  EXPECT_EQ(PadRight("12", 5), "12   ");
  EXPECT_EQ(PadLeft("123456", 3), "123456");  // never cut
  EXPECT_EQ(TrimTrailingWhitespace("text  \r\n \t  "), "text");
  EXPECT_EQ(TrimTrailingWhitespace("  lead"), "  lead");
  EXPECT_EQ(Trim("  a b  "), "a b");
}

TEST(Texts, SplitText) {
  StringArray skip = SplitText("a, ,b", ",", true);
  ASSERT_EQ(skip.LowerBound(), 1);
  ASSERT_EQ(skip.UpperBound(), 2);
  EXPECT_EQ(skip[1], "a");
  EXPECT_EQ(skip[2], "b");
  StringArray all = SplitText("a, ,b", ",", false);
  EXPECT_EQ(all.UpperBound(), 3);
  EXPECT_EQ(all[2], " ");
  EXPECT_FALSE(SplitText(" , ", ",", true).Dimensioned());
}

TEST(Texts, LettersDatesAndSeparators) {
  EXPECT_EQ(LetterNumber("c"), 3);
  EXPECT_EQ(LetterNumber("Z9"), 26);
  EXPECT_EQ(LetterNumber("1a"), 0);
  EXPECT_EQ(LetterNumber(""), 0);
  EXPECT_EQ(FormatDbDate("        "), "");
  EXPECT_EQ(FormatDbDate("20240305"), "Mar 05, 2024");
  EXPECT_EQ(FormatDbDate("19991231"), "Dec 31, 1999");
  EXPECT_EQ(CollapseBackslashes("/a//b//c"), "/a/b/c");
  EXPECT_EQ(CollapseBackslashes("//share//x"), "//share//x");
}

TEST(Values, NumbersAndPairs) {
  EXPECT_EQ(MaxValue(3, 5), 5);
  EXPECT_EQ(MinValue(3, 5), 3);
  EXPECT_EQ(SafeDivide(6, 0, -1), -1);
  EXPECT_EQ(SafeDivide(6, 3, -1), 2);
  EXPECT_EQ(LookupPair("y", "d", {"x", "1", "y", "2"}), "2");
  EXPECT_EQ(LookupPair("z", "d", {"x", "1", "y", "2"}), "d");
  EXPECT_EQ(LookupPair("1", "d", {"x", "1", "y"}), "d");  // values are never taken as keys
  for (int i = 0; i < 200; ++i) {
    const long r = RandomInteger(1, 500);
    ASSERT_GE(r, 1);
    ASSERT_LE(r, 500);
  }
  EXPECT_EQ(RoundHalfEven(2.5), 2);
  EXPECT_EQ(RoundHalfEven(3.5), 4);
  EXPECT_EQ(RoundHalfEven(-2.5), -2);
  EXPECT_DOUBLE_EQ(TextValue(" 12 34x"), 1234);
  EXPECT_DOUBLE_EQ(TextValue("abc"), 0);
  EXPECT_DOUBLE_EQ(TextValue("-3.5"), -3.5);
}

TEST(LongArrays, AppendGrowsByTheHostsRule) {
  LongArray array(0, 0);
  long count = 0;
  std::vector<long> uppers;
  for (int i = 1; i <= 301; ++i) {
    AppendLong(array, count, i);
    if (uppers.empty() || uppers.back() != array.UpperBound()) uppers.push_back(array.UpperBound());
  }
  EXPECT_EQ(uppers, (std::vector<long>{10, 100, 200, 400}));
  EXPECT_EQ(count, 301);
  EXPECT_EQ(array[0], 1);
  EXPECT_EQ(array[300], 301);
  EXPECT_EQ(array[array.UpperBound()], 0);  // the last slot stays empty
}

TEST(LongArrays, AppendKeepsTheLowerBound) {
  LongArray array(1, 1);
  long count = 1;
  AppendLong(array, count, 7);
  EXPECT_EQ(array.LowerBound(), 1);
  EXPECT_EQ(array.UpperBound(), 10);
  EXPECT_EQ(array[1], 7);
}

TEST(LongArrays, SearchTrimAndRotate) {
  LongArray a(0, 5);
  a.items = {4, 8, 15, 16, 23, 42};
  EXPECT_EQ(BinarySearchLong(a, 4), 0);
  EXPECT_EQ(BinarySearchLong(a, 23), 4);
  EXPECT_EQ(BinarySearchLong(a, 42), 5);
  EXPECT_LE(BinarySearchLong(a, 5), 0);
  EXPECT_EQ(BinarySearchLong(a, 20), -3);  // minus the last low bound probed
  EXPECT_EQ(FindLong(a, 16), 3);
  EXPECT_EQ(FindLong(a, 16, 4), -1);
  EXPECT_EQ(FindLong(a, 8, 5, true), 1);
  EXPECT_EQ(FindLong(LongArray{}, 1), -1);

  LongArray r(1, 5);
  r.items = {1, 2, 3, 4, 5};
  RotateLongRange(r, 2, 4, false);
  EXPECT_EQ(r.items, (std::vector<std::int32_t>{1, 3, 4, 2, 5}));
  RotateLongRange(r, 2, 4, true);
  EXPECT_EQ(r.items, (std::vector<std::int32_t>{1, 2, 3, 4, 5}));

  LongArray t(0, 9);
  t.items = {1, 2, 3, 0, 0, 0, 0, 0, 0, 0};
  TrimZeroLongTail(t);
  EXPECT_EQ(t.UpperBound(), 2);
  LongArray z(0, 5);
  TrimZeroLongTail(z);
  EXPECT_EQ(z.UpperBound(), 1);  // never below 1
}

TEST(StringArrays, SortFindReverse) {
  StringArray s(1, 5);
  s.items = {"delta", "Alpha", "charlie", "Bravo", "alpha"};
  LongArray tags(1, 5);
  tags.items = {4, 1, 3, 2, 0};
  QuickSortStrings(s, &tags, 1, 5);
  for (long i = 1; i < 5; ++i) EXPECT_LE(CompareNoCase(s[i], s[i + 1]), 0);
  for (long i = 1; i <= 5; ++i) EXPECT_EQ(ToLower(s[i]).substr(0, 1)[0] - 'a', (tags[i] == 0 ? 0 : tags[i] - 1));
  EXPECT_EQ(FindString(s, "CHARLIE", true), 4);
  EXPECT_EQ(FindString(s, "CHARLIE", false), -1);
  ReverseStrings(s, 4);
  EXPECT_EQ(s[4], "delta");
  StringArray e(1, 4);
  e.items = {"a", "", "", ""};
  TrimEmptyStringTail(e);
  EXPECT_EQ(e.UpperBound(), 1);
}

TEST(Collections, IndexRemoveAndArray) {
  std::vector<std::string> c{"a", "b", "c"};
  EXPECT_EQ(CollectionIndexOf(c, "b"), 2);
  EXPECT_EQ(CollectionIndexOf(c, "z"), -1);
  CollectionRemoveValue(c, "b");
  EXPECT_EQ(c, (std::vector<std::string>{"a", "c"}));
  StringArray a = CollectionToArray(c);
  EXPECT_EQ(a.LowerBound(), 1);
  EXPECT_EQ(a[2], "c");
  std::map<std::string, int> keyed{{"K", 1}};
  EXPECT_TRUE(CollectionHasKey(keyed, "K"));
  EXPECT_FALSE(CollectionHasKey(keyed, "k"));
}

}  // namespace
