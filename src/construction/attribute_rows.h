#pragma once
// The attribute rows (and the attribute definitions they use) that travel with the
// rows of an old folder's tables. A value row names its owner by table name and
// identifier, written in either case and as a padded or a plain number; both forms
// are read as the same owner.
#include <set>
#include <string>
#include <vector>

namespace tolvarin {

// Copies into target's attribute tables every value row of source whose owner is
// a row of ownerTable with one of the given identifiers, and, when any was copied,
// the source's attribute definitions; rows the target already holds are not
// copied twice. False when the engine refused a row.
bool CarryAttributeRows(const std::string& source, const std::string& target, const std::string& ownerTable,
                        const std::set<long>& owners);

// Copies into each target (an existing folder) the source's attribute definitions
// (attributes and their list values) that the target does not hold: a teacher's
// definitions travel whether or not a value row uses them. False when the engine
// refused a row.
bool CarryAttributeDefinitions(const std::string& source, const std::vector<std::string>& targets);

// The identifiers (key field values) of the live rows of folder/<fileName>, a table
// named table.
std::set<long> RowIdentifiers(const std::string& folder, const std::string& fileName, const std::string& table);

// The attributes (keys, upper case) that both folders define, but otherwise: another
// name or type, or a list value of another text.
std::set<std::string> ClashingAttributes(const std::string& source, const std::string& target);

// An attribute table of source (values or definitions) whose rows are not all in
// one of the targets as they are, with the attributes among them that a target
// defines otherwise.
struct UnplacedAttributeRows {
  std::string Table;  // its path
  std::set<std::string> Clashing;
};
std::vector<UnplacedAttributeRows> TablesWithUnplacedAttributeRows(const std::string& source,
                                                                   const std::vector<std::string>& targets);

}  // namespace tolvarin
