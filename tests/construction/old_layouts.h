#pragma once
// Tables as older installations stored them, for the upgrade tests in process and
// through the real program: older layouts of each table, their former file names,
// the old classification outline, and checks that rows arrived field for field.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "construction/upgrade_fixture.h"
#include "core/strings.h"
#include "data/key_text.h"

namespace upgrade_testing {

using tolvarin::FieldDef;
using tolvarin::TableDef;
using tolvarin::EqualsNoCase;
using tolvarin::FormatID;
using tolvarin::ToLower;

inline const auto kDrop = [](FieldDef& f) { f.Name = ""; };

// An older layout of each table: a field dropped, a length changed or a tag missing.
inline TableDef OldLayout(const std::string& table) {
  const std::string name = ToLower(table);
  if (name == "quests") return WithField(Layout(name), "blockview", kDrop);
  if (name == "exams") return WithField(Layout(name), "print_id", kDrop);
  if (name == "classes") return WithField(Layout(name), "section", [](FieldDef& f) { f.Len = 40; });
  if (name == "templates") return WithField(Layout(name), "blob", [](FieldDef& f) { f.Len = 10; });
  if (name == "sesresults") return WithField(Layout(name), "time", [](FieldDef& f) { f.Len = 10; });
  if (name == "printopt") return WithField(Layout(name), "descript", [](FieldDef& f) { f.Len = 40; });
  if (name == "students") return WithoutTag(Layout(name), "REMOTE_NUM");
  if (name == "standard") return WithoutTag(Layout(name), "TREEPRNTID");
  return Layout(name);
}

// The file name an older installation gave the table.
inline std::string OldFileName(const std::string& table) {
  if (EqualsNoCase(table, "sesquests")) return "sesquest";
  if (EqualsNoCase(table, "sesresults")) return "sesresul";
  return table;
}

// The row as the layout holds it (fields the layout lacks left out).
inline Row InLayout(const Row& row, const TableDef& layout) {
  Row kept;
  for (const FieldDef& f : layout.Fields) {
    const auto it = row.find(ToLower(f.Name));
    if (it != row.end()) kept[it->first] = it->second;
  }
  return kept;
}

inline std::string Describe(const Row& row) {
  std::string text;
  for (const auto& [field, value] : row) text += field + "=" + value.substr(0, 40) + " ";
  return text;
}

// Every expected row is a row of its own in the table, field for field.
inline void ExpectRowsIn(const std::vector<Row>& expected, const fs::path& dbf) {
  const std::vector<Row> actual = ReadRows(dbf);
  std::vector<bool> used(actual.size(), false);
  for (const Row& want : expected) {
    bool found = false;
    for (size_t i = 0; i < actual.size() && !found; ++i) {
      if (used[i]) continue;
      bool same = true;
      for (const auto& [field, value] : want) {
        const auto it = actual[i].find(field);
        same = same && it != actual[i].end() && it->second == value;
      }
      if (same) used[i] = found = true;
    }
    EXPECT_TRUE(found) << dbf << " lost " << Describe(want);
  }
}

// The live table files of a folder by their schema name (lower case) -> file stem.
inline std::map<std::string, std::string> TablesOf(const fs::path& folder) {
  std::map<std::string, std::string> tables;
  for (const auto& entry : fs::directory_iterator(folder)) {
    if (ToLower(entry.path().extension().string()) != ".dbf") continue;
    const std::string stem = entry.path().stem().string();
    if (!Layout(stem).TableName.empty()) tables[ToLower(stem)] = stem;
  }
  return tables;
}

inline void RemoveTable(const fs::path& folder, const std::string& stem) {
  for (const char* e : {".dbf", ".cdx", ".fpt"}) fs::remove(folder / (stem + e));
}

// The old outline of subtopics 1 to 40 (the course maker's range) under four
// topics; every tenth subtopic repeats its topic's text.
inline void MakeOldOutline(const fs::path& folder) {
  std::vector<Row> topics, subtopics;
  for (int t = 1; t <= 4; ++t) {
    topics.push_back({{"topic_id", FormatID(t)}, {"chapter_id", FormatID(1)}, {"descript", "Topic " + std::to_string(t)}});
  }
  for (int s = 1; s <= 40; ++s) {
    const int topic = (s - 1) / 10 + 1;
    const std::string text = s % 10 == 0 ? "Topic " + std::to_string(topic) : "Subtopic " + std::to_string(s);
    subtopics.push_back({{"subtopicid", FormatID(s)}, {"topic_id", FormatID(topic)}, {"descript", text}});
  }
  MakeTable(folder, "units", OutlineLevel("unit_id", nullptr), {{{"unit_id", FormatID(1)}, {"descript", "Science"}}});
  MakeTable(folder, "chapters", OutlineLevel("chapter_id", "unit_id"),
            {{{"chapter_id", FormatID(1)}, {"unit_id", FormatID(1)}, {"descript", "Matter"}}});
  MakeTable(folder, "topics", OutlineLevel("topic_id", "chapter_id"), topics);
  MakeTable(folder, "subtopic", OutlineLevel("subtopicid", "topic_id"), subtopics);
}

// Moves every table of a course that holds rows into an old per-course folder, each
// in its older layout and under its former name, with the old outline beside them;
// the course keeps none of them. expected: table -> the rows its old table holds;
// subtopicOf: question -> its subtopic.
inline void MoveIntoOldCourseFolder(const fs::path& course, const fs::path& old,
                                    std::map<std::string, std::vector<Row>>& expected,
                                    std::map<long, std::string>& subtopicOf) {
  for (const auto& [name, stem] : TablesOf(course)) {
    const std::vector<Row> rows = ReadRows(course / (stem + ".dbf"));
    RemoveTable(course, stem);
    if (rows.empty()) continue;
    const TableDef layout = OldLayout(name);
    std::vector<Row> oldRows;
    for (const Row& row : rows) oldRows.push_back(InLayout(row, layout));
    MakeTable(old, OldFileName(stem), layout, oldRows);
    expected[name] = oldRows;
    if (name == "quests") {
      for (const Row& q : rows) subtopicOf[tolvarin::TextValue(q.at("quest_id"))] = q.at("subtopicid");
    }
  }
  MakeOldOutline(old);
}

}  // namespace upgrade_testing
