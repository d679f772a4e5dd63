#pragma once
// The DBF file's header: reading it from raw bytes (with every check that keeps a
// damaged or foreign file from being taken for a table) and writing a new one.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/xbase/table_index.h"
#include "platform/xbase/xbase.h"

namespace xbase::detail {

inline constexpr int kDbfHeaderSize = 32;
inline constexpr int kDescriptorSize = 32;

struct FieldDescriptor {
  FieldLayout layout;
  std::uint32_t displacement = 0;  // bytes 12-15 as stored
  unsigned char flags = 0;         // byte 18
};

struct DbfHeader {
  unsigned char version = 0x03;
  unsigned char flags = 0;
  unsigned char codepage = 0;
  long count = 0;
  int headerLength = 0;
  int recordLength = 0;
  int terminator = 0;  // offset of the 0x0D byte
  std::vector<FieldDescriptor> fields;  // every descriptor, system columns included
};

bool KnownVersion(unsigned char version);
// Width of a memo-like field's block pointer: 10 (ASCII) or 4 (binary), 0 when the
// field holds no memo pointer.
int MemoPointerWidth(const FieldLayout& field);
bool IsMemoType(char type);

// Reads the header from the file's first bytes (at least the header length, or the
// whole file when shorter). kSuccess, or kErrorDamaged with why set.
int ParseDbfHeader(std::string_view bytes, std::int64_t fileSize, DbfHeader& out, std::string* why = nullptr);

// Whether the file's length fits the header's record count: the records, then less
// than a record's length (the end-of-file byte, or the cut-off tail of a record that
// a repair leaves behind the count it sets). A whole record's length or more beyond
// the count (a count too small, which the next append would overwrite) or a file
// shorter than the count means a damaged table. Only sound while no other process
// can be appending (the caller holds the header lock): an append writes its record
// before the count. kSuccess or kErrorDamaged with why set.
int CheckRecordArea(const DbfHeader& header, std::int64_t fileSize, std::string* why = nullptr);

// A new FoxPro 2.x header: 0xF5 with memo fields, 0x03 without; no records. fields are
// checked (names, types, widths); kErrorField / kErrorCreate on a bad definition.
int BuildDbfHeader(const std::vector<FieldInfo>& fields, DbfHeader& header, std::string& bytes);

// Bytes 1-7: the last-update date (today) and the record count.
std::string HeaderDateAndCount(long count);

std::uint32_t ReadLe32(const unsigned char* p);
void WriteLe32(unsigned char* p, std::uint32_t v);

}  // namespace xbase::detail
