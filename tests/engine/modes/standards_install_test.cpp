#include "engine/modes/standards_install.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "core/settings.h"
#include "core/ini_file.h"
#include "core/paths.h"
#include "core/strings.h"
#include "core/scripted_presenter.h"
#include "engine/course_fixture.h"
#include "engine/gradebook_fixture.h"

namespace fs = std::filesystem;
using gradebook_testing::AddRows;
using gradebook_testing::CopyBlank;
using gradebook_testing::FilesBelow;
using gradebook_testing::Row;
using gradebook_testing::TagProblems;
using testing_support::ReadFile;
using testing_support::WriteFile;

namespace {

const std::vector<std::string> kNodeFields{"tree_id", "node_id", "parent_id", "descript"};
const std::vector<std::string> kLinkFields{"tree_id", "node_id", "quest_id"};

Row Node(int tree, int node, int parent, const std::string& descript) {
  return {{"tree_id", std::to_string(tree)},
          {"node_id", std::to_string(node)},
          {"parent_id", std::to_string(parent)},
          {"descript", descript}};
}
Row Link(int tree, int node, int quest) {
  return {{"tree_id", std::to_string(tree)}, {"node_id", std::to_string(node)}, {"quest_id", std::to_string(quest)}};
}
std::string Text(const Row& row, const std::vector<std::string>& fields) {
  std::string text;
  for (const std::string& f : fields) text += (text.empty() ? "" : "|") + row.at(f);
  return text;
}

std::vector<std::string> Sorted(std::vector<std::string> rows) {
  std::sort(rows.begin(), rows.end());
  return rows;
}

// A state's tree as the publisher ships it: root node 1 named after the state, a
// few nodes below it, and links from them to publisher questions 1 to 5.
struct StateTree {
  std::vector<Row> nodes, links;
};
StateTree MakeState(int tree, const std::string& name) {
  StateTree s;
  s.nodes.push_back(Node(tree, 1, 0, name));
  for (int n = 2; n <= 6; ++n) s.nodes.push_back(Node(tree, n, n < 4 ? 1 : 2, name + " " + std::to_string(n)));
  for (int q = 1; q <= 5; ++q) s.links.push_back(Link(tree, 1 + q, q));
  return s;
}

class StandardsInstallTest : public package_testing::CourseTest {
 protected:
  void SetUp() override {
    CourseTest::SetUp();
    tolvarin::Settings().AppPath = made_.install.app;
    tolvarin::IniSetFile("Tolvarin", made_.install.app + "/Kestal.INI");
    texas_ = MakeState(5, "Texas");
    PutStandards(Source(), texas_.nodes, texas_.links);
  }

  std::string Source() const { return Scratch("state"); }
  // Blank standards tables holding these rows.
  void PutStandards(const std::string& folder, const std::vector<Row>& nodes, const std::vector<Row>& links) const {
    CopyBlank(made_.install.blank, "standard", folder);
    CopyBlank(made_.install.blank, "StanQues", folder);
    AddRows(folder + "/standard.dbf", nodes);
    AddRows(folder + "/StanQues.dbf", links);
  }
  std::vector<std::string> Nodes(const std::string& folder) const {
    return Sorted(gradebook_testing::Rows(folder + "/standard.dbf", kNodeFields));
  }
  std::vector<std::string> Links(const std::string& folder) const {
    return Sorted(gradebook_testing::Rows(folder + "/StanQues.dbf", kLinkFields));
  }
  // The course's rows as the course maker wrote them, less what the filter drops.
  template <typename Drop>
  std::vector<std::string> CourseNodes(Drop drop) const {
    std::vector<std::string> rows;
    for (const auto& n : made_.content.nodes)
      if (!drop(n.tree, n.node))
        rows.push_back(std::to_string(n.tree) + "|" + std::to_string(n.node) + "|" + std::to_string(n.parent) +
                       "|Standard " + std::to_string(n.tree) + "." + std::to_string(n.node));
    return rows;
  }
  template <typename Drop>
  std::vector<std::string> CourseLinks(Drop drop) const {
    std::vector<std::string> rows;
    for (const auto& l : made_.content.links)
      if (!drop(l.tree, l.node, l.questId))
        rows.push_back(std::to_string(l.tree) + "|" + std::to_string(l.node) + "|" + std::to_string(l.questId));
    return rows;
  }
  std::vector<std::string> BoxTexts() const {
    std::vector<std::string> texts;
    for (const auto& shown : presenter_->Shown()) texts.push_back(shown.box.text);
    return texts;
  }
  static std::string Question(const std::string& state) {
    return "Your installation already has state standards installed for " + state +
           ". If you choose to continue, these state standards will be removed. Are you sure you want to continue?";
  }

  StateTree texas_;
};

TEST_F(StandardsInstallTest, OnlyExactlyFalseSkipsTheQuestionAndCancelStopsTheWalk) {
  // The course holds trees 1 and 2 (root "Standard 2.1"); add Ohio (7), with a
  // teacher's node, and tree 9 without a root node.
  StateTree ohio = MakeState(7, "Ohio");
  ohio.nodes.push_back(Node(7, 20500, 1, "My Ohio node"));
  const std::vector<Row> rootless{Node(9, 2, 1, "No root"), Node(9, 3, 1, "No root either")};
  struct Case {
    const char* erase;  // nullptr: the key is absent
    std::vector<std::string> answers;
    std::vector<std::string> asked;
    bool result;
    int removed;
  };
  const std::vector<Case> cases{
      {nullptr, {"Continue", "Continue"}, {"Standard 2.1", "Ohio"}, true, 2},
      {"false", {"Continue", "Continue"}, {"Standard 2.1", "Ohio"}, true, 2},
      {"FALSE", {}, {}, true, 0},
      {"TRUE", {"Continue", "Cancel"}, {"Standard 2.1", "Ohio"}, false, 1},
      {"", {"Cancel"}, {"Standard 2.1"}, false, 0},
      {"", {"esc"}, {"Standard 2.1"}, false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.erase ? c.erase : "(absent)");
    const std::string folder = Scratch("check");
    fs::remove_all(folder);
    fs::create_directories(folder);
    for (const char* table : {"standard", "StanQues"})
      for (const char* ext : {".dbf", ".cdx"})
        fs::copy_file(Course(std::string(table) + ext), folder + "/" + table + ext);
    std::vector<Row> nodes = ohio.nodes;
    nodes.insert(nodes.end(), rootless.begin(), rootless.end());
    AddRows(folder + "/standard.dbf", nodes);
    AddRows(folder + "/StanQues.dbf", ohio.links);
    if (c.erase)
      tolvarin::IniWriteString("EraseOtherStates", c.erase);
    else
      tolvarin::IniWriteString("EraseOtherStates", "");
    for (const auto& answer : c.answers) presenter_->Push(answer);
    const size_t shownBefore = presenter_->Shown().size();

    tolvarin::StandardRecord dstNodes;
    tolvarin::StanQuesRecord dstLinks;
    tolvarin::OpenStandardTable(folder, "", dstNodes);
    tolvarin::OpenStanQuesTable(folder, dstLinks);
    ASSERT_NE(dstNodes.Data, 0);
    int removed = -1;
    EXPECT_EQ(tolvarin::CheckOtherStateStandards(dstNodes, dstLinks, 5, &removed), c.result);
    tolvarin::CloseTableRecord(dstNodes);
    tolvarin::CloseTableRecord(dstLinks);
    EXPECT_EQ(removed, c.removed);

    std::vector<tolvarin::ShownBox> asked(presenter_->Shown().begin() + static_cast<long>(shownBefore),
                                          presenter_->Shown().end());
    ASSERT_EQ(asked.size(), c.asked.size());
    for (size_t i = 0; i < asked.size(); ++i) {
      const tolvarin::BoxRequest& box = asked[i].box;
      EXPECT_EQ(box.kind, tolvarin::BoxKind::Facility);
      EXPECT_EQ(box.text, Question(c.asked[i]));
      EXPECT_EQ(box.title, "Install State Standards");
      EXPECT_EQ(box.icon, tolvarin::kIconStop);
      EXPECT_EQ(box.captions, (std::vector<std::string>{"Continue", "Cancel"}));
      EXPECT_EQ(box.defaultButton, 2);
      EXPECT_EQ(box.cancelButton, 2);
    }

    // A removed tree loses its publisher nodes and the links between publisher
    // nodes and questions; teachers' nodes, tree 1 and the rootless tree stay.
    const bool tree2Gone = c.removed >= 1, ohioGone = c.removed >= 2;
    std::vector<std::string> expected =
        CourseNodes([&](int tree, int node) { return tree2Gone && tree == 2 && node <= 18999; });
    for (const Row& n : nodes)
      if (!(ohioGone && n.at("tree_id") == "7" && std::stoi(n.at("node_id")) <= 18999)) expected.push_back(Text(n, kNodeFields));
    EXPECT_EQ(Nodes(folder), Sorted(expected));
    std::vector<std::string> links =
        CourseLinks([&](int tree, int node, int quest) { return tree2Gone && tree == 2 && node < 18999 && quest < 18999; });
    if (!ohioGone)
      for (const Row& l : ohio.links) links.push_back(Text(l, kLinkFields));
    EXPECT_EQ(Links(folder), Sorted(links));
  }
}

TEST_F(StandardsInstallTest, ATreeAlreadyInstalledAndTreeOneAskNothing) {
  // The course's tree 2 is the one being installed: nothing else to ask about.
  PutStandards(Source(), {Node(2, 1, 0, "State two"), Node(2, 2, 1, "State two, 2")}, {Link(2, 2, 3)});
  tolvarin::IniWriteString("EraseOtherStates", "TRUE");
  ASSERT_EQ(tolvarin::InstallStandardTreesFrom(Source(), Course()), 0);
  EXPECT_TRUE(presenter_->Shown().empty());
  std::vector<std::string> nodes = CourseNodes([](int tree, int node) { return tree == 2 && node <= 18999; });
  nodes.push_back("2|1|0|State two");
  nodes.push_back("2|2|1|State two, 2");
  EXPECT_EQ(Nodes(Course()), Sorted(nodes));
}

TEST_F(StandardsInstallTest, ReplacesThePublisherPartAfterContinueAndCopiesTheClassification) {
  WriteFile(Source() + "/Classification.INI", "[Tree]\r\nName=Texas\r\n");
  WriteFile(Course("classification.ini"), "[Tree]\r\nName=old\r\n");
  presenter_->Push("Continue");
  ASSERT_EQ(tolvarin::InstallStandardTreesFrom(Source(), Course()), 0);
  ASSERT_EQ(BoxTexts(), std::vector<std::string>{Question("Standard 2.1")});

  std::vector<std::string> nodes = CourseNodes([](int tree, int node) { return tree == 2 && node <= 18999; });
  for (const Row& n : texas_.nodes) nodes.push_back(Text(n, kNodeFields));
  EXPECT_EQ(Nodes(Course()), Sorted(nodes));
  std::vector<std::string> links =
      CourseLinks([](int tree, int node, int quest) { return tree == 2 && node < 18999 && quest < 18999; });
  for (const Row& l : texas_.links) links.push_back(Text(l, kLinkFields));
  EXPECT_EQ(Links(Course()), Sorted(links));
  EXPECT_EQ(TagProblems(Course("standard.dbf")), "");
  EXPECT_EQ(TagProblems(Course("StanQues.dbf")), "");
  EXPECT_EQ(ReadFile(Course("classification.ini")), "[Tree]\r\nName=Texas\r\n");
  // Nothing is left of the work: no staging folder, no second classification file.
  EXPECT_FALSE(fs::exists(Course(".tolvarin-swap")));
  EXPECT_FALSE(fs::exists(Course("Classification.INI")));

  // Installing the same trees again changes nothing.
  ASSERT_EQ(tolvarin::InstallStandardTreesFrom(Source(), Course()), 0);
  EXPECT_EQ(BoxTexts().size(), 1u);
  EXPECT_EQ(Nodes(Course()), Sorted(nodes));
  EXPECT_EQ(Links(Course()), Sorted(links));
}

TEST_F(StandardsInstallTest, CancelLeavesTheCourseFilesAsTheyWere) {
  WriteFile(Source() + "/classification.ini", "[Tree]\r\n");
  const std::vector<std::string> files = FilesBelow(Course());
  const std::string nodes = ReadFile(Course("standard.dbf")), links = ReadFile(Course("StanQues.dbf"));
  presenter_->Push("Cancel");
  EXPECT_NE(tolvarin::InstallStandardTreesFrom(Source(), Course()), 0);
  EXPECT_EQ(FilesBelow(Course()), files);
  EXPECT_EQ(ReadFile(Course("standard.dbf")), nodes);
  EXPECT_EQ(ReadFile(Course("StanQues.dbf")), links);
}

TEST_F(StandardsInstallTest, AnEmptyOrMissingDestinationReceivesTheSourceFiles) {
  for (const bool missing : {false, true}) {
    SCOPED_TRACE(missing ? "missing" : "empty");
    const std::string dest = Scratch(missing ? "missing" : "empty");
    fs::create_directories(dest);
    if (!missing) PutStandards(dest, {}, {});
    // Any other state in the source is copied too: an empty course has nothing to lose.
    AddRows(Source() + "/standard.dbf", {Node(8, 1, 0, "Maine")});
    ASSERT_EQ(tolvarin::InstallStandardTreesFrom(Source(), dest), 0);
    EXPECT_TRUE(presenter_->Shown().empty());
    // A table the course did not have takes the name the program gives it.
    std::vector<std::string> files = FilesBelow(dest);
    for (std::string& f : files) f = tolvarin::ToLower(f);
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files, (std::vector<std::string>{"standard.cdx", "standard.dbf", "stanques.cdx", "stanques.dbf"}));
    for (const char* file : {"standard.dbf", "standard.cdx", "StanQues.dbf", "StanQues.cdx"})
      EXPECT_TRUE(ReadFile(tolvarin::FindPath(dest + "/" + file)) == ReadFile(Source() + "/" + file)) << file;
    PutStandards(Source(), texas_.nodes, texas_.links);
  }
}

TEST_F(StandardsInstallTest, RefusesASourceWithoutTreesOrAMissingCourseAndChangesNothing) {
  const std::vector<std::string> files = FilesBelow(Course());
  const std::string nodes = ReadFile(Course("standard.dbf"));
  struct Case {
    std::string source, dest, message;
  };
  const std::string empty = Scratch("no-trees");
  PutStandards(empty, {}, {});
  const std::vector<Case> cases{
      {Scratch("nothing-here"), Course(), "\"" + Scratch("nothing-here") + "\" holds no state standards to install."},
      {empty, Course(), "\"" + empty + "\" holds no state standards to install."},
      {Source(), Scratch("no-course"), "The course folder \"" + Scratch("no-course") + "\" was not found."},
  };
  for (const Case& c : cases) {
    const size_t before = presenter_->Shown().size();
    EXPECT_EQ(tolvarin::InstallStandardTreesFrom(c.source, c.dest), 1) << c.source;
    ASSERT_EQ(presenter_->Shown().size(), before + 1);
    EXPECT_EQ(presenter_->Shown().back().box.text, c.message);
  }
  EXPECT_EQ(FilesBelow(Course()), files);
  EXPECT_EQ(ReadFile(Course("standard.dbf")), nodes);
  EXPECT_FALSE(fs::exists(Scratch("no-course")));
}

}  // namespace
