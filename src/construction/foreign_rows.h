#pragma once
// After an old database's table was rebuilt into a course folder, the rows of
// other courses leave that copy, and the attribute rows, images and permissions
// of the rows that stay come along.
#include <string>
#include <vector>

#include "data/table_records.h"
#include "platform/xbase/xbase.h"

namespace tolvarin {

// Works on target/<name>; fileName names another file of the table there (the
// rebuilt table before it is swapped in). False when the engine refused a deletion,
// the pack or a permission row (the rebuilt table is then not to be used).
bool RemoveForeignRows(const std::string& source, const std::string& target, const std::string& name, int pass,
                       int kind, const std::string& fileName = "");

// True when the passes split this table's rows by course (classes, students,
// sessions, sesquests, sesresults in passes 0 and 3).
bool SplitsRowsByCourse(const std::string& name, int pass);
// For such a table: every live row of source/<name> was kept in some target.
bool AllRowsKept(const std::string& source, const std::string& name, int pass);

// For a table the target already holds rows of: true when every row of the old
// table (the source's copy) that belongs in the target is there, field for field;
// those rows then count as kept, as if this run had put them there.
bool TargetHoldsItsRows(xbase::Data4 oldTable, const std::string& source, const std::string& target,
                        const std::string& name, int pass);

void ReadFieldToList(xbase::Data4 table, const std::string& fieldName, const std::string& targetFolder);
std::string ReadFieldMapped(xbase::Data4 table, const std::string& fieldName);
std::string LookupListValue(const std::string& fieldName, const std::string& value);

// Copies the attribute rows of (table name, identifier) from one attribute table
// to another of the same kind.
void CopyAttributeRows(const AttributeValuesRecord& source, const AttributeValuesRecord& target,
                       const std::string& tableName, const std::string& identifier);

// The image files a course folder carries next to its tables.
inline constexpr const char* kImagePatterns[] = {"*.gif", "*.jpg", "*.bmp", "*.vra"};

}  // namespace tolvarin
