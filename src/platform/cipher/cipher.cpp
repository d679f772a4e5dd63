#include "platform/cipher/cipher.h"

#include <array>
#include <cstdint>

namespace cipher {
namespace {

// Bytes swapped with one fixed partner at every position, so that the letters of
// NULL and NUL only ever come out of bytes that Windows-1252 leaves unassigned.
constexpr std::array<std::pair<unsigned char, unsigned char>, 4> kFixedPairs = {{
    {0x00, 0x90},
    {'N', 0x81},
    {'U', 0x8D},
    {'L', 0x8F},
}};

struct Halves {
  std::array<unsigned char, 128> plain{};  // keyed plain bytes, ascending
  std::array<unsigned char, 128> coded{};  // keyed cipher bytes, ascending
  std::array<int, 256> rank{};             // a byte's index in its half, -1 when fixed
  std::array<bool, 256> isPlain{};
  std::array<int, 256> fixedPartner{};     // -1 when not fixed
  int size = 0;
};

bool IsFixed(unsigned char b) {
  for (const auto& [a, c] : kFixedPairs) {
    if (a == b || c == b) return true;
  }
  return false;
}

Halves MakeHalves() {
  Halves h;
  h.rank.fill(-1);
  h.fixedPartner.fill(-1);
  for (const auto& [a, c] : kFixedPairs) {
    h.fixedPartner[a] = c;
    h.fixedPartner[c] = a;
  }
  int plainCount = 0;
  int codedCount = 0;
  for (int v = 0; v < 256; ++v) {
    auto b = static_cast<unsigned char>(v);
    if (IsFixed(b)) continue;
    bool plain = v < 0x80;
    h.isPlain[v] = plain;
    if (plain) {
      h.rank[v] = plainCount;
      h.plain[plainCount++] = b;
    } else {
      h.rank[v] = codedCount;
      h.coded[codedCount++] = b;
    }
  }
  // 124 keyed bytes in each half.
  h.size = plainCount;
  (void)codedCount;
  return h;
}

const Halves& TheHalves() {
  static const Halves halves = MakeHalves();
  return halves;
}

// FNV-1a over the key: the seed of the per-position offsets.
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
  const Halves& h = TheHalves();
  const std::uint64_t seed = Seed(key);
  std::string out = text;
  for (std::size_t i = 0; i < text.size(); ++i) {
    auto b = static_cast<unsigned char>(text[i]);
    if (h.fixedPartner[b] >= 0) {
      out[i] = static_cast<char>(h.fixedPartner[b]);
      continue;
    }
    const int offset = static_cast<int>(Mix(seed + i) % static_cast<std::uint64_t>(h.size));
    const int r = h.rank[b];
    if (h.isPlain[b]) {
      out[i] = static_cast<char>(h.coded[(r + offset) % h.size]);
    } else {
      out[i] = static_cast<char>(h.plain[(r - offset + h.size) % h.size]);
    }
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
