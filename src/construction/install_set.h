#pragma once
// Course and area identifiers of database folders, the installed edition, and the
// install set an installer may deliver (CorvaneInst). The edition's catalogue
// (edition names, course titles, product numbers and the slot of each old course
// number) is the host's product catalogue.
#include <array>
#include <cstdint>
#include <string>

namespace tolvarin {

// The catalogue ships with the program as "editions.ini" in AppPath:
//   [Editions]      Edition1= ... Edition11=   the edition names, codes 1 to 11
//   [Edition<code>] Slot<n>=, Title<n>=, Product<n>= for old course numbers n = 1 to 8:
//                   the course slot (0 to 19, -1 none), course title and product number
struct EditionInfo {
  std::int16_t Code = 0;   // the installed edition, 0 when unknown
  std::int16_t Group = -1; // EditionGroup of the code
  // By old course number 1 to 8 (index 0 unused); slot -1: none.
  std::array<std::int16_t, 9> Slots{-1, -1, -1, -1, -1, -1, -1, -1, -1};
  std::array<std::string, 9> Titles;
  std::array<std::string, 9> Products;
};
EditionInfo& Edition();

inline constexpr const char* kEditionsFile = "editions.ini";

// The edition code from Version of Kestal.INI's [Edition] (an edition name of the
// catalogue, or the code itself); the old combined databases turn code 1 into 15 or
// 17 by the first description of DBF/0000002 ("9999", "1234"); 17 is told to the
// user, who cannot have it converted. Sets the edition group too.
void ReadEdition();
// The slot table, titles and product numbers of the current edition.
void LoadCourseNames();

// Old course numbers 2 and 3 trade places; every other number stays.
int SwapCourseNumber(int number);
// The course slot of an old course number through the edition's slot table; -1 for none.
std::int16_t GetCourseSlot(int courseNumber);

// A folder whose name ends in seven digits is an old per-course folder: the slot its
// number maps to; otherwise CourseID of its course.ini; -1 when neither.
std::int16_t GetCourseID(const std::string& folder);
// AreaID of the folder's area.ini, else of its parent's; -1 when neither.
std::int16_t GetAreaID(const std::string& folder);

inline constexpr int kLiveCatalogue = 4;
inline constexpr int kInstallCatalogue = 5;
// The path of that course slot in the first area with that identifier, in the live
// catalogue (4) or the install set's (5); "" otherwise.
std::string GetCoursePath(int areaID, int courseSlot, int catalogue);
// The course identifier under the combined area 5 of a live course slot; -1 for none.
int MapCourseType(int areaID, int courseSlot);

// Moves the source course's Bitmaps into the destination's (with the area: the
// Bitmaps beside the course too, and the area's area.ini), moves its image archives
// (.vra) and copies its other files but the tables.
void InstallBitmapsAndTables(const std::string& source, const std::string& destination, bool withArea);

// The install set's courses, while Areas holds the install set's catalogue: the
// content of each course folder goes to the numbered folder of its slot, and the
// numbered area folder becomes its area's path.
void RegisterInstallCourses(const std::string& installFolder);
// Lays out the live course folders of the install set's courses that the
// installation has (or, allowed by the flag, that carry tables) with their images.
void CreateCourseDirectories(bool createNewFolders);
// Unpacks each install-set course's data.zip into its folder and installs its
// images into the live course.
void UnpackCourseData();

// Mode APPENDPACKAGE: the construction with the install set's course data unpacked.
void AppendPackageDatabases();

}  // namespace tolvarin
