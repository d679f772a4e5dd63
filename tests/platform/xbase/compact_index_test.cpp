// Index files stay compact: pack and reindex write the tags as a fresh bulk build
// would and give back the pages the file no longer needs, while another process
// that has the index open keeps seeking and walking through it.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <random>

#include "tag_test_util.h"

namespace {

using namespace xbase;
using tag_test::TagProblems;
using testing_support::TempDir;
using xbase_test::AppendRow;
using xbase_test::Engine;

namespace fs = std::filesystem;
const std::vector<std::string> kClean;

const std::vector<FieldInfo> kFields = {{"id", 'C', 7, 0}, {"name", 'C', 30, 0}, {"n", 'N', 6, 0}};
const std::vector<TagInfo> kTags = {
    {"ID", "id", "", 0, 0}, {"NAME", "name", "", 0, 0}, {"N", "n", "", 0, 0}, {"NAMEID", "name+id", "", 0, 0}};

std::string Id(long i) {
  char id[16];
  std::snprintf(id, sizeof id, "%07ld", i);
  return id;
}

// Appends count rows whose keys come in random order (leaves split as they fill).
void AppendShuffled(Data4 data, long first, long count, unsigned seed) {
  std::vector<long> ids(static_cast<size_t>(count));
  for (long i = 0; i < count; ++i) ids[static_cast<size_t>(i)] = first + i;
  std::mt19937 random(seed);
  std::shuffle(ids.begin(), ids.end(), random);
  for (long id : ids)
    ASSERT_EQ(AppendRow(data, {Id(id), "name " + std::to_string(random() % 5000), std::to_string(id % 300)}), 0);
}

// The size of the index a fresh bulk build gives the table's records: an empty
// index of the same tags beside a copy of the data file, reindexed.
std::uintmax_t FreshBuildSize(const fs::path& dir, const std::string& name) {
  Engine engine;
  const fs::path fresh = dir / "fresh";
  for (const char* ext : {".dbf", ".cdx"}) fs::remove(dir / (std::string("fresh") + ext));
  Data4 empty = d4create(engine.code(), fresh.string(), kFields, kTags);
  EXPECT_NE(empty, 0);
  d4close(empty);
  fs::copy_file(dir / (name + ".dbf"), dir / "fresh.dbf", fs::copy_options::overwrite_existing);
  Data4 data = d4open(engine.code(), fresh.string());
  EXPECT_NE(data, 0);
  EXPECT_EQ(d4reindex(data), 0);
  d4close(data);
  return fs::file_size(dir / "fresh.cdx");
}

TEST(CompactIndex, PackAndReindexLeaveNoMoreThanAFreshBuildNeeds) {
  TempDir dir;
  Engine engine;
  Data4 data = d4create(engine.code(), (dir.path() / "t").string(), kFields, kTags);
  ASSERT_NE(data, 0);
  AppendShuffled(data, 1, 4000, 7);
  if (HasFatalFailure()) return;
  const std::uintmax_t appended = fs::file_size(dir.path() / "t.cdx");
  for (long r = 1; r <= d4recCount(data); ++r) {
    if (r % 3 == 0) continue;
    ASSERT_EQ(d4go(data, r), 0);
    ASSERT_EQ(d4delete(data), 0);
  }
  ASSERT_EQ(d4pack(data), 0);
  EXPECT_EQ(TagProblems(data), kClean);
  const std::uintmax_t packed = fs::file_size(dir.path() / "t.cdx");
  const std::uintmax_t fresh = FreshBuildSize(dir.path(), "t");
  EXPECT_LT(packed, appended / 2);
  EXPECT_LE(packed, fresh + fresh / 10);
  EXPECT_EQ(packed % 512, 0u);

  // Appends grow it again; a reindex brings it back to what the records need.
  AppendShuffled(data, 5001, 2000, 8);
  if (HasFatalFailure()) return;
  ASSERT_EQ(d4reindex(data), 0);
  EXPECT_EQ(TagProblems(data), kClean);
  const std::uintmax_t reindexed = fs::file_size(dir.path() / "t.cdx");
  EXPECT_LE(reindexed, FreshBuildSize(dir.path(), "t") * 11 / 10);
  d4close(data);
  // And another program's view: the file reopens clean.
  data = d4open(engine.code(), (dir.path() / "t").string());
  ASSERT_NE(data, 0);
  EXPECT_EQ(TagProblems(data), kClean);
  d4close(data);
}

// While one process appends (the file grows) and reindexes (it shrinks) over and
// over, this one seeks every record it knows and walks a tag from end to end.
TEST(CompactIndex, AnotherProcessKeepsSeekingAndWalkingThroughReindexes) {
  TempDir dir;
  const std::string path = (dir.path() / "t").string();
  constexpr long kKnown = 1500;
  {
    Engine engine;
    Data4 data = d4create(engine.code(), path, kFields, kTags);
    ASSERT_NE(data, 0);
    AppendShuffled(data, 1, kKnown, 1);
    d4close(data);
  }
  if (HasFatalFailure()) return;
  int report[2];
  ASSERT_EQ(pipe(report), 0);
  std::fflush(nullptr);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    close(report[0]);
    Code4 code = d4init();
    Data4 data = d4open(code, path);
    if (data == 0) _exit(10);
    std::mt19937 random(2);
    for (int round = 1;; ++round) {
      for (int i = 0; i < 300; ++i) {
        const long id = 100000 + round * 1000 + i;
        if (AppendRow(data, {Id(id), "name " + std::to_string(random() % 5000), "1"}) != 0) _exit(11);
      }
      if (d4reindex(data) != 0) _exit(12);
      const char done = 'r';
      if (write(report[1], &done, 1) != 1) _exit(13);
    }
  }
  close(report[1]);
  Engine engine;
  Data4 data = d4open(engine.code(), path);
  ASSERT_NE(data, 0);
  const Tag4 id = d4tag(data, "ID"), name = d4tag(data, "NAMEID");
  std::mt19937 random(3);
  int reindexes = 0;
  for (int pass = 0; reindexes < 12 && pass < 100000 && !HasFailure(); ++pass) {
    ASSERT_EQ(d4tagSelect(data, id), 0);
    for (int i = 0; i < 50; ++i) {
      const std::string key = Id(1 + static_cast<long>(random() % kKnown));
      ASSERT_EQ(d4seek(data, key), 0) << key;
      ASSERT_EQ(f4str(d4field(data, "id")), key);
    }
    ASSERT_EQ(d4tagSelect(data, name), 0);
    std::string previous;
    long steps = 0;
    for (int rc = d4top(data); rc == 0; rc = d4skip(data, 1), ++steps) {
      const std::string key = f4str(d4field(data, "name")) + f4str(d4field(data, "id"));
      ASSERT_LE(previous, key);
      previous = key;
    }
    ASSERT_GE(steps, kKnown);
    char done;
    while (reindexes < 12 && fcntl(report[0], F_SETFL, O_NONBLOCK) == 0 && read(report[0], &done, 1) == 1)
      ++reindexes;
  }
  kill(child, SIGKILL);
  int status = 0;
  waitpid(child, &status, 0);
  close(report[0]);
  EXPECT_TRUE(WIFSIGNALED(status)) << "the writer ended with status " << WEXITSTATUS(status);
  EXPECT_GE(reindexes, 12);
  d4close(data);
}

}  // namespace
