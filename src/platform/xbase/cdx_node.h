#pragma once
// CDX pages: 512-byte tree nodes (interior and compact leaf) decoded into a flat
// form the tree code edits, and encoded back exactly as other programs expect.
#include <array>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace xbase::detail {

inline constexpr std::uint32_t kPageSize = 512;
inline constexpr std::uint32_t kNone = 0xFFFFFFFFu;

// Thrown by the index code for any page or header that does not hold together;
// the index boundary turns it into kErrorIndex.
struct CdxDamaged : std::runtime_error {
  using std::runtime_error::runtime_error;
};

struct CdxNode {
  std::uint32_t offset = 0;
  std::uint16_t attr = 3;  // 1 root, 2 leaf
  std::uint32_t left = kNone;
  std::uint32_t right = kNone;
  std::string keys;                     // count * keyLen bytes, full keys
  std::vector<std::uint32_t> recnos;    // record number (or tag header offset)
  std::vector<std::uint32_t> children;  // interior nodes only
  bool dirty = false;
  int keyLen = 0;  // of the tag the page belongs to
  char pad = ' ';
  std::uint32_t maxRecno = 0;  // leaf: largest record number; 0 unknown
  int keyBytes = -1;  // leaf: key bytes the entries need as we encode them; -1 unknown
  // The page as it stands in the file, when it still matches the entries.
  std::array<unsigned char, 512> image{};
  bool imageValid = false;

  bool Leaf() const { return (attr & 2) != 0; }
  bool Root() const { return (attr & 1) != 0; }
  int Count() const { return static_cast<int>(recnos.size()); }
  std::string_view Key(int i, int keyLen) const {
    return std::string_view(keys).substr(static_cast<size_t>(i) * static_cast<size_t>(keyLen),
                                         static_cast<size_t>(keyLen));
  }
};

// Decodes one page; throws CdxDamaged when its counts, widths, masks or key bytes
// do not fit the page.
void DecodeNode(const unsigned char* page, int keyLen, char pad, CdxNode& node);
// Bytes a leaf with these entries needs (must be <= 512).
int LeafBytes(const CdxNode& node, int keyLen, char pad);
int LeafBytes(const char* keys, const std::uint32_t* recnos, int count, int keyLen, char pad);
void EncodeNode(const CdxNode& node, int keyLen, char pad, unsigned char* page);
// Puts a new entry at position i into an encoded leaf page in place (the entries
// before i stay where they are). prev and next are the keys that stand before and
// at i now. false when the page has no room or its widths do not allow it; the
// page is then unchanged.
bool PatchLeafInsert(unsigned char* page, int keyLen, char pad, int i, const char* prev, const char* next,
                     const char* key, std::uint32_t recno);
// Key bytes one leaf entry needs after prev (nullptr for the first entry).
int EntryKeyBytes(const char* prev, const char* key, int keyLen, char pad);
// Bytes per leaf entry for a node whose largest record number is maxRecno.
int EntryWidth(int keyLen, std::uint32_t maxRecno);
inline int InteriorCapacity(int keyLen) { return 500 / (keyLen + 8); }

// Key bytes of values: numbers (and Julian days) as 8-byte sortable doubles, or the
// 4-byte integer form some writers use.
std::string EncodeDouble(double value, int keyLen = 8);
double DecodeDouble(std::string_view key);

inline std::uint32_t Le32(const unsigned char* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}
inline std::uint16_t Le16(const unsigned char* p) {
  return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}
inline std::uint32_t Be32(const unsigned char* p) {
  return static_cast<std::uint32_t>(p[3]) | static_cast<std::uint32_t>(p[2]) << 8 |
         static_cast<std::uint32_t>(p[1]) << 16 | static_cast<std::uint32_t>(p[0]) << 24;
}
inline void PutLe32(unsigned char* p, std::uint32_t v) {
  p[0] = static_cast<unsigned char>(v);
  p[1] = static_cast<unsigned char>(v >> 8);
  p[2] = static_cast<unsigned char>(v >> 16);
  p[3] = static_cast<unsigned char>(v >> 24);
}
inline void PutLe16(unsigned char* p, std::uint32_t v) {
  p[0] = static_cast<unsigned char>(v);
  p[1] = static_cast<unsigned char>(v >> 8);
}
inline void PutBe32(unsigned char* p, std::uint32_t v) {
  p[0] = static_cast<unsigned char>(v >> 24);
  p[1] = static_cast<unsigned char>(v >> 16);
  p[2] = static_cast<unsigned char>(v >> 8);
  p[3] = static_cast<unsigned char>(v);
}

}  // namespace xbase::detail
