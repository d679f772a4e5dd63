// The database sets, the table model and the identifier windows.
#include <gtest/gtest.h>

#include <filesystem>

#include "core/settings.h"
#include "engine/transfer/database_sets.h"
#include "engine/transfer/id_windows.h"
#include "engine/transfer/table_mapping.h"
#include "transfer_fixture.h"

namespace transfer_test {
namespace {

using namespace tolvarin;

struct OpeningCase {
  bool test, gradebook, interactive;
  long mode, importMode;
  bool srcUsers, destUsers;
};

class DatabaseSetTest : public TransferTest {};

TEST_F(DatabaseSetTest, EachSetOpensTheTablesItsRunNeeds) {
  const OpeningCase cases[] = {
      {false, false, false, 0, 1, false, false},  // no sibling programs, unattended
      {true, false, true, 0, 1, true, true},      // interactive: users on both sides
      {true, true, true, 0, 6, true, false},      // migration: none in DEST
      {false, true, false, 0, 1, false, false},
      {true, true, true, 3, 1, false, false},     // users only in user-content runs
  };
  const auto& made = Shared();
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.test << c.gradebook << c.interactive << c.mode << c.importMode);
    Settings().IncludeTestContent = c.test;
    Settings().IncludeGradebookContent = c.gradebook;
    Settings().Interactive = c.interactive;
    Settings().Mode = c.mode;
    Settings().ImportMode = c.importMode;
    UseCourse(made.install);
    OpenSource(made.install.course);
    OpenDestination(made.install.course);
    for (DatabaseSet* set : {&Src(), &Dest()}) {
      EXPECT_EQ(set->Exams.Data != 0, c.test);
      EXPECT_EQ(set->ExamQues.Data != 0, c.test);
      for (auto data : {set->Sessions.Data, set->SesQuests.Data, set->SesResults.Data, set->Templates.Data,
                        set->Classes.Data, set->Students.Data})
        EXPECT_EQ(data != 0, c.gradebook);
      for (auto data : {set->Attributes.Data, set->CharAttributes.Data, set->EnumAttributes.Data, set->EnumValues.Data,
                        set->MemoAttributes.Data, set->PrintOpt.Data, set->Quests.Data, set->QuesType.Data,
                        set->Descript.Data, set->Standard.Data, set->StanQues.Data})
        EXPECT_NE(data, 0);
    }
    EXPECT_EQ(Src().Users.Data != 0, c.srcUsers);
    EXPECT_EQ(Dest().Users.Data != 0, c.destUsers);
    UninitSrc();
    UninitDest();
    UninitSrc();  // twice is harmless
    UninitDest();
    EXPECT_EQ(Src().Quests.Data, 0);
    EXPECT_EQ(Dest().Quests.Data, 0);
  }
}

TEST_F(DatabaseSetTest, ReferencesKeepBothHalvesWhicheverSideOpensFirst) {
  const auto& made = Shared();
  UseCourse(made.install);
  OpenDestination(made.install.course);
  const auto destFields = Mapping(1).References;
  ASSERT_EQ(destFields.size(), 4u);
  OpenSource(made.install.course);
  for (std::int32_t t : {1, 5, 6, 8, 10, 11, 14}) {
    const auto& m = Mapping(t);
    ASSERT_FALSE(m.References.empty()) << t;
    for (const auto& r : m.References) {
      EXPECT_NE(r.SrcField, 0) << t;
      EXPECT_NE(r.DestField, 0) << t;
    }
  }
  EXPECT_EQ(Mapping(1).References[3].RefTableNo, 15);
  EXPECT_EQ(Mapping(1).References[3].DestField, destFields[3].DestField);

  // A second source build keeps the destination fields and renews the relations.
  Mapping(5).Children.clear();
  InitSrcTableDefs();
  EXPECT_EQ(Mapping(1).References[0].DestField, destFields[0].DestField);
  ASSERT_EQ(Mapping(5).Children.size(), 1u);
  EXPECT_EQ(Mapping(5).Children[0].ChildTableNo, 6);
  ASSERT_EQ(Mapping(8).Children.size(), 1u);
  EXPECT_EQ(Mapping(8).Children[0].ChildTableNo, 9);
  EXPECT_FALSE(Mapping(9).Enabled);
  EXPECT_NE(Mapping(9).Src.Data, 0);
  for (std::int32_t t : {3, 4, 12}) EXPECT_FALSE(Mapping(t).Enabled);
  EXPECT_EQ(Mapping(13).TableName, "TEMPLATES");
  EXPECT_TRUE(Mapping(13).LogRows);
  EXPECT_FALSE(Mapping(2).LogRows);
}

TEST_F(DatabaseSetTest, TableMappingSpansTheSourceIdentifiersAndEmptyTablesHaveNone) {
  const auto& made = Shared();
  UseCourse(made.install);
  OpenSource(made.install.course);
  OpenDestination(made.install.course);
  IdMap map;
  Mapping(1).FirstNewID = 24242;
  EXPECT_EQ(InitTableMapping(1, map), 24242);
  EXPECT_EQ(map.low(), 1);
  EXPECT_EQ(map.high(), made.content.questions.back().id);
  EXPECT_EQ(InitTableMapping(11, map), Mapping(11).FirstNewID);
  EXPECT_FALSE(map.Empty());

  const auto empty = Fresh({.seed = 3, .questions = 20});
  UninitSrc();
  OpenSource(empty.install.area + "/../../Blank");
  EXPECT_EQ(InitTableMapping(1, map), Mapping(1).FirstNewID);
  EXPECT_TRUE(map.Empty());
  EXPECT_EQ(map.Get(5), 0);
}

// Lookups that tell which was asked: first used a+1, next free a+2, the table's own key 777.
WindowLookups Probes() {
  return {[](std::int32_t a, std::int32_t) { return a + 1; }, [](std::int32_t a, std::int32_t) { return a + 2; },
          [] { return 777; }};
}

struct WindowCase {
  std::int32_t table;
  long mode;
  int office;
  std::int32_t newExam;
  IdWindow expected;
};

TEST(IdWindows, EveryTableInEveryMode) {
  constexpr std::int32_t S = 40000, E = 49999;  // RangeStart, RangeEnd
  const WindowCase cases[] = {
      // questions and descriptions
      {1, 1, 0, 0, {2, 29999, 777, 999999}},
      {2, 1, 0, 0, {2, 29999, 777, 999999}},
      {1, 2, 0, 0, {2, 99999, 3, 19999}},  // first new below 18999, may run to 19999
      {1, 3, 0, 0, {2, 999999, 1, 999999}},
      {1, 4, 0, 0, {1, 999999, S + 2, E}},
      {2, 5, 0, 0, {1, 999999, S, E}},
      {1, 6, 0, 0, {1, 9999999, 9999999, -5}},  // LastNewID keeps its value
      {1, 7, 0, 0, {2, 999999, S, 999999}},     // questions start exactly at RangeStart
      {2, 7, 0, 0, {1, 999999, S + 2, 999999}}, // descriptions at the next free one
      // exams
      {5, 1, 0, 0, {2, 999999, 777, 999999}},
      {5, 5, 0, 0, {2, 999999, 777, 999999}},
      {5, 1, 1, 0, {2, 999999, 3, 999999}},
      {5, 1, 1, 555, {2, 999999, 555, 555}},
      {5, 5, 1, 0, {2, 999999, S, S}},
      {5, 3, 1, 0, {2, 999999, 1, 999999}},
      // exam questions
      {6, 1, 0, 0, {20001, 999999, 777, 999999}},
      {6, 5, 1, 0, {2, 999999, 3, 999999}},
      // classes ignore the mode
      {10, 5, 0, 0, {2, 99999, 777, 99999}},
      {10, 3, 1, 0, {2, 99999, 777, 99999}},
      // the five-digit tables
      {7, 1, 0, 0, {2, 99999, 777, 99999}},
      {8, 5, 0, 0, {2, 99999, S, S}},
      {11, 5, 1, 0, {2, 99999, S, S}},
      {13, 3, 0, 0, {2, 99999, 777, 99999}},
      // printing options, question types and the numbers without a table
      {14, 1, 0, 0, {20001, 99999, 777, 99999}},
      {15, 5, 0, 0, {20001, 99999, S, S}},
      {12, 2, 0, 0, {20001, 99999, 777, 99999}},
  };
  for (const auto& c : cases) {
    RemapSettings s{c.mode, c.office, S, E, c.newExam};
    const IdWindow w = ComputeIdWindow(c.table, s, Probes(), {0, 0, 0, -5});
    EXPECT_EQ(w.SrcFirstID, c.expected.SrcFirstID) << c.table << " mode " << c.mode << " office " << c.office;
    EXPECT_EQ(w.SrcLastID, c.expected.SrcLastID) << c.table << " mode " << c.mode;
    EXPECT_EQ(w.FirstNewID, c.expected.FirstNewID) << c.table << " mode " << c.mode << " office " << c.office;
    EXPECT_EQ(w.LastNewID, c.expected.LastNewID) << c.table << " mode " << c.mode << " office " << c.office;
  }
}

class RemapSettingsTest : public TransferTest {
 protected:
  void Host(const std::string& lines) {
    std::filesystem::create_directories(temp_.path() / "Host");
    Settings().AppPath = (temp_.path() / "Host").string();
    testing_support::WriteFile(temp_.path() / "Host/Kestal.INI", "[Tolvarin]\r\n" + lines);
  }
};

TEST_F(RemapSettingsTest, ModesThatNeedARangeRefuseAMissingOrBrokenOne) {
  struct Case {
    long mode;
    std::string lines;
    bool ok;
  };
  const Case cases[] = {
      {1, "", true},
      {3, "RangeStart=abc\r\n", true},
      {4, "RangeStart=30000\r\nRangeEnd=39999\r\n", true},
      {4, "RangeStart=30000\r\n", false},
      {4, "RangeStart=30000\r\nRangeEnd=2x\r\n", false},
      {5, "RangeStart=\r\nRangeEnd=39999\r\n", false},
      {5, "RangeStart=50000\r\nRangeEnd=39999\r\n", false},
      {7, "RangeStart=30000\r\n", true},
      {7, "RangeStart=0\r\n", false},
      {7, "", false},
  };
  for (const auto& c : cases) {
    Host(c.lines);
    Settings().ImportMode = c.mode;
    EXPECT_EQ(ReadRemapSettings().has_value(), c.ok) << c.mode << " " << c.lines;
  }
  Settings().ImportMode = 1;
  for (const char* exam : {"NewExamID=\r\n", "NewExamID=0\r\n", "NewExamID=-3\r\n", "NewExamID=x1\r\n"}) {
    Host(std::string("RangeStart=1\r\nRangeEnd=2\r\n") + exam);
    ASSERT_TRUE(ReadRemapSettings());
    EXPECT_EQ(ReadRemapSettings()->NewExamID, 0) << exam;
  }
  Host("NewExamID= 20500 \r\n");
  ASSERT_TRUE(ReadRemapSettings());
  EXPECT_EQ(ReadRemapSettings()->NewExamID, 20500);
}

TEST_F(RemapSettingsTest, OpeningASourceWithoutTheRangeItsModeNeedsEndsTheRun) {
  const auto& made = Shared();
  EXPECT_EXIT(
      {
        UseCourse(made.install);
        Settings().AppPath = temp_.str();  // no Kestal.INI: no range
        Settings().ImportMode = 4;
        OpenSource(made.install.course);
        std::exit(0);
      },
      testing::ExitedWithCode(3), "");
}

}  // namespace
}  // namespace transfer_test
