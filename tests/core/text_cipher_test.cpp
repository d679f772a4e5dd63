#include "core/text_cipher.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/strings.h"
#include "platform/cipher/cipher.h"

namespace tolvarin {
namespace {

TEST(TextCipher, RoundTripsTheTrimmedText) {
  const std::string texts[] = {"secret", "a", "Caf\xE9 au lait", "NULL and NULL", std::string(8192, 'x')};
  for (const std::string& text : texts) {
    const std::string coded = EncryptText(text);
    ASSERT_FALSE(coded.empty());
    EXPECT_EQ(coded[0], kCipherMarker);
    EXPECT_EQ(coded.size(), text.size() + 1) << "a password of 7 characters fits an 8-character field";
    EXPECT_EQ(coded.find("NULL", 1), std::string::npos);
    EXPECT_EQ(DecryptText(coded), text);
  }
}

// A user with a non-ASCII name or password can log in: the envelope is one byte
// longer than the text, and survives a field read that trims blanks.
TEST(TextCipher, NonAsciiValuesFitTheirFieldAndSurviveATrimmedRead) {
  std::vector<std::string> texts = {"\xD0\x90\xD0\xBD\xD0\xBD\xD0\xB0", "Jos\xE9", "M\xFCller", "\xC3\xA9t\xC3\xA9"};
  for (int first = 0x20; first < 0x100; first += 3) {
    std::string text;
    for (int v = first; v < first + 7; ++v) text.push_back(static_cast<char>(v < 0x100 ? v : 'x'));
    texts.push_back(text);
  }
  for (const std::string& text : texts) {
    const std::string coded = EncryptText(text);
    ASSERT_EQ(coded.size(), TrimTrailingWhitespace(text).size() + 1) << text;
    const std::string field = coded + std::string(4, ' ');
    EXPECT_EQ(DecryptText(Trim(field)), TrimTrailingWhitespace(text)) << text;
  }
}

TEST(TextCipher, TrimsTrailingBlanksAndLineBreaksFirst) {
  const std::string coded = EncryptText("word  \r\n\t ");
  EXPECT_EQ(coded, EncryptText("word"));
  EXPECT_EQ(DecryptText(coded), "word");
}

TEST(TextCipher, LongTextsStayPlain) {
  const std::string longText(8193, 'y');
  EXPECT_EQ(EncryptText(longText), longText);
  EXPECT_EQ(EncryptText(std::string(8192, 'y'))[0], kCipherMarker);
  // Trailing blanks are trimmed before the length is judged.
  EXPECT_EQ(EncryptText(std::string(8192, 'y') + "   ")[0], kCipherMarker);
}

TEST(TextCipher, PlainValuesPassThroughEveryReader) {
  for (const std::string text : {"", "plain", "NULL", "  padded  "}) {
    EXPECT_EQ(DecryptText(text), text);
    EXPECT_EQ(DecryptTextWithKey(text, "k"), text);
  }
}

TEST(TextCipher, ReadsTheFourLettersNullAsOneNul) {
  // A value whose cipher output held a NUL, written the way the reader expects it.
  const std::string plain = std::string("ab") + '\0' + "cd";
  const std::string output = cipher::DxXCrypted(plain, kBuiltInCipherKey, 0);
  std::string stored(1, kCipherMarker);
  for (char c : output) stored += c == '\0' ? std::string("NULL") : std::string(1, c);
  EXPECT_EQ(DecryptText(stored), plain);
}

TEST(TextCipher, TheCallersKeyIsUsed) {
  const std::string coded = EncryptTextWithKey("secret", "other");
  EXPECT_NE(coded, EncryptText("secret"));
  EXPECT_EQ(DecryptTextWithKey(coded, "other"), "secret");
  EXPECT_NE(DecryptText(coded), "secret");
}

TEST(TextCipher, DoubledFormChecksBothHalves) {
  const std::string doubled = EncryptDoubled("record");
  ASSERT_FALSE(doubled.empty());
  EXPECT_NE(doubled[0], kCipherMarker);
  EXPECT_EQ(DecryptDoubled(doubled), "record");
  EXPECT_EQ(DecryptDoubledText(doubled), "record");

  // Halves that differ, an odd length, and a value of another key all give "".
  const std::string differing = EncryptText("recordrecorX").substr(1);
  EXPECT_EQ(DecryptDoubled(differing), "");
  EXPECT_EQ(DecryptDoubled(EncryptText("abc").substr(1)), "");
  EXPECT_EQ(DecryptDoubled(EncryptTextWithKey("recordrecord", "other").substr(1)), "");
  EXPECT_EQ(DecryptDoubled(""), "");
}

TEST(ParseOutlineNumber, GivesTheOrdinalInEachStyle) {
  struct Case {
    const char* style;
    const char* label;
    int value;
  };
  const Case cases[] = {
      {"1", "12", 12}, {"1", " 7", 7},  {"1", "2.5", 2},  {"1", "x", 0},  {"I", "IV", 4}, {"i", "iv", 4},
      {"I", "XIV", 14}, {"A", "c", 3},  {"A", "Z", 26},  {"a", "aa", -1}, {"A", "5", 0},  {"x", "5", 0},
      {"", "1", 0},    {"a", "", 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ParseOutlineNumber(c.style, c.label), c.value) << c.style << " " << c.label;
  }
}

}  // namespace
}  // namespace tolvarin
