#include "platform/cipher/cipher.h"

#include <array>
#include <cstdint>
#include <utility>

namespace cipher {
namespace {

// Bytes swapped with one fixed partner at every position: what must never come out
// (NUL, the L of NULL, the blanks and line breaks that readers trim) goes to, and
// only ever comes from, control bytes that no text holds.
constexpr std::array<std::pair<unsigned char, unsigned char>, 6> kFixedPairs = {{
    {0x00, 0x06},
    {'L', 0x01},
    {' ', 0x02},
    {'\t', 0x03},
    {'\n', 0x04},
    {'\r', 0x05},
}};

struct Alphabet {
  std::array<int, 256> fixedPartner{};     // -1 when not fixed
  std::array<int, 256> rank{};             // index among the keyed bytes
  std::array<unsigned char, 256> byRank{};
  int size = 0;
};

Alphabet MakeAlphabet() {
  Alphabet a;
  a.fixedPartner.fill(-1);
  for (const auto& [plain, partner] : kFixedPairs) {
    a.fixedPartner[plain] = partner;
    a.fixedPartner[partner] = plain;
  }
  for (int v = 0; v < 256; ++v) {
    if (a.fixedPartner[v] >= 0) continue;
    a.rank[v] = a.size;
    a.byRank[a.size++] = static_cast<unsigned char>(v);
  }
  return a;
}

const Alphabet& TheAlphabet() {
  static const Alphabet alphabet = MakeAlphabet();
  return alphabet;
}

// FNV-1a over the key: the seed of the per-position reflections.
std::uint64_t Seed(const std::string& key) {
  std::uint64_t hash = 1469598103934665603ull;
  for (unsigned char c : key) {
    hash ^= c;
    hash *= 1099511628211ull;
  }
  return hash;
}

// splitmix64: one well-mixed value per position.
std::uint64_t Mix(std::uint64_t x) {
  x += 0x9E3779B97F4A7C15ull;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
  return x ^ (x >> 31);
}

}  // namespace

std::string DxXCrypted(const std::string& text, const std::string& key, int /*mode*/) {
  const Alphabet& a = TheAlphabet();
  const std::uint64_t seed = Seed(key);
  std::string out = text;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto b = static_cast<unsigned char>(text[i]);
    if (a.fixedPartner[b] >= 0) {
      out[i] = static_cast<char>(a.fixedPartner[b]);
      continue;
    }
    // The reflection r -> c - r is its own inverse.
    const int c = static_cast<int>(Mix(seed + i) % static_cast<std::uint64_t>(a.size));
    out[i] = static_cast<char>(a.byRank[(c - a.rank[b] + a.size) % a.size]);
  }
  return out;
}

int RomanToNumber(const std::string& label) {
  auto value = [](char c) {
    switch (c) {
      case 'I': case 'i': return 1;
      case 'V': case 'v': return 5;
      case 'X': case 'x': return 10;
      case 'L': case 'l': return 50;
      case 'C': case 'c': return 100;
      case 'D': case 'd': return 500;
      case 'M': case 'm': return 1000;
      default: return 0;
    }
  };
  int total = 0;
  for (std::size_t i = 0; i < label.size(); ++i) {
    const int v = value(label[i]);
    if (v == 0) return 0;
    const int next = i + 1 < label.size() ? value(label[i + 1]) : 0;
    total += next > v ? -v : v;
  }
  return total;
}

}  // namespace cipher
