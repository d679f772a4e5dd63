#include "import_check.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <set>
#include <stdexcept>
#include <tuple>

#include "data/key_text.h"
#include "engine/transfer/table_mapping.h"
#include "support/test_support.h"

namespace transfer_test {

namespace fs = std::filesystem;
using namespace tolvarin;

namespace {

constexpr const char* kNoQuestion = "0000000";
const char* const kHangingTables[] = {"sesresults", "stanques", "standard", "charattributes", "enumattributes",
                                      "memoattributes"};

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::string Describe(const TableSpec& t, const Row& r) { return std::string(t.table) + " " + r.at(t.key); }

// Rows by their key.
using Keyed = std::map<std::int32_t, Row>;
Keyed ByKey(const std::vector<Row>& rows, const std::string& key) {
  Keyed keyed;
  for (const Row& r : rows) keyed[Num(r.at(key))] = r;
  return keyed;
}

}  // namespace

const std::vector<TableSpec>& Tables() {
  static const std::vector<TableSpec> tables = {
      {"quests", kQuestsTable, "quest_id", {{"descriptid", kDescriptTable}, {"exam_id", kExamsTable}},
       {"answer1pct", "answer2pct", "answer3pct", "answer4pct", "answer5pct"}},
      {"descript", kDescriptTable, "descriptid", {}, {"image_id"}},
      {"questype", kQuesTypeTable, "quest_id", {}, {}},
      {"exams", kExamsTable, "exam_id", {{"print_id", kPrintOptTable}}, {}},
      {"examques", kExamQuesTable, "exam_q_id", {{"exam_id", kExamsTable}, {"quest_id", kQuestsTable}}, {}},
      {"printopt", kPrintOptTable, "print_id", {}, {}},
      {"sessions", kSessionsTable, "session_id", {}, {}},
      {"sesquests", kSesQuestsTable, "sesques_id", {{"session_id", kSessionsTable}, {"quest_id", kQuestsTable}}, {}},
      {"classes", kClassesTable, "class_id", {}, {}},
      {"students", kStudentsTable, "student_id", {{"class_id", kClassesTable}}, {}},
      {"templates", kTemplatesTable, "templateid", {}, {}},
  };
  return tables;
}

const TableSpec& Spec(std::int32_t number) {
  for (const TableSpec& t : Tables())
    if (t.number == number) return t;
  throw std::logic_error("no table " + std::to_string(number));
}

bool SessionNamed(const std::string& name) {
  return name.size() == 8 && name[7] == '%' &&
         std::all_of(name.begin(), name.begin() + 7, [](char c) { return c >= '0' && c <= '9'; });
}

Row Content(Row row, const TableSpec& t) {
  row.erase(t.key);
  for (const auto& r : t.references) row.erase(r.first);
  for (const std::string& p : t.pictures) row.erase(p);
  for (const char* f : {"user_id", "sourceid", "blob"}) row.erase(f);
  if (t.number == kTemplatesTable && SessionNamed(row["name"])) row.erase("name");
  return row;
}

FolderRows ReadImportTables(const std::string& folder) {
  FolderRows rows;
  for (const TableSpec& t : Tables()) rows[t.table] = ReadLiveRows(folder, t.table);
  for (const char* table : kHangingTables) rows[table] = ReadLiveRows(folder, table);
  return rows;
}

std::map<std::string, std::string> PictureFiles(const std::string& folder) {
  std::map<std::string, std::string> files;
  for (const auto& e : fs::directory_iterator(folder)) {
    const std::string name = e.path().filename().string();
    if (name.size() > 8 && name[7] == '.' && std::isdigit(static_cast<unsigned char>(name[0])))
      files[name] = testing_support::ReadFile(e.path());
  }
  return files;
}

std::string PictureBytes(const std::map<std::string, std::string>& files, std::int32_t id) {
  const auto found = files.lower_bound(FormatID(id) + ".");
  return found != files.end() && found->first.rfind(FormatID(id) + ".", 0) == 0 ? found->second : "";
}

ImportSides ReadImportSides(const std::string& package, const std::string& destination) {
  return {ReadImportTables(package), ReadImportTables(destination), PictureFiles(package), PictureFiles(destination)};
}

std::vector<std::string> KeptRowsChanged(const ImportSides& sides, const std::string& destination) {
  std::vector<std::string> problems;
  const FolderRows& before = sides.before;
  const FolderRows after = ReadImportTables(destination);
  const auto pictures = PictureFiles(destination);
  std::map<std::string, std::set<std::int32_t>> live, kept;
  for (const TableSpec& t : Tables())
    for (const Row& r : before.at(t.table)) live[t.table].insert(Num(r.at(t.key)));
  std::set<std::int32_t> namedDescriptions, namedOptions;
  for (const Row& r : before.at("quests")) namedDescriptions.insert(Num(r.at("descriptid")));
  for (const Row& r : before.at("exams")) namedOptions.insert(Num(r.at("print_id")));
  const auto free = [&](const TableSpec& t, const Row& r) {
    const std::int32_t id = Num(r.at(t.key));
    switch (t.number) {
      case kDescriptTable: return !namedDescriptions.count(id);
      case kPrintOptTable: return !namedOptions.count(id);
      case kExamQuesTable: return !live["exams"].count(Num(r.at("exam_id")));
      case kSesQuestsTable: return !live["sessions"].count(Num(r.at("session_id")));
      case kStudentsTable: return !live["classes"].count(Num(r.at("class_id")));
      case kQuesTypeTable: return !live["quests"].count(id);
      default: return false;
    }
  };
  for (const TableSpec& t : Tables()) {
    const Keyed now = ByKey(after.at(t.table), t.key);
    std::map<std::int32_t, int> count;
    for (const Row& r : after.at(t.table))
      if (++count[Num(r.at(t.key))] == 2) problems.push_back(Describe(t, r) + ": key doubled");
    for (const Row& b : before.at(t.table)) {
      if (free(t, b)) continue;
      const std::int32_t id = Num(b.at(t.key));
      kept[t.table].insert(id);
      const auto found = now.find(id);
      if (found == now.end() || found->second != b) problems.push_back("kept row " + Describe(t, b) + " changed or lost");
      for (const std::string& f : t.pictures)
        if (const std::int32_t picture = Num(b.at(f));
            picture != 0 && PictureBytes(pictures, picture) != PictureBytes(sides.picturesBefore, picture))
          problems.push_back("kept row " + Describe(t, b) + " shows another picture " + b.at(f));
    }
  }
  for (const char* table : kHangingTables) {
    std::multiset<Row> now(after.at(table).begin(), after.at(table).end());
    const std::string name = table;
    for (const Row& b : before.at(table)) {
      bool ofKept = true;  // every node
      if (name == "sesresults") ofKept = kept["sesquests"].count(Num(b.at("sesques_id"))) > 0;
      if (name == "stanques") ofKept = kept["quests"].count(Num(b.at("quest_id"))) > 0;
      if (name.find("attributes") != std::string::npos)
        ofKept = kept[b.at("table_name") == "QUESTS" ? "quests" : "exams"].count(Num(b.at("table_id"))) > 0;
      if (ofKept && !now.count(b)) problems.push_back(name + ": a kept row's row changed or lost");
    }
  }
  return problems;
}

std::vector<std::string> ImportedRowsMisled(const ImportSides& sides, const std::string& destination, int* cut) {
  std::vector<std::string> problems;
  const FolderRows after = ReadImportTables(destination);
  const auto pictures = PictureFiles(destination);
  std::map<std::string, Keyed> package, now, was;
  for (const TableSpec& t : Tables()) {
    package[t.table] = ByKey(sides.package.at(t.table), t.key);
    now[t.table] = ByKey(after.at(t.table), t.key);
    was[t.table] = ByKey(sides.before.at(t.table), t.key);
  }
  const TableSpec& quests = Spec(kQuestsTable);
  // The destination's row of table t at id holds what the package's row at old held.
  const auto leadsAlike = [&](const TableSpec& t, std::int32_t id, std::int32_t old) {
    const auto there = now[t.table].find(id);
    const auto meant = package[t.table].find(old);
    return there != now[t.table].end() && meant != package[t.table].end() &&
           Content(there->second, t) == Content(meant->second, t);
  };
  int none = 0;
  for (const TableSpec& t : Tables()) {
    // The package's rows by their content.
    std::multimap<Row, const Row*> byContent;
    for (const auto& [old, r] : package[t.table]) byContent.emplace(Content(r, t), &r);
    for (const auto& [id, row] : now[t.table]) {
      const auto before = was[t.table].find(id);
      if (before != was[t.table].end() && before->second == row) continue;
      const auto [first, last] = byContent.equal_range(Content(row, t));
      int cutHere = 0;
      const bool found = std::any_of(first, last, [&](const auto& candidate) {
        const Row& p = *candidate.second;
        cutHere = 0;
        for (const auto& [field, table] : t.references) {
          const std::int32_t named = Num(p.at(field)), leads = Num(row.at(field));
          if (named == 0 ? leads != 0 : !leadsAlike(Spec(table), leads, named)) return false;
        }
        for (const std::string& f : t.pictures)
          if (PictureBytes(pictures, Num(row.at(f))) != PictureBytes(sides.packagePictures, Num(p.at(f)))) return false;
        if (t.number == kQuesTypeTable && !leadsAlike(quests, id, Num(p.at(t.key)))) return false;
        if (t.number == kTemplatesTable && SessionNamed(p.at("name")) &&
            !(SessionNamed(row.at("name")) &&
              leadsAlike(Spec(kSessionsTable), Num(row.at("name").substr(0, 7)), Num(p.at("name").substr(0, 7)))))
          return false;
        if (t.number == kTemplatesTable) {
          const auto meant = Elements(Lower(p.at("blob")), "question_id");
          const auto leads = Elements(row.at("blob"), "question_id");
          if (leads.size() != meant.size()) return false;
          for (std::size_t i = 0; i < meant.size(); ++i) {
            if (leads[i] == kNoQuestion) {
              ++cutHere;
              continue;
            }
            if (!leadsAlike(quests, Num(leads[i]), Num(meant[i]))) return false;
          }
        }
        return true;
      });
      if (!found)
        problems.push_back(Describe(t, row) + ": no package row of its content whose references lead alike");
      none += cutHere;
    }
  }
  if (cut) *cut = none;
  return problems;
}

}  // namespace transfer_test
