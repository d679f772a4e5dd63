#pragma once
// Rebuilding a table into a target folder with the current structure: the old rows
// are copied field by field, matched by the table's key tag against rows already
// there, with fields that changed meaning converted and user identifiers remapped.
// The live table is replaced only by a rebuilt table that was checked first.
#include <set>
#include <string>
#include <vector>

#include "platform/xbase/xbase.h"

namespace tolvarin {

enum class RebuildResult {
  Rebuilt,     // the target holds the table with the old rows
  TargetKept,  // the target already held rows of its own: the old rows were not copied
  Failed,      // nothing was replaced; the reason is in the debug log
};

// source and target arrive normalised. The rebuilt table is written beside the
// target's as <name>_new and swapped in (table_swap.h). The old rows are read from
// rowsFrom/<name> when it is given (a converted copy of the source's table), else
// from source/<name>; the source itself is never written.
RebuildResult RebuildTable(const std::string& source, const std::string& target, int pass, int kind,
                           const std::string& name, bool moveOut, const std::string& rowsFrom = "");

// The folder whose copy of the table is the starting table of a rebuild.
std::string GetTableSource(const std::string& name, const std::string& source, int pass, int kind);

// What CopyTableRows did with the old table's live rows.
struct RowCopyCount {
  long Read = 0;      // live old rows (rows marked deleted are not copied)
  long Appended = 0;  // written as new rows
  long Matched = 0;   // already in the new table: under the same key, or the same row
  long Refused = 0;   // the engine would not write them, or a value would not fit
  std::vector<std::string> Lost;  // the values that did not fit their new field
};
// oldValuesWin: the new table is a template whose own rows (the built-in users,
// the default print options) only stand in for rows the old table lacks.
RowCopyCount CopyTableRows(const std::string& name, const std::string& source, const std::string& target,
                           xbase::Data4 oldTable, xbase::Data4 newTable, bool users, bool oldValuesWin = false);

// Where the old users rows go in the new table, one row after the other.
// standIns: the new table is a template whose rows (the built-in users) only stand
// in for rows the old table lacks: an old row takes the template row of its own
// identifier, else of its own name, and every old row keeps its identifier.
// Otherwise the new table's rows are users of their own: an old row of a name the
// new table holds is that user; any other keeps its identifier where no user of
// either table has it, and only a true clash gets a new identifier, one no user of
// either table has.
class UserRows {
 public:
  UserRows(xbase::Data4 oldTable, xbase::Data4 newTable, bool standIns);
  struct Place {
    std::string UserID;  // "" when no identifier is free
    long Record = 0;     // the new table's row it is, 0 when it is appended
  };
  Place For(xbase::Data4 oldTable);

 private:
  struct Held {
    std::string UserID, UserName;
    long Record = 0;
    bool Taken = false;  // an old row is this template row now
  };
  std::vector<Held> held_;
  std::set<long> used_;  // identifiers no new user may take
  bool standIns_;
};

// The identifier under which the current old users row exists or will exist in the
// new table (and the row it takes). Recorded in the value-remap list.
UserRows::Place FindMatchingRow(const std::string& source, xbase::Data4 oldTable, UserRows& rows);
// Writes into the new record the remapped value recorded for the nearest folder the
// source lies in (the source itself before the folders above it).
void ApplyValueRemap(xbase::Data4 newTable, const std::string& source);
// Fields of the new structure built from old ones: printopt's xml, students' names.
void ConvertSpecialField(xbase::Data4 oldTable, xbase::Data4 newTable, const std::string& table,
                         const std::string& field);
// students: "Family, Given", "Given Family" or one word (the given name).
void SplitStudentName(const std::string& name, std::string& lastName, std::string& firstName);

std::string GetKeyFieldName(const std::string& name);
std::string GetSecondKeyFieldName(const std::string& name);

}  // namespace tolvarin
