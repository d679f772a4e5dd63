// The engine's exported functions: each resolves its handle through the registry
// and answers kErrorHandle (or an empty value) for 0, closed or wrong handles.
#include <signal.h>

#include <algorithm>
#include <cctype>

#include "platform/xbase/field_value.h"
#include "platform/xbase/table.h"
#include "platform/xbase/xbase.h"

namespace xbase {
namespace {

using detail::Registry;
using detail::Table;

Table* FindTable(Data4 data) { return Registry::Get().FindTable(data); }

struct FieldRef {
  Table* table = nullptr;
  int index = -1;
  explicit operator bool() const { return table != nullptr; }
};

FieldRef FindField(Field4 field) {
  auto member = Registry::Get().FindField(field);
  return {member.table, member.index};
}

// A write past the process's file size limit then fails with EFBIG, as one on a
// full disk fails with ENOSPC, instead of ending the process with SIGXFSZ (a handler
// the program set stays).
void KeepFileSizeSignalOff() {
  struct sigaction now {};
  if (sigaction(SIGXFSZ, nullptr, &now) == 0 && now.sa_handler == SIG_DFL) {
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGXFSZ, &ignore, nullptr);
  }
}

int SetFlag(Code4 code, int& flag, int value) {
  (void)code;
  int previous = flag;
  flag = value;
  return previous;
}

}  // namespace

// --- context ------------------------------------------------------------------

Code4 d4init() {
  KeepFileSizeSignalOff();
  return Registry::Get().AddContext();
}

int d4initUndo(Code4 code) { return Registry::Get().RemoveContext(code); }

int code4autoOpen(Code4 code, int flag) {
  auto* c = Registry::Get().FindContext(code);
  return c ? SetFlag(code, c->autoOpen, flag) : kErrorHandle;
}

int code4errOff(Code4 code, int flag) {
  auto* c = Registry::Get().FindContext(code);
  return c ? SetFlag(code, c->errOff, flag) : kErrorHandle;
}

int code4errTagName(Code4 code, int flag) {
  auto* c = Registry::Get().FindContext(code);
  return c ? SetFlag(code, c->errTagName, flag) : kErrorHandle;
}

int code4optimize(Code4 code, int flag) {
  auto* c = Registry::Get().FindContext(code);
  return c ? SetFlag(code, c->optimize, flag) : kErrorHandle;
}

int code4accessMode(Code4 code, int mode) {
  auto* c = Registry::Get().FindContext(code);
  return c ? SetFlag(code, c->accessMode, mode) : kErrorHandle;
}

int code4errorCode(Code4 code, int newCode) {
  auto* c = Registry::Get().FindContext(code);
  if (!c) return kErrorHandle;
  int pending = c->errorCode;
  c->errorCode = newCode;
  return pending;
}

// --- tables ---------------------------------------------------------------------

Data4 d4open(Code4 code, const std::string& path) {
  auto* c = Registry::Get().FindContext(code);
  if (!c) return 0;
  int result = kSuccess;
  auto table = Table::Open(path, c->autoOpen != 0, result);
  if (!table) {
    c->errorCode = result;
    return 0;
  }
  return Registry::Get().AddTable(code, std::move(table));
}

Data4 d4create(Code4 code, const std::string& path, const std::vector<FieldInfo>& fields,
               const std::vector<TagInfo>& tags) {
  auto* c = Registry::Get().FindContext(code);
  if (!c) return 0;
  int result = kSuccess;
  auto table = Table::Create(path, fields, tags, result);
  if (!table) {
    c->errorCode = result;
    return 0;
  }
  return Registry::Get().AddTable(code, std::move(table));
}

int d4close(Data4 data) { return Registry::Get().CloseTable(data); }

std::string d4fileName(Data4 data) {
  Table* t = FindTable(data);
  return t ? t->Path() : "";
}

Code4 d4code(Data4 data) {
  Table* t = FindTable(data);
  return t ? t->CodeHandle() : 0;
}

int d4numFields(Data4 data) {
  Table* t = FindTable(data);
  return t ? t->FieldCount() : kErrorHandle;
}

Field4 d4field(Data4 data, std::string_view name) {
  Table* t = FindTable(data);
  if (!t) return 0;
  std::string_view trimmed = name;
  while (!trimmed.empty() && trimmed.back() == ' ') trimmed.remove_suffix(1);
  while (!trimmed.empty() && trimmed.front() == ' ') trimmed.remove_prefix(1);
  for (int i = 0; i < t->FieldCount(); ++i) {
    const std::string& n = t->Field(i).name;
    if (n.size() == trimmed.size() &&
        std::equal(n.begin(), n.end(), trimmed.begin(), [](char a, char b) {
          return std::toupper(static_cast<unsigned char>(a)) == std::toupper(static_cast<unsigned char>(b));
        })) {
      return Registry::Get().FieldHandle(data, i);
    }
  }
  return 0;
}

Field4 d4fieldJ(Data4 data, int j) { return Registry::Get().FieldHandle(data, j - 1); }

// --- position -------------------------------------------------------------------

int d4top(Data4 data) {
  Table* t = FindTable(data);
  return t ? t->Top() : kErrorHandle;
}

int d4bottom(Data4 data) {
  Table* t = FindTable(data);
  return t ? t->Bottom() : kErrorHandle;
}

int d4skip(Data4 data, long count) {
  Table* t = FindTable(data);
  return t ? t->Skip(count) : kErrorHandle;
}

int d4go(Data4 data, long recno) {
  Table* t = FindTable(data);
  return t ? t->Go(recno) : kErrorHandle;
}

int d4goEof(Data4 data) {
  Table* t = FindTable(data);
  return t ? t->GoEof() : kErrorHandle;
}

long d4recNo(Data4 data) {
  Table* t = FindTable(data);
  return t ? t->RecNo() : kErrorHandle;
}

long d4recCount(Data4 data) {
  Table* t = FindTable(data);
  return t ? t->RecCount() : kErrorHandle;
}

bool d4eof(Data4 data) {
  Table* t = FindTable(data);
  return t ? t->Eof() : true;
}

bool d4bof(Data4 data) {
  Table* t = FindTable(data);
  return t ? t->Bof() : true;
}

// --- records --------------------------------------------------------------------

int d4appendStart(Data4 data, int useMemoEntries) {
  Table* t = FindTable(data);
  return t ? t->AppendStart(useMemoEntries) : kErrorHandle;
}

int d4blank(Data4 data) {
  Table* t = FindTable(data);
  return t ? t->Blank() : kErrorHandle;
}

int d4append(Data4 data) {
  Table* t = FindTable(data);
  return t ? t->Append() : kErrorHandle;
}

int d4flush(Data4 data) {
  Table* t = FindTable(data);
  return t ? t->Flush() : kErrorHandle;
}

int d4delete(Data4 data) {
  Table* t = FindTable(data);
  return t ? t->SetDeleted(true) : kErrorHandle;
}

int d4recall(Data4 data) {
  Table* t = FindTable(data);
  return t ? t->SetDeleted(false) : kErrorHandle;
}

bool d4deleted(Data4 data) {
  Table* t = FindTable(data);
  return t ? t->Deleted() : false;
}

int d4pack(Data4 data) {
  Table* t = FindTable(data);
  return t ? t->Pack() : kErrorHandle;
}

int d4memoCompress(Data4 data) {
  Table* t = FindTable(data);
  return t ? t->MemoCompress() : kErrorHandle;
}

int d4lock(Data4 data, long recno) {
  Table* t = FindTable(data);
  return t ? t->Lock(recno) : kErrorHandle;
}

int d4lockAll(Data4 data) {
  Table* t = FindTable(data);
  return t ? t->LockAll() : kErrorHandle;
}

int d4unlock(Data4 data) {
  Table* t = FindTable(data);
  return t ? t->Unlock() : kErrorHandle;
}

int d4bulkAppend(Data4 data, int on) {
  Table* t = FindTable(data);
  return t ? t->BulkAppend(on != 0) : kErrorHandle;
}

// --- fields ---------------------------------------------------------------------

char f4type(Field4 field) {
  auto f = FindField(field);
  return f ? f.table->Field(f.index).type : '\0';
}

std::string f4name(Field4 field) {
  auto f = FindField(field);
  return f ? f.table->Field(f.index).name : "";
}

int f4len(Field4 field) {
  auto f = FindField(field);
  return f ? f.table->Field(f.index).length : kErrorHandle;
}

int f4decimals(Field4 field) {
  auto f = FindField(field);
  return f ? f.table->Field(f.index).decimals : kErrorHandle;
}

Data4 f4data(Field4 field) {
  auto f = FindField(field);
  return f ? f.table->Handle() : 0;
}

std::string f4str(Field4 field) {
  auto f = FindField(field);
  return f ? detail::FieldStr(*f.table, f.index) : "";
}

long f4long(Field4 field) {
  auto f = FindField(field);
  return f ? detail::FieldLong(*f.table, f.index) : 0;
}

int f4int(Field4 field) {
  auto f = FindField(field);
  if (!f) return 0;
  long v = detail::FieldLong(*f.table, f.index);
  return static_cast<int>(std::clamp<long>(v, INT32_MIN, INT32_MAX));
}

double f4double(Field4 field) {
  auto f = FindField(field);
  return f ? detail::FieldDouble(*f.table, f.index) : 0.0;
}

bool f4true(Field4 field) {
  auto f = FindField(field);
  return f ? detail::FieldTrue(*f.table, f.index) : false;
}

int f4assign(Field4 field, std::string_view text) {
  auto f = FindField(field);
  return f ? detail::AssignText(*f.table, f.index, text) : kErrorHandle;
}

int f4assignLong(Field4 field, long value) {
  auto f = FindField(field);
  return f ? detail::AssignLong(*f.table, f.index, value) : kErrorHandle;
}

int f4assignInt(Field4 field, int value) {
  auto f = FindField(field);
  return f ? detail::AssignLong(*f.table, f.index, value) : kErrorHandle;
}

int f4assignDouble(Field4 field, double value) {
  auto f = FindField(field);
  return f ? detail::AssignDouble(*f.table, f.index, value) : kErrorHandle;
}

int f4assignField(Field4 to, Field4 from) {
  auto t = FindField(to);
  auto f = FindField(from);
  if (!t || !f) return kErrorHandle;
  return detail::AssignField(*t.table, t.index, *f.table, f.index);
}

std::string f4memoStr(Field4 field) {
  auto f = FindField(field);
  return f ? detail::MemoStr(*f.table, f.index) : "";
}

long f4memoLen(Field4 field) {
  auto f = FindField(field);
  return f ? static_cast<long>(detail::MemoStr(*f.table, f.index).size()) : 0;
}

int f4memoAssign(Field4 field, std::string_view text) {
  auto f = FindField(field);
  return f ? detail::MemoAssign(*f.table, f.index, text) : kErrorHandle;
}

// --- dates ----------------------------------------------------------------------

long date4long(std::string_view ccyymmdd) { return detail::DayNumber(ccyymmdd); }

// Picture letters: C century, Y year, M month (more than two: the month's name), D
// day; any other character is kept. The result has the picture's length.
std::string date4format(std::string_view date, std::string_view picture) {
  static const char* const kMonths[] = {"January", "February", "March",     "April",   "May",      "June",
                                        "July",    "August",   "September", "October", "November", "December"};
  std::string d(date.substr(0, 8));
  d.resize(8, ' ');
  const bool blank = detail::DayNumber(d) == 0;
  std::string out;
  std::size_t i = 0;
  while (i < picture.size()) {
    char c = static_cast<char>(std::toupper(static_cast<unsigned char>(picture[i])));
    std::size_t run = 1;
    while (i + run < picture.size() &&
           std::toupper(static_cast<unsigned char>(picture[i + run])) == static_cast<unsigned char>(c))
      ++run;
    std::string part;
    switch (c) {
      case 'C': part = d.substr(0, 2); break;
      case 'Y': part = run >= 4 ? d.substr(0, 4) : d.substr(2, 2); break;
      case 'M':
        if (run > 2) {
          int m = (d[4] - '0') * 10 + (d[5] - '0');
          part = blank || m < 1 || m > 12 ? "" : kMonths[m - 1];
        } else {
          part = d.substr(4, 2);
        }
        break;
      case 'D': part = d.substr(6, 2); break;
      default: part = std::string(picture.substr(i, run)); break;
    }
    if (blank && (c == 'C' || c == 'Y' || c == 'M' || c == 'D')) part.assign(part.size(), ' ');
    // Runs longer than their value are blank-filled on the left; shorter ones keep the right end.
    if (part.size() < run) {
      part = c == 'M' && run > 2 ? part + std::string(run - part.size(), ' ')
                                 : std::string(run - part.size(), c == 'C' || c == 'Y' || c == 'M' || c == 'D' ? ' ' : ' ') + part;
    } else if (part.size() > run) {
      part = c == 'M' && run > 2 ? part.substr(0, run) : part.substr(part.size() - run);
    }
    out += part;
    i += run;
  }
  return out;
}

}  // namespace xbase
