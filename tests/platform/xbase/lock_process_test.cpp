// Two processes on one table: record and file locks that the other process sees,
// locks of one process that never stand in its own way, and appends that the other
// process sees at its next count.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "platform/xbase/tag_check.h"
#include "table_test_util.h"

namespace {

using namespace xbase;
using testing_support::TempDir;
using xbase_test::AppendRow;
using xbase_test::Engine;

// A forked child running body, with one pipe each way. Reads wait at most 10 s so
// that a broken peer fails the test instead of hanging it.
class Peer {
 public:
  explicit Peer(const std::function<int(Peer&)>& body) {
    if (pipe(toChild_) != 0 || pipe(toParent_) != 0) std::abort();
    std::fflush(nullptr);
    pid_ = fork();
    if (pid_ == 0) {
      close(toChild_[1]);
      close(toParent_[0]);
      in_ = toChild_[0];
      out_ = toParent_[1];
      _exit(body(*this));
    }
    close(toChild_[0]);
    close(toParent_[1]);
    in_ = toParent_[0];
    out_ = toChild_[1];
  }
  ~Peer() {
    if (pid_ > 0) Finish();
  }
  void Send(char c) { (void)!write(out_, &c, 1); }
  char Receive() {
    pollfd p{in_, POLLIN, 0};
    if (poll(&p, 1, 10000) <= 0) return '?';
    char c = '?';
    return read(in_, &c, 1) == 1 ? c : '?';
  }
  // Whether something has arrived to be read (no wait).
  bool Ready() {
    pollfd p{in_, POLLIN, 0};
    return poll(&p, 1, 0) > 0;
  }
  // Sends a code as one byte (codes here are small: 0, 50, negatives).
  void SendCode(int code) { Send(static_cast<char>(code)); }
  int ReceiveCode() { return static_cast<signed char>(Receive()); }
  int Finish() {
    close(out_);
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 100;
  }

 private:
  int toChild_[2] = {-1, -1};
  int toParent_[2] = {-1, -1};
  int in_ = -1;
  int out_ = -1;
  pid_t pid_ = -1;
};

class TwoProcesses : public ::testing::Test {
 protected:
  void SetUp() override {
    path = (dir.path() / "shared.dbf").string();
    Data4 data = d4create(engine.code(), path, {{"id", 'C', 7, 0}, {"note", 'M', 10, 0}}, {});
    ASSERT_NE(data, 0);
    for (int i = 1; i <= 3; ++i) ASSERT_EQ(AppendRow(data, {"000000" + std::to_string(i), "note"}), 0);
    ASSERT_EQ(d4close(data), 0);
  }
  TempDir dir;
  Engine engine;
  std::string path;
};

TEST_F(TwoProcesses, RecordLockHeldByTheOtherAnswers50UntilReleased) {
  Data4 data = d4open(engine.code(), path);
  ASSERT_NE(data, 0);
  Peer peer([&](Peer& self) {
    Engine own;
    Data4 d = d4open(own.code(), path);
    self.SendCode(d4lock(d, 2));
    if (self.Receive() != 'u') return 1;
    self.SendCode(d4unlock(d));
    if (self.Receive() != 'a') return 2;
    self.SendCode(d4lockAll(d));
    if (self.Receive() != 'u') return 3;
    d4unlock(d);
    self.Send('r');
    return self.Receive() == 'x' ? 0 : 4;
  });
  ASSERT_EQ(peer.ReceiveCode(), 0);
  EXPECT_EQ(d4lock(data, 2), kLocked);
  EXPECT_EQ(d4lock(data, 1), 0);
  EXPECT_EQ(d4lockAll(data), kLocked);
  ASSERT_EQ(d4unlock(data), 0);
  peer.Send('u');
  ASSERT_EQ(peer.ReceiveCode(), 0);
  EXPECT_EQ(d4lock(data, 2), 0);  // released by the other process
  ASSERT_EQ(d4unlock(data), 0);

  peer.Send('a');
  ASSERT_EQ(peer.ReceiveCode(), 0);  // the other process locks the whole file
  EXPECT_EQ(d4lock(data, 3), kLocked);
  EXPECT_EQ(d4lock(data, 1000), kLocked);
  peer.Send('u');
  ASSERT_EQ(peer.Receive(), 'r');
  EXPECT_EQ(d4lock(data, 3), 0);
  EXPECT_EQ(d4lockAll(data), 0);
  peer.Send('x');
  EXPECT_EQ(peer.Finish(), 0);
}

TEST_F(TwoProcesses, LocksOfOneProcessNeverBlockItselfAndOutliveAnotherHandle) {
  Data4 a = d4open(engine.code(), path);
  Data4 b = d4open(engine.code(), path);
  ASSERT_NE(a, 0);
  ASSERT_NE(b, 0);
  // The other process answers each 'c' with what d4lock(2) gives it.
  Peer peer([&](Peer& self) {
    Engine own;
    Data4 d = d4open(own.code(), path);
    for (char c = self.Receive(); c == 'c'; c = self.Receive()) {
      self.SendCode(d4lock(d, 2));
      d4unlock(d);
    }
    return 0;
  });
  auto otherGets = [&] {
    peer.Send('c');
    return peer.ReceiveCode();
  };
  ASSERT_EQ(d4lock(a, 2), 0);
  EXPECT_EQ(d4lock(b, 2), 0);  // held by this process through another handle
  EXPECT_EQ(otherGets(), kLocked);
  // A write-back under the handle's own lock keeps the lock (it locks and lets go
  // of the record itself on top of the handle's lock).
  ASSERT_EQ(d4go(b, 2), 0);
  ASSERT_EQ(f4assign(d4field(b, "id"), "0000022"), 0);
  ASSERT_EQ(d4lock(b, 2), 0);  // again: the system locks before every assignment
  ASSERT_EQ(d4flush(b), 0);
  EXPECT_EQ(otherGets(), kLocked);
  ASSERT_EQ(d4unlock(a), 0);
  EXPECT_EQ(otherGets(), kLocked);  // b still holds it
  ASSERT_EQ(d4lock(a, 2), 0);
  ASSERT_EQ(d4close(a), 0);  // closing a must not drop b's lock
  EXPECT_EQ(otherGets(), kLocked);
  ASSERT_EQ(d4unlock(b), 0);
  EXPECT_EQ(otherGets(), 0);
  peer.Send('x');
  EXPECT_EQ(peer.Finish(), 0);
}

TEST_F(TwoProcesses, LockingAnotherRecordGivesTheEarlierOneBackButNotAnotherHandles) {
  Data4 a = d4open(engine.code(), path);
  Data4 b = d4open(engine.code(), path);
  Peer peer([&](Peer& self) {
    Engine own;
    Data4 d = d4open(own.code(), path);
    // Each request is a record number in one byte; the answer is d4lock's code.
    for (char c = self.Receive(); c != 'x' && c != '?'; c = self.Receive()) {
      self.SendCode(d4lock(d, static_cast<unsigned char>(c)));
      d4unlock(d);
    }
    return 0;
  });
  auto otherGets = [&](long recno) {
    peer.Send(static_cast<char>(recno));
    return peer.ReceiveCode();
  };
  ASSERT_EQ(d4go(a, 1), 0);
  ASSERT_EQ(d4lock(a, 1), 0);
  ASSERT_EQ(f4assign(d4field(a, "id"), "0000011"), 0);
  ASSERT_EQ(d4go(a, 2), 0);  // writes record 1 back under its lock
  ASSERT_EQ(d4lock(a, 2), 0);
  EXPECT_EQ(otherGets(1), 0);  // given back
  EXPECT_EQ(otherGets(2), kLocked);
  ASSERT_EQ(d4lock(b, 1), 0);
  ASSERT_EQ(d4lockAll(b), 0);
  ASSERT_EQ(d4lock(a, 3), 0);  // this process holds the file: granted at once
  EXPECT_EQ(otherGets(2), kLocked);  // b's file lock still covers a's old record
  ASSERT_EQ(d4close(b), 0);
  EXPECT_EQ(otherGets(1), 0);
  EXPECT_EQ(otherGets(2), 0);
  EXPECT_EQ(otherGets(3), kLocked);
  Data4 c = d4open(engine.code(), path);
  ASSERT_EQ(d4lock(c, 3), 0);
  ASSERT_EQ(d4unlock(a), 0);
  EXPECT_EQ(otherGets(3), kLocked);  // c holds it
  ASSERT_EQ(d4close(c), 0);
  EXPECT_EQ(otherGets(3), 0);
  peer.Send('x');
  EXPECT_EQ(peer.Finish(), 0);
  d4go(a, 1);
  EXPECT_EQ(f4str(d4field(a, "id")), "0000011");
}

TEST_F(TwoProcesses, AppendsOfTheOtherProcessAreSeen) {
  Data4 data = d4open(engine.code(), path);
  ASSERT_NE(data, 0);
  ASSERT_EQ(d4top(data), 0);
  EXPECT_EQ(d4recCount(data), 3);
  Peer peer([&](Peer& self) {
    Engine own;
    Data4 d = d4open(own.code(), path);
    if (AppendRow(d, {"0000004", "from the child"}) != 0 || AppendRow(d, {"0000005", "second"}) != 0) return 1;
    self.Send('a');  // nothing else done yet: the appends must be on disk already
    if (self.Receive() != 'c') return 2;
    if (d4recCount(d) != 6) return 3;
    if (d4go(d, 6) != 0 || f4str(d4field(d, "id")) != "0000006") return 4;
    self.Send('k');
    return self.Receive() == 'x' ? 0 : 5;
  });
  ASSERT_EQ(peer.Receive(), 'a');
  // Walking on past the count read at the start reaches the new records.
  ASSERT_EQ(d4go(data, 3), 0);
  ASSERT_EQ(d4skip(data, 1), 0);
  EXPECT_EQ(d4recNo(data), 4);
  EXPECT_EQ(f4memoStr(d4field(data, "note")), "from the child");
  EXPECT_EQ(d4recCount(data), 5);
  ASSERT_EQ(d4bottom(data), 0);
  EXPECT_EQ(f4str(d4field(data, "id")), "0000005");
  EXPECT_EQ(f4memoStr(d4field(data, "note")), "second");
  // Our own append goes after theirs, while the other process sits idle right after
  // its last append (no lock of its appends is left held).
  ASSERT_EQ(AppendRow(data, {"0000006", "parent"}), 0);
  EXPECT_EQ(d4recNo(data), 6);
  peer.Send('c');
  EXPECT_EQ(peer.Receive(), 'k');
  peer.Send('x');
  EXPECT_EQ(peer.Finish(), 0);
  Data4 fresh = d4open(engine.code(), path);
  std::vector<std::string> ids;
  for (int rc = d4top(fresh); rc == 0; rc = d4skip(fresh, 1)) ids.push_back(f4str(d4field(fresh, "id")));
  EXPECT_EQ(ids, (std::vector<std::string>{"0000001", "0000002", "0000003", "0000004", "0000005", "0000006"}));
}

// A handle that holds the whole file keeps the index lock between its appends and
// gives it back with the file: another process appends at once afterwards.
TEST_F(TwoProcesses, TheWholeFileLockTakesTheIndexLockAlongAndGivesItBack) {
  const std::string indexed = (dir.path() / "indexed.dbf").string();
  Data4 data = d4create(engine.code(), indexed, {{"id", 'C', 7, 0}, {"note", 'M', 10, 0}},
                        {{"ID", "id", "", kUniqueError, 0}});
  ASSERT_NE(data, 0);
  ASSERT_EQ(d4lockAll(data), 0);
  for (int i = 1; i <= 3; ++i) ASSERT_EQ(AppendRow(data, {"000000" + std::to_string(i), "held"}), 0);
  ASSERT_EQ(d4unlock(data), 0);
  Peer peer([&](Peer& self) {
    Engine own;
    Data4 d = d4open(own.code(), indexed);
    const auto start = std::chrono::steady_clock::now();
    const int rc = d != 0 ? AppendRow(d, {"0000004", "from the child"}) : -1;
    // An index lock left held would keep the append waiting for its whole timeout.
    const bool prompt = std::chrono::steady_clock::now() - start < std::chrono::seconds(5);
    self.SendCode(rc == 0 && prompt ? 0 : 1);
    return 0;
  });
  EXPECT_EQ(peer.ReceiveCode(), 0);
  EXPECT_EQ(peer.Finish(), 0);
  ASSERT_EQ(d4close(data), 0);
  Data4 fresh = d4open(engine.code(), indexed);
  ASSERT_NE(fresh, 0);
  EXPECT_EQ(d4recCount(fresh), 4);
  for (const auto& tag : detail::CheckTags(fresh)) EXPECT_TRUE(tag.Problems().empty()) << tag.Line();
  d4tagSelect(fresh, d4tag(fresh, "ID"));
  EXPECT_EQ(d4seek(fresh, "0000004"), 0);
  d4close(fresh);
}

// The lock bytes other FoxPro-family programs test: with a structural index flag,
// record n at 0x7FFFFFFE - n; without it, at 0x40000000 plus the record's offset.
TEST_F(TwoProcesses, RecordLocksSitOnTheBytesOtherProgramsUse) {
  auto lockedByOther = [&](long long offset) {
    Peer peer([&](Peer&) {
      int fd = open(path.c_str(), O_RDWR);
      struct flock lock {};
      lock.l_type = F_WRLCK;
      lock.l_whence = SEEK_SET;
      lock.l_start = offset;
      lock.l_len = 1;
      fcntl(fd, F_GETLK, &lock);
      return lock.l_type == F_UNLCK ? 0 : 1;
    });
    return peer.Finish() == 1;
  };
  const long long header = 32 + 2 * 32 + 1;
  const long long reclen = 1 + 7 + 10;
  Data4 data = d4open(engine.code(), path);
  ASSERT_EQ(d4lock(data, 2), 0);
  EXPECT_TRUE(lockedByOther(0x40000000LL + header + reclen));
  EXPECT_FALSE(lockedByOther(0x40000000LL + header));
  ASSERT_EQ(d4close(data), 0);
  EXPECT_FALSE(lockedByOther(0x40000000LL + header + reclen));

  std::string bytes = testing_support::ReadFile(path);
  bytes[28] = 0x01;
  testing_support::WriteFile(path, bytes);
  code4autoOpen(engine.code(), 0);
  data = d4open(engine.code(), path);
  ASSERT_NE(data, 0);
  ASSERT_EQ(d4lock(data, 2), 0);
  EXPECT_TRUE(lockedByOther(0x7FFFFFFELL - 2));
  EXPECT_FALSE(lockedByOther(0x7FFFFFFELL - 1));
  ASSERT_EQ(d4lockAll(data), 0);
  EXPECT_TRUE(lockedByOther(0x77FFFFFFLL));
  EXPECT_TRUE(lockedByOther(0x7FFFFFFELL));
}

// An append writes its record before the new count, so a file caught between the two
// holds a record beyond the count. An open checks the length against the count under
// the append lock: opening while the other process appends never finds damage, with
// and without an index (whose flag moves the lock byte).
TEST_F(TwoProcesses, OpensWhileTheOtherProcessAppendsNeverFindDamage) {
  for (bool indexed : {false, true}) {
    const std::string table = (dir.path() / (indexed ? "busy_tags" : "busy")).string();
    std::vector<TagInfo> tags;
    if (indexed) tags = {{"ID", "id", "", 0, 0}};
    Data4 made = d4create(engine.code(), table, {{"id", 'C', 7, 0}, {"note", 'M', 10, 0}}, tags);
    ASSERT_NE(made, 0);
    ASSERT_EQ(d4close(made), 0);
    Peer peer([&](Peer& self) {
      Engine own;
      Data4 d = d4open(own.code(), table);
      if (d == 0) return 1;
      self.Send('s');
      const std::string note(300, 'n');
      for (int i = 0; i < 3000 && !self.Ready(); ++i) {
        if (AppendRow(d, {std::to_string(i), note}) != 0) return 2;
      }
      self.Send('d');
      return self.Receive() == 'x' ? 0 : 3;
    });
    ASSERT_EQ(peer.Receive(), 's');
    int opens = 0;
    int failed = 0;
    int lastCode = 0;
    while (opens < 3000 && !peer.Ready()) {
      ++opens;
      Data4 data = d4open(engine.code(), table);
      if (data == 0) {
        ++failed;
        lastCode = code4errorCode(engine.code(), 0);
        continue;
      }
      d4close(data);
    }
    peer.Send('x');
    EXPECT_EQ(peer.Receive(), 'd');
    EXPECT_EQ(peer.Finish(), 0);
    EXPECT_GT(opens, 0);
    EXPECT_EQ(failed, 0) << "of " << opens << " opens, last code " << lastCode << (indexed ? " (indexed)" : "");
    Data4 data = d4open(engine.code(), table);
    ASSERT_NE(data, 0);
    EXPECT_GT(d4recCount(data), 0);
    d4close(data);
  }
}

// While another process holds the whole file (and with it the append lock) a table
// still opens: only the count is checked against the length then.
TEST_F(TwoProcesses, OpensWhileTheOtherProcessHoldsTheWholeFile) {
  Peer peer([&](Peer& self) {
    Engine own;
    Data4 d = d4open(own.code(), path);
    self.SendCode(d4lockAll(d));
    return self.Receive() == 'x' ? 0 : 1;
  });
  ASSERT_EQ(peer.ReceiveCode(), 0);
  Data4 data = d4open(engine.code(), path);
  EXPECT_NE(data, 0);
  EXPECT_EQ(d4recCount(data), 3);
  if (data) d4close(data);
  peer.Send('x');
  EXPECT_EQ(peer.Finish(), 0);
}

// A walk reads records ahead in blocks, but never keeps a block while another
// process holds one of its records locked: that writer may change the record at any
// moment without touching an index, and the walk must see the record as it is then.
TEST_F(TwoProcesses, AWalkRereadsRecordsThatAnotherProcessHoldsLocked) {
  Data4 data = d4open(engine.code(), path);
  ASSERT_NE(data, 0);
  Peer peer([&](Peer& self) {
    Engine own;
    Data4 d = d4open(own.code(), path);
    if (d4go(d, 3) != 0) return 1;
    self.SendCode(d4lock(d, 3));
    if (self.Receive() != 'w') return 2;
    if (f4assign(d4field(d, "id"), "0000033") != 0 || d4flush(d) != 0) return 3;
    self.Send('k');  // written, still locked
    return self.Receive() == 'x' ? 0 : 4;
  });
  ASSERT_EQ(peer.ReceiveCode(), 0);
  ASSERT_EQ(d4top(data), 0);
  ASSERT_EQ(d4skip(data, 1), 0);  // the block of records 1-3 is read now
  EXPECT_EQ(f4str(d4field(data, "id")), "0000002");
  peer.Send('w');
  ASSERT_EQ(peer.Receive(), 'k');
  ASSERT_EQ(d4skip(data, 1), 0);
  EXPECT_EQ(d4recNo(data), 3);
  EXPECT_EQ(f4str(d4field(data, "id")), "0000033");
  peer.Send('x');
  EXPECT_EQ(peer.Finish(), 0);
  d4close(data);
}

// A record a walk took from the blocks read ahead may be older than the disk (another
// process changed a field no index holds). Locking it, as the system does before
// every change, reads it again: the change starts from the other's record.
TEST_F(TwoProcesses, LockingARecordReadAheadReadsItAgain) {
  Data4 data = d4open(engine.code(), path);
  ASSERT_NE(data, 0);
  ASSERT_EQ(d4top(data), 0);
  ASSERT_EQ(d4skip(data, 1), 0);  // records 1-3 read ahead
  Peer peer([&](Peer&) {
    Engine own;
    Data4 d = d4open(own.code(), path);
    if (d4go(d, 3) != 0 || f4memoAssign(d4field(d, "note"), "changed elsewhere") != 0) return 1;
    if (f4assign(d4field(d, "id"), "0000033") != 0 || d4flush(d) != 0) return 2;
    d4close(d);
    return 0;
  });
  ASSERT_EQ(peer.Finish(), 0);
  ASSERT_EQ(d4skip(data, 1), 0);
  ASSERT_EQ(d4recNo(data), 3);
  ASSERT_EQ(d4lock(data, 3), 0);
  EXPECT_EQ(f4str(d4field(data, "id")), "0000033");
  EXPECT_EQ(f4memoStr(d4field(data, "note")), "changed elsewhere");
  ASSERT_EQ(f4assign(d4field(data, "id"), "0000333"), 0);
  ASSERT_EQ(d4unlock(data), 0);
  ASSERT_EQ(d4go(data, 3), 0);
  EXPECT_EQ(f4str(d4field(data, "id")), "0000333");
  EXPECT_EQ(f4memoStr(d4field(data, "note")), "changed elsewhere");
  d4close(data);
}

// A write that moves no key (a deletion, a change of a field no tag holds) leaves
// the index alone: it goes through while another process holds the index lock, and
// only a change of a key waits for it.
TEST_F(TwoProcesses, WritesThatMoveNoKeyNeedNotTheIndexLock) {
  const std::string keyed = (dir.path() / "keyed.dbf").string();
  Data4 data = d4create(engine.code(), keyed, {{"id", 'C', 7, 0}, {"note", 'C', 10, 0}},
                        {{"ID", "id", "", kUniqueError, 0}});
  ASSERT_NE(data, 0);
  for (int i = 1; i <= 3; ++i) ASSERT_EQ(AppendRow(data, {"000000" + std::to_string(i), "note"}), 0);
  Peer peer([&](Peer& self) {
    const int fd = open((dir.path() / "keyed.cdx").c_str(), O_RDWR);
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    lock.l_start = 0x7FFFFFFE;
    lock.l_len = 1;
    self.SendCode(fd >= 0 && fcntl(fd, F_SETLK, &lock) == 0 ? 0 : 1);
    return self.Receive() == 'x' ? 0 : 1;
  });
  ASSERT_EQ(peer.ReceiveCode(), 0);
  ASSERT_EQ(d4go(data, 2), 0);
  ASSERT_EQ(d4delete(data), 0);
  ASSERT_EQ(f4assign(d4field(data, "note"), "changed"), 0);
  EXPECT_EQ(d4flush(data), 0);
  peer.Send('x');
  ASSERT_EQ(peer.Finish(), 0);
  ASSERT_EQ(f4assign(d4field(data, "id"), "0000009"), 0);
  EXPECT_EQ(d4flush(data), 0);
  ASSERT_EQ(d4tagSelect(data, d4tag(data, "ID")), 0);
  EXPECT_EQ(d4seek(data, "0000009"), 0);
  EXPECT_EQ(d4recNo(data), 2);
  EXPECT_TRUE(d4deleted(data));
  EXPECT_EQ(f4str(d4field(data, "note")), "changed   ");
  EXPECT_NE(d4seek(data, "0000002"), 0);
  d4close(data);
}

}  // namespace
