#include "transfer_run.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "data/codebase.h"
#include "platform/xbase/xbase.h"

namespace transfer_test {

namespace fs = std::filesystem;

namespace {
std::string Trimmed(std::string text) {
  const auto first = text.find_first_not_of(' ');
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}
std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}
}  // namespace

std::int32_t Num(const std::string& text) { return text.empty() ? 0 : static_cast<std::int32_t>(std::stol(text)); }

namespace {
std::vector<Row> ReadTable(const std::string& folder, const std::string& table, bool liveOnly) {
  std::vector<Row> rows;
  const xbase::Data4 data = xbase::d4open(tolvarin::Engine().EngineHandle, folder + "/" + table + ".dbf");
  if (data == 0) return rows;
  const int fields = xbase::d4numFields(data);
  for (int rc = xbase::d4top(data); rc == 0; rc = xbase::d4skip(data, 1)) {
    if (liveOnly && xbase::d4deleted(data)) continue;
    Row row;
    for (int j = 1; j <= fields; ++j) {
      const xbase::Field4 f = xbase::d4fieldJ(data, j);
      row[Lower(Trimmed(xbase::f4name(f)))] = Trimmed(xbase::f4memoStr(f));
    }
    rows.push_back(row);
  }
  xbase::d4close(data);
  return rows;
}
}  // namespace

std::vector<Row> ReadRows(const std::string& folder, const std::string& table) { return ReadTable(folder, table, false); }
std::vector<Row> ReadLiveRows(const std::string& folder, const std::string& table) { return ReadTable(folder, table, true); }

std::set<std::int32_t> Ids(const std::string& folder, const std::string& table, const std::string& field) {
  std::set<std::int32_t> ids;
  for (const Row& row : ReadRows(folder, table)) ids.insert(Num(row.at(field)));
  return ids;
}

std::vector<std::string> Elements(const std::string& xml, const std::string& tag) {
  std::vector<std::string> values;
  const std::string open = "<" + tag + ">", close = "</" + tag + ">";
  for (std::size_t pos = xml.find(open); pos != std::string::npos; pos = xml.find(open, pos)) {
    const std::size_t start = pos + open.size();
    const std::size_t end = xml.find(close, start);
    if (end == std::string::npos) break;
    values.push_back(xml.substr(start, end - start));
    pos = end;
  }
  return values;
}

std::vector<std::string> DanglingReferences(const std::string& c) {
  std::vector<std::string> problems;
  const auto quests = Ids(c, "quests", "quest_id");
  const auto exams = Ids(c, "exams", "exam_id");
  const auto descript = Ids(c, "descript", "descriptid");
  const auto sessions = Ids(c, "sessions", "session_id");
  const auto sesquests = Ids(c, "sesquests", "sesques_id");
  const auto students = Ids(c, "students", "student_id");
  const auto classes = Ids(c, "classes", "class_id");
  const auto printopt = Ids(c, "printopt", "print_id");
  std::set<std::pair<int, int>> nodes;
  for (const Row& r : ReadRows(c, "standard")) nodes.insert({Num(r.at("tree_id")), Num(r.at("node_id"))});
  std::set<std::int32_t> images;
  for (const auto& e : fs::directory_iterator(c)) {
    const std::string name = e.path().filename().string();
    if (name.size() > 8 && name[7] == '.' && std::isdigit(static_cast<unsigned char>(name[0])))
      images.insert(Num(name.substr(0, 7)));
  }
  const auto need = [&](const std::set<std::int32_t>& in, std::int32_t id, const std::string& what) {
    if (id != 0 && !in.count(id)) problems.push_back(what + " " + std::to_string(id));
  };
  for (const Row& r : ReadRows(c, "quests")) {
    need(descript, Num(r.at("descriptid")), "question's description");
    for (int k = 1; k <= 5; ++k) need(images, Num(r.at("answer" + std::to_string(k) + "pct")), "answer picture");
  }
  for (const Row& r : ReadRows(c, "descript")) need(images, Num(r.at("image_id")), "description picture");
  if (Ids(c, "questype", "quest_id") != quests) problems.push_back("question types differ from questions");
  for (const Row& r : ReadRows(c, "exams")) need(printopt, Num(r.at("print_id")), "exam's printing options");
  for (const Row& r : ReadRows(c, "examques")) {
    need(exams, Num(r.at("exam_id")), "exam question's exam");
    need(quests, Num(r.at("quest_id")), "exam question's question");
  }
  for (const Row& r : ReadRows(c, "sesquests")) {
    need(sessions, Num(r.at("session_id")), "session question's session");
    need(quests, Num(r.at("quest_id")), "session question's question");
  }
  for (const Row& r : ReadRows(c, "sesresults")) {
    need(students, Num(r.at("student_id")), "result's student");
    need(sesquests, Num(r.at("sesques_id")), "result's session question");
  }
  for (const Row& r : ReadRows(c, "students")) need(classes, Num(r.at("class_id")), "student's class");
  // An activity named after a graded session ("0000003%") belongs to it.
  for (const Row& r : ReadRows(c, "templates")) {
    const std::string& name = r.at("name");
    if (name.size() == 8 && name[7] == '%' && std::all_of(name.begin(), name.begin() + 7, [](char ch) { return std::isdigit(static_cast<unsigned char>(ch)); }))
      need(sessions, Num(name.substr(0, 7)), "activity's session");
  }
  for (const Row& r : ReadRows(c, "stanques")) {
    need(quests, Num(r.at("quest_id")), "link's question");
    const std::pair<int, int> node{Num(r.at("tree_id")), Num(r.at("node_id"))};
    if (node.second >= 20000 && !nodes.count(node)) problems.push_back("link's node " + std::to_string(node.second));
  }
  for (const Row& r : ReadRows(c, "standard")) {
    const std::pair<int, int> parent{Num(r.at("tree_id")), Num(r.at("parent_id"))};
    if (parent.second >= 20000 && !nodes.count(parent)) problems.push_back("node's parent " + std::to_string(parent.second));
  }
  for (const char* table : {"charattributes", "enumattributes", "memoattributes"})
    for (const Row& r : ReadRows(c, table)) {
      if (r.at("table_name") == "QUESTS") need(quests, Num(r.at("table_id")), std::string(table) + " question");
      if (r.at("table_name") == "EXAMS") need(exams, Num(r.at("table_id")), std::string(table) + " exam");
    }
  return problems;
}

}  // namespace transfer_test
