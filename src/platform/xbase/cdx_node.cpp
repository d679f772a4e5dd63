#include "platform/xbase/cdx_node.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace xbase::detail {

namespace {

int BitsFor(int keyLen) {
  int b = 0;
  while ((1 << b) <= keyLen) ++b;
  return b;
}

struct Widths {
  int rb, db, tb, e;
};

Widths WidthsFor(int keyLen, std::uint32_t maxRecno) {
  int b = BitsFor(keyLen);
  Widths w{24 - 2 * b, b, b, 3};
  while (w.rb < 32 && static_cast<std::uint64_t>(maxRecno) > (std::uint64_t{1} << w.rb) - 1) {
    w.e += 1;
    w.rb += 8;
  }
  return w;
}

int Trailing(const char* key, int keyLen, char pad) {
  int t = 0;
  while (t < keyLen && key[keyLen - 1 - t] == pad) ++t;
  return t;
}

int Common(const char* a, const char* b, int keyLen) {
  int i = 0;
  while (i < keyLen && a[i] == b[i]) ++i;
  return i;
}

}  // namespace

int EntryKeyBytes(const char* prev, const char* key, int keyLen, char pad) {
  const int trail = Trailing(key, keyLen, pad);
  if (!prev) return keyLen - trail;
  const int prevTrail = Trailing(prev, keyLen, pad);
  const int dup = std::min(Common(prev, key, keyLen), keyLen - std::max(prevTrail, trail));
  return keyLen - dup - trail;
}

bool PatchLeafInsert(unsigned char* p, int kl, char pad, int i, const char* prev, const char* next,
                     const char* key, std::uint32_t recno) {
  const int c = Le16(p + 2);
  const std::uint32_t recMask = Le32(p + 14);
  const int dupMask = p[18], trailMask = p[19];
  const int rb = p[20], db = p[21], e = p[23];
  if (i < 0 || i > c || recno > recMask || e < 1 || e > 8) return false;
  auto entry = [&](int j) {
    std::uint64_t v = 0;
    for (int k = e - 1; k >= 0; --k) v = v << 8 | p[24 + j * e + k];
    return v;
  };
  auto put = [&](int j, std::uint64_t v) {
    for (int k = 0; k < e; ++k) p[24 + j * e + k] = static_cast<unsigned char>(v >> (8 * k));
  };
  const int freeSpace = Le16(p + 12);
  const int keysTotal = 488 - c * e - freeSpace;
  // Where the key bytes of entry i begin (from the page's end) and how many it has;
  // counted from whichever end of the entries is nearer.
  int before = 0, nOld = 0, tOld = 0;
  std::uint64_t vOld = 0;
  const bool fromEnd = i > c / 2;
  const int first = fromEnd ? i : 0, last = fromEnd ? c - 1 : std::min(i, c - 1);
  int after = 0;
  for (int j = first; j <= last; ++j) {
    std::uint64_t v;
    if (e <= 4 && 24 + j * e + 4 <= 512) {
      const unsigned char* q = p + 24 + j * e;
      v = (static_cast<std::uint64_t>(q[0]) | static_cast<std::uint64_t>(q[1]) << 8 |
           static_cast<std::uint64_t>(q[2]) << 16 | static_cast<std::uint64_t>(q[3]) << 24) &
          ((std::uint64_t{1} << (8 * e)) - 1);
    } else {
      v = entry(j);
    }
    const int dup = static_cast<int>((v >> rb) & static_cast<std::uint64_t>(dupMask));
    const int trail = static_cast<int>((v >> (rb + db)) & static_cast<std::uint64_t>(trailMask));
    const int n = kl - dup - trail;
    if (j < i) {
      before += n;
    } else {
      after += n;
      if (j == i) {
        nOld = n;
        tOld = trail;
        vOld = v;
      }
    }
  }
  if (fromEnd) before = keysTotal - after;
  const int top = 512 - before;  // key bytes of entry i end here
  const int end = 512 - keysTotal;
  const int tNew = Trailing(key, kl, pad);
  if (tNew > trailMask) return false;
  int dNew = 0;
  if (prev) dNew = std::min({Common(prev, key, kl), kl - std::max(Trailing(prev, kl, pad), tNew), dupMask});
  const int nNew = kl - dNew - tNew;
  int dNext = 0, nNext = 0;
  if (i < c) {
    dNext = std::min({Common(key, next, kl), kl - std::max(tNew, tOld), dupMask});
    nNext = kl - dNext - tOld;
  }
  const int delta = nNew + (i < c ? nNext - nOld : 0);
  const int arrayEnd = 24 + (c + 1) * e;
  if (end - delta < arrayEnd) return false;
  // Key bytes: the entries after i move, then the changed entry and the new one.
  const int restTop = i < c ? top - nOld : top;
  std::memmove(p + end - delta, p + end, static_cast<size_t>(restTop - end));
  if (delta < 0) std::memset(p + end, 0, static_cast<size_t>(-delta));
  if (i < c) std::memcpy(p + top - nNew - nNext, next + dNext, static_cast<size_t>(nNext));
  std::memcpy(p + top - nNew, key + dNew, static_cast<size_t>(nNew));
  // Entries: shift, then write the new one and the one after it.
  std::memmove(p + 24 + (i + 1) * e, p + 24 + i * e, static_cast<size_t>((c - i) * e));
  put(i, static_cast<std::uint64_t>(recno) | static_cast<std::uint64_t>(dNew) << rb |
             static_cast<std::uint64_t>(tNew) << (rb + db));
  if (i < c)
    put(i + 1, (vOld & recMask) | static_cast<std::uint64_t>(dNext) << rb |
                   static_cast<std::uint64_t>(tOld) << (rb + db));
  PutLe16(p + 2, static_cast<std::uint32_t>(c + 1));
  PutLe16(p + 12, static_cast<std::uint32_t>(end - delta - arrayEnd));
  return true;
}

int EntryWidth(int keyLen, std::uint32_t maxRecno) { return WidthsFor(keyLen, maxRecno).e; }

void DecodeNode(const unsigned char* p, int keyLen, char pad, CdxNode& node) {
  if (keyLen < 1 || keyLen > 240) throw CdxDamaged("key length");
  node.attr = Le16(p);
  if (node.attr > 3) throw CdxDamaged("node attributes");
  const int count = Le16(p + 2);
  node.left = Le32(p + 4);
  node.right = Le32(p + 8);
  node.keys.clear();
  node.recnos.clear();
  node.children.clear();
  std::memcpy(node.image.data(), p, kPageSize);
  node.imageValid = true;
  const size_t kl = static_cast<size_t>(keyLen);
  if (!node.Leaf()) {
    if (count == 0 || count * (keyLen + 8) > 500) throw CdxDamaged("interior key count");
    node.keys.resize(static_cast<size_t>(count) * kl);
    node.recnos.resize(static_cast<size_t>(count));
    node.children.resize(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
      const unsigned char* e = p + 12 + static_cast<size_t>(i) * (kl + 8);
      std::memcpy(node.keys.data() + static_cast<size_t>(i) * kl, e, kl);
      node.recnos[static_cast<size_t>(i)] = Be32(e + kl);
      node.children[static_cast<size_t>(i)] = Be32(e + kl + 4);
    }
    return;
  }
  const int freeSpace = Le16(p + 12);
  const std::uint32_t recMask = Le32(p + 14);
  const int dupMask = p[18], trailMask = p[19];
  const int rb = p[20], db = p[21], tb = p[22], e = p[23];
  if (e < 1 || e > 8 || rb + db + tb != 8 * e || rb > 32 || db > 8 || tb > 8)
    throw CdxDamaged("leaf bit widths");
  if (recMask != static_cast<std::uint32_t>((std::uint64_t{1} << rb) - 1) || dupMask != (1 << db) - 1 ||
      trailMask != (1 << tb) - 1)
    throw CdxDamaged("leaf masks");
  const int arrayEnd = 24 + count * e;
  if (arrayEnd > 512) throw CdxDamaged("leaf key count");
  node.keys.resize(static_cast<size_t>(count) * kl);
  node.recnos.resize(static_cast<size_t>(count));
  int pos = 512;
  for (int i = 0; i < count; ++i) {
    std::uint64_t v = 0;
    const unsigned char* ent = p + 24 + i * e;
    for (int k = e - 1; k >= 0; --k) v = v << 8 | ent[k];
    const std::uint32_t recno = static_cast<std::uint32_t>(v & recMask);
    const int dup = static_cast<int>((v >> rb) & static_cast<std::uint64_t>(dupMask));
    const int trail = static_cast<int>((v >> (rb + db)) & static_cast<std::uint64_t>(trailMask));
    if (dup + trail > keyLen || (i == 0 && dup > 0)) throw CdxDamaged("leaf entry counts");
    const int n = keyLen - dup - trail;
    pos -= n;
    if (pos < arrayEnd) throw CdxDamaged("leaf key bytes overlap the entries");
    char* key = node.keys.data() + static_cast<size_t>(i) * kl;
    if (dup > 0) std::memcpy(key, key - kl, static_cast<size_t>(dup));
    std::memcpy(key + dup, p + pos, static_cast<size_t>(n));
    std::memset(key + dup + n, pad, static_cast<size_t>(trail));
    node.recnos[static_cast<size_t>(i)] = recno;
  }
  if (freeSpace != pos - arrayEnd) throw CdxDamaged("leaf free space");
}

int LeafBytes(const char* keys, const std::uint32_t* recnos, int count, int keyLen, char pad) {
  std::uint32_t maxRecno = 0;
  for (int i = 0; i < count; ++i) maxRecno = std::max(maxRecno, recnos[i]);
  const Widths w = WidthsFor(keyLen, maxRecno);
  int total = 24 + count * w.e;
  int prevTrail = 0;
  for (int i = 0; i < count; ++i) {
    const char* key = keys + static_cast<size_t>(i) * static_cast<size_t>(keyLen);
    const int trail = Trailing(key, keyLen, pad);
    int dup = 0;
    if (i > 0) dup = std::min(Common(key - keyLen, key, keyLen), keyLen - std::max(prevTrail, trail));
    total += keyLen - dup - trail;
    prevTrail = trail;
  }
  return total;
}

int LeafBytes(const CdxNode& node, int keyLen, char pad) {
  return LeafBytes(node.keys.data(), node.recnos.data(), node.Count(), keyLen, pad);
}

void EncodeNode(const CdxNode& node, int keyLen, char pad, unsigned char* p) {
  std::memset(p, 0, kPageSize);
  const int count = node.Count();
  PutLe16(p, node.attr);
  PutLe16(p + 2, static_cast<std::uint32_t>(count));
  PutLe32(p + 4, node.left);
  PutLe32(p + 8, node.right);
  const size_t kl = static_cast<size_t>(keyLen);
  if (!node.Leaf()) {
    if (count * (keyLen + 8) > 500) throw CdxDamaged("interior node overfull");
    for (int i = 0; i < count; ++i) {
      unsigned char* e = p + 12 + static_cast<size_t>(i) * (kl + 8);
      std::memcpy(e, node.keys.data() + static_cast<size_t>(i) * kl, kl);
      PutBe32(e + kl, node.recnos[static_cast<size_t>(i)]);
      PutBe32(e + kl + 4, node.children[static_cast<size_t>(i)]);
    }
    return;
  }
  std::uint32_t maxRecno = 0;
  for (auto r : node.recnos) maxRecno = std::max(maxRecno, r);
  const Widths w = WidthsFor(keyLen, maxRecno);
  p[18] = static_cast<unsigned char>((1 << w.db) - 1);
  p[19] = static_cast<unsigned char>((1 << w.tb) - 1);
  PutLe32(p + 14, static_cast<std::uint32_t>((std::uint64_t{1} << w.rb) - 1));
  p[20] = static_cast<unsigned char>(w.rb);
  p[21] = static_cast<unsigned char>(w.db);
  p[22] = static_cast<unsigned char>(w.tb);
  p[23] = static_cast<unsigned char>(w.e);
  const int arrayEnd = 24 + count * w.e;
  int pos = 512;
  int prevTrail = 0;
  for (int i = 0; i < count; ++i) {
    const char* key = node.keys.data() + static_cast<size_t>(i) * kl;
    const int trail = Trailing(key, keyLen, pad);
    int dup = 0;
    if (i > 0) dup = std::min(Common(key - kl, key, keyLen), keyLen - std::max(prevTrail, trail));
    const int n = keyLen - dup - trail;
    pos -= n;
    if (pos < arrayEnd) throw CdxDamaged("leaf overfull");
    std::memcpy(p + pos, key + dup, static_cast<size_t>(n));
    const std::uint64_t v = static_cast<std::uint64_t>(node.recnos[static_cast<size_t>(i)]) |
                            static_cast<std::uint64_t>(dup) << w.rb |
                            static_cast<std::uint64_t>(trail) << (w.rb + w.db);
    for (int k = 0; k < w.e; ++k) p[24 + i * w.e + k] = static_cast<unsigned char>(v >> (8 * k));
    prevTrail = trail;
  }
  PutLe16(p + 12, static_cast<std::uint32_t>(pos - arrayEnd));
}

std::string EncodeDouble(double value, int keyLen) {
  if (keyLen == 4) {
    double clamped = std::clamp(value, -2147483648.0, 2147483647.0);
    std::uint32_t u = static_cast<std::uint32_t>(static_cast<std::int32_t>(clamped)) ^ 0x80000000u;
    std::string k(4, '\0');
    PutBe32(reinterpret_cast<unsigned char*>(k.data()), u);
    return k;
  }
  if (value == 0) value = 0;  // -0 sorts as 0
  std::uint64_t bits = std::bit_cast<std::uint64_t>(value);
  bits = (bits >> 63) == 0 ? bits ^ (std::uint64_t{1} << 63) : ~bits;
  std::string k(8, '\0');
  for (int i = 0; i < 8; ++i) k[static_cast<size_t>(i)] = static_cast<char>(bits >> (56 - 8 * i));
  return k;
}

double DecodeDouble(std::string_view key) {
  if (key.size() == 4) {
    std::uint32_t u = Be32(reinterpret_cast<const unsigned char*>(key.data())) ^ 0x80000000u;
    return static_cast<std::int32_t>(u);
  }
  if (key.size() != 8) return 0;
  std::uint64_t bits = 0;
  for (char c : key) bits = bits << 8 | static_cast<unsigned char>(c);
  bits = (bits >> 63) != 0 ? bits ^ (std::uint64_t{1} << 63) : ~bits;
  return std::bit_cast<double>(bits);
}

}  // namespace xbase::detail
