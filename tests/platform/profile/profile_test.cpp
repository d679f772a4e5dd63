#include "platform/profile/profile.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include <filesystem>

#include "support/test_support.h"

namespace {

using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

struct ReadCase {
  const char* name;
  const char* content;
  const char* section;
  const char* key;
  const char* expected;
};

class ProfileRead : public ::testing::TestWithParam<ReadCase> {};

TEST_P(ProfileRead, GivesTheStoredValueOrTheDefault) {
  const ReadCase& c = GetParam();
  TempDir dir;
  const std::string file = dir.str() + "/host.ini";
  WriteFile(file, c.content);
  EXPECT_EQ(profile::GetString(file, c.section, c.key, "dflt"), c.expected);
}

const std::string kLong(300, 'x');
const std::string kLongLine = "[S]\r\nK=" + kLong + "\r\n";

INSTANTIATE_TEST_SUITE_P(
    Cases, ProfileRead,
    ::testing::Values(
        ReadCase{"plain", "[Tolvarin]\r\nOffice=TRUE\r\n", "Tolvarin", "Office", "TRUE"},
        ReadCase{"section_and_key_without_case", "[TOLVARIN]\r\noffice=yes\r\n", "tolvarin", "OFFICE", "yes"},
        ReadCase{"value_and_key_trimmed", "[S]\r\n  Key  =   spaced value   \r\n", "S", "Key", "spaced value"},
        ReadCase{"section_name_trimmed", "[ S ]\r\nK=v\r\n", "S", "K", "v"},
        ReadCase{"missing_key", "[S]\r\nK=v\r\n", "S", "Other", "dflt"},
        ReadCase{"missing_section", "[S]\r\nK=v\r\n", "T", "K", "dflt"},
        ReadCase{"key_of_another_section", "[A]\r\nK=a\r\n[B]\r\nJ=b\r\n", "B", "K", "dflt"},
        ReadCase{"second_section", "[A]\r\nK=a\r\n[B]\r\nK=b\r\n", "B", "K", "b"},
        ReadCase{"comment_ignored", "[S]\r\n;K=commented\r\nK=real\r\n", "S", "K", "real"},
        ReadCase{"lf_line_ends", "[S]\nK=v\n", "S", "K", "v"},
        ReadCase{"empty_value", "[S]\r\nK=\r\n", "S", "K", ""},
        ReadCase{"equals_in_value", "[S]\r\nK=a=b\r\n", "S", "K", "a=b"},
        ReadCase{"quoted_value", "[S]\r\nK=\" C:\\Data \"\r\n", "S", "K", " C:\\Data "},
        ReadCase{"unmatched_quote_kept", "[S]\r\nK=\"open\r\n", "S", "K", "\"open"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Profile, MissingFileGivesTheDefault) {
  TempDir dir;
  EXPECT_EQ(profile::GetString(dir.str() + "/none.ini", "S", "K", "d"), "d");
  EXPECT_EQ(profile::GetInt(dir.str() + "/none.ini", "S", "K", 7), 7);
}

TEST(Profile, LongTextsComeBackCutTo254) {
  TempDir dir;
  WriteFile(dir.str() + "/a.ini", kLongLine);
  EXPECT_EQ(profile::GetString(dir.str() + "/a.ini", "S", "K", ""), std::string(254, 'x'));
}

TEST(Profile, IntegersAsTheHostReadsThem) {
  TempDir dir;
  const std::string file = dir.str() + "/n.ini";
  WriteFile(file, "[S]\r\nA=42\r\nB=-1\r\nC=12abc\r\nD=abc\r\nE=\r\nF= 7 \r\n");
  EXPECT_EQ(profile::GetInt(file, "S", "A", 0), 42);
  EXPECT_EQ(profile::GetInt(file, "S", "B", 0), -1);
  EXPECT_EQ(profile::GetInt(file, "S", "C", 0), 12);
  EXPECT_EQ(profile::GetInt(file, "S", "D", 5), 0);   // present but not a number
  EXPECT_EQ(profile::GetInt(file, "S", "E", 5), 0);   // there but empty: 0, as Windows gives it
  EXPECT_EQ(profile::GetInt(file, "S", "F", 0), 7);
  EXPECT_EQ(profile::GetInt(file, "S", "Missing", -1), -1);
}

TEST(Profile, WriteCreatesFileAndSectionWithCrLf) {
  TempDir dir;
  const std::string file = dir.str() + "/new.ini";
  ASSERT_TRUE(profile::WriteString(file, "Tolvarin", "Created", "2024-01-02 03:04:05"));
  EXPECT_EQ(ReadFile(file), "[Tolvarin]\r\nCreated=2024-01-02 03:04:05\r\n");
  ASSERT_TRUE(profile::WriteString(file, "Other", "K", "v"));
  EXPECT_EQ(ReadFile(file), "[Tolvarin]\r\nCreated=2024-01-02 03:04:05\r\n\r\n[Other]\r\nK=v\r\n");
}

TEST(Profile, WriteKeepsEveryOtherLine) {
  TempDir dir;
  const std::string file = dir.str() + "/keep.ini";
  WriteFile(file,
            "; the host's settings\r\n[Edition]\r\nDatabasesPath=C:\\Data\r\n\r\n[tolvarin]\r\n; keep me\r\n"
            "  rangestart = 5\r\nOffice=FALSE\r\n\r\n[Last]\r\nX=1\r\n");
  ASSERT_TRUE(profile::WriteString(file, "Tolvarin", "RangeStart", "20000"));
  ASSERT_TRUE(profile::WriteString(file, "TOLVARIN", "NewExamID", "7"));
  EXPECT_EQ(ReadFile(file),
            "; the host's settings\r\n[Edition]\r\nDatabasesPath=C:\\Data\r\n\r\n[tolvarin]\r\n; keep me\r\n"
            "  rangestart=20000\r\nOffice=FALSE\r\nNewExamID=7\r\n\r\n[Last]\r\nX=1\r\n");
  EXPECT_EQ(profile::GetString(file, "Tolvarin", "RangeStart", ""), "20000");
}

TEST(Profile, FileNameFoundWithoutCaseAndNoSecondFileAppears) {
  TempDir dir;
  WriteFile(dir.str() + "/KESTAL.ini", "[Tolvarin]\r\nPrompt=FALSE\r\n");
  const std::string asComposed = dir.str() + "/Kestal.INI";
  EXPECT_EQ(profile::GetString(asComposed, "Tolvarin", "Prompt", ""), "FALSE");
  ASSERT_TRUE(profile::WriteString(asComposed, "Tolvarin", "Prompt", "TRUE"));
  EXPECT_EQ(profile::GetString(dir.str() + "/kestal.ini", "tolvarin", "prompt", ""), "TRUE");
  int files = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.path())) ++files;
  EXPECT_EQ(files, 1);
  EXPECT_TRUE(std::filesystem::exists(dir.path() / "KESTAL.ini"));
}

// The host's own settings file may be a link to a shared one, with permissions
// that are not ours to change, in a folder where nothing new may be created.
TEST(Profile, WriteGoesThroughALinkAndKeepsThePermissions) {
  TempDir dir;
  const auto shared = dir.path() / "shared";
  std::filesystem::create_directories(shared);
  const std::string target = (shared / "Kestal.INI").string();
  WriteFile(target, "[Tolvarin]\r\nPrompt=FALSE\r\n");
  std::filesystem::permissions(target, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write |
                                           std::filesystem::perms::group_read);
  const auto link = dir.path() / "Kestal.INI";
  std::filesystem::create_symlink(target, link);
  ASSERT_TRUE(profile::WriteString(link.string(), "Tolvarin", "Prompt", "TRUE"));
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(ReadFile(target), "[Tolvarin]\r\nPrompt=TRUE\r\n");
  EXPECT_EQ(std::filesystem::status(target).permissions(),
            std::filesystem::perms::owner_read | std::filesystem::perms::owner_write |
                std::filesystem::perms::group_read);
}

TEST(Profile, WriteInAFolderThatTakesNoNewFile) {
  TempDir dir;
  const auto folder = dir.path() / "locked";
  std::filesystem::create_directories(folder);
  const std::string file = (folder / "options.ini").string();
  WriteFile(file, "[Flags]\r\nCustomCourse=1\r\n");
  // No new entry in the folder, not even for the superuser (immutable folder); the
  // file itself stays writable.
  const std::string name = folder.string();
  const bool root = ::geteuid() == 0;
  if (root) {
    if (std::system(("chattr +i '" + name + "' 2>/dev/null").c_str()) != 0) GTEST_SKIP() << "no chattr here";
  } else {
    ::chmod(name.c_str(), 0555);
  }
  const bool written = profile::WriteString(file, "Flags", "CustomCourse", "0");
  if (root) [[maybe_unused]] int rc = std::system(("chattr -i '" + name + "' 2>/dev/null").c_str());
  ::chmod(name.c_str(), 0755);
  ASSERT_TRUE(written);
  EXPECT_EQ(ReadFile(file), "[Flags]\r\nCustomCourse=0\r\n");
}

}  // namespace
