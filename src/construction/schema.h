#pragma once
// What every table of the host's databases must look like. The layouts are a file
// format: the host programs read these fields, lengths, tags and expressions, so
// they stay exactly as listed in schema.cpp.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "data/field_defs.h"
#include "platform/xbase/xbase.h"

namespace tolvarin {

inline constexpr std::int32_t kKindObsolete = 0;
inline constexpr std::int32_t kKindCommon = 2;  // the common database (Databases/Corvane)
inline constexpr std::int32_t kKindCourse = 4;  // every course database

struct TableDef {
  std::vector<FieldDef> Fields;  // record order (index 0 is the first field)
  std::vector<TagDef> Tags;
  std::string KeyField;   // lower-case name of the tag that identifies a row; "" when rows are never matched
  std::string NameField;  // display field
  std::string Key2Field;  // second key field for row matching
  std::string TableName;  // file name without extension, case as the files are named
  std::string OldName;    // file name in older databases
  std::int32_t Kind = kKindObsolete;
  bool Skip = false;      // obsolete: never created or compared, deleted by the upgrade
};

// The process-wide schema, in schema order; empty until DefineDatabase runs.
std::vector<TableDef>& TableDefs();

// Fills TableDefs from nothing with the 37 entries of the schema.
void DefineDatabase();

// A copy of the first entry whose TableName equals the name without regard to case;
// an empty TableDef when none does.
TableDef GetTableDef(const std::string& tableName);

// Compares an open table with a schema entry: no verdict (nullopt) for an empty or
// skipped entry, else true when the table conforms. Field order, decimals, extra tags
// and changed tag expressions are not differences.
std::optional<bool> TableMatchesDef(xbase::Data4 table, const TableDef& def, bool checkLengths);

// Equal one-letter types, reading I as N and X as M on either side.
bool SameFieldType(const std::string& a, const std::string& b);

// The key text of the current record by the entry's KeyField tag expression; the
// fallback unchanged when the entry has no KeyField; "" when no tag matches or the
// expression cannot be parsed.
std::string GetTagValue(const TableDef& def, xbase::Data4 table, const std::string& fallback);

}  // namespace tolvarin
