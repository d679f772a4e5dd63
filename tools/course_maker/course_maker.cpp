#include "course_maker.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <stdexcept>
#include <utility>

#include "construction/blank_tables.h"
#include "construction/schema.h"
#include "core/settings.h"
#include "core/text_cipher.h"
#include "data/catalogue.h"
#include "data/codebase.h"
#include "data/key_text.h"
#include "data/standards.h"
#include "platform/xbase/xbase.h"

namespace course_maker {
namespace {

namespace fs = std::filesystem;
using tolvarin::FormatID;

constexpr std::int32_t kOwnerPublisher = 9999999;

void WriteText(const fs::path& file, const std::string& text) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out << text;
  if (!out) throw std::runtime_error("course maker: cannot write " + file.string());
}

// Keeps the run's settings as the caller had them; the maker only borrows them.
class SettingsGuard {
 public:
  SettingsGuard() : settings_(tolvarin::Settings()), paths_(tolvarin::Paths()) {}
  ~SettingsGuard() {
    tolvarin::Settings() = settings_;
    tolvarin::Paths() = paths_;
  }
  SettingsGuard(const SettingsGuard&) = delete;
  SettingsGuard& operator=(const SettingsGuard&) = delete;

 private:
  tolvarin::RunSettings settings_;
  tolvarin::RunPaths paths_;
};

void EnsureEngine() {
  if (tolvarin::Engine().EngineHandle == 0) tolvarin::InitCodeBase();
  if (tolvarin::TableDefs().empty()) tolvarin::DefineDatabase();
}

// A table opened for filling, closed when it goes.
class Table {
 public:
  Table(const fs::path& folder, const std::string& name) {
    data_ = xbase::d4open(tolvarin::Engine().EngineHandle, (folder / (name + ".dbf")).string());
    if (data_ == 0) throw std::runtime_error("course maker: cannot open " + (folder / name).string());
  }
  ~Table() { xbase::d4close(data_); }
  Table(const Table&) = delete;
  Table& operator=(const Table&) = delete;

  Table& Start() {
    xbase::d4appendStart(data_, 0);
    xbase::d4blank(data_);
    return *this;
  }
  Table& Set(std::string_view field, const std::string& text) {
    const xbase::Field4 f = Field(field);
    if (xbase::f4type(f) == 'M')
      xbase::f4memoAssign(f, text);
    else
      xbase::f4assign(f, text);
    return *this;
  }
  Table& Id(std::string_view field, std::int32_t id) { return Set(field, FormatID(id)); }
  Table& Number(std::string_view field, long value) {
    xbase::f4assignLong(Field(field), value);
    return *this;
  }
  void Append() {
    const int rc = xbase::d4append(data_);
    if (rc != 0) throw std::runtime_error("course maker: append refused (" + std::to_string(rc) + ")");
  }
  // Marks the last appended record deleted.
  void DeleteCurrent() { xbase::d4delete(data_); }

 private:
  xbase::Field4 Field(std::string_view name) const {
    const xbase::Field4 f = xbase::d4field(data_, name);
    if (f == 0) throw std::runtime_error("course maker: no field " + std::string(name));
    return f;
  }
  xbase::Data4 data_ = 0;
};

// The maker's random source: mt19937's output is the same everywhere, and the
// reductions below are our own, so a seed gives the same course on every machine.
class Dice {
 public:
  explicit Dice(std::uint32_t seed) : engine_(seed) {}
  int Between(int low, int high) { return low + static_cast<int>(engine_() % static_cast<std::uint32_t>(high - low + 1)); }
  bool Chance(int percent) { return Between(1, 100) <= percent; }
  template <typename T>
  const T& Pick(const std::vector<T>& items) { return items[static_cast<std::size_t>(Between(0, static_cast<int>(items.size()) - 1))]; }

 private:
  std::mt19937 engine_;
};

const std::vector<std::string>& Words() {
  static const std::vector<std::string> words{
      "cell",    "membrane", "energy",  "protein",  "enzyme",   "nucleus", "osmosis", "species", "habitat",
      "genetic", "mutation", "organ",   "tissue",   "diffusion", "carbon", "oxygen",  "plant",   "animal",
      "bacteria", "virus",   "evolve",  "predator", "climate",  "water",   "light",   "growth",  "system"};
  return words;
}

std::string Sentence(Dice& dice, int words) {
  std::string text;
  for (int i = 0; i < words; ++i) {
    if (i) text += ' ';
    text += dice.Pick(Words());
  }
  text[0] = static_cast<char>(text[0] - 'a' + 'A');
  return text;
}

std::string ActivityXml(const ActivityRow& activity) {
  std::string xml = "<activity><title>" + activity.name + "</title><questions>";
  for (std::int32_t q : activity.questionIds) xml += "<question><question_id>" + FormatID(q) + "</question_id></question>";
  xml += "</questions><standards>";
  // Nodes are written both ways the host writes them: seven digits and plain.
  for (std::size_t i = 0; i < activity.nodeIds.size(); ++i) {
    const std::int32_t n = activity.nodeIds[i];
    xml += "<node_id>" + (i % 2 == 0 ? FormatID(n) : std::to_string(n)) + "</node_id>";
  }
  return xml + "</standards></activity>";
}

std::string AttributeRowId(std::int32_t id) {
  std::string text = std::to_string(id);
  text.resize(40, ' ');
  return text;
}

}  // namespace

const QuestionRow* CourseContent::Question(std::int32_t id) const {
  for (const auto& q : questions)
    if (q.id == id) return &q;
  return nullptr;
}
const ExamRow* CourseContent::Exam(std::int32_t id) const {
  for (const auto& e : exams)
    if (e.id == id) return &e;
  return nullptr;
}
const DescriptionRow* CourseContent::Description(std::int32_t id) const {
  for (const auto& d : descriptions)
    if (d.id == id) return &d;
  return nullptr;
}

std::string ImageBytes(std::int32_t id) { return "GIF89a image " + FormatID(id) + "\n"; }

Installation MakeInstallation(const std::string& folder, const CourseOptions& options) {
  SettingsGuard guard;
  EnsureEngine();
  Installation install;
  const fs::path app = fs::path(folder) / "Host";
  const fs::path databases = app / "Databases";
  const fs::path brand = databases / "Corvane";
  const fs::path area = brand / options.areaFolder;
  fs::create_directories(area);
  install.app = app.string();
  install.databases = databases.string();
  install.blank = (databases / "Blank").string();
  install.brand = brand.string();
  install.area = area.string();

  WriteText(app / "Kestal.INI", "[Edition]\r\nDatabasesPath=Databases\r\nVersion=7\r\n\r\n[Tolvarin]\r\n");
  if (options.siblings) {
    WriteText(app / "kestal.exe", "");
    WriteText(app / "gradebook.exe", "");
  }
  tolvarin::Settings().AppPath = install.app;
  tolvarin::CreateBlankTables(install.blank);

  WriteText(brand / "brand.ini", "[General]\r\nBrandID=1\r\n");
  for (const auto& def : tolvarin::TableDefs()) {
    if (def.Skip || def.Kind != tolvarin::kKindCommon) continue;
    for (const char* ext : {".dbf", ".cdx", ".fpt"}) {
      const fs::path from = fs::path(install.blank) / (def.TableName + ext);
      if (fs::exists(from)) fs::copy_file(from, brand / (def.TableName + ext), fs::copy_options::overwrite_existing);
    }
  }
  WriteText(area / "area.ini", "[General]\r\nAreaID=" + std::to_string(options.areaId) + "\r\nName=" +
                                   options.areaName + "\r\n\r\n[CourseNames]\r\n");
  install.course = AddCourse(install, options.courseFolder, options.courseId, options.courseName);
  return install;
}

std::string AddCourse(const Installation& install, const std::string& folderName, int courseId,
                      const std::string& displayName) {
  EnsureEngine();
  const fs::path course = fs::path(install.area) / folderName;
  fs::create_directories(course);
  // area.ini keeps its course names in its last section, so a new one is appended.
  std::ofstream(fs::path(install.area) / "area.ini", std::ios::binary | std::ios::app)
      << "Course" << courseId << "=" << displayName << "\r\n";
  WriteText(course / "course.ini", "[General]\r\nCourseID=" + std::to_string(courseId) + "\r\n");
  std::array<std::int16_t, tolvarin::kCourseYears> years{};
  for (std::size_t i = 0; i < years.size(); ++i) years[i] = static_cast<std::int16_t>(i < 8 ? 0 : 1);
  const auto dat = tolvarin::MakeCourseDat(years);
  WriteText(course / tolvarin::kCourseDatFile, std::string(dat.begin(), dat.end()));
  for (const auto& def : tolvarin::TableDefs()) {
    if (def.Skip || def.Kind != tolvarin::kKindCourse) continue;
    for (const char* ext : {".dbf", ".cdx", ".fpt"}) {
      const fs::path from = fs::path(install.blank) / (def.TableName + ext);
      if (fs::exists(from)) fs::copy_file(from, course / (def.TableName + ext), fs::copy_options::overwrite_existing);
    }
  }
  return course.string();
}

CourseContent FillCourse(const std::string& courseFolder, const CourseOptions& options) {
  SettingsGuard guard;
  EnsureEngine();
  if (options.questions < 10 || options.questions > 28998)
    throw std::invalid_argument("course maker: questions must be 10 to 28998");
  const fs::path course(courseFolder);
  const fs::path brand = course.parent_path().parent_path();
  Dice dice(options.seed);
  CourseContent c;

  // Teachers of the brand (ids 2 to 5; the built-in MENTOR is 1 and LATSEK 1001).
  static const char* const teacherNames[] = {"SMITH", "GARCIA", "NGUYEN", "OKAFOR"};
  for (std::int32_t i = 0; i < 4; ++i) c.users.push_back({2 + i, teacherNames[i]});
  {
    // A second course of the brand shares its teachers: only missing names are appended.
    const xbase::Data4 users = xbase::d4open(tolvarin::Engine().EngineHandle, (brand / "users.dbf").string());
    std::set<std::string> present;
    const xbase::Field4 name = xbase::d4field(users, "user_name");
    for (int rc = xbase::d4top(users); rc == 0; rc = xbase::d4skip(users, 1)) {
      std::string text = xbase::f4str(name);
      text.erase(text.find_last_not_of(' ') + 1);
      present.insert(text);
    }
    for (const UserRow& u : c.users) {
      if (present.count(u.name)) continue;
      xbase::d4appendStart(users, 0);
      xbase::d4blank(users);
      xbase::f4assign(xbase::d4field(users, "user_id"), FormatID(u.id));
      xbase::f4assign(name, u.name);
      xbase::f4assign(xbase::d4field(users, "password"), tolvarin::EncryptText("pw" + std::to_string(u.id)));
      xbase::f4assign(xbase::d4field(users, "edit_pswd"), u.id == 2 ? "T" : "F");
      xbase::d4append(users);
    }
    xbase::d4close(users);
  }

  const int publisherCount = std::min(options.questions * 3 / 5, 18999);
  const int userCount = std::min(options.questions - publisherCount, 9998);
  const auto teacher = [&] { return dice.Between(2, 5); };

  // Descriptions: reading passages shared by runs of consecutive questions.
  std::set<std::int32_t> images;
  std::int32_t nextPublisherDescript = 1, nextUserDescript = 20000;
  std::int32_t nextPublisherImage = 1, nextUserImage = 20000;
  auto newImage = [&](bool publisher) {
    const std::int32_t id = publisher ? nextPublisherImage++ : nextUserImage++;
    images.insert(id);
    return id;
  };
  {
    Table quests(course, "quests");
    Table descript(course, "descript");
    Table questype(course, "questype");
    std::int32_t passage = 0;
    int passageLeft = 0;
    const auto addQuestion = [&](std::int32_t id, bool publisher) {
      QuestionRow q;
      q.id = id;
      q.userId = publisher ? kOwnerPublisher : teacher();
      if (passageLeft == 0 && dice.Chance(6)) {
        DescriptionRow d;
        d.id = publisher ? nextPublisherDescript++ : nextUserDescript++;
        if (dice.Chance(25)) d.imageId = newImage(publisher);
        descript.Start().Id("descriptid", d.id).Set("descript", "Read the passage: " + Sentence(dice, 12));
        if (d.imageId) descript.Id("image_id", d.imageId);
        descript.Number("picturepos", dice.Between(0, 2)).Append();
        c.descriptions.push_back(d);
        passage = d.id;
        passageLeft = dice.Between(2, 6);
      }
      if (passageLeft > 0) {
        q.descriptId = passage;
        --passageLeft;
      }
      if (dice.Chance(4)) {
        q.pictures[0] = newImage(publisher);
        if (dice.Chance(40)) q.pictures[static_cast<std::size_t>(dice.Between(1, 4))] = newImage(publisher);
      }
      const int answers = dice.Between(2, 5);
      quests.Start().Id("quest_id", q.id).Id("user_id", q.userId).Number("difficulty", dice.Between(1, 3));
      quests.Id("subtopicid", dice.Between(1, 40)).Id("exam_id", 0);
      quests.Set("descriptid", q.descriptId ? FormatID(q.descriptId) : std::string());
      quests.Set("question", "Q" + std::to_string(q.id) + ": " + Sentence(dice, dice.Between(6, 14)) + "?");
      for (int a = 1; a <= 5; ++a) {
        if (a <= answers) quests.Set("answer" + std::to_string(a), Sentence(dice, dice.Between(1, 4)));
        if (q.pictures[static_cast<std::size_t>(a - 1)])
          quests.Id("answer" + std::to_string(a) + "pct", q.pictures[static_cast<std::size_t>(a - 1)]);
      }
      quests.Number("correctans", dice.Between(1, answers)).Number("essay", dice.Chance(5) ? 1 : 0).Append();
      c.questions.push_back(q);
      const QuesTypeRow t{q.id, dice.Between(1, 6)};
      questype.Start().Id("quest_id", t.questId).Number("type", t.type).Number("media_type", 0).Number("taxonomy", dice.Between(0, 6));
      questype.Append();
      c.questionTypes.push_back(t);
    };
    for (std::int32_t i = 0; i < publisherCount; ++i) addQuestion(1 + i, true);
    passageLeft = 0;
    for (std::int32_t i = 0; i < userCount; ++i) addQuestion(20000 + i, false);
  }

  // Print options: the default row 1 stays; teachers keep their own from 20000.
  {
    Table printopt(course, "printopt");
    const int count = std::max(2, options.questions / 400);
    for (int i = 0; i < count; ++i) {
      const PrintOptRow p{20000 + i, teacher()};
      printopt.Start().Id("print_id", p.id).Id("user_id", p.userId).Set("descript", "Options " + std::to_string(i + 1));
      printopt.Number("default", 0).Set("xml", "<printopt><num_copies>" + std::to_string(1 + i) + "</num_copies></printopt>");
      printopt.Append();
      c.printOptions.push_back(p);
    }
  }

  // Exams from 20000 with their exam questions from 20000, drawn from every question.
  {
    Table exams(course, "exams");
    Table examques(course, "examques");
    const int count = std::max(3, options.questions / 50);
    std::int32_t nextExamQ = 20000;
    for (int i = 0; i < count; ++i) {
      ExamRow e;
      e.id = 20000 + i;
      e.userId = teacher();
      e.printId = dice.Chance(60) ? 1 : dice.Pick(c.printOptions).id;
      e.name = "Unit " + std::to_string(i + 1) + " " + Sentence(dice, 2);
      exams.Start().Id("exam_id", e.id).Id("user_id", e.userId).Id("unit_id", dice.Between(1, 12));
      exams.Set("date", "2024" + std::string(dice.Chance(50) ? "03" : "10") + std::to_string(10 + dice.Between(0, 18)));
      exams.Set("name", e.name).Number("blockview", 0).Id("print_id", e.printId).Append();
      c.exams.push_back(e);
      std::set<std::int32_t> chosen;
      const int size = dice.Between(10, 25);
      for (int n = 0; n < size; ++n) {
        const std::int32_t q = dice.Pick(c.questions).id;
        if (!chosen.insert(q).second) continue;
        const ExamQuestionRow eq{nextExamQ++, e.id, q};
        examques.Start().Id("exam_q_id", eq.id).Id("exam_id", eq.examId).Id("quest_id", eq.questId);
        const std::string num = std::to_string(chosen.size());
        examques.Set("quest_num", std::string(3 - num.size(), ' ') + num).Set("ansorder", "1234").Number("version", 1);
        examques.Append();
        c.examQuestions.push_back(eq);
      }
    }
  }

  // Standards trees 1 and 2: publisher nodes below 20000, teachers' nodes from 20000,
  // and links from questions to nodes.
  {
    Table standard(course, "standard");
    Table stanques(course, "stanques");
    const int publisherNodes = std::max(8, options.questions / 40);
    std::int32_t nextUserNode = 20000;
    for (std::int32_t tree = 1; tree <= 2; ++tree) {
      std::vector<std::int32_t> treeNodes{1};
      c.nodes.push_back({tree, 1, 0});
      for (std::int32_t n = 2; n <= publisherNodes; ++n) {
        c.nodes.push_back({tree, n, dice.Pick(treeNodes)});
        treeNodes.push_back(n);
      }
      std::vector<std::int32_t> userNodes;
      const int userNodeCount = std::max(3, options.questions / 200);
      for (int i = 0; i < userNodeCount; ++i) {
        const std::int32_t parent = (!userNodes.empty() && dice.Chance(30)) ? dice.Pick(userNodes) : dice.Pick(treeNodes);
        c.nodes.push_back({tree, nextUserNode, parent});
        userNodes.push_back(nextUserNode++);
      }
    }
    int order = 0;
    for (const NodeRow& n : c.nodes) {
      standard.Start().Number("tree_id", n.tree).Number("node_id", n.node).Number("parent_id", n.parent);
      standard.Number("order", ++order % 1000).Set("descript", "Standard " + std::to_string(n.tree) + "." + std::to_string(n.node));
      standard.Append();
    }
    for (const QuestionRow& q : c.questions) {
      if (!dice.Chance(60)) continue;
      const int links = dice.Chance(25) ? 2 : 1;
      std::set<std::pair<std::int32_t, std::int32_t>> done;
      for (int l = 0; l < links; ++l) {
        const NodeRow& n = dice.Pick(c.nodes);
        if (n.node >= 20000 && q.id < 20000) continue;  // publisher questions link publisher nodes only
        if (!done.insert({n.tree, n.node}).second) continue;
        stanques.Start().Number("tree_id", n.tree).Number("node_id", n.node).Number("quest_id", q.id).Append();
        c.links.push_back({n.tree, n.node, q.id});
      }
    }
  }

  // Classes and their students.
  {
    Table classes(course, "classes");
    Table students(course, "students");
    const int count = std::max(2, options.questions / 500);
    std::int32_t nextStudent = 1;
    for (int i = 0; i < count; ++i) {
      ClassRow k{1 + i, teacher(), "Period " + std::to_string(i + 1)};
      classes.Start().Id("class_id", k.id).Id("course", options.courseId).Set("section", k.section).Id("user_id", k.userId);
      classes.Append();
      c.classes.push_back(k);
      const int size = dice.Between(15, 25);
      for (int s = 0; s < size; ++s) {
        const StudentRow st{nextStudent++, k.id};
        students.Start().Id("student_id", st.id).Id("class_id", st.classId).Set("last_name", Sentence(dice, 1));
        students.Set("first_name", Sentence(dice, 1)).Set("studen_num", std::to_string(1000 + st.id));
        students.Number("remote_num", s + 1).Append();
        c.students.push_back(st);
      }
    }
  }

  // Graded sessions: an exam given to a class, with its session questions and every
  // student's results.
  {
    Table sessions(course, "sessions");
    Table sesquests(course, "sesquests");
    Table sesresults(course, "sesresults");
    const int count = std::max(2, options.questions / 250);
    std::int32_t nextSesQues = 1;
    for (int i = 0; i < count; ++i) {
      const ExamRow& exam = c.exams[static_cast<std::size_t>(i) % c.exams.size()];
      const ClassRow& klass = dice.Pick(c.classes);
      SessionRow s{1 + i, exam.id, klass.id, exam.name + " graded"};
      sessions.Start().Id("session_id", s.id).Set("name", s.name).Set("datetime", "202404" + std::to_string(100000 + i));
      sessions.Number("area", options.areaId).Number("course", options.courseId).Number("type", 1).Append();
      c.sessions.push_back(s);
      int order = 0;
      for (const ExamQuestionRow& eq : c.examQuestions) {
        if (eq.examId != exam.id) continue;
        const SesQuestRow sq{nextSesQues++, s.id, eq.questId};
        sesquests.Start().Id("session_id", sq.sessionId).Id("quest_id", sq.questId).Set("answ_order", "1234");
        sesquests.Id("sesques_id", sq.id).Number("version", 1).Number("order", ++order).Append();
        c.sessionQuestions.push_back(sq);
        for (const StudentRow& st : c.students) {
          if (st.classId != klass.id) continue;
          sesresults.Start().Id("student_id", st.id).Set("answer", std::string(1, static_cast<char>('A' + dice.Between(0, 3))));
          sesresults.Id("sesques_id", sq.id).Number("time", dice.Between(5, 300)).Append();
          c.results.push_back({sq.id, st.id});
        }
      }
    }
  }

  // Activities: some named after a graded session ("0000003%"), the rest free, each
  // naming questions and nodes in its XML.
  {
    Table templates(course, "templates");
    std::int32_t next = 1;
    std::vector<ActivityRow> rows;
    for (const SessionRow& s : c.sessions) {
      if (!dice.Chance(60)) continue;
      ActivityRow a;
      a.id = next++;
      a.sessionId = s.id;
      a.name = FormatID(s.id) + "%";
      for (const SesQuestRow& sq : c.sessionQuestions)
        if (sq.sessionId == s.id && a.questionIds.size() < 8) a.questionIds.push_back(sq.questId);
      rows.push_back(a);
    }
    const int free = std::max(2, options.questions / 400);
    for (int i = 0; i < free; ++i) {
      ActivityRow a;
      a.id = next++;
      a.name = "Practice " + Sentence(dice, 2);
      const int n = dice.Between(3, 10);
      for (int k = 0; k < n; ++k) a.questionIds.push_back(dice.Pick(c.questions).id);
      for (int k = 0; k < 2; ++k) a.nodeIds.push_back(dice.Pick(c.nodes).node);
      a.deleted = (i == 1);
      rows.push_back(a);
    }
    for (ActivityRow& a : rows) {
      templates.Start().Id("templateid", a.id).Set("name", a.name).Id("area_id", options.areaId);
      templates.Id("course_id", options.courseId).Id("user_id", teacher()).Set("blob", ActivityXml(a));
      templates.Set("comment", "made for class").Append();
      if (a.deleted) templates.DeleteCurrent();
      c.activities.push_back(a);
    }
  }

  // Attributes of user questions and exams.
  {
    Table attributes(course, "attributes");
    Table enumvalues(course, "enumvalues");
    attributes.Start().Set("attr_key", "SOURCE").Set("name", "Source").Number("type", 1).Append();
    attributes.Start().Set("attr_key", "BLOOM").Set("name", "Bloom level").Number("type", 2).Append();
    attributes.Start().Set("attr_key", "NOTES").Set("name", "Teacher notes").Number("type", 3).Append();
    for (int v = 1; v <= 3; ++v)
      enumvalues.Start().Set("attr_key", "BLOOM").Set("attr_value", std::to_string(v)).Set("name", "Level " + std::to_string(v)).Append();
    Table charattr(course, "charattributes");
    Table enumattr(course, "enumattributes");
    Table memoattr(course, "memoattributes");
    const auto add = [&](Table& table, const char* tableFile, const std::string& owner, std::int32_t id,
                         const char* key, const std::string& value) {
      table.Start().Set("table_name", owner).Set("table_id", AttributeRowId(id)).Set("attr_key", key);
      table.Set("attr_value", value).Append();
      c.attributes.push_back({tableFile, owner, id, key});
    };
    for (const QuestionRow& q : c.questions) {
      if (q.id < 20000 || !dice.Chance(15)) continue;
      add(charattr, "charattributes", "QUESTS", q.id, "SOURCE", "Textbook p." + std::to_string(dice.Between(1, 400)));
      if (dice.Chance(50)) add(enumattr, "enumattributes", "QUESTS", q.id, "BLOOM", std::to_string(dice.Between(1, 3)));
      if (dice.Chance(30)) add(memoattr, "memoattributes", "QUESTS", q.id, "NOTES", Sentence(dice, 20));
    }
    for (const ExamRow& e : c.exams)
      if (dice.Chance(30)) add(charattr, "charattributes", "EXAMS", e.id, "SOURCE", "Department");
  }

  // A few user questions the teacher deleted: still in the file, marked.
  {
    const xbase::Data4 quests = xbase::d4open(tolvarin::Engine().EngineHandle, (course / "quests.dbf").string());
    const xbase::Tag4 tag = xbase::d4tag(quests, "QUEST_ID");
    xbase::d4tagSelect(quests, tag);
    int deleted = 0;
    for (QuestionRow& q : c.questions) {
      if (q.id < 20000 || deleted == 3 || q.id % 97 != 5) continue;
      if (xbase::d4seek(quests, FormatID(q.id)) == 0) {
        xbase::d4delete(quests);
        q.deleted = true;
        ++deleted;
      }
    }
    xbase::d4close(quests);
  }

  // Image files named by identifier; a few stored as .jpg.
  for (std::int32_t id : images) {
    const std::string name = FormatID(id) + (id % 7 == 0 ? ".jpg" : ".gif");
    WriteText(course / name, ImageBytes(id));
    c.imageIds.push_back(id);
    c.imageFiles.push_back(name);
  }
  return c;
}

MadeCourse MakeCourse(const std::string& folder, const CourseOptions& options) {
  MadeCourse made;
  made.install = MakeInstallation(folder, options);
  made.content = FillCourse(made.install.course, options);
  return made;
}

}  // namespace course_maker
