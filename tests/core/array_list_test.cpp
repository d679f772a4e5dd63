#include "core/array_list.h"

#include <gtest/gtest.h>

namespace tolvarin {
namespace {

TEST(ArrayList, GrowsByTheAppendRule) {
  ArrayList list;
  EXPECT_EQ(list.count(), 0);
  EXPECT_EQ(list.UpperBound(), 0);
  for (int v : {4, 5, 6}) list.AddItem(v);
  EXPECT_EQ(list.count(), 3);
  EXPECT_EQ(list.LowerBound(), 0);
  EXPECT_EQ(list.UpperBound(), 10);
  const LongArray items = list.ToArray();
  ASSERT_EQ(items.LowerBound(), 0);
  ASSERT_EQ(items.UpperBound(), 2);
  EXPECT_EQ(items[0], 4);
  EXPECT_EQ(items[2], 6);
  for (int v = 0; v < 8; ++v) list.AddItem(v + 10);
  EXPECT_EQ(list.count(), 11);
  EXPECT_EQ(list.UpperBound(), 100);
}

TEST(ArrayList, AddItemUniqueSearchesEverySlot) {
  ArrayList list;
  list.AddItemUnique(7);
  list.AddItemUnique(7);
  EXPECT_EQ(list.count(), 1);
  // An unused slot holds 0, so 0 counts as present while the array has one.
  list.AddItemUnique(0);
  EXPECT_EQ(list.count(), 1);
  ArrayList fresh;
  fresh.AddItemUnique(0);  // bounds 0 to 0: the only slot already holds 0
  EXPECT_EQ(fresh.count(), 0);
}

TEST(ArrayList, ResetSetsTheBase) {
  ArrayList list;
  list.AddItem(1);
  list.Reset(1);
  EXPECT_EQ(list.count(), 0);
  list.AddItem(42);
  EXPECT_EQ(list.LowerBound(), 1);
  EXPECT_EQ(list.UpperBound(), 10);
  EXPECT_EQ(list.Item(1), 42);
  EXPECT_EQ(list.count(), 1);
  const LongArray items = list.ToArray();
  EXPECT_EQ(items.LowerBound(), 1);
  EXPECT_EQ(items.UpperBound(), 1);
}

TEST(ArrayList, FromArrayKeepsItsBounds) {
  LongArray source(1, 3);
  source[1] = 10;
  source[2] = 20;
  source[3] = 30;
  ArrayList list;
  list.FromArray(source);
  EXPECT_EQ(list.count(), 3);
  list.AddItem(40);
  EXPECT_EQ(list.LowerBound(), 1);
  EXPECT_EQ(list.UpperBound(), 30);
  EXPECT_EQ(list.Item(4), 40);
  list.FromArray(LongArray());
  EXPECT_EQ(list.count(), 0);
}

TEST(ArrayList, ItemReadsAndWritesAnySlot) {
  ArrayList list;
  list.AddItem(1);
  list.Item(5, 9);  // beyond the items, inside the array
  EXPECT_EQ(list.Item(5), 9);
  EXPECT_EQ(list.count(), 1);
  EXPECT_EQ(list.Item(500), 0);
  list.Item(500, 3);  // outside the array: nothing
  EXPECT_EQ(list.UpperBound(), 10);
}

TEST(ArrayList, ToStringIncludesUnusedSlotsUntilTrimmed) {
  ArrayList list;
  list.AddItem(1);
  list.AddItem(2);
  EXPECT_EQ(list.ToString(","), "1,2,0,0,0,0,0,0,0,0,0");
  list.Trim();
  EXPECT_EQ(list.ToString(","), "1,2");
  EXPECT_EQ(list.count(), 2);
  ArrayList one;
  one.Trim();
  EXPECT_EQ(one.ToString(";"), "0;0") << "trimming keeps an upper bound of at least 1";
  EXPECT_FALSE(ArrayList().ToArray().Dimensioned());
}

}  // namespace
}  // namespace tolvarin
