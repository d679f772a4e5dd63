#pragma once
// Installations for the upgrade tests: tables of the schema's layout or of an older
// one with rows, area and course folders the catalogue loads, and readers that give
// back what a folder's tables hold.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "construction/schema.h"
#include "core/strings.h"
#include "data/catalogue.h"
#include "data/codebase.h"
#include "platform/xbase/xbase.h"
#include "support/test_support.h"

namespace upgrade_testing {

namespace fs = std::filesystem;
using Row = std::map<std::string, std::string>;  // field name (lower case) -> value

inline xbase::Code4 Code() {
  if (tolvarin::Engine().EngineHandle == 0) tolvarin::InitCodeBase();
  return tolvarin::Engine().EngineHandle;
}

// The schema's entry for a table (DefineDatabase first when the schema is empty).
inline tolvarin::TableDef Layout(const std::string& name) {
  if (tolvarin::TableDefs().empty()) tolvarin::DefineDatabase();
  return tolvarin::GetTableDef(name);
}

// A layout with one field changed (or removed when the change gives an empty name).
inline tolvarin::TableDef WithField(tolvarin::TableDef def, const std::string& field,
                                    const std::function<void(tolvarin::FieldDef&)>& change) {
  for (auto& f : def.Fields) {
    if (f.Name != field) continue;
    change(f);
    // A removed field takes the tags over it along.
    if (f.Name.empty()) {
      def.Tags.erase(std::remove_if(def.Tags.begin(), def.Tags.end(),
                                    [&](const tolvarin::TagDef& t) {
                                      return tolvarin::ToLower(t.Expression).find(field) != std::string::npos;
                                    }),
                     def.Tags.end());
    }
  }
  def.Fields.erase(std::remove_if(def.Fields.begin(), def.Fields.end(),
                                  [](const tolvarin::FieldDef& f) { return f.Name.empty(); }),
                   def.Fields.end());
  return def;
}
inline tolvarin::TableDef WithoutTag(tolvarin::TableDef def, const std::string& tag) {
  def.Tags.erase(std::remove_if(def.Tags.begin(), def.Tags.end(),
                                [&](const tolvarin::TagDef& t) { return tolvarin::EqualsNoCase(t.Name, tag); }),
                 def.Tags.end());
  return def;
}

// Creates folder/<file>.dbf with the layout's fields and tags and appends the rows.
inline void MakeTable(const fs::path& folder, const std::string& file, const tolvarin::TableDef& layout,
                      const std::vector<Row>& rows) {
  fs::create_directories(folder);
  for (const char* extension : {".dbf", ".cdx", ".fpt"}) fs::remove(folder / (file + extension));
  Code();
  const xbase::Data4 data = tolvarin::d4create((folder / (file + ".dbf")).string(), layout.Fields, layout.Tags);
  ASSERT_NE(data, 0) << folder / file;
  for (const Row& row : rows) {
    xbase::d4appendStart(data, 0);
    xbase::d4blank(data);
    for (const auto& [name, value] : row) {
      const xbase::Field4 field = xbase::d4field(data, name);
      ASSERT_NE(field, 0) << file << "." << name;
      if (xbase::f4type(field) == 'M') {
        xbase::f4memoAssign(field, value);
      } else {
        xbase::f4assign(field, value);
      }
    }
    ASSERT_EQ(xbase::d4append(data), 0) << file;
  }
  xbase::d4close(data);
}

// Every live row of a table: field name (lower case) -> trimmed text (memo text).
inline std::vector<Row> ReadRows(const fs::path& dbf) {
  std::vector<Row> rows;
  const xbase::Data4 data = xbase::d4open(Code(), dbf.string());
  if (data == 0) {
    xbase::code4errorCode(Code(), 0);
    ADD_FAILURE() << "cannot open " << dbf;
    return rows;
  }
  for (int rc = xbase::d4top(data); rc == 0; rc = xbase::d4skip(data, 1)) {
    if (xbase::d4deleted(data)) continue;
    Row row;
    for (int j = 1; j <= xbase::d4numFields(data); ++j) {
      const xbase::Field4 f = xbase::d4fieldJ(data, j);
      const std::string text = xbase::f4type(f) == 'M' ? xbase::f4memoStr(f) : xbase::f4str(f);
      row[tolvarin::ToLower(tolvarin::Trim(xbase::f4name(f)))] = tolvarin::Trim(text);
    }
    rows.push_back(row);
  }
  xbase::d4close(data);
  return rows;
}

// The values one field takes over a table's live rows, sorted.
inline std::vector<std::string> Column(const fs::path& dbf, const std::string& field) {
  std::vector<std::string> values;
  for (const Row& row : ReadRows(dbf)) values.push_back(row.count(field) ? row.at(field) : "<none>");
  std::sort(values.begin(), values.end());
  return values;
}

// True when the table at the path conforms to its schema entry.
inline bool Conforms(const fs::path& dbf, const std::string& name) {
  const xbase::Data4 data = xbase::d4open(Code(), dbf.string());
  if (data == 0) {
    xbase::code4errorCode(Code(), 0);
    return false;
  }
  const bool conforms = tolvarin::TableMatchesDef(data, Layout(name), true).value_or(false);
  xbase::d4close(data);
  return conforms;
}

// A users row that cannot edit passwords.
inline Row User(const std::string& id, const std::string& name) {
  return {{"user_id", id}, {"user_name", name}, {"password", "x"}, {"edit_pswd", "F"}};
}

// An old students layout: one name field in place of the two.
inline tolvarin::TableDef OldStudents() {
  tolvarin::TableDef def =
      WithField(Layout("students"), "last_name", [](tolvarin::FieldDef& f) { f.Name = "name"; f.Len = 32; });
  return WithField(def, "first_name", [](tolvarin::FieldDef& f) { f.Name = ""; });
}

// A level of the old classification outline: its identifier, its text and its
// parent's identifier (none for units), each with a tag.
inline tolvarin::TableDef OutlineLevel(const char* id, const char* parent) {
  tolvarin::TableDef def;
  def.Fields = {tolvarin::MakeFieldDef(id, 7, 0), tolvarin::MakeFieldDef("descript", 40, 0)};
  def.Tags = {tolvarin::MakeTagDef(id, id, 0, 0)};
  if (parent) {
    def.Fields.push_back(tolvarin::MakeFieldDef(parent, 7, 0));
    def.Tags.push_back(tolvarin::MakeTagDef(parent, parent, 0, 0));
  }
  return def;
}

// An area folder the catalogue loads, with the display names of its courses.
inline void MakeArea(const fs::path& area, int areaID, const std::string& name) {
  fs::create_directories(area);
  std::string ini = "[General]\r\nAreaID=" + std::to_string(areaID) + "\r\nName=" + name + "\r\n[CourseNames]\r\n";
  for (int slot = 0; slot < tolvarin::kCourseSlots; ++slot) ini += "Course" + std::to_string(slot) + "=Course " + std::to_string(slot) + "\r\n";
  testing_support::WriteFile(area / "area.ini", ini);
}

inline void MakeCourse(const fs::path& course, int courseID) {
  fs::create_directories(course);
  testing_support::WriteFile(course / "course.ini", "[General]\r\nCourseID=" + std::to_string(courseID) + "\r\n");
  std::array<std::int16_t, tolvarin::kCourseYears> years{};
  const auto bytes = tolvarin::MakeCourseDat(years);
  testing_support::WriteFile(course / "course.dat", std::string(bytes.begin(), bytes.end()));
}

// The lines of a debug log that name what the upgrade kept.
inline std::vector<std::string> KeptLines(const std::string& log) {
  std::vector<std::string> lines;
  for (size_t at = log.find("TOLVARIN KEPT: "); at != std::string::npos; at = log.find("TOLVARIN KEPT: ", at + 1)) {
    lines.push_back(log.substr(at, log.find('\n', at) - at));
  }
  return lines;
}

// The bytes of every table file under a folder (relative path -> bytes), skipping
// the Blank folder, which every run makes anew.
inline std::map<std::string, std::string> TableFiles(const fs::path& root) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (!entry.is_regular_file()) continue;
    const std::string relative = fs::relative(entry.path(), root).string();
    if (relative.rfind("Blank/", 0) == 0 || relative.find("/Blank/") != std::string::npos) continue;
    const std::string ext = tolvarin::ToLower(entry.path().extension().string());
    if (ext == ".dbf" || ext == ".cdx" || ext == ".fpt") files[relative] = testing_support::ReadFile(entry.path());
  }
  return files;
}

}  // namespace upgrade_testing
