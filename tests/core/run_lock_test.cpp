#include "core/run_lock.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/test_support.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using tolvarin::LockKey;
using tolvarin::TakeFolderLocks;

class RunLock : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* folder : {"Databases/Corvane/Science/Biology", "Databases/Corvane/Science/Chemistry", "Backup"})
      fs::create_directories(root_ + "/" + folder);
  }
  std::string At(const std::string& relative) const { return root_ + "/" + relative; }
  tolvarin::LockAttempt Take(const std::vector<std::string>& folders, std::chrono::milliseconds wait = 0ms) const {
    return TakeFolderLocks(folders, locks_, wait);
  }

  testing_support::TempDir dir_;
  std::string root_ = dir_.str() + "/Host";
  std::string locks_ = dir_.str() + "/locks";
};

TEST_F(RunLock, OneFolderHasOneKeyHoweverItIsWritten) {
  const std::string course = At("Databases/Corvane/Science/Biology");
  fs::create_directory_symlink(course, At("linked"));
  const std::string key = LockKey(course);
  for (const std::string& spelling :
       {At("DATABASES/corvane/Science/BIOLOGY"), course + "/", At("Databases//Corvane/Science/Chemistry/../Biology"),
        At("linked"), course + ".tolvarin-new", At("Databases/Corvane/Science/biology.TOLVARIN-OLD")})
    EXPECT_EQ(LockKey(spelling), key) << spelling;
  for (const std::string& other : {At("Databases/Corvane/Science/Chemistry"), course + "/sub", course + "2",
                                   At("Databases/Corvane/Science/.tolvarin-new")})
    EXPECT_NE(LockKey(other), key) << other;
}

// A run holds its folders, and the folders above them shared: a second run on one
// of them, or on a folder inside or above one, is refused; folders side by side are not.
TEST_F(RunLock, ARunIsKeptOffTheFoldersAnotherHoldsAndThoseInsideAndAboveThem) {
  const struct {
    const char* held;
    const char* wanted;
    const char* busy;    // the folder the refusal names; nullptr: taken
    bool above = false;  // busy is a folder above the wanted one, named as it stands on disk
  } cases[] = {
      {"Databases/Corvane/Science/Biology", "databases/CORVANE/science/biology", "databases/CORVANE/science/biology"},
      {"Databases/Corvane/Science/Biology", "Databases/Corvane/Science/Biology/.tolvarin-swap",
       "Databases/Corvane/Science/Biology", true},
      {"Databases/Corvane/Science/Biology", "Databases", "Databases"},
      {"Backup", "Backup.tolvarin-new", "Backup.tolvarin-new"},
      {"Databases/Corvane/Science/Biology", "Databases/Corvane/Science/Chemistry", nullptr},
      {"Backup", "Databases/Corvane/Science/Chemistry", nullptr},
      {"Backup", "Backups", nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.held) + " held, " + c.wanted + " wanted");
    const tolvarin::LockAttempt holder = Take({At(c.held)});
    ASSERT_TRUE(holder.taken) << holder.error << holder.busy;
    const tolvarin::LockAttempt second = Take({At(c.wanted)});
    EXPECT_TRUE(second.error.empty()) << second.error;
    if (c.busy) {
      EXPECT_FALSE(second.taken);
      EXPECT_EQ(second.busy, c.above ? fs::weakly_canonical(At(c.busy)).string() : At(c.busy));
    } else {
      EXPECT_TRUE(second.taken) << second.busy;
    }
  }
}

// A backup swaps a new folder into its folder's place: the name stays held.
TEST_F(RunLock, AFolderSwappedForAnotherUnderItsNameStaysHeld) {
  const tolvarin::LockAttempt holder = Take({At("Backup")});
  ASSERT_TRUE(holder.taken);
  fs::create_directory(At("Backup.tolvarin-new"));
  fs::rename(At("Backup"), At("Backup.tolvarin-old"));
  fs::rename(At("Backup.tolvarin-new"), At("Backup"));
  fs::remove(At("Backup.tolvarin-old"));
  EXPECT_EQ(Take({At("Backup")}).busy, At("Backup"));
}

TEST_F(RunLock, ARefusedRunHoldsNothingAndAWaitingOneGoesOnOnceTheFolderIsFree) {
  tolvarin::LockAttempt holder = Take({At("Backup")});
  ASSERT_TRUE(holder.taken);
  const std::vector<std::string> both{At("Databases/Corvane/Science/Biology"), At("Backup")};
  EXPECT_FALSE(Take(both).taken);
  EXPECT_TRUE(Take({At("Databases/Corvane/Science/Biology")}).taken);  // nothing of the refused run is held

  // The run waits; here the holder lets go as soon as it hears that someone waits.
  std::vector<std::string> told;
  const tolvarin::LockAttempt waited = TakeFolderLocks(both, locks_, 60s, [&](const std::string& busy) {
    told.push_back(busy);
    holder.locks.Release();
  });
  EXPECT_TRUE(waited.taken) << waited.busy << waited.error;
  EXPECT_EQ(told, std::vector<std::string>{At("Backup")});
  EXPECT_FALSE(Take({At("Backup")}).taken);
}

TEST_F(RunLock, ALockFolderThatCannotBeMadeRefusesTheRun) {
  testing_support::WriteFile(dir_.str() + "/blocker", "a file where the lock folder should go");
  const tolvarin::LockAttempt attempt =
      TakeFolderLocks({At("Backup")}, dir_.str() + "/blocker/locks", 0ms);
  EXPECT_FALSE(attempt.taken);
  EXPECT_NE(attempt.error.find(dir_.str() + "/blocker/locks"), std::string::npos) << attempt.error;
  const tolvarin::LockAttempt none = TakeFolderLocks({At("Backup")}, "", 0ms);
  EXPECT_FALSE(none.taken);
  EXPECT_FALSE(none.error.empty());
}

}  // namespace
