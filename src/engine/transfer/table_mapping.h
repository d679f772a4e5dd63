#pragma once
// The transfer model: fifteen numbered tables, each with its source and destination
// handles, the fields that refer to other tables, the tables whose rows come along
// with one of its rows, the selected source identifiers and the old-to-new map.
//
// Numbers: 1 QUESTS, 2 DESCRIPT, 5 EXAMS, 6 EXAMQUES, 7 SESSIONS, 8 SESQUESTS,
// 10 CLASSES, 11 STUDENTS, 13 TEMPLATES, 14 PRINTOPT, 15 QUESTYPE are enabled. The
// disabled numbers still name something: 4 the standards nodes, 9 the session
// results, 12 the users (each copied by its own routine); 3 is unused; 16, outside
// the model, names image files in LookupNewID.
#include <array>
#include <cstdint>
#include <string>
#include <unordered_set>
#include <vector>

#include "data/table_ref.h"
#include "platform/xbase/xbase.h"

namespace tolvarin {

// Table numbers, shared as content kinds with the selection page and the preview.
enum TableNumber : std::int32_t {
  kQuestsTable = 1,
  kDescriptTable = 2,
  kStandardNodesTable = 4,
  kExamsTable = 5,
  kExamQuesTable = 6,
  kSessionsTable = 7,
  kSesQuestsTable = 8,
  kSesResultsTable = 9,
  kClassesTable = 10,
  kStudentsTable = 11,
  kUsersTable = 12,
  kTemplatesTable = 13,
  kPrintOptTable = 14,
  kQuesTypeTable = 15,
  kImageFiles = 16,
};
inline constexpr int kTableCount = 15;

// Content kinds (the same numbers).
inline constexpr std::int32_t kKindQuestions = 1, kKindExams = 5, kKindSessions = 7, kKindClasses = 10,
                              kKindStudents = 11, kKindActivities = 13;

struct ChildRelation {
  std::int32_t ChildTableNo = 0;
  xbase::Data4 ChildData = 0;        // the dependent table in the source set
  xbase::Tag4 ParentTag = 0;         // finds the parent row by its identifier
  xbase::Field4 ParentKeyField = 0;  // the parent's value the dependent rows carry
  xbase::Tag4 ChildTag = 0;          // the dependent table's tag on that value
  xbase::Field4 ChildIDField = 0;    // the dependent row's identifier: what gets selected
};

struct TableReference {
  xbase::Field4 SrcField = 0;
  xbase::Field4 DestField = 0;
  std::int32_t RefTableNo = 0;
};

// Old identifier to new, over the source table's lowest to highest identifier.
// 0 means not mapped (the row is not copied).
class IdMap {
 public:
  void Reset(std::int32_t low, std::int32_t high);  // all 0
  void Clear();                                     // no bounds: every lookup 0
  bool Empty() const { return values_.empty(); }
  bool Contains(std::int32_t oldID) const { return !values_.empty() && oldID >= low_ && oldID <= high(); }
  std::int32_t Get(std::int32_t oldID) const { return Contains(oldID) ? values_[Index(oldID)] : 0; }
  // Ignored outside the bounds.
  void Set(std::int32_t oldID, std::int32_t newID) {
    if (Contains(oldID)) values_[Index(oldID)] = newID;
  }
  std::int32_t low() const { return low_; }
  std::int32_t high() const { return low_ + static_cast<std::int32_t>(values_.size()) - 1; }

 private:
  std::size_t Index(std::int32_t oldID) const { return static_cast<std::size_t>(oldID - low_); }
  std::int32_t low_ = 0;
  std::vector<std::int32_t> values_;
};

struct TableMapping {
  std::int32_t TableNo = 0;
  std::int32_t SrcFirstID = 0, SrcLastID = 0;   // the source window
  std::int32_t FirstNewID = 0, LastNewID = 0;   // where new identifiers come from
  bool Enabled = false;
  std::string TableName;  // upper case; "" for the numbers without a table
  bool LogRows = false;   // every copied row gets a run-log line
  TableRef Src;
  TableRef Dest;
  xbase::Field4 SrcNameField = 0;
  xbase::Field4 DestNameField = 0;
  std::vector<ChildRelation> Children;
  std::vector<TableReference> References;
  // The selected source identifiers in the order of selection, each once. An entry
  // may be 0 (a graded session taken out again); readers skip it.
  std::vector<std::int32_t> SelectedIDs;
  std::unordered_set<std::int32_t> SelectedSet;  // what SelectedIDs ever held
  IdMap IDMap;
  std::int32_t NextID = 0;
  // New identifiers handed out in this transfer (never given twice).
  std::unordered_set<std::int32_t> HandedOut;
};

// Indexed 1 to 15 (index 0 unused). Empty until InitSrcTableDefs or InitDestTableDefs runs.
std::vector<TableMapping>& TableMappings();
// The entry of a number 1 to 15; the model must have been built.
TableMapping& Mapping(std::int32_t tableNo);
// Forgets the model (a new run).
void ResetTableMappings();

// Fill the source half (handles, names, relations, references' source fields; then
// the identifier windows) and the destination half (handles, references'
// destination fields). Either may run first; a second call renews its half only.
void InitSrcTableDefs();
void InitDestTableDefs();

// Sizes the table's map from its lowest to its highest source identifier (cleared for
// an empty table), writes the run-log line and returns FirstNewID.
std::int32_t InitTableMapping(std::int32_t tableNo, IdMap& idMap);

// GetIDInRange on the entry's source (useSource) or destination table.
std::int32_t GetTableIDBound(std::int32_t tableNo, bool useSource, bool fromBottom, std::int32_t lowest,
                             std::int32_t highest);

}  // namespace tolvarin
