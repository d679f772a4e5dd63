// A writer killed at random instants, again and again: after every kill the table
// either opens and every tag checks clean, or the open reports the index damaged
// and a reindex from the data file makes it clean; every acknowledged append is
// there with its memo, and no kill ever leaves the data file itself damaged.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <random>
#include <set>
#include <thread>

#include "tag_test_util.h"

namespace {

using namespace xbase;
using tag_test::TagProblems;
using testing_support::TempDir;
using xbase_test::Engine;

const std::vector<std::string> kClean;

std::string Id(long i) {
  char id[24];  // room for any long, so the format never truncates
  std::snprintf(id, sizeof id, "%07ld", i);
  return id;
}

// The memo of record i, as appended ("") or as rewritten longer by a write-back.
std::string Memo(long i, bool rewritten) {
  std::string text = "question " + std::to_string(i);
  if (rewritten) text += std::string(150, 'r');
  return text;
}

// The table as a child process opens it (it ends when it cannot).
struct Quests {
  Data4 data = 0;
  Field4 id = 0, n = 0, note = 0;
};

Quests OpenInChild(const std::string& path) {
  Quests q;
  q.data = d4open(d4init(), path);
  if (q.data == 0) _exit(10);
  q.id = d4field(q.data, "id");
  q.n = d4field(q.data, "n");
  q.note = d4field(q.data, "note");
  return q;
}

int AppendQuestion(const Quests& q, long which, long n) {
  if (d4appendStart(q.data, 0) != 0 || f4assign(q.id, Id(which)) != 0 || f4assignLong(q.n, n) != 0 ||
      f4memoAssign(q.note, Memo(which, false)) != 0)
    _exit(11);
  return d4append(q.data);
}

// What the writer does: appends (ids go on from the count), and now and then
// changes an earlier record's keys and memo, deletes one, or reindexes. Reports
// every acknowledged append's record number on the pipe; ends only when killed.
// How the writer holds the table: lock by lock, the whole file from the start, or
// the whole file with its rows taken in bulk (the tags rebuilt at each reindex).
enum class Hold { RowByRow, Whole, Bulk };

[[noreturn]] void Writer(const std::string& path, int report, unsigned seed, Hold hold = Hold::RowByRow) {
  const Quests q = OpenInChild(path);
  const Data4 data = q.data;
  if (hold != Hold::RowByRow && d4lockAll(data) != 0) _exit(19);
  if (hold == Hold::Bulk && d4bulkAppend(data, 1) != 0) _exit(20);
  std::mt19937 random(seed);
  for (long step = 1;; ++step) {
    const long next = d4recCount(data) + 1;
    if (const int rc = AppendQuestion(q, next, next % 97); rc != 0) _exit(rc < 0 ? 100 - rc / 10 : 12);
    const std::int32_t recno = static_cast<std::int32_t>(d4recNo(data));
    if (write(report, &recno, sizeof recno) != sizeof recno) _exit(13);
    if (step % 5 == 0) {
      const long r = 1 + static_cast<long>(random() % static_cast<unsigned>(recno));
      if (d4go(data, r) != 0) _exit(14);
      if (f4assignLong(q.n, static_cast<long>(random() % 1000)) != 0 || f4memoAssign(q.note, Memo(r, true)) != 0)
        _exit(15);
      if (random() % 4 == 0 && d4delete(data) != 0) _exit(16);
      if (const int rc = d4flush(data); rc != 0) _exit(rc < 0 ? 100 - rc / 10 : 17);
    }
    if (step % 150 == 0 && d4reindex(data) != 0) _exit(18);
    if (step % 150 == 0 && hold == Hold::Bulk && d4bulkAppend(data, 1) != 0) _exit(20);
  }
}

void Create(const std::string& path) {
  Engine engine;
  Data4 data = d4create(engine.code(), path, {{"id", 'C', 7, 0}, {"n", 'N', 6, 0}, {"note", 'M', 10, 0}},
                        {{"ID", "id", "", kUniqueError, 0},
                         {"N", "n", "", 0, 0},
                         {"NID", "STR(n,6)+id", "", 0, 0},
                         {"LIVE", "id", "!DELETED()", 0, kDescending}});
  ASSERT_NE(data, 0);
  d4close(data);
}

// What a process run by RunAndKill reported on its pipe before it was killed.
struct Killed {
  bool started = false;  // it reported at least its first bytes
  bool signaled = false;
  int status = 0;
  std::string reports;
};

// Forks body(fd) (it never returns), waits for its first report of first bytes,
// lets it run for up to pause more and kills it.
template <class Body>
Killed RunAndKill(Body body, std::size_t first, std::chrono::microseconds pause) {
  Killed out;
  int report[2];
  if (pipe(report) != 0) return out;
  std::fflush(nullptr);
  const pid_t child = fork();
  if (child < 0) return out;
  if (child == 0) {
    close(report[0]);
    body(report[1]);
  }
  close(report[1]);
  out.reports.resize(first);
  out.started = read(report[0], out.reports.data(), first) == static_cast<ssize_t>(first);
  if (out.started) std::this_thread::sleep_for(pause);
  kill(child, SIGKILL);
  waitpid(child, &out.status, 0);
  out.signaled = WIFSIGNALED(out.status);
  char more[4096];
  for (ssize_t n; (n = read(report[0], more, sizeof more)) > 0;) out.reports.append(more, static_cast<size_t>(n));
  close(report[0]);
  if (!out.started) out.reports.clear();
  return out;
}

// Opens the table as the system does after a kill: when the open reports the index
// (never the data file), a reindex from the data file mends it first. 0 on failure.
Data4 OpenMending(Code4 code, const std::string& path, int& reindexed) {
  code4errorCode(code, 0);
  Data4 data = d4open(code, path);
  if (data != 0) return data;
  const int error = code4errorCode(code, 0);
  EXPECT_EQ(error, kErrorIndex) << "the data file itself must never be damaged";
  if (error != kErrorIndex) return 0;
  code4autoOpen(code, 0);
  Data4 bare = d4open(code, path);
  EXPECT_NE(bare, 0);
  if (bare != 0) {
    EXPECT_EQ(d4reindex(bare), 0);
    d4close(bare);
  }
  code4autoOpen(code, 1);
  data = d4open(code, path);
  EXPECT_NE(data, 0) << code4errorCode(code, 0);
  ++reindexed;
  return data;
}

// Checks every tag and every record after a kill. The number of records.
long CheckAfterKill(const std::string& path, long acknowledged, int& reindexed) {
  Engine engine;
  Data4 data = OpenMending(engine.code(), path, reindexed);
  if (data == 0) return -1;
  EXPECT_EQ(TagProblems(data), kClean);
  const long count = d4recCount(data);
  EXPECT_GE(count, acknowledged);
  Field4 id = d4field(data, "id"), note = d4field(data, "note");
  for (long r = 1; r <= count; ++r) {
    EXPECT_EQ(d4go(data, r), 0);
    EXPECT_EQ(f4str(id), Id(r));
    const std::string memo = f4memoStr(note);
    EXPECT_TRUE(memo == Memo(r, false) || memo == Memo(r, true)) << r << ": " << memo;
  }
  d4close(data);
  return count;
}

void KillAgainAndAgain(Hold hold, int kills) {
  TempDir dir;
  const std::string path = (dir.path() / "quests").string();
  Create(path);
  if (::testing::Test::HasFatalFailure()) return;
  std::mt19937 random(20261210);
  long acknowledged = 0;
  int reindexed = 0;
  const int kKills = kills;
  for (int round = 0; round < kKills && !::testing::Test::HasFailure(); ++round) {
    // The first acknowledged append of this round, then a random instant.
    const Killed run = RunAndKill([&](int fd) { Writer(path, fd, static_cast<unsigned>(round), hold); },
                                  sizeof(std::int32_t), std::chrono::microseconds(random() % 12000));
    for (size_t at = 0; at + sizeof(std::int32_t) <= run.reports.size(); at += sizeof(std::int32_t)) {
      std::int32_t recno = 0;
      std::memcpy(&recno, run.reports.data() + at, sizeof recno);
      acknowledged = std::max<long>(acknowledged, recno);
    }
    ASSERT_TRUE(run.started && run.signaled) << "the writer ended on its own with status " << WEXITSTATUS(run.status);
    SCOPED_TRACE("kill " + std::to_string(round));
    ASSERT_GE(CheckAfterKill(path, acknowledged, reindexed), acknowledged);
  }
  // Not a requirement, but a test that never met a cut-short update shows little.
  std::printf("kills %d, reindexed after %d, records %ld\n", kKills, reindexed, acknowledged);
}

TEST(KilledWriter, EveryKillLeavesACleanTableOrAnIndexThatAReindexMends) { KillAgainAndAgain(Hold::RowByRow, 40); }

// Holding the whole file keeps the index lock from one append to the next.
TEST(KilledWriter, AWriterHoldingTheWholeFileLeavesAsMuchWhenKilled) { KillAgainAndAgain(Hold::Whole, 20); }

// A bulk copy leaves its mark until the tags are rebuilt: every kill calls for a reindex.
TEST(KilledWriter, ABulkCopyKilledLeavesItsRowsForTheReindex) { KillAgainAndAgain(Hold::Bulk, 20); }

// A packer killed at random instants: records deleted and appended between packs
// by the same process, every pack killed somewhere in the middle now and then.
// After every kill no record is there twice, every record that should be live is
// live with its own memo, and every tag checks clean (after a reindex when the
// open reports the index).
[[noreturn]] void Packer(const std::string& path, int report, unsigned seed) {
  const Quests q = OpenInChild(path);
  const Data4 data = q.data;
  std::mt19937 random(seed);
  auto say = [&](char what, long value) {
    char line[16];
    std::snprintf(line, sizeof line, "%c%07ld", what, value);
    if (write(report, line, 8) != 8) _exit(13);
  };
  for (;;) {
    for (int i = 0; i < 20; ++i) {
      const long r = 1 + static_cast<long>(random() % static_cast<unsigned>(d4recCount(data)));
      if (d4go(data, r) != 0) _exit(14);
      if (d4deleted(data)) continue;
      const long which = std::atol(f4str(q.id).c_str());
      say('d', which);  // before: a deletion killed unreported is no lost record
      if (d4delete(data) != 0 || d4flush(data) != 0) _exit(15);
    }
    for (int i = 0; i < 20; ++i) {
      const long which = 1000000 + static_cast<long>(random() % 8999999);
      const int rc = AppendQuestion(q, which, which % 89);
      if (rc == kUnique) continue;
      if (rc != 0) _exit(12);
      say('a', which);
    }
    if (d4pack(data) != 0) _exit(16);
    say('p', 0);
  }
}

TEST(KilledWriter, EveryKilledPackLeavesEachRecordOnceWithItsMemo) {
  TempDir dir;
  const std::string path = (dir.path() / "quests").string();
  Create(path);
  if (HasFatalFailure()) return;
  std::set<long> live;
  {
    Engine engine;
    Data4 data = d4open(engine.code(), path);
    ASSERT_NE(data, 0);
    for (long i = 1; i <= 3000; ++i) {
      ASSERT_EQ(xbase_test::AppendRow(data, {Id(i), std::to_string(i % 89), Memo(i, false)}), 0);
      live.insert(i);
    }
    d4close(data);
  }
  std::mt19937 random(7);
  int reindexed = 0, packs = 0;
  constexpr int kKills = 25;
  for (int round = 0; round < kKills && !HasFailure(); ++round) {
    const Killed run =
        RunAndKill([&](int fd) { Packer(path, fd, static_cast<unsigned>(round) * 7919u + 1); }, 8,
                   std::chrono::microseconds(random() % 120000));
    std::set<long> gone, added;
    for (size_t at = 0; at + 8 <= run.reports.size(); at += 8) {
      const char* line = run.reports.data() + at;
      const long value = std::atol(std::string(line + 1, 7).c_str());
      if (line[0] == 'd') gone.insert(value);
      if (line[0] == 'a') added.insert(value);
      if (line[0] == 'p') ++packs;
    }
    ASSERT_TRUE(run.started && run.signaled) << "the packer ended on its own with status " << WEXITSTATUS(run.status);
    SCOPED_TRACE("kill " + std::to_string(round));
    for (long a : added) live.insert(a);
    for (long g : gone) live.erase(g);

    Engine engine;
    Data4 data = OpenMending(engine.code(), path, reindexed);
    ASSERT_NE(data, 0);
    EXPECT_EQ(TagProblems(data), kClean);
    // Every record once; the live ones are those acknowledged (an unacknowledged
    // append or deletion may or may not have happened).
    std::set<long> seen, found;
    Field4 id = d4field(data, "id"), note = d4field(data, "note");
    for (long r = 1; r <= d4recCount(data); ++r) {
      ASSERT_EQ(d4go(data, r), 0);
      const long which = std::atol(f4str(id).c_str());
      EXPECT_TRUE(seen.insert(which).second) << "record " << which << " is there twice";
      EXPECT_EQ(f4memoStr(note), Memo(which, false)) << which;
      if (!d4deleted(data)) found.insert(which);
    }
    for (long l : live) EXPECT_TRUE(found.count(l)) << "record " << l << " was lost";
    live = found;
    d4close(data);
  }
  std::printf("kills %d, packs %d, reindexed after %d\n", kKills, packs, reindexed);
}

// The state an append killed after its record but before its count leaves: the
// index marked, one whole record beyond the count. The open reports the index, not
// the data file; a reindex cuts the uncounted record off and clears the mark. The
// same record beyond the count without the mark is damage to the data file.
TEST(KilledWriter, ARecordBeyondTheCountIsCutOffByTheReindexItsMarkCallsFor) {
  using testing_support::ReadFile;
  using testing_support::WriteFile;
  TempDir dir;
  const std::string path = (dir.path() / "quests").string();
  Create(path);
  if (HasFatalFailure()) return;
  {
    Engine engine;
    Data4 data = d4open(engine.code(), path);
    ASSERT_NE(data, 0);
    for (long i = 1; i <= 3; ++i) ASSERT_EQ(xbase_test::AppendRow(data, {Id(i), "1", Memo(i, false)}), 0);
    d4close(data);
  }
  const std::string dbf = ReadFile(path + ".dbf");
  const std::string cdx = ReadFile(path + ".cdx");
  const int headerLength = static_cast<unsigned char>(dbf[8]) | static_cast<unsigned char>(dbf[9]) << 8;
  const int recordLength = static_cast<unsigned char>(dbf[10]) | static_cast<unsigned char>(dbf[11]) << 8;
  ASSERT_EQ(dbf.size(), static_cast<std::size_t>(headerLength + 3 * recordLength + 1));
  // Record 4 written, its count not.
  std::string tail = dbf.substr(static_cast<std::size_t>(headerLength), static_cast<std::size_t>(recordLength));
  tail.replace(1, 7, Id(4));
  const std::string killed = dbf.substr(0, dbf.size() - 1) + tail + '\x1A';
  std::string marked = cdx;
  marked[28] = 1;

  WriteFile(path + ".dbf", killed);
  {
    Engine engine;
    EXPECT_EQ(d4open(engine.code(), path), 0);
    EXPECT_EQ(code4errorCode(engine.code(), 0), kErrorDamaged) << "no mark: the record is not ours to drop";
  }
  WriteFile(path + ".cdx", marked);
  Engine engine;
  EXPECT_EQ(d4open(engine.code(), path), 0);
  EXPECT_EQ(code4errorCode(engine.code(), 0), kErrorIndex);
  code4autoOpen(engine.code(), 0);
  Data4 bare = d4open(engine.code(), path);
  ASSERT_NE(bare, 0);
  EXPECT_EQ(d4recCount(bare), 3);
  EXPECT_EQ(d4reindex(bare), 0);
  // The index it rebuilt stays open on the handle and is kept up to date.
  EXPECT_EQ(xbase_test::AppendRow(bare, {Id(4), "2", Memo(4, false)}), 0);
  EXPECT_EQ(TagProblems(bare), kClean);
  d4close(bare);
  code4autoOpen(engine.code(), 1);
  Data4 data = d4open(engine.code(), path);
  ASSERT_NE(data, 0);
  EXPECT_EQ(d4recCount(data), 4);
  EXPECT_EQ(TagProblems(data), kClean);
  d4close(data);
  EXPECT_EQ(ReadFile(path + ".dbf").size(), static_cast<std::size_t>(headerLength + 4 * recordLength + 1));
}

}  // namespace
