// Every tag of the schema on tables we create: filled with the other program's
// rows, then changed, deleted from, packed and reindexed, each step checked as the
// dump checks a table; and two processes sharing one table while one writes.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <set>
#include <thread>

#include "tag_test_util.h"

namespace {

using namespace xbase;
using tag_test::FixtureDir;
using tag_test::TagProblems;
using testing_support::TempDir;
using xbase_test::AppendRow;
using xbase_test::Engine;

const std::vector<std::string> kClean;

TEST(TagSchema, EverySchemaTagIsMaintainedThroughEveryWrite) {
  Engine engine;
  TempDir dir;
  int tags = 0;
  for (const auto& path : tag_test::Tables(FixtureDir("peer-made"))) {
    const std::string name = path.stem().string();
    SCOPED_TRACE(name);
    Data4 source = d4open(engine.code(), path.string());
    ASSERT_NE(source, 0);
    tag_test::Structure s = tag_test::StructureOf(source);
    for (auto& t : s.tags)
      if (t.name == "SESVERQUES") t.name = "SESVERQUEST";  // the schema's own (longer) name
    Data4 data = d4create(engine.code(), (dir.path() / name).string(), s.fields, s.tags);
    ASSERT_NE(data, 0);
    tags += static_cast<int>(s.tags.size());

    long refused = 0;
    for (long r = 1; r <= d4recCount(source); ++r) {
      ASSERT_EQ(d4go(source, r), 0);
      int rc = tag_test::AppendCopy(source, data);
      if (rc == kUnique) {
        ++refused;
      } else {
        EXPECT_EQ(rc, 0);
      }
    }
    EXPECT_EQ(d4recCount(data), d4recCount(source) - refused);
    d4close(source);
    EXPECT_EQ(TagProblems(data), kClean) << "after appends";
    if (name == "sesquests") {
      EXPECT_NE(d4tag(data, "SESVERQUEST"), 0);
    }
    const bool refuses = std::any_of(s.tags.begin(), s.tags.end(), [](const TagInfo& t) {
      return t.unique == kUniqueError;
    });
    if (!refuses) {
      EXPECT_EQ(refused, 0);
    }

    // Change every field of a few records; a unique tag may refuse some.
    for (long r : {1L, 7L, 20L}) {
      if (r > d4recCount(data)) continue;
      ASSERT_EQ(d4go(data, r), 0);
      for (int j = 1; j <= d4numFields(data); ++j) {
        Field4 f = d4fieldJ(data, j);
        if (f4type(f) == 'C') f4assign(f, "x" + std::to_string(r));
        if (f4type(f) == 'N') f4assignLong(f, r % 7);
        if (f4type(f) == 'D') f4assign(f, "19990101");
        if (f4type(f) == 'L') f4assign(f, r % 2 ? "T" : "F");
      }
      int rc = d4flush(data);
      EXPECT_TRUE(rc == 0 || (rc == kUnique && refuses)) << rc;
    }
    EXPECT_EQ(TagProblems(data), kClean) << "after write-back";
    for (long r = 3; r <= d4recCount(data); r += 4) {
      ASSERT_EQ(d4go(data, r), 0);
      ASSERT_EQ(d4delete(data), 0);
    }
    EXPECT_EQ(d4flush(data), 0);
    EXPECT_EQ(TagProblems(data), kClean) << "after delete";
    EXPECT_EQ(d4pack(data), 0);
    EXPECT_EQ(TagProblems(data), kClean) << "after pack";
    EXPECT_EQ(d4reindex(data), 0);
    EXPECT_EQ(TagProblems(data), kClean) << "after reindex";
    d4close(data);
  }
  EXPECT_EQ(tags, 104);
}

// One process appends and changes keys while this one seeks and walks: every
// record the writer reported is found, every walk is in order, nothing errs.
TEST(TagSharing, AReaderSeesAnotherProcesssAppendsAndKeyChanges) {
  TempDir dir;
  const std::string path = (dir.path() / "shared").string();
  {
    Engine engine;
    Data4 data = d4create(engine.code(), path, {{"id", 'C', 7, 0}, {"grp", 'C', 3, 0}, {"n", 'N', 6, 0}},
                          {{"ID", "id", "", 0, 0}, {"GRP", "grp+id", "", 0, 0}, {"N", "n", "", 0, 0}});
    ASSERT_NE(data, 0);
    d4close(data);
  }
  int pipeFds[2];
  ASSERT_EQ(pipe(pipeFds), 0);
  constexpr int kRows = 1000;
  std::fflush(nullptr);
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    close(pipeFds[0]);
    Code4 code = d4init();
    Data4 data = d4open(code, path);
    if (data == 0) _exit(2);
    for (int i = 1; i <= kRows; ++i) {
      char id[16];
      std::snprintf(id, sizeof id, "%07d", 1000 + i);
      if (AppendRow(data, {id, std::to_string(i % 13), std::to_string(i)}) != 0) _exit(3);
      if (i % 5 == 0) {
        // Move the keys of an earlier record.
        if (d4go(data, i / 2) != 0) _exit(4);
        f4assign(d4field(data, "grp"), std::to_string(i % 7));
        f4assignLong(d4field(data, "n"), -i);
        if (d4flush(data) != 0) _exit(5);
      }
      if (write(pipeFds[1], &i, sizeof i) != static_cast<ssize_t>(sizeof i)) _exit(6);
    }
    d4close(data);
    d4initUndo(code);
    _exit(0);
  }
  close(pipeFds[1]);
  fcntl(pipeFds[0], F_SETFL, O_NONBLOCK);
  Engine engine;
  Data4 data = d4open(engine.code(), path);
  ASSERT_NE(data, 0);
  const Tag4 idTag = d4tag(data, "ID"), nTag = d4tag(data, "N"), grpTag = d4tag(data, "GRP");
  int reported = 0, rounds = 0;
  // Reads the writer's reports so far; false once it has finished.
  auto drain = [&] {
    int i;
    ssize_t got;
    while ((got = read(pipeFds[0], &i, sizeof i)) == static_cast<ssize_t>(sizeof i)) reported = i;
    return got != 0;
  };
  bool done = false;
  while (!done) {
    done = !drain();
    ++rounds;
    if (reported > 0) {
      char id[16];
      std::snprintf(id, sizeof id, "%07d", 1000 + reported);
      ASSERT_EQ(d4tagSelect(data, idTag), 0);
      ASSERT_EQ(d4seek(data, id), 0) << id;
      ASSERT_EQ(f4str(d4field(data, "id")), id);
    }
    for (Tag4 tag : {nTag, grpTag}) {
      const int before = reported;
      ASSERT_EQ(d4tagSelect(data, tag), 0);
      std::string last;
      long seen = 0;
      int rc;
      for (rc = d4top(data); rc == 0; rc = d4skip(data, 1), ++seen) {
        std::string key = t4key(tag);
        ASSERT_FALSE(key.empty());
        ASSERT_LE(last, key) << "walk out of order in " << t4name(tag);
        last = key;
      }
      ASSERT_EQ(rc, kEof);
      if (tag == nTag) {
        // A moved record goes to the front, behind the walk, but only after the
        // writer appended one at the end.
        ASSERT_GE(seen, before) << "N";
      } else {
        // In GRP order a record moved during the walk may go behind it, and so may
        // the one appended before it: each move (every fifth report) may hide one.
        drain();
        const int moves = (reported + 1) / 5 - before / 5;
        ASSERT_GE(seen + moves, before) << "GRP";
      }
    }
  }
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_GT(rounds, 1);
  EXPECT_EQ(d4recCount(data), kRows);
  EXPECT_EQ(TagProblems(data), kClean);
  d4close(data);
}

// A writer that has moved a record's entry but not yet written its bytes holds the
// record's lock: a reader landing there waits for the bytes instead of taking the
// old key for the new one (which would also lead its walk astray).
TEST(TagSharing, AReaderWaitsForTheBytesOfARecordWhoseEntryMoved) {
  TempDir dir;
  const std::string path = (dir.path() / "moving").string();
  {
    Engine engine;
    Data4 data = d4create(engine.code(), path, {{"id", 'C', 7, 0}, {"n", 'N', 6, 0}}, {{"N", "n", "", 0, 0}});
    ASSERT_NE(data, 0);
    for (int i = 1; i <= 10; ++i) ASSERT_EQ(AppendRow(data, {"r" + std::to_string(i), std::to_string(i)}), 0);
    d4close(data);
  }
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  std::fflush(nullptr);
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    close(ready[0]);
    Code4 code = d4init();
    Data4 data = d4open(code, path);
    // Kept open until the lock is given back: closing it would drop this process's locks.
    int fd = open((path + ".dbf").c_str(), O_RDWR);
    unsigned char head[12];
    if (data == 0 || fd < 0 || pread(fd, head, sizeof head, 0) != static_cast<ssize_t>(sizeof head)) _exit(2);
    const off_t at = (head[8] | head[9] << 8) + 4 * (head[10] | head[11] << 8);
    std::string before(static_cast<size_t>(head[10] | head[11] << 8), '\0'), after = before;
    if (d4go(data, 5) != 0 || d4lock(data, 5) != 0) _exit(3);
    if (pread(fd, before.data(), before.size(), at) != static_cast<ssize_t>(before.size())) _exit(4);
    f4assignLong(d4field(data, "n"), -5);
    if (d4flush(data) != 0) _exit(5);
    // Put the old bytes back: the index is changed, the record not yet.
    if (pread(fd, after.data(), after.size(), at) != static_cast<ssize_t>(after.size())) _exit(6);
    if (pwrite(fd, before.data(), before.size(), at) != static_cast<ssize_t>(before.size())) _exit(7);
    if (write(ready[1], "x", 1) != 1) _exit(8);
    usleep(100 * 1000);
    if (pwrite(fd, after.data(), after.size(), at) != static_cast<ssize_t>(after.size())) _exit(9);
    d4unlock(data);
    close(fd);
    d4close(data);
    d4initUndo(code);
    _exit(0);
  }
  close(ready[1]);
  char c = 0;
  ASSERT_EQ(read(ready[0], &c, 1), 1);
  Engine engine;
  Data4 data = d4open(engine.code(), path);
  ASSERT_NE(data, 0);
  ASSERT_EQ(d4tagSelect(data, d4tag(data, "N")), 0);
  std::vector<long> walked;
  int rc;
  for (rc = d4top(data); rc == 0; rc = d4skip(data, 1)) walked.push_back(f4long(d4field(data, "n")));
  EXPECT_EQ(rc, kEof);
  EXPECT_EQ(walked, (std::vector<long>{-5, 1, 2, 3, 4, 6, 7, 8, 9, 10}));
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  d4close(data);
}

// A writer killed in the middle of its appends leaves an index and a table that
// either read clean (at most the keys of the record it was writing are ahead of the
// table) or are refused as damaged; a reindex makes the index whole again.
TEST(TagSharing, AWriterKilledMidwayLeavesAReadableOrRefusedIndex) {
  TempDir dir;
  const std::string path = (dir.path() / "killed").string();
  for (int attempt = 0; attempt < 4; ++attempt) {
    {
      Engine engine;
      std::filesystem::remove(path + ".dbf");
      std::filesystem::remove(path + ".cdx");
      Data4 data = d4create(engine.code(), path, {{"id", 'C', 7, 0}, {"n", 'N', 6, 0}},
                            {{"ID", "id", "", 0, 0}, {"N", "n", "", 0, 0}});
      ASSERT_NE(data, 0);
      d4close(data);
    }
    std::fflush(nullptr);
    // The child says when its first record is in, so that a slow start (a loaded
    // machine) cannot end it before it wrote anything.
    int started[2];
    ASSERT_EQ(pipe(started), 0);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      close(started[0]);
      Code4 code = d4init();
      Data4 data = d4open(code, path);
      for (int i = 1;; ++i) {
        char id[16];
        std::snprintf(id, sizeof id, "%07d", (i * 7919) % 1000000);
        if (AppendRow(data, {id, std::to_string(i % 1000)}) != 0) _exit(3);
        if (i == 1 && (write(started[1], "s", 1) != 1 || close(started[1]) != 0)) _exit(4);
      }
    }
    close(started[1]);
    char mark = 0;
    const bool wrote = read(started[0], &mark, 1) == 1;
    close(started[0]);
    if (!wrote) {
      kill(child, SIGKILL);
      waitpid(child, nullptr, 0);
      FAIL() << "the writer ended before its first append";
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5 + 15 * attempt));
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);

    Engine engine;
    code4errorCode(engine.code(), 0);
    Data4 data = d4open(engine.code(), path);
    if (data == 0) {
      // Killed inside an update, the index carries its mark (also when the record
      // was written and its count not): the index is reported, never the data file.
      const int code = code4errorCode(engine.code(), 0);
      EXPECT_EQ(code, kErrorIndex);
      continue;
    }
    EXPECT_GT(d4recCount(data), 0);
    for (const auto& c : xbase::detail::CheckTags(data)) {
      EXPECT_FALSE(c.damaged) << c.name;
      EXPECT_TRUE(c.ordered) << c.name;
      EXPECT_LE(c.stale, 1) << c.name;
      EXPECT_LE(c.keys - c.expect, 1) << c.name;
      EXPECT_EQ(c.missing, 0) << c.name;
    }
    EXPECT_EQ(d4reindex(data), 0);
    EXPECT_EQ(TagProblems(data), kClean);
    d4close(data);
  }
}

}  // namespace
