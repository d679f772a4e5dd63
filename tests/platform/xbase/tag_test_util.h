#pragma once
// Helpers for the index tests: the tag checks of the canonical dump, the fixture
// folders' tables, and record edits through the engine.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/xbase/tag_check.h"
#include "platform/xbase/xbase.h"
#include "support/test_support.h"
#include "table_test_util.h"

namespace tag_test {

namespace fs = std::filesystem;

inline fs::path FixtureDir(const std::string& folder) {
  return testing_support::SharedDir() / "fixtures" / "xbase" / folder;
}

// The .dbf files of a folder in name order, ignoring case (as the dump takes them).
inline std::vector<fs::path> Tables(const fs::path& dir) {
  std::vector<fs::path> out;
  for (const auto& e : fs::directory_iterator(dir)) {
    std::string ext = e.path().extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), ::tolower);
    if (ext == ".dbf") out.push_back(e.path());
  }
  auto lower = [](const fs::path& p) {
    std::string s = p.filename().string();
    std::transform(s.begin(), s.end(), s.begin(), ::tolower);
    return s;
  };
  std::sort(out.begin(), out.end(), [&](const fs::path& a, const fs::path& b) { return lower(a) < lower(b); });
  return out;
}

// Every problem the tag checks find, one text each ("" entries never).
inline std::vector<std::string> TagProblems(xbase::Data4 data) {
  std::vector<std::string> out;
  for (const auto& c : xbase::detail::CheckTags(data))
    for (const auto& p : c.Problems()) out.push_back(p);
  return out;
}

inline std::vector<std::string> TagLines(xbase::Data4 data) {
  std::vector<std::string> out;
  for (const auto& c : xbase::detail::CheckTags(data)) out.push_back(c.Line());
  return out;
}

// Schema uniqueness codes of the unique tags (the file keeps only "unique").
inline int SchemaUnique(const std::string& tag) {
  return tag == "USERUNITID" || tag == "NAME_DATE" ? xbase::kUniqueContinue : xbase::kUniqueError;
}

struct Structure {
  std::vector<xbase::FieldInfo> fields;
  std::vector<xbase::TagInfo> tags;
};

// The fields and tags of an open table.
inline Structure StructureOf(xbase::Data4 data) {
  using namespace xbase;
  Structure s;
  for (int j = 1; j <= d4numFields(data); ++j) {
    Field4 f = d4fieldJ(data, j);
    s.fields.push_back({f4name(f), f4type(f), f4len(f), f4decimals(f)});
  }
  for (Tag4 t = d4tagNext(data, 0); t; t = d4tagNext(data, t)) {
    TagInfo info{t4name(t), t4expr(t), t4filter(t), 0, 0};
    if (t4unique(t) != kUniqueNone) info.unique = SchemaUnique(info.name);
    s.tags.push_back(info);
  }
  return s;
}

// Copies the current record of from into a new record of to (same fields).
inline int AppendCopy(xbase::Data4 from, xbase::Data4 to) {
  using namespace xbase;
  int code = d4appendStart(to, 0);
  if (code != 0) return code;
  for (int j = 1; j <= d4numFields(from); ++j) {
    code = f4memoAssign(d4fieldJ(to, j), f4memoStr(d4fieldJ(from, j)));
    if (code != 0) return code;
  }
  return d4append(to);
}

}  // namespace tag_test
