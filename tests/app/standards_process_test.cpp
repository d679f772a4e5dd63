// Standards installation (Mode INSTALLSTANDARDTREES) and the supplemental package
// (Mode CREATESUPPLEMENTALPACKAGE) through the real program, with scripted answers;
// and installations killed at any moment, which leave the course's standards tables
// whole, old or new, never a mix of rows.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <set>

#include "core/scripted_presenter.h"
#include "core/settings.h"
#include "course_maker.h"
#include "data/codebase.h"
#include "data/open_table.h"
#include "data/table_registry.h"
#include "engine/gradebook_fixture.h"
#include "host_run.h"
#include "spawned_run.h"
#include "platform/profile/profile.h"
#include "platform/xbase/tag_check.h"

namespace fs = std::filesystem;
using app_testing::HostRun;
using app_testing::RunResult;
using gradebook_testing::AddRows;
using gradebook_testing::CopyBlank;
using gradebook_testing::Row;
using testing_support::ReadFile;
using testing_support::WriteFile;

namespace {

Row Node(int tree, int node, int parent, const std::string& descript) {
  return {{"tree_id", std::to_string(tree)},
          {"node_id", std::to_string(node)},
          {"parent_id", std::to_string(parent)},
          {"descript", descript}};
}
Row Link(int tree, int node, int quest) {
  return {{"tree_id", std::to_string(tree)}, {"node_id", std::to_string(node)}, {"quest_id", std::to_string(quest)}};
}

// A state's tree: its root named after the state and nodes-1 nodes below it, each
// linked to a publisher question.
void AddState(const std::string& folder, int tree, const std::string& name, int nodes) {
  std::vector<Row> rows{Node(tree, 1, 0, name)}, links;
  for (int n = 2; n <= nodes; ++n) {
    rows.push_back(Node(tree, n, 1 + (n - 2) / 10, name + " " + std::to_string(n)));
    links.push_back(Link(tree, n, 1 + n % 40));
  }
  AddRows(folder + "/standard.dbf", rows);
  AddRows(folder + "/StanQues.dbf", links);
}

std::vector<std::string> Sorted(std::vector<std::string> rows) {
  std::sort(rows.begin(), rows.end());
  return rows;
}

std::string Question(const std::string& state) {
  return "Your installation already has state standards installed for " + state +
         ". If you choose to continue, these state standards will be removed. Are you sure you want to continue?";
}

class StandardsProcess : public ::testing::Test {
 protected:
  void SetUp() override {
    if (tolvarin::Engine().EngineHandle == 0) tolvarin::InitCodeBase();
    course_maker::CourseOptions options;
    options.questions = 80;
    made = course_maker::MakeCourse(host.Scratch() + "/inst", options);
    // The automatic repair of a table this process opens takes its blank copy from there.
    tolvarin::Paths().DatabasesRoot = made.install.databases;
    state = host.Scratch() + "/state";
    CopyBlank(made.install.blank, "standard", state);
    CopyBlank(made.install.blank, "StanQues", state);
    AddState(state, 5, "Texas", 12);
  }
  std::vector<std::string> Install(const std::string& dest) const {
    return {"AppPath:" + made.install.app, "Mode:INSTALLSTANDARDTREES", "CoursePath:" + made.install.course,
            "SrcPath:" + state, "DestPath:" + dest};
  }
  static std::vector<std::string> Nodes(const std::string& folder) {
    return Sorted(gradebook_testing::Rows(folder + "/standard.dbf", {"tree_id", "node_id", "parent_id", "descript"}));
  }
  static std::vector<std::string> Links(const std::string& folder) {
    return Sorted(gradebook_testing::Rows(folder + "/StanQues.dbf", {"tree_id", "node_id", "quest_id"}));
  }
  static bool HasTree(const std::vector<std::string>& nodes, int tree, int node) {
    const std::string prefix = std::to_string(tree) + "|" + std::to_string(node) + "|";
    return std::any_of(nodes.begin(), nodes.end(), [&](const std::string& n) { return n.rfind(prefix, 0) == 0; });
  }

  HostRun host;
  course_maker::MadeCourse made;
  std::string state;
};

TEST_F(StandardsProcess, AsksAboutOtherStatesThenInstallsTheTreesAndTheClassification) {
  WriteFile(state + "/classification.ini", "[Tree]\r\nName=Texas\r\n");
  const RunResult run = host.Run(Install(made.install.course), {"Continue"});
  ASSERT_EQ(run.status, 0) << run.stderrText;
  ASSERT_EQ(run.boxes.size(), 1u);
  EXPECT_EQ(run.boxes[0].kind, "Facility");
  EXPECT_EQ(run.boxes[0].box.title, "Install State Standards");
  EXPECT_EQ(run.boxes[0].box.text, Question("Standard 2.1"));
  const std::vector<std::string> nodes = Nodes(made.install.course);
  EXPECT_TRUE(HasTree(nodes, 5, 1) && HasTree(nodes, 5, 12));
  EXPECT_TRUE(HasTree(nodes, 1, 1));       // tree 1 is never offered
  EXPECT_FALSE(HasTree(nodes, 2, 1));      // the publisher's part of tree 2 went
  EXPECT_TRUE(HasTree(nodes, 2, 20003));   // a teacher's node of tree 2 stays
  EXPECT_EQ(ReadFile(made.install.course + "/classification.ini"), "[Tree]\r\nName=Texas\r\n");
}

TEST_F(StandardsProcess, EraseOtherStatesFalseAsksNothingAndKeepsTheOtherStates) {
  ASSERT_TRUE(profile::WriteString(made.install.app + "/Kestal.INI", "Tolvarin", "EraseOtherStates", "FALSE"));
  // Without CoursePath (the host's usual line) the course is resolved through the
  // catalogue's own initialisation files, which must not hide the host's key.
  std::vector<std::string> withoutCourse = Install(made.install.course);
  withoutCourse.erase(withoutCourse.begin() + 2);
  for (const auto& args : {Install(made.install.course), withoutCourse}) {
    SCOPED_TRACE(args.size());
    const RunResult run = host.Run(args);
    ASSERT_EQ(run.status, 0) << run.stderrText;
    EXPECT_TRUE(run.boxes.empty()) << run.boxes[0].box.text;
    const std::vector<std::string> nodes = Nodes(made.install.course);
    EXPECT_TRUE(HasTree(nodes, 5, 1) && HasTree(nodes, 2, 1));
  }
}

TEST_F(StandardsProcess, MissingPathsEndTheRunWithTheirMessage) {
  const std::string nodes = ReadFile(made.install.course + "/standard.dbf");
  struct Case {
    std::vector<std::string> args;
    std::string text;
  };
  const std::string app = "AppPath:" + made.install.app, course = "CoursePath:" + made.install.course;
  const Case cases[] = {
      {{app, "Mode:INSTALLSTANDARDTREES", course, "DestPath:" + made.install.course},
       "Invalid SrcPath parameter.  Please call 1-888-CORVANE for more information."},
      {{app, "Mode:INSTALLSTANDARDTREES", course, "SrcPath:" + state},
       "Invalid DestPath parameter.  Please call 1-888-CORVANE for more information."},
  };
  for (const Case& c : cases) {
    const RunResult run = host.Run(c.args);
    EXPECT_NE(run.status, 0);
    ASSERT_EQ(run.boxes.size(), 1u);
    EXPECT_EQ(run.boxes[0].kind, "Facility");
    EXPECT_EQ(run.boxes[0].box.text, c.text);
    EXPECT_EQ(run.boxes[0].box.icon, 16);
  }
  EXPECT_EQ(ReadFile(made.install.course + "/standard.dbf"), nodes);
}

TEST_F(StandardsProcess, SupplementalPackageStagesTheRangeAndTheExtraQuestions) {
  const RunResult run = host.Run({"AppPath:" + made.install.app, "Mode:CREATESUPPLEMENTALPACKAGE",
                                  "CoursePath:" + made.install.course, "IDStart:5", "IDEnd:9",
                                  "ExtraIDs:20002,x,0,20004"});
  ASSERT_EQ(run.status, 0) << run.stderrText;
  EXPECT_TRUE(run.boxes.empty());
  const std::string staging = host.Temp() + "/cortemp";
  std::set<int> questions;
  for (const std::string& id : gradebook_testing::Rows(staging + "/quests.dbf", {"quest_id"}))
    questions.insert(std::stoi(id));
  EXPECT_EQ(questions, (std::set<int>{5, 6, 7, 8, 9, 20002, 20004}));
  // The course keeps every row: a package is a copy.
  EXPECT_EQ(gradebook_testing::Rows(made.install.course + "/quests.dbf", {"quest_id"}).size(),
            made.content.questions.size());
}

TEST_F(StandardsProcess, AKilledInstallationLeavesTheOldTablesOrTheNewOnesAndTheNextRunCompletesIt) {
  // Large trees, so that kills land inside the work: Ohio in the course, Texas to install.
  const std::string original = host.Scratch() + "/original";
  CopyBlank(made.install.blank, "standard", state);
  CopyBlank(made.install.blank, "StanQues", state);
  AddState(state, 5, "Texas", 1000);
  for (const char* file : {"standard.dbf", "standard.cdx", "StanQues.dbf", "StanQues.cdx"}) {
    fs::create_directories(original);
    fs::copy_file(made.install.course + "/" + file, original + "/" + file);
  }
  AddState(original, 6, "Ohio", 1000);
  const auto reset = [&](const std::string& folder) {
    fs::remove_all(folder);
    fs::create_directories(folder);
    for (const auto& e : fs::directory_iterator(original)) fs::copy_file(e.path(), folder + "/" + e.path().filename().string());
  };
  const std::vector<std::string> nodesBefore = Nodes(original), linksBefore = Links(original);

  // The killed runs answer from a script too, with the temporary folder of HostRun's runs.
  const std::string answers = host.Scratch() + "/answers.txt";
  WriteFile(answers, "Continue\nContinue\n");
  const std::string transcript = host.Scratch() + "/transcript.txt";
  fs::create_directories(host.Scratch() + "/tmp");
  const std::vector<std::string> environment{std::string(tolvarin::kAnswersVariable) + "=" + answers,
                                             std::string(tolvarin::kTranscriptVariable) + "=" + transcript,
                                             "TMPDIR=" + host.Scratch() + "/tmp"};
  const std::string dest = host.Scratch() + "/dest";
  const std::string staging = dest + "/.tolvarin-swap";
  using Clock = std::chrono::steady_clock;

  // The whole run once, for the result, its length and how long it goes on once it
  // stages the new tables beside the course's.
  reset(dest);
  const Clock::time_point start = Clock::now();
  Clock::time_point staged{};
  const app_testing::Ending whole = app_testing::RunUntil(HostRun::Program(), Install(dest), [&] {
    if (staged == Clock::time_point{} && fs::exists(staging)) staged = Clock::now();
    return false;
  }, environment);
  const Clock::time_point end = Clock::now();
  ASSERT_EQ(whole.status, 0) << ReadFile(transcript);
  const auto length = std::chrono::duration_cast<std::chrono::microseconds>(end - start);
  const auto tail = staged == Clock::time_point{} ? std::chrono::microseconds(0)
                                                  : std::chrono::duration_cast<std::chrono::microseconds>(end - staged);
  const std::vector<std::string> nodesAfter = Nodes(dest), linksAfter = Links(dest);
  ASSERT_NE(nodesAfter, nodesBefore);
  ASSERT_NE(linksAfter, linksBefore);

  // Kills spread over the whole run; then over what follows the staging of the new
  // tables beside the course's; then as soon as the staged tables are marked complete.
  constexpr int kSteps = 5;
  int killed = 0;
  int outcomes[4] = {};  // by (nodes new, links new)
  for (int step = 1; step <= kSteps; ++step) {
    SCOPED_TRACE(step);
    reset(dest);
    std::string trigger;
    std::chrono::microseconds delay{};
    if (step <= 2) {
      delay = length * step / 3;
    } else if (step <= 4) {
      trigger = staging;
      delay = tail * (step - 2) / 3;
    } else {
      trigger = staging + "/standard.ready";
    }
    Clock::time_point from = trigger.empty() ? Clock::now() : Clock::time_point{};
    const app_testing::Ending ending = app_testing::RunUntil(HostRun::Program(), Install(dest), [&] {
      const auto now = Clock::now();
      if (from == Clock::time_point{} && fs::exists(trigger)) from = now;
      return from != Clock::time_point{} && now - from >= delay;
    }, environment);
    if (!ending.killed) continue;
    ++killed;
    for (const char* table : {"standard", "StanQues"}) {
      xbase::Data4 data = tolvarin::OpenTable(dest + "/" + table + ".dbf", 0, false, true);
      ASSERT_NE(data, 0) << table << ": " << ::testing::PrintToString(gradebook_testing::FilesBelow(dest));
      for (const auto& tag : xbase::detail::CheckTags(data))
        EXPECT_TRUE(tag.Problems().empty()) << table << " " << tag.Line();
      tolvarin::CloseTable(data);
    }
    const std::vector<std::string> nodes = Nodes(dest), links = Links(dest);
    EXPECT_TRUE(nodes == nodesBefore || nodes == nodesAfter);
    EXPECT_TRUE(links == linksBefore || links == linksAfter);
    ++outcomes[(nodes == nodesAfter ? 2 : 0) + (links == linksAfter ? 1 : 0)];

    // The next installation completes what the killed one began.
    const RunResult again = host.Run(Install(dest), {"Continue", "Continue"});
    ASSERT_EQ(again.status, 0) << again.stderrText;
    EXPECT_EQ(Nodes(dest), nodesAfter);
    EXPECT_EQ(Links(dest), linksAfter);
    EXPECT_FALSE(fs::exists(staging));
  }
  std::printf("%d of %d installations were killed before they ended (a whole run: %lld us, from the staging on: %lld "
              "us): %d left both tables old, %d the new nodes with the old links, %d both new\n",
              killed, kSteps, static_cast<long long>(length.count()), static_cast<long long>(tail.count()),
              outcomes[0], outcomes[2], outcomes[3]);
}

}  // namespace
