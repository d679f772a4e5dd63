#include "data/database_helper.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "core/terminate.h"
#include "data/codebase.h"
#include "data/record_ops.h"
#include "data/table_registry.h"
#include "support/test_support.h"

namespace tolvarin {
namespace {

// items.dbf: five rows in two groups.
//   rec  item_id  grp  name    num  flag  note
//   1    0000001  A    one     10   T     "first note"
//   2    0000002  B    two     20   F
//   3    0000003  A    three   30   F
//   4    0000004  B    four    40   T
//   5    0000005  A    five    50   F
class ItemsTable : public ::testing::Test {
 protected:
  void SetUp() override {
    if (Engine().EngineHandle == 0) InitCodeBase();
    path_ = (dir_.path() / "items.dbf").string();
    xbase::Data4 data = xbase::d4create(Engine().EngineHandle, path_,
                                        {{"ITEM_ID", 'C', 7, 0, 0},
                                         {"GRP", 'C', 7, 0, 0},
                                         {"NAME", 'C', 20, 0, 0},
                                         {"NUM", 'N', 8, 0, 0},
                                         {"FLAG", 'L', 1, 0, 0},
                                         {"NOTE", 'M', 10, 0, 0}},
                                        {{"ITEM_ID", "item_id", "", xbase::kUniqueNone, 0},
                                         {"GRP", "grp", "", xbase::kUniqueNone, 0},
                                         {"NAME", "name", "", xbase::kUniqueNone, 0}});
    ASSERT_NE(data, 0);
    const struct {
      const char *id, *grp, *name;
      long num;
      const char *flag, *note;
    } rows[] = {{"0000001", "A", "one", 10, "T", "first note"},
                {"0000002", "B", "two", 20, "F", ""},
                {"0000003", "A", "three", 30, "F", ""},
                {"0000004", "B", "four", 40, "T", ""},
                {"0000005", "A", "five", 50, "F", ""}};
    for (const auto& r : rows) {
      xbase::d4appendStart(data);
      xbase::d4blank(data);
      xbase::f4assign(xbase::d4field(data, "item_id"), r.id);
      xbase::f4assign(xbase::d4field(data, "grp"), r.grp);
      xbase::f4assign(xbase::d4field(data, "name"), r.name);
      xbase::f4assignLong(xbase::d4field(data, "num"), r.num);
      xbase::f4assign(xbase::d4field(data, "flag"), r.flag);
      xbase::f4memoAssign(xbase::d4field(data, "note"), r.note);
      ASSERT_EQ(xbase::d4append(data), 0);
    }
    xbase::d4close(data);

    ref_ = GetTableRef("items", folder());
    ASSERT_NE(ref_.Data, 0);
    ref_.KeyField = xbase::d4field(ref_.Data, "item_id");
    grpTag_ = xbase::d4tag(ref_.Data, "grp");
    nameTag_ = xbase::d4tag(ref_.Data, "name");
    ASSERT_NE(grpTag_, 0);
  }

  void TearDown() override {
    EXPECT_EQ(DbHelper().FrameCount(), 0) << "a walk was left open";
    while (DbHelper().FrameCount() > 0) DbHelper().EndSeek();
    CloseTable(ref_.Data);
  }

  std::string folder() const { return dir_.str(); }
  std::string Name() { return DbHelper().FieldValStr("name"); }

  // Names of every row a walk visits.
  std::vector<std::string> Walk(xbase::Tag4 tag, const std::string& key) {
    std::vector<std::string> names;
    while (DbHelper().SeekNext(ref_, tag, key)) names.push_back(Name());
    return names;
  }

  testing_support::TempDir dir_;
  std::string path_;
  TableRef ref_;
  xbase::Tag4 grpTag_ = 0, nameTag_ = 0;
};

using Names = std::vector<std::string>;

TEST_F(ItemsTable, WalkWithoutKeyVisitsEveryRowInTagOrderOrRecordOrder) {
  EXPECT_EQ(Walk(nameTag_, ""), (Names{"five", "four", "one", "three", "two"}));
  EXPECT_EQ(Walk(0, ""), (Names{"one", "two", "three", "four", "five"}));
  EXPECT_EQ(Walk(grpTag_, "A"), (Names{"one", "three", "five"}));
  EXPECT_EQ(Walk(grpTag_, "AB"), Names{});
  EXPECT_EQ(Engine().LastEngineCode, xbase::kAfter);
  EXPECT_EQ(Walk(grpTag_, "C"), Names{});
  EXPECT_EQ(Engine().LastEngineCode, xbase::kEof);
}

TEST_F(ItemsTable, NestedWalksOverTheSameTableKeepTheirPositions) {
  // Outer over group A, inner over group B of the same table and tag, then an inner
  // walk on another tag of the same table.
  std::vector<std::string> seen;
  while (DbHelper().SeekNext(ref_, grpTag_, "A")) {
    seen.push_back(Name());
    while (DbHelper().SeekNext(ref_, grpTag_, "B")) seen.push_back("  " + Name());
    while (DbHelper().SeekNext(ref_, nameTag_, "two")) seen.push_back("  =" + Name());
    EXPECT_EQ(DbHelper().FrameCount(), 1);
  }
  EXPECT_EQ(seen, (Names{"one", "  two", "  four", "  =two", "three", "  two", "  four", "  =two", "five", "  two",
                         "  four", "  =two"}));
}

TEST_F(ItemsTable, InnerWalkLeftEarlyWithEndSeekLetsTheOuterWalkResume) {
  std::vector<std::string> outer;
  while (DbHelper().SeekNext(ref_, 0, "")) {
    outer.push_back(Name());
    ASSERT_TRUE(DbHelper().SeekNext(ref_, grpTag_, "B"));
    DbHelper().EndSeek();
  }
  EXPECT_EQ(outer, (Names{"one", "two", "three", "four", "five"}));
}

TEST_F(ItemsTable, RecordPositionAndRestorePositionBracketAnInnerMove) {
  ASSERT_TRUE(DbHelper().SeekNext(ref_, grpTag_, "A"));
  ASSERT_TRUE(DbHelper().SeekNext(ref_, grpTag_, "A"));
  EXPECT_EQ(Name(), "three");
  DbHelper().RecordPosition();
  xbase::d4go(ref_.Data, 5);
  DbHelper().RestorePosition();
  EXPECT_EQ(xbase::d4recNo(ref_.Data), 3);
  EXPECT_EQ(Walk(grpTag_, "A"), Names{"five"});

  // A walk taken back to a remembered row goes on from there.
  ASSERT_TRUE(DbHelper().SeekNext(ref_, 0, ""));
  DbHelper().RecordPosition();
  ASSERT_TRUE(DbHelper().SeekNext(ref_, 0, ""));
  ASSERT_TRUE(DbHelper().SeekNext(ref_, 0, ""));
  DbHelper().RestorePosition();
  EXPECT_EQ(Name(), "one");
  EXPECT_EQ(Walk(0, ""), (Names{"two", "three", "four", "five"}));
}

TEST_F(ItemsTable, SeekFirstLeavesItsRowCurrentUntilTheNextWalkingCall) {
  ASSERT_TRUE(DbHelper().SeekFirst(ref_, "name", "four"));
  EXPECT_TRUE(DbHelper().Pending());
  EXPECT_EQ(Name(), "four");
  EXPECT_EQ(DbHelper().FieldValLng("num"), 40);
  EXPECT_EQ(DbHelper().CurrentID(), "0000004");
  // The next walk on another key drops the one-shot frame first.
  ASSERT_TRUE(DbHelper().SeekNext(ref_, grpTag_, "A"));
  EXPECT_EQ(DbHelper().FrameCount(), 1);
  EXPECT_FALSE(DbHelper().Pending());
  EXPECT_EQ(Name(), "one");
  DbHelper().EndSeek();

  EXPECT_FALSE(DbHelper().SeekFirst(ref_, "name", "zzz"));
  EXPECT_EQ(DbHelper().FrameCount(), 0);
  EXPECT_EQ(DbHelper().CurrentID(), "");
}

TEST_F(ItemsTable, SeekFirstInsideAWalkOfTheSameKeyLeavesThatWalkAlone) {
  std::vector<std::string> seen;
  while (DbHelper().SeekNext(ref_, grpTag_, "A")) {
    seen.push_back(Name());
    ASSERT_TRUE(DbHelper().SeekFirst(ref_, "grp", "A"));
    EXPECT_EQ(DbHelper().FrameCount(), 2);
  }
  EXPECT_EQ(seen, (Names{"one", "three", "five"}));
}

TEST_F(ItemsTable, EndSeekOfAOneShotFrameKeepsTheWalkBeneath) {
  std::vector<std::string> seen;
  while (DbHelper().SeekNext(ref_, grpTag_, "B")) {
    seen.push_back(Name());
    ASSERT_TRUE(DbHelper().SeekFirst(ref_, "name", "one"));
    DbHelper().EndSeek();
  }
  EXPECT_EQ(seen, (Names{"two", "four"}));
}

TEST_F(ItemsTable, SeekFieldValueFindsTheTrimmedTextInRecordOrder) {
  ASSERT_TRUE(DbHelper().SeekFieldValue(ref_, "name", "three"));
  EXPECT_TRUE(DbHelper().Pending());
  EXPECT_EQ(DbHelper().FieldValLng("num"), 30);
  EXPECT_EQ(xbase::d4recNo(ref_.Data), 3);
  // The next walking call drops it.
  EXPECT_EQ(Walk(grpTag_, "B"), (Names{"two", "four"}));

  EXPECT_FALSE(DbHelper().SeekFieldValue(ref_, "name", "thr"));
  EXPECT_EQ(DbHelper().FrameCount(), 0);
  EXPECT_FALSE(DbHelper().Pending());
}

TEST_F(ItemsTable, SeekIDsTakesTheLowerBoundGiven) {
  LongArray ids = DbHelper().SeekIDs(ref_, "grp", "A", "item_id", 1);
  ASSERT_TRUE(ids.Dimensioned());
  EXPECT_EQ(ids.LowerBound(), 1);
  EXPECT_EQ(ids.UpperBound(), 3);
  EXPECT_EQ(ids[1], 1);
  EXPECT_EQ(ids[2], 3);
  EXPECT_EQ(ids[3], 5);

  ids = DbHelper().SeekIDs(ref_, "grp", "B", "num");
  EXPECT_EQ(ids.LowerBound(), 0);
  EXPECT_EQ(ids.UpperBound(), 1);
  EXPECT_EQ(ids[0], 20);
  EXPECT_EQ(ids[1], 40);

  EXPECT_FALSE(DbHelper().SeekIDs(ref_, "grp", "Z", "item_id", 1).Dimensioned());
  // No tag walks record order.
  ids = DbHelper().SeekIDs(ref_, "", "", "num", 1);
  EXPECT_EQ(ids.UpperBound(), 5);
  EXPECT_EQ(ids[5], 50);
}

TEST_F(ItemsTable, SeekValuesGivesFullWidthTextsInWalkOrder) {
  const std::vector<std::string> values = DbHelper().SeekValues(ref_, "name", "", "grp");
  EXPECT_EQ(values, (std::vector<std::string>{"A      ", "B      ", "A      ", "A      ", "B      "}));
  EXPECT_EQ(DbHelper().SeekValues(ref_, "grp", "B", "name").front(), "two                 ");
}

TEST_F(ItemsTable, FieldReadsByNameOnTheWalkOrOnANamedTable) {
  ASSERT_TRUE(DbHelper().SeekFirst(ref_, "item_id", "0000001"));
  EXPECT_EQ(DbHelper().FieldValAsString("name"), "one                 ");
  EXPECT_EQ(DbHelper().FieldValAsString("num"), "10");
  EXPECT_EQ(DbHelper().FieldValAsString("note"), "first note");
  EXPECT_EQ(DbHelper().FieldValAsString("flag"), "");
  EXPECT_EQ(DbHelper().FieldValMemoStr("note"), "first note");
  EXPECT_TRUE(DbHelper().FieldValB("flag"));
  // The same row through the table's name and folder.
  EXPECT_EQ(DbHelper().FieldValStr("name", "items", folder()), "one");
  EXPECT_EQ(DbHelper().FieldValLng("item_id", "items", folder()), 1);
  DbHelper().EndSeek();
}

TEST_F(ItemsTable, SettersWriteChangedValues) {
  ASSERT_TRUE(DbHelper().SeekFirst(ref_, "item_id", "0000002"));
  DbHelper().SetFieldStr("name", "items", "deux", folder());
  DbHelper().SetFieldLng("num", "", 22);
  DbHelper().SetFieldValB("flag", "", true);
  DbHelper().SetFieldMemoStr("note", "", "second note");
  DbHelper().SetFieldChar("grp", "", 'C');
  EXPECT_EQ(xbase::f4str(xbase::d4field(ref_.Data, "flag")), "T");
  DbHelper().EndSeek();

  // Written back and seen by a fresh handle on the file.
  ASSERT_EQ(xbase::d4flush(ref_.Data), 0);
  const xbase::Data4 other = xbase::d4open(Engine().EngineHandle, path_);
  ASSERT_NE(other, 0);
  ASSERT_EQ(xbase::d4go(other, 2), 0);
  EXPECT_EQ(xbase::f4str(xbase::d4field(other, "name")), "deux                ");
  EXPECT_EQ(xbase::f4long(xbase::d4field(other, "num")), 22);
  EXPECT_TRUE(xbase::f4true(xbase::d4field(other, "flag")));
  EXPECT_EQ(xbase::f4memoStr(xbase::d4field(other, "note")), "second note");
  EXPECT_EQ(xbase::f4str(xbase::d4field(other, "grp")), "C      ");
  xbase::d4close(other);
  xbase::d4unlock(ref_.Data);
}

TEST_F(ItemsTable, WalksNestAtMostTwentyFiveDeep) {
  // Alternating two walks pushes a frame at every call.
  const auto walkAt = [&](int i) {
    return DbHelper().SeekNext(ref_, i % 2 ? grpTag_ : nameTag_, i % 2 ? "A" : "one");
  };
  for (int i = 0; i < DatabaseHelper::kMaxFrames; ++i) {
    ASSERT_TRUE(walkAt(i)) << i;
    EXPECT_EQ(DbHelper().FrameCount(), i + 1);
  }
  EXPECT_FALSE(walkAt(DatabaseHelper::kMaxFrames));
  EXPECT_EQ(DbHelper().FrameCount(), DatabaseHelper::kMaxFrames);
  // The walks beneath are intact: the top one (name "one") runs out, the one below
  // it (group A) goes on from its own row.
  EXPECT_FALSE(walkAt(DatabaseHelper::kMaxFrames - 1));
  EXPECT_EQ(DbHelper().FrameCount(), DatabaseHelper::kMaxFrames - 1);
  EXPECT_TRUE(walkAt(DatabaseHelper::kMaxFrames - 2));
  EXPECT_EQ(Name(), "three");
  while (DbHelper().FrameCount() > 0) DbHelper().EndSeek();
}

TEST_F(ItemsTable, ATableThatIsNotOpenFindsNothing) {
  const TableRef closed;
  EXPECT_FALSE(DbHelper().SeekNext(closed, 0, ""));
  EXPECT_FALSE(DbHelper().SeekFirst(closed, "grp", "A"));
  EXPECT_FALSE(DbHelper().SeekFieldValue(closed, "name", "one"));
  EXPECT_FALSE(DbHelper().SeekIDs(closed, "grp", "A", "num", 1).Dimensioned());
  EXPECT_TRUE(DbHelper().SeekValues(closed, "grp", "A", "num").empty());
  EXPECT_EQ(DbHelper().FrameCount(), 0);
}

TEST_F(ItemsTable, AMissingFieldEndsTheRun) {
  ASSERT_TRUE(DbHelper().SeekFirst(ref_, "item_id", "0000001"));
  // As at a real fatal end, the engine is closed on the way out.
  EXPECT_EXIT(
      {
        SetTerminateCleanup([] { CloseCodeBase(); });
        DbHelper().FieldValStr("colour");
      },
      ::testing::ExitedWithCode(kTerminateStatus), "");
  DbHelper().EndSeek();
}

// Another process holds record 3 through the engine until asked to let it go.
class RecordHolder {
 public:
  RecordHolder(const std::string& path, long recNo) {
    if (pipe(toParent_) != 0 || pipe(toChild_) != 0) throw std::runtime_error("pipe");
    pid_ = fork();
    if (pid_ == 0) {
      const xbase::Code4 code = xbase::d4init();
      const xbase::Data4 data = xbase::d4open(code, path);
      const bool locked = data != 0 && xbase::d4go(data, recNo) == 0 && xbase::d4lock(data, recNo) == 0;
      char c = locked ? 'L' : 'E';
      if (write(toParent_[1], &c, 1) != 1) _exit(2);
      if (read(toChild_[0], &c, 1) != 1) _exit(2);
      xbase::d4unlock(data);
      _exit(0);
    }
    char c = 0;
    if (read(toParent_[0], &c, 1) != 1) c = 'E';
    locked_ = c == 'L';
  }
  ~RecordHolder() {
    Release();
    int status = 0;
    waitpid(pid_, &status, 0);
    for (int fd : {toParent_[0], toParent_[1], toChild_[0], toChild_[1]}) close(fd);
  }
  bool Locked() const { return locked_; }
  void Release() {
    if (released_) return;
    released_ = true;
    const char c = 'R';
    if (write(toChild_[1], &c, 1) != 1) return;
  }

 private:
  int toParent_[2]{}, toChild_[2]{};
  pid_t pid_ = -1;
  bool locked_ = false;
  bool released_ = false;
};

// Counts the waits of the record lock; the first wait lets the holder go.
class CountingWait {
 public:
  explicit CountingWait(RecordHolder& holder) : saved_(LockWait()) {
    LockWait().sleep = [this, &holder](std::chrono::milliseconds interval) {
      if (waits_++ == 0) holder.Release();
      std::this_thread::sleep_for(interval);
    };
  }
  ~CountingWait() { LockWait() = saved_; }
  int Waits() const { return waits_; }

 private:
  LockWaitPolicy saved_;
  int waits_ = 0;
};

TEST_F(ItemsTable, ASetterWaitsForARecordAnotherProcessHoldsThenWrites) {
  ASSERT_TRUE(DbHelper().SeekFirst(ref_, "item_id", "0000003"));
  RecordHolder holder(path_, 3);
  ASSERT_TRUE(holder.Locked());
  {
    CountingWait wait(holder);
    DbHelper().SetFieldStr("name", "items", "drei", folder());
    EXPECT_GE(wait.Waits(), 1);
  }
  EXPECT_EQ(DbHelper().FieldValStr("name"), "drei");
  DbHelper().EndSeek();
  ASSERT_EQ(xbase::d4flush(ref_.Data), 0);
  xbase::d4unlock(ref_.Data);
  const xbase::Data4 other = xbase::d4open(Engine().EngineHandle, path_);
  ASSERT_EQ(xbase::d4go(other, 3), 0);
  EXPECT_EQ(xbase::f4str(xbase::d4field(other, "name")), "drei                ");
  xbase::d4close(other);
}

TEST_F(ItemsTable, ASetterGivenTheStoredValueTakesNoLockAndWritesNothing) {
  ASSERT_TRUE(DbHelper().SeekFirst(ref_, "item_id", "0000003"));
  ASSERT_EQ(xbase::d4flush(ref_.Data), 0);
  const std::string before = testing_support::ReadFile(path_);
  RecordHolder holder(path_, 3);
  ASSERT_TRUE(holder.Locked());
  {
    CountingWait wait(holder);
    DbHelper().SetFieldStr("name", "items", "three", folder());
    DbHelper().SetFieldLng("num", "", 30);
    DbHelper().SetFieldValB("flag", "", false);
    DbHelper().SetFieldMemoStr("note", "", "");
    EXPECT_EQ(wait.Waits(), 0);
  }
  DbHelper().EndSeek();
  ASSERT_EQ(xbase::d4flush(ref_.Data), 0);
  EXPECT_EQ(testing_support::ReadFile(path_), before);
}

// A real table written by another program: an outer walk over one exam's rows with
// inner walks over the same table keep the outer walk's sequence.
TEST(DatabaseHelperFixture, NestedWalksOnAPeerMadeTable) {
  if (Engine().EngineHandle == 0) InitCodeBase();
  testing_support::TempDir dir;
  testing_support::CopyFolder(testing_support::SharedDir() / "fixtures/xbase/peer-made", dir.path());
  TableRef examques = GetTableRef("examques", dir.str());
  ASSERT_NE(examques.Data, 0);
  const xbase::Tag4 examTag = xbase::d4tag(examques.Data, "exam_id");
  const xbase::Tag4 questTag = xbase::d4tag(examques.Data, "quest_id");
  const xbase::Field4 questField = xbase::d4field(examques.Data, "quest_id");

  // The exams with the most rows make the longest outer walks.
  std::vector<std::string> exams = DbHelper().SeekValues(examques, "exam_id", "", "exam_id");
  ASSERT_FALSE(exams.empty());
  std::size_t checked = 0;
  for (const std::string& exam : {exams.front(), exams[exams.size() / 2], exams.back()}) {
    std::vector<long> plain;
    while (DbHelper().SeekNext(examques, examTag, exam)) plain.push_back(xbase::d4recNo(examques.Data));
    std::vector<long> nested;
    std::size_t innerRows = 0;
    while (DbHelper().SeekNext(examques, examTag, exam)) {
      nested.push_back(xbase::d4recNo(examques.Data));
      const std::string quest = xbase::f4str(questField);
      while (DbHelper().SeekNext(examques, questTag, quest)) {
        EXPECT_EQ(xbase::f4str(questField), quest);
        ++innerRows;
      }
    }
    EXPECT_EQ(nested, plain) << exam;
    EXPECT_GE(innerRows, plain.size());
    checked += plain.size();
  }
  EXPECT_GT(checked, 0u);
  EXPECT_EQ(DbHelper().FrameCount(), 0);
  CloseTable(examques.Data);
}

}  // namespace
}  // namespace tolvarin
