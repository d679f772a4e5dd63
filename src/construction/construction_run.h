#pragma once
// The state one construction run (or one restore-time upgrade) keeps from table to
// table: whether an install set was delivered, the install set's catalogue, the
// old per-course folders found, the row-conversion lists that later tables read,
// and what could not be carried over.
#include <array>
#include <cstdint>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "data/catalogue.h"
#include "platform/xbase/xbase.h"

namespace tolvarin {

// Pass numbers: the folders each pass visits.
inline constexpr int kPassOldDatabase = 0;    // AppPath/DBF
inline constexpr int kPassOldCourses = 1;     // AppPath/DBF/<seven digits>
inline constexpr int kPassCommon = 2;         // Databases/Corvane
inline constexpr int kPassAreas = 3;          // every area folder
inline constexpr int kPassCourses = 4;        // every installed course folder
inline constexpr int kPassRestoredFolder = 6; // one restored folder, upgraded in place

// A user identifier (or another value) that changed when its row moved: rows
// appended later from the same source folder take the new value.
struct ValueRemap {
  std::string SourceFolder;
  std::string FieldName;
  std::string OldValue;
  std::string NewValue;
};

// Which course folder a parent row was kept in, so that its child rows go there too.
struct KeptRow {
  std::string FieldName;
  std::string Value;
  std::string TargetFolder;
};

struct ConstructionState {
  bool InstallSetAbsent = true;
  bool Unpack = false;  // APPENDPACKAGE: unpack the install set's course data
  std::vector<AreaRecord> InstallAreas;               // the install set's catalogue
  std::array<CourseRecord, kCourseSlots> EditionCourses{};  // old per-course folders by slot
  std::vector<ValueRemap> ValueRemaps;
  std::vector<KeptRow> KeptRows;
  std::int16_t DeletedRows = 0;
  // Rows of a split table kept in some target: "<source folder>|<table>" -> key texts.
  std::vector<std::pair<std::string, std::set<std::string>>> KeptKeys;
  // Normal forms of the folders holding a table that was not carried over.
  std::set<std::string> FoldersNotCarried;
  // Tables whose rows all moved to other folders this run (normal form of the folder,
  // table name), deleted when the passes are done.
  std::vector<std::pair<std::string, std::string>> Carried;
};

ConstructionState& Construction();

// Empties the two row-conversion lists (before the passes and at the start of an
// upgrade in place).
void ResetRowLists();

// The staging folder of rebuilds: <temporary folder>/cortemp/rebuild/ ("" when
// there is no safe temporary folder).
std::string RebuildTempFolder();
// Where an old course folder's classification tables are converted:
// <temporary folder>/cortemp/classification/ ("" when there is none).
std::string ClassificationStage();

// Opens an existing table for the construction: silently, repaired when it is
// damaged, never created and never with a message (a table the system refuses
// access to is simply not opened). 0 when it cannot be opened.
xbase::Data4 OpenForUpgrade(const std::string& path);

// "TOLVARIN ERROR: " + text, written to the debug log even though its switch is
// off: the construction shows no messages, so this line is the only trace of a
// table it could not bring up to date.
void LogConstructionError(const std::string& text);
// Any other line the construction must leave for support (same log, same rule).
void LogConstructionNote(const std::string& text);

}  // namespace tolvarin
