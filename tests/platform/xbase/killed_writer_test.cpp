// A writer killed at random instants, again and again: after every kill the table
// either opens and every tag checks clean, or the open reports the index damaged
// and a reindex from the data file makes it clean; every acknowledged append is
// there with its memo, and no kill ever leaves the data file itself damaged.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <random>
#include <thread>

#include "tag_test_util.h"

namespace {

using namespace xbase;
using tag_test::TagProblems;
using testing_support::TempDir;
using xbase_test::Engine;

const std::vector<std::string> kClean;

std::string Id(long i) {
  char id[16];
  std::snprintf(id, sizeof id, "%07ld", i);
  return id;
}

// The memo of record i, as appended ("") or as rewritten longer by a write-back.
std::string Memo(long i, bool rewritten) {
  std::string text = "question " + std::to_string(i);
  if (rewritten) text += std::string(150, 'r');
  return text;
}

// What the writer does: appends (ids go on from the count), and now and then
// changes an earlier record's keys and memo, deletes one, or reindexes. Reports
// every acknowledged append's record number on the pipe; ends only when killed.
[[noreturn]] void Writer(const std::string& path, int report, unsigned seed) {
  Code4 code = d4init();
  Data4 data = d4open(code, path);
  if (data == 0) _exit(10);
  Field4 id = d4field(data, "id"), n = d4field(data, "n"), note = d4field(data, "note");
  std::mt19937 random(seed);
  for (long step = 1;; ++step) {
    const long next = d4recCount(data) + 1;
    if (d4appendStart(data, 0) != 0 || f4assign(id, Id(next)) != 0 || f4assignLong(n, next % 97) != 0 ||
        f4memoAssign(note, Memo(next, false)) != 0)
      _exit(11);
    if (const int rc = d4append(data); rc != 0) _exit(rc < 0 ? 100 - rc / 10 : 12);
    const std::int32_t recno = static_cast<std::int32_t>(d4recNo(data));
    if (write(report, &recno, sizeof recno) != sizeof recno) _exit(13);
    if (step % 5 == 0) {
      const long r = 1 + static_cast<long>(random() % static_cast<unsigned>(recno));
      if (d4go(data, r) != 0) _exit(14);
      if (f4assignLong(n, static_cast<long>(random() % 1000)) != 0 || f4memoAssign(note, Memo(r, true)) != 0)
        _exit(15);
      if (random() % 4 == 0 && d4delete(data) != 0) _exit(16);
      if (const int rc = d4flush(data); rc != 0) _exit(rc < 0 ? 100 - rc / 10 : 17);
    }
    if (step % 150 == 0 && d4reindex(data) != 0) _exit(18);
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

// Opens the table as the system does after a kill, mending a reported index with a
// reindex; checks every tag and every record. The number of records.
long CheckAfterKill(const std::string& path, long acknowledged, int& reindexed) {
  Engine engine;
  code4errorCode(engine.code(), 0);
  Data4 data = d4open(engine.code(), path);
  if (data == 0) {
    const int code = code4errorCode(engine.code(), 0);
    EXPECT_EQ(code, kErrorIndex) << "the data file itself must never be damaged";
    if (code != kErrorIndex) return -1;
    code4autoOpen(engine.code(), 0);
    Data4 bare = d4open(engine.code(), path);
    EXPECT_NE(bare, 0);
    if (bare == 0) return -1;
    EXPECT_EQ(d4reindex(bare), 0);
    d4close(bare);
    code4autoOpen(engine.code(), 1);
    data = d4open(engine.code(), path);
    EXPECT_NE(data, 0) << code4errorCode(engine.code(), 0);
    if (data == 0) return -1;
    ++reindexed;
  }
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

TEST(KilledWriter, EveryKillLeavesACleanTableOrAnIndexThatAReindexMends) {
  TempDir dir;
  const std::string path = (dir.path() / "quests").string();
  Create(path);
  if (HasFatalFailure()) return;
  std::mt19937 random(20261210);
  long acknowledged = 0;
  int reindexed = 0;
  constexpr int kKills = 40;
  for (int round = 0; round < kKills && !HasFailure(); ++round) {
    int report[2];
    ASSERT_EQ(pipe(report), 0);
    std::fflush(nullptr);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      close(report[0]);
      Writer(path, report[1], static_cast<unsigned>(round));
    }
    close(report[1]);
    std::int32_t recno = 0;
    // The first acknowledged append of this round, then a random instant.
    const bool started = read(report[0], &recno, sizeof recno) == sizeof recno;
    if (started) std::this_thread::sleep_for(std::chrono::microseconds(random() % 12000));
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    while (read(report[0], &recno, sizeof recno) == sizeof recno) acknowledged = std::max<long>(acknowledged, recno);
    close(report[0]);
    ASSERT_TRUE(started) << "the writer ended on its own with status " << WEXITSTATUS(status);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the writer ended on its own with status " << WEXITSTATUS(status);
    SCOPED_TRACE("kill " + std::to_string(round));
    ASSERT_GE(CheckAfterKill(path, acknowledged, reindexed), acknowledged);
  }
  // Not a requirement, but a test that never met a cut-short update shows little.
  std::printf("kills %d, reindexed after %d, records %ld\n", kKills, reindexed, acknowledged);
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
