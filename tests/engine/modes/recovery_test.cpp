// The recovery of an automatic backup: the chooser's rules, and the copy back that
// takes the course's own files aside first and puts them back when it fails.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "core/chooser_windows.h"
#include "core/settings.h"
#include "core/terminate.h"
#include "engine/course_fixture.h"
#include "data/table_swap.h"
#include "engine/modes/auto_backup.h"
#include "engine/modes/recovery_choice.h"

namespace fs = std::filesystem;
using testing_support::ReadFile;
using testing_support::WriteFile;

namespace {

// Every file of a folder (not below it) with its bytes.
std::map<std::string, std::string> Files(const std::string& folder) {
  std::map<std::string, std::string> files;
  for (const auto& e : fs::directory_iterator(folder))
    if (e.is_regular_file()) files[e.path().filename().string()] = ReadFile(e.path());
  return files;
}

std::vector<std::string> HoldingFolders(const std::string& folder) {
  std::vector<std::string> found;
  for (const auto& e : fs::directory_iterator(folder))
    if (e.is_directory() && e.path().filename().string().rfind("before-recovery-", 0) == 0)
      found.push_back(e.path().string());
  return found;
}

TEST(RecoveryChoice, CreatedTimesInWords) {
  const std::pair<const char*, const char*> cases[] = {
      {"2026-12-11 03:04:05", "Friday, December 11, 2026 at 3:04:05 AM"},
      {"2026-01-04 00:00:09", "Sunday, January 4, 2026 at 12:00:09 AM"},
      {"2024-02-29 12:30:00", "Thursday, February 29, 2024 at 12:30:00 PM"},
      {"2026-07-01 23:59:59", "Wednesday, July 1, 2026 at 11:59:59 PM"},
      {"2026-02-30 10:00:00", "2026-02-30 10:00:00"},  // no such day: shown as stored
      {"yesterday", "yesterday"},
  };
  for (const auto& [created, words] : cases) EXPECT_EQ(tolvarin::FormatCreatedTime(created), words) << created;
}

class RecoveryTest : public package_testing::CourseTest {
 protected:
  void SetUp() override {
    CourseTest::SetUp();
    backups = tolvarin::CourseBackupFolder(tolvarin::CurrentArea(), tolvarin::CurrentCourse());
  }
  void TearDown() override {
    tolvarin::SetRecoverChooser(nullptr);
    CourseTest::TearDown();
  }
  std::string Slot(int n) const { return backups + "/" + std::to_string(n); }
  // An automatic backup of the course as it is now, in slot n.
  void Backup(int n, const std::string& created) {
    const std::string fresh = Scratch("fresh" + std::to_string(n));
    tolvarin::Paths().BackupPath = fresh;
    ASSERT_EQ(tolvarin::DoAutoBackup(), 0);
    fs::create_directories(backups);
    fs::rename(fresh + "/1", Slot(n));
    WriteFile(Slot(n) + "/TOLVARIN.INI", "[Tolvarin]\r\nType=DirectCopy\r\nCreated=" + created + "\r\n");
    tolvarin::Paths().BackupPath.clear();
  }
  std::string backups;
};

TEST_F(RecoveryTest, ListsTheSlotsWithACreatedTimeAndPreselectsTheNewest) {
  EXPECT_TRUE(tolvarin::RecoverySlots(backups).empty());
  EXPECT_EQ(tolvarin::NewestSlotIndex({}), -1);
  Backup(1, "2026-12-01 09:00:00");
  Backup(2, "2026-12-05 09:00:00");
  Backup(3, "2026-12-09 09:00:00");
  fs::create_directories(Slot(4));
  WriteFile(Slot(4) + "/TOLVARIN.INI", "[Tolvarin]\r\nType=DirectCopy\r\n");  // tables but no time
  WriteFile(Slot(4) + "/quests.dbf", "tables");
  const auto slots = tolvarin::RecoverySlots(backups);
  ASSERT_EQ(slots.size(), 3u);
  EXPECT_EQ(slots[0].text, "Auto-Backup 1 - Tuesday, December 1, 2026 at 9:00:00 AM");
  EXPECT_EQ(slots[tolvarin::NewestSlotIndex(slots)].slot, 3);
  EXPECT_EQ(tolvarin::BackupPathLine(backups, 3), "Backup Path: " + Slot(3));
  EXPECT_EQ(tolvarin::BackupPathLine(backups, 0), "Backup Path: " + backups + "/...");
  // Equal times keep the earlier entry.
  EXPECT_EQ(tolvarin::NewestSlotIndex({{2, "2026-12-09 09:00:00", ""}, {5, "2026-12-09 09:00:00", ""}}), 0);
  EXPECT_EQ(tolvarin::RecoverQuestion("Biology", 3, "2026-12-09 09:00:00"),
            "You are about to recover Biology Auto-Backup 3, which represents the state of your database as of "
            "Wednesday, December 9, 2026 at 9:00:00 AM.\r\n\r\nAny questions created or exams saved to the Vault "
            "since that date will LOST.\r\n\r\nAre you sure you wish to recover this backup?");
}

TEST_F(RecoveryTest, PutsTheSlotsWholeSetBackAndKeepsTheFormerFilesInADatedFolder) {
  Backup(1, "2026-12-01 09:00:00");
  const auto slot = Files(Slot(1));
  const auto before = Files(Course());
  // Since the backup: a changed table, a table the slot lacks, a changed image.
  WriteFile(Course("quests.dbf"), "damaged");
  WriteFile(Course("newer.dbf"), "a table made after the backup");
  // A file the slot's set of a table lacks does not stay beside the slot's files.
  std::string lone;
  for (const auto& [name, bytes] : slot)
    if (name.ends_with(".dbf") && !slot.count(name.substr(0, name.size() - 4) + ".fpt")) lone = name;
  ASSERT_FALSE(lone.empty());
  lone = lone.substr(0, lone.size() - 4) + ".fpt";
  WriteFile(Course(lone), "a memo file made after the backup");
  const std::string image = made_.content.imageFiles.back();
  ASSERT_TRUE(slot.count(image));
  WriteFile(Course(image), "a changed picture");
  const auto damaged = Files(Course());

  ASSERT_EQ(tolvarin::RecoverAutoBackup(Slot(1)), 0);
  auto after = Files(Course());
  for (const auto& [name, bytes] : slot)
    if (name != "TOLVARIN.INI" && name != "Status.DBF") {
      EXPECT_EQ(after[name], bytes) << name;
    }
  EXPECT_FALSE(after.count("newer.dbf"));  // no mixing of generations
  EXPECT_FALSE(after.count(lone));
  for (const auto& [name, bytes] : before)
    if (!slot.count(name)) {
      EXPECT_EQ(after[name], bytes) << name;  // other files stay
    }

  const auto held = HoldingFolders(backups);
  ASSERT_EQ(held.size(), 1u);
  const auto kept = Files(held[0]);
  EXPECT_EQ(kept.at("quests.dbf"), "damaged");
  EXPECT_EQ(kept.at("newer.dbf"), "a table made after the backup");
  EXPECT_EQ(kept.at(image), "a changed picture");
  for (const auto& [name, bytes] : damaged)
    if (name.size() > 4 && (name.ends_with(".dbf") || name.ends_with(".cdx") || name.ends_with(".fpt")) &&
        name != "Status.DBF") {
      EXPECT_EQ(kept.at(name), bytes) << name;
    }
  ASSERT_EQ(presenter_->Shown().size(), 1u);
  const std::string& text = presenter_->Shown()[0].box.text;
  EXPECT_EQ(text.rfind("Recovery of Auto-Backup complete.", 0), 0u);
  EXPECT_NE(text.find(held[0]), std::string::npos) << text;
}

TEST_F(RecoveryTest, AFailedCopyPutsEveryFileOfTheCourseBack) {
  Backup(1, "2026-12-01 09:00:00");
  WriteFile(Course("quests.dbf"), "the course's quests");
  WriteFile(Course("newer.dbf"), "a table made after the backup");
  const std::string image = made_.content.imageFiles.back();
  WriteFile(Course(image), "a changed picture");
  fs::remove(Course(made_.content.imageFiles.front()));
  const auto before = Files(Course());
  // Something in the way of the copy's temporary name makes the changed picture fail,
  // once every table of the slot waits staged beside the course.
  fs::create_directories(Course("." + image + ".tlvcopy/x"));

  EXPECT_NE(tolvarin::RecoverAutoBackup(Slot(1)), 0);
  EXPECT_EQ(Files(Course()), before);
  EXPECT_TRUE(HoldingFolders(backups).empty());
  ASSERT_EQ(presenter_->Shown().size(), 1u);
  const std::string& text = presenter_->Shown()[0].box.text;
  EXPECT_NE(text.find(image), std::string::npos) << text;
  EXPECT_NE(text.find("put back as they were"), std::string::npos) << text;
  EXPECT_FALSE(fs::exists(tolvarin::StagingFolderFor(Course())));
}

TEST_F(RecoveryTest, ASlotWithoutTablesIsRefusedAndTheCourseKeepsItsTables) {
  fs::create_directories(Slot(1));
  WriteFile(Slot(1) + "/TOLVARIN.INI", "[Tolvarin]\r\nType=DirectCopy\r\nCreated=2026-12-01 09:00:00\r\n");
  const auto before = Files(Course());
  EXPECT_NE(tolvarin::RecoverAutoBackup(Slot(1)), 0);
  EXPECT_EQ(Files(Course()), before);
  EXPECT_TRUE(HoldingFolders(backups).empty());
  ASSERT_EQ(presenter_->Shown().size(), 1u);
  EXPECT_NE(presenter_->Shown()[0].box.text.find("holds no tables"), std::string::npos);
}

TEST_F(RecoveryTest, TheChoosersAnswerDecides) {
  Backup(2, "2026-12-01 09:00:00");
  WriteFile(Course("quests.dbf"), "damaged");
  const auto before = Files(Course());
  int shown = 0;
  tolvarin::SetRecoverChooser([&] {
    ++shown;
    return 2;  // Back
  });
  EXPECT_EQ(tolvarin::DoRecover(false), std::nullopt);
  EXPECT_EQ(Files(Course()), before);
  EXPECT_TRUE(presenter_->Shown().empty());
  EXPECT_EXIT(tolvarin::DoRecover(true), ::testing::ExitedWithCode(0), "");  // a normal end

  tolvarin::SetRecoverChooser([&] {
    ++shown;
    tolvarin::Paths().BackupPath = Slot(2);
    return 1;
  });
  EXPECT_EQ(tolvarin::DoRecover(false), 0);
  EXPECT_EQ(ReadFile(Course("quests.dbf")), ReadFile(Slot(2) + "/quests.dbf"));
  EXPECT_EQ(shown, 2);
}

}  // namespace
