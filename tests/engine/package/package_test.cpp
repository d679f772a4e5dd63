#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>

#include "core/ini_file.h"
#include "core/progress.h"
#include "core/settings.h"
#include "engine/course_fixture.h"
#include "engine/package/backup_folder.h"
#include "engine/package/image_archive.h"
#include "engine/package/packages.h"
#include "platform/profile/profile.h"
#include "support/raw_zip.h"

namespace fs = std::filesystem;
using testing_support::ReadFile;
using testing_support::WriteFile;

namespace {

using package_testing::CourseTest;
using package_testing::RowCount;

std::map<std::string, std::string> Files(const fs::path& folder) {
  std::map<std::string, std::string> files;
  for (const auto& e : fs::directory_iterator(folder))
    if (e.is_regular_file()) files[e.path().filename().string()] = ReadFile(e.path());
  return files;
}

std::string Ini(const std::string& file, const std::string& section, const std::string& key) {
  return profile::GetString(file, section, key, "<none>");
}

class RecordingProgress : public tolvarin::ProgressSink {
 public:
  explicit RecordingProgress(std::vector<std::string>* details) : details_(details) {}
  void Step(const std::string&) override {}
  void Detail(const std::string& text) override { details_->push_back(text); }
  void Fraction(double) override {}

 private:
  std::vector<std::string>* details_;
};

using PackageTest = CourseTest;

TEST_F(PackageTest, PreparedBackupFolderHoldsDescriptionBlankTablesAndNoOldImages) {
  const std::string folder = Scratch("backup/new");
  fs::create_directories(folder);
  for (const char* image : {"0098001.gif", "0098002.JPG", "0098003.bmp", "0020004.png", "logo.gif"})
    WriteFile(folder + "/" + image, "old");

  for (const bool interactive : {false, true}) {
    tolvarin::Settings().Interactive = interactive;
    ASSERT_TRUE(tolvarin::CreateDatabasesFolder(folder));
    const std::string ini = folder + "/TOLVARIN.INI";
    EXPECT_EQ(Ini(ini, "Tolvarin", "Type"), "UserContent");
    EXPECT_EQ(Ini(ini, "Tolvarin", "Created").size(), 19u);
    EXPECT_EQ(Ini(ini, "Tolvarin", "AreaID"), interactive ? "1" : "<none>");
    EXPECT_EQ(Ini(ini, "Tolvarin", "CourseID"), interactive ? "3" : "<none>");
    EXPECT_EQ(Ini(folder + "/Status.DBF", "Version", "Schema"), "3");
    EXPECT_EQ(tolvarin::CurrentIniFile().file, folder + "/Status.DBF");
  }
  for (const std::string& table : tolvarin::BackupTableNames()) EXPECT_EQ(RowCount(folder + "/" + table + ".dbf"), 0) << table;
  EXPECT_EQ(RowCount(folder + "/users.dbf"), 0);
  // Identifier-named images of an earlier backup go; other images stay.
  for (const char* gone : {"0098001.gif", "0098002.JPG", "0098003.bmp"}) EXPECT_FALSE(fs::exists(folder + "/" + gone));
  EXPECT_TRUE(fs::exists(folder + "/0020004.png"));
  EXPECT_TRUE(fs::exists(folder + "/logo.gif"));
  EXPECT_FALSE(fs::exists(folder + "/TOLVARIN.INI.part"));
  EXPECT_TRUE(presenter_->Shown().empty());
}

TEST_F(PackageTest, RemoveEmptyTablesDeletesOnlyTablesThatOpenedEmpty) {
  const std::string folder = Scratch("backup");
  ASSERT_TRUE(tolvarin::CreateDatabasesFolder(folder));
  ASSERT_TRUE(tolvarin::CopyTableFileSet(Course(), folder, "quests", true));
  ASSERT_TRUE(tolvarin::CopyTableFileSet(Course(), folder, "classes", false));
  std::vector<std::string> failures;
  EXPECT_TRUE(tolvarin::RemoveEmptyTables(folder, &failures));
  EXPECT_TRUE(failures.empty());
  std::set<std::string> tables;
  for (const auto& [name, bytes] : Files(folder))
    if (name.size() > 4 && name.substr(name.size() - 4) == ".dbf") tables.insert(name);
  EXPECT_EQ(tables, (std::set<std::string>{"quests.dbf", "classes.dbf"}));
  EXPECT_TRUE(fs::exists(folder + "/Status.DBF"));
  EXPECT_TRUE(fs::exists(folder + "/quests.fpt"));

  // A table that cannot be opened is kept and makes the pruning a failure.
  WriteFile(folder + "/junk.dbf", "not a table at all");
  failures.clear();
  EXPECT_FALSE(tolvarin::RemoveEmptyTables(folder, &failures));
  EXPECT_EQ(failures, std::vector<std::string>{"junk.dbf"});
  EXPECT_TRUE(fs::exists(folder + "/junk.dbf"));
  EXPECT_TRUE(fs::exists(folder + "/quests.dbf"));
}

TEST_F(PackageTest, TableFileSetIsCopiedWholeOrNotAtAll) {
  const std::string target = Scratch("target");
  fs::create_directories(target);
  WriteFile(target + "/CLASSES.DBF", "old");
  ASSERT_TRUE(tolvarin::CopyTableFileSet(Course(), target, "classes", false));
  EXPECT_EQ(ReadFile(target + "/CLASSES.DBF"), ReadFile(Course("classes.dbf")));  // the old spelling is replaced
  EXPECT_FALSE(fs::exists(target + "/classes.fpt"));

  WriteFile(target + "/students.dbf", "old");
  fs::remove(Course("students.cdx"));
  EXPECT_FALSE(tolvarin::CopyTableFileSet(Course(), target, "students", false));
  EXPECT_EQ(Files(target).count("students.dbf"), 1u);
  EXPECT_EQ(ReadFile(target + "/students.dbf"), "old");
  EXPECT_EQ(Files(target).size(), 3u);  // CLASSES.DBF, classes.cdx, students.dbf: nothing half-copied
}

TEST_F(PackageTest, PackageRoundTripReportsEachFileAndRefusesDamagedPackages) {
  // The package holds the folder the backup went into, whatever else lies in cortemp.
  fs::create_directories(tolvarin::CorTempFolder());
  WriteFile(tolvarin::CorTempFolder() + "/stray.txt", "not this backup's");
  const std::string staging = Scratch("staging");
  fs::create_directories(staging);
  tolvarin::Paths().BackupPath = staging;
  ASSERT_TRUE(tolvarin::CopyTableFileSet(Course(), staging, "quests", true));
  WriteFile(staging + "/TOLVARIN.INI", "[Tolvarin]\r\nType=UserContent\r\n");
  auto& p = tolvarin::Paths();
  p.PackagePath = Scratch("out/backup.zip");
  fs::create_directories(Scratch("out"));

  std::vector<std::string> details;
  tolvarin::Settings().Operation = 1;  // an export shows the file being packaged
  auto previous = tolvarin::SetProgress(std::make_unique<RecordingProgress>(&details));
  const tolvarin::PackageResult zipped = tolvarin::ZipPackage();
  tolvarin::SetProgress(std::move(previous));
  ASSERT_TRUE(zipped.ok) << zipped.error;
  EXPECT_EQ(details, (std::vector<std::string>{"Packaging file: quests.cdx", "Packaging file: quests.dbf",
                                               "Packaging file: quests.fpt", "Packaging file: TOLVARIN.INI"}));

  p.BackupPath = Scratch("unpacked");
  const tolvarin::PackageResult unzipped = tolvarin::UnzipPackage();
  ASSERT_TRUE(unzipped.ok) << unzipped.error;
  EXPECT_EQ(Files(p.BackupPath), Files(staging));

  const auto before = Files(p.BackupPath);
  WriteFile(p.PackagePath, ReadFile(p.PackagePath).substr(0, 3000));
  const tolvarin::PackageResult bad = tolvarin::UnzipPackage();
  EXPECT_FALSE(bad.ok);
  EXPECT_FALSE(bad.error.empty());
  EXPECT_EQ(Files(p.BackupPath), before);
}

// A package of this program is flat: any other is refused whole, with nothing
// extracted, however harmless its other entries are.
TEST_F(PackageTest, APackageThatIsNotFlatIsRefusedWithNothingExtracted) {
  auto& p = tolvarin::Paths();
  p.BackupPath = Scratch("unpacked");
  fs::create_directories(p.BackupPath);
  const testing_support::RawEntry ini{"TOLVARIN.INI", "[Tolvarin]\r\nType=UserContent\r\n"};
  const std::vector<testing_support::RawEntry> hostile[] = {
      {{"../outside.dbf", "x"}}, {{"/tmp/absolute.dbf", "x"}}, {{"sub/", ""}},
      {{"sub/quests.dbf", "x"}}, {{"quests.fpt", "/etc/passwd", true}}, {{"a\\b.dbf", "x"}},
  };
  int n = 0;
  for (const auto& entries : hostile) {
    SCOPED_TRACE(entries[0].name);
    p.PackagePath = Scratch("hostile" + std::to_string(++n) + ".zip");
    std::vector<testing_support::RawEntry> all{ini};
    all.insert(all.end(), entries.begin(), entries.end());
    testing_support::MakeRawArchive(p.PackagePath, all);
    const tolvarin::PackageResult result = tolvarin::UnzipPackage();
    EXPECT_FALSE(result.ok);
    EXPECT_TRUE(result.notAPackage);
    std::string named = entries[0].name;  // as the listing gives it
    std::replace(named.begin(), named.end(), '\\', '/');
    EXPECT_NE(result.error.find(named), std::string::npos) << result.error;
    EXPECT_TRUE(fs::is_empty(p.BackupPath));
  }
  // A flat one of the same files goes in.
  p.PackagePath = Scratch("flat.zip");
  testing_support::MakeRawArchive(p.PackagePath, {ini, {"quests.dbf", "x"}});
  EXPECT_TRUE(tolvarin::UnzipPackage().ok);
  EXPECT_EQ(Files(p.BackupPath).size(), 2u);
}

TEST_F(PackageTest, ImagesAreFoundOnDiskThenInTheArchive) {
  WriteFile(Course("0098001.gif"), "on disk");
  const std::string pics = Scratch("pics");
  fs::create_directories(pics);
  WriteFile(pics + "/0098002L.gif", "large from the archive");
  WriteFile(pics + "/0098003.png", "small from the archive");
  ASSERT_EQ(std::system(("cd " + pics + " && zip -q -P " + tolvarin::kArchivePassword + " " + Course("imarc.vra") +
                         " 0098002L.gif 0098003.png")
                            .c_str()),
            0);
  struct Case {
    const char* name;
    const char* content;  // "" : not found
    bool large;
  };
  const Case cases[] = {
      {"0098001.gif", "on disk", false},
      {" 0098001 ", "on disk", false},
      {"0098002", "large from the archive", true},
      {"0098003", "small from the archive", false},
      {"0098003", "small from the archive", false},  // taken from the extraction folder now
      {"0098009", "", false},
  };
  for (const Case& c : cases) {
    bool large = true, flag = false;
    const std::string path = tolvarin::LocateImageFile(c.name, large, flag);
    EXPECT_TRUE(flag);
    EXPECT_EQ(large, c.large) << c.name;
    if (*c.content) {
      EXPECT_EQ(ReadFile(path), c.content) << c.name;
    } else {
      EXPECT_EQ(path, "") << c.name;
    }
  }
  EXPECT_TRUE(presenter_->Shown().empty());
}

TEST_F(PackageTest, APictureTakenOutOfOneCoursesArchiveIsNeverFoundForAnother) {
  // Two courses whose archives hold different pictures under one name: each run
  // (here, each CoursePath in turn) gets its own course's picture, whatever the
  // temporary folder kept from the other.
  std::vector<std::string> found;
  for (const char* course : {"first", "second"}) {
    const std::string folder = Scratch(course);
    const std::string pics = Scratch(std::string(course) + "-pics");
    fs::create_directories(folder);
    fs::create_directories(pics);
    WriteFile(pics + "/0098003.png", std::string("picture of the ") + course + " course");
    ASSERT_EQ(std::system(("cd " + pics + " && zip -q -P " + tolvarin::kArchivePassword + " " + folder +
                           "/imarc.vra 0098003.png")
                              .c_str()),
              0);
    tolvarin::Paths().CoursePath = folder;
    bool large = false, flag = false;
    found.push_back(ReadFile(tolvarin::LocateImageFile("0098003", large, flag)));
  }
  EXPECT_EQ(found, (std::vector<std::string>{"picture of the first course", "picture of the second course"}));
}

TEST_F(PackageTest, UnzipAllTakesTheArchivePasswordWhenAsked) {
  const std::string src = Scratch("src");
  fs::create_directories(src);
  WriteFile(src + "/quests.dbf", "table");
  const std::string archive = Scratch("data.zip");
  ASSERT_EQ(std::system(("cd " + src + " && zip -q -P " + tolvarin::kArchivePassword + " " + archive + " quests.dbf").c_str()), 0);
  EXPECT_FALSE(tolvarin::UnzipAll(Scratch("plain"), archive, false).ok);
  ASSERT_TRUE(tolvarin::UnzipAll(Scratch("secret"), archive, true).ok);
  EXPECT_EQ(ReadFile(Scratch("secret/quests.dbf")), "table");
  EXPECT_FALSE(tolvarin::UnzipAll(Scratch("x"), Scratch("missing.zip"), false).ok);
}

}  // namespace

namespace {

class FractionProgress : public tolvarin::ProgressSink {
 public:
  void Step(const std::string&) override {}
  void Detail(const std::string&) override {}
  void Fraction(double done) override { fractions.push_back(done); }
  std::vector<double> fractions;
};

TEST_F(PackageTest, ZipFilesTakesTheListedExtensionsAndReportsTheFractionDone) {
  const std::string folder = Scratch("gradebook");
  fs::create_directories(folder + "/sub");
  for (const char* name : {"a.dbf", "b.CDX", "c.txt", "sub/d.dbf"}) WriteFile(folder + "/" + name, name);
  FractionProgress progress;
  const std::string archive = Scratch("RestorePoint1.zip");
  ASSERT_TRUE(tolvarin::ZipFiles(folder, archive, 0, "dbf;cdx", false, &progress).ok);
  EXPECT_EQ(progress.fractions, (std::vector<double>{0.0, 0.5, 1.0}));
  const std::string unpacked = Scratch("unpacked");
  ASSERT_TRUE(tolvarin::UnzipAll(unpacked, archive, false).ok);
  EXPECT_EQ(Files(unpacked), (std::map<std::string, std::string>{{"a.dbf", "a.dbf"}, {"b.CDX", "b.CDX"}}));

  // Every file when the list is empty; folders listed with them are left out.
  ASSERT_TRUE(tolvarin::ZipFiles(folder, archive, 16, "", false, nullptr).ok);
  fs::remove_all(unpacked);
  ASSERT_TRUE(tolvarin::UnzipAll(unpacked, archive, false).ok);
  EXPECT_EQ(Files(unpacked).size(), 3u);

  EXPECT_FALSE(tolvarin::ZipFiles(folder, Scratch("secret.zip"), 0, "", true, nullptr).ok);
  EXPECT_FALSE(fs::exists(Scratch("secret.zip")));
}

}  // namespace
