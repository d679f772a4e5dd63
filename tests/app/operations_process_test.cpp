// The unattended import and export operations through the real program, on courses
// the course maker lays out: a game package's import with its activity files, the
// export of one exam, and an image that only the course's image archive holds.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>

#include "core/terminate.h"
#include "course_maker.h"
#include "data/codebase.h"
#include "engine/package/packages.h"
#include "host_run.h"
#include "platform/xbase/xbase.h"

namespace fs = std::filesystem;
using app_testing::HostRun;
using app_testing::Lines;
using app_testing::RunResult;
using testing_support::ReadFile;
using testing_support::WriteFile;

namespace {

std::string Key(std::int32_t id) {
  std::string text = std::to_string(id);
  return std::string(7 - text.size(), '0') + text;
}

std::string Trimmed(std::string text) {
  while (!text.empty() && text.back() == ' ') text.pop_back();
  while (!text.empty() && text.front() == ' ') text.erase(0, 1);
  return text;
}

// Every live row of a table, as its fields' texts by field name (trimmed).
std::vector<std::map<std::string, std::string>> Rows(const fs::path& dbf) {
  std::vector<std::map<std::string, std::string>> rows;
  xbase::Data4 data = xbase::d4open(tolvarin::Engine().EngineHandle, dbf.string());
  EXPECT_NE(data, 0) << dbf;
  if (data == 0) return rows;
  for (int rc = xbase::d4top(data); rc == 0; rc = xbase::d4skip(data, 1)) {
    if (xbase::d4deleted(data)) continue;
    std::map<std::string, std::string> row;
    for (int j = 1; j <= xbase::d4numFields(data); ++j) {
      xbase::Field4 field = xbase::d4fieldJ(data, j);
      std::string name = xbase::f4name(field);
      for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      row[name] = Trimmed(xbase::f4memoStr(field));
    }
    rows.push_back(row);
  }
  xbase::d4close(data);
  return rows;
}

// One identifier field of every live row, in the table's order.
std::vector<std::int32_t> Column(const fs::path& dbf, const std::string& field) {
  std::vector<std::int32_t> values;
  for (const auto& row : Rows(dbf)) values.push_back(row.count(field) ? std::stoi(row.at(field)) : -1);
  return values;
}

// The table files (lower-case stems) of a folder.
std::set<std::string> TableNames(const fs::path& folder) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) {
    std::string ext = entry.path().extension().string(), stem = entry.path().stem().string();
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (char& c : stem) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (ext == ".dbf" && stem != "status") names.insert(stem);
  }
  return names;
}

class OperationsProcess : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (tolvarin::Engine().EngineHandle == 0) tolvarin::InitCodeBase();
  }
  void SetUp() override {
    course_maker::CourseOptions options;
    options.questions = 200;
    made = course_maker::MakeCourse(host.Scratch() + "/Install", options);
  }
  RunResult Run(const std::string& operation, const std::vector<std::string>& more = {}) const {
    std::vector<std::string> args{"AppPath:" + made.install.app, "Mode:UserContent", "Operation:" + operation,
                                  "CoursePath:" + made.install.course};
    args.insert(args.end(), more.begin(), more.end());
    return host.Run(args);
  }

  HostRun host;
  course_maker::MadeCourse made;
};

TEST_F(OperationsProcess, AGameImportRewritesTheActivityFilesOfThePackage) {
  // The game package: a backup of another installation's course with the same content,
  // read as it stands (no description file needed, no upgrade copy).
  course_maker::CourseOptions options;
  options.questions = 200;
  const course_maker::MadeCourse other = course_maker::MakeCourse(host.Scratch() + "/Other", options);
  const std::string package = host.Scratch() + "/Package";
  ASSERT_EQ(host.Run({"AppPath:" + other.install.app, "Mode:UserContent", "Operation:BACKUP",
                      "CoursePath:" + other.install.course, "BackupPath:" + package})
                .status,
            0);
  fs::remove(package + "/TOLVARIN.INI");
  fs::remove(package + "/Status.DBF");
  const std::vector<std::int32_t> questions = Column(package + "/quests.dbf", "quest_id");
  ASSERT_GE(questions.size(), 4u);
  const auto packageNodes = Rows(package + "/standard.dbf");
  ASSERT_FALSE(packageNodes.empty());

  // Each line of the activity file: its text and what the element must name afterwards.
  struct Line {
    std::string text;
    std::int32_t question = 0;  // the question whose imported copy it must name; 0: no question
    std::int32_t node = 0;      // the node number it holds; 0: no node
  };
  std::vector<Line> lines;
  for (std::int32_t q : {questions[0], questions[1], questions.back()})
    lines.push_back({"<question_id>" + Key(q) + "</question_id>", q});
  lines.push_back({"<question_id>" + std::to_string(questions[0]) + "</question_id>"});  // no leading zeros
  lines.push_back({"<QUESTION_ID>" + Key(questions[1]) + "</QUESTION_ID>"});  // capitals: not matched in a file
  // Not in the package: it would name the course's question of that number, so it names none.
  const std::string missing = "<question_id>0999999</question_id>";
  lines.push_back({missing});
  // Publisher nodes, the package's user nodes, a node it does not hold; padded and plain.
  for (std::int32_t n : {1, 20000, 20001, 20002, 20003, 29999})
    lines.push_back({"<node_id>" + Key(n) + "</node_id><node_id>" + std::to_string(n) + "</node_id>", 0, n});
  // A picture the package lacks, while the course has its own under that identifier:
  // the imported question, renumbered, must not take the course's picture.
  std::int32_t pictured = 0, picture = 0;
  for (const auto& row : Rows(package + "/quests.dbf"))
    if (picture == 0 && std::stoi(row.at("answer1pct").empty() ? "0" : row.at("answer1pct")) >= 20000)
      pictured = std::stoi(row.at("quest_id")), picture = std::stoi(row.at("answer1pct"));
  ASSERT_NE(picture, 0);
  ASSERT_TRUE(fs::remove(package + "/" + Key(picture) + ".gif"));
  WriteFile(made.install.course + "/" + Key(picture) + ".gif", "the course's own picture");

  std::string text = "<activity>\n";
  for (const Line& line : lines) text += line.text + "\n";
  WriteFile(package + "/game.lda", text + "</activity>\n");
  WriteFile(package + "/plain.lda", "<activity><title>No references</title></activity>\n");

  const RunResult run = Run("LUDORAIMPORT", {"BackupPath:" + package});
  ASSERT_EQ(run.status, 0) << run.stderrText;
  EXPECT_TRUE(run.boxes.empty());
  EXPECT_FALSE(fs::exists(host.Temp() + "/UpgradeInPlace"));
  EXPECT_EQ(Lines(ReadFile(package + "/plain.lda")).front(), "<activity><title>No references</title></activity>");

  // Where each question landed: the course holds the question itself and, under a
  // new identifier, its imported copy; the text names the first identifier.
  std::map<std::string, std::vector<std::int32_t>> byText;
  for (const auto& row : Rows(made.install.course + "/quests.dbf"))
    byText[row.at("question").substr(0, row.at("question").find(':'))].push_back(std::stoi(row.at("quest_id")));
  for (const auto& row : Rows(made.install.course + "/quests.dbf")) {
    if (row.at("question").rfind("Q" + std::to_string(pictured) + ":", 0) != 0 || row.at("quest_id") == Key(pictured))
      continue;
    const std::string copy = made.install.course + "/" + row.at("answer1pct") + ".gif";
    ASSERT_NE(row.at("answer1pct"), Key(picture));
    EXPECT_TRUE(!fs::exists(copy) || ReadFile(copy) != "the course's own picture") << copy;
  }
  // Where each of the package's nodes landed: the row of the same tree and text that
  // is not the course's own ("Standard 1.20002" is node 20002 of tree 1).
  std::map<std::int32_t, std::set<std::int32_t>> nodeCopies;  // package number to the numbers of its copies
  const auto courseNodes = Rows(made.install.course + "/standard.dbf");
  for (const auto& p : packageNodes) {
    const std::string own = p.at("descript").substr(p.at("descript").find('.') + 1);
    for (const auto& c : courseNodes)
      if (c.at("tree_id") == p.at("tree_id") && c.at("descript") == p.at("descript") && c.at("node_id") != own)
        nodeCopies[std::stoi(p.at("node_id"))].insert(std::stoi(c.at("node_id")));
  }

  std::set<std::int32_t> packageNumbers;
  for (const auto& p : packageNodes) packageNumbers.insert(std::stoi(p.at("node_id")));
  EXPECT_EQ(nodeCopies.size(), packageNumbers.size());
  const std::vector<std::string> after = Lines(ReadFile(package + "/game.lda"));
  ASSERT_EQ(after.size(), lines.size() + 2);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const Line& line = lines[i];
    const std::string& now = after[i + 1];
    if (line.question != 0) {
      const std::vector<std::int32_t>& ids = byText["Q" + std::to_string(line.question)];
      ASSERT_EQ(ids.size(), 2u) << line.text;
      const std::int32_t copy = ids[0] == line.question ? ids[1] : ids[0];
      EXPECT_EQ(now, "<question_id>" + Key(copy) + "</question_id>") << line.text;
    } else if (line.node != 0 && nodeCopies.count(line.node)) {
      // A file names nodes without their tree: the copy of the number in one of the
      // package's trees, both forms alike and each rewritten once.
      bool named = false;
      for (std::int32_t n : nodeCopies.at(line.node))
        named = named || now == "<node_id>" + Key(n) + "</node_id><node_id>" + std::to_string(n) + "</node_id>";
      EXPECT_TRUE(named) << line.text << " became " << now;
    } else {
      EXPECT_EQ(now, line.text == missing ? "<question_id>0000000</question_id>" : line.text);
    }
  }
}

// A game import that numbers its questions from RangeStart, where the course holds
// questions of its own, asks before it overwrites them: No leaves the course as it
// was, Yes takes the package's questions.
TEST_F(OperationsProcess, AGameImportFromAnIdentifierAsksBeforeItOverwritesTheCoursesQuestions) {
  course_maker::CourseOptions options;
  options.questions = 100;
  options.seed = 2;
  const course_maker::MadeCourse other = course_maker::MakeCourse(host.Scratch() + "/Other", options);
  const std::string package = host.Scratch() + "/Package";
  ASSERT_EQ(host.Run({"AppPath:" + other.install.app, "Mode:UserContent", "Operation:BACKUP",
                      "CoursePath:" + other.install.course, "BackupPath:" + package})
                .status,
            0);
  fs::remove(package + "/TOLVARIN.INI");
  fs::remove(package + "/Status.DBF");
  WriteFile(made.install.app + "/Kestal.INI", ReadFile(made.install.app + "/Kestal.INI") + "RangeStart=20000\r\n");
  const auto before = Rows(made.install.course + "/quests.dbf");
  const auto textAt = [&](std::int32_t id) {
    for (const auto& row : Rows(made.install.course + "/quests.dbf"))
      if (row.at("quest_id") == Key(id)) return row.at("question");
    return std::string();
  };
  const std::string packageFirst = Rows(package + "/quests.dbf").front().at("question");

  for (const char* answer : {"No", "Yes"}) {
    SCOPED_TRACE(answer);
    const RunResult run = host.Run({"AppPath:" + made.install.app, "Mode:UserContent", "Operation:LUDORAIMPORT",
                                    "CoursePath:" + made.install.course, "BackupPath:" + package,
                                    "Import:REMAPFROMID"},
                                   {answer});
    ASSERT_FALSE(run.boxes.empty()) << run.stderrText;
    EXPECT_EQ(run.boxes.front().box.text.rfind(
                  "Importing these questions will overwrite the following question ids: \r\n\r\n0020000 0020001 ", 0),
              0u);
    if (std::string(answer) == "No") {
      EXPECT_EQ(Rows(made.install.course + "/quests.dbf"), before);
    } else {
      EXPECT_EQ(run.status, 0) << run.stderrText;
      EXPECT_EQ(textAt(20000), packageFirst);
    }
  }
}

TEST_F(OperationsProcess, AnExamExportHoldsThatExamAndItsQuestionsOnly) {
  const std::string cortemp = host.Temp() + "/cortemp";
  const std::string ignored = host.Scratch() + "/Ignored";
  for (std::size_t pick : {0u, 1u}) {  // the second export leaves nothing of the first
    const course_maker::ExamRow& exam = made.content.exams[pick];
    std::set<std::int32_t> examQuestions, examQuestionRows;
    for (const auto& eq : made.content.examQuestions)
      if (eq.examId == exam.id) examQuestions.insert(eq.questId), examQuestionRows.insert(eq.id);
    ASSERT_FALSE(examQuestions.empty());
    const RunResult run = Run("GBEXPORT", {"Exam:" + std::to_string(exam.id), "BackupPath:" + ignored});
    ASSERT_EQ(run.status, 0) << run.stderrText;
    EXPECT_TRUE(run.boxes.empty());
    // Start-up makes the folder the host names; the export writes nothing there.
    EXPECT_TRUE(!fs::exists(ignored) || fs::is_empty(ignored));
    // No gradebook or activity table: none of their rows belongs to the exam.
    const std::set<std::string> tables = TableNames(cortemp);
    for (const char* table : {"sessions", "sesquests", "sesresults", "classes", "students", "templates"})
      EXPECT_FALSE(tables.count(table)) << table;
    EXPECT_EQ(Column(cortemp + "/exams.dbf", "exam_id"), std::vector<std::int32_t>{exam.id});
    const std::vector<std::int32_t> rows = Column(cortemp + "/examques.dbf", "exam_q_id");
    EXPECT_EQ(std::set<std::int32_t>(rows.begin(), rows.end()), examQuestionRows);
    const std::vector<std::int32_t> quests = Column(cortemp + "/quests.dbf", "quest_id");
    for (std::int32_t q : quests) EXPECT_TRUE(examQuestions.count(q)) << q;
    for (std::int32_t q : examQuestions) {
      if (made.content.Question(q)->deleted) continue;
      EXPECT_EQ(std::count(quests.begin(), quests.end(), q), 1) << q;
    }
    std::set<std::int32_t> descriptions;
    for (std::int32_t q : examQuestions) descriptions.insert(made.content.Question(q)->descriptId);
    if (tables.count("descript")) {
      for (std::int32_t d : Column(cortemp + "/descript.dbf", "descriptid")) EXPECT_TRUE(descriptions.count(d)) << d;
    }
    // The course keeps its tables: an export takes nothing away.
    EXPECT_TRUE(fs::exists(made.install.course + "/quests.dbf"));
  }
  // An exam the course does not hold is said, and leaves no export behind (not even
  // the earlier one) that the host could take for it.
  for (const std::string& exam : {std::string("Exam:999999"), std::string("Exam:"), std::string()}) {
    const RunResult run = Run("GBEXPORT", {exam});
    EXPECT_NE(run.status, 0) << exam;
    ASSERT_EQ(run.boxes.size(), 1u) << exam;
    EXPECT_NE(run.boxes[0].box.text.find("is not in the course"), std::string::npos) << run.boxes[0].box.text;
    EXPECT_TRUE(TableNames(cortemp).empty()) << exam;
    EXPECT_FALSE(fs::exists(cortemp + "/TOLVARIN.INI")) << exam;
  }
}

TEST_F(OperationsProcess, ABackupTakesAPictureTheCourseKeepsOnlyInItsImageArchive) {
  // A question's picture that is not on disk; the course's image archive holds it as
  // a large "L" picture, enciphered with the archive password.
  std::int32_t picture = 0;
  for (const auto& q : made.content.questions)
    for (std::int32_t p : q.pictures)
      if (!q.deleted && p >= 20000 && picture == 0) picture = p;
  ASSERT_NE(picture, 0);
  const std::string name = Key(picture) + ".gif";
  ASSERT_TRUE(fs::remove(made.install.course + "/" + name));
  const std::string pics = host.Scratch() + "/pics";
  fs::create_directories(pics);
  WriteFile(pics + "/" + Key(picture) + "L.gif", "large picture");
  ASSERT_EQ(std::system(("cd '" + pics + "' && zip -q -P " + tolvarin::kArchivePassword + " '" + made.install.course +
                         "/imarc.vra' " + Key(picture) + "L.gif")
                            .c_str()),
            0);

  const std::string backup = host.Scratch() + "/Backup";
  const RunResult run = Run("BACKUP", {"BackupPath:" + backup});
  ASSERT_EQ(run.status, 0) << run.stderrText;
  EXPECT_EQ(ReadFile(backup + "/" + name), "large picture");
  // The archive stays with the course; the other pictures came from disk as before.
  EXPECT_TRUE(fs::exists(made.install.course + "/imarc.vra"));
  for (const std::string& image : made.content.imageFiles) {
    if (image == name || !fs::exists(backup + "/" + image)) continue;
    EXPECT_EQ(ReadFile(backup + "/" + image), ReadFile(made.install.course + "/" + image)) << image;
  }
}

}  // namespace
