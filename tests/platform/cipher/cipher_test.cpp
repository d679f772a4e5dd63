#include "platform/cipher/cipher.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

// Bytes a text may hold: all but the control bytes 0x01 to 0x06.
bool TextByte(int v) { return v == 0 || v > 6; }

std::string AllTextBytes() {
  std::string text;
  for (int v = 0; v < 256; ++v) {
    if (TextByte(v)) text.push_back(static_cast<char>(v));
  }
  return text;
}

std::string Utf8(char32_t c) {
  std::string out;
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
  return out;
}

// What the envelope and a trimmed field read need of every output.
void ExpectStorable(const std::string& text, const std::string& key) {
  const std::string out = cipher::DxXCrypted(text, key, 0);
  ASSERT_EQ(out.size(), text.size());
  EXPECT_EQ(out.find('\0'), std::string::npos);
  EXPECT_EQ(out.find("NULL"), std::string::npos);
  if (!out.empty()) {
    EXPECT_EQ(std::string(" \t\r\n").find(out.front()), std::string::npos);
    EXPECT_EQ(std::string(" \t\r\n").find(out.back()), std::string::npos);
  }
  EXPECT_EQ(cipher::DxXCrypted(out, key, 0), text);
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

// Latin-1 and Windows-1252 texts: every byte value a text holds, at every
// position, NUL, blanks, line breaks and the letters NULL among them.
TEST(DxXCrypted, SingleByteTextOverEveryByteValueIsStorable) {
  std::mt19937 rng(11);
  const std::string bytes = AllTextBytes();
  std::vector<std::string> texts = {"NULL", "NULLNULL", std::string(64, 'L'), " leading", "a\r\nb\tc",
                                    std::string("a\0b\0\0c", 6), bytes};
  for (int round = 0; round < 3000; ++round) {
    std::string text(1 + rng() % 40, ' ');
    for (char& c : text) c = bytes[rng() % bytes.size()];
    texts.push_back(text);
  }
  for (const std::string& text : texts) {
    for (const std::string key : {"Mirtosk", "", "another key"}) ExpectStorable(text, key);
  }
}

// UTF-8 texts: every code point of the first plane and a sample beyond, in names
// of the lengths a field holds.
TEST(DxXCrypted, Utf8TextOverEveryCodePointIsStorable) {
  std::vector<std::string> texts = {"\xD0\x90\xD0\xBD\xD0\xBD\xD0\xB0", "Jos\xC3\xA9", "Zo\xC3\xAB"};
  std::string name;
  for (char32_t c = 1; c < 0x10000; ++c) {
    if (c >= 0xD800 && c < 0xE000) continue;
    if (c >= 1 && c <= 6) continue;
    name += Utf8(c);
    if (name.size() >= 8) {
      texts.push_back(name);
      name.clear();
    }
  }
  for (char32_t c = 0x10000; c < 0x110000; c += 0x3F1) texts.push_back(Utf8(c) + Utf8(c + 1));
  for (const std::string& text : texts) ExpectStorable(text, "Mirtosk");
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
