#pragma once
// Tables by name: the header of the open catalogue record, or a registry entry for
// the table in a folder, opened on demand and kept open for reuse. Also the
// checked binding of fields and tags that stops the run when a table is older
// than the program, and small table queries.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "data/table_ref.h"
#include "platform/xbase/xbase.h"

namespace tolvarin {

// Finds a table by name. With dbPath "" (or the current course path) the open
// catalogue record of that name answers; otherwise, or when that record is closed,
// the registry entry for folder/<name>.DBF (folder: dbPath, else the course or
// brand folder by IsCourseTable), opened when needed. "mathactivities", "actclass",
// "quespval" and "gbschoolexams" always go to the registry. A name the catalogue
// does not know, with no path, shows "Invalid Table" and gives an empty header.
void GetTableRef(TableRef& result, std::string_view name, std::string_view dbPath);
TableRef GetTableRef(std::string_view name, std::string_view dbPath = "");

// Closes the table, forgets it in every registry entry that holds it (Data 0,
// FilePath "") and sets the caller's handle to 0. Nothing for 0.
void CloseTable(xbase::Data4& data);

// True when a field of the table, by position, is named name (upper case compared).
bool HasField(xbase::Data4 data, std::string_view name);
// False for an empty name; else true when the table has the tag.
bool TagExists(xbase::Data4 data, std::string_view name);

// The handle, or the "not up to date" stop: two boxes, then the run ends.
xbase::Field4 GetFieldChecked(const TableRef& ref, std::string_view name);
xbase::Tag4 GetTagChecked(const TableRef& ref, std::string_view name);

// GetTableRef(tableName, "") then the first seek of the key on the table's key tag
// through the record-scan helper; the found row stays current for it.
bool FindRecordByKey(std::string_view tableName, std::string_view key);

// 5 when the catalogue's quests table has the field "ANSWER5PCT", else 4.
std::int16_t QuestAnswerCount();

// The opening text of the "not up to date" stop.
inline constexpr std::string_view kNotUpToDateText =
    "It appears your databases are not up to date. Please call 1-888-CORVANE for assistance.";

// The registry, for tests and diagnostics: entries from index 1 (index 0 unused),
// and the index that a key (upper-case path) points at, -1 when none.
const std::vector<TableRef>& RegistryEntries();
int RegistryIndexOf(std::string_view filePathKey);
// Forgets every entry without closing anything (a new run's empty registry).
void ResetRegistry();
// Drops the keys only: entries stay, and the next lookup of any path opens anew.
void ResetRegistryKeys();

}  // namespace tolvarin
