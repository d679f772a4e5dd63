#include "platform/cipher/cipher.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace {

std::string AllBytesExceptSwappedUnassigned() {
  std::string text;
  for (int v = 0; v < 256; ++v) {
    if (v == 0x81 || v == 0x8D || v == 0x8F || v == 0x90) continue;
    text.push_back(static_cast<char>(v));
  }
  return text;
}

TEST(DxXCrypted, IsItsOwnInverseAndKeepsTheLength) {
  std::mt19937 rng(7);
  for (int round = 0; round < 200; ++round) {
    std::string text(rng() % 300, '\0');
    for (char& c : text) c = static_cast<char>(rng() % 256);  // every byte value
    const std::string once = cipher::DxXCrypted(text, "Mirtosk", 0);
    ASSERT_EQ(once.size(), text.size());
    EXPECT_EQ(cipher::DxXCrypted(once, "Mirtosk", 0), text);
  }
}

TEST(DxXCrypted, NeverEmitsNulOrTheLettersOfNull) {
  // Plain texts of every kind the system enciphers: 7-bit text, the letters NULL
  // themselves, NUL bytes (binary records) and Windows-1252 characters.
  const std::string texts[] = {
      "NULL",      std::string(64, 'L'), std::string("a\0b\0\0c", 6), "NULLNULLNULL",
      "password",  "Caf\xE9 \xFC\xFF\xFE", AllBytesExceptSwappedUnassigned(),
  };
  for (const std::string& text : texts) {
    for (const std::string key : {"Mirtosk", "", "another key"}) {
      const std::string out = cipher::DxXCrypted(text, key, 0);
      EXPECT_EQ(out.find('\0'), std::string::npos) << text;
      EXPECT_EQ(out.find_first_of("NUL"), std::string::npos) << text;
    }
  }
}

TEST(DxXCrypted, DependsOnTheKeyAndThePosition) {
  const std::string text(32, 'a');
  const std::string a = cipher::DxXCrypted(text, "Mirtosk", 0);
  const std::string b = cipher::DxXCrypted(text, "Mirtosl", 0);
  EXPECT_NE(a, b);
  EXPECT_NE(a, text);
  EXPECT_NE(a.substr(0, 16), a.substr(16));  // not one repeated byte
  // Deciphering with another key does not give the text back.
  EXPECT_NE(cipher::DxXCrypted(a, "Mirtosl", 0), text);
}

TEST(RomanToNumber, ReadsNumeralsInEitherCase) {
  struct Case {
    const char* label;
    int value;
  };
  const Case cases[] = {{"I", 1},     {"IV", 4},  {"iv", 4},   {"ix", 9},      {"XII", 12},
                        {"XL", 40},   {"xc", 90}, {"MCMXCIX", 1999}, {"mmxiii", 2013},
                        {"", 0},      {"IIv", 5}, {"A", 0},    {"X1", 0},      {"v.", 0}};
  for (const Case& c : cases) EXPECT_EQ(cipher::RomanToNumber(c.label), c.value) << c.label;
}

}  // namespace
