#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "engine/course_fixture.h"
#include "engine/modes/installer_scripts.h"
#include "engine/modes/vista_migrate.h"

namespace fs = std::filesystem;
using testing_support::ReadFile;
using testing_support::WriteFile;

namespace {

std::map<std::string, std::string> Tree(const fs::path& root) {
  std::map<std::string, std::string> tree;
  if (!fs::exists(root)) return tree;
  for (const auto& e : fs::recursive_directory_iterator(root))
    if (e.is_symlink())
      tree[fs::relative(e.path(), root).string()] = "-> " + fs::read_symlink(e.path()).string();
    else if (e.is_regular_file())
      tree[fs::relative(e.path(), root).string()] = ReadFile(e.path());
  return tree;
}

class MigrationTest : public package_testing::CourseTest {
 protected:
  void SetUp() override {
    CourseTest::SetUp();
    program = Scratch("Program Files/Kestal");
    user = Scratch("Users/Kestal");
    target = Scratch("NewHome/Kestal");
    WriteFile(Put(program, "kestal.exe"), "program");
    WriteFile(Put(program, "Databases/Corvane/users.dbf"), "users");
    WriteFile(Put(user, "Databases/Science/Biology/quests.dbf"), "quests");
    WriteFile(Put(user, "notes.txt"), "notes");
    fs::create_symlink("kestal.exe", program + "/kestal-link");
  }
  static std::string Put(const std::string& root, const std::string& relative) {
    fs::create_directories(fs::path(root + "/" + relative).parent_path());
    return root + "/" + relative;
  }
  std::string program, user, target;
};

TEST_F(MigrationTest, BothTreesMoveIntoTheNewTarget) {
  std::map<std::string, std::string> expected = Tree(program);
  for (const auto& [name, bytes] : Tree(user)) expected[name] = bytes;
  EXPECT_EQ(tolvarin::VistaMigrate(program, target, user), 0);
  EXPECT_EQ(Tree(target), expected);
  EXPECT_TRUE(Tree(program).empty());
  EXPECT_TRUE(Tree(user).empty());
  EXPECT_TRUE(presenter_->Shown().empty());
}

TEST_F(MigrationTest, ExistingTargetIsRefusedWithInstallAbortInTheProgramFolder) {
  fs::create_directories(target);
  const auto before = Tree(program);
  EXPECT_NE(tolvarin::VistaMigrate(program, target, user), 0);
  EXPECT_EQ(ReadFile(program + "/Install.abort"), "ABORT\r\n");
  EXPECT_FALSE(fs::exists(target + "/Install.abort"));
  auto after = Tree(program);
  after.erase("Install.abort");
  EXPECT_EQ(after, before);
  ASSERT_EQ(presenter_->Shown().size(), 1u);
  EXPECT_EQ(presenter_->Shown()[0].box.text, "Error, the destination path already exists.");
}

TEST_F(MigrationTest, FilesThatCouldNotMoveAreNamedInInstallAbort) {
  WriteFile(Put(program, "Shared/readme.txt"), "a folder of the program");
  WriteFile(Put(user, "Shared"), "a file where the program's folder goes");
  EXPECT_NE(tolvarin::VistaMigrate(program, target, user), 0);
  EXPECT_EQ(ReadFile(program + "/Install.abort"), "ABORT\r\n" + user + "/Shared\r\n");
  EXPECT_EQ(ReadFile(user + "/Shared"), "a file where the program's folder goes");  // kept where it was
  EXPECT_EQ(ReadFile(target + "/Shared/readme.txt"), "a folder of the program");
  EXPECT_EQ(ReadFile(target + "/notes.txt"), "notes");
  ASSERT_EQ(presenter_->Shown().size(), 1u);
  EXPECT_NE(presenter_->Shown()[0].box.text.find(user + "/Shared"), std::string::npos);
}

TEST_F(MigrationTest, TargetInsideAMovedFolderIsRefused) {
  const auto before = Tree(user);
  EXPECT_NE(tolvarin::VistaMigrate(program, user + "/Moved", user), 0);
  EXPECT_TRUE(fs::exists(program + "/Install.abort"));
  EXPECT_EQ(Tree(user), before);
}

TEST(InstallerScripts, PathTextIsTheLastFoldersInUpperCase) {
  tolvarin::AreaRecord area;
  area.Path = "/inst/Corvane/Area5";
  tolvarin::CourseRecord course;
  course.Path = "/inst/Corvane/Area5/Course2";
  course.CourseID = 2;
  EXPECT_EQ(tolvarin::InstallerPathText(area, course), "\\AREA5\\COURSE2\\");
  course.CourseID = -1;
  EXPECT_EQ(tolvarin::InstallerPathText(area, course), "\\AREA5\\");
}

TEST_F(MigrationTest, ScriptReplacesEveryPlaceholderAndTakesTheCoursesName) {
  const std::string scripts = Scratch("templates/wise");
  const tolvarin::ProductionFolders folders{scripts, made_.install.brand, Scratch("upgrades")};
  fs::create_directories(scripts);
  const std::string templatePath = scripts + "/template_courseonly.wse";
  WriteFile(templatePath, "Course=<coursename>\r\nArea=<areaname>\r\nPath=<acpath>\r\nAgain=<coursename>\r\n");
  tolvarin::AreaRecord area;
  area.Name = "Science";
  area.Path = made_.install.area;
  tolvarin::CourseRecord course;
  course.DisplayName = "Biology";
  course.CourseID = 3;
  course.Path = made_.install.course;
  ASSERT_TRUE(tolvarin::MakeWiseScript(area, course, templatePath, "", "", folders));
  EXPECT_EQ(ReadFile(scripts + "/Biology_courseonly.wse"),
            "Course=Biology\r\nArea=Science\r\nPath=\\SCIENCE\\BIOLOGY\\\r\nAgain=Biology\r\n");
  EXPECT_TRUE(fs::is_directory(Scratch("upgrades/FullUprades/CourseUpgrades")));

  course.CourseID = -1;  // area level
  ASSERT_TRUE(tolvarin::MakeWiseScript(area, course, templatePath, "", "", folders));
  EXPECT_EQ(ReadFile(scripts + "/Science_courseonly.wse"), "Course=\r\nArea=Science\r\nPath=\\SCIENCE\\\r\nAgain=\r\n");
  EXPECT_TRUE(fs::is_directory(Scratch("upgrades/FullUprades/AreaUpgrades")));

  // A template without placeholders is written unchanged; a name with separators
  // stays in the script folder.
  WriteFile(templatePath, "no placeholders\r\n");
  course.CourseID = 4;
  course.DisplayName = "../Chem";
  ASSERT_TRUE(tolvarin::MakeWiseScript(area, course, templatePath, "", "", folders));
  EXPECT_EQ(ReadFile(scripts + "/.._Chem_courseonly.wse"), "no placeholders\r\n");
}

}  // namespace
