// A backup of one course imported into a copy of another course that holds content
// of its own (another seed), by every remap mode and as the unattended restore runs
// it: every reference in the destination resolves, no key is doubled, the
// destination's rows that the mode does not overwrite are as they were, and every
// package row is there with its own content (or deliberately overwrote the row of
// its identifier).
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <stdexcept>
#include <tuple>

#include "core/presenter.h"
#include "core/settings.h"
#include "core/strings.h"
#include "core/terminate.h"
#include "data/catalogue.h"
#include "data/codebase.h"
#include "data/id_ranges.h"
#include "data/key_text.h"
#include "data/standards.h"
#include "engine/transfer/database_sets.h"
#include "engine/transfer/id_mapping.h"
#include "engine/transfer/overwrite_questions.h"
#include "engine/transfer/row_copy.h"
#include "engine/transfer/selection.h"
#include "engine/transfer/table_mapping.h"
#include "engine/transfer/transfer_state.h"
#include "platform/xbase/xbase.h"
#include "import_check.h"
#include "transfer_fixture.h"
#include "transfer_run.h"

namespace transfer_test {
namespace {

namespace fs = std::filesystem;
using namespace tolvarin;

enum class Variant {
  Plain,
  Gaps,              // the package's sessions and classes 1 and 4, the destination's 1 and 2
  KeptAboveWindow,   // a package question above the window on a number handed out before it
  PublisherPicture,  // the destination has its own file of a publisher picture the package brings
};

struct Case {
  const char* name;
  long mode;
  const char* settings;  // lines of the Tolvarin section of Kestal.INI
  Variant variant = Variant::Plain;
  bool refused = false;  // the mapping refuses the import: nothing may be copied
};
void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

const char* const kAttributeTables[] = {"charattributes", "enumattributes", "memoattributes"};

// Every record of a table whose field holds one value gets another.
void Rewrite(const std::string& folder, const std::string& table, const std::string& field, const std::string& from,
             const std::string& to) {
  const xbase::Data4 data = xbase::d4open(Engine().EngineHandle, folder + "/" + table + ".dbf");
  ASSERT_NE(data, 0) << table;
  const xbase::Field4 f = xbase::d4field(data, field);
  for (int rc = xbase::d4top(data); rc == 0; rc = xbase::d4skip(data, 1)) {
    if (Trim(xbase::f4str(f)) == from) {
      ASSERT_EQ(xbase::f4assign(f, to), 0);
    }
  }
  xbase::d4close(data);
}

void MarkDeleted(const std::string& folder, const std::string& table, const std::string& tag, std::int32_t id) {
  const xbase::Data4 data = xbase::d4open(Engine().EngineHandle, folder + "/" + table + ".dbf");
  ASSERT_NE(data, 0) << table;
  xbase::d4tagSelect(data, xbase::d4tag(data, tag));
  ASSERT_EQ(xbase::d4seek(data, FormatID(id)), 0) << table << " " << id;
  xbase::d4delete(data);
  xbase::d4close(data);
}

void AddQuestion(const std::string& course, std::int32_t id, const std::string& text) {
  for (const char* table : {"quests", "questype"}) {
    const xbase::Data4 data = xbase::d4open(Engine().EngineHandle, course + "/" + table + ".dbf");
    ASSERT_NE(data, 0);
    xbase::d4appendStart(data, 0);
    xbase::d4blank(data);
    xbase::f4assign(xbase::d4field(data, "quest_id"), FormatID(id));
    if (std::string(table) == "quests") xbase::f4memoAssign(xbase::d4field(data, "question"), text);
    ASSERT_EQ(xbase::d4append(data), 0);
    xbase::d4close(data);
  }
}

// The package (a backup of a seed 1 course) and the destination (a seed 2 course).
class ContentImport : public TransferTest {
 protected:
  void SetUp() override {
    TransferTest::SetUp();
    made_ = Fresh({.seed = 1, .questions = 200});
    UseCourse(made_.install);
    Settings().Mode = 0;
    // The backup, as the unattended backup makes it: every identifier kept, into blank tables.
    package_ = (temp_.path() / "Backup").string();
    fs::create_directories(package_);
    for (const auto& e : fs::directory_iterator(made_.install.blank))
      fs::copy_file(e.path(), fs::path(package_) / e.path().filename());
    Settings().Operation = 1;
    OpenSource(made_.install.course);
    PointSetAt(Dest(), package_);
    InitDest();
    SelectAllRecords();
    ASSERT_TRUE(BuildMappings());
    ASSERT_TRUE(CopyTables());
    UninitSrc();
    UninitDest();
    // An older backup that still holds rows the teacher deleted.
    // (one no other row names, so that nothing needs it)
    std::set<std::int32_t> named;
    for (const auto& eq : made_.content.examQuestions) named.insert(eq.questId);
    for (const auto& sq : made_.content.sessionQuestions) named.insert(sq.questId);
    for (const auto& a : made_.content.activities) named.insert(a.questionIds.begin(), a.questionIds.end());
    for (const auto& q : made_.content.questions)
      if (q.id >= 20000 && !q.deleted && !named.count(q.id)) deletedQuestion_ = q.id;
    ASSERT_NE(deletedQuestion_, 0);
    MarkDeleted(package_, "quests", "QUEST_ID", deletedQuestion_);
    const auto free = std::find_if(made_.content.activities.begin(), made_.content.activities.end(),
                                   [](const auto& a) { return a.sessionId == 0 && !a.deleted; });
    ASSERT_NE(free, made_.content.activities.end());
    MarkDeleted(package_, "templates", "TEMPLATEID", free->id);

    dest_ = course_maker::AddCourse(made_.install, "Chemistry", 4, "Chemistry");
    course_maker::FillCourse(dest_, {.seed = 2, .questions = 300});
    // A question of the destination's own that the teacher deleted, on a number the package uses.
    MarkDeleted(dest_, "quests", "QUEST_ID", 20001);
  }

  void HostSettings(const std::string& lines) {
    testing_support::WriteFile(made_.install.app + "/Kestal.INI",
                               "[Edition]\r\nDatabasesPath=Databases\r\n\r\n[Tolvarin]\r\n" + lines);
  }

  // The package's and the destination's live rows of these tables, and their pictures' bytes by file name.
  struct BothSides {
    std::map<std::string, std::vector<Row>> source, before;
    std::map<std::string, std::string> packagePictures, picturesBefore;
  };
  BothSides ReadBothSides(const std::vector<std::string>& tables) {
    BothSides sides;
    for (const std::string& t : tables) {
      sides.source[t] = ReadLiveRows(package_, t);
      sides.before[t] = ReadLiveRows(dest_, t);
    }
    sides.packagePictures = PictureFiles(package_);
    sides.picturesBefore = PictureFiles(dest_);
    return sides;
  }

  // The package into the destination course (slot 4), every row selected: mapped, then copied.
  bool MapAll() {
    CourseRecord course;
    course.CourseID = 4;
    course.Path = dest_;
    SetCurrentCourse(course);
    PointSetAt(Src(), package_);
    InitSrc();
    OpenDestination(dest_);
    SelectAllRecords();
    return BuildMappings();
  }
  void Map() { ASSERT_TRUE(MapAll()); }
  void Copy() {
    ASSERT_TRUE(CopyTables());
    UninitSrc();
    UninitDest();
  }
  void Import() {
    Map();
    if (!HasFatalFailure()) Copy();
  }

  void Prepare(Variant variant) {
    switch (variant) {
      case Variant::Plain: break;
      case Variant::Gaps:
        Rewrite(package_, "sessions", "session_id", FormatID(2), FormatID(4));
        Rewrite(package_, "sesquests", "session_id", FormatID(2), FormatID(4));
        Rewrite(package_, "templates", "name", FormatID(2) + "%", FormatID(4) + "%");
        Rewrite(package_, "classes", "class_id", FormatID(2), FormatID(4));
        Rewrite(package_, "students", "class_id", FormatID(2), FormatID(4));
        ASSERT_EQ(Ids(dest_, "sessions", "session_id"), (std::set<std::int32_t>{1, 2}));
        ASSERT_EQ(Ids(dest_, "classes", "class_id"), (std::set<std::int32_t>{1, 2}));
        break;
      case Variant::KeptAboveWindow:
        // New questions start at 29990 and run past 30050, which the package holds above its window.
        AddQuestion(dest_, 29989, "the teacher's question at 29989");
        AddQuestion(package_, 30050, "Q30050: kept above the window");
        break;
      case Variant::PublisherPicture: {
        const auto pictures = PictureFiles(package_);
        const auto picture = std::find_if(pictures.begin(), pictures.end(),
                                          [](const auto& p) { return Num(p.first.substr(0, 7)) < 20000; });
        ASSERT_NE(picture, pictures.end());
        for (const auto& e : fs::directory_iterator(dest_))
          if (e.path().filename().string().rfind(picture->first.substr(0, 7), 0) == 0) fs::remove(e.path());
        testing_support::WriteFile(dest_ + "/" + picture->first, "the destination's own picture");
        break;
      }
    }
  }

  course_maker::MadeCourse made_;
  std::string package_, dest_;
  std::int32_t deletedQuestion_ = 0;
};

class ImportIntoContent : public ContentImport, public ::testing::WithParamInterface<Case> {};

using Rows = std::vector<Row>;

std::map<std::int32_t, Row> ByKey(const Rows& rows, const std::string& key) {
  std::map<std::int32_t, Row> byKey;
  for (const Row& r : rows) byKey[Num(r.at(key))] = r;
  return byKey;
}

TEST_P(ImportIntoContent, EveryRowOfBothSidesIsThereAndEveryReferenceResolves) {
  const Case& c = GetParam();
  Prepare(c.variant);
  if (HasFatalFailure()) return;
  HostSettings(c.settings);
  Settings().Operation = 2;
  Settings().ImportMode = c.mode;
  Settings().Interactive = false;
  Transfer().ImportClassification = true;

  std::vector<std::string> tables = {"sesresults", "stanques", "standard", "charattributes", "enumattributes",
                                     "memoattributes"};
  for (const TableSpec& t : Tables()) tables.push_back(t.table);
  auto [source, before, packagePictures, picturesBefore] = ReadBothSides(tables);

  if (c.refused) {
    // Refused before anything is copied: the course is as it was, row for row.
    EXPECT_FALSE(MapAll());
    UninitSrc();
    UninitDest();
    ASSERT_FALSE(presenter_->Shown().empty());
    EXPECT_NE(presenter_->Shown().back().box.text.find("Nothing was imported."), std::string::npos)
        << presenter_->Shown().back().box.text;
    for (const std::string& t : tables) EXPECT_EQ(ReadLiveRows(dest_, t), before[t]) << t;
    EXPECT_EQ(PictureFiles(dest_), picturesBefore);
    return;
  }
  Import();
  if (HasFatalFailure()) return;

  const auto map = [](std::int32_t table, std::int32_t old) { return LookupNewID(table, old); };
  std::set<std::int32_t> packageQuestions;
  for (const Row& r : source["quests"]) packageQuestions.insert(Num(r.at("quest_id")));
  // Per table: the identifiers the package's rows took, and the destination's rows that went with a replaced parent.
  std::map<std::string, std::set<std::int32_t>> taken, dropped;
  for (const TableSpec& t : Tables()) {
    SCOPED_TRACE(t.table);
    const Rows after = ReadLiveRows(dest_, t.table);
    std::map<std::int32_t, int> count;
    for (const Row& r : after) ++count[Num(r.at(t.key))];
    for (const auto& [id, n] : count) EXPECT_EQ(n, 1) << "key " << id << " doubled";
    const auto now = ByKey(after, t.key);

    for (const Row& s : source[t.table]) {
      const std::int32_t old = Num(s.at(t.key));
      // A question type row goes with its question, and a deleted one stays behind.
      if (t.number == kQuesTypeTable && !packageQuestions.count(old)) continue;
      if (t.number == kQuesTypeTable && old == deletedQuestion_) continue;
      const std::int32_t id = map(t.number, old);
      ASSERT_GT(id, 0) << "package row " << old << " not copied";
      EXPECT_TRUE(taken[t.table].insert(id).second) << "package rows " << old << " and another share " << id;
      const auto found = now.find(id);
      if (found == now.end()) {
        ADD_FAILURE() << "package row " << old << " missing as " << id;
        continue;
      }
      const Row& d = found->second;
      for (const auto& [field, value] : s) {
        if (field == t.key || field == "sourceid" || field == "blob") continue;
        const auto ref = std::find_if(t.references.begin(), t.references.end(), [&](const auto& r) { return r.first == field; });
        const bool picture = std::find(t.pictures.begin(), t.pictures.end(), field) != t.pictures.end();
        if (ref != t.references.end()) {
          const std::int32_t mapped = map(ref->second, Num(value));
          EXPECT_EQ(Num(d.at(field)), mapped > 0 ? mapped : Num(value)) << old << " " << field;
        } else if (picture) {
          EXPECT_EQ(Num(d.at(field)), map(kImageFiles, Num(value))) << old << " " << field;
        } else if (field == "name" && t.number == kTemplatesTable && SessionNamed(value)) {
          EXPECT_EQ(d.at(field), FormatID(map(kSessionsTable, Num(value.substr(0, 7)))) + "%") << old;
        } else {
          EXPECT_EQ(d.at(field), value) << old << " " << field;
        }
      }
      if (t.number == kTemplatesTable) {
        std::vector<std::string> expected;
        for (const std::string& q : Elements(ToLower(s.at("blob")), "question_id")) {
          const std::int32_t mapped = map(kQuestsTable, Num(q));
          expected.push_back(mapped > 0 ? FormatID(mapped) : q);
        }
        EXPECT_EQ(Elements(d.at("blob"), "question_id"), expected) << old;
      }
    }
    // The destination's own rows: as they were, unless a package row took their
    // identifier; an exam or session the package wrote over has the package's questions only.
    const auto replaced = [&](const Row& b) {
      if (t.number == kExamQuesTable) return taken["exams"].count(Num(b.at("exam_id"))) > 0;
      if (t.number == kSesQuestsTable) return taken["sessions"].count(Num(b.at("session_id"))) > 0;
      return false;
    };
    for (const Row& b : before[t.table]) {
      const std::int32_t id = Num(b.at(t.key));
      if (taken[t.table].count(id)) continue;
      if (replaced(b)) {
        dropped[t.table].insert(id);
        EXPECT_FALSE(now.count(id)) << "destination row " << id << " of a replaced parent kept";
        continue;
      }
      const auto found = now.find(id);
      if (found == now.end()) {
        ADD_FAILURE() << "destination row " << id << " lost";
        continue;
      }
      EXPECT_EQ(found->second, b) << "destination row " << id << " changed";
    }
    std::set<std::int32_t> expectedKeys = taken[t.table];
    for (const Row& b : before[t.table])
      if (!dropped[t.table].count(Num(b.at(t.key)))) expectedKeys.insert(Num(b.at(t.key)));
    EXPECT_EQ(now.size(), expectedKeys.size()) << "rows that neither side had";
  }

  // Session results: the package's under their new keys, the destination's beside
  // them unless their session question was overwritten or went with its session; never one key twice.
  {
    using Result = std::tuple<std::int32_t, std::int32_t, std::string, std::string>;  // sesques, student, answer, time
    std::multiset<Result> expected, now;
    for (const Row& b : before["sesresults"])
      if (!taken["sesquests"].count(Num(b.at("sesques_id"))) && !dropped["sesquests"].count(Num(b.at("sesques_id"))))
        expected.insert({Num(b.at("sesques_id")), Num(b.at("student_id")), b.at("answer"), b.at("time")});
    for (const Row& s : source["sesresults"])
      expected.insert({map(kSesQuestsTable, Num(s.at("sesques_id"))), map(kStudentsTable, Num(s.at("student_id"))),
                       s.at("answer"), s.at("time")});  // every one: the package's rows all go
    for (const Row& r : ReadLiveRows(dest_, "sesresults"))
      now.insert({Num(r.at("sesques_id")), Num(r.at("student_id")), r.at("answer"), r.at("time")});
    EXPECT_EQ(now, expected) << "session results";
  }
  // Attribute rows: the same, for rows the package overwrote.
  for (const char* table : kAttributeTables) {
    SCOPED_TRACE(table);
    using Attribute = std::tuple<std::string, std::int32_t, std::string, std::string>;
    std::multiset<Attribute> expected, now;
    const auto owner = [&](const std::string& name) { return name == "QUESTS" ? "quests" : "exams"; };
    for (const Row& b : before[table])
      if (!taken[owner(b.at("table_name"))].count(Num(b.at("table_id"))))
        expected.insert({b.at("table_name"), Num(b.at("table_id")), b.at("attr_key"), b.at("attr_value")});
    for (const Row& s : source[table]) {
      const std::int32_t number = s.at("table_name") == "QUESTS" ? kQuestsTable : kExamsTable;
      const std::int32_t id = map(number, Num(s.at("table_id")));
      if (id > 0) expected.insert({s.at("table_name"), id, s.at("attr_key"), s.at("attr_value")});
    }
    for (const Row& r : ReadLiveRows(dest_, table))
      now.insert({r.at("table_name"), Num(r.at("table_id")), r.at("attr_key"), r.at("attr_value")});
    EXPECT_EQ(now, expected);
  }
  // Standards nodes: the destination's as they were, the package's user nodes under
  // their new numbers with their text and parent; links follow their question and node.
  {
    const auto node = [](std::int32_t tree, std::int32_t n) {
      return n < 20000 ? n : ParseStandardKey(MappedNodeKey(StandardKeyString(static_cast<std::int16_t>(tree), n))).NodeID;
    };
    using Node = std::tuple<std::int32_t, std::int32_t, std::int32_t, std::string>;  // tree, node, parent, text
    std::set<std::pair<std::int32_t, std::int32_t>> keys;
    std::multiset<Node> now;
    for (const Row& r : ReadLiveRows(dest_, "standard")) {
      now.insert({Num(r.at("tree_id")), Num(r.at("node_id")), Num(r.at("parent_id")), r.at("descript")});
      EXPECT_TRUE(keys.insert({Num(r.at("tree_id")), Num(r.at("node_id"))}).second) << "node " << r.at("node_id") << " doubled";
    }
    for (const Row& b : before["standard"])
      EXPECT_TRUE(now.count({Num(b.at("tree_id")), Num(b.at("node_id")), Num(b.at("parent_id")), b.at("descript")}))
          << "destination node " << b.at("node_id") << " changed";
    for (const Row& s : source["standard"]) {
      const std::int32_t tree = Num(s.at("tree_id")), n = Num(s.at("node_id"));
      if (n < 20000 || !StandardNodeMap().count(StandardKeyString(static_cast<std::int16_t>(tree), n))) continue;
      EXPECT_TRUE(now.count({tree, node(tree, n), node(tree, Num(s.at("parent_id"))), s.at("descript")}))
          << "package node " << n << " as " << node(tree, n);
    }
    using Link = std::tuple<std::int32_t, std::int32_t, std::int32_t>;
    std::set<Link> expected, links;
    for (const Row& b : before["stanques"])
      if (!taken["quests"].count(Num(b.at("quest_id"))))
        expected.insert({Num(b.at("tree_id")), Num(b.at("node_id")), Num(b.at("quest_id"))});
    for (const Row& s : source["stanques"]) {
      const std::int32_t tree = Num(s.at("tree_id"));
      const std::int32_t q = map(kQuestsTable, Num(s.at("quest_id")));
      if (q > 0) expected.insert({tree, node(tree, Num(s.at("node_id"))), q});
    }
    for (const Row& r : ReadLiveRows(dest_, "stanques"))
      EXPECT_TRUE(links.insert({Num(r.at("tree_id")), Num(r.at("node_id")), Num(r.at("quest_id"))}).second);
    EXPECT_EQ(links, expected) << "standards links";
  }
  // Pictures: the package's under their new names; the destination's own as they were,
  // publisher pictures included (the same number is the same publisher picture).
  const auto pictures = PictureFiles(dest_);
  std::set<std::string> written;
  for (const auto& [name, bytes] : packagePictures) {
    const std::int32_t old = Num(name.substr(0, 7));
    const std::string target = FormatID(map(kImageFiles, old)) + name.substr(7);
    ASSERT_TRUE(pictures.count(target)) << name << " as " << target;
    if (old < 20000 && picturesBefore.count(target)) continue;
    written.insert(target);
    EXPECT_EQ(pictures.at(target), bytes) << name << " as " << target;
  }
  for (const auto& [name, bytes] : picturesBefore) {
    if (written.count(name)) continue;
    EXPECT_EQ(pictures.at(name), bytes) << "destination picture " << name;
  }

  EXPECT_EQ(DanglingReferences(dest_), std::vector<std::string>{});
}

using ImportWriteFailure = ImportIntoContent;

// Another program appended a standards node on a number this transfer gave one of
// the package's nodes: the refused append stops the transfer with a message naming
// the table, and the node is there once.
TEST_F(ImportWriteFailure, ARefusedAppendStopsTheTransferNamingTheTable) {
  Settings().Operation = 2;
  Settings().ImportMode = 1;
  Settings().Interactive = false;
  Transfer().ImportClassification = true;
  EXPECT_EXIT(
      {
        PointSetAt(Src(), package_);
        InitSrc();
        OpenDestination(dest_);
        SelectAllRecords();
        if (!BuildMappings() || StandardNodeMap().empty()) std::exit(1);
        const StandardKey node = ParseStandardKey(StandardNodeMap().rbegin()->second);
        const StandardRecord& d = Dest().Standard;
        xbase::d4appendStart(d.Data, 0);
        xbase::d4blank(d.Data);
        xbase::f4assignLong(d.Tree_id, node.TreeID);
        xbase::f4assignLong(d.Node_id, node.NodeID);
        xbase::f4assign(d.Descript, "another program's node");
        if (xbase::d4append(d.Data) != 0) std::exit(2);
        SetTerminateCleanup([this] {
          for (const auto& shown : presenter_->Shown()) std::fprintf(stderr, "%s\n", shown.box.text.c_str());
        });
        CopyTables();
        std::exit(0);
      },
      ::testing::ExitedWithCode(kTerminateStatus), "A row could not be written to the table STANDARD \\(engine code 20\\)");
  std::map<std::pair<std::int32_t, std::int32_t>, int> nodes;
  for (const Row& r : ReadLiveRows(dest_, "standard")) ++nodes[{Num(r.at("tree_id")), Num(r.at("node_id"))}];
  for (const auto& [key, count] : nodes) EXPECT_EQ(count, 1) << key.second;
}

// An interactive import answers the overwrite questions: by identifier (questions and
// exams, REMAPNOTHING) or by name (an exam and a graded session the package holds under
// the destination's identifier and name, default mode).
struct AnsweredCase {
  const char* name;
  long mode;
  bool renameToDestination;  // the package's exam 20001 and session 2 take the destination's names
  bool gradebookClass;       // the class of the package's session 1 is a gradebook's (10000 and above)
  int overwrittenAtLeast;    // exams and sessions of the destination written over
  const char* settings = "";  // lines of the Tolvarin section of Kestal.INI
  // Not 0: a destination description the copy keeps names a package picture's number
  // plus this, the number the mode gives the picture, and the destination has its file.
  std::int32_t keptPictureAbove = 0;
};
void PrintTo(const AnsweredCase& c, std::ostream* os) { *os << c.name; }

// Yes to the overwrite question of an odd identifier, No to an even one; Yes (OK) to
// every other box. Counts the overwrite questions.
class OverwriteOddPresenter : public MessagePresenter {
 public:
  explicit OverwriteOddPresenter(int& asked) : asked_(asked) {}
  int Ask(const BoxRequest& box) override {
    if (box.title != "Overwrite") return 1;
    ++asked_;
    const std::size_t at = box.text.find("ID# ");
    return at != std::string::npos && Num(box.text.substr(at + 4, 7)) % 2 == 1 ? 1 : 2;
  }
  std::string BrowseFolder(const FolderRequest&) override { return ""; }
  std::string InputBox(const InputRequest& request) override { return request.defaultText; }

 private:
  int& asked_;
};

class AnsweredImportCases : public ContentImport, public ::testing::WithParamInterface<AnsweredCase> {};

// Every destination row the copy wrote shows the package's pictures and every other one
// its own, file bytes included; every exam and graded session the copy wrote holds the
// package's questions only, and every other one its own but for rows a package row took
// by identifier.
TEST_P(AnsweredImportCases, EveryRowShowsThePicturesAndQuestionsOfTheSideThatWroteIt) {
  const AnsweredCase& c = GetParam();
  // The package's own pictures, told apart from the destination's of the same number.
  for (const auto& [name, bytes] : PictureFiles(package_))
    if (Num(name.substr(0, 7)) >= 20000) testing_support::WriteFile(package_ + "/" + name, "the package's " + name);
  if (c.renameToDestination) {
    const auto name = [](const std::string& folder, const char* table, const char* key, std::int32_t id) {
      for (const Row& r : ReadLiveRows(folder, table))
        if (Num(r.at(key)) == id) return r.at("name");
      return std::string();
    };
    for (const auto& [table, key, id] : {std::tuple{"exams", "exam_id", 20001}, std::tuple{"sessions", "session_id", 2}}) {
      ASSERT_NE(name(dest_, table, key, id), "") << table;
      Rewrite(package_, table, "name", name(package_, table, key, id), name(dest_, table, key, id));
    }
  }
  if (c.gradebookClass) {
    // An interactive import leaves such a session out, while its session questions stay selected.
    const std::string klass = FormatID(made_.content.sessions.at(0).classId);
    for (const char* table : {"classes", "students"})
      Rewrite(package_, table, "class_id", klass, FormatID(10000 + made_.content.sessions.at(0).classId));
  }
  if (*c.settings) HostSettings(c.settings);
  std::int32_t packagePicture = 0;
  if (c.keptPictureAbove != 0) {
    const auto packageFiles = PictureFiles(package_);
    std::string extension;
    for (const Row& r : ReadLiveRows(package_, "descript")) {
      const std::int32_t id = Num(r.at("image_id"));
      const auto file = packageFiles.lower_bound(FormatID(id) + ".");
      if (id < 20000 || file == packageFiles.end() || file->first.rfind(FormatID(id) + ".", 0) != 0) continue;
      packagePicture = id;
      extension = file->first.substr(7);
      break;
    }
    ASSERT_NE(packagePicture, 0) << "no package description with a picture file";
    std::string own;
    for (const Row& r : ReadLiveRows(dest_, "descript"))
      if (Num(r.at("image_id")) >= 20000) own = r.at("image_id");
    ASSERT_NE(own, "") << "no destination description with a picture";
    const std::string landing = FormatID(packagePicture + c.keptPictureAbove);
    Rewrite(dest_, "descript", "image_id", own, landing);
    testing_support::WriteFile(dest_ + "/" + landing + extension, "the destination's own " + landing);
  }
  int asked = 0;
  const auto scripted = SetPresenter(std::make_unique<OverwriteOddPresenter>(asked));
  Settings().Operation = 2;
  Settings().ImportMode = c.mode;
  Settings().Interactive = true;
  Transfer().ImportClassification = true;
  SetUserAccessLevel(2);

  auto [source, before, packagePictures, picturesBefore] =
      ReadBothSides({"quests", "descript", "exams", "examques", "sessions", "sesquests"});

  Import();
  if (HasFatalFailure()) return;
  if (c.mode == 3) {
    EXPECT_GT(asked, 0);
  }

  const auto pictures = PictureFiles(dest_);
  // Per table: the package's rows by the identifier they were written under.
  std::map<std::string, std::map<std::int32_t, Row>> writtenFrom;
  const std::map<std::string, std::pair<std::int32_t, const char*>> numbers = {
      {"quests", {kQuestsTable, "quest_id"}},       {"descript", {kDescriptTable, "descriptid"}},
      {"exams", {kExamsTable, "exam_id"}},          {"examques", {kExamQuesTable, "exam_q_id"}},
      {"sessions", {kSessionsTable, "session_id"}}, {"sesquests", {kSesQuestsTable, "sesques_id"}}};
  for (const auto& [table, number] : numbers)
    for (const Row& s : source[table])
      if (const std::int32_t id = LookupNewID(number.first, Num(s.at(number.second))); id > 0)
        writtenFrom[table][id] = s;

  // Pictures, and the case this guards: a kept row naming a number a written package row names.
  int shared = 0;
  const std::map<std::string, std::vector<std::string>> pictureFields = {
      {"quests", {"answer1pct", "answer2pct", "answer3pct", "answer4pct", "answer5pct"}}, {"descript", {"image_id"}}};
  std::set<std::int32_t> packageNamed, keptNamed;
  for (const auto& [table, fields] : pictureFields) {
    SCOPED_TRACE(table);
    const char* key = numbers.at(table).second;
    const auto was = ByKey(before[table], key);
    for (const Row& r : ReadLiveRows(dest_, table)) {
      const std::int32_t id = Num(r.at(key));
      const auto written = writtenFrom[table].find(id);
      if (written != writtenFrom[table].end()) {
        for (const std::string& f : fields) {
          const std::int32_t old = Num(written->second.at(f));
          if (old == 0) continue;
          if (old >= 20000) packageNamed.insert(old);
          EXPECT_EQ(PictureBytes(pictures, Num(r.at(f))), PictureBytes(packagePictures, old)) << id << " " << f;
        }
        continue;
      }
      ASSERT_TRUE(was.count(id)) << "row " << id << " neither side had";
      EXPECT_EQ(r, was.at(id)) << "destination row " << id << " changed";
      for (const std::string& f : fields) {
        const std::int32_t own = Num(r.at(f));
        if (own == 0) continue;
        if (own >= 20000) keptNamed.insert(own);
        EXPECT_EQ(PictureBytes(pictures, own), PictureBytes(picturesBefore, own)) << id << " " << f;
      }
    }
  }
  for (std::int32_t p : packageNamed) shared += static_cast<int>(keptNamed.count(p));
  if (c.mode == 3) {
    EXPECT_GT(shared, 0) << "no kept row names a picture number a written row names";
  }
  if (packagePicture != 0) {
    const std::int32_t moved = LookupNewID(kImageFiles, packagePicture);
    EXPECT_GT(moved, 0);
    EXPECT_NE(moved, packagePicture + c.keptPictureAbove) << "the package's picture took the kept row's number";
    EXPECT_EQ(PictureBytes(pictures, moved), PictureBytes(packagePictures, packagePicture));
  }

  // Exams and sessions: their questions, as (row identifier, question).
  using Members = std::set<std::pair<std::int32_t, std::int32_t>>;
  struct Parent {
    const char* parents;
    const char* children;
    const char* parentKey;
    std::int32_t childNumber;
  };
  const Parent parents[] = {{"exams", "examques", "exam_id", kExamQuesTable},
                            {"sessions", "sesquests", "session_id", kSesQuestsTable}};
  int overwritten = 0;
  for (const Parent& p : parents) {
    SCOPED_TRACE(p.parents);
    const char* childKey = numbers.at(p.children).second;
    const auto membersOf = [&](const Rows& rows, std::int32_t parent) {
      Members m;
      for (const Row& r : rows)
        if (Num(r.at(p.parentKey)) == parent) m.insert({Num(r.at(childKey)), Num(r.at("quest_id"))});
      return m;
    };
    const Rows after = ReadLiveRows(dest_, p.children);
    const auto parentsBefore = ByKey(before[p.parents], p.parentKey);
    for (const Row& r : ReadLiveRows(dest_, p.parents)) {
      const std::int32_t id = Num(r.at(p.parentKey));
      const auto written = writtenFrom[p.parents].find(id);
      Members expected;
      if (written != writtenFrom[p.parents].end()) {
        overwritten += static_cast<int>(parentsBefore.count(id));
        for (const auto& [old, child] : membersOf(source[p.children], Num(written->second.at(p.parentKey)))) {
          // A member naming a question the import does not bring is left out with it.
          const std::int32_t q = LookupNewID(kQuestsTable, child);
          if (q == 0) {
            EXPECT_EQ(LookupNewID(p.childNumber, old), 0) << old << " names question " << child << ", left out";
            continue;
          }
          expected.insert({LookupNewID(p.childNumber, old), q});
        }
      } else {
        for (const auto& member : membersOf(before[p.children], id))
          if (!writtenFrom[p.children].count(member.first)) expected.insert(member);
      }
      EXPECT_EQ(membersOf(after, id), expected) << "questions of " << id;
    }
  }
  EXPECT_GE(overwritten, c.overwrittenAtLeast) << "exams and sessions of the destination written over";
  if (c.gradebookClass) {
    EXPECT_EQ(LookupNewID(kSessionsTable, made_.content.sessions.at(0).id), 0) << "the gradebook's session imported";
  }
  // Every live result belongs to a live session question.
  std::set<std::int32_t> live;
  for (const Row& r : ReadLiveRows(dest_, "sesquests")) live.insert(Num(r.at("sesques_id")));
  for (const Row& r : ReadLiveRows(dest_, "sesresults"))
    EXPECT_TRUE(live.count(Num(r.at("sesques_id")))) << "result of session question " << r.at("sesques_id");
  EXPECT_EQ(DanglingReferences(dest_), std::vector<std::string>{});
}

const AnsweredCase kAnsweredCases[] = {
    {"RemapNothingYesToOddIdentifiers", 3, false, false, 2},
    {"DefaultOverwritingAnExamAndASessionByName", 1, true, false, 2},
    {"DefaultLeavingAGradebooksSessionOut", 1, false, true, 0},
    // The destination course is number 4: REMAPBYCOURSE's block starts at 500000.
    {"RemapOffsetOntoAKeptRowsPicture", 5, false, false, 0, "RangeStart=100000\r\nRangeEnd=199999\r\n", 100000},
    {"RemapByCourseOntoAKeptRowsPicture", 6, false, false, 0, "", 500000},
};

INSTANTIATE_TEST_SUITE_P(Answers, AnsweredImportCases, ::testing::ValuesIn(kAnsweredCases),
                         [](const ::testing::TestParamInfo<AnsweredCase>& info) { return std::string(info.param.name); });

using AnsweredImport = AnsweredImportCases;

// REMAPNOTHING keeps every identifier, so the duplicate check's match cannot move a
// question; a question the teacher chose to keep stays kept even when the package's
// question of that number equals another destination question.
TEST_F(AnsweredImport, TheDuplicateCheckDoesNotWriteOverAQuestionTheTeacherKept) {
  const auto kept = std::find_if(made_.content.questions.begin(), made_.content.questions.end(), [&](const auto& q) {
    return q.id >= 20000 && q.id % 2 == 0 && q.descriptId == 0 && !q.deleted && q.id != deletedQuestion_ &&
           q.id != 20001;
  });
  ASSERT_NE(kept, made_.content.questions.end());
  std::string text;
  for (const Row& r : ReadLiveRows(package_, "quests"))
    if (Num(r.at("quest_id")) == kept->id) text = r.at("question");
  ASSERT_FALSE(text.empty());
  AddQuestion(dest_, 29000, text);  // the same question under another number
  const auto was = ByKey(ReadLiveRows(dest_, "quests"), "quest_id");
  ASSERT_TRUE(was.count(kept->id));
  int asked = 0;
  const auto scripted = SetPresenter(std::make_unique<OverwriteOddPresenter>(asked));  // No to the even question
  Settings().Operation = 2;
  Settings().ImportMode = 3;
  Settings().Interactive = true;
  SetUserAccessLevel(2);
  Map();
  if (HasFatalFailure()) return;
  ASSERT_EQ(LookupNewID(kQuestsTable, kept->id), 0);
  CheckDuplicateQuestions();  // answered Yes
  EXPECT_EQ(LookupNewID(kQuestsTable, kept->id), 0);
  Copy();
  const auto now = ByKey(ReadLiveRows(dest_, "quests"), "quest_id");
  EXPECT_EQ(now.at(kept->id), was.at(kept->id));
  EXPECT_EQ(now.at(29000), was.at(29000));
}

using ImportWithoutTheTree = ImportIntoContent;

// An import that does not take the package's classification tree copies no node, so
// a question's link may only name a publisher's node the course holds: the number of
// a teacher's node names a node that is missing here or is another teacher's.
TEST_F(ImportWithoutTheTree, EveryLinkNamesANodeOfTheCourseThePackageMeant) {
  Settings().Operation = 2;
  Settings().ImportMode = 1;
  Settings().Interactive = false;
  Transfer().ImportClassification = false;
  auto [source, before, packagePictures, picturesBefore] = ReadBothSides({"standard", "stanques"});
  using Node = std::pair<std::int32_t, std::int32_t>;
  std::set<Node> nodes;
  for (const Row& r : before["standard"]) nodes.insert({Num(r.at("tree_id")), Num(r.at("node_id"))});
  int teachers = 0;
  for (const Row& s : source["stanques"]) teachers += Num(s.at("node_id")) >= 20000;
  ASSERT_GT(teachers, 0) << "the package links no teacher's node";

  Import();
  if (HasFatalFailure()) return;
  EXPECT_EQ(ReadLiveRows(dest_, "standard"), before["standard"]);
  using Link = std::tuple<std::int32_t, std::int32_t, std::int32_t>;
  std::set<Link> expected, links;
  for (const Row& b : before["stanques"])
    expected.insert({Num(b.at("tree_id")), Num(b.at("node_id")), Num(b.at("quest_id"))});
  for (const Row& s : source["stanques"]) {
    const Node node{Num(s.at("tree_id")), Num(s.at("node_id"))};
    const std::int32_t q = LookupNewID(kQuestsTable, Num(s.at("quest_id")));
    if (q > 0 && node.second < 20000 && nodes.count(node)) expected.insert({node.first, node.second, q});
  }
  for (const Row& r : ReadLiveRows(dest_, "stanques")) {
    links.insert({Num(r.at("tree_id")), Num(r.at("node_id")), Num(r.at("quest_id"))});
    EXPECT_TRUE(nodes.count({Num(r.at("tree_id")), Num(r.at("node_id"))})) << "a link to node " << r.at("node_id");
  }
  EXPECT_EQ(links, expected);
  EXPECT_GT(links.size(), before["stanques"].size()) << "no publisher link arrived";
}

// No to every box: the overwrite questions by identifier and by name and the
// duplicate check; the preview's stand-in goes on.
class NoToEveryBox : public MessagePresenter {
 public:
  int Ask(const BoxRequest& box) override {
    if (box.text == kPreviewText) return 1;
    shown.push_back(box.text);
    return 2;
  }
  std::string BrowseFolder(const FolderRequest&) override { return ""; }
  std::string InputBox(const InputRequest& request) override { return request.defaultText; }
  std::vector<std::string> shown;
};

// An interactive REMAPNOTHING import answered No throughout (the destination's
// question 20001 is marked deleted, so the package's question of that number is
// not asked about and arrives): every live destination row the teacher kept, and
// every row that hangs off one (exam questions, session questions, students) or that
// one names (descriptions, printing options), is as it was; every package row that
// arrives holds its own content, and each of its references leads to the row of the
// same content as in the package, or is left out and counted.
TEST_F(AnsweredImport, NoToEveryBoxKeepsEveryKeptRowAndLeadsEveryImportedReferenceToItsOwnRow) {
  for (const auto& [name, bytes] : PictureFiles(package_))
    if (Num(name.substr(0, 7)) >= 20000) testing_support::WriteFile(package_ + "/" + name, "the package's " + name);
  auto presenter = std::make_unique<NoToEveryBox>();
  NoToEveryBox& boxes = *presenter;
  const auto scripted = SetPresenter(std::move(presenter));
  Settings().Operation = 2;
  Settings().ImportMode = 3;
  Settings().Interactive = true;
  Transfer().ImportClassification = true;
  SetUserAccessLevel(2);
  const ImportSides sides = ReadImportSides(package_, dest_);
  Map();
  if (HasFatalFailure()) return;
  CheckDuplicateQuestions();
  Copy();
  if (HasFatalFailure()) return;
  EXPECT_FALSE(boxes.shown.empty());
  for (const std::string& text : boxes.shown)
    EXPECT_EQ(text.find("question with ID# 0020001"), std::string::npos) << "a deleted row offered: " << text;

  EXPECT_EQ(KeptRowsChanged(sides, dest_), std::vector<std::string>{});
  int cut = 0;
  EXPECT_EQ(ImportedRowsMisled(sides, dest_, &cut), std::vector<std::string>{});
  // The question the teacher's deleted row gave way to arrived; others arrived beside.
  EXPECT_EQ(LookupNewID(kQuestsTable, 20001), 20001);
  EXPECT_GT(ReadLiveRows(dest_, "sessions").size(), sides.before.at("sessions").size());
  EXPECT_GT(ReadLiveRows(dest_, "classes").size(), sides.before.at("classes").size());

  // Left out and counted: the exam and session questions of what arrived that name a
  // question the import does not bring, and such activity elements.
  int expected = cut;
  for (const TableSpec& t : {Spec(kExamQuesTable), Spec(kSesQuestsTable)}) {
    const std::int32_t parent = t.references[0].second;
    for (const Row& s : sides.package.at(t.table)) {
      const std::int32_t old = Num(s.at(t.key));
      if (LookupNewID(parent, Num(s.at(t.references[0].first))) == 0) continue;
      if (LookupNewID(kQuestsTable, Num(s.at("quest_id"))) == 0) {
        EXPECT_EQ(LookupNewID(t.number, old), 0) << t.table << " " << old << " names a question left out";
        ++expected;
      }
    }
  }
  EXPECT_GT(cut, 0);
  EXPECT_GT(expected, cut);
  EXPECT_EQ(LeftOutCount(), expected);
  EXPECT_EQ(DanglingReferences(dest_), std::vector<std::string>{});
}

const Case kCases[] = {
    {"Default", 1, ""},
    {"RemapToCorvane", 2, ""},
    {"RestoreKeepsEveryIdentifier", 3, ""},
    {"RemapToRange", 4, "RangeStart=300000\r\nRangeEnd=309999\r\n"},
    {"RemapOffset", 5, "RangeStart=100000\r\nRangeEnd=199999\r\n"},
    // The package's highest identifiers land just below the seven digits' end.
    {"RemapOffsetNearTheTopOfTheRange", 5, "RangeStart=9970000\r\nRangeEnd=9999999\r\n"},
    // Question 20009 and the pictures above it would need an eighth digit.
    {"RemapOffsetPastTheTopIsRefused", 5, "RangeStart=9990000\r\nRangeEnd=9999999\r\n", Variant::Plain, true},
    {"RemapOffsetOntoTheCoursesOwnRowsIsRefused", 5, "RangeStart=1\r\nRangeEnd=999999\r\n", Variant::Plain, true},
    {"RemapByCourse", 6, ""},
    {"RemapFromId", 7, "RangeStart=500000\r\n"},
    {"PackageWithGaps", 1, "", Variant::Gaps},
    {"KeptIdentifierAlreadyHandedOut", 1, "", Variant::KeptAboveWindow},
    {"PublisherPictureTheDestinationHas", 1, "", Variant::PublisherPicture},
    {"PublisherPictureInARestore", 3, "", Variant::PublisherPicture},
};

INSTANTIATE_TEST_SUITE_P(Modes, ImportIntoContent, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace transfer_test
