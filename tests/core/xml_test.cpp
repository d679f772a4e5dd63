#include "core/xml.h"

#include <gtest/gtest.h>

#include "core/text_cipher.h"

namespace tolvarin {
namespace {

TEST(GetXmlValue, ReadsAnElementAndMovesPastIt) {
  const std::string doc = "<a><name>Ann</name><name>Bo</name></a>";
  long position = 1;
  EXPECT_EQ(GetXmlValue(doc, "name", "none", position), "Ann");
  EXPECT_EQ(position, 20);  // the index after "</name>"
  EXPECT_EQ(GetXmlValue(doc, "name", "none", position), "Bo");
  EXPECT_EQ(GetXmlValue(doc, "name", "none", position), "none");
  EXPECT_EQ(position, 0);
}

TEST(GetXmlValue, MatchesElementNamesByPrefix) {
  // The search for ID stops at IDX first and reads on to the first closing ID tag.
  const std::string doc = "<IDX>9</IDX><ID>4</ID><ID>5</ID>";
  long position = 1;
  EXPECT_EQ(GetXmlValue(doc, "ID", "", position), "9</IDX><ID>4");
  EXPECT_EQ(GetXmlValue(doc, "ID", "", position), "5");
  position = 1;
  EXPECT_EQ(GetXmlValue("<IDX a='1'>7</IDX>", "IDX", "", position), "7") << "attributes are skipped";
  position = 1;
  EXPECT_EQ(GetXmlValue("<id>1</id>", "ID", "d", position), "d") << "the search keeps case";
}

TEST(GetXmlValue, EmptyElementGivesTheDefaultAndMovesPast) {
  const std::string doc = "<v/><v>2</v>";
  long position = 1;
  EXPECT_EQ(GetXmlValue(doc, "v", "def", position), "def");
  EXPECT_EQ(position, 5);
  EXPECT_EQ(GetXmlValue(doc, "v", "def", position), "2");
}

TEST(GetXmlValue, MissingClosingTagGivesTheDefaultAndStillMovesOn) {
  const std::string doc = "<v>1<w>2</w>";
  long position = 1;
  EXPECT_EQ(GetXmlValue(doc, "v", "def", position), "def");
  EXPECT_EQ(position, 4);
  long again = 1;
  EXPECT_EQ(GetXmlValue("<v", "v", "def", again), "def");
  EXPECT_GT(again, 2);
  long past = 100;
  EXPECT_EQ(GetXmlValue("<v>1</v>", "v", "def", past), "def");
  EXPECT_EQ(past, 0);
}

TEST(GetXmlValues, CollectsUpToTheFirstEmptyValue) {
  long position = 1;
  StringArray values = GetXmlValues("<n>5</n><n>6</n><n>7</n>", "n", position);
  ASSERT_EQ(values.LowerBound(), 1);
  ASSERT_EQ(values.UpperBound(), 3);
  EXPECT_EQ(values[1], "5");
  EXPECT_EQ(values[2], "6");
  EXPECT_EQ(values[3], "7");

  position = 1;
  values = GetXmlValues("<n>5</n><n></n><n>7</n>", "n", position);
  EXPECT_EQ(values.UpperBound(), 1);

  position = 1;
  values = GetXmlValues("<m>5</m>", "n", position);
  ASSERT_EQ(values.LowerBound(), 0);
  ASSERT_EQ(values.UpperBound(), 0);
  EXPECT_EQ(values[0], "");
}

TEST(MakeXml, WritesElementsUnescaped) {
  EXPECT_EQ(MakeXmlLine("Name", "a&b"), "<Name>a&b</Name>\r\n");
  EXPECT_EQ(MakeXmlElement("x", "1", "  "), "  <x>1</x>");
  const std::string coded = MakeXmlElement("x", "1", "", true);
  EXPECT_EQ(coded[0], kCipherMarker);
  EXPECT_EQ(DecryptText(coded), "<x>1</x>");
}

}  // namespace
}  // namespace tolvarin
