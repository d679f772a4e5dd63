// xbdump FOLDER: the canonical text dump of every table in a folder, read through
// our engine, so that it can be compared line for line with the dump that other
// FoxPro-compatible software makes of the same files.
//
//   TABLE / INFO / FIELD / INFO field / TAG / REC lines per table, PROBLEM lines for
//   anything wrong, and one END line. Exit code 0, or 2 when the folder is unusable.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "platform/xbase/table.h"
#include "platform/xbase/tag_check.h"
#include "platform/xbase/xbase.h"

namespace {

namespace fs = std::filesystem;

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::string Hex2(unsigned value) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%02X", value & 0xFFu);
  return text;
}

// Every value is escaped so that a line holds exactly one record.
std::string Escape(const std::string& bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (char ch : bytes) {
    auto c = static_cast<unsigned char>(ch);
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '|': out += "\\|"; break;
      case '\r': out += "\\r"; break;
      case '\n': out += "\\n"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20 || c >= 0x7F) {
          char text[8];
          std::snprintf(text, sizeof text, "\\x%02X", c);
          out += text;
        } else {
          out += ch;
        }
    }
  }
  return out;
}

std::string FileName(const std::string& path) {
  return path.empty() ? "-" : fs::path(path).filename().string();
}

struct Counts {
  int tables = 0;
  int problems = 0;
};

void Problem(const std::string& file, const std::string& text, Counts& counts, std::string& out) {
  out += "PROBLEM " + file + " " + text + "\n";
  ++counts.problems;
}

// ---------------------------------------------------------------------------
// TAG lines, one per tag of the production index in name order (see the fixture
// notes for the fields: key, for, unique, descending, keys, ordered, recsum,
// seekfail, expect, missing, stale, dupentries, recorder, keytype, keylen).
// Written by the index code through the t4* / d4tag API; nothing while the table
// has no index open.
void DumpTagLines(xbase::Data4 data, const std::string& file, Counts& counts, std::string& out) {
  for (const auto& check : xbase::detail::CheckTags(data)) {
    out += check.Line() + "\n";
    for (const auto& problem : check.Problems()) Problem(file, problem, counts, out);
  }
}
// ---------------------------------------------------------------------------

void DumpRecords(xbase::Data4 data, const std::string& file, Counts& counts, std::string& out) {
  auto* table = xbase::detail::Registry::Get().FindTable(data);
  const int fieldCount = xbase::d4numFields(data);
  std::vector<xbase::Field4> fields;
  for (int j = 1; j <= fieldCount; ++j) fields.push_back(xbase::d4fieldJ(data, j));
  const long count = xbase::d4recCount(data);
  for (long recno = 1; recno <= count; ++recno) {
    int code = xbase::d4go(data, recno);
    if (code != xbase::kSuccess) {
      Problem(file, "record " + std::to_string(recno) + " unreadable code=" + std::to_string(code), counts, out);
      continue;
    }
    out += "REC " + std::to_string(recno) + " del=" + (xbase::d4deleted(data) ? "T" : "F") + " |";
    std::string damagedMemos;
    for (int j = 0; j < fieldCount; ++j) {
      xbase::Field4 field = fields[static_cast<std::size_t>(j)];
      char type = xbase::f4type(field);
      if (table->IsMemo(j)) {
        std::string text = xbase::f4memoStr(field);
        out += std::to_string(text.size()) + ":" + Escape(text);
        // A damaged memo reads as "" and leaves the memo code pending.
        if (xbase::code4errorCode(xbase::d4code(data), 0) == xbase::kErrorMemo) damagedMemos.append(" ").append(xbase::f4name(field));
      } else if (type == 'L') {
        out += xbase::f4true(field) ? "T" : "F";
      } else {
        out += Escape(xbase::f4str(field));
      }
      out += "|";
    }
    out += "\n";
    if (!damagedMemos.empty()) Problem(file, "record " + std::to_string(recno) + " damaged memo" + damagedMemos, counts, out);
  }
}

void DumpTable(xbase::Code4 code, const fs::path& path, Counts& counts, std::string& out) {
  const std::string file = Lower(path.filename().string());
  xbase::code4errorCode(code, 0);
  xbase::Data4 data = xbase::d4open(code, path.string());
  if (data == 0) {
    Problem(file, "does not open code=" + std::to_string(xbase::code4errorCode(code, 0)), counts, out);
    return;
  }
  ++counts.tables;
  auto* table = xbase::detail::Registry::Get().FindTable(data);
  out += "TABLE " + file + " version=" + Hex2(table->Version()) + " records=" +
         std::to_string(xbase::d4recCount(data)) + " header=" + std::to_string(table->HeaderLength()) +
         " reclen=" + std::to_string(table->RecordLength()) + "\n";
  out += "INFO " + file + " flags=" + Hex2(table->Flags()) + " codepage=" + Hex2(table->Codepage()) +
         " terminator=" + std::to_string(table->Terminator()) + " cdx=" + FileName(table->IndexPath()) +
         " fpt=" + FileName(table->MemoPath()) + "\n";
  for (int j = 0; j < table->FieldCount(); ++j) {
    const auto& f = table->Field(j);
    out += "FIELD " + f.name + " " + std::string(1, f.type) + " " + std::to_string(f.length) + " " +
           std::to_string(f.decimals) + "\n";
    out += "INFO field " + f.name + " offset=" + std::to_string(f.offset) +
           " displacement=" + std::to_string(table->Displacement(j)) + " flags=" + Hex2(table->FieldFlags(j)) + "\n";
  }
  DumpTagLines(data, file, counts, out);
  DumpRecords(data, file, counts, out);
  xbase::d4close(data);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: xbdump FOLDER\n";
    return 2;
  }
  std::error_code error;
  std::vector<fs::path> tables;
  for (const auto& entry : fs::directory_iterator(argv[1], error)) {
    if (entry.is_regular_file() && Lower(entry.path().extension().string()) == ".dbf") tables.push_back(entry.path());
  }
  if (error) {
    std::cerr << "xbdump: cannot read " << argv[1] << "\n";
    return 2;
  }
  std::sort(tables.begin(), tables.end(), [](const fs::path& a, const fs::path& b) {
    return Lower(a.filename().string()) < Lower(b.filename().string());
  });

  xbase::Code4 code = xbase::d4init();
  xbase::code4autoOpen(code, 1);
  xbase::code4errOff(code, 1);
  xbase::code4accessMode(code, 0);
  Counts counts;
  std::string out;
  for (const fs::path& path : tables) DumpTable(code, path, counts, out);
  out += "END tables=" + std::to_string(counts.tables) + " problems=" + std::to_string(counts.problems) +
         (counts.problems == 0 ? " CLEAN" : " NOT-CLEAN") + "\n";
  std::fwrite(out.data(), 1, out.size(), stdout);
  xbase::d4initUndo(code);
  return 0;
}
