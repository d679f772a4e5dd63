#include "data/record_ops.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <memory>
#include <thread>

#include "construction/schema.h"
#include "core/presenter.h"
#include "core/scripted_presenter.h"
#include "core/terminate.h"
#include "data/codebase.h"
#include "support/test_support.h"

namespace tolvarin {
namespace {

using testing_support::TempDir;

class RecordOps : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (Engine().EngineHandle == 0) InitCodeBase();
  }
  void SetUp() override { data_ = Make("items"); }
  void TearDown() override {
    for (auto d : open_) xbase::d4close(d);
  }

  xbase::Data4 Make(const std::string& name) {
    const xbase::Data4 data =
        d4create(dir_.str() + "/" + name + ".dbf",
                 {MakeFieldDef("id", 7, 0), MakeFieldDef("name", 10, 0), MakeFieldDef("num", 8, 1),
                  MakeFieldDef("memo", 10, 2), MakeFieldDef("flag", 1, 3)},
                 {MakeTagDef("ID", "id", 0, 0), MakeTagDef("NAME", "name", 0, 0)});
    EXPECT_NE(data, 0) << name;
    open_.push_back(data);
    return data;
  }
  static void Add(xbase::Data4 data, const std::string& id, const std::string& name = "", long num = 0) {
    ASSERT_EQ(xbase::d4appendStart(data, 0), 0);
    xbase::d4blank(data);
    xbase::f4assign(xbase::d4field(data, "id"), id);
    xbase::f4assign(xbase::d4field(data, "name"), name);
    xbase::f4assignLong(xbase::d4field(data, "num"), num);
    ASSERT_EQ(xbase::d4append(data), 0);
  }
  xbase::Field4 F(const char* name, xbase::Data4 data = 0) { return xbase::d4field(data ? data : data_, name); }
  TableRef Ref(xbase::Data4 data) {
    TableRef ref;
    ref.Data = data;
    ref.KeyField = xbase::d4field(data, "id");
    ref.KeyTag = xbase::d4tag(data, "ID");
    return ref;
  }

  TempDir dir_;
  xbase::Data4 data_ = 0;
  std::vector<xbase::Data4> open_;
};

TEST_F(RecordOps, SeekLastFindsTheLastRecordWithTheKeyOrTheOneBefore) {
  Add(data_, "0000003");
  Add(data_, "0000005", "first");
  Add(data_, "0000009");
  Add(data_, "0000005", "second");
  Add(data_, "0000005", "third");
  xbase::d4tagSelect(data_, xbase::d4tag(data_, "ID"));

  EXPECT_EQ(SeekLast(data_, "0000005"), 0);
  EXPECT_EQ(xbase::d4recNo(data_), 5);
  EXPECT_EQ(xbase::f4str(F("name")), "third     ");

  EXPECT_EQ(SeekLast(data_, "0000009"), 0);  // the greatest key: its successor lies past the end
  EXPECT_EQ(xbase::d4recNo(data_), 3);

  EXPECT_EQ(SeekLast(data_, "0000001"), 4);  // smaller than every key

  EXPECT_EQ(SeekLast(data_, "0000007"), 2);  // missing: on the record before its place
  EXPECT_EQ(xbase::d4recNo(data_), 5);

  EXPECT_EQ(SeekLast(data_, "0000099"), 2);  // past the end: on the last record
  EXPECT_EQ(xbase::f4str(F("id")), "0000009");
}

TEST_F(RecordOps, SeekLastAsksTheOrderWhetherARecordComesBefore) {
  // Record 1 holds the greatest key, so a missing key lands on record 1 with records before it.
  Add(data_, "0000009");
  Add(data_, "0000003");
  xbase::d4tagSelect(data_, xbase::d4tag(data_, "ID"));
  EXPECT_EQ(SeekLast(data_, "0000005"), 2);
  EXPECT_EQ(xbase::d4recNo(data_), 2);

  const xbase::Data4 empty = Make("empty");
  xbase::d4tagSelect(empty, xbase::d4tag(empty, "ID"));
  EXPECT_EQ(SeekLast(empty, "0000005"), 4);
}

TEST_F(RecordOps, GoRecordOnlyReachesExistingRecords) {
  Add(data_, "0000001");
  Add(data_, "0000002");
  EXPECT_EQ(GoRecord(data_, 0), -1);
  EXPECT_EQ(GoRecord(data_, -4), -1);
  EXPECT_EQ(GoRecord(data_, 3), -1);
  EXPECT_EQ(GoRecord(data_, 2), 0);
  EXPECT_EQ(xbase::d4recNo(data_), 2);
}

TEST_F(RecordOps, SeekTagAndLookupFieldGoByKeyText) {
  Add(data_, "0000004", "four");
  EXPECT_TRUE(SeekTag(data_, xbase::d4tag(data_, "NAME"), "four"));
  EXPECT_EQ(Engine().LastEngineCode, 0);
  EXPECT_FALSE(SeekTag(data_, xbase::d4tag(data_, "NAME"), "zzz"));
  EXPECT_EQ(Engine().LastEngineCode, xbase::kEof);
  EXPECT_EQ(LookupField(data_, xbase::d4tag(data_, "ID"), "0000004", F("name")), "four      ");
  EXPECT_EQ(LookupField(data_, xbase::d4tag(data_, "ID"), "0000005", F("name")), "");
}

TEST_F(RecordOps, GetIDInRangeSearchesUsedAndFreeIdentifiers) {
  for (const char* id : {"0000009", "0000003", "0000005"}) Add(data_, id);
  const TableRef ref = Ref(data_);
  struct Case {
    bool fromBottom;
    std::int32_t minID, maxID, expected;
  };
  for (const Case& c : std::vector<Case>{{false, 1, 9, 9},         // the top itself is in use
                                         {false, 1, 7, 6},         // one past the highest below the top
                                         {false, 4, 4, 4},
                                         {false, 20000, 29999, 20000},
                                         {true, 4, 20, 5},         // lowest in use from the bottom
                                         {true, 5, 20, 5},
                                         {true, 10, 20, 10},       // none at or above: the bottom
                                         {true, 1, 2, 2}}) {       // kept inside the range
    EXPECT_EQ(GetIDInRange(ref, c.fromBottom, c.minID, c.maxID), c.expected)
        << c.fromBottom << " " << c.minID << ".." << c.maxID;
  }
  const xbase::Data4 empty = Make("empty");
  EXPECT_EQ(GetIDInRange(Ref(empty), false, 20000, 29999), 20000);
  EXPECT_EQ(GetIDInRange(Ref(empty), true, 20000, 29999), 20000);
  TableRef noKey = ref;
  noKey.KeyField = 0;
  EXPECT_EQ(GetIDInRange(noKey, false, 1, 9), 0);
}

TEST_F(RecordOps, GetIDInRangeKeepsTheCurrentRecordAndOrder) {
  for (const char* id : {"0000009", "0000003", "0000005"}) Add(data_, id);
  const xbase::Tag4 nameTag = xbase::d4tag(data_, "NAME");
  xbase::d4tagSelect(data_, nameTag);
  ASSERT_EQ(xbase::d4go(data_, 2), 0);
  GetIDInRange(Ref(data_), false, 1, 7);
  EXPECT_EQ(xbase::d4recNo(data_), 2);
  EXPECT_EQ(xbase::d4tagSelected(data_), nameTag);
}

TEST_F(RecordOps, NextFreeIDOverTablesLooksAtAnswerPicturesAndDescriptionImages) {
  DefineDatabase();
  const TableDef questsDef = GetTableDef("quests");
  const TableDef descriptDef = GetTableDef("descript");
  QuestsRecord quests;
  quests.Data = d4create(dir_.str() + "/quests.dbf", questsDef.Fields, questsDef.Tags);
  open_.push_back(quests.Data);
  DescriptRecord descript;
  descript.Data = d4create(dir_.str() + "/descript.dbf", descriptDef.Fields, descriptDef.Tags);
  open_.push_back(descript.Data);
  ASSERT_NE(quests.Data, 0);
  ASSERT_NE(descript.Data, 0);
  quests.AnswerCount = 4;
  quests.Answer1Pct = xbase::d4field(quests.Data, "answer1pct");
  quests.Answer2Pct = xbase::d4field(quests.Data, "answer2pct");
  quests.Answer3Pct = xbase::d4field(quests.Data, "answer3pct");
  quests.Answer4Pct = xbase::d4field(quests.Data, "answer4pct");
  quests.Answer5Pct = xbase::d4field(quests.Data, "answer5pct");
  descript.Image_id = xbase::d4field(descript.Data, "image_id");

  auto addQuestion = [&](std::vector<std::pair<xbase::Field4, std::string>> values) {
    xbase::d4appendStart(quests.Data, 0);
    xbase::d4blank(quests.Data);
    for (const auto& [field, value] : values) xbase::f4assign(field, value);
    ASSERT_EQ(xbase::d4append(quests.Data), 0);
  };
  addQuestion({{quests.Answer1Pct, "0020005"}, {quests.Answer2Pct, "0000007"}});
  addQuestion({{quests.Answer4Pct, "0020010"}, {quests.Answer5Pct, "0020050"}});  // fifth unused with 4 answers
  for (const char* image : {"0020003", "0030000", ""}) {
    xbase::d4appendStart(descript.Data, 0);
    xbase::d4blank(descript.Data);
    xbase::f4assign(descript.Image_id, image);
    ASSERT_EQ(xbase::d4append(descript.Data), 0);
  }

  std::int32_t lowest = 0, highest = 0;
  EXPECT_EQ(NextFreeIDOverTables(quests, descript, 20000, 29999, lowest, highest), 20011);
  EXPECT_EQ(lowest, 20003);
  EXPECT_EQ(highest, 20010);

  quests.AnswerCount = 5;
  EXPECT_EQ(NextFreeIDOverTablesEx(quests, descript, 20000, 29999), 20051);

  EXPECT_EQ(NextFreeIDOverTables(quests, descript, 40000, 49999, lowest, highest), 40001);
  EXPECT_EQ(lowest, 999999);
  EXPECT_EQ(highest, 40000);
}

TEST_F(RecordOps, CopyFieldValueConvertsAcrossTypes) {
  const xbase::Data4 to = Make("target");
  Add(data_, "0000001", "  123", 70000);
  Add(to, "");
  ASSERT_EQ(xbase::d4top(data_), 0);
  ASSERT_EQ(xbase::d4top(to), 0);
  xbase::f4memoAssign(F("memo"), "memo text");

  CopyFieldValue(F("num", to), F("num"));  // 16 bits cannot hold it: the 32-bit assignment follows
  EXPECT_EQ(xbase::f4long(F("num", to)), 70000);
  CopyFieldValue(F("name", to), F("num"));
  EXPECT_EQ(xbase::f4long(F("name", to)), 70000);
  CopyFieldValue(F("num", to), F("name"));  // text to number
  EXPECT_EQ(xbase::f4long(F("num", to)), 123);
  CopyFieldValue(F("memo", to), F("memo"));
  EXPECT_EQ(xbase::f4memoStr(F("memo", to)), "memo text");
  CopyFieldValue(F("id", to), F("memo"));  // memo to text
  EXPECT_EQ(xbase::f4str(F("id", to)), "memo te");
  CopyFieldValue(F("id", to), F("id"));
  EXPECT_EQ(xbase::f4str(F("id", to)), "0000001");
}

TEST_F(RecordOps, CopyAllRecordsMatchesFieldsByNameAndFillsBlankTextWithZero) {
  Add(data_, "0000001", "one", 1);
  Add(data_, "0000002", "", 2);
  Add(data_, "0000003", "three", 3);
  ASSERT_EQ(xbase::d4go(data_, 3), 0);
  xbase::d4delete(data_);  // deleted records are copied too (natural order, every record)

  const xbase::Data4 to = d4create(dir_.str() + "/other.dbf",
                                   {MakeFieldDef("num", 8, 1), MakeFieldDef("extra", 5, 0), MakeFieldDef("name", 10, 0),
                                    MakeFieldDef("id", 7, 0)},
                                   {MakeTagDef("ID", "id", 0, 0)});
  ASSERT_NE(to, 0);
  open_.push_back(to);
  Add(to, "0000099");  // emptied first
  CopyAllRecords(data_, to);
  EXPECT_EQ(Engine().LastEngineCode, 0);
  ASSERT_EQ(xbase::d4recCount(to), 3);
  ASSERT_EQ(xbase::d4go(to, 2), 0);
  EXPECT_EQ(xbase::f4str(F("id", to)), "0000002");
  EXPECT_EQ(xbase::f4long(F("num", to)), 2);
  EXPECT_EQ(xbase::f4str(F("name", to)), "0         ");
  EXPECT_EQ(xbase::f4str(F("extra", to)), "     ");  // no source field: not copied, left blank
  ASSERT_EQ(xbase::d4go(to, 1), 0);
  EXPECT_EQ(xbase::f4str(F("name", to)), "one       ");
  // The index was rebuilt: the copied keys can be sought.
  xbase::d4tagSelect(to, xbase::d4tag(to, "ID"));
  EXPECT_EQ(xbase::d4seek(to, "0000003"), 0);
  EXPECT_EQ(xbase::d4seek(to, "0000099"), xbase::kEof);
}

TEST_F(RecordOps, EmptyTableRemovesEveryRecord) {
  for (const char* id : {"0000001", "0000002", "0000003"}) Add(data_, id);
  xbase::d4tagSelect(data_, xbase::d4tag(data_, "ID"));
  EmptyTable(data_);
  EXPECT_EQ(Engine().LastEngineCode, 0);
  EXPECT_EQ(xbase::d4recCount(data_), 0);
  EXPECT_EQ(xbase::d4seek(data_, "0000001"), xbase::kEof);
}

TEST_F(RecordOps, CopyMatchingRowsAppendsEveryRowWithTheKey) {
  const xbase::Data4 to = Make("copies");
  Add(data_, "0000001", "keep", 1);
  Add(data_, "0000002", "other", 2);
  Add(data_, "0000001", "keep", 3);
  CopyMatchingRows({data_, xbase::d4tag(data_, "NAME")}, {to, F("name", to)}, "keep", "renamed");
  ASSERT_EQ(xbase::d4recCount(to), 2);
  for (long rec = 1; rec <= 2; ++rec) {
    ASSERT_EQ(xbase::d4go(to, rec), 0);
    EXPECT_EQ(xbase::f4str(F("name", to)), "renamed   ");
    EXPECT_EQ(xbase::f4long(F("num", to)), rec == 1 ? 1 : 3);
  }
  // Without a text the copied value stays; a key that is not there copies nothing.
  CopyMatchingRows({data_, xbase::d4tag(data_, "NAME")}, {to, F("name", to)}, "other", "");
  CopyMatchingRows({data_, xbase::d4tag(data_, "NAME")}, {to, F("name", to)}, "missing", "x");
  CopyMatchingRows({0, 0}, {to, F("name", to)}, "keep", "x");
  ASSERT_EQ(xbase::d4recCount(to), 3);
  ASSERT_EQ(xbase::d4go(to, 3), 0);
  EXPECT_EQ(xbase::f4str(F("name", to)), "other     ");
}

TEST_F(RecordOps, CopyMatchingRowsTakesEveryRowStoredUnderTheLowerCasedKey) {
  const xbase::Data4 to = Make("copies");
  Add(data_, "0000001", "quests", 1);
  Add(data_, "0000002", "quests", 2);
  Add(data_, "0000003", "quests", 3);
  CopyMatchingRows({data_, xbase::d4tag(data_, "NAME")}, {to, F("name", to)}, "QUESTS", "");
  EXPECT_EQ(xbase::d4recCount(to), 3);
}

TEST_F(RecordOps, FieldValueGivesTheFieldsKind) {
  Add(data_, "0000042", "x", 70000);
  ASSERT_EQ(xbase::d4top(data_), 0);
  xbase::f4memoAssign(F("memo"), "text");
  EXPECT_EQ(std::get<std::string>(FieldValue(F("id"))), "0000042");
  EXPECT_EQ(std::get<std::string>(FieldValue(F("name"))), "x         ");
  EXPECT_EQ(std::get<std::int32_t>(FieldValue(F("num"))), 70000);
  EXPECT_EQ(std::get<std::string>(FieldValue(F("memo"))), "text");
  EXPECT_TRUE(std::holds_alternative<std::monostate>(FieldValue(F("flag"))));
}

TEST_F(RecordOps, AppendBlankAndDeleteRecord) {
  Add(data_, "0000001", "one", 1);
  ASSERT_EQ(xbase::d4top(data_), 0);
  AppendBlank(data_);
  EXPECT_EQ(Engine().LastEngineCode, 0);
  EXPECT_EQ(xbase::f4str(F("name")), std::string(10, ' '));
  ASSERT_EQ(xbase::d4append(data_), 0);
  EXPECT_EQ(xbase::d4recCount(data_), 2);
  ASSERT_EQ(xbase::d4go(data_, 1), 0);
  TableRef ref = Ref(data_);
  DeleteRecord(ref);
  EXPECT_TRUE(xbase::d4deleted(data_));
}

// --- the record lock ---------------------------------------------------------

// A second process that holds record 1 of a table until told to let go.
class LockHolder {
 public:
  explicit LockHolder(const std::string& path) {
    int toChild[2], toParent[2];
    if (pipe(toChild) != 0 || pipe(toParent) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      close(toChild[1]);
      close(toParent[0]);
      const xbase::Code4 code = xbase::d4init();
      const xbase::Data4 data = xbase::d4open(code, path);
      char answer = 'F';
      if (data != 0 && xbase::d4go(data, 1) == 0 && xbase::d4lock(data, 1) == 0) answer = 'L';
      (void)!write(toParent[1], &answer, 1);
      char release = 0;
      (void)!read(toChild[0], &release, 1);
      xbase::d4unlock(data);
      xbase::d4initUndo(code);
      _exit(0);
    }
    close(toChild[0]);
    close(toParent[1]);
    release_ = toChild[1];
    char answer = 0;
    locked_ = read(toParent[0], &answer, 1) == 1 && answer == 'L';
    close(toParent[0]);
  }
  ~LockHolder() {
    Release();
    if (pid_ > 0) waitpid(pid_, nullptr, 0);
  }
  bool Locked() const { return locked_; }
  void Release() {
    if (release_ < 0) return;
    (void)!write(release_, "R", 1);
    close(release_);
    release_ = -1;
  }

 private:
  pid_t pid_ = -1;
  int release_ = -1;
  bool locked_ = false;
};

class RecordLock : public RecordOps {
 protected:
  void SetUp() override {
    RecordOps::SetUp();
    Add(data_, "0000001", "one", 1);
    ASSERT_EQ(xbase::d4flush(data_), 0);
    ASSERT_EQ(xbase::d4go(data_, 1), 0);
    saved_ = LockWait();
    auto scripted = std::make_unique<ScriptedPresenter>();
    presenter_ = scripted.get();
    previous_ = SetPresenter(std::move(scripted));
  }
  void TearDown() override {
    LockWait() = saved_;
    SetPresenter(std::move(previous_));
    RecordOps::TearDown();
  }
  // A clock that the waits move forward, so that no test waits in earnest.
  void UseFakeClock() {
    LockWait().now = [this] { return fakeNow_; };
    LockWait().sleep = [this](std::chrono::milliseconds step) { fakeNow_ += step; };
  }
  std::string Path() const { return dir_.str() + "/items.dbf"; }

  LockWaitPolicy saved_;
  ScriptedPresenter* presenter_ = nullptr;
  std::unique_ptr<MessagePresenter> previous_;
  std::chrono::steady_clock::time_point fakeNow_{};
};

TEST_F(RecordLock, NoCurrentRecordReturnsAtOnce) {
  xbase::d4goEof(data_);
  ASSERT_EQ(xbase::d4recNo(data_), 0);
  int tries = 0;
  LockWait().sleep = [&](std::chrono::milliseconds) { ++tries; };
  EXPECT_EQ(LockCurrentRecord(data_), xbase::kErrorRecord);
  EXPECT_EQ(tries, 0);
}

TEST_F(RecordLock, WaitsForAnotherProcessAndThenTakesTheRecord) {
  LockHolder holder(Path());
  ASSERT_TRUE(holder.Locked());
  int tries = 0;
  std::chrono::milliseconds waited{0};
  LockWait().sleep = [&](std::chrono::milliseconds step) {
    waited += step;
    std::this_thread::sleep_for(step);
  };
  LockWait().pumpEvents = [&] {
    if (++tries == 3) holder.Release();
  };
  Engine().LastEngineCode = 777;
  EXPECT_EQ(LockCurrentRecord(data_), 0);
  EXPECT_GE(tries, 3);
  const int triesBefore = tries;
  EXPECT_EQ(LockCurrentRecord(data_), 0);  // a lock this table holds is granted again at once
  EXPECT_EQ(tries, triesBefore);
  EXPECT_EQ(waited.count() % 10, 0);  // steps of 10 ms
  EXPECT_EQ(Engine().LastEngineCode, 777);
  EXPECT_TRUE(presenter_->Shown().empty());
}

TEST_F(RecordLock, AfterThirtySecondsAsksAndRetryWaitsAgain) {
  UseFakeClock();
  LockHolder holder(Path());
  ASSERT_TRUE(holder.Locked());
  presenter_->Push("Retry");
  int triesAfterBox = 0;
  LockWait().pumpEvents = [&] {
    if (!presenter_->Shown().empty() && ++triesAfterBox == 5) {
      holder.Release();
      // Give the holder real time to let go before the fake clock nears a second box.
      LockWait().sleep = [this](std::chrono::milliseconds step) {
        fakeNow_ += step;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      };
    }
  };
  const auto start = fakeNow_;
  EXPECT_EQ(LockCurrentRecord(data_), 0);
  ASSERT_EQ(presenter_->Shown().size(), 1u);
  const BoxRequest& box = presenter_->Shown()[0].box;
  EXPECT_EQ(box.kind, BoxKind::Facility);
  EXPECT_EQ(box.captions[0], "&Retry");
  EXPECT_EQ(box.captions[1], "Cancel");
  EXPECT_EQ(box.defaultButton, 2);
  EXPECT_NE(box.text.find("items.dbf"), std::string::npos);
  EXPECT_GE(fakeNow_ - start, std::chrono::seconds(30));
}

TEST_F(RecordLock, CancelOrAnUnattendedAnswerEndsTheRunWithoutWriting) {
  UseFakeClock();
  LockWait().askAfter = std::chrono::milliseconds(50);
  LockHolder holder(Path());
  ASSERT_TRUE(holder.Locked());
  for (const char* answer : {"Cancel", "default"}) {
    EXPECT_EXIT(
        {
          // As in a real run, the fatal end closes the engine.
          SetTerminateCleanup([] { CloseCodeBase(); });
          presenter_->Push(answer);
          LockCurrentRecord(data_);
          xbase::f4assign(F("name"), "written");
          xbase::d4flush(data_);
          std::exit(0);
        },
        ::testing::ExitedWithCode(kTerminateStatus), "")
        << answer;
  }
  holder.Release();
  const xbase::Data4 reread = xbase::d4open(Engine().EngineHandle, Path());
  ASSERT_NE(reread, 0);
  ASSERT_EQ(xbase::d4go(reread, 1), 0);
  EXPECT_EQ(xbase::f4str(xbase::d4field(reread, "name")), "one       ");
  xbase::d4close(reread);
}

}  // namespace
}  // namespace tolvarin
