#include "platform/xbase/field_value.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/xbase/dbf.h"
#include "platform/xbase/table.h"

namespace xbase::detail {
namespace {

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\0')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\0')) text.remove_suffix(1);
  return text;
}

std::string_view Bytes(Table& table, int field) {
  const FieldLayout& f = table.Field(field);
  return table.Record().substr(f.offset, f.length);
}

// The buffer may be changed only while it holds a record or a started append.
int Editable(Table& table) {
  if (table.ReadOnly()) return kErrorAccess;
  if (!table.Editing()) return kErrorRecord;
  return kSuccess;
}

int Put(Table& table, int field, std::string_view bytes) {
  const FieldLayout& f = table.Field(field);
  char* to = table.MutableRecord() + f.offset;
  std::size_t n = std::min<std::size_t>(bytes.size(), static_cast<std::size_t>(f.length));
  std::memcpy(to, bytes.data(), n);
  return kSuccess;
}

long Clamp(long long value) {
  return static_cast<long>(std::clamp<long long>(value, LONG_MIN, LONG_MAX));
}

std::int32_t ReadInt32(std::string_view bytes) {
  return static_cast<std::int32_t>(ReadLe32(reinterpret_cast<const unsigned char*>(bytes.data())));
}

double ReadDouble(std::string_view bytes) {
  double v = 0;
  std::memcpy(&v, bytes.data(), sizeof v);
  return v;
}

long long ReadInt64(std::string_view bytes) {
  long long v = 0;
  std::memcpy(&v, bytes.data(), sizeof v);
  return v;
}

std::string Int32Bytes(long long value) {
  std::string out(4, '\0');
  WriteLe32(reinterpret_cast<unsigned char*>(out.data()),
            static_cast<std::uint32_t>(static_cast<std::int32_t>(std::clamp<long long>(value, INT32_MIN, INT32_MAX))));
  return out;
}

template <typename T>
std::string RawBytes(T value) {
  std::string out(sizeof value, '\0');
  std::memcpy(out.data(), &value, sizeof value);
  return out;
}

bool Numeric(char type) { return type == 'N' || type == 'F'; }

}  // namespace

long long LeadingInteger(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\0')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
    negative = text[i] == '-';
    ++i;
  }
  long long value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    if (value < LLONG_MAX / 10) value = value * 10 + (text[i] - '0');
  }
  return negative ? -value : value;
}

long DayNumber(std::string_view date) {
  if (date.size() < 8) return 0;
  int parts[3] = {0, 0, 0};
  const int widths[3] = {4, 2, 2};
  std::size_t at = 0;
  for (int p = 0; p < 3; ++p) {
    for (int k = 0; k < widths[p]; ++k, ++at) {
      char c = date[at];
      if (c < '0' || c > '9') return 0;
      parts[p] = parts[p] * 10 + (c - '0');
    }
  }
  int y = parts[0], m = parts[1], d = parts[2];
  if (m < 1 || m > 12 || d < 1 || d > 31) return 0;
  // Days from 1970-01-01 of a proleptic Gregorian date, then the Julian day.
  y -= m <= 2;
  long era = (y >= 0 ? y : y - 399) / 400;
  long yoe = y - era * 400;
  long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468 + 2440588;
}

std::string DateOfDayNumber(long day) {
  if (day <= 0) return std::string(8, ' ');
  long z = day - 2440588 + 719468;
  long era = (z >= 0 ? z : z - 146096) / 146097;
  long doe = z - era * 146097;
  long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  long y = yoe + era * 400;
  long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  long mp = (5 * doy + 2) / 153;
  long d = doy - (153 * mp + 2) / 5 + 1;
  long m = mp + (mp < 10 ? 3 : -9);
  y += m <= 2;
  if (y < 0 || y > 9999) return std::string(8, ' ');
  char text[64];
  std::snprintf(text, sizeof text, "%04ld%02ld%02ld", y, m, d);
  return text;
}

std::string FormatFieldNumber(double value, int width, int decimals) {
  if (width <= 0) return "";
  if (!std::isfinite(value)) return std::string(static_cast<std::size_t>(width), '*');
  decimals = std::clamp(decimals, 0, 18);
  char text[400];
  int n = std::snprintf(text, sizeof text, "%*.*f", width, decimals, value + 0.0);
  if (n < 0 || n > width) return std::string(static_cast<std::size_t>(width), '*');
  std::string out(text, static_cast<std::size_t>(n));
  // "-0.00" is written as "0.00".
  std::size_t minus = out.find('-');
  if (minus != std::string::npos && out.find_first_of("123456789") == std::string::npos) out[minus] = ' ';
  return out;
}

std::string FormatFieldInteger(long long value, int width) {
  std::string digits = std::to_string(value);
  if (static_cast<int>(digits.size()) > width) return std::string(static_cast<std::size_t>(width), '*');
  return std::string(static_cast<std::size_t>(width) - digits.size(), ' ') + digits;
}

std::string FieldStr(Table& table, int field) { return std::string(Bytes(table, field)); }

long FieldLong(Table& table, int field) {
  const FieldLayout& f = table.Field(field);
  std::string_view bytes = Bytes(table, field);
  switch (f.type) {
    case 'I': return ReadInt32(bytes);
    case 'D': return DayNumber(bytes);
    case 'B': {
      double v = ReadDouble(bytes);
      return std::isfinite(v) ? Clamp(static_cast<long long>(std::clamp(v, -9.2e18, 9.2e18))) : 0;
    }
    case 'Y': return Clamp(ReadInt64(bytes) / 10000);
    case 'M': case 'X': case 'G': case 'P': case 'W':
      if (table.IsMemo(field)) return Clamp(LeadingInteger(table.MemoText(field)));
      return 0;
    default: return Clamp(LeadingInteger(bytes));
  }
}

double FieldDouble(Table& table, int field) {
  const FieldLayout& f = table.Field(field);
  std::string_view bytes = Bytes(table, field);
  switch (f.type) {
    case 'I': return ReadInt32(bytes);
    case 'D': return static_cast<double>(DayNumber(bytes));
    case 'B': return ReadDouble(bytes);
    case 'Y': return static_cast<double>(ReadInt64(bytes)) / 10000.0;
    default: {
      std::string text(Trim(bytes));
      if (text.empty() || text[0] == '*') return 0;
      return std::strtod(text.c_str(), nullptr);
    }
  }
}

bool FieldTrue(Table& table, int field) {
  std::string_view bytes = Bytes(table, field);
  char c = bytes.empty() ? ' ' : bytes[0];
  return c == 'T' || c == 't' || c == 'Y' || c == 'y';
}

int AssignText(Table& table, int field, std::string_view text) {
  int code = Editable(table);
  if (code != kSuccess) return code;
  const FieldLayout& f = table.Field(field);
  const auto width = static_cast<std::size_t>(f.length);
  switch (f.type) {
    case 'N': case 'F': {
      std::string_view number = Trim(text);
      if (number.size() > width) return Put(table, field, std::string(width, '*'));
      return Put(table, field, std::string(width - number.size(), ' ') + std::string(number));
    }
    case 'I': return Put(table, field, Int32Bytes(LeadingInteger(text)));
    case 'B': return Put(table, field, RawBytes(std::strtod(std::string(Trim(text)).c_str(), nullptr)));
    case 'Y': {
      double v = std::strtod(std::string(Trim(text)).c_str(), nullptr);
      return Put(table, field, RawBytes(static_cast<long long>(std::llround(std::clamp(v, -9.2e14, 9.2e14) * 10000))));
    }
    case 'L': return Put(table, field, std::string(1, text.empty() ? ' ' : text[0]));
    default:
      if (table.IsMemo(field)) return table.SetMemo(field, text);
      std::string bytes(text.substr(0, width));
      bytes.resize(width, ' ');
      return Put(table, field, bytes);
  }
}

int AssignDouble(Table& table, int field, double value) {
  int code = Editable(table);
  if (code != kSuccess) return code;
  const FieldLayout& f = table.Field(field);
  switch (f.type) {
    case 'I':
      return Put(table, field, Int32Bytes(std::isfinite(value) ? std::llround(std::clamp(value, -3e9, 3e9)) : 0));
    case 'B': return Put(table, field, RawBytes(value));
    case 'Y':
      return Put(table, field, RawBytes(static_cast<long long>(
                                   std::isfinite(value) ? std::llround(std::clamp(value, -9.2e14, 9.2e14) * 10000) : 0)));
    case 'D':
      return Put(table, field, DateOfDayNumber(std::isfinite(value) ? static_cast<long>(std::clamp(value, 0.0, 1e8)) : 0));
    case 'N': case 'F': case 'C':
      return Put(table, field, FormatFieldNumber(value, f.length, Numeric(f.type) ? f.decimals : 0));
    default:
      return AssignText(table, field, FormatFieldNumber(value, 20, f.decimals).substr(0));
  }
}

int AssignLong(Table& table, int field, long value) {
  int code = Editable(table);
  if (code != kSuccess) return code;
  const FieldLayout& f = table.Field(field);
  switch (f.type) {
    case 'N': case 'F':
      if (f.decimals > 0) return Put(table, field, FormatFieldNumber(static_cast<double>(value), f.length, f.decimals));
      return Put(table, field, FormatFieldInteger(value, f.length));
    case 'C': return Put(table, field, FormatFieldInteger(value, f.length));
    case 'I': return Put(table, field, Int32Bytes(value));
    case 'D': return Put(table, field, DateOfDayNumber(value));
    case 'L': return Put(table, field, value ? "T" : "F");
    default:
      if (table.IsMemo(field)) return table.SetMemo(field, std::to_string(value));
      return AssignDouble(table, field, static_cast<double>(value));
  }
}

std::string MemoStr(Table& table, int field) {
  if (!table.IsMemo(field)) return FieldStr(table, field);
  return table.MemoText(field);
}

int MemoAssign(Table& table, int field, std::string_view text) {
  if (!table.IsMemo(field)) return AssignText(table, field, text);
  int code = Editable(table);
  if (code != kSuccess) return code;
  return table.SetMemo(field, text);
}

int AssignField(Table& to, int toField, Table& from, int fromField) {
  const FieldLayout& t = to.Field(toField);
  const FieldLayout& f = from.Field(fromField);
  // Memos are copied as text: copying the pointer would make two records share a run.
  if (to.IsMemo(toField)) return MemoAssign(to, toField, MemoStr(from, fromField));
  if (from.IsMemo(fromField)) return AssignText(to, toField, MemoStr(from, fromField));
  if (t.type == f.type && t.length == f.length && t.decimals == f.decimals) {
    int code = Editable(to);
    if (code != kSuccess) return code;
    return Put(to, toField, std::string(Bytes(from, fromField)));
  }
  const bool toNumber = Numeric(t.type) || t.type == 'I' || t.type == 'B' || t.type == 'Y';
  const bool fromNumber = Numeric(f.type) || f.type == 'I' || f.type == 'B' || f.type == 'Y';
  if (toNumber && fromNumber) {
    if (Trim(Bytes(from, fromField)).empty() && Numeric(f.type)) return AssignText(to, toField, "");
    return AssignDouble(to, toField, FieldDouble(from, fromField));
  }
  if (t.type == 'D' && f.type == 'D') return AssignText(to, toField, Bytes(from, fromField));
  if (!toNumber && t.type != 'D' && (f.type == 'I' || f.type == 'B' || f.type == 'Y'))
    return AssignText(to, toField, FormatFieldNumber(FieldDouble(from, fromField), 20, f.decimals));
  if (t.type == 'I' || t.type == 'B' || t.type == 'Y') return AssignDouble(to, toField, FieldDouble(from, fromField));
  if (Numeric(t.type)) return AssignText(to, toField, Trim(Bytes(from, fromField)));
  return AssignText(to, toField, Bytes(from, fromField));
}

}  // namespace xbase::detail
