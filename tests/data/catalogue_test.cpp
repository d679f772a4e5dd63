#include "data/catalogue.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <random>
#include <vector>

#include "core/ini_file.h"
#include "core/presenter.h"
#include "core/settings.h"
#include "core/text_cipher.h"
#include "support/test_support.h"

namespace tolvarin {
namespace {

namespace fs = std::filesystem;
using testing_support::WriteFile;

using YearValues = std::array<std::int16_t, kCourseYears>;

YearValues AllYears(std::int16_t value) {
  YearValues years;
  years.fill(value);
  return years;
}

std::string Bytes(const std::vector<std::uint8_t>& bytes) { return std::string(bytes.begin(), bytes.end()); }

class RecordingPresenter : public MessagePresenter {
 public:
  std::vector<BoxRequest> asked;
  int Ask(const BoxRequest& box) override {
    asked.push_back(box);
    return box.defaultButton;
  }
  std::string BrowseFolder(const FolderRequest&) override { return ""; }
  std::string InputBox(const InputRequest& request) override { return request.defaultText; }
};

// A host folder with Databases/Corvane holding areas and courses.
class CatalogueTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto presenter = std::make_unique<RecordingPresenter>();
    presenter_ = presenter.get();
    previous_ = SetPresenter(std::move(presenter));
    savedSettings_ = Settings();
    savedPaths_ = Paths();
    app_ = dir_.path() / "Host";
    brand_ = app_ / "Databases" / "Corvane";
    fs::create_directories(brand_);
    Settings().AppPath = app_.string();
    Paths() = RunPaths();
    Paths().BrandFolder = brand_.string();
    Areas() = AreaCatalogue();
  }
  void TearDown() override {
    SetPresenter(std::move(previous_));
    Settings() = savedSettings_;
    Paths() = savedPaths_;
    SetCurrentCourse(CourseRecord());
    SetCurrentArea(AreaRecord());
    Paths() = savedPaths_;
    Areas() = AreaCatalogue();
  }

  fs::path Area(const std::string& folder, int areaId, const std::string& name, const std::string& courseNames = "") {
    const fs::path path = brand_ / folder;
    fs::create_directories(path);
    WriteFile(path / "area.ini", "[General]\r\nAreaID=" + std::to_string(areaId) + "\r\nName=" + name +
                                     "\r\n[CourseNames]\r\n" + courseNames);
    return path;
  }
  fs::path Course(const fs::path& area, const std::string& folder, int courseId, const YearValues& years,
                  const std::string& extra = "") {
    const fs::path path = area / folder;
    fs::create_directories(path);
    WriteFile(path / "course.ini", "[General]\r\nCourseID=" + std::to_string(courseId) + "\r\n" + extra);
    WriteFile(path / kCourseDatFile, Bytes(MakeCourseDat(years)));
    return path;
  }
  int LoadAreaBoxes() const {
    int count = 0;
    for (const BoxRequest& box : presenter_->asked) count += box.text == "LoadArea Fail" ? 1 : 0;
    return count;
  }

  testing_support::TempDir dir_;
  fs::path app_;
  fs::path brand_;
  RecordingPresenter* presenter_ = nullptr;
  std::unique_ptr<MessagePresenter> previous_;
  RunSettings savedSettings_;
  RunPaths savedPaths_;
};

TEST(CourseDat, RoundTripsEveryYearValue) {
  testing_support::TempDir dir;
  std::mt19937 rng(3);
  for (int round = 0; round < 50; ++round) {
    YearValues years;
    for (auto& y : years) y = static_cast<std::int16_t>(static_cast<int>(rng() % 33000) - 1);
    years[0] = 400;  // a byte that enciphers to NUL in the raw file
    const auto bytes = MakeCourseDat(years);
    ASSERT_EQ(bytes.size(), 82u);
    EXPECT_EQ(Bytes(bytes).find("NULL"), std::string::npos);
    WriteFile(dir.path() / "course.dat", Bytes(bytes));
    std::array<std::int32_t, kCourseYears> read{};
    ASSERT_TRUE(ReadCourseDat((dir.path() / "course.dat").string(), read));
    for (int i = 0; i < kCourseYears; ++i) EXPECT_EQ(read[static_cast<std::size_t>(i)], years[static_cast<std::size_t>(i)]);
  }
}

TEST_F(CatalogueTest, LoadsAreasAndCoursesFromTheirIniFiles) {
  const fs::path math = Area("Math", 1, "Mathematics",
                             "Course0=Algebra/Geometry\r\nCourse3=Pre\\Calc\r\nCourse7=Stats\r\n3Hide=1\r\n7Hide=2\r\n");
  YearValues years = AllYears(-1);
  years[2001 - 1998] = 5;
  years[2004 - 1998] = 9;
  Course(math, "Alg", 0, years, "Aliases=A1,Alg One\r\n[BookPosition]\r\nLeft=1.5\r\nTop=2\r\n");
  Course(math, "Calc", 3, AllYears(100));
  Area("Science", 2, "Science");
  fs::create_directories(brand_ / "Loose");  // no area.ini: not an area
  WriteFile(brand_ / "readme.txt", "x");

  LoadAreas();
  const AreaCatalogue& areas = Areas();
  ASSERT_EQ(areas.Count, 2);
  ASSERT_EQ(areas.Records.size(), 2u);
  const AreaRecord& area = areas.Records[0];
  EXPECT_EQ(area.Name, "Mathematics");
  EXPECT_EQ(area.FolderName, "Math");
  EXPECT_EQ(area.Path, math.string());
  EXPECT_EQ(area.AreaID, 1);
  EXPECT_EQ(areas.Records[1].Name, "Science");

  const CourseRecord& alg = area.Courses[0];
  EXPECT_TRUE(alg.Loaded);
  EXPECT_EQ(alg.DisplayName, "Algebra&Geometry");
  EXPECT_EQ(area.Courses[3].DisplayName, "Pre&Calc");
  EXPECT_EQ(alg.FolderName, "Alg");
  EXPECT_EQ(alg.Path, (math / "Alg").string());
  EXPECT_EQ(alg.Aliases, (std::vector<std::string>{"A1", "Alg One"}));
  EXPECT_FLOAT_EQ(alg.BookLeft, 1.5f);
  EXPECT_FLOAT_EQ(alg.BookTop, 2.0f);
  // Unknown years up to the last known one follow on from the year before.
  EXPECT_EQ(alg.Year(2001), 5);
  EXPECT_EQ(alg.Year(2002), 6);
  EXPECT_EQ(alg.Year(2003), 7);
  EXPECT_EQ(alg.Year(2004), 9);
  EXPECT_EQ(alg.Year(2005), -1);
  EXPECT_EQ(alg.Year(1998), -1);
  EXPECT_EQ(alg.Year(1999), 0);

  EXPECT_TRUE(area.Courses[3].Hide);
  EXPECT_FALSE(area.Courses[7].Hide) << "only the value 1 hides";
  EXPECT_FALSE(area.Courses[7].Loaded);
  EXPECT_TRUE(area.Courses[3].Loaded);
  EXPECT_TRUE(area.Courses[3].Aliases.empty());
  for (int n = 0; n < kCourseSlots; ++n) EXPECT_EQ(area.Courses[static_cast<std::size_t>(n)].CourseID, n);
  EXPECT_EQ(LoadAreaBoxes(), 0);
}

TEST_F(CatalogueTest, ABadAreaIsReportedAndSkipped) {
  Area("A1", -1, "No identifier");
  const fs::path good = Area("B2", 4, "Good");
  Course(good, "C", 1, AllYears(1));
  Area("C3", 5, "");  // no name
  LoadAreas();
  EXPECT_EQ(LoadAreaBoxes(), 2);
  ASSERT_EQ(Areas().Count, 1);
  ASSERT_EQ(Areas().Records.size(), 1u) << "no half-filled record is left behind";
  EXPECT_EQ(Areas().Records[0].Name, "Good");
  EXPECT_TRUE(Areas().Records[0].Courses[1].Loaded);
}

TEST_F(CatalogueTest, ABadCourseIsSkippedSilently) {
  const fs::path area = Area("Math", 1, "Math");
  Course(area, "OutOfRange", 20, AllYears(1));
  Course(area, "Negative", -1, AllYears(1));
  const fs::path noDat = Course(area, "NoDat", 2, AllYears(1));
  fs::remove(noDat / kCourseDatFile);
  const fs::path format = Course(area, "Format2", 3, AllYears(1));
  std::string bytes = Bytes(MakeCourseDat(AllYears(1)));
  bytes[0] = 2;
  WriteFile(format / kCourseDatFile, bytes);
  fs::create_directories(area / "NoIni");

  LoadAreas();
  ASSERT_EQ(Areas().Count, 1);
  for (const CourseRecord& course : Areas().Records[0].Courses) EXPECT_FALSE(course.Loaded) << course.CourseID;
  EXPECT_FALSE(fs::exists(noDat / kCourseDatFile)) << "reading does not create the file";
  EXPECT_EQ(LoadAreaBoxes(), 0);
}

TEST_F(CatalogueTest, AShortOrUndecipherableRecordLoadsWithUnknownYears) {
  const fs::path area = Area("Math", 1, "Math");
  const fs::path shortDat = Course(area, "Short", 1, AllYears(7));
  WriteFile(shortDat / kCourseDatFile, Bytes(MakeCourseDat(AllYears(7))).substr(0, 30));
  const fs::path halves = Course(area, "Halves", 2, AllYears(7));
  // Two records that differ: the doubled check fails.
  std::string text = Bytes(MakeCourseDat(AllYears(7)));
  text[2 + 45] = static_cast<char>(text[2 + 45] ^ 0x01);
  WriteFile(halves / kCourseDatFile, text);
  const fs::path formatOnly = Course(area, "FormatOnly", 3, AllYears(7));
  WriteFile(formatOnly / kCourseDatFile, std::string("\x01\x00", 2));

  LoadAreas();
  ASSERT_EQ(Areas().Count, 1);
  for (int slot : {1, 2, 3}) {
    const CourseRecord& course = Areas().Records[0].Courses[static_cast<std::size_t>(slot)];
    EXPECT_TRUE(course.Loaded) << slot;
    for (int year = kFirstCourseYear; year <= kLastCourseYear; ++year) EXPECT_EQ(course.Year(year), -1) << slot;
  }
}

TEST_F(CatalogueTest, AnEmptyOrMissingBrandFolder) {
  LoadAreas();  // exists, holds nothing
  EXPECT_EQ(Areas().Count, 0);
  EXPECT_TRUE(Areas().Records.empty());
  LoadAreas((dir_.path() / "missing").string());  // lists nothing at all
  EXPECT_EQ(Areas().Count, 0);
  ASSERT_EQ(Areas().Records.size(), 1u);
  EXPECT_EQ(Areas().Records[0].Name, "");
  EXPECT_EQ(FindAreaIndex(0), -1);
}

TEST_F(CatalogueTest, RebuildingForgetsTheCoursesOfTheCatalogueBefore) {
  const fs::path math = Area("Math", 1, "Math");
  const fs::path alg = Course(math, "Alg", 4, AllYears(1));
  LoadAreas();
  ASSERT_TRUE(Areas().Records[0].Courses[4].Loaded);
  fs::remove_all(alg);
  LoadAreas();
  EXPECT_FALSE(Areas().Records[0].Courses[4].Loaded);
}

TEST_F(CatalogueTest, FindAreaIndexGivesTheLastMatch) {
  Area("A", 3, "First");
  Area("B", 3, "Second");
  Area("C", 4, "Other");
  LoadAreas();
  EXPECT_EQ(FindAreaIndex(3), 1);
  EXPECT_EQ(FindAreaIndex(4), 2);
  EXPECT_EQ(FindAreaIndex(9), -1);
}

TEST_F(CatalogueTest, OptionFlagsComeFromTheNearestFileHoldingTheKey) {
  const fs::path area = Area("Math", 1, "Math");
  const fs::path course = Course(area, "Alg", 0, AllYears(1));
  Paths().CoursePath = course.string();
  Paths().AreaFolder = area.string();
  WriteFile(brand_ / "options.ini", "[Flags]\r\nCustomCourse=1\r\nOther=1\r\n");
  WriteFile(course / "Options.INI", "[Flags]\r\nCustomCourse=0\r\n");
  EXPECT_FALSE(GetOptionFlag("CustomCourse", true));
  EXPECT_TRUE(GetOptionFlag("Other", false)) << "the course's file lacks the key: the brand's decides";
  EXPECT_TRUE(GetOptionFlag("Missing", true));
  EXPECT_FALSE(GetOptionFlag("Missing", false));

  EXPECT_FALSE(IsCustomCourse(19999));
  EXPECT_TRUE(IsCustomCourse(20000));
  WriteFile(course / "Options.INI", "[Flags]\r\nCustomCourse=2\r\n");
  EXPECT_TRUE(IsCustomCourse(19999));
  // A key that is there but empty decides, as 0.
  WriteFile(course / "Options.INI", "[Flags]\r\nCustomCourse=\r\n");
  EXPECT_FALSE(IsCustomCourse(19999));
  Paths().CoursePath.clear();  // not set: the next folders are searched
  fs::remove(brand_ / "options.ini");
  WriteFile(app_ / "options.ini", "[Flags]\r\nOther=0\r\n");
  EXPECT_FALSE(GetOptionFlag("Other", true));
}

TEST_F(CatalogueTest, LocateFileSearchesCourseAreaBrandAndHost) {
  const fs::path area = Area("Math", 1, "Math");
  const fs::path course = Course(area, "Alg", 0, AllYears(1));
  Paths().CoursePath = course.string();
  Paths().AreaFolder = area.string();
  WriteFile(app_ / "classification.ini", "a");
  WriteFile(brand_ / "classification.ini", "b");
  WriteFile(area / "Only.ini", "c");
  EXPECT_EQ(LocateFile("classification.ini"), (brand_ / "classification.ini").string());
  EXPECT_EQ(LocateFile("/classification.ini"), (brand_ / "classification.ini").string());
  WriteFile(course / "classification.ini", "d");
  EXPECT_EQ(LocateFile("classification.ini"), (course / "classification.ini").string());
  EXPECT_EQ(LocateFile("only.ini"), (area / "Only.ini").string()) << "found without regard to case";
  EXPECT_EQ(LocateFile("nowhere.ini"), "");
  const std::string absolute = (app_ / "classification.ini").string();
  EXPECT_EQ(LocateFile(absolute), absolute);
  Paths().CoursePath.clear();
  Paths().AreaFolder.clear();
  fs::remove(brand_ / "classification.ini");
  EXPECT_EQ(LocateFile("classification.ini"), (app_ / "classification.ini").string());
}

TEST_F(CatalogueTest, DatabasesPathIsRelativeToTheHostUnlessAbsolute) {
  const fs::path ini = app_ / "Kestal.INI";
  auto rootFor = [&](const std::string& edition) {
    WriteFile(ini, "[Edition]\r\n" + edition);
    IniSetFile("Edition", ini.string());
    return GetDatabasesPath();
  };
  EXPECT_EQ(rootFor(""), (app_ / "Databases").string());
  fs::create_directories(app_ / "Data");
  EXPECT_EQ(rootFor("DatabasesPath=data\r\n"), (app_ / "Data").string()) << "relative, found without case";
  // An absolute root elsewhere is taken as it is, not put under the host.
  const fs::path elsewhere = dir_.path() / "Shared" / "DBs";
  fs::create_directories(elsewhere);
  EXPECT_EQ(rootFor("DatabasesPath=" + elsewhere.string() + "\r\n"), elsewhere.string());
  EXPECT_EQ(rootFor("DatabasesPath=" + (app_ / "Databases").string() + "\r\n"), (app_ / "Databases").string());
}

TEST_F(CatalogueTest, CourseIteratorWalksEverySlotOfItsCopy) {
  const fs::path a = Area("A", 1, "A");
  Course(a, "C2", 2, AllYears(1));
  Course(a, "C19", 19, AllYears(1));
  const fs::path b = Area("B", 7, "B");
  Course(b, "C0", 0, AllYears(1));
  Area("C", 9, "C");
  LoadAreas();

  CourseIterator all;
  all.Init(Areas().Records);
  int areaId = -5;
  int courseId = -5;
  int slots = 0;
  while (all.NextCourse(areaId, courseId, false)) {
    EXPECT_EQ(courseId, slots % kCourseSlots);
    ++slots;
  }
  EXPECT_EQ(slots, 3 * kCourseSlots);

  CourseIterator installed;
  installed.Init(Areas().Records);
  Areas() = AreaCatalogue();  // later changes are not seen
  std::vector<std::pair<int, int>> found;
  while (installed.NextCourse(areaId, courseId, true)) {
    found.emplace_back(areaId, courseId);
    EXPECT_TRUE(installed.CurrentCourse().Loaded);
    EXPECT_EQ(installed.CurrentArea().AreaID, areaId);
  }
  EXPECT_EQ(found, (std::vector<std::pair<int, int>>{{1, 2}, {1, 19}, {7, 0}}));
  EXPECT_FALSE(installed.NextCourse(areaId, courseId, true)) << "stays at the end";
}

TEST_F(CatalogueTest, InstalledOnlyOverNoLoadedCourseEndsAtOnce) {
  Area("A", 1, "A");
  LoadAreas();
  CourseIterator it;
  it.Init(Areas().Records);
  int areaId = 0;
  int courseId = 0;
  EXPECT_FALSE(it.NextCourse(areaId, courseId, true));
  CourseIterator empty;
  empty.Init({});
  EXPECT_FALSE(empty.NextCourse(areaId, courseId, false));
}

TEST_F(CatalogueTest, TheCurrentCourseAndTheRunsPathsStayTogether) {
  CourseRecord course;
  course.DisplayName = "Algebra";
  course.Path = "/x/Math/Alg";
  SetCurrentCourse(course);
  EXPECT_EQ(Paths().CoursePath, "/x/Math/Alg");
  AreaRecord area;
  area.Path = "/x/Math";
  area.AreaID = 3;
  SetCurrentArea(area);
  EXPECT_EQ(Paths().AreaFolder, "/x/Math");
  Paths().CoursePath = "/y/Other";  // start-up sets the path from the command line
  Paths().AreaFolder = "/y";
  EXPECT_EQ(CurrentCourse().Path, "/y/Other");
  EXPECT_EQ(CurrentCourse().DisplayName, "Algebra");
  EXPECT_EQ(CurrentArea().Path, "/y");
  EXPECT_EQ(CurrentArea().AreaID, 3);
}

}  // namespace
}  // namespace tolvarin
