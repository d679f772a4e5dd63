#pragma once
// Rebuilding a table into a target folder with the current structure: the old rows
// are copied field by field, matched by the table's key tag against rows already
// there, with fields that changed meaning converted and user identifiers remapped.
// The live table is replaced only by a rebuilt table that was checked first.
#include <string>

#include "platform/xbase/xbase.h"

namespace tolvarin {

enum class RebuildResult {
  Rebuilt,     // the target holds the table with the old rows
  TargetKept,  // the target already held rows of its own: the old rows were not copied
  Failed,      // nothing was replaced; the reason is in the debug log
};

// source and target arrive normalised. The rebuilt table is written beside the
// target's as <name>_new and swapped in (table_swap.h).
RebuildResult RebuildTable(const std::string& source, const std::string& target, int pass, int kind,
                           const std::string& name, bool moveOut);

// The folder whose copy of the table is the starting table of a rebuild.
std::string GetTableSource(const std::string& name, const std::string& source, int pass, int kind);

// What CopyTableRows did with the old table's live rows.
struct RowCopyCount {
  long Read = 0;      // live old rows (rows marked deleted are not copied)
  long Appended = 0;  // written as new rows
  long Matched = 0;   // already in the new table: under the same key, or the same row
  long Refused = 0;   // the engine would not write them
};
// oldValuesWin: the new table is a template whose own rows (the built-in users,
// the default print options) only stand in for rows the old table lacks.
RowCopyCount CopyTableRows(const std::string& name, const std::string& source, const std::string& target,
                           xbase::Data4 oldTable, xbase::Data4 newTable, bool users, bool oldValuesWin = false);

// The identifier under which the old users row exists or will exist in the new
// table: the row of the same user name there, else the old identifier when the
// new table does not use it, else a new one. Recorded in the value-remap list.
std::string FindMatchingRow(const std::string& name, const std::string& source, xbase::Data4 oldTable,
                            xbase::Data4 newTable);
// Writes into the new record the first remapped value recorded for a folder the
// source lies in.
void ApplyValueRemap(xbase::Data4 newTable, const std::string& source);
// Fields of the new structure built from old ones: printopt's xml, students' names.
void ConvertSpecialField(xbase::Data4 oldTable, xbase::Data4 newTable, const std::string& table,
                         const std::string& field);
// students: "Family, Given", "Given Family" or one word (the given name).
void SplitStudentName(const std::string& name, std::string& lastName, std::string& firstName);

std::string GetKeyFieldName(const std::string& name);
std::string GetSecondKeyFieldName(const std::string& name);

}  // namespace tolvarin
