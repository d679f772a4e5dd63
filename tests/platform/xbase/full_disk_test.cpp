// Engine writes that cannot get their space: a disk that fills (a small file system
// of the test's own) or the process's file size limit. Every append, field write
// (memos too), reindex and pack fails with the engine's write error, never with a
// signal, and leaves the table, its memo file and its index as they were before the
// failed call: the next open finds every tag clean and the rows that the calls before
// it left. Each case runs in a child process, so that a signal is seen as one.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <ostream>
#include <string>
#include <tuple>
#include <vector>

#include "support/small_disk.h"
#include "tag_test_util.h"

namespace {

namespace fs = std::filesystem;
using namespace xbase;
using tag_test::TagProblems;
using testing_support::ReadFile;
using testing_support::SmallDisk;
using testing_support::TempDir;
using testing_support::WriteFile;
using xbase_test::Be32;
using xbase_test::Engine;

const std::vector<std::string> kClean;
constexpr long kBaseRows = 300;  // every tenth of them deleted

std::string Id(long i) {
  char id[24];
  std::snprintf(id, sizeof id, "%07ld", i);
  return id;
}

// Row i as first written and as a field write changes it: every key moves and both
// memos grow, so that a write needs new index pages and new memo blocks.
struct Row {
  std::string id, name;
  long n = 0;
  std::string note, answer;
};

Row RowFor(long i, bool rewritten) {
  Row r;
  r.id = Id(i);
  r.name = (rewritten ? "changed " : "question ") + std::to_string(i * 7919 % 1009);
  r.n = rewritten ? i * 31 % 997 : i % 97;
  r.note = std::string(static_cast<std::size_t>(40 + i % 300), static_cast<char>('a' + i % 26));
  r.answer = i % 3 == 0 ? "" : "answer " + std::to_string(i);
  if (rewritten) {
    r.note += std::string(r.note.size(), 'z');
    r.answer += std::string(200, 'y');
  }
  return r;
}

// A record as the checks compare it.
std::string Text(const Row& r, bool deleted) {
  return std::string(deleted ? "*" : " ") + "|" + r.id + "|" + r.name + "|" + std::to_string(r.n) + "|" + r.note +
         "|" + r.answer;
}

struct Table {
  Data4 data = 0;
  Field4 id = 0, name = 0, n = 0, note = 0, answer = 0;
};

Table Bind(Data4 data) {
  return {data, d4field(data, "id"), d4field(data, "name"), d4field(data, "n"), d4field(data, "note"),
          d4field(data, "answer")};
}

int Assign(const Table& t, const Row& r) {
  for (int code : {f4assign(t.id, r.id), f4assign(t.name, r.name), f4assignLong(t.n, r.n),
                   f4memoAssign(t.note, r.note), f4memoAssign(t.answer, r.answer)})
    if (code != kSuccess) return code;
  return kSuccess;
}

int Append(const Table& t, const Row& r) {
  const int code = d4appendStart(t.data, 0);
  if (code != kSuccess) return code;
  const int assigned = Assign(t, r);
  return assigned != kSuccess ? assigned : d4append(t.data);
}

std::vector<std::string> Records(const Table& t) {
  std::vector<std::string> out;
  for (long r = 1; r <= d4recCount(t.data); ++r) {
    if (d4go(t.data, r) != kSuccess) break;
    std::string name = f4str(t.name);
    name.erase(name.find_last_not_of(' ') + 1);
    out.push_back(Text({f4str(t.id), name, f4long(t.n), f4memoStr(t.note), f4memoStr(t.answer)}, d4deleted(t.data)));
  }
  return out;
}

// The base table: kBaseRows rows, every tenth deleted.
void MakeBase(const std::string& path) {
  Engine engine;
  const Data4 data = d4create(engine.code(), path,
                              {{"id", 'C', 7, 0}, {"name", 'C', 40, 0}, {"n", 'N', 6, 0}, {"note", 'M', 10, 0},
                               {"answer", 'M', 10, 0}},
                              {{"ID", "id", "", kUniqueError, 0},
                               {"NAME", "UPPER(name)", "", 0, 0},
                               {"NID", "STR(n,6)+id", "", 0, 0},
                               {"LIVE", "id", "!DELETED()", 0, kDescending}});
  ASSERT_NE(data, 0);
  const Table t = Bind(data);
  for (long i = 1; i <= kBaseRows; ++i) {
    ASSERT_EQ(Append(t, RowFor(i, false)), kSuccess);
    if (i % 10 == 0) {
      ASSERT_EQ(d4delete(data), kSuccess);
      ASSERT_EQ(d4flush(data), kSuccess);
    }
  }
  ASSERT_EQ(d4close(data), kSuccess);
}

std::vector<std::string> BaseRecords() {
  std::vector<std::string> out;
  for (long i = 1; i <= kBaseRows; ++i) out.push_back(Text(RowFor(i, false), i % 10 == 0));
  return out;
}

// Rows appended through a handle opened without the index, and the index marked as a
// writer killed midway leaves it: only a reindex from the records mends it, and that
// reindex needs more room than the index now takes.
constexpr long kBehindRows = 400;
void PutIndexBehind(const std::string& path) {
  Engine engine;
  code4autoOpen(engine.code(), 0);
  const Data4 data = d4open(engine.code(), path + ".dbf");
  ASSERT_NE(data, 0);
  const Table t = Bind(data);
  for (long i = kBaseRows + 1; i <= kBaseRows + kBehindRows; ++i) ASSERT_EQ(Append(t, RowFor(i, false)), kSuccess);
  ASSERT_EQ(d4close(data), kSuccess);
  std::string cdx = ReadFile(path + ".cdx");
  cdx[28] = 1;
  WriteFile(path + ".cdx", cdx);
}

// The three files' bytes, the index's change counter (which only tells other
// processes to read the index again) left out.
std::string FileBytes(const std::string& path) {
  std::string cdx = ReadFile(path + ".cdx");
  if (cdx.size() >= 12) std::memset(cdx.data() + 8, 0, 4);
  return ReadFile(path + ".dbf") + "|" + cdx + "|" + ReadFile(path + ".fpt");
}

enum class Operation { Append, FieldWrite, Reindex, Pack };
enum class Limit { FullDisk, FileSizeLimit };

const char* NameOf(Operation op) {
  switch (op) {
    case Operation::Append: return "Appends";
    case Operation::FieldWrite: return "FieldWrites";
    case Operation::Reindex: return "Reindex";
    case Operation::Pack: return "Pack";
  }
  return "";
}

void PrintTo(Operation op, std::ostream* out) { *out << NameOf(op); }
void PrintTo(Limit limit, std::ostream* out) { *out << (limit == Limit::FullDisk ? "full disk" : "file size limit"); }

// What the child reports for each call: its step and its code.
struct Report {
  std::int32_t step = 0;
  std::int32_t code = 0;
};

void Send(int fd, std::int32_t step, int code) {
  const Report report{step, static_cast<std::int32_t>(code)};
  if (write(fd, &report, sizeof report) != sizeof report) _exit(90);
}

// The operation, call after call until one fails; every call's code goes on the pipe.
// Ends the child without closing the table (a close would write back what failed).
[[noreturn]] void RunOperation(Operation op, const std::string& path, int fd) {
  const Code4 code = d4init();
  if (op == Operation::Reindex) code4autoOpen(code, 0);
  const Data4 data = d4open(code, path + ".dbf");
  if (data == 0) _exit(91);
  const Table t = Bind(data);
  switch (op) {
    case Operation::Append:
      for (long i = kBaseRows + 1; i <= kBaseRows + 3000; ++i) {
        const int rc = Append(t, RowFor(i, false));
        Send(fd, static_cast<std::int32_t>(i), rc);
        if (rc != kSuccess) break;
      }
      break;
    case Operation::FieldWrite:
      for (long i = 1; i <= kBaseRows; ++i) {
        if (d4go(data, i) != kSuccess) _exit(92);
        int rc = Assign(t, RowFor(i, true));
        if (rc == kSuccess) rc = d4flush(data);
        Send(fd, static_cast<std::int32_t>(i), rc);
        if (rc != kSuccess) break;
      }
      break;
    case Operation::Reindex:
      Send(fd, 1, d4reindex(data));
      break;
    case Operation::Pack:
      Send(fd, 1, d4pack(data));
      break;
  }
  _exit(0);
}

struct Outcome {
  bool signaled = false;
  int signal = 0;
  int exitStatus = 0;
  std::vector<Report> reports;
};

Outcome RunChild(Operation op, const std::string& path, Limit limit, std::uintmax_t room) {
  Outcome out;
  std::uintmax_t largest = 0;
  for (const char* extension : {".dbf", ".cdx", ".fpt"}) largest = std::max(largest, fs::file_size(path + extension));
  int pipeFds[2];
  if (pipe(pipeFds) != 0) return out;
  std::fflush(nullptr);
  const pid_t child = fork();
  if (child == 0) {
    close(pipeFds[0]);
    if (limit == Limit::FileSizeLimit) {
      const rlimit size{static_cast<rlim_t>(largest + room), static_cast<rlim_t>(largest + room)};
      if (setrlimit(RLIMIT_FSIZE, &size) != 0) _exit(93);
    }
    RunOperation(op, path, pipeFds[1]);
  }
  close(pipeFds[1]);
  Report report;
  while (read(pipeFds[0], &report, sizeof report) == static_cast<ssize_t>(sizeof report)) out.reports.push_back(report);
  close(pipeFds[0]);
  int status = 0;
  waitpid(child, &status, 0);
  out.signaled = WIFSIGNALED(status);
  out.signal = out.signaled ? WTERMSIG(status) : 0;
  out.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return out;
}

// Memo blocks a text takes (its 8-byte run header included), none for "".
std::uint64_t BlocksFor(std::size_t length) { return length == 0 ? 0 : (length + 8 + 63) / 64; }

// Nothing lies beyond what the table names: the data file ends at its counted
// records and the end mark, and (only appends wrote the memo file) the memo file
// holds the runs of its records and no more.
void ExpectNothingLeftBehind(const std::string& path, const Table& t, bool appendedOnly) {
  const std::string dbf = ReadFile(path + ".dbf");
  const std::uint32_t count = xbase_test::Le32(dbf, 4);
  const auto headerLength = static_cast<unsigned char>(dbf[8]) | static_cast<unsigned char>(dbf[9]) << 8;
  const auto recordLength = static_cast<unsigned char>(dbf[10]) | static_cast<unsigned char>(dbf[11]) << 8;
  EXPECT_EQ(dbf.size(), static_cast<std::size_t>(headerLength) + count * recordLength + 1);
  const std::string fpt = ReadFile(path + ".fpt");
  EXPECT_EQ(fpt.size(), static_cast<std::size_t>(Be32(fpt, 0)) * 64) << "the memo file's end and its next free block";
  if (!appendedOnly) return;
  std::uint64_t blocks = 512 / 64;
  for (long r = 1; r <= d4recCount(t.data); ++r) {
    d4go(t.data, r);
    blocks += BlocksFor(f4memoStr(t.note).size()) + BlocksFor(f4memoStr(t.answer).size());
  }
  EXPECT_EQ(Be32(fpt, 0), blocks) << "memo blocks no record names";
}

using Case = std::tuple<Operation, Limit>;

class FullDisk : public ::testing::TestWithParam<Case> {
 protected:
  void SetUp() override {
    MakeBase((seed.path() / "quests").string());
    if (HasFatalFailure()) return;
    if (std::get<0>(GetParam()) == Operation::Reindex) PutIndexBehind((seed.path() / "quests").string());
    if (std::get<1>(GetParam()) == Limit::FullDisk) {
      std::string why;
      disk = SmallDisk::Make(8u << 20, &why);
      if (!disk) GTEST_SKIP() << why;
    }
  }
  // The folder the table is copied into for one case.
  fs::path CaseFolder() {
    const fs::path root = disk ? disk->path() : work.path();
    fs::remove_all(root / "case");
    fs::create_directories(root / "case");
    return root / "case";
  }

  TempDir seed, work;
  std::unique_ptr<SmallDisk> disk;
};

// Room left to the writes: none, then a page more each time.
std::vector<std::uintmax_t> Rooms() {
  std::vector<std::uintmax_t> rooms;
  for (std::uintmax_t r = 0; r <= 131072; r += 4096) rooms.push_back(r);
  rooms.push_back(1000);  // a limit that is no whole page
  return rooms;
}

TEST_P(FullDisk, AWriteWithoutItsSpaceFailsAsAWriteErrorAndLeavesTheTableAsItWas) {
  const auto [op, limit] = GetParam();
  int failed = 0;
  for (const std::uintmax_t room : Rooms()) {
    SCOPED_TRACE(std::string(NameOf(op)) + " with " + std::to_string(room) + " bytes of room");
    const fs::path folder = CaseFolder();
    for (const char* extension : {".dbf", ".cdx", ".fpt"})
      fs::copy_file(seed.path() / (std::string("quests") + extension), folder / (std::string("quests") + extension));
    const std::string path = (folder / "quests").string();
    const std::string before = FileBytes(path);
    if (disk) {
      ASSERT_TRUE(disk->LeaveFree(room));
    }

    const Outcome run = RunChild(op, path, limit, room);
    if (disk) disk->Unfill();
    ASSERT_FALSE(run.signaled) << "the engine died of signal " << run.signal << " (" << strsignal(run.signal) << ")";
    ASSERT_EQ(run.exitStatus, 0);
    ASSERT_FALSE(run.reports.empty());
    const Report last = run.reports.back();
    const bool callFailed = last.code != kSuccess;
    if (callFailed) {
      ++failed;
      EXPECT_EQ(last.code, kErrorWrite) << "step " << last.step;
    }
    const long done = callFailed ? last.step - 1 : last.step;  // the calls that went through

    Engine engine;
    if (op == Operation::Reindex) {
      if (callFailed) {
        EXPECT_TRUE(FileBytes(path) == before) << "the failed reindex changed the files";
        // With room again, the reindex the failed one could not make mends it.
        code4autoOpen(engine.code(), 0);
        const Data4 bare = d4open(engine.code(), path + ".dbf");
        ASSERT_NE(bare, 0);
        EXPECT_EQ(d4reindex(bare), kSuccess);
        d4close(bare);
        code4autoOpen(engine.code(), 1);
      }
    } else if (op == Operation::Pack && callFailed) {
      EXPECT_TRUE(FileBytes(path) == before) << "the failed pack changed the files";
    }
    const Data4 data = d4open(engine.code(), path + ".dbf");
    ASSERT_NE(data, 0) << "the open reports " << code4errorCode(engine.code(), 0);
    const Table t = Bind(data);
    EXPECT_EQ(TagProblems(data), kClean);

    std::vector<std::string> expected = BaseRecords();
    switch (op) {
      case Operation::Append:
        for (long i = kBaseRows + 1; i <= done; ++i) expected.push_back(Text(RowFor(i, false), false));
        break;
      case Operation::FieldWrite:
        for (long i = 1; i <= done; ++i) expected[static_cast<std::size_t>(i - 1)] = Text(RowFor(i, true), i % 10 == 0);
        break;
      case Operation::Reindex:
        for (long i = kBaseRows + 1; i <= kBaseRows + kBehindRows; ++i) expected.push_back(Text(RowFor(i, false), false));
        break;
      case Operation::Pack:
        if (!callFailed) std::erase_if(expected, [](const std::string& row) { return row.front() == '*'; });
        break;
    }
    EXPECT_EQ(Records(t), expected);
    ExpectNothingLeftBehind(path, t, op == Operation::Append);
    d4close(data);
    if (HasFailure()) break;  // one room's account is enough
  }
  // The rooms are chosen so that most calls meet the end of the space.
  EXPECT_GT(failed, 0);
}

std::string CaseName(const ::testing::TestParamInfo<Case>& info) {
  return std::string(NameOf(std::get<0>(info.param))) +
         (std::get<1>(info.param) == Limit::FullDisk ? "OnAFullDisk" : "AtTheFileSizeLimit");
}

INSTANTIATE_TEST_SUITE_P(EveryWrite, FullDisk,
                         ::testing::Combine(::testing::Values(Operation::Append, Operation::FieldWrite,
                                                              Operation::Reindex, Operation::Pack),
                                            ::testing::Values(Limit::FullDisk)),
                         CaseName);
// The limit lies beyond the largest file (the memo file), which only these grow.
INSTANTIATE_TEST_SUITE_P(MemoGrowth, FullDisk,
                         ::testing::Combine(::testing::Values(Operation::Append, Operation::FieldWrite),
                                            ::testing::Values(Limit::FileSizeLimit)),
                         CaseName);

}  // namespace
