#include "platform/shell/shell.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "support/test_support.h"

namespace fs = std::filesystem;
using testing_support::TempDir;
using testing_support::WriteFile;

namespace {

// Points TMPDIR at a folder for one test.
class TmpDirOverride {
 public:
  explicit TmpDirOverride(const std::string& dir) {
    if (const char* old = std::getenv("TMPDIR")) old_ = old, had_ = true;
    ::setenv("TMPDIR", dir.c_str(), 1);
  }
  ~TmpDirOverride() {
    if (had_)
      ::setenv("TMPDIR", old_.c_str(), 1);
    else
      ::unsetenv("TMPDIR");
  }

 private:
  std::string old_;
  bool had_ = false;
};

TEST(ShellTemp, PrivateFolderIsCreatedOwnerOnly) {
  TempDir dir;
  TmpDirOverride over(dir.str());
  const std::string temp = shell::TempFolder();
  ASSERT_FALSE(temp.empty());
  EXPECT_EQ(temp.back(), '/');
  struct stat st;
  ASSERT_EQ(::lstat(temp.c_str(), &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode));
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  EXPECT_EQ(st.st_uid, ::getuid());
  EXPECT_EQ(shell::TempFolder(), temp);  // the same folder every time
}

TEST(ShellTemp, LooseFolderOfOursIsTightened) {
  TempDir dir;
  TmpDirOverride over(dir.str());
  const std::string expected = dir.str() + "/tolvarin-" + std::to_string(::getuid());
  ::mkdir(expected.c_str(), 0777);
  ::chmod(expected.c_str(), 0777);
  ASSERT_EQ(shell::TempFolder(), expected + "/");
  struct stat st;
  ::lstat(expected.c_str(), &st);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
}

TEST(ShellTemp, LinkInItsPlaceIsRefused) {
  TempDir dir;
  TmpDirOverride over(dir.str());
  fs::create_directory(dir.path() / "elsewhere");
  fs::create_directory_symlink(dir.path() / "elsewhere", dir.path() / ("tolvarin-" + std::to_string(::getuid())));
  EXPECT_EQ(shell::TempFolder(), "");
}

TEST(ShellTemp, FileInItsPlaceIsRefused) {
  TempDir dir;
  TmpDirOverride over(dir.str());
  WriteFile(dir.path() / ("tolvarin-" + std::to_string(::getuid())), "x");
  EXPECT_EQ(shell::TempFolder(), "");
}

TEST(ShellTemp, FolderOfAnotherUserIsRefused) {
  if (::geteuid() != 0) GTEST_SKIP() << "only root can give a folder away";
  TempDir dir;
  TmpDirOverride over(dir.str());
  const std::string expected = dir.str() + "/tolvarin-" + std::to_string(::getuid());
  ASSERT_EQ(::mkdir(expected.c_str(), 0700), 0);
  ASSERT_EQ(::chown(expected.c_str(), 12345, 12345), 0);
  EXPECT_EQ(shell::TempFolder(), "");
}

TEST(ShellCase, ResolvesEachPartWithoutCase) {
  TempDir dir;
  fs::create_directories(dir.path() / "Databases" / "Corvane");
  WriteFile(dir.path() / "Databases" / "Corvane" / "USERS.DBF", "");
  EXPECT_EQ(shell::ResolveCase(dir.str() + "/databases/CORVANE/users.dbf"), dir.str() + "/Databases/Corvane/USERS.DBF");
  // Parts that do not exist keep the case they were written in.
  EXPECT_EQ(shell::ResolveCase(dir.str() + "/DATABASES/New/File.txt"), dir.str() + "/Databases/New/File.txt");
  EXPECT_EQ(shell::ResolveCase(dir.str() + "/Databases/"), dir.str() + "/Databases/");
}

TEST(ShellCase, ExactNameWinsOverOtherSpellings) {
  TempDir dir;
  WriteFile(dir.path() / "kestal.ini", "a");
  WriteFile(dir.path() / "Kestal.INI", "b");
  EXPECT_EQ(shell::ResolveCase(dir.str() + "/Kestal.INI"), dir.str() + "/Kestal.INI");
  EXPECT_EQ(shell::ResolveCase(dir.str() + "/kestal.ini"), dir.str() + "/kestal.ini");
  // None exact: the same spelling every time, the first in plain order, whatever
  // order the folder lists them in.
  WriteFile(dir.path() / "KESTAL.ini", "c");
  EXPECT_EQ(shell::ResolveCase(dir.str() + "/KESTAL.INI"), dir.str() + "/KESTAL.ini");
}

TEST(ShellList, SortedWithoutCaseAndMatchedWithoutCase) {
  TempDir dir;
  for (const char* name : {"b.DBF", "A.dbf", "c.cdx", "0012345.GIF", "0012345.gif.bak", "x.Dbf"})
    WriteFile(dir.path() / name, "");
  fs::create_directory(dir.path() / "Sub.dbf");
  fs::create_directory(dir.path() / "alpha");
  EXPECT_EQ(shell::ListFiles(dir.str(), "*.dbf"), (std::vector<std::string>{"A.dbf", "b.DBF", "x.Dbf"}));
  EXPECT_EQ(shell::ListFiles(dir.str(), "00?????.gif"), (std::vector<std::string>{"0012345.GIF"}));
  EXPECT_EQ(shell::ListFolders(dir.str(), "*"), (std::vector<std::string>{"alpha", "Sub.dbf"}));
  EXPECT_EQ(shell::ListFiles(dir.str() + "/ALPHA", "*").size(), 0u);
  EXPECT_EQ(shell::ListFiles(dir.str(), "*.*").size(), 6u);
}

TEST(ShellPattern, StarAndQuestionMark) {
  struct Case {
    const char* name;
    const char* pattern;
    bool match;
  } cases[] = {
      {"users.dbf", "*.DBF", true},  {"users.dbf", "USERS.*", true}, {"users", "*.*", true},
      {"users.dbf", "*.cdx", false}, {"ab", "a?", true},             {"a", "a?", false},
      {"abc", "a*c", true},          {"ac", "a*c", true},            {"abd", "a*c", false},
  };
  for (const Case& c : cases) EXPECT_EQ(shell::MatchPattern(c.name, c.pattern), c.match) << c.name << " " << c.pattern;
}

TEST(ShellMisc, NoMappedDrives) { EXPECT_EQ(shell::MappedDriveShare("Z:"), ""); }

}  // namespace
