#include "core/text_cipher.h"

#include <cmath>

#include "core/strings.h"
#include "platform/cipher/cipher.h"

namespace tolvarin {
namespace {

constexpr const char* kNullWord = "NULL";

std::string Encipher(const std::string& text, const std::string& key) {
  const std::string trimmed = TrimTrailingWhitespace(text);
  if (trimmed.size() > kMaxEncipheredLength) return trimmed;
  // Our cipher emits NUL only for bytes that no text holds; write it the way the
  // reader takes it back, so that even then the value round-trips.
  const std::string coded = cipher::DxXCrypted(trimmed, key, 0);
  std::string out(1, kCipherMarker);
  out.reserve(coded.size() + 1);
  for (char c : coded) {
    if (c == '\0') {
      out += kNullWord;
    } else {
      out.push_back(c);
    }
  }
  return out;
}

std::string Decipher(const std::string& text, const std::string& key) {
  if (text.empty() || text[0] != kCipherMarker) return text;
  const std::string rest = ReplaceAll(text.substr(1), kNullWord, std::string(1, '\0'));
  return cipher::DxXCrypted(rest, key, 0);
}

}  // namespace

std::string EncryptText(const std::string& text) { return Encipher(text, kBuiltInCipherKey); }
std::string DecryptText(const std::string& text) { return Decipher(text, kBuiltInCipherKey); }
std::string EncryptTextWithKey(const std::string& text, const std::string& key) { return Encipher(text, key); }
std::string DecryptTextWithKey(const std::string& text, const std::string& key) { return Decipher(text, key); }

std::string EncryptDoubled(const std::string& text) {
  const std::string enveloped = EncryptText(text + text);
  return enveloped.empty() ? enveloped : enveloped.substr(1);
}

std::string DecryptDoubled(const std::string& text) {
  const std::string both = DecryptText(std::string(1, kCipherMarker) + text);
  if (both.size() % 2 != 0) return "";
  const std::size_t half = both.size() / 2;
  if (both.compare(0, half, both, half, half) != 0) return "";
  return both.substr(0, half);
}

std::string DecryptDoubledText(const std::string& text) { return DecryptDoubled(text); }

int ParseOutlineNumber(const std::string& style, const std::string& label) {
  if (style == "1") {
    const double value = TextValue(label);
    if (!std::isfinite(value) || std::fabs(value) > 32767.0) return 0;
    return static_cast<int>(RoundHalfEven(value));
  }
  if (style == "I" || style == "i") return cipher::RomanToNumber(label);
  if (style == "A" || style == "a") {
    if (label.size() >= 2) return -1;
    return LetterNumber(label);
  }
  return 0;
}

}  // namespace tolvarin
