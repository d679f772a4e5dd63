#include "core/files.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "core/paths.h"
#include "core/text_cipher.h"
#include "core_fixture.h"
#include "read_only_folder.h"

namespace fs = std::filesystem;
using testing_support::ReadFile;
using testing_support::WriteFile;
using namespace tolvarin;

namespace {

class FilesTest : public core_testing::HostFolderTest {};

TEST_F(FilesTest, ExistenceIsCaseFreeForFilesAndFolders) {
  fs::create_directories(At("Databases/Corvane"));
  core_testing::Put(At("Kestal.exe"), "");
  EXPECT_TRUE(FileExists(At("kestal.exe")));
  EXPECT_TRUE(FileExists(At("databases")));  // folders count too
  EXPECT_TRUE(FolderExists(At("DATABASES/corvane/")));
  EXPECT_FALSE(FileExists(At("gradebook.exe")));
  EXPECT_FALSE(FileExists(""));
}

TEST_F(FilesTest, CreateFolderTreeMakesEveryLevelOnce) {
  EXPECT_TRUE(CreateFolderTree(At("a/b/c/d")));
  EXPECT_TRUE(fs::is_directory(At("a/b/c/d")));
  EXPECT_TRUE(CreateFolderTree(At("a/b/c/d")));  // already there
  fs::create_directory(At("Backups"));
  EXPECT_TRUE(CreateFolderTree(At("backups/daily")));
  EXPECT_EQ(Entries("Backups"), (std::vector<std::string>{"daily"}));
  EXPECT_EQ(Entries(), (std::vector<std::string>{"Backups", "a"}));  // no second "backups"
}

TEST_F(FilesTest, CreateFolderTreeReportsAFolderItCouldNotMake) {
  core_testing::Put(At("plainfile"), "x");
  EXPECT_FALSE(CreateFolderTree(At("plainfile/sub")));
  EXPECT_FALSE(CreateFolderTree(At("plainfile")));
  fs::create_directory(At("locked"));
  core_testing::ReadOnlyFolder locked(At("locked"));
  if (locked.Works()) {
    EXPECT_FALSE(CreateFolderTree(At("locked/new/deeper")));
  }
}

TEST_F(FilesTest, DeleteFolderFilesKeepsTheListedExtensionsInTheTopFolderOnly) {
  core_testing::Put(At("db/data.dbf"), "");
  core_testing::Put(At("db/DATA.CDX"), "");
  core_testing::Put(At("db/notes.txt"), "");
  fs::create_directories(At("db/sub/deep"));
  core_testing::Put(At("db/sub/kept.dbf"), "");
  core_testing::Put(At("db/sub/deep/x.dbf"), "");
  DeleteFolderFiles(At("db"), false, "DBF CDX");
  EXPECT_EQ(Entries("db"), (std::vector<std::string>{"DATA.CDX", "data.dbf", "sub"}));
  DeleteFolderFiles(At("db/"), true, "dbf");
  EXPECT_EQ(Entries("db"), (std::vector<std::string>{"data.dbf"}));
}

TEST_F(FilesTest, GetFilesInFolderFiltersExtensionsWithoutCase) {
  for (const char* name : {"b.Fpt", "A.DBF", "c.cdx"}) core_testing::Put(At(std::string("t/") + name), "");
  fs::create_directory(At("t/folder.dbf"));
  EXPECT_EQ(GetFilesInFolder(At("t"), kAttrNormal, "dbf;fpt"),
            (std::vector<std::string>{At("t/A.DBF"), At("t/b.Fpt")}));
  EXPECT_EQ(GetFilesInFolder(At("t"), kAttrNormal, "").size(), 3u);
}

TEST_F(FilesTest, SubFoldersListEachFolderThenTheSubtreesInOrder) {
  for (const char* f : {"r/B", "r/a", "r/a/y", "r/a/x", "r/B/z"}) fs::create_directories(At(f));
  EXPECT_EQ(GetSubFolders(At("r"), false), (std::vector<std::string>{At("r"), At("r/a"), At("r/B")}));
  EXPECT_EQ(GetSubFolders(At("r"), true),
            (std::vector<std::string>{At("r"), At("r/a"), At("r/B"), At("r/a/x"), At("r/a/y"), At("r/B/z")}));
}

TEST_F(FilesTest, CopyFilesByPatternByItsFourCases) {
  core_testing::Put(At("src/users.dbf"), "new");
  core_testing::Put(At("src/USERS.cdx"), "newx");
  core_testing::Put(At("src/other.dbf"), "o");
  core_testing::Put(At("dst/Users.DBF"), "old");
  // Plain copy overwrites the existing file under its own name.
  EXPECT_TRUE(CopyFilesByPattern(At("src/users.*"), At("dst"), false, false));
  EXPECT_EQ(Entries("dst"), (std::vector<std::string>{"USERS.cdx", "Users.DBF"}));
  EXPECT_EQ(ReadFile(At("dst/Users.DBF")), "new");
  // A plain move refuses a target that exists, and says so.
  EXPECT_FALSE(CopyFilesByPattern(At("src/users.dbf"), At("dst"), false, true));
  EXPECT_TRUE(fs::exists(At("src/users.dbf")));
  // Overwrite and move replaces it.
  core_testing::Put(At("src/users.dbf"), "newer");
  EXPECT_TRUE(CopyFilesByPattern(At("src/USERS.DBF"), At("dst"), true, true));
  EXPECT_FALSE(fs::exists(At("src/users.dbf")));
  EXPECT_EQ(ReadFile(At("dst/Users.DBF")), "newer");
  EXPECT_EQ(Entries("dst").size(), 2u);
}

TEST_F(FilesTest, SingleFileCopiesAndMovesReplaceTheTargetWhateverItsCase) {
  core_testing::Put(At("a.txt"), "A");
  core_testing::Put(At("B.TXT"), "old");
  CopyFileReplace(At("A.TXT"), At("b.txt"));
  EXPECT_EQ(ReadFile(At("B.TXT")), "A");
  CopyFileOverwrite(At("a.txt"), At("c.txt"));
  EXPECT_EQ(ReadFile(At("c.txt")), "A");
  MoveFileOverwrite(At("c.txt"), At("b.TxT"));
  EXPECT_EQ(Entries(), (std::vector<std::string>{"B.TXT", "a.txt"}));
  DeleteFile(At("A.txt"));
  EXPECT_EQ(Entries(), (std::vector<std::string>{"B.TXT"}));
}

TEST_F(FilesTest, DeleteFolderTreeRemovesEverythingButFollowsNoLink) {
  core_testing::Put(At("outside/keep.txt"), "k");
  core_testing::Put(At("tree/a/b/.hidden"), "");
  core_testing::Put(At("tree/top.txt"), "");
  fs::create_directory_symlink(At("outside"), At("tree/a/link"));
  EXPECT_TRUE(DeleteFolderTree(At("tree")));
  EXPECT_FALSE(fs::exists(At("tree")));
  EXPECT_TRUE(fs::exists(At("outside/keep.txt")));
  EXPECT_FALSE(DeleteFolderTree(At("never-there")));
  core_testing::Put(At("single.txt"), "");
  EXPECT_TRUE(DeleteFolderTree(At("single.txt")));
}

TEST_F(FilesTest, MoveFolderTreeMovesFilesAndSubfoldersAndLeavesEmptyFolders) {
  core_testing::Put(At("from/a.dbf"), "a");
  core_testing::Put(At("from/sub/b.dbf"), "b");
  core_testing::Put(At("to/A.DBF"), "old");
  MoveFolderTree(At("from"), At("to"));
  EXPECT_EQ(ReadFile(At("to/A.DBF")), "a");
  EXPECT_EQ(ReadFile(At("to/sub/b.dbf")), "b");
  EXPECT_EQ(Entries("from"), (std::vector<std::string>{"sub"}));
  EXPECT_TRUE(Entries("from/sub").empty());
}

TEST_F(FilesTest, TextFilesReadLineByLine) {
  core_testing::Put(At("t.txt"), "one\r\ntwo\nthree\rfour");
  EXPECT_EQ(ReadTextFile(At("t.txt"), false, false), "onetwothreefour");
  EXPECT_EQ(ReadTextFile(At("T.TXT"), false, true), "one\r\ntwo\r\nthree\r\nfour\r\n");
  core_testing::Put(At("b.bin"), std::string("a\tb\x01\x7f\xff" "c", 7));
  EXPECT_EQ(ReadTextFile(At("b.bin"), true, false), "a b   c");
  EXPECT_EQ(ReadTextFile(At("missing.txt"), false, false), "");
}

TEST_F(FilesTest, LinesAfterTheMarkerAreDeciphered) {
  const std::string secret = EncryptText("secret words");
  if (secret.find_first_of("\r\n") != std::string::npos) GTEST_SKIP() << "this text enciphers to a line break";
  core_testing::Put(At("c.txt"), "plain\r\n#CORVANE\r\n" + secret + "\r\n");
  EXPECT_EQ(ReadTextFile(At("c.txt"), false, false), "plainsecret words");
}

TEST_F(FilesTest, WholeFilesRoundTrip) {
  WriteTextFile(At("w.txt"), "line");
  EXPECT_EQ(ReadFile(At("w.txt")), "line\r\n");
  const std::vector<std::uint8_t> bytes{0, 1, 2, 255, 10, 13};
  WriteFileBytes(At("w.bin"), bytes);
  EXPECT_EQ(ReadFileBytes(At("W.BIN")), bytes);
  core_testing::Put(At("empty.bin"), "");
  EXPECT_TRUE(ReadFileBytes(At("empty.bin")).empty());
  EXPECT_TRUE(ReadFileBytes(At("none.bin")).empty());
  EXPECT_FALSE(fs::exists(At("none.bin")));  // reading never makes a file
}

TEST_F(FilesTest, OpenFileCheckedTellsTheUserWhenTheOpenFails) {
  std::fstream quiet = OpenFileChecked(At("no/such/file.txt"), FileMode::Input, true);
  EXPECT_FALSE(quiet.is_open());
  EXPECT_TRUE(Shown().empty());
  std::fstream loud = OpenFileChecked(At("no/such/file.txt"), FileMode::Input, false);
  EXPECT_FALSE(loud.is_open());
  ASSERT_EQ(Shown().size(), 1u);
  EXPECT_EQ(Shown()[0].box.text.rfind("There was an error opening the file: " + At("no/such/file.txt") +
                                          "\r\n\r\nError code: ",
                                      0),
            0u);
  std::fstream binary = OpenFileChecked(At("made.bin"), FileMode::Binary, false);
  EXPECT_TRUE(binary.is_open());
  EXPECT_TRUE(fs::exists(At("made.bin")));
}

TEST_F(FilesTest, WritableProbeLeavesNothingAndNeverTouchesTheUsersFiles) {
  core_testing::Put(At("test.dat"), "the user's own file");
  EXPECT_TRUE(CheckFolderWritable(At("Kestal.INI"), false, true));
  EXPECT_EQ(ReadFile(At("test.dat")), "the user's own file");
  EXPECT_EQ(Entries(), (std::vector<std::string>{"test.dat"}));
  EXPECT_EQ(WritableFolders().count(NormalizePath(App())), 1u);
  EXPECT_TRUE(Shown().empty());
}

TEST_F(FilesTest, WritableProbeSkipsFoldersOutsideAppPathAndMissingOnes) {
  testing_support::TempDir outside;
  EXPECT_TRUE(CheckFolderWritable(outside.str() + "/x.ini", false, true));
  EXPECT_EQ(WritableFolders().count(NormalizePath(outside.str())), 0u);
  EXPECT_TRUE(CheckFolderWritable(outside.str() + "/x.ini", false, false));
  EXPECT_EQ(WritableFolders().count(NormalizePath(outside.str())), 1u);
  EXPECT_TRUE(CheckFolderWritable(At("missing/x.ini"), false, true));
  EXPECT_TRUE(WritableFolders().count(NormalizePath(At("missing"))) == 0);
}

TEST_F(FilesTest, ReadOnlyFolderShowsThePermissionsBoxAndIsTestedAgain) {
  fs::create_directory(At("ro"));
  core_testing::ReadOnlyFolder ro(At("ro"));
  if (!ro.Works()) GTEST_SKIP() << "cannot make a folder read-only here";
  Script().Push("Continue Anyway");
  EXPECT_FALSE(CheckFolderWritable(At("ro/a.dbf"), false, true));
  ASSERT_EQ(Shown().size(), 1u);
  const ShownBox& box = Shown()[0];
  EXPECT_EQ(box.box.title, "Corvane");
  EXPECT_EQ(box.box.icon, 16);
  EXPECT_EQ(box.box.captions, (std::vector<std::string>{"Exit Program", "Continue Anyway"}));
  EXPECT_EQ(box.box.defaultButton, 1);
  EXPECT_EQ(box.box.cancelButton, 1);
  EXPECT_EQ(box.box.text.rfind("Error: Unable to create temporary file in \"" + At("ro/") + "\".\r\n\r\nIt appears", 0),
            0u);
  EXPECT_FALSE(CheckFolderWritable(At("ro/a.dbf"), true, true));  // quiet, and tried again
  EXPECT_EQ(Shown().size(), 1u);
}

TEST_F(FilesTest, DirCheckedListsSortedWithoutCase) {
  for (const char* name : {"b.gif", "A.GIF", ".hidden.gif", "c.txt"}) core_testing::Put(At(std::string("img/") + name), "");
  fs::create_directory(At("img/Dir.gif"));
  EXPECT_EQ(DirChecked(At("img/*.gif"), kAttrNormal), (std::vector<std::string>{"A.GIF", "b.gif"}));
  EXPECT_EQ(DirChecked(At("IMG/*.gif"), kAttrDirectory), (std::vector<std::string>{"A.GIF", "b.gif", "Dir.gif"}));
  EXPECT_EQ(DirChecked(At("img/*.gif"), kAttrHidden).size(), 3u);
}

TEST_F(FilesTest, BrowseForFolderAsksThePresenter) {
  Script().Push("/chosen/folder");
  EXPECT_EQ(BrowseForFolder("Pick", "/start"), "/chosen/folder");
  ASSERT_EQ(Shown().size(), 1u);
  EXPECT_EQ(Shown()[0].kind, "Folder");
  EXPECT_EQ(Shown()[0].box.text, "/start");
}

}  // namespace
