// A table put in the place of another: whole at every point a run can be killed.
#include "data/table_swap.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "data/codebase.h"
#include "data/open_table.h"
#include "platform/xbase/tag_check.h"
#include "table_fixture.h"

namespace fs = std::filesystem;

namespace tolvarin_test {
namespace {

using namespace tolvarin;

class TableSwapTest : public TableFolderTest {
 protected:
  // The live table "notes" in the course folder and its new version in the staging folder.
  void Prepare(bool memo) {
    staging_ = fs::path(StagingFolderFor(course_.string()));
    std::vector<std::string> fields{"id:C:7", "text:C:20"};
    if (memo) fields.push_back("body:M:10");
    for (const auto& [folder, prefix] : {std::pair{course_, std::string("old")}, {staging_, std::string("new")}}) {
      CreateTable(folder / "notes.dbf", fields, {"id=id", "text=text"});
      const xbase::Data4 data = xbase::d4open(Engine().EngineHandle, (folder / "notes.dbf").string());
      ASSERT_NE(data, 0);
      for (int i = 1; i <= 3; ++i) {
        xbase::d4appendStart(data, 0);
        xbase::f4assign(xbase::d4field(data, "id"), "000000" + std::to_string(i));
        xbase::f4assign(xbase::d4field(data, "text"), prefix + std::to_string(i));
        if (memo) xbase::f4memoAssign(xbase::d4field(data, "body"), prefix + " memo " + std::to_string(i));
        ASSERT_EQ(xbase::d4append(data), 0);
      }
      xbase::d4close(data);
    }
    expectedNew_ = LiveRecords(staging_ / "notes.dbf");
    expectedOld_ = LiveRecords(course_ / "notes.dbf");
  }

  void Mark(bool memo) const {
    testing_support::WriteFile(staging_ / "notes.ready", memo ? ".dbf\n.cdx\n.fpt\n" : ".dbf\n.cdx\n");
  }
  static void Move(const fs::path& from, const fs::path& to) { fs::rename(from, to); }

  // The live table after the automatic repair: opens, has the rows, every tag clean.
  void ExpectWhole(const std::vector<std::string>& rows, const std::string& point, const std::string& table = "notes") {
    const xbase::Data4 data = OpenTable((course_ / (table + ".dbf")).string(), 0, false, true);
    ASSERT_NE(data, 0) << point;
    EXPECT_EQ(LiveRecords(data), rows) << point;
    for (const auto& check : xbase::detail::CheckTags(data)) EXPECT_TRUE(check.Problems().empty()) << point;
    xbase::d4close(data);
  }

  fs::path staging_;
  std::vector<std::string> expectedNew_, expectedOld_;
};

TEST_F(TableSwapTest, ASwapCutShortAtAnyMoveIsCompletedOnTheNextRun) {
  for (const bool memo : {false, true}) {
    // Each point is the number of moves the killed run made.
    const int moves = memo ? 4 : 3;
    for (int made = 0; made <= moves; ++made) {
      const std::string point = (memo ? "memo, " : "") + std::to_string(made) + " moves";
      fs::remove_all(course_);
      Prepare(memo);
      Mark(memo);
      int step = 0;
      if (step++ < made) fs::remove(course_ / "notes.cdx");
      if (memo && step++ < made) Move(staging_ / "notes.fpt", course_ / "notes.fpt");
      if (step++ < made) Move(staging_ / "notes.dbf", course_ / "notes.dbf");
      if (step++ < made) Move(staging_ / "notes.cdx", course_ / "notes.cdx");

      FinishTableSwaps(course_.string());
      EXPECT_FALSE(fs::exists(staging_)) << point;
      ExpectWhole(expectedNew_, point);
    }
  }
}

TEST_F(TableSwapTest, AnUnmarkedStagingIsDroppedAndTheLiveTableStays) {
  Prepare(true);
  FinishTableSwaps(course_.string());
  EXPECT_FALSE(fs::exists(staging_));
  ExpectWhole(expectedOld_, "unmarked");
}

TEST_F(TableSwapTest, StageAndSwapReplaceTheWholeSet) {
  Prepare(true);
  const fs::path work = temp_.path() / "work";
  fs::create_directories(work);
  for (const char* extension : {".dbf", ".cdx", ".fpt"})
    fs::rename(staging_ / (std::string("notes") + extension), work / (std::string("NOTES") + extension));
  ASSERT_TRUE(StageTable(work.string(), course_.string(), "notes"));
  ASSERT_TRUE(SwapInStagedTable(course_.string(), "notes"));
  EXPECT_FALSE(fs::exists(staging_));
  ExpectWhole(expectedNew_, "swapped");
  EXPECT_FALSE(StageTable((temp_.path() / "none").string(), course_.string(), "notes"));
  EXPECT_FALSE(SwapInStagedTable(course_.string(), "notes"));
  ExpectWhole(expectedNew_, "nothing staged");
}

// A memo file that is a dangling link, or a folder, cannot be staged: the set would
// go in without it and the table would lose its memo file.
TEST_F(TableSwapTest, ATableFileThatIsNoFileIsNotStaged) {
  Prepare(true);
  const fs::path work = temp_.path() / "work";
  for (const bool link : {true, false}) {
    SCOPED_TRACE(link ? "a dangling link" : "a folder");
    fs::remove_all(work);
    fs::create_directories(work);
    fs::copy_file(course_ / "notes.dbf", work / "notes.dbf");
    fs::copy_file(course_ / "notes.cdx", work / "notes.cdx");
    if (link) {
      fs::create_symlink(temp_.path() / "gone.fpt", work / "notes.fpt");
    } else {
      fs::create_directories(work / "notes.fpt");
    }
    EXPECT_FALSE(StageTable(work.string(), course_.string(), "notes"));
    EXPECT_FALSE(fs::exists(staging_ / "notes.dbf"));
  }
}

TEST_F(TableSwapTest, TablesSwappedTogetherAreCompletedTogetherOrDroppedTogether) {
  // "more" is a second table of the same group, staged beside "notes".
  const auto prepareGroup = [&] {
    fs::remove_all(course_);
    Prepare(false);
    for (const fs::path& folder : {course_, staging_})
      for (const char* extension : {".dbf", ".cdx"})
        fs::copy_file(folder / (std::string("notes") + extension), folder / (std::string("more") + extension));
  };
  // A run killed while it wrote the group's marker: neither table moves.
  prepareGroup();
  testing_support::WriteFile(staging_ / "notes.ready.part", ".dbf\n.cdx\n");
  FinishTableSwaps(course_.string());
  EXPECT_FALSE(fs::exists(staging_));
  ExpectWhole(expectedOld_, "marking cut short");
  ExpectWhole(expectedOld_, "marking cut short", "more");

  // A run killed after the first table moved: the second follows on the next run.
  prepareGroup();
  ASSERT_TRUE(SwapInStagedTables(course_.string(), {"notes", "more"}));
  ExpectWhole(expectedNew_, "swapped");
  ExpectWhole(expectedNew_, "swapped", "more");
  prepareGroup();
  testing_support::WriteFile(staging_ / "notes.ready", ".dbf\n.cdx\nmore .dbf .cdx\n");
  fs::remove(course_ / "notes.cdx");
  Move(staging_ / "notes.dbf", course_ / "notes.dbf");
  Move(staging_ / "notes.cdx", course_ / "notes.cdx");
  FinishTableSwaps(course_.string());
  EXPECT_FALSE(fs::exists(staging_));
  ExpectWhole(expectedNew_, "one of two moved");
  ExpectWhole(expectedNew_, "one of two moved", "more");
}

TEST_F(TableSwapTest, ATableTheGroupDropsGoesWithItAndAKilledRunsDropIsCompleted) {
  // "gone" is a live table the new set no longer has, with a memo file.
  const auto prepare = [&] {
    fs::remove_all(course_);
    Prepare(false);
    CreateTable(course_ / "gone.dbf", {"id:C:7", "body:M:10"}, {"id=id"});
  };
  const auto expectGone = [&](const std::string& point) {
    for (const char* extension : {".dbf", ".cdx", ".fpt"})
      EXPECT_FALSE(fs::exists(course_ / (std::string("gone") + extension))) << point << extension;
    EXPECT_FALSE(fs::exists(staging_)) << point;
    ExpectWhole(expectedNew_, point);
  };
  prepare();
  ASSERT_TRUE(fs::exists(course_ / "gone.fpt"));
  ASSERT_TRUE(SwapInStagedTables(course_.string(), {"notes"}, {"gone", "NOTES"}));
  expectGone("swapped");
  // Nothing staged: nothing is taken away.
  EXPECT_FALSE(SwapInStagedTables(course_.string(), {}, {"notes"}));
  ExpectWhole(expectedNew_, "nothing staged");

  // Killed after the moves, and after the dropped table's index went.
  for (const bool indexGone : {false, true}) {
    const std::string point = indexGone ? "index of the dropped table gone" : "moves made";
    prepare();
    testing_support::WriteFile(staging_ / "notes.ready", ".dbf\n.cdx\ngone\n");
    fs::remove(course_ / "notes.cdx");
    Move(staging_ / "notes.dbf", course_ / "notes.dbf");
    Move(staging_ / "notes.cdx", course_ / "notes.cdx");
    if (indexGone) fs::remove(course_ / "gone.cdx");
    FinishTableSwaps(course_.string());
    expectGone(point);
  }
}

// Files that are no tables join a group: they move with its tables, a killed run's
// moves are completed with the tables', and an unmarked staging drops them.
TEST_F(TableSwapTest, FilesOfAGroupMoveWithItsTablesOrNotAtAll) {
  const fs::path elsewhere = temp_.path() / "package";
  const auto prepare = [&] {
    fs::remove_all(course_);
    fs::remove_all(elsewhere);
    Prepare(false);
    fs::create_directories(elsewhere);
    testing_support::WriteFile(course_ / "0020001.gif", "old picture");
    testing_support::WriteFile(staging_ / "0020001.gif.new", "new picture");
    testing_support::WriteFile(staging_ / "0020002.gif.new", "added picture");
    testing_support::WriteFile(elsewhere / "game.lda", "old activity");
    testing_support::WriteFile(elsewhere / "game.lda.new", "new activity");
  };
  prepare();
  const std::vector<StagedFile> files{
      {(staging_ / "0020001.gif.new").string(), (course_ / "0020001.gif").string()},
      {(staging_ / "0020002.gif.new").string(), (course_ / "0020002.gif").string()},
      {(elsewhere / "game.lda.new").string(), (elsewhere / "game.lda").string()}};
  const auto expectNew = [&](const std::string& point) {
    ExpectWhole(expectedNew_, point);
    EXPECT_EQ(testing_support::ReadFile(course_ / "0020001.gif"), "new picture") << point;
    EXPECT_EQ(testing_support::ReadFile(course_ / "0020002.gif"), "added picture") << point;
    EXPECT_EQ(testing_support::ReadFile(elsewhere / "game.lda"), "new activity") << point;
    EXPECT_FALSE(fs::exists(elsewhere / "game.lda.new")) << point;
    EXPECT_FALSE(fs::exists(staging_)) << point;
  };

  ASSERT_TRUE(SwapInStagedTables(course_.string(), {"notes"}, {}, files));
  expectNew("swapped");

  // Killed after the table and some of the files moved: the rest follow.
  for (int moved = 0; moved <= 3; ++moved) {
    const std::string point = std::to_string(moved) + " files moved";
    prepare();
    std::string marker = ".dbf\n.cdx\n";
    for (const StagedFile& file : files) marker += "> " + file.staged + "\t" + file.target + "\n";
    testing_support::WriteFile(staging_ / "notes.ready", marker);
    fs::remove(course_ / "notes.cdx");
    Move(staging_ / "notes.dbf", course_ / "notes.dbf");
    Move(staging_ / "notes.cdx", course_ / "notes.cdx");
    for (int i = 0; i < moved; ++i) Move(files[i].staged, files[i].target);
    FinishTableSwaps(course_.string(), {elsewhere.string()});  // the run's own package folder
    expectNew(point);
  }

  // Never marked: the table and the files stay as they were; what was staged in the
  // staging folder goes with it.
  prepare();
  FinishTableSwaps(course_.string());
  ExpectWhole(expectedOld_, "unmarked");
  EXPECT_EQ(testing_support::ReadFile(course_ / "0020001.gif"), "old picture");
  EXPECT_FALSE(fs::exists(course_ / "0020002.gif"));
  EXPECT_EQ(testing_support::ReadFile(elsewhere / "game.lda"), "old activity");
  EXPECT_FALSE(fs::exists(staging_));

  // A file that is not staged fails the group before anything is marked.
  prepare();
  fs::remove(files[1].staged);
  EXPECT_FALSE(SwapInStagedTables(course_.string(), {"notes"}, {}, files));
  EXPECT_FALSE(HasMarkedSwap(course_.string()));
  ExpectWhole(expectedOld_, "a file missing");
}

// A marker is outside input (the folder may come from another machine): whatever it
// names, the finisher moves and removes files of its own folder only, and no link.
TEST_F(TableSwapTest, AMarkerMovesNothingOutsideItsFolder) {
  const fs::path outside = temp_.path() / "outside";
  const auto lay = [&] {
    fs::remove_all(course_);
    fs::remove_all(outside);
    Prepare(false);
    fs::create_directories(outside);
    for (const char* file : {"victim.dbf", "victim.cdx", "theirs.txt", "theirs.txt.new", "linked.dbf"})
      testing_support::WriteFile(outside / file, std::string("outside ") + file);
    fs::create_directory_symlink(outside, course_ / "link");
  };
  const auto expectOutsideUntouched = [&](const std::string& point) {
    for (const char* file : {"victim.dbf", "victim.cdx", "theirs.txt", "theirs.txt.new", "linked.dbf"}) {
      ASSERT_TRUE(fs::exists(outside / file)) << point << ": " << file;
      EXPECT_EQ(testing_support::ReadFile(outside / file), std::string("outside ") + file) << point;
    }
    EXPECT_FALSE(fs::exists(course_ / "theirs.txt")) << point;
  };
  const std::string up = fs::relative(outside, course_).string() + "/";  // the way there from the course
  const struct {
    const char* what;
    std::string marker;
  } markers[] = {
      {"a table named by a path", ".dbf\n.cdx\n" + up + "victim .dbf .cdx\n"},
      {"a table to take away named by a path", ".dbf\n.cdx\n" + up + "victim\n/" + (outside / "victim").string() + "\n"},
      {"a file of the group elsewhere",
       ".dbf\n.cdx\n> " + (outside / "theirs.txt.new").string() + "\t" + (outside / "theirs.txt").string() + "\n"},
      {"a file staged here for a target elsewhere",
       ".dbf\n.cdx\n> " + (staging_ / "notes.extra").string() + "\t" + (outside / "theirs.txt").string() + "\n"},
      {"a file brought in from elsewhere",
       ".dbf\n.cdx\n> " + (outside / "theirs.txt").string() + "\t" + (course_ / "theirs.txt").string() + "\n"},
      {"a target through a link to elsewhere",
       ".dbf\n.cdx\n> " + (staging_ / "notes.extra").string() + "\t" + (course_ / "link" / "theirs.txt").string() +
           "\n"},
  };
  for (const auto& m : markers) {
    lay();
    testing_support::WriteFile(staging_ / "notes.extra", "staged here");
    testing_support::WriteFile(staging_ / "notes.ready", m.marker);
    FinishTableSwaps(course_.string());
    expectOutsideUntouched(m.what);
    ExpectWhole(expectedNew_, m.what);  // the folder's own table is completed all the same
  }

  // A staged table that is a link to a file elsewhere is not brought in.
  lay();
  fs::remove(staging_ / "notes.dbf");
  fs::create_symlink(outside / "linked.dbf", staging_ / "notes.dbf");
  Mark(false);
  FinishTableSwaps(course_.string());
  expectOutsideUntouched("a staged link");
  EXPECT_FALSE(fs::is_symlink(course_ / "notes.dbf"));
  EXPECT_EQ(LiveRecords(course_ / "notes.dbf"), expectedOld_);

  // A staging folder that is a link to another folder is left alone, and so is that folder.
  lay();
  fs::remove_all(staging_);
  testing_support::WriteFile(outside / "notes.dbf", "outside notes.dbf");
  testing_support::WriteFile(outside / "notes.ready", "notes\n");
  fs::create_directory_symlink(outside, staging_);
  FinishTableSwaps(course_.string());
  expectOutsideUntouched("a staging folder that is a link");
  EXPECT_TRUE(fs::exists(outside / "notes.ready"));
  EXPECT_EQ(testing_support::ReadFile(outside / "notes.dbf"), "outside notes.dbf");
  EXPECT_EQ(LiveRecords(course_ / "notes.dbf"), expectedOld_);
}

// A swap that would meet a file it cannot replace is not begun: the file is named
// before anything is marked.
TEST_F(TableSwapTest, AFileTheSwapCannotReplaceIsNamedBeforeItBegins) {
  Prepare(true);
  const fs::path picture = course_ / "0020001.gif";
  testing_support::WriteFile(picture, "old picture");
  testing_support::WriteFile(staging_ / "0020001.gif.new", "new picture");
  const std::vector<StagedFile> files{{(staging_ / "0020001.gif.new").string(), picture.string()}};
  EXPECT_EQ(FirstFileSwapCannotReplace(course_.string(), {"notes"}, {}, files), "");
  for (const fs::path& held : {course_ / "notes.fpt", picture}) {
    SCOPED_TRACE(held.filename().string());
    if (std::system(("chattr +i '" + held.string() + "' 2>/dev/null").c_str()) != 0) GTEST_SKIP() << "no chattr here";
    const std::string named = FirstFileSwapCannotReplace(course_.string(), {"notes"}, {}, files);
    [[maybe_unused]] const int undone = std::system(("chattr -i '" + held.string() + "'").c_str());
    EXPECT_EQ(named, held.string());
  }
}

}  // namespace
}  // namespace tolvarin_test
