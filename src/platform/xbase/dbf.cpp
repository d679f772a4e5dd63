#include "platform/xbase/dbf.h"

#include <algorithm>
#include <cctype>
#include <ctime>

namespace xbase::detail {

std::uint32_t ReadLe32(const unsigned char* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

void WriteLe32(unsigned char* p, std::uint32_t v) {
  p[0] = static_cast<unsigned char>(v);
  p[1] = static_cast<unsigned char>(v >> 8);
  p[2] = static_cast<unsigned char>(v >> 16);
  p[3] = static_cast<unsigned char>(v >> 24);
}

bool KnownVersion(unsigned char version) {
  switch (version) {
    case 0x03: case 0x83: case 0xF5: case 0x30: case 0x31: case 0x32: case 0xFB:
      return true;
    default:
      return false;
  }
}

bool IsMemoType(char type) { return type == 'M' || type == 'X' || type == 'G' || type == 'P' || type == 'W'; }

int MemoPointerWidth(const FieldLayout& field) {
  if (!IsMemoType(field.type)) return 0;
  return field.length == 4 ? 4 : field.length == 10 ? 10 : 0;
}

namespace {

int Fail(std::string* why, const char* text) {
  if (why) *why = text;
  return kErrorDamaged;
}

// Widths a reader can rely on; other types only need a non-zero width.
bool WidthFits(char type, int length) {
  switch (type) {
    case 'D': return length == 8;
    case 'L': return length == 1;
    case 'I': return length == 4;
    case 'B': case 'T': case 'Y': return length == 8;
    case 'M': case 'X': case 'G': case 'P': return length == 10 || length == 4;
    case 'W': return length == 4;
    default: return length >= 1;
  }
}

}  // namespace

int ParseDbfHeader(std::string_view bytes, std::int64_t fileSize, DbfHeader& out, std::string* why) {
  out = DbfHeader{};
  if (bytes.size() < kDbfHeaderSize || fileSize < kDbfHeaderSize) return Fail(why, "file shorter than a header");
  const auto* b = reinterpret_cast<const unsigned char*>(bytes.data());
  out.version = b[0];
  if (!KnownVersion(out.version)) return Fail(why, "unknown version byte");
  out.count = static_cast<long>(ReadLe32(b + 4));
  out.headerLength = b[8] | b[9] << 8;
  out.recordLength = b[10] | b[11] << 8;
  out.flags = b[28];
  out.codepage = b[29];
  if (out.headerLength < kDbfHeaderSize + kDescriptorSize + 1) return Fail(why, "header length too small");
  if (out.headerLength > fileSize) return Fail(why, "header runs past the end of the file");
  if (static_cast<std::int64_t>(bytes.size()) < out.headerLength) return Fail(why, "header not read whole");
  if (out.recordLength < 2) return Fail(why, "record length too small");

  const bool vfp = out.version == 0x30 || out.version == 0x31 || out.version == 0x32;
  int offset = 1;
  int at = kDbfHeaderSize;
  for (;;) {
    if (at >= out.headerLength) return Fail(why, "no end of the field descriptors");
    if (b[at] == 0x0D) break;
    if (at + kDescriptorSize > out.headerLength - 1) return Fail(why, "field descriptor runs past the header");
    const unsigned char* d = b + at;
    FieldDescriptor f;
    int nameLength = 0;
    while (nameLength < 11 && d[nameLength] != 0) ++nameLength;
    f.layout.name.assign(reinterpret_cast<const char*>(d), nameLength);
    while (!f.layout.name.empty() && f.layout.name.back() == ' ') f.layout.name.pop_back();
    if (f.layout.name.empty()) return Fail(why, "field without a name");
    for (char c : f.layout.name) {
      if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7F)
        return Fail(why, "field name with control bytes");
    }
    f.layout.type = static_cast<char>(std::toupper(d[11]));
    if (!std::isalnum(static_cast<unsigned char>(f.layout.type))) return Fail(why, "bad field type");
    f.layout.length = d[16];
    f.layout.decimals = d[17];
    f.displacement = ReadLe32(d + 12);
    f.flags = d[18];
    if (!WidthFits(f.layout.type, f.layout.length)) return Fail(why, "bad field width");
    f.layout.offset = offset;
    offset += f.layout.length;
    out.fields.push_back(std::move(f));
    at += kDescriptorSize;
  }
  out.terminator = at;
  if (out.fields.empty()) return Fail(why, "no fields");
  if (offset != out.recordLength) return Fail(why, "record length differs from the fields");
  (void)vfp;
  std::int64_t need = static_cast<std::int64_t>(out.headerLength) +
                      static_cast<std::int64_t>(out.count) * out.recordLength;
  if (need > fileSize) return Fail(why, "record count runs past the end of the file");
  return kSuccess;
}

int CheckRecordArea(const DbfHeader& header, std::int64_t fileSize, std::string* why) {
  const std::int64_t end = static_cast<std::int64_t>(header.headerLength) +
                           static_cast<std::int64_t>(header.count) * header.recordLength;
  if (fileSize < end) return Fail(why, "record count runs past the end of the file");
  if (fileSize - end >= header.recordLength) return Fail(why, "a record's length or more beyond the record count");
  return kSuccess;
}

std::string HeaderDateAndCount(long count) {
  // The date is worked out once a second at most (appends write it every time).
  static std::time_t cachedAt = -1;
  static unsigned char date[3];
  std::time_t now = std::time(nullptr);
  if (now != cachedAt) {
    std::tm local{};
    localtime_r(&now, &local);
    date[0] = static_cast<unsigned char>(local.tm_year % 100);
    date[1] = static_cast<unsigned char>(local.tm_mon + 1);
    date[2] = static_cast<unsigned char>(local.tm_mday);
    cachedAt = now;
  }
  unsigned char b[7] = {date[0], date[1], date[2], 0, 0, 0, 0};
  WriteLe32(b + 3, static_cast<std::uint32_t>(count));
  return std::string(reinterpret_cast<const char*>(b), 7);
}

int BuildDbfHeader(const std::vector<FieldInfo>& fields, DbfHeader& header, std::string& bytes) {
  header = DbfHeader{};
  if (fields.empty() || fields.size() > 255) return kErrorField;
  bool memo = false;
  int offset = 1;
  for (const FieldInfo& info : fields) {
    FieldDescriptor f;
    std::string name = info.name;
    while (!name.empty() && name.back() == ' ') name.pop_back();
    if (name.empty() || name.size() > 10) return kErrorField;
    for (char& c : name) {
      auto u = static_cast<unsigned char>(c);
      if (!(std::isalnum(u) || c == '_')) return kErrorField;
      c = static_cast<char>(std::toupper(u));
    }
    for (const FieldDescriptor& other : header.fields) {
      if (other.layout.name == name) return kErrorField;
    }
    char type = static_cast<char>(std::toupper(static_cast<unsigned char>(info.type)));
    int length = info.length;
    int decimals = info.decimals;
    switch (type) {
      case 'C': if (length < 1 || length > 254) return kErrorField; decimals = 0; break;
      case 'N': case 'F':
        if (length < 1 || length > 20 || decimals < 0 || (decimals > 0 && decimals > length - 2)) return kErrorField;
        break;
      case 'L': length = 1; decimals = 0; break;
      case 'D': length = 8; decimals = 0; break;
      case 'M': case 'X': case 'G':
        if (length != 4) length = 10;  // FoxPro's own form unless the binary pointer is asked for
        decimals = 0;
        memo = true;
        break;
      case 'I': length = 4; decimals = 0; break;
      case 'B': length = 8; break;
      case 'T': length = 8; decimals = 0; break;
      case 'Y': length = 8; decimals = 4; break;
      default: return kErrorField;
    }
    f.layout = {name, type, offset, length, decimals};
    offset += length;
    if (offset > 65535) return kErrorField;
    header.fields.push_back(std::move(f));
  }
  header.version = memo ? 0xF5 : 0x03;
  header.recordLength = offset;
  header.terminator = kDbfHeaderSize + kDescriptorSize * static_cast<int>(fields.size());
  header.headerLength = header.terminator + 1;

  bytes.assign(static_cast<std::size_t>(header.headerLength), '\0');
  auto* b = reinterpret_cast<unsigned char*>(bytes.data());
  b[0] = header.version;
  std::string dateCount = HeaderDateAndCount(0);
  std::copy(dateCount.begin(), dateCount.end(), bytes.begin() + 1);
  b[8] = static_cast<unsigned char>(header.headerLength);
  b[9] = static_cast<unsigned char>(header.headerLength >> 8);
  b[10] = static_cast<unsigned char>(header.recordLength);
  b[11] = static_cast<unsigned char>(header.recordLength >> 8);
  int at = kDbfHeaderSize;
  for (const FieldDescriptor& f : header.fields) {
    std::copy(f.layout.name.begin(), f.layout.name.end(), bytes.begin() + at);
    b[at + 11] = static_cast<unsigned char>(f.layout.type);
    b[at + 16] = static_cast<unsigned char>(f.layout.length);
    b[at + 17] = static_cast<unsigned char>(f.layout.decimals);
    at += kDescriptorSize;
  }
  b[at] = 0x0D;
  return kSuccess;
}

}  // namespace xbase::detail
