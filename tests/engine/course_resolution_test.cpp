#include "engine/course_resolution.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sys/wait.h>

#include <filesystem>
#include <iostream>
#include <memory>
#include <vector>

#include "core/box_buttons.h"
#include "core/command_line.h"
#include "core/presenter.h"
#include "core/scripted_presenter.h"
#include "core/settings.h"
#include "core/terminate.h"
#include "data/catalogue.h"
#include "support/test_support.h"

namespace tolvarin {
namespace {

namespace fs = std::filesystem;
using testing_support::WriteFile;

// Keeps every box and echoes it on stderr, where a death test can see it.
class EchoPresenter : public MessagePresenter {
 public:
  std::vector<BoxRequest> asked;
  int Ask(const BoxRequest& box) override {
    asked.push_back(box);
    std::cerr << "BOX[" << (box.kind == BoxKind::System ? "System" : "Facility") << "," << box.icon << "] "
              << box.text << std::endl;
    return box.defaultButton;
  }
  std::string BrowseFolder(const FolderRequest&) override { return ""; }
  std::string InputBox(const InputRequest& request) override { return request.defaultText; }
};

// The program under test; beside this test program's build folder when the runner
// did not name it.
std::string ProgramPath() {
  const fs::path named = testing_support::TolvarinBinary();
  if (fs::exists(named)) return named.string();
  std::error_code ec;
  const fs::path self = fs::read_symlink("/proc/self/exe", ec);
  return (self.parent_path().parent_path().parent_path() / "bin" / "tolvarin").string();
}

std::array<std::int16_t, kCourseYears> Years() {
  std::array<std::int16_t, kCourseYears> years;
  years.fill(10);
  return years;
}

// A host folder with Databases holding the brands Corvane and Other.
class ResolveCoursePathTest : public ::testing::Test {
 protected:
  void SetUp() override {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    auto presenter = std::make_unique<EchoPresenter>();
    presenter_ = presenter.get();
    previous_ = SetPresenter(std::move(presenter));
    savedSettings_ = Settings();
    savedPaths_ = Paths();
    app_ = dir_.path() / "Host";
    databases_ = app_ / "Databases";
    fs::create_directories(databases_ / "Corvane");
    Settings() = RunSettings();
    Settings().AppPath = app_.string();
    Paths() = RunPaths();
    SetCurrentArea(AreaRecord());
    SetCurrentCourse(CourseRecord());
  }
  void TearDown() override {
    SetPresenter(std::move(previous_));
    SetCurrentArea(AreaRecord());
    SetCurrentCourse(CourseRecord());
    Settings() = savedSettings_;
    Paths() = savedPaths_;
    SetCommandLine("");
    Areas() = AreaCatalogue();
  }

  fs::path Area(const std::string& brand, const std::string& folder, int areaId) {
    const fs::path path = databases_ / brand / folder;
    fs::create_directories(path);
    WriteFile(path / "area.ini", "[General]\r\nAreaID=" + std::to_string(areaId) + "\r\nName=" + folder +
                                     "\r\n[CourseNames]\r\nCourse2=Second course\r\nCourse5=Fifth course\r\n");
    return path;
  }
  fs::path Course(const fs::path& area, const std::string& folder, int courseId) {
    const fs::path path = area / folder;
    fs::create_directories(path);
    WriteFile(path / "course.ini", "[General]\r\nCourseID=" + std::to_string(courseId) + "\r\n");
    const auto bytes = MakeCourseDat(Years());
    WriteFile(path / kCourseDatFile, std::string(bytes.begin(), bytes.end()));
    return path;
  }
  void Run(const std::string& commandLine) {
    SetCommandLine(commandLine);
    ResolveCoursePath();
  }

  testing_support::TempDir dir_;
  fs::path app_;
  fs::path databases_;
  EchoPresenter* presenter_ = nullptr;
  std::unique_ptr<MessagePresenter> previous_;
  RunSettings savedSettings_;
  RunPaths savedPaths_;
};

TEST_F(ResolveCoursePathTest, FindsTheCourseFromAreaAndCourseIdentifiers) {
  Area("Corvane", "Math", 1);
  const fs::path science = Area("Corvane", "Science", 2);
  const fs::path course = Course(science, "Bio", 5);
  WriteFile(databases_ / "Corvane" / "brand.ini", "[General]\r\nBrandID=3\r\n");

  Run("AppPath:" + app_.string() + " AreaID:2 CourseID:5");
  EXPECT_TRUE(presenter_->asked.empty());
  EXPECT_EQ(Paths().DatabasesRoot, databases_.string());
  EXPECT_EQ(Paths().Brand, "Corvane");
  EXPECT_EQ(Paths().BrandFolder, (databases_ / "Corvane").string());
  EXPECT_EQ(CurrentArea().AreaID, 2);
  EXPECT_EQ(Paths().AreaFolder, science.string());
  EXPECT_EQ(CurrentCourse().DisplayName, "Fifth course");
  EXPECT_EQ(CurrentCourse().CourseID, 5);
  EXPECT_EQ(Paths().CoursePath, course.string());
  EXPECT_EQ(CurrentCourse().Year(2013), 10);
}

TEST_F(ResolveCoursePathTest, ASingleAreaIsTakenWhateverTheKeysSay) {
  const fs::path math = Area("Corvane", "Math", 1);
  Course(math, "Alg", 2);
  Run("AreaID:9 CourseID:2");
  EXPECT_EQ(CurrentArea().AreaID, 1);
  EXPECT_EQ(Paths().CoursePath, (math / "Alg").string());
}

TEST_F(ResolveCoursePathTest, TheAreaMayComeFromTheFolderAboveDestPath) {
  Area("Corvane", "Math", 1);
  const fs::path science = Area("Corvane", "Science", 2);
  const fs::path course = Course(science, "Bio", 2);
  Run("DestPath:" + course.string() + " CourseID:2.4");
  EXPECT_EQ(CurrentArea().AreaID, 2);
  EXPECT_EQ(Paths().CoursePath, course.string());
}

TEST_F(ResolveCoursePathTest, WithoutCourseIdTheCourseStaysEmpty) {
  Area("Corvane", "Math", 1);
  Area("Corvane", "Science", 2);
  Run("AreaID:1");
  EXPECT_EQ(CurrentArea().AreaID, 1);
  EXPECT_EQ(Paths().CoursePath, "");
  // A slot without a course folder gives its name but no path.
  Run("AreaID:1 CourseID:5");
  EXPECT_EQ(CurrentCourse().DisplayName, "Fifth course");
  EXPECT_FALSE(CurrentCourse().Loaded);
  EXPECT_EQ(Paths().CoursePath, "");
}

TEST_F(ResolveCoursePathTest, TheBrandKeyChoosesAnExistingBrandFolder) {
  const fs::path other = Area("Other", "Math", 4);
  Course(other, "Alg", 2);
  Run("Brand:Other CourseID:2");
  EXPECT_EQ(Paths().Brand, "Other");
  EXPECT_EQ(Paths().BrandFolder, (databases_ / "Other").string());
  EXPECT_EQ(CurrentArea().AreaID, 4);
  EXPECT_EQ(Paths().CoursePath, (other / "Alg").string());

  Area("Corvane", "Home", 1);
  Run("Brand:Missing");
  EXPECT_EQ(Paths().Brand, "Corvane");
  EXPECT_EQ(CurrentArea().AreaID, 1);
}

TEST_F(ResolveCoursePathTest, TakesAnAbsoluteDatabasesPathAsItIs) {
  const fs::path elsewhere = dir_.path() / "Elsewhere";
  fs::create_directories(elsewhere / "Corvane");
  WriteFile(app_ / "Kestal.INI", "[Edition]\r\nDatabasesPath=" + elsewhere.string() + "\r\n");
  const fs::path area = elsewhere / "Corvane" / "Math";
  fs::create_directories(area);
  WriteFile(area / "area.ini", "[General]\r\nAreaID=1\r\nName=Math\r\n");
  Run("");
  EXPECT_EQ(Paths().DatabasesRoot, elsewhere.string());
  EXPECT_EQ(Paths().AreaFolder, area.string());
}

TEST_F(ResolveCoursePathTest, APrecisionBackupNeedsNoCourse) {
  Settings().Mode = 6;
  Settings().Operation = 1;
  Run("AreaID:1 CourseID:1");
  EXPECT_EQ(Paths().DatabasesRoot, "");
  EXPECT_EQ(Paths().Brand, "");
}

TEST_F(ResolveCoursePathTest, RepairAndRestorePointModesGoOnWithoutAnArea) {
  Area("Corvane", "Math", 1);
  Area("Corvane", "Science", 2);
  for (long mode : {6L, 8L}) {
    Settings().Mode = mode;
    Settings().Operation = 2;
    Run("");
    EXPECT_TRUE(presenter_->asked.empty()) << mode;
  }
}

TEST_F(ResolveCoursePathTest, StartUpFailuresTellTheUserAndEndTheRun) {
  // Several areas and nothing naming one.
  Area("Corvane", "Math", 1);
  Area("Corvane", "Science", 2);
  EXPECT_EXIT(Run("CourseID:1"), ::testing::ExitedWithCode(kTerminateStatus),
              "BOX\\[System,0\\] No Area specified to Corvane Backup and Restore System\\.  Please call "
              "1-888-CORVANE for more information\\.");
  // A brand.ini without BrandID.
  WriteFile(databases_ / "Corvane" / "brand.ini", "[General]\r\nName=x\r\n");
  EXPECT_EXIT(Run("AreaID:1"), ::testing::ExitedWithCode(kTerminateStatus),
              "BOX\\[System,16\\] Invalid database directory or AppPath is incorrect\\.  Please call "
              "1-888-CORVANE for more information\\.");
  // A CourseID that names no slot.
  fs::remove(databases_ / "Corvane" / "brand.ini");
  EXPECT_EXIT(Run("AreaID:1 CourseID:20"), ::testing::ExitedWithCode(kTerminateStatus),
              "BOX\\[System,16\\] Invalid CourseID parameter\\.");
}

// The real program on the same installation: what it resolved, and the box and exit
// status of a start-up that cannot tell the area.
TEST_F(ResolveCoursePathTest, TheProgramResolvesTheCourseAtStartUp) {
  Area("Corvane", "Math", 1);
  const fs::path science = Area("Corvane", "Science", 2);
  const fs::path course = Course(science, "Bio", 2);
  const fs::path transcript = dir_.path() / "transcript.txt";
  const fs::path settings = dir_.path() / "settings.txt";
  auto run = [&](const std::string& args) {
    fs::remove(transcript);
    fs::remove(settings);
    const std::string command = std::string(kTranscriptVariable) + "=" + transcript.string() +
                                " TOLVARIN_SETTINGS_DUMP=" + settings.string() + " " +
                                ProgramPath() + " AppPath:" + app_.string() + " Mode:FIXCOURSEDAT " + args +
                                " 2>/dev/null";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  };

  ASSERT_EQ(run("AreaID:2 CourseID:2"), 0);
  const std::string resolved = testing_support::ReadFile(settings);
  EXPECT_NE(resolved.find("CoursePath=" + course.string() + "\n"), std::string::npos) << resolved;
  EXPECT_NE(resolved.find("AreaFolder=" + science.string() + "\n"), std::string::npos) << resolved;
  EXPECT_NE(resolved.find("DatabasesRoot=" + databases_.string() + "\n"), std::string::npos) << resolved;

  EXPECT_EQ(run("CourseID:2"), kTerminateStatus);
  EXPECT_FALSE(fs::exists(settings)) << "the run ended before its mode ran";
  const std::vector<ShownBox> boxes = ReadTranscript(transcript.string());
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].kind, "System");
  EXPECT_EQ(boxes[0].box.text,
            "No Area specified to Corvane Backup and Restore System.  Please call 1-888-CORVANE for more "
            "information.");
  EXPECT_EQ(boxes[0].box.icon, 0);
}

}  // namespace
}  // namespace tolvarin
