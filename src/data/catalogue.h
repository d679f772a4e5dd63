#pragma once
// The catalogue of installed areas and courses. An installation keeps one brand
// folder holding one folder per area (with area.ini), each holding one folder per
// course (with course.ini and course.dat). The catalogue also answers option flags
// from options.ini, finds installation files by searching the course, area, brand
// and host folders in that order, tells custom courses apart and works out the
// databases root.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tolvarin {

inline constexpr int kCourseSlots = 20;
inline constexpr int kFirstCourseYear = 1998;
inline constexpr int kLastCourseYear = 2013;
inline constexpr int kCourseYears = kLastCourseYear - kFirstCourseYear + 1;  // 16

struct CourseRecord {
  bool Loaded = false;  // filled from a course folder
  std::string DisplayName;
  std::string FolderName;
  std::string Path;
  std::int16_t CourseID = 0;  // the slot's own index
  bool Hide = false;
  float BookLeft = 0;
  float BookTop = 0;
  std::vector<std::string> Aliases;
  std::array<std::int32_t, kCourseYears> Years{};  // 1998 to 2013; use Year()

  // The value for a year from 1998 to 2013 (0 outside).
  std::int32_t Year(int year) const;
  void SetYear(int year, std::int32_t value);
};

struct AreaRecord {
  std::string Name;
  std::string FolderName;
  std::string Path;
  std::int16_t AreaID = 0;
  std::array<CourseRecord, kCourseSlots> Courses;  // indexed by course identifier
};

// The process-wide catalogue: Records from index 0, Count of them loaded. A folder
// that lists nothing at all leaves one blank record (and Count 0).
struct AreaCatalogue {
  std::vector<AreaRecord> Records;
  int Count = 0;
};
AreaCatalogue& Areas();

// The course and area the run works on. Their Path is always the run's CoursePath
// and AreaFolder (Paths()): setting either side sets the other.
const CourseRecord& CurrentCourse();
const AreaRecord& CurrentArea();
void SetCurrentCourse(const CourseRecord& course);
void SetCurrentArea(const AreaRecord& area);

// Rebuilds the catalogue from a brand folder ("" : the run's BrandFolder).
void LoadAreas(const std::string& folder = "");
// Both are called by LoadAreas only. LoadArea fills the record at index Count and
// raises Count; a bad area.ini shows "LoadArea Fail". LoadCourse fills the slot of
// its course.ini's CourseID in the area at areaIndex.
bool LoadArea(const std::string& areaPath, const std::string& folderName);
bool LoadCourse(const std::string& coursePath, const std::string& folderName, int areaIndex);

// The first options.ini (course, area, brand folder, AppPath) holding the key
// decides: non-zero is true. Without one, the default.
bool GetOptionFlag(const std::string& key, bool defaultFlag);
// An absolute path that exists comes back as it is; otherwise the first existing
// folder + path over the course, area, brand folder and AppPath; "" when none.
std::string LocateFile(const std::string& path);
// The databases root from DatabasesPath of the current initialisation file (the
// caller selects the host ini and section), default AppPath/Databases. A relative
// value is taken under AppPath unless it already holds AppPath (compared without
// regard to case); an absolute value is taken as it is. The result names the
// folder as it stands on disk (found without regard to case).
std::string GetDatabasesPath();
// 20000 and above, or the CustomCourse option flag.
bool IsCustomCourse(std::int32_t courseId);
// The index of the (last) loaded area with that identifier; -1 when none.
int FindAreaIndex(std::int16_t areaId);

// A cursor over every course slot of a copy of the catalogue.
class CourseIterator {
 public:
  // Copies the records; the cursor stands before the first slot of the first area.
  void Init(const std::vector<AreaRecord>& areas);
  // Moves to the next slot (with installedOnly, the next loaded one) and gives its
  // area's and its own identifier; false past the last.
  bool NextCourse(int& areaId, int& courseId, bool installedOnly);
  CourseRecord CurrentCourse() const;
  AreaRecord CurrentArea() const;

 private:
  std::vector<AreaRecord> areas_;
  std::size_t areaIndex_ = 0;
  int slot_ = -1;
};

// course.dat: a 16-bit format number (1) and an 80-character text, the doubled
// cipher of a 40-byte record whose last sixteen 16-bit values are the years.
inline constexpr const char* kCourseDatFile = "course.dat";
inline constexpr std::size_t kCourseRecordLength = 40;
// The years a course.dat holds; all -1 when its record is short or does not
// decipher. False for a missing file or another format number.
bool ReadCourseDat(const std::string& file, std::array<std::int32_t, kCourseYears>& years);
// The bytes of a course.dat holding these years, as an installation carries it.
std::vector<std::uint8_t> MakeCourseDat(const std::array<std::int16_t, kCourseYears>& years);

}  // namespace tolvarin
